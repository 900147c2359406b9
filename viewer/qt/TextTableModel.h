#pragma once
// A read-only table model over state held elsewhere (the controller's photo names or rows): the
// cells are read through a function, nothing is copied. Reload() after the state was replaced;
// the row count is taken then, so a view never sees rows the model has not announced.

#include <QAbstractTableModel>
#include <QStringList>
#include <functional>

namespace Quorvane::Viewer {

class TTextTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using TRowCount = std::function<int()>;
  // The text of a cell of a row below the count taken by the last Reload(); the state may have
  // shrunk since, so it answers rows it no longer holds too (with an empty text).
  using TCellText = std::function<QString(int row, int column)>;

  TTextTableModel(const QStringList& headers, TRowCount rowCount, TCellText cellText, QObject* parent = nullptr);

  void Reload();
  // A row's tooltip (empty: none), asked as the cell text is.
  void SetRowHint(std::function<QString(int row)> rowHint) { FRowHint = std::move(rowHint); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  QStringList FHeaders;
  TRowCount FRowCountOfState;
  TCellText FCellText;
  std::function<QString(int row)> FRowHint;
  int FRowCount = 0;
};

}  // namespace Quorvane::Viewer
