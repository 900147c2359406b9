#include "qt/TextTableModel.h"

#include <utility>

namespace Quorvane::Viewer {

TTextTableModel::TTextTableModel(const QStringList& headers, TRowCount rowCount, TCellText cellText, QObject* parent)
    : QAbstractTableModel(parent),
      FHeaders(headers),
      FRowCountOfState(std::move(rowCount)),
      FCellText(std::move(cellText)),
      FRowCount(FRowCountOfState()) {}

void TTextTableModel::Reload() {
  beginResetModel();
  FRowCount = FRowCountOfState();
  endResetModel();
}

int TTextTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : FRowCount; }

int TTextTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FHeaders.size());
}

QVariant TTextTableModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  if (role == Qt::ToolTipRole && FRowHint) {
    const QString hint = FRowHint(index.row());
    return hint.isEmpty() ? QVariant() : QVariant(hint);
  }
  if (role != Qt::DisplayRole) return {};
  return FCellText(index.row(), index.column());
}

QVariant TTextTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= FHeaders.size()) return {};
  return FHeaders[section];
}

}  // namespace Quorvane::Viewer
