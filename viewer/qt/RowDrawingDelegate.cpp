#include "qt/RowDrawingDelegate.h"

#include <QHeaderView>
#include <QPainter>
#include <QTableView>
#include <utility>

#include "qt/QtConversions.h"

namespace Quorvane::Viewer {

TRowDrawingDelegate::TRowDrawingDelegate(QTableView* view, TDrawRow drawRow)
    : QStyledItemDelegate(view), FView(view), FDrawRow(std::move(drawRow)) {}

void TRowDrawingDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QHeaderView* header = FView->horizontalHeader();
  const int lastColumn = header->count() - 1;
  const int top = option.rect.top();
  const TRect itemRect{header->sectionViewportPosition(0), top,
                       header->sectionViewportPosition(lastColumn) + header->sectionSize(lastColumn),
                       top + FView->rowHeight(index.row())};
  const QFontMetrics metrics(option.font);
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  const int columnWidth = header->sectionSize(0);
  const TRowDrawing drawing = FDrawRow(index.row(), selected, itemRect, metrics.height(), columnWidth);
  if (!drawing.Draw) return;

  painter->save();
  painter->setClipRect(option.rect, Qt::IntersectClip);
  const QRect row = ToQRect(itemRect);
  painter->fillRect(row, drawing.WindowBackground ? option.palette.color(QPalette::Base) : ToQColor(SelectedRowColor));
  painter->setFont(option.font);
  painter->setPen(option.palette.color(QPalette::Text));
  // The decision places the top of the text; QPainter places its baseline. A caption beside a
  // value stays in its column instead of running under the value.
  painter->save();
  if (drawing.DrawValue)
    painter->setClipRect(QRect(row.left(), row.top(), columnWidth, row.height()), Qt::IntersectClip);
  painter->drawText(QPoint(drawing.CaptionX, drawing.CaptionY + metrics.ascent()),
                    index.siblingAtColumn(0).data().toString());
  painter->restore();
  if (drawing.DrawValue) {
    if (drawing.FillValueCell) {
      painter->fillRect(ToQRect(drawing.ValueCell), ToQColor(EditableValueColor));
    }
    painter->drawText(QPoint(drawing.ValueX, drawing.ValueY + metrics.ascent()),
                      index.siblingAtColumn(1).data().toString());
  }
  painter->restore();
}

}  // namespace Quorvane::Viewer
