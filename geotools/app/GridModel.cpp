// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/app/GridModel.hpp"

#include <limits>

namespace halvex::geokit {

namespace {
QString FromCell(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent), grid_(4, 10) {}

int GridModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || grid_.RowCount() == 0) return 0;
  const std::size_t rows = grid_.RowCount() - 1;
  return rows > static_cast<std::size_t>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(rows);
}

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(grid_.ColCount());
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  return FromCell(grid_.Cell(static_cast<std::size_t>(index.column()),
                             static_cast<std::size_t>(index.row()) + 1));
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  const QByteArray text = value.toString().toUtf8();
  grid_.SetCell(static_cast<std::size_t>(index.column()), static_cast<std::size_t>(index.row()) + 1,
                std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
  emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
  return true;
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || section < 0) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (grid_.RowCount() == 0 || static_cast<std::size_t>(section) >= grid_.ColCount()) return {};
  return FromCell(grid_.Cell(static_cast<std::size_t>(section), 0));
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

void GridModel::MoveColumn(int from, int to, std::string_view header) {
  beginResetModel();
  grid_.MoveColumn(static_cast<std::size_t>(from), static_cast<std::size_t>(to));
  geodesy::SetGridHeader(grid_, header);
  endResetModel();
}

}  // namespace halvex::geokit
