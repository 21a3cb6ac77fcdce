// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The controls of the main window's least-squares and merge pages, shared
// by the files that build the pages and store their settings.

#include <QAbstractListModel>

#include <vector>

#include "geotools/lsq/LogMerge.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QTableView;

namespace halvex::geokit {

class GridModel;

struct LsqPageWidgets {
  int page = 0;
  GridModel* control = nullptr;      // AffineGr, SimilarityGrd, helmStrGrd
  QLineEdit* fileName = nullptr;     // AffFileName, SimilFileName (none on the Helmert page)
  std::vector<QLabel*> values;       // A0 ... B2; aa0 aa1 bb0 bb1; scale rx ry rz dx dy dz
  QCheckBox* report = nullptr;       // ChkBoxAfn, ChkBoxSml, ChkBoxHlm
  QProgressBar* progress = nullptr;
  GridModel* source = nullptr;       // affInput, SimilSourGrd
  GridModel* target = nullptr;       // affOutput, SimilTargGrd
  QLabel* semiMajor = nullptr;       // SemiM
  QLabel* inverseFlattening = nullptr;  // IFlat
  QPushButton* setAsDatum = nullptr;    // BitBtnHelmert
};

// A log's lines in a list view: a million lines show at once, since only
// the visible rows are ever turned into text.
class LogLinesModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
  }
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    const std::string_view line = lines_[static_cast<std::size_t>(index.row())];
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  }

  const geotools::LogLines& Lines() const { return lines_; }
  void SetLines(geotools::LogLines lines) {
    beginResetModel();
    lines_ = std::move(lines);
    endResetModel();
  }
  // Changes the lines in place (a filter).
  template <class Change>
  void Edit(Change change) {
    beginResetModel();
    change(lines_);
    endResetModel();
  }

 private:
  geotools::LogLines lines_;
};

struct MergePageWidgets {
  LogLinesModel* gps = nullptr;     // GPSMemo
  LogLinesModel* sensor = nullptr;  // SonarMemo
  LogLinesModel* output = nullptr;  // SMProcessedMemo
  QLineEdit* ggaFormat = nullptr;
  QComboBox* sensorFormat = nullptr;
  QComboBox* fixKind = nullptr;
  QComboBox* goodFixKind = nullptr;
  QLineEdit* interval = nullptr;
  QLabel* gpsCount = nullptr;
  QLabel* sonarCount = nullptr;
  QLabel* label12 = nullptr;
  QProgressBar* progress = nullptr;
};

}  // namespace halvex::geokit
