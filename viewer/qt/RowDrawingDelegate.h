#pragma once
// Owner drawing of the Exif lists: paints each row exactly as the controller's draw decision says
// (background, caption, sky-blue value cell, value; a caption beside a value is cut at its column).
// Every cell paints the whole row clipped to itself, so a row looks the same however much of it is
// repainted.

#include <QStyledItemDelegate>
#include <functional>

#include "core/RowDrawing.h"

class QTableView;

namespace Quorvane::Viewer {

class TRowDrawingDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  // The drawing of a row: row index, selected, the row's rectangle, the height of "Hg" and the
  // width of the first column.
  using TDrawRow =
      std::function<TRowDrawing(int row, bool selected, const TRect& itemRect, int textHeight, int columnWidth)>;

  // The view's first column holds the caption, its second the value.
  TRowDrawingDelegate(QTableView* view, TDrawRow drawRow);

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  QTableView* FView;
  TDrawRow FDrawRow;
};

}  // namespace Quorvane::Viewer
