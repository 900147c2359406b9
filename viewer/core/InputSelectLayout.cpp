#include "core/InputSelectLayout.h"

#include <cstdint>

namespace Quorvane::Viewer {

namespace {

// value * numerator / denominator, rounded half away from zero, in 64 bits.
int MulDiv(int value, int numerator, int denominator) {
  const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
  const std::int64_t half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

int InputSelectPromptWidth(int unitX) { return MulDiv(164, unitX, 4); }

TInputSelectLayout InputSelectLayout(int unitX, int unitY, int promptHeight, int listHeight) {
  TInputSelectLayout layout;
  layout.ClientWidth = MulDiv(180, unitX, 4);
  const int left = MulDiv(8, unitX, 4), width = InputSelectPromptWidth(unitX);
  const int top = MulDiv(8, unitY, 8);
  layout.Prompt = {left, top, left + width, top + promptHeight};
  layout.Choices = {left, layout.Prompt.Bottom + 5, left + width, layout.Prompt.Bottom + 5 + listHeight};
  const int buttonTop = layout.Choices.Bottom + 15;
  const int buttonWidth = MulDiv(50, unitX, 4), buttonHeight = MulDiv(14, unitY, 8);
  const int okLeft = MulDiv(38, unitX, 4), cancelLeft = MulDiv(92, unitX, 4);
  layout.OkButton = {okLeft, buttonTop, okLeft + buttonWidth, buttonTop + buttonHeight};
  layout.CancelButton = {cancelLeft, buttonTop, cancelLeft + buttonWidth, buttonTop + buttonHeight};
  layout.ClientHeight = buttonTop + buttonHeight + 13;
  return layout;
}

}  // namespace Quorvane::Viewer
