#pragma once
// The layout of the InputSelect dialog in dialog units of its font: an X unit is the average width
// of the letters A-Z and a-z, a Y unit their height.

#include "core/RowDrawing.h"

namespace Quorvane::Viewer {

struct TInputSelectLayout {
  int ClientWidth = 0, ClientHeight = 0;
  TRect Prompt;  // word-wrapped label
  TRect Choices;  // drop-down list
  TRect OkButton, CancelButton;
};

// promptHeight is the wrapped label's height at the given width, listHeight the drop-down's own.
TInputSelectLayout InputSelectLayout(int unitX, int unitY, int promptHeight, int listHeight);

// The label's width for wrapping the prompt.
int InputSelectPromptWidth(int unitX);

}  // namespace Quorvane::Viewer
