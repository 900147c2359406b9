#include "core/RowDrawing.h"

namespace Quorvane::Viewer {

TRowDrawing DrawRow(const TListRow& row, bool selected, const TRect& itemRect, int textHeight, int columnWidth) {
  TRowDrawing drawing;
  drawing.Draw = true;
  drawing.WindowBackground = !selected;
  drawing.CaptionX = itemRect.Left + 2;
  drawing.CaptionY = itemRect.Top + (itemRect.Height() + 1 - textHeight) / 2;
  if (row.SubItems.size() < 2 || (row.Value().empty() && row.Kind().empty())) return drawing;
  drawing.DrawValue = true;
  if (!row.Kind().empty() && !selected) {
    drawing.FillValueCell = true;
    drawing.ValueCell = {itemRect.Left + columnWidth, itemRect.Top + 1, itemRect.Right, itemRect.Bottom - 2};
  }
  drawing.ValueX = itemRect.Left + columnWidth + 2;
  drawing.ValueY = itemRect.Top + 1;
  return drawing;
}

}  // namespace Quorvane::Viewer
