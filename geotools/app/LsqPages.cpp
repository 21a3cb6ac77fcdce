// SPDX-License-Identifier: GPL-3.0-or-later
// The least-squares pages of the main window: 2-D affine (page 4), 2-D
// similarity (page 5) and the 3-D Helmert datum parameters (page 6). Each
// handler reads the page's controls, runs one function of geotools/lsq in
// the background and writes the result back when it ends.
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

#include "geotools/app/DatumWindow.hpp"
#include "geotools/app/GeoForm.hpp"
#include "geotools/app/GridModel.hpp"
#include "geotools/app/OutputWindow.hpp"
#include "geotools/app/PageWidgets.hpp"
#include "geotools/app/SmallWindows.hpp"
#include "geotools/lsq/Applications.hpp"
#include "geotools/lsq/Estimations.hpp"

namespace halvex::geokit {

namespace {

constexpr const char* kTitle = "Halvex Geodesy Kit";
constexpr const char* kPlaneHeader = "No X(E)old Y(N)old  X(E)new Y(N)new";
constexpr const char* kHelmertHeader = "No Xwgs Ywgs Zwgs Xloc Yloc Zloc";
constexpr const char* kAsciiFilter =
    "ASCII Files [*.txt;*.dat;*.csv]|*.txt;*.dat;*.csv|All Files [*.*]|*.*";

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

// What differs between the three pages.
struct LsqPageLayout {
  const char* controlGrid;
  const char* header;
  std::size_t columns;
  const char* fileName;  // null: the Helmert page shows the file in the status bar only
  const char* load;
  const char* calculate;
  const char* apply;    // null on the Helmert page
  const char* inverse;  // null on the Helmert page
  const char* reportBox;
  const char* reportCaption;
  std::vector<std::pair<const char*, const char*>> values;  // value label, name label
  std::vector<const char*> names;                           // captions of the name labels
};

const LsqPageLayout& LayoutOf(int page) {
  static const std::array<LsqPageLayout, 3> kLayouts = {{
      {"AffineGr",
       kPlaneHeader,
       5,
       "AffFileName",
       "SpeedButton54",
       "SpeedButton17",
       "SpeedButton18",
       "SpeedButton19",
       "ChkBoxAfn",
       "Report",
       {{"A0", "La0"}, {"A1", "La1"}, {"A2", "La2"}, {"B0", "Lb0"}, {"B1", "Lb1"}, {"B2", "Lb2"}},
       {}},
      {"SimilarityGrd",
       kPlaneHeader,
       5,
       "SimilFileName",
       "SpeedButton53",
       "SpeedButton20",
       "SpeedButton21",
       "SpeedButton22",
       "ChkBoxSml",
       "Report",
       {{"aa0", "Laa0"}, {"aa1", "Laa1"}, {"bb0", "Lbb0"}, {"bb1", "Lbb1"}},
       {}},
      {"helmStrGrd",
       kHelmertHeader,
       7,
       nullptr,
       "SpeedButton52",
       "SpeedButton23",
       nullptr,
       nullptr,
       "ChkBoxHlm",
       "Report calculation details",
       {{"scale", "LScale"},
        {"rx", "LRx"},
        {"ry", "LRy"},
        {"rz", "LRz"},
        {"dx", "LDx"},
        {"dy", "LDy"},
        {"dz", "LDz"}},
       {"Scale difference (ppm):", "X rotation (''):", "Y rotation (''):", "Z rotation (''):",
        "X shift (m):", "Y shift (m):", "Z shift (m):"}},
  }};
  return kLayouts[static_cast<std::size_t>(page - 4)];
}

std::string_view NameCaption(int page, std::size_t i) {
  if (page == 4) return geotools::kAffineNames[i];
  if (page == 5) return geotools::kSimilarityNames[i];
  return LayoutOf(page).names[i];
}

void ClearModel(GridModel* model) {
  model->BeginChange();
  geodesy::ClearGrid(model->Grid());
  model->EndChange();
}

}  // namespace

LsqPageWidgets& TGeoForm::Lsq(int page) const { return *lsq_[static_cast<std::size_t>(page - 4)]; }

void TGeoForm::Warn(std::string_view message) {
  dialogs_.Tell(appkit::Notice::kWarning, kTitle, std::string(message));
}

GridModel* TGeoForm::AddControlGrid(const char* name, const char* header, std::size_t columns,
                                    QWidget* parent) {
  auto* model = new GridModel(this);
  model->setObjectName(QString(name) + "Model");
  model->Grid() = geodesy::CoordGrid(columns, 10);
  geodesy::SetGridHeader(model->Grid(), header);
  auto* view = new QTableView(parent);
  view->setObjectName(name);
  view->setModel(model);
  view->setWordWrap(false);
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(17);
  QHeaderView* titles = view->horizontalHeader();
  titles->setSectionsMovable(true);
  titles->setSectionResizeMode(QHeaderView::Stretch);
  connect(titles, &QHeaderView::sectionMoved, this,
          [model, titles, header](int, int oldVisual, int newVisual) {
            // The cells move with the column; the titles stay where they were.
            const QSignalBlocker quiet(titles);
            titles->moveSection(newVisual, oldVisual);
            model->MoveColumn(oldVisual, newVisual, header);
          });
  return model;
}

void TGeoForm::BuildLsqPage(int page) {
  const LsqPageLayout& layout = LayoutOf(page);
  auto widgets = std::make_unique<LsqPageWidgets>();
  LsqPageWidgets& w = *widgets;
  lsq_[static_cast<std::size_t>(page - 4)] = std::move(widgets);
  w.page = page;
  static constexpr std::array<const char*, 3> kPageNames = {"Tab2DAffineParTr", "TabSimilarity",
                                                            "Tab3DRevHelmTr"};
  static constexpr std::array<const char*, 3> kCaptions = {
      "2-D Affine Trans", "2-D Similarity Trans", "Datum Param Estimation"};
  auto* widget = new QWidget(tabs_);
  widget->setObjectName(kPageNames[static_cast<std::size_t>(page - 4)]);
  auto* pageLayout = new QVBoxLayout(widget);
  auto* top = new QHBoxLayout;
  pageLayout->addLayout(top, 1);

  // Control points, their loader and the file name.
  auto* common = new QGroupBox(page == 6 ? "WGS-84 && LOCAL Earth Centered Eearth Fixed (ECEF) "
                                           "coordinates"
                                         : "Coordinates of Common Points in SOURCE and TARGET system",
                               widget);
  auto* commonLayout = new QVBoxLayout(common);
  auto* fileRow = new QHBoxLayout;
  auto* load = new QPushButton("Open Control Points...", common);
  load->setObjectName(layout.load);
  connect(load, &QPushButton::clicked, this, [this, page] { LoadControlFile(page); });
  fileRow->addWidget(load);
  if (layout.fileName != nullptr) {
    w.fileName = new QLineEdit(common);
    w.fileName->setObjectName(layout.fileName);
    w.fileName->setReadOnly(true);
    connect(w.fileName, &QLineEdit::textChanged, w.fileName, &QLineEdit::selectAll);
    fileRow->addWidget(w.fileName, 1);
  } else {
    fileRow->addStretch(1);
  }
  commonLayout->addLayout(fileRow);
  w.control = AddControlGrid(layout.controlGrid, layout.header, layout.columns, common);
  commonLayout->addWidget(findChild<QTableView*>(layout.controlGrid), 1);
  top->addWidget(common, 3);

  // Parameters, report box and actions.
  auto* side = new QVBoxLayout;
  if (page == 6) {
    auto* wgs = new QGroupBox("WGS-84 definition", widget);
    auto* wgsForm = new QFormLayout(wgs);
    w.semiMajor = new QLabel("6378137", wgs);
    w.semiMajor->setObjectName("SemiM");
    w.inverseFlattening = new QLabel("298.257223563", wgs);
    w.inverseFlattening->setObjectName("IFlat");
    wgsForm->addRow("Semi-major axis (m):", w.semiMajor);
    wgsForm->addRow("Inverse flattening:", w.inverseFlattening);
    side->addWidget(wgs);
  }
  auto* params =
      new QGroupBox(page == 6 ? "Estimated parameters" : "Transformation parameters", widget);
  auto* paramForm = new QFormLayout(params);
  for (std::size_t i = 0; i < layout.values.size(); ++i) {
    auto* name = new QLabel(Q(NameCaption(page, i)), params);
    name->setObjectName(layout.values[i].second);
    auto* value = new QLabel(params);
    value->setObjectName(layout.values[i].first);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setMinimumWidth(150);
    paramForm->addRow(name, value);
    w.values.push_back(value);
  }
  side->addWidget(params);
  w.report = new QCheckBox(layout.reportCaption, widget);
  w.report->setObjectName(layout.reportBox);
  w.report->setChecked(true);
  reportBoxes_[static_cast<std::size_t>(page - 4)] = w.report;
  side->addWidget(w.report);
  auto* calculate = new QPushButton(page == 6 ? "Estimate Parameters" : "Calculate", widget);
  calculate->setObjectName(layout.calculate);
  connect(calculate, &QPushButton::clicked, this, [this, page] { Calculate(page); });
  side->addWidget(calculate);
  if (page == 6) {
    w.setAsDatum = new QPushButton("Set As New Datum", widget);
    w.setAsDatum->setObjectName("BitBtnHelmert");
    w.setAsDatum->setEnabled(false);
    connect(w.setAsDatum, &QPushButton::clicked, this, &TGeoForm::OpenSetAsNewDatum);
    side->addWidget(w.setAsDatum);
  } else {
    auto* apply = new QPushButton("Transform SOURCE >> TARGET", widget);
    apply->setObjectName(layout.apply);
    connect(apply, &QPushButton::clicked, this, [this, page] { Apply(page, false); });
    auto* inverse = new QPushButton("Transform TARGET >> SOURCE", widget);
    inverse->setObjectName(layout.inverse);
    connect(inverse, &QPushButton::clicked, this, [this, page] { Apply(page, true); });
    side->addWidget(apply);
    side->addWidget(inverse);
  }
  side->addStretch(1);
  top->addLayout(side, 1);

  // The lists the 2-D transformations are applied to.
  if (page != 6) {
    const bool affine = page == 4;
    const std::array<const char*, 2> names =
        affine ? std::array{"affInput", "affOutput"} : std::array{"SimilSourGrd", "SimilTargGrd"};
    const std::array<const char*, 2> loads = affine ? std::array{"SpeedButton34", "SpeedButton49"}
                                                    : std::array{"SpeedButton50", "SpeedButton51"};
    const std::array<const char*, 2> saves =
        affine ? std::array{"Save9", "Save10"} : std::array{"Save11", "Save12"};
    const std::array<const char*, 2> renumbers = affine
                                                     ? std::array{"SpeedButton75", "SpeedButton76"}
                                                     : std::array{"SpeedButton77", "SpeedButton78"};
    auto* lists = new QHBoxLayout;
    for (std::size_t i = 0; i < 2; ++i) {
      auto* box = new QGroupBox(i == 0 ? "SOURCE Coordinates" : "TARGET Coordinates", widget);
      box->setLayout(new QVBoxLayout);
      const char* regen =
          (affine && i == 0) ? "No Eeasting Northing Elevation" : "No Easting Northing Elevation";
      AddGrid(names[i], geodesy::PointReader::kPlane, regen, "No X(E) Y(N)", loads[i], saves[i],
              renumbers[i], false, box);
      (i == 0 ? w.source : w.target) = Grid(names[i]);
      lists->addWidget(box, 1);
    }
    pageLayout->addLayout(lists, 1);
  }

  w.progress = new QProgressBar(widget);
  w.progress->setObjectName(QString("ProgressBar%1").arg(page + 1));
  w.progress->setVisible(false);
  pageLayout->addWidget(w.progress);
  tabs_->addTab(widget, kCaptions[static_cast<std::size_t>(page - 4)]);
}

void TGeoForm::LoadControlFile(int page) {
  if (Busy()) return;
  LsqPageWidgets& w = Lsq(page);
  const auto file = dialogs_.OpenFile(
      {"OPEN ASCII FILE", paths_.programFolder.string(), kAsciiFilter, "", false});
  if (!file) return;
  const LsqPageLayout& layout = LayoutOf(page);
  const geodesy::PointReader reader =
      page == 6 ? geodesy::PointReader::kHelmertControl : geodesy::PointReader::kControlPoint;
  w.control->BeginChange();
  geodesy::CoordGrid& grid = w.control->Grid();
  grid = geodesy::CoordGrid(layout.columns, 1);
  geodesy::SetGridHeader(grid, layout.header);
  const geodesy::PointReadResult read = geodesy::ReadPointFile(reader, *file, grid);
  w.control->EndChange();
  if (page == 6) {
    if (!read.error.empty()) Fail(read.error);
    const std::string_view message = geotools::HelmertLoadMessage(grid.RowCount());
    if (message.empty()) {
      statusFile_->setText("File: " + Q(*file));
    } else {
      Warn(message);
    }
    return;
  }
  statusFile_->setText(Q(*file));
  for (QLabel* value : w.values) value->clear();
  w.fileName->setText(Q(*file).toLower());
  ClearModel(w.source);
  ClearModel(w.target);
  if (!read.error.empty()) Fail(read.error);
  const std::string_view message = geotools::PlaneLoadMessage(
      page == 4 ? geotools::PlaneModel::kAffine : geotools::PlaneModel::kSimilarity,
      grid.RowCount());
  if (!message.empty()) Warn(message);
}

void TGeoForm::Calculate(int page) {
  if (Busy()) return;
  LsqPageWidgets& w = Lsq(page);
  const geodesy::CoordGrid& grid = w.control->Grid();
  if (page == 5 ? grid.RowCount() < 3 : grid.RowCount() < 4) {
    Warn(page == 5 ? geotools::kNoSolution2 : geotools::kNoSolution3);
    return;
  }
  if (page == 6) {
    geotools::HelmertInputs inputs;
    inputs.semiMajor = Utf8(w.semiMajor->text());
    inputs.inverseFlattening = Utf8(w.inverseFlattening->text());
    inputs.precision = units_->Precision();
    auto result = std::make_shared<geotools::HelmertEstimate>();
    StartWork(
        page, 0,
        [&grid, inputs, result](const geotools::BackgroundJob::ProgressSink&) {
          *result = geotools::EstimateHelmert(grid, inputs);
        },
        [this, result, &w] {
          if (!result->ok) {
            w.setAsDatum->setEnabled(false);
            Warn(result->message);
            return;
          }
          for (std::size_t i = 0; i < 7; ++i) w.values[i]->setText(Q(result->labels[i]));
          newDatum_ = geotools::NewDatumParameters(*result);
          w.setAsDatum->setEnabled(true);
          ShowLsqReport(6, result->report);
        });
    return;
  }
  ClearModel(w.source);
  ClearModel(w.target);
  auto result = std::make_shared<geotools::PlaneEstimate>();
  const bool affine = page == 4;
  StartWork(
      page, 0,
      [&grid, affine, result](const geotools::BackgroundJob::ProgressSink&) {
        *result = affine ? geotools::EstimateAffine(grid) : geotools::EstimateSimilarity(grid);
      },
      [this, result, &w, page] {
        if (!result->ok) {
          Warn(result->message);
          return;
        }
        for (std::size_t i = 0; i < w.values.size(); ++i) {
          w.values[i]->setText(Q(result->labels[i]));
        }
        ShowLsqReport(page, result->report);
      });
}

void TGeoForm::ShowLsqReport(int page, const std::string& text) {
  if (!Lsq(page).report->isChecked()) return;
  geotools::RichText report;
  report.Append(text, geotools::TextStyle{});
  lastReport_ = ShowReport(report);
}

void TGeoForm::Apply(int page, bool inverse) {
  if (Busy()) return;
  LsqPageWidgets& w = Lsq(page);
  GridModel* from = inverse ? w.target : w.source;
  GridModel* to = inverse ? w.source : w.target;
  std::vector<std::string> labels;
  for (QLabel* value : w.values) labels.push_back(Utf8(value->text()));
  // The rows are written into a grid of their own and handed to the view
  // when the work ends; it starts as the cleared target.
  auto written = std::make_shared<geodesy::CoordGrid>(to->Grid().ColCount(), 1);
  for (std::size_t c = 0; c < to->Grid().ColCount(); ++c) {
    written->SetCell(c, 0, to->Grid().Cell(c, 0));
  }
  auto result = std::make_shared<geotools::ApplyResult>();
  const int decimals = units_->Precision().distance;
  const geodesy::CoordGrid& source = from->Grid();
  const bool affine = page == 4;
  StartWork(
      page, source.RowCount() > 0 ? source.RowCount() - 1 : 0,
      [&source, written, result, labels, inverse, decimals,
       affine](const geotools::BackgroundJob::ProgressSink& progress) {
        const geotools::RowProgress rows = [&progress](std::size_t row) { progress(row); };
        *result = affine
                      ? geotools::ApplyAffine(source, *written, labels, inverse, decimals, rows)
                      : geotools::ApplySimilarity(source, *written, labels, inverse, decimals, rows);
      },
      [this, to, written, result] {
        to->BeginChange();
        to->Grid() = std::move(*written);
        to->EndChange();
        if (!result->ok) Warn(result->message);
      });
}

void TGeoForm::OpenSetAsNewDatum() {
  std::array<QString, 7> values;
  for (std::size_t i = 0; i < 7; ++i) values[i] = Q(newDatum_[i]);
  TFormEnterData entry(*datums_, dialogs_, values, this);
  entry.exec();
}

void TGeoForm::StartWork(int page, std::size_t total, geotools::BackgroundJob::Work work,
                         std::function<void()> done) {
  workPage_ = page;
  workTotal_ = total;
  workDone_ = std::move(done);
  QProgressBar* bar = page == 7 ? merge_->progress : Lsq(page).progress;
  bar->setRange(0, total > 0 ? 1000 : 0);  // no total: a busy indicator
  bar->setValue(0);
  bar->setVisible(true);
  tabs_->widget(page)->setEnabled(false);
  tabs_->tabBar()->setEnabled(false);
  work_ = std::make_unique<geotools::BackgroundJob>(std::move(work));
  workTimer_->start();
}

void TGeoForm::WorkTick() {
  if (!work_) return;
  if (!work_->Done()) {
    if (workPage_ == 7) ShowMergeProgress();
    if (workTotal_ > 0) {
      QProgressBar* bar = workPage_ == 7 ? merge_->progress : Lsq(workPage_).progress;
      bar->setValue(static_cast<int>(std::min(work_->Progress(), workTotal_) * 1000 / workTotal_));
    }
    return;
  }
  EndWork();
}

void TGeoForm::EndWork() {
  if (!work_) return;
  workTimer_->stop();
  std::string failure;
  try {
    work_->Finish();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (failure.empty() && workPage_ == 7) ShowMergeProgress();
  work_.reset();
  QProgressBar* bar = workPage_ == 7 ? merge_->progress : Lsq(workPage_).progress;
  bar->setRange(0, 1000);
  bar->reset();
  bar->setVisible(false);
  tabs_->widget(workPage_)->setEnabled(true);
  tabs_->tabBar()->setEnabled(true);
  workPage_ = -1;
  std::function<void()> done = std::move(workDone_);
  workDone_ = nullptr;
  if (failure.empty()) {
    done();
  } else {
    Fail(failure);
  }
  emit JobFinished();
}

}  // namespace halvex::geokit
