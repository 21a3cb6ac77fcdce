// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/app/GeoForm.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "geodesy/Angles.hpp"
#include "geotools/app/DatumWindow.hpp"
#include "geotools/app/GridModel.hpp"
#include "geotools/app/OutputWindow.hpp"
#include "geotools/app/PageWidgets.hpp"
#include "geotools/app/SmallWindows.hpp"
#include "geotools/core/DatumChoice.hpp"
#include "geotools/lsq/GeokitSettings.hpp"

namespace halvex::geokit {

namespace {

using geodesy::PointReader;
using geotools::Operation;

constexpr const char* kTitle = "Halvex Geodesy Kit";
constexpr const char* kPurgeQuestion = "Are you sure to delete all data in the conversion cells?";
constexpr const char* kRenumberQuestion = "Do you really want to renumarate the point numbers?";
constexpr const char* kAsciiFilter =
    "ASCII Files [*.txt;*.dat;*.csv]|*.txt;*.dat;*.csv|All Files [*.*]|*.*";

enum class GridKind { kGeodetic, kEcef, kPlane };

QColor KindColour(GridKind kind) {
  switch (kind) {
    case GridKind::kGeodetic:
      return QColor(0xCC, 0xE8, 0xFF);  // light blue
    case GridKind::kEcef:
      return QColor(0xFF, 0xFF, 0xC0);  // yellow
    case GridKind::kPlane:
      break;
  }
  return QColor(0xD0, 0xF5, 0xD0);  // light green
}

GridKind KindOf(PointReader reader) {
  if (reader == PointReader::kGeodetic) return GridKind::kGeodetic;
  if (reader == PointReader::kXyz) return GridKind::kEcef;
  return GridKind::kPlane;
}

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }
QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

struct TGeoForm::GridSlot {
  QString name;
  PointReader reader;
  const char* regenHeader;
  const char* restoreHeader;
  bool clearOnLoad;
  GridModel* model = nullptr;
  QTableView* view = nullptr;
};

// What a conversion panel (left or right of pages 0 to 3) is made of.
struct PanelLayout {
  int page;
  bool left;
  int selector;
  std::array<const char*, 3> edits;
  std::array<const char*, 3> labels;
  const char* grid;
  PointReader reader;
  const char* regenHeader;
  const char* restoreHeader;
  const char* pointButton;
  const char* gridButton;
  const char* load;
  const char* save;
  const char* renumber;
  const char* copy;
  const char* paste;
  const char* toggle;  // "" when the panel has no angles
};

// A panel of the window: its layout and the grid it shows.
struct TGeoForm::Panel : PanelLayout {
  GridSlot* slot = nullptr;
};

namespace {

const std::array<PanelLayout, 8> kPanels = {{
    {0,
     true,
     1,
     {"North", "East", "Height"},
     {"Latitude (d/dm/dms)", "Longitude (d/dm/dms)", "Height (m)"},
     "ecefDMSgrd",
     PointReader::kGeodetic,
     "ID Latitude  Longitude Height",
     "No N/S(+/-) E/W(+/-) H",
     "SpeedButton1",
     "SpeedButton3",
     "SpeedButton27",
     "Save1",
     "SpeedButton67",
     "SpeedButton24",
     "SpeedButton25",
     "BitBtn1"},
    {0,
     false,
     2,
     {"ecefX", "ecefY", "ecefZ"},
     {"X (m)", "Y (m)", "Z (m)"},
     "ecefECEFgrd",
     PointReader::kXyz,
     "No X Y Z",
     "No X Y Z",
     "SpeedButton2",
     "SpeedButton4",
     "SpeedButton26",
     "Save2",
     "SpeedButton68",
     "SpeedButton36",
     "SpeedButton35",
     ""},
    {1,
     true,
     3,
     {"North1", "East1", "Height1"},
     {"Latitude (d/dm/dms)", "Longitude (d/dm/dms)", "Height (m)"},
     "datumTrGrid1",
     PointReader::kGeodetic,
     "No Latitude  Longitude Height",
     "No N/S(+/-)  E/W(+/-) H",
     "SpeedButton5",
     "SpeedButton7",
     "SpeedButton28",
     "Save3",
     "SpeedButton69",
     "SpeedButton38",
     "SpeedButton37",
     "BitBtn5"},
    {1,
     false,
     4,
     {"North2", "East2", "Height2"},
     {"Latitude (d/dm/dms)", "Longitude (d/dm/dms)", "Height (m)"},
     "datumTrGrid2",
     PointReader::kGeodetic,
     "No Latitude  Longitude Height",
     "NO N/S(+/-) E/W(+/-) H",
     "SpeedButton6",
     "SpeedButton8",
     "SpeedButton29",
     "Save4",
     "SpeedButton70",
     "SpeedButton40",
     "SpeedButton39",
     "BitBtn8"},
    {2,
     true,
     5,
     {"North3", "East3", "Height3"},
     {"Latitude (d/dm/dms)", "Longitude (d/dm/dms)", "Height (m)"},
     "utmDMS",
     PointReader::kGeodetic,
     "No Latitude  Longitude Height",
     "No N/S(+/-) E/W(+/-) H",
     "SpeedButton9",
     "SpeedButton11",
     "SpeedButton30",
     "Save5",
     "SpeedButton71",
     "SpeedButton42",
     "SpeedButton41",
     "BitBtn9"},
    {2,
     false,
     6,
     {"Easting", "Northing", nullptr},
     {"Easting (m)", "Northing (m)", nullptr},
     "utmEN",
     PointReader::kPlane,
     "No Easting Northing Elevation",
     "No Easting Northing",
     "SpeedButton10",
     "SpeedButton12",
     "SpeedButton31",
     "Save6",
     "SpeedButton72",
     "SpeedButton44",
     "SpeedButton43",
     ""},
    {3,
     true,
     7,
     {"ecefx2", "ecefy2", "ecefz2"},
     {"X (m)", "Y (m)", "Z (m)"},
     "grdEcef2",
     PointReader::kXyz,
     "No X Y Z",
     "No X Y Z",
     "SpeedButton13",
     "SpeedButton15",
     "SpeedButton33",
     "Save7",
     "SpeedButton73",
     "SpeedButton46",
     "SpeedButton45",
     ""},
    {3,
     false,
     8,
     {"ecefx3", "ecefy3", "ecefz3"},
     {"X (m)", "Y (m)", "Z (m)"},
     "grdEcef3",
     PointReader::kXyz,
     "No X Y Z",
     "No X Y Z",
     "SpeedButton14",
     "SpeedButton16",
     "SpeedButton32",
     "Save8",
     "SpeedButton74",
     "SpeedButton48",
     "SpeedButton47",
     ""},
}};

constexpr std::array<const char*, 8> kCaptions = {
    "ECEF Trans",       "Datum Trans",          "TM/UTM/GK Trans",        "3-D Coordinates Trans",
    "2-D Affine Trans", "2-D Similarity Trans", "Datum Param Estimation", "Survey Log Merge"};
constexpr std::array<const char*, 8> kPageNames = {
    "ECEF",          "TabDatumTr",     "TabUTM", "TabXYZ", "Tab2DAffineParTr",
    "TabSimilarity", "Tab3DRevHelmTr", "SMTab"};
constexpr std::array<const char*, 8> kShortcutItems = {"Earth Centered Earth Fixed",
                                                       "Ellipsoidal Datum",
                                                       "Transverse Mercator",
                                                       "3-D Coordinates Frame ",
                                                       "2-D Affine",
                                                       "2-D Similarity ",
                                                       "3-D Transformation Parameters Estimation",
                                                       "Image Map Referencing "};

}  // namespace

TGeoForm::TGeoForm(appkit::Dialogs& dialogs, GeoFormPaths paths, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      paths_(std::move(paths)),
      ini_(paths_.ini),
      threads_(geotools::DefaultConversionThreads()) {
  setObjectName("TGeoForm");
  setWindowTitle(kTitle);
  setWindowIcon(QIcon(":/geokit/geokit.svg"));

  datums_ = new DatumWindow(dialogs_, paths_.programFolder / "Datum", this);
  datums_->setWindowFlag(Qt::Window);
  datums_->setWindowModality(Qt::ApplicationModal);
  units_ = new TFormUnits(this);
  clipboard_ = new Tfc(this);
  clipboard_->setWindowFlag(Qt::Window);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("TabDatum");
  setCentralWidget(tabs_);
  for (int page = 0; page < 4; ++page) BuildConversionPage(page);
  for (int page = 4; page < 7; ++page) BuildLsqPage(page);
  BuildMergePage();
  connect(tabs_, &QTabWidget::currentChanged, this,
          [this](int index) { helpContext_ = 30 + 10 * index; });

  statusFile_ = new QLabel(this);
  statusFile_->setObjectName("StatusFile");
  statusBar()->addWidget(new QLabel(this));
  statusBar()->addWidget(new QLabel(this));
  statusBar()->addWidget(statusFile_, 1);

  BuildMenus();
  connect(datums_, &DatumWindow::Changed, this, &TGeoForm::ResetSelectors);
  for (int s = 1; s <= 8; ++s) ToggleSelector(s);

  workTimer_ = new QTimer(this);
  workTimer_->setInterval(20);
  connect(workTimer_, &QTimer::timeout, this, &TGeoForm::WorkTick);

  jobTimer_ = new QTimer(this);
  jobTimer_->setInterval(10);
  connect(jobTimer_, &QTimer::timeout, this, &TGeoForm::ConversionSlice);

  timerUtm_ = new QTimer(this);
  timerUtm_->setObjectName("TimerUTM");
  timerUtm_->setInterval(500);
  connect(timerUtm_, &QTimer::timeout, this, [this] {
    ++blinkTicks_;
    grPar_->setStyleSheet(blinkTicks_ % 2 == 1 ? "QGroupBox { color: blue; }"
                                               : "QGroupBox { color: black; }");
    if (blinkTicks_ >= 20) {
      timerUtm_->stop();
      grPar_->setStyleSheet("QGroupBox { color: black; }");
    }
  });
  timerUtm_->start();

  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, &TGeoForm::OpenHelp);
  resize(1100, 700);
}

TGeoForm::~TGeoForm() {
  if (job_) CancelConversion();
  work_.reset();  // waits for background work still running
}

QLineEdit* TGeoForm::Edit(const QString& name) const {
  if (auto* edit = findChild<QLineEdit*>(name)) return edit;
  return datums_->Field(name);
}

GridModel* TGeoForm::Grid(const QString& name) const {
  for (const auto& slot : grids_)
    if (slot->name == name) return slot->model;
  return nullptr;
}

QTableView* TGeoForm::GridView(const QString& name) const {
  for (const auto& slot : grids_)
    if (slot->name == name) return slot->view;
  return nullptr;
}

const TGeoForm::Panel& TGeoForm::PanelOfSelector(int selector) const {
  return *panels_[static_cast<std::size_t>(selector - 1)];
}

TGeoForm::GridSlot& TGeoForm::AddGrid(const char* name, PointReader reader, const char* regenHeader,
                                      const char* restoreHeader, const char* load, const char* save,
                                      const char* renumber, bool clearOnLoad, QWidget* parent) {
  auto slot = std::make_unique<GridSlot>(
      GridSlot{name, reader, regenHeader, restoreHeader, clearOnLoad, nullptr, nullptr});
  slot->model = new GridModel(this);
  slot->model->setObjectName(QString(name) + "Model");
  slot->view = new QTableView(parent);
  slot->view->setObjectName(name);
  slot->view->setModel(slot->model);
  slot->view->setWordWrap(false);
  slot->view->horizontalHeader()->setSectionsMovable(true);
  slot->view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  slot->view->installEventFilter(this);
  slot->view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  slot->view->verticalHeader()->setDefaultSectionSize(17);
  slot->view->setContextMenuPolicy(Qt::CustomContextMenu);
  GridSlot* raw = slot.get();
  QHeaderView* header = slot->view->horizontalHeader();
  connect(header, &QHeaderView::sectionMoved, this,
          [raw, header](int, int oldVisual, int newVisual) {
            // The data move with the column; the header row is then restored.
            const QSignalBlocker quiet(header);
            header->moveSection(newVisual, oldVisual);
            raw->model->MoveColumn(oldVisual, newVisual, raw->restoreHeader);
          });
  connect(slot->view, &QTableView::customContextMenuRequested, this, [this, raw](const QPoint& at) {
    QMenu menu(this);
    QAction* purge = menu.addAction("Purge All Conversion Tables");
    purge->setObjectName("PurgeAllConversionTables1");
    QAction* regen = menu.addAction("Regenerate Cells");
    regen->setObjectName("RegenerateCells1");
    const QAction* chosen = menu.exec(raw->view->viewport()->mapToGlobal(at));
    if (chosen == purge) PurgeCells();
    if (chosen == regen && !Busy()) RegenerateCells();
  });
  if (reader == PointReader::kGeodetic) {
    connect(slot->view, &QTableView::doubleClicked, this, [this, raw] {
      raw->model->BeginChange();
      geodesy::CycleGridAngleFormat(raw->model->Grid(), units_->Precision());
      raw->model->EndChange();
    });
  }
  auto button = [&](const char* objectName, const char* text, auto handler) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(objectName);
    connect(b, &QPushButton::clicked, this, handler);
    return b;
  };
  auto* tools = new QHBoxLayout;
  tools->addWidget(button(load, "Load...", [this, raw] { LoadGrid(*raw); }));
  tools->addWidget(button(save, "Save...", [this, raw] { SaveGrid(*raw); }));
  tools->addWidget(button(renumber, "Renumber", [this, raw] { RenumberGrid(*raw); }));
  tools->addStretch();
  if (auto* layout = qobject_cast<QVBoxLayout*>(parent->layout())) {
    layout->addLayout(tools);
    layout->addWidget(slot->view, 1);
  }
  grids_.push_back(std::move(slot));
  return *grids_.back();
}

QWidget* TGeoForm::BuildPanel(Panel& panel, QWidget* parent) {
  auto* box = new QGroupBox(parent);
  box->setObjectName(QString("Panel%1%2").arg(panel.page).arg(panel.left ? "L" : "R"));
  auto* layout = new QVBoxLayout(box);
  auto* selector = new QLineEdit(box);
  selector->setObjectName(QString("Datum%1").arg(panel.selector));
  selector->setReadOnly(true);
  selector->setAlignment(Qt::AlignCenter);
  selector->setCursor(Qt::PointingHandCursor);
  selector->installEventFilter(this);
  selectors_[static_cast<std::size_t>(panel.selector)] = selector;
  layout->addWidget(selector);

  auto* form = new QFormLayout;
  for (std::size_t i = 0; i < 3; ++i) {
    if (panel.edits[i] == nullptr) continue;
    auto* edit = new QLineEdit(box);
    edit->setObjectName(panel.edits[i]);
    form->addRow(panel.labels[i], edit);
  }
  layout->addLayout(form);

  const geotools::ConversionAction* point = geotools::FindConversionAction(panel.pointButton);
  const geotools::ConversionAction* grid = geotools::FindConversionAction(panel.gridButton);
  auto* buttons = new QHBoxLayout;
  auto add = [&](const char* name, const QString& text, const QString& tip, auto handler) {
    if (name == nullptr || *name == '\0') return;
    auto* b = new QPushButton(text, box);
    b->setObjectName(name);
    b->setToolTip(tip);
    connect(b, &QPushButton::clicked, this, handler);
    buttons->addWidget(b);
  };
  const QString arrow = panel.left ? "Convert >>" : "<< Convert";
  add(panel.pointButton, arrow, "Convert the point to the other panel",
      [this, point] { RunPointAction(*point); });
  add(panel.gridButton, panel.left ? "Table >>" : "<< Table",
      "Convert every row of the table to the other panel's table",
      [this, grid] { StartGridAction(*grid); });
  Panel* raw = &panel;
  add(panel.copy, "Copy", "Copy the point to the clipboard window",
      [this, raw] { CopyPoint(*raw); });
  add(panel.paste, "Paste", "Paste the point from the clipboard window",
      [this, raw] { PastePoint(*raw); });
  add(panel.toggle, "D/DM/DMS", "Toggle between DMS DM D", [this, raw] { ToggleAngles(*raw); });
  layout->addLayout(buttons);

  if (panel.page == 2 && !panel.left) {
    grPar_ = new QGroupBox("(U)TM Parameters, Double Click to Show/Hide", box);
    grPar_->setObjectName("GrPar");
    auto* tm = new QFormLayout(grPar_);
    const std::array<std::pair<const char*, const char*>, 5> fields = {{
        {"CM", "Central meridian (d/dm/dms)"},
        {"RL", "Reference latitude (d/dm/dms)"},
        {"SF", "Scale factor"},
        {"FE", "False easting (m)"},
        {"FN", "False northing (m)"},
    }};
    for (const auto& [name, label] : fields) {
      auto* edit = new QLineEdit(grPar_);
      edit->setObjectName(name);
      edit->setEnabled(false);
      edit->setVisible(false);
      tm->addRow(label, edit);
    }
    grPar_->setFixedHeight(18);
    grPar_->installEventFilter(this);
    layout->addWidget(grPar_);
  }

  panel.slot = &AddGrid(panel.grid, panel.reader, panel.regenHeader, panel.restoreHeader,
                        panel.load, panel.save, panel.renumber, true, box);
  return box;
}

void TGeoForm::BuildConversionPage(int page) {
  auto* widget = new QWidget(tabs_);
  widget->setObjectName(kPageNames[static_cast<std::size_t>(page)]);
  auto* layout = new QVBoxLayout(widget);
  auto* panels = new QHBoxLayout;
  for (const PanelLayout& layoutOf : kPanels) {
    if (layoutOf.page != page) continue;
    auto panel = std::make_unique<Panel>();
    static_cast<PanelLayout&>(*panel) = layoutOf;
    panels->addWidget(BuildPanel(*panel, widget), 1);
    panels_.push_back(std::move(panel));
  }
  layout->addLayout(panels, 1);
  auto* bottom = new QHBoxLayout;
  auto* bar = new QProgressBar(widget);
  bar->setObjectName(QString("ProgressBar%1").arg(page + 1));
  bar->setVisible(false);
  auto* cancel = new QPushButton("Cancel", widget);
  cancel->setObjectName(QString("CancelConversion%1").arg(page + 1));
  cancel->setVisible(false);
  connect(cancel, &QPushButton::clicked, this, &TGeoForm::CancelConversion);
  bottom->addWidget(bar, 1);
  bottom->addWidget(cancel);
  layout->addLayout(bottom);
  progress_[static_cast<std::size_t>(page)] = bar;
  cancel_[static_cast<std::size_t>(page)] = cancel;
  tabs_->addTab(widget, kCaptions[static_cast<std::size_t>(page)]);
}

void TGeoForm::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  QAction* purge = file->addAction("Purge Transformation Cells");
  purge->setObjectName("PurgeTransformationCells1");
  connect(purge, &QAction::triggered, this, &TGeoForm::PurgeCells);
  file->addSeparator();
  QAction* exit = file->addAction("Exit");
  exit->setObjectName("Exit1");
  connect(exit, &QAction::triggered, this, [this] {
    closeToTray_->setChecked(false);
    close();
  });

  QMenu* tools = menuBar()->addMenu("&Tools");
  for (int page = 0; page < 8; ++page) {
    QAction* item = tools->addAction(kShortcutItems[static_cast<std::size_t>(page)]);
    item->setObjectName(QString("PageShortcut%1").arg(page));
    connect(item, &QAction::triggered, this, [this, page] { tabs_->setCurrentIndex(page); });
  }

  QMenu* settings = menuBar()->addMenu("&Settings");
  QAction* datum = settings->addAction("Datum...");
  datum->setObjectName("Datum1Menu");
  connect(datum, &QAction::triggered, this, [this] {
    datums_->show();
    datums_->raise();
  });
  QAction* openA = settings->addAction("Open Source Datum...");
  openA->setObjectName("OpenSourceDatum1");
  connect(openA, &QAction::triggered, this, [this] { datums_->OpenDatumFile(0); });
  QAction* openB = settings->addAction("Open Target Datum...");
  openB->setObjectName("OpenTargetDatum1");
  connect(openB, &QAction::triggered, this, [this] { datums_->OpenDatumFile(1); });
  settings->addSeparator();
  QAction* precision = settings->addAction("Output Presicion...");
  precision->setObjectName("OutputPrecision1");
  connect(precision, &QAction::triggered, this, [this] {
    units_->show();
    units_->raise();
  });
  QAction* clip = settings->addAction("Clipboard...");
  clip->setObjectName("Clipboard1");
  connect(clip, &QAction::triggered, this, [this] {
    clipboard_->show();
    clipboard_->raise();
  });
  settings->addSeparator();
  closeToTray_ = settings->addAction("Close To Tray");
  closeToTray_->setObjectName("CloseToTray1");
  closeToTray_->setCheckable(true);
  connect(closeToTray_, &QAction::toggled, this, &TGeoForm::SetCloseToTray);

  QMenu* help = menuBar()->addMenu("&Help");
  QAction* helpFile = help->addAction("Halvex Geodesy Kit Help");
  helpFile->setObjectName("HelpFile1");
  connect(helpFile, &QAction::triggered, this, &TGeoForm::OpenHelp);
  QAction* about = help->addAction("About...");
  about->setObjectName("About1");
  connect(about, &QAction::triggered, this, [this] {
    TAboutBox box(this);
    box.exec();
  });

  tray_ = new QSystemTrayIcon(windowIcon(), this);
  tray_->setToolTip(kTitle);
  auto* trayMenu = new QMenu(this);
  QAction* show = trayMenu->addAction("Show Halvex Geodesy Kit");
  connect(show, &QAction::triggered, this, [this] {
    showNormal();
    raise();
    tray_->hide();
  });
  QAction* trayHelp = trayMenu->addAction("Show Help");
  connect(trayHelp, &QAction::triggered, this, &TGeoForm::OpenHelp);
  QAction* trayExit = trayMenu->addAction("Exit");
  connect(trayExit, &QAction::triggered, exit, &QAction::trigger);
  tray_->setContextMenu(trayMenu);
}

bool TGeoForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    for (int s = 1; s <= 8; ++s) {
      if (watched == selectors_[static_cast<std::size_t>(s)]) {
        ToggleSelector(s);
        return true;
      }
    }
  }
  if (event->type() == QEvent::Resize) {
    for (const auto& slot : grids_) {
      if (watched == slot->view) FitColumns(*slot->view);
    }
  }
  if (watched == grPar_ && event->type() == QEvent::MouseButtonDblClick) {
    ToggleProjectionGroup();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TGeoForm::ToggleSelector(int selector) {
  QLineEdit* edit = selectors_[static_cast<std::size_t>(selector)];
  edit->setText(Q(geotools::ToggledSelector(Utf8(edit->text()), datums_->Definition(0),
                                            datums_->Definition(1))));
  ColourSelector(selector);
}

void TGeoForm::ColourSelector(int selector) {
  QLineEdit* edit = selectors_[static_cast<std::size_t>(selector)];
  const char* colour = "red";
  switch (geotools::SelectorColourFor(Utf8(edit->text()), datums_->Definition(0),
                                      datums_->Definition(1))) {
    case geotools::SelectorColour::kAqua:
      colour = "aqua";
      break;
    case geotools::SelectorColour::kLime:
      colour = "lime";
      break;
    case geotools::SelectorColour::kRed:
      break;
  }
  edit->setStyleSheet(QString("QLineEdit { background-color: %1; }").arg(colour));
}

void TGeoForm::ResetSelectors() {
  for (int s = 1; s <= 8; ++s) {
    selectors_[static_cast<std::size_t>(s)]->setText(Q(geotools::kSelectorPrompt));
    ColourSelector(s);
  }
}

void TGeoForm::ToggleProjectionGroup() {
  const bool folded = grPar_->height() <= 18 || grPar_->maximumHeight() == 18;
  grPar_->setFixedHeight(folded ? 145 : 18);
  for (QLineEdit* edit : grPar_->findChildren<QLineEdit*>()) {
    edit->setEnabled(folded);
    edit->setVisible(folded);
  }
  if (!folded) {
    try {
      geodesy::SaveTmSettings(
          ini_, {Utf8(Edit("CM")->text()), Utf8(Edit("RL")->text()), Utf8(Edit("SF")->text()),
                 Utf8(Edit("FE")->text()), Utf8(Edit("FN")->text())});
    } catch (const std::exception& e) {
      dialogs_.Tell(appkit::Notice::kError, kTitle, e.what());
    }
  }
  timerUtm_->stop();
  grPar_->setStyleSheet("QGroupBox { color: black; }");
}

void TGeoForm::Fail(const std::string& message) {
  dialogs_.Tell(appkit::Notice::kError, kTitle, message);
}

bool TGeoForm::SetupFor(const geotools::ConversionAction& action,
                        geotools::ConversionSetup& setup) {
  const geotools::DatumDefinition a = datums_->Definition(0);
  const geotools::DatumDefinition b = datums_->Definition(1);
  auto selector = [this](int s) { return Utf8(selectors_[static_cast<std::size_t>(s)]->text()); };
  geotools::PairTexts pair =
      geotools::PairFromSelectors(selector(action.pairFirst), selector(action.pairSecond), a, b);
  if (pair.pair.empty()) {
    Fail(pair.problem);
    return false;
  }
  setup.pair = std::move(pair.pair);
  if (action.page == 2) {
    setup.ellipsoid = geotools::PairFromSelectors(selector(geotools::kEllipsoidFirst),
                                                  selector(geotools::kEllipsoidSecond), a, b)
                          .ellipsoid;
    setup.tm = {Utf8(Edit("CM")->text()), Utf8(Edit("RL")->text()), Utf8(Edit("SF")->text()),
                Utf8(Edit("FE")->text()), Utf8(Edit("FN")->text())};
  }
  setup.precision = units_->Precision();
  if (auto refusal = geotools::CheckSetup(action.operation, setup)) {
    Fail(*refusal);
    return false;
  }
  return true;
}

void TGeoForm::RunPointAction(const geotools::ConversionAction& action) {
  geotools::ConversionSetup setup;
  if (!SetupFor(action, setup)) return;
  const Panel* from = nullptr;
  const Panel* to = nullptr;
  for (const auto& panel : panels_) {
    if (panel->page != action.page) continue;
    if (panel->pointButton == action.button)
      from = panel.get();
    else
      to = panel.get();
  }
  geotools::PointFields fields;
  for (std::size_t i = 0; i < 3; ++i) {
    if (from->edits[i] != nullptr) fields[i] = Utf8(Edit(from->edits[i])->text());
  }
  const geotools::PointOutcome outcome = geotools::ConvertPoint(action.operation, fields, setup);
  if (!outcome.ok) {
    Fail(outcome.message);
    return;
  }
  const std::size_t count = action.operation == Operation::kGridToGeodetic ? 2 : 3;
  for (std::size_t i = 0; i < count; ++i) {
    if (to->edits[i] != nullptr) Edit(to->edits[i])->setText(Q(outcome.values[i]));
  }
}

void TGeoForm::StartGridAction(const geotools::ConversionAction& action) {
  if (Busy()) return;
  geotools::ConversionSetup setup;
  if (!SetupFor(action, setup)) return;
  GridModel* source = nullptr;
  GridModel* target = nullptr;
  for (const auto& panel : panels_) {
    if (panel->page != action.page) continue;
    if (panel->gridButton == action.button)
      source = panel->slot->model;
    else
      target = panel->slot->model;
  }
  target->BeginChange();
  job_ = std::make_unique<geotools::GridConversion>(action.operation, source->Grid(),
                                                    target->Grid(), std::move(setup), threads_);
  target->EndChange();
  if (job_->Failed()) {
    Fail(job_->Message());
    job_.reset();
    return;
  }
  jobTarget_ = target;
  jobPage_ = action.page;
  QProgressBar* bar = progress_[static_cast<std::size_t>(jobPage_)];
  bar->setRange(0, 1000);
  bar->setValue(0);
  bar->setVisible(true);
  cancel_[static_cast<std::size_t>(jobPage_)]->setVisible(true);
  for (QGroupBox* box : tabs_->widget(jobPage_)->findChildren<QGroupBox*>()) {
    if (box->objectName().startsWith("Panel")) box->setEnabled(false);
  }
  tabs_->tabBar()->setEnabled(false);
  jobTimer_->start();
}

void TGeoForm::ConversionSlice() {
  if (!job_) return;
  if (!job_->SliceReady()) {
    job_->Poll(sliceRows_);  // starts the first slice; otherwise returns at once
    return;
  }
  jobTarget_->BeginChange();
  job_->Poll(sliceRows_);
  jobTarget_->EndChange();
  const std::size_t total = std::max<std::size_t>(job_->RowsTotal(), 1);
  progress_[static_cast<std::size_t>(jobPage_)]->setValue(
      static_cast<int>(job_->RowsDone() * 1000 / total));
  if (job_->Finished()) EndConversion();
}

void TGeoForm::EndConversion() {
  jobTimer_->stop();
  const bool failed = job_ && job_->Failed();
  const std::string message = job_ ? job_->Message() : std::string();
  job_.reset();
  QProgressBar* bar = progress_[static_cast<std::size_t>(jobPage_)];
  bar->reset();
  bar->setVisible(false);
  cancel_[static_cast<std::size_t>(jobPage_)]->setVisible(false);
  for (QGroupBox* box : tabs_->widget(jobPage_)->findChildren<QGroupBox*>()) {
    if (box->objectName().startsWith("Panel")) box->setEnabled(true);
  }
  tabs_->tabBar()->setEnabled(true);
  jobTarget_ = nullptr;
  jobPage_ = -1;
  if (failed) Fail(message);
  emit ConversionFinished();
}

void TGeoForm::CancelConversion() {
  if (!job_) return;
  const std::size_t done = job_->RowsDone();
  job_.reset();
  EndConversion();
  dialogs_.Tell(
      appkit::Notice::kInformation, kTitle,
      "The conversion was cancelled; rows 1 to " + std::to_string(done) + " were converted.");
}

void TGeoForm::RegenerateCells() {
  for (const auto& slot : grids_) {
    slot->model->BeginChange();
    slot->model->Grid() = geodesy::CoordGrid(4, 10);
    geodesy::SetGridHeader(slot->model->Grid(), slot->regenHeader);
    slot->model->EndChange();
    QPalette palette = slot->view->palette();
    palette.setColor(QPalette::Base, KindColour(KindOf(slot->reader)));
    slot->view->setPalette(palette);
    FitColumns(*slot->view);
  }
}

void TGeoForm::FitColumns(QTableView& view) {
  const int columns = view.model()->columnCount();
  const int width = geodesy::FitGridColumns(
      view.width() - view.verticalHeader()->sizeHint().width() - 2 * view.frameWidth(),
      static_cast<std::size_t>(std::max(columns, 1)));
  for (int c = 0; c < columns; ++c) view.setColumnWidth(c, width);
}

void TGeoForm::PurgeCells() {
  if (Busy()) return;
  if (!dialogs_.Confirm("Confirm", kPurgeQuestion)) return;
  RegenerateCells();
}

void TGeoForm::LoadGrid(GridSlot& slot) {
  if (Busy()) return;
  appkit::FileRequest request{"OPEN ASCII FILE", paths_.programFolder.string(), kAsciiFilter, "",
                              false};
  const auto file = dialogs_.OpenFile(request);
  if (!file) return;
  slot.model->BeginChange();
  if (slot.clearOnLoad) geodesy::ClearGrid(slot.model->Grid());
  const geodesy::PointReadResult result =
      geodesy::ReadPointFile(slot.reader, *file, slot.model->Grid());
  slot.model->EndChange();
  statusFile_->setText(Q(*file));
  if (!result.error.empty()) {
    dialogs_.Tell(appkit::Notice::kError, kTitle, result.error);
  } else if (result.notGeographical) {
    dialogs_.Tell(appkit::Notice::kWarning, kTitle, std::string(geodesy::kNotGeographicalMessage));
  }
}

void TGeoForm::SaveGrid(GridSlot& slot) {
  appkit::FileRequest request{"SAVE AS ASCII FILE", paths_.programFolder.string(), kAsciiFilter,
                              "txt", true};
  const auto file = dialogs_.SaveFile(request);
  if (!file) return;
  try {
    geodesy::SaveGridText(slot.model->Grid(), *file);
  } catch (const std::exception& e) {
    dialogs_.Tell(appkit::Notice::kError, kTitle,
                  std::string("The table was not saved. ") + e.what());
  }
}

void TGeoForm::RenumberGrid(GridSlot& slot) {
  if (Busy()) return;
  if (!dialogs_.Confirm("Confirm", kRenumberQuestion)) return;
  slot.model->BeginChange();
  geodesy::NumberGridRows(slot.model->Grid());
  slot.model->EndChange();
}

void TGeoForm::CopyPoint(const Panel& panel) {
  for (std::size_t i = 0; i < 3; ++i) {
    clipboard_->Field(static_cast<int>(i))
        ->setText(panel.edits[i] != nullptr ? Edit(panel.edits[i])->text() : QString());
  }
}

void TGeoForm::PastePoint(const Panel& panel) {
  for (std::size_t i = 0; i < 3; ++i) {
    if (panel.edits[i] != nullptr && clipboard_->Field(static_cast<int>(i))->text().isEmpty()) {
      return;
    }
  }
  for (std::size_t i = 0; i < 3; ++i) {
    if (panel.edits[i] != nullptr) {
      Edit(panel.edits[i])->setText(clipboard_->Field(static_cast<int>(i))->text());
    }
  }
}

void TGeoForm::ToggleAngles(const Panel& panel) {
  std::string lat = Utf8(Edit(panel.edits[0])->text());
  std::string lon = Utf8(Edit(panel.edits[1])->text());
  geodesy::CycleAngleFormat(lat, lon, units_->Precision());
  Edit(panel.edits[0])->setText(Q(lat));
  Edit(panel.edits[1])->setText(Q(lon));
}

void TGeoForm::OpenHelp() {
  if (!QDesktopServices::openUrl(
          QUrl::fromLocalFile(QString::fromStdString(paths_.helpFile.string())))) {
    dialogs_.Tell(appkit::Notice::kError, kTitle,
                  "Cannot open the help document " + paths_.helpFile.string() + ".");
  }
}

void TGeoForm::SetCloseToTray(bool checked) {
  try {
    geotools::WriteCloseToTray(ini_, checked);
  } catch (const std::exception& e) {
    dialogs_.Tell(appkit::Notice::kError, kTitle, e.what());
  }
}

TFormOutput* TGeoForm::ShowReport(const geotools::RichText& report) {
  auto* window = new TFormOutput(dialogs_, paths_.programFolder, this);
  window->setWindowFlag(Qt::Window);
  connect(window, &TFormOutput::Closed, this, [this] {
    for (QCheckBox* box : reportBoxes_) {
      box->setChecked(false);
      box->setEnabled(true);
    }
  });
  window->ShowReport(report);
  return window;
}

void TGeoForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!restored_) Restore();
}

void TGeoForm::closeEvent(QCloseEvent* event) {
  if (job_) CancelConversion();
  EndWork();  // a running estimation or merge ends and lands first
  try {
    Store();
  } catch (const std::exception& e) {
    dialogs_.Tell(appkit::Notice::kError, kTitle,
                  std::string("The settings were not saved. ") + e.what());
  }
  if (closeToTray_->isChecked() && !quitOnClose_) {
    event->ignore();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
      tray_->show();
      tray_->showMessage(kTitle,
                         "I am hiding myself here for the safety of your data.  You can disable "
                         "this future from the main menu. To close, use the right click menu.",
                         QSystemTrayIcon::Information);
      hide();
    } else {
      showMinimized();
    }
    return;
  }
  event->accept();
  datums_->hide();
  units_->hide();
  clipboard_->hide();
  tray_->hide();
  emit Finished();
}

}  // namespace halvex::geokit
