#pragma once
// How a row of either list is painted, as data the window's delegate carries out: the background,
// where the caption goes, whether the value cell is filled sky blue and where the value goes.

#include <cstdint>

#include "core/ListRows.h"

namespace Quorvane::Viewer {

struct TRGBColor {
  std::uint8_t Red = 0, Green = 0, Blue = 0;
  bool operator==(const TRGBColor&) const = default;
};

inline constexpr TRGBColor SelectedRowColor{204, 255, 204};   // $CCFFCC
inline constexpr TRGBColor EditableValueColor{166, 202, 240};  // $F0CAA6, sky blue

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

struct TRowDrawing {
  bool Draw = false;                  // false: paint nothing
  bool WindowBackground = true;       // else SelectedRowColor
  int CaptionX = 0, CaptionY = 0;
  bool DrawValue = false;
  bool FillValueCell = false;         // with EditableValueColor, over ValueCell
  TRect ValueCell;
  int ValueX = 0, ValueY = 0;
};

// The drawing of a row in itemRect; textHeight is the height of "Hg" in the list's font and
// columnWidth the current width of the "Name" column.
TRowDrawing DrawRow(const TListRow& row, bool selected, const TRect& itemRect, int textHeight, int columnWidth);

}  // namespace Quorvane::Viewer
