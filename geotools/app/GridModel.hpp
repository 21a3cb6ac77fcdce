// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A coordinate grid shown in a QTableView: the grid's row 0 is the
// horizontal header, its data rows are the model's rows. The model owns the
// grid; conversions and readers work on Grid() between BeginChange() and
// EndChange(), which tell the view that everything may have changed.

#include <QAbstractTableModel>

#include "geodesy/CoordGrid.hpp"

namespace halvex::geokit {

class GridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit GridModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  const geodesy::CoordGrid& Grid() const { return grid_; }
  geodesy::CoordGrid& Grid() { return grid_; }
  void BeginChange() { beginResetModel(); }
  void EndChange() { endResetModel(); }

  // Moves a column's cells (header included) as a dragged column header
  // does, then writes `header` into row 0.
  void MoveColumn(int from, int to, std::string_view header);

 private:
  geodesy::CoordGrid grid_;
};

}  // namespace halvex::geokit
