// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/app/NavWindow.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextDocument>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <array>
#include <utility>

#include "appkit/BgrColor.hpp"
#include "mapcontrol/FlpCad.hpp"
#include "navigator/app/AboutWindow.hpp"
#include "navigator/app/ColorBox.hpp"
#include "navigator/app/FlpCadChart.hpp"
#include "navigator/app/GuiDispatcher.hpp"
#include "navigator/app/ProgramIcon.hpp"
#include "navigator/app/SettingsWindow.hpp"
#include "navigator/app/SkyView.hpp"

namespace halvex::navigator {

namespace {

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Paints a widget's background (the "colour" of a group box or a memo).
void SetBackground(QWidget* widget, QPalette::ColorRole role, int bgr) {
  QPalette palette = widget->palette();
  palette.setColor(role, appkit::QColorFromBgr(bgr));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

// The drawing-tool buttons with their captions, in tool bar order.
struct ToolButtonSpec {
  const char* name;
  const char* caption;
};
constexpr std::array<ToolButtonSpec, 11> kDrawingTools{{
    {"ToolButton16", "Point"},
    {"ToolButton9", "Line"},
    {"ToolButton19", "Polyline"},
    {"ToolButton14", "Polygon"},
    {"ToolButton15", "Rectangle"},
    {"ToolButton17", "Circle"},
    {"ToolButton20", "Circle 3P"},
    {"ToolButton22", "Arc"},
    {"ToolButton24", "Text"},
    {"ToolButton10", "Measure"},
    {"ToolButton18", "Point E,N"},
}};

void SetSpinText(QSpinBox* box, const std::string& text) {
  bool ok = false;
  const int value = QString::fromStdString(text).trimmed().toInt(&ok);
  box->setValue(ok ? value : 3);
}

void SetComboText(QComboBox* combo, const std::string& text) {
  const QSignalBlocker block(combo);
  combo->setCurrentText(QString::fromStdString(text));
}

std::string ComboText(const QComboBox* combo) { return combo->currentText().toStdString(); }

GpsPageTexts ReadPage(const LineCombos& c) {
  return {ComboText(c[0]), ComboText(c[1]), ComboText(c[2]), ComboText(c[3]),
          ComboText(c[4]), ComboText(c[5]), ComboText(c[6]), ComboText(c[7]),
          ComboText(c[8]), ComboText(c[9]), ComboText(c[10])};
}

void ShowPage(const LineCombos& c, const GpsPageTexts& t) {
  const std::array<const std::string*, kLineFieldCount> texts{
      &t.Port,    &t.BaudRate, &t.DataWidth, &t.StopBits,  &t.Parity,   &t.Priority,
      &t.Delay,   &t.NMEALog,  &t.LogTime,   &t.EnableDTR, &t.EnableRTS};
  for (std::size_t i = 0; i < kLineFieldCount; ++i) SetComboText(c[i], *texts[i]);
}

}  // namespace

TFNav::TFNav(NavWindowOptions options, appkit::Dialogs& dialogs, appkit::MessageBoard& messages,
             QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), messages_(messages) {
  setObjectName("FNav");
  setWindowTitle("Halvex Navigator");
  setWindowIcon(MarnavIcon());
  warn_on_failed_close_ = options.warnOnFailedClose;

  fcad_ = new mapcontrol::TFlpCAD(this);
  fcad_->setObjectName("fcad");
  // On the bridge the chart shows its scale, grid, north arrow and cursor
  // position, with crowded texts thinned out.
  fcad_->SetAllFurniture(true);
  fcad_->installEventFilter(this);
  setCentralWidget(fcad_);
  chart_ = std::make_unique<FlpCadChart>(*fcad_);

  auto* side = new QDockWidget("Position", this);
  side->setObjectName("PanelDock");
  side->setFeatures(QDockWidget::NoDockWidgetFeatures);
  side->setTitleBarWidget(new QWidget(side));
  side->setWidget(BuildSidePanel());
  addDockWidget(Qt::LeftDockWidgetArea, side);

  sky_dock_ = new QDockWidget("Sky", this);
  sky_dock_->setObjectName("SkyDock");
  sky_ = new TSkyView(sky_dock_);
  sky_dock_->setWidget(sky_);
  addDockWidget(Qt::LeftDockWidgetArea, sky_dock_);

  auto* sensor = new QDockWidget("Sensor", this);
  sensor->setObjectName("SensorDock");
  sensor->setFeatures(QDockWidget::NoDockWidgetFeatures);
  sensor->setTitleBarWidget(new QWidget(sensor));
  sensor->setWidget(BuildSensorBar());
  addDockWidget(Qt::BottomDockWidgetArea, sensor);

  dist_label_ = new QLabel("Distance: 0.00 Bearing: 0.00", this);
  dist_label_->setObjectName("DistLabel");
  coordinates_ = new QLabel("E:0.00,N:0.00", this);
  coordinates_->setObjectName("Coordinates");
  statusBar()->setObjectName("StatusBar1");
  statusBar()->addWidget(coordinates_);
  statusBar()->addWidget(dist_label_);

  nav_ = std::make_unique<Navigator>(*chart_, *this, dialogs_, messages_, options.iniFile,
                                     *options.clock, options.env, options.ports);
  BuildMenus();
  BuildToolBars();
  WireChart();
  WireReceivers(options.synchronizeReceivers);
  nav_->FormCreate();
}

TFNav::~TFNav() {
  // The logic goes first: its receivers end their readers while the
  // window they report to still exists.
  nav_.reset();
}

QAction* TFNav::MenuAction(QMenu* menu, const char* name, const QString& text,
                           const QKeySequence& key, void (Navigator::*handler)()) {
  auto* action = menu->addAction(text);
  action->setObjectName(name);
  if (!key.isEmpty()) action->setShortcut(key);
  if (handler != nullptr)
    connect(action, &QAction::triggered, this, [this, handler] { (nav_.get()->*handler)(); });
  return action;
}

void TFNav::BuildMenus() {
  menuBar()->setObjectName("MainMenu1");
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("File1");
  MenuAction(file, "New1", "New", QKeySequence("Ctrl+N"), &Navigator::New1Click);
  MenuAction(file, "Open1", "Open...", QKeySequence("Ctrl+O"), &Navigator::Open1Click);
  MenuAction(file, "Save1", "Save", QKeySequence("Ctrl+S"), &Navigator::Save1Click);
  MenuAction(file, "SaveAs1", "Save As...", QKeySequence("Ctrl+W"), &Navigator::SaveAs1Click);
  file->addSeparator();
  MenuAction(file, "Import1", "Import...", QKeySequence("Ctrl+X"), &Navigator::Import1Click);
  MenuAction(file, "Export1", "Export...", QKeySequence("Ctrl+A"), &Navigator::Export1Click);
  file->addSeparator();
  MenuAction(file, "Exit1", "Exit", QKeySequence("Ctrl+Q"), &Navigator::Exit1Click);

  QMenu* navigation = menuBar()->addMenu("&Navigation");
  navigation->setObjectName("Navigation1");
  MenuAction(navigation, "Parameters1", "Settings", QKeySequence("F10"),
             &Navigator::ConnectIconClick);
  navigation->addSeparator();
  MenuAction(navigation, "FollowVessel1", "Follow vessel", QKeySequence("Ctrl+F"),
             &Navigator::ToolButton5Click);
  MenuAction(navigation, "DoNotFollowVessel1", "Do not follow vessel", QKeySequence("Ctrl+C"),
             &Navigator::ToolButton13Click);
  navigation->addSeparator();
  MenuAction(navigation, "MarkEvent1", "Mark Event", {}, &Navigator::ToolButton6Click);

  QMenu* zoom = menuBar()->addMenu("&Zoom");
  zoom->setObjectName("Zoom1");
  MenuAction(zoom, "In1", "In", QKeySequence("F2"), &Navigator::ZoominClick);
  MenuAction(zoom, "Out1", "Out", QKeySequence("F3"), &Navigator::ZoomoutClick);
  MenuAction(zoom, "Window1", "Window", QKeySequence("F4"), &Navigator::ZoomwindowClick);
  MenuAction(zoom, "Extents1", "Extents", QKeySequence("F5"), &Navigator::ZoomextentsClick);
  MenuAction(zoom, "Dynamic1", "Dynamic", QKeySequence("F6"), &Navigator::ZoomdynamicClick);
  MenuAction(zoom, "Pan1", "Pan", QKeySequence("F7"), &Navigator::ZoompanClick);

  QMenu* clear = menuBar()->addMenu("&Clear");
  clear->setObjectName("Clear1");
  MenuAction(clear, "ClearFixedTracks1", "Clear Fixed Tracks", {},
             &Navigator::ToolButton23Click);
  MenuAction(clear, "ClearUnfixedTracks1", "Clear Unfixed Tracks", {},
             &Navigator::ToolButton7Click);
  MenuAction(clear, "ClearUserAddedShapes1", "Clear User Added Shapes", {},
             &Navigator::ToolButton11Click);

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("Help1");
  auto* about = MenuAction(help, "About1", "About...", {}, nullptr);
  connect(about, &QAction::triggered, this, [this] {
    if (about_ != nullptr) about_->exec();
  });
}

QToolButton* TFNav::Button(QToolBar* bar, const char* name, const QString& text,
                           void (Navigator::*handler)()) {
  auto* button = new QToolButton(bar);
  button->setObjectName(name);
  button->setText(text);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  button->setAutoRaise(true);
  bar->addWidget(button);
  if (handler != nullptr)
    connect(button, &QToolButton::clicked, this, [this, handler] { (nav_.get()->*handler)(); });
  return button;
}

void TFNav::BuildToolBars() {
  auto* main_bar = addToolBar("Navigation");
  main_bar->setObjectName("ToolBar1");
  main_bar->setMovable(false);
  realtime_ = Button(main_bar, "Realtime", "Realtime", &Navigator::RealtimeClick);
  realtime_->setCheckable(true);
  Button(main_bar, "DisconnectIcon", "Stop", &Navigator::DisconnectIconClick);
  Button(main_bar, "ConnectIcon", "Settings", &Navigator::ConnectIconClick);
  main_bar->addSeparator();
  Button(main_bar, "OpenButton", "Open", &Navigator::Open1Click);
  Button(main_bar, "SaveButton", "Save", &Navigator::Save1Click);
  main_bar->addSeparator();
  Button(main_bar, "ToolButton5", "Follow", &Navigator::ToolButton5Click);
  Button(main_bar, "ToolButton13", "No follow", &Navigator::ToolButton13Click);
  main_bar->addSeparator();
  Button(main_bar, "ToolButton23", "Fix", &Navigator::ToolButton23Click);
  Button(main_bar, "ToolButton7", "Unfix", &Navigator::ToolButton7Click);
  Button(main_bar, "ToolButton11", "Clear User Shapes", &Navigator::ToolButton11Click);
  Button(main_bar, "ToolButton6", "Add Event No", &Navigator::ToolButton6Click);

  addToolBarBreak();
  auto* chart_bar = addToolBar("Chart");
  chart_bar->setObjectName("ToolBar2");
  chart_bar->setMovable(false);
  Button(chart_bar, "Zoomin", "In", &Navigator::ZoominClick);
  Button(chart_bar, "Zoomout", "Out", &Navigator::ZoomoutClick);
  Button(chart_bar, "Zoomwindow", "Window", &Navigator::ZoomwindowClick);
  Button(chart_bar, "Zoomextents", "Extents", &Navigator::ZoomextentsClick);
  Button(chart_bar, "Zoomdynamic", "Dynamic", &Navigator::ZoomdynamicClick);
  Button(chart_bar, "Zoompan", "Pan", &Navigator::ZoompanClick);
  Button(chart_bar, "ToolButton26", "Select", &Navigator::ToolButton26Click);
  chart_bar->addSeparator();
  for (const auto& tool : kDrawingTools) {
    QToolButton* button = Button(chart_bar, tool.name, tool.caption, nullptr);
    const std::optional<int> code = Navigator::DrawingToolCode(tool.name);
    connect(button, &QToolButton::clicked, this, [this, code] {
      if (code) nav_->DrawingToolClick(*code);
    });
    // A widget in a tool bar is shown and hidden through its action.
    for (QAction* action : chart_bar->actions())
      if (chart_bar->widgetForAction(action) == button) drawing_tools_[tool.name] = action;
  }
}

QWidget* TFNav::BuildSidePanel() {
  auto* panel = new QWidget(this);
  panel->setObjectName("Panel1");
  auto* layout = new QVBoxLayout(panel);

  auto* position = new QGridLayout;
  auto add_edit = [&](int row, int column, const char* name, const char* caption) {
    auto* label = new QLabel(caption, panel);
    auto* edit = new QLineEdit(panel);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    label->setBuddy(edit);
    position->addWidget(label, row * 2, column);
    position->addWidget(edit, row * 2 + 1, column);
    return edit;
  };
  lat_ = add_edit(0, 0, "Lat", "Latitude");
  lon_ = add_edit(0, 1, "Lon", "Longitude");
  easting_ = add_edit(1, 0, "Easting", "Easting");
  northing_ = add_edit(1, 1, "Northing", "Northing");
  layout->addLayout(position);

  gps_group_ = new QGroupBox("GPS", panel);
  gps_group_->setObjectName("GPSGroupBox");
  auto* gps_form = new QFormLayout(gps_group_);
  auto add_value = [&](const char* name, const char* caption) {
    auto* value = new QLabel(">>", gps_group_);
    value->setObjectName(name);
    gps_form->addRow(caption, value);
    return value;
  };
  fixed_ = add_value("Fixed", "Fix:");
  speed_ = add_value("Speed", "Speed:");
  antenna_ = add_value("Antenna", "Ant. Ht.:");
  satellites_ = add_value("SatelliteLabel", "Satellite:");
  layout->addWidget(gps_group_);

  auto* style = new QGroupBox("Track", panel);
  style->setObjectName("TrackGroupBox");
  auto* style_form = new QFormLayout(style);
  vessel_color_ = new ColorBox("VesselColor", style);
  vessel_width_ = new QSpinBox(style);
  vessel_width_->setObjectName("VesselWidth");
  vessel_width_->setRange(0, 15);
  vessel_width_->setValue(3);
  track_color_ = new ColorBox("ColorTracklines", style);
  grid_color_ = new ColorBox("GridColor", style);
  track_width_ = new QSpinBox(style);
  track_width_->setObjectName("TrackWidth");
  track_width_->setRange(0, 15);
  track_width_->setValue(3);
  interval_ = new QSpinBox(style);
  interval_->setObjectName("Interval");
  interval_->setRange(0, 500);
  interval_->setValue(3);
  dotorline_ = new QCheckBox("Track As Line", style);
  dotorline_->setObjectName("dotorline");
  dotorline_->setChecked(true);
  fcad_color_ = new ColorBox("fcadColor", style);
  style_form->addRow("Vessel:", vessel_color_);
  style_form->addRow("Vessel width:", vessel_width_);
  style_form->addRow("Fixed track:", track_color_);
  style_form->addRow("Unfixed track:", grid_color_);
  style_form->addRow("Track width:", track_width_);
  style_form->addRow("Interval:", interval_);
  style_form->addRow(dotorline_);
  style_form->addRow("Background:", fcad_color_);
  layout->addWidget(style);
  layout->addStretch();

  connect(track_color_, &ColorBox::Changed, this, [this] { nav_->TrackWidthChange(); });
  connect(grid_color_, &ColorBox::Changed, this, [this] { nav_->TrackWidthChange(); });
  connect(track_width_, &QSpinBox::valueChanged, this, [this] { nav_->TrackWidthChange(); });
  connect(fcad_color_, &ColorBox::Changed, this, [this] { nav_->fcadColorChange(); });
  return panel;
}

QWidget* TFNav::BuildSensorBar() {
  auto* bar = new QWidget(this);
  bar->setObjectName("Panel2");
  auto* layout = new QVBoxLayout(bar);
  layout->setContentsMargins(2, 2, 2, 2);
  // The last two sentences of the GPS, alternating lines.
  memo_gps_ = new QPlainTextEdit(bar);
  memo_gps_->setObjectName("MemoGPS");
  memo_gps_->setReadOnly(true);
  memo_gps_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_gps_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo_gps_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QFont fixed_font("Monospace");
  fixed_font.setStyleHint(QFont::TypeWriter);
  memo_gps_->setFont(fixed_font);
  memo_gps_lines_[0] = "NMEA GGA";
  memo_gps_lines_[1] = "NMEA RMC, VTG, OR OTHER CMG STRING";
  memo_gps_->setPlainText("NMEA GGA\nNMEA RMC, VTG, OR OTHER CMG STRING");
  const int line_height = memo_gps_->fontMetrics().lineSpacing();
  memo_gps_->setFixedHeight(line_height * 2 + 2 * memo_gps_->frameWidth() +
                            2 * static_cast<int>(memo_gps_->document()->documentMargin()) + 2);
  connect(memo_gps_, &QPlainTextEdit::textChanged, this, [this] { nav_->MemoGPSChange(); });
  layout->addWidget(memo_gps_);

  memo_sensor_ = new QLineEdit("NMEA SENSOR DATA", bar);
  memo_sensor_->setObjectName("MemoSensor");
  memo_sensor_->setReadOnly(true);
  QFont font("Arial Black");
  font.setStyleHint(QFont::SansSerif);
  font.setWeight(QFont::Black);
  font.setPixelSize(32);
  memo_sensor_->setFont(font);
  layout->addWidget(memo_sensor_);
  return bar;
}

void TFNav::WireChart() {
  connect(fcad_, &mapcontrol::TFlpCAD::CadSaveFinished, this,
          [this](bool ok, const QString& file, const QString& reason) {
            nav_->SaveFinished(ok, file.toStdString(), reason.toStdString());
          });
  connect(fcad_, &mapcontrol::TFlpCAD::OnWorldMouseMove, this,
          [this](int, double x, double y, double, double) { nav_->fcadWorldMouseMove(x, y); });
  connect(fcad_, &mapcontrol::TFlpCAD::OnWorldMouseDown, this,
          [this](int, int, int, double x, double y) { nav_->fcadWorldMouseDown(x, y); });
  connect(fcad_, &mapcontrol::TFlpCAD::OnShapeNumberSelected, this,
          [this](int, int shape) { nav_->fcadShapeNumberSelected(static_cast<uint32_t>(shape)); });
}

void TFNav::WireReceivers(bool synchronize) {
  for (nmea::TRaxGPSReceiver* receiver : {&nav_->RGPS1, &nav_->RSENSOR}) {
    receiver->NeedSynchronization = synchronize;
    receiver->Synchronize = MakeGuiDispatcher(this);
    receiver->ProcessMessages = [] { ProcessGuiEvents(); };
  }
  sky_->SetSatellites(&nav_->RGPS1.GetSatellites());
  nav_->RGPS1.OnSatellitesReceive = [this](nmea::TRaxCustomGPSReceiver&) { sky_->Refresh(); };
}

void TFNav::AttachSettingsWindow(TFGPS* settings) {
  settings_ = settings;
  connect(settings_, &TFGPS::GPSSetClick, this, [this] { nav_->GPSSetClick(); });
  connect(settings_, &TFGPS::SensorSetClick, this, [this] { nav_->SensorSetClick(); });
  connect(settings_, &TFGPS::LockStateCheckClick, this, [this] { nav_->LockStateCheckClick(); });
  connect(settings_, &TFGPS::FormShow, this, [this] { nav_->FGPSFormShow(); });
  nav_->FGPSFormCreate();
}

void TFNav::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_once_) return;
  shown_once_ = true;
  nav_->FormShow();
  PlaceOnScreen();
}

void TFNav::PlaceOnScreen() {
  const QScreen* screen = this->screen();
  if (screen == nullptr) return;
  const QRect area = screen->geometry();
  const int w = area.width();
  const int h = area.height();
  setGeometry(area.left() + w / 4, area.top(), w - w / 4, h - h / 5);
}

void TFNav::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    close_outcome_ = nav_->FormCloseQuery(warn_on_failed_close_);
    if (settings_ != nullptr) settings_->close();
    emit WindowClosed();
  }
  event->accept();
}

bool TFNav::eventFilter(QObject* watched, QEvent* event) {
  // The wheel over the chart pans towards the cursor and zooms about it as
  // the logic says, instead of the chart's own wheel zoom.
  if (watched == fcad_ && event->type() == QEvent::Wheel) {
    const auto* wheel = static_cast<QWheelEvent*>(event);
    const int delta = wheel->angleDelta().y();
    if (delta < 0) nav_->FormMouseWheelDown();
    if (delta > 0) nav_->FormMouseWheelUp();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- NavView ---

void TFNav::SetLat(const std::string& text) { lat_->setText(Latin1(text)); }
void TFNav::SetLon(const std::string& text) { lon_->setText(Latin1(text)); }
void TFNav::SetFixed(const std::string& text) { fixed_->setText(Latin1(text)); }
void TFNav::SetSpeed(const std::string& text) { speed_->setText(Latin1(text)); }
void TFNav::SetAntenna(const std::string& text) { antenna_->setText(Latin1(text)); }
void TFNav::SetSatelliteLabel(const std::string& text) { satellites_->setText(Latin1(text)); }

void TFNav::SetMemoGPSLine(int line, const std::string& text) {
  if (line < 0 || line > 1) return;
  memo_gps_lines_[line] = text;
  memo_gps_->setPlainText(Latin1(memo_gps_lines_[0]) + "\n" + Latin1(memo_gps_lines_[1]));
}

void TFNav::SetMemoGPSColor(int bgrColor) { SetBackground(memo_gps_, QPalette::Base, bgrColor); }

void TFNav::SetGPSGroupBoxColor(int bgrColor) {
  SetBackground(gps_group_, QPalette::Window, bgrColor);
}

void TFNav::SetMemoSensor(const std::string& text) { memo_sensor_->setText(Latin1(text)); }

void TFNav::SetMemoSensorColor(int bgrColor) {
  SetBackground(memo_sensor_, QPalette::Base, bgrColor);
}

void TFNav::SetRealtimePressed(bool pressed) { realtime_->setChecked(pressed); }

void TFNav::SetDrawingToolsVisible(bool visible) {
  for (auto& [name, action] : drawing_tools_) action->setVisible(visible);
}

void TFNav::SetTitle(const std::string& title) {
  setWindowTitle(QString::fromStdString(title));
}

void TFNav::SetDistLabel(const std::string& text) { dist_label_->setText(Latin1(text)); }
void TFNav::SetCoordinates(const std::string& text) { coordinates_->setText(Latin1(text)); }
void TFNav::SetEasting(const std::string& text) { easting_->setText(Latin1(text)); }
void TFNav::SetNorthing(const std::string& text) { northing_->setText(Latin1(text)); }

NavControls TFNav::Controls() const {
  NavControls c;
  c.VesselWidth = vessel_width_->text().toStdString();
  c.TrackWidth = track_width_->text().toStdString();
  c.Interval = interval_->text().toStdString();
  c.VesselColor = vessel_color_->Bgr();
  c.ColorTracklines = track_color_->Bgr();
  c.GridColor = grid_color_->Bgr();
  c.fcadColor = fcad_color_->Bgr();
  c.dotorline = dotorline_->isChecked();
  return c;
}

void TFNav::ShowControls(const NavControls& controls, bool backgroundStored) {
  // Filling the controls is not a change by the user: no handler runs.
  const QSignalBlocker b1(vessel_width_), b2(track_width_), b3(interval_), b4(dotorline_),
      b5(vessel_color_), b6(track_color_), b7(grid_color_), b8(fcad_color_);
  SetSpinText(vessel_width_, controls.VesselWidth);
  SetSpinText(track_width_, controls.TrackWidth);
  SetSpinText(interval_, controls.Interval);
  vessel_color_->SetBgr(controls.VesselColor);
  track_color_->SetBgr(controls.ColorTracklines);
  grid_color_->SetBgr(controls.GridColor);
  if (backgroundStored) fcad_color_->SetBgr(controls.fcadColor);
  dotorline_->setChecked(controls.dotorline);
}

SettingsTexts TFNav::Settings() const {
  SettingsTexts t;
  if (settings_ == nullptr) return t;
  t.Gps = ReadPage(settings_->GpsLine());
  t.Sensor = ReadPage(settings_->SensorLine());
  t.SensorEnabled = settings_->SensorEnabled()->isChecked();
  t.GyroEnabled = settings_->GyroEnabled()->isChecked();
  t.Ellips = settings_->Ellips()->text().toStdString();
  t.Datum = settings_->Datum()->text().toStdString();
  t.Projection = settings_->Projection()->text().toStdString();
  t.LockStateCheck = settings_->LockStateCheck()->isChecked();
  return t;
}

void TFNav::ShowSettings(const SettingsTexts& texts) {
  if (settings_ == nullptr) return;
  ShowPage(settings_->GpsLine(), texts.Gps);
  ShowPage(settings_->SensorLine(), texts.Sensor);
  settings_->RefreshPortPaths();
  {
    const QSignalBlocker b1(settings_->SensorEnabled()), b2(settings_->GyroEnabled());
    settings_->SensorEnabled()->setChecked(texts.SensorEnabled);
    settings_->GyroEnabled()->setChecked(texts.GyroEnabled);
  }
  const QSignalBlocker b3(settings_->Ellips()), b4(settings_->Datum()),
      b5(settings_->Projection());
  // Each field shows the start of its text: the first numbers are the ones
  // a surveyor checks, and the datum text is longer than the field.
  for (const auto& [edit, text] : {std::pair{settings_->Ellips(), &texts.Ellips},
                                   std::pair{settings_->Datum(), &texts.Datum},
                                   std::pair{settings_->Projection(), &texts.Projection}}) {
    edit->setText(QString::fromStdString(*text));
    edit->setCursorPosition(0);
  }
}

void TFNav::SetLockChecked(bool checked) {
  if (settings_ == nullptr) return;
  const QSignalBlocker block(settings_->LockStateCheck());
  settings_->LockStateCheck()->setChecked(checked);
}

void TFNav::SetSettingsPagesEnabled(bool enabled) {
  if (settings_ != nullptr) settings_->SetPagesEnabled(enabled);
}

void TFNav::ShowSettingsWindow() {
  if (settings_ == nullptr) return;
  settings_->show();
  settings_->raise();
  settings_->activateWindow();
}

void TFNav::CloseMainWindow() { close(); }

}  // namespace halvex::navigator
