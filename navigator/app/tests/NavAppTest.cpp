// SPDX-License-Identifier: GPL-3.0-or-later
// What only the windows of marnav do: their controls under their names,
// captions and shortcuts; controls filled without running their handlers;
// the message window's timer; the receivers' dispatcher; the chart's save
// reports; the sky plot's canvas; the close.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "appkit/MessageBoard.hpp"
#include "appkit/ScriptedDialogs.hpp"
#include "mapcontrol/FlpCad.hpp"
#include "halvex/Version.hpp"
#include "navigator/app/AboutWindow.hpp"
#include "navigator/app/FlpCadChart.hpp"
#include "navigator/app/GuiDispatcher.hpp"
#include "navigator/app/MessageWindow.hpp"
#include "navigator/app/NavWindow.hpp"
#include "navigator/app/SettingsWindow.hpp"
#include "navigator/app/SkyView.hpp"
#include "nmea/GpsModel.hpp"
#include "platform/IniStore.hpp"

namespace halvex::navigator {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A main window over a settings file and program folder of its own, with
// receivers that find no port and dialogs answered by the test.
class Fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = std::filesystem::path(dir_.path().toStdString()) / "HXV";
    ini_ = std::filesystem::path(dir_.path().toStdString()) / "marnav.INI";
  }

  void WriteIni(const std::string& text) { std::ofstream(ini_, std::ios::binary) << text; }

  std::unique_ptr<TFNav> MakeWindow() {
    NavWindowOptions options;
    options.iniFile = ini_;
    options.clock = &clock_;
    options.env = platform::Environment::Fixed({{"HXV_ROOT", root_.string()}});
    options.ports.opener = [](const std::string& port, std::string& error) {
      error = "no device behind " + port + " in this test";
      return std::unique_ptr<platform::SerialDevice>();
    };
    options.ports.lister = [] { return std::vector<int>{}; };
    options.synchronizeReceivers = false;
    options.warnOnFailedClose = false;
    auto window = std::make_unique<TFNav>(options, dialogs_, messages_);
    settings_ = std::make_unique<TFGPS>(std::map<int, std::string>{{21, "/tmp/gps-link"}});
    window->AttachSettingsWindow(settings_.get());
    return window;
  }

  template <typename T>
  static T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  QTemporaryDir dir_;
  std::filesystem::path root_;
  std::filesystem::path ini_;
  platform::FixedClock clock_{{2026, 12, 7, 9, 30, 0, 0}};
  appkit::ScriptedDialogs dialogs_;
  appkit::MessageBoard messages_;
  std::unique_ptr<TFGPS> settings_;
};

// --- Names, captions, shortcuts ---

using MainWindowLayout = Fixture;

TEST_F(MainWindowLayout, ControlsCarryTheirNamesAndCaptions) {
  auto w = MakeWindow();
  EXPECT_EQ(w->windowTitle(), "Halvex Navigator");
  auto* fcad = dynamic_cast<mapcontrol::TFlpCAD*>(w->findChild<QWidget*>("fcad"));
  ASSERT_NE(fcad, nullptr);
  // The chart on the bridge shows all of its furniture.
  EXPECT_TRUE(fcad->ShowScaleBar() && fcad->ShowNorthArrow() && fcad->ShowCursorReadout() &&
              fcad->ShowGrid() && fcad->DeclutterTexts());

  const std::vector<std::pair<const char*, const char*>> buttons{
      {"Realtime", "Realtime"},        {"DisconnectIcon", "Stop"},
      {"ConnectIcon", "Settings"},     {"OpenButton", "Open"},
      {"SaveButton", "Save"},          {"ToolButton5", "Follow"},
      {"ToolButton13", "No follow"},   {"ToolButton23", "Fix"},
      {"ToolButton7", "Unfix"},        {"ToolButton11", "Clear User Shapes"},
      {"ToolButton6", "Add Event No"}, {"Zoomin", "In"},
      {"Zoomout", "Out"},              {"Zoomwindow", "Window"},
      {"Zoomextents", "Extents"},      {"Zoomdynamic", "Dynamic"},
      {"Zoompan", "Pan"},              {"ToolButton26", "Select"}};
  for (const auto& [name, caption] : buttons) {
    auto* b = Child<QToolButton>(w.get(), name);
    if (b != nullptr) {
      EXPECT_EQ(b->text(), caption) << name;
    }
  }
  for (const char* name : {"ToolButton9", "ToolButton10", "ToolButton14", "ToolButton15",
                           "ToolButton16", "ToolButton17", "ToolButton18", "ToolButton19",
                           "ToolButton20", "ToolButton22", "ToolButton24"})
    Child<QToolButton>(w.get(), name);
  EXPECT_TRUE(Child<QToolButton>(w.get(), "Realtime")->isCheckable());

  for (const char* name : {"Lat", "Lon", "Easting", "Northing"}) Child<QLineEdit>(w.get(), name);
  for (const char* name : {"Fixed", "Speed", "Antenna", "SatelliteLabel"})
    EXPECT_EQ(Child<QLabel>(w.get(), name)->text(), ">>") << name;
  EXPECT_EQ(Child<QGroupBox>(w.get(), "GPSGroupBox")->title(), "GPS");
  EXPECT_EQ(Child<QPlainTextEdit>(w.get(), "MemoGPS")->toPlainText(),
            "NMEA GGA\nNMEA RMC, VTG, OR OTHER CMG STRING");
  auto* sensor = Child<QLineEdit>(w.get(), "MemoSensor");
  EXPECT_EQ(sensor->text(), "NMEA SENSOR DATA");
  EXPECT_EQ(sensor->font().pixelSize(), 32);
  EXPECT_TRUE(sensor->font().bold());
  EXPECT_EQ(Child<QCheckBox>(w.get(), "dotorline")->text(), "Track As Line");
  EXPECT_EQ(Child<QSpinBox>(w.get(), "VesselWidth")->maximum(), 15);
  EXPECT_EQ(Child<QSpinBox>(w.get(), "TrackWidth")->maximum(), 15);
  EXPECT_EQ(Child<QSpinBox>(w.get(), "Interval")->maximum(), 500);
  for (const char* name : {"VesselColor", "ColorTracklines", "GridColor", "fcadColor",
                           "DistLabel", "Coordinates", "SkyDock"})
    Child<QWidget>(w.get(), name);
}

TEST_F(MainWindowLayout, MenuItemsAndShortcuts) {
  auto w = MakeWindow();
  const std::vector<std::tuple<const char*, const char*, const char*>> items{
      {"New1", "New", "Ctrl+N"},
      {"Open1", "Open...", "Ctrl+O"},
      {"Save1", "Save", "Ctrl+S"},
      {"SaveAs1", "Save As...", "Ctrl+W"},
      {"Import1", "Import...", "Ctrl+X"},
      {"Export1", "Export...", "Ctrl+A"},
      {"Exit1", "Exit", "Ctrl+Q"},
      {"Parameters1", "Settings", "F10"},
      {"FollowVessel1", "Follow vessel", "Ctrl+F"},
      {"DoNotFollowVessel1", "Do not follow vessel", "Ctrl+C"},
      {"MarkEvent1", "Mark Event", ""},
      {"In1", "In", "F2"},
      {"Out1", "Out", "F3"},
      {"Window1", "Window", "F4"},
      {"Extents1", "Extents", "F5"},
      {"Dynamic1", "Dynamic", "F6"},
      {"Pan1", "Pan", "F7"},
      {"ClearFixedTracks1", "Clear Fixed Tracks", ""},
      {"ClearUnfixedTracks1", "Clear Unfixed Tracks", ""},
      {"ClearUserAddedShapes1", "Clear User Added Shapes", ""},
      {"About1", "About...", ""}};
  QSet<QKeySequence> keys;
  for (const auto& [name, text, key] : items) {
    auto* action = w->findChild<QAction*>(name);
    ASSERT_NE(action, nullptr) << name;
    EXPECT_EQ(action->text(), text) << name;
    EXPECT_EQ(action->shortcut(), QKeySequence(key)) << name;
    if (!action->shortcut().isEmpty()) {
      EXPECT_FALSE(keys.contains(action->shortcut())) << "shortcut used twice: " << key;
      keys.insert(action->shortcut());
    }
  }
}

TEST(AboutWindow, CaptionNameAndVersion) {
  TAboutBox about;
  EXPECT_EQ(about.windowTitle(), "About Halvex Navigator");
  EXPECT_TRUE(about.isModal());
  EXPECT_EQ(about.findChild<QLabel*>("ProductName")->text(), "Halvex Navigator");
  EXPECT_EQ(about.findChild<QLabel*>("Version")->text(), QString("Version ") + halvex::kVersion);
  EXPECT_NE(about.findChild<QWidget*>("OKButton"), nullptr);
}

TEST(SettingsWindowLayout, PagesListsAndPortPaths) {
  TFGPS w(std::map<int, std::string>{{21, "/tmp/demo/gps-port"}});
  EXPECT_EQ(w.windowTitle(), "FGPS");
  auto* pages = w.findChild<QTabWidget*>("PageControl1");
  ASSERT_NE(pages, nullptr);
  ASSERT_EQ(pages->count(), 3);
  EXPECT_EQ(pages->tabText(0), "NMEA CONNECTION - GPS");
  EXPECT_EQ(pages->tabText(1), "NMEA CONNECTION - SENSOR");
  EXPECT_EQ(pages->tabText(2), "GLOBAL PARAMETERS");

  for (const QString prefix : {"", "S"}) {
    for (const char* field : {"Port", "BaudRate", "DataWidth", "StopBits", "Parity", "Priority",
                              "Delay", "NMEALog", "LogTime", "EnableDTR", "EnableRTS"}) {
      auto* combo = w.findChild<QComboBox*>(prefix + field);
      ASSERT_NE(combo, nullptr) << (prefix + field).toStdString();
      EXPECT_TRUE(combo->isEditable()) << field;
    }
    auto* port = w.findChild<QComboBox*>(prefix + "Port");
    EXPECT_EQ(port->count(), 256);
    EXPECT_EQ(port->itemText(0), "COM1");
    EXPECT_EQ(port->itemText(255), "COM256");
    EXPECT_EQ(port->currentText(), "COM1");
    auto* baud = w.findChild<QComboBox*>(prefix + "BaudRate");
    EXPECT_EQ(baud->count(), 15);
    EXPECT_EQ(baud->itemText(10), "56000");
    EXPECT_EQ(baud->currentText(), "9600");
    EXPECT_EQ(w.findChild<QComboBox*>(prefix + "Delay")->currentText(), "5");
    EXPECT_EQ(w.findChild<QComboBox*>(prefix + "Priority")->count(), 7);
    EXPECT_EQ(w.findChild<QComboBox*>(prefix + "StopBits")->itemText(1), "1.5");
  }
  EXPECT_EQ(w.findChild<QCheckBox*>("GyroEnabled")->text(), "Enable Gyro");
  EXPECT_EQ(w.findChild<QCheckBox*>("SensorEnabled")->text(), "Sensor Enabled");
  EXPECT_EQ(w.findChild<QCheckBox*>("LockStateCheck")->text(), "Save and lock settings");
  for (const char* name : {"Ellips", "Datum", "Projection"})
    EXPECT_NE(w.findChild<QLineEdit*>(name), nullptr) << name;
  EXPECT_NE(w.findChild<QWidget*>("GPSSet"), nullptr);
  EXPECT_NE(w.findChild<QWidget*>("SensorSet"), nullptr);

  // The COM name stays the item's text; the device is shown beside it.
  auto* port = w.findChild<QComboBox*>("Port");
  auto* path = w.findChild<QLabel*>("PortPath");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(port->itemText(20), "COM21");
  EXPECT_EQ(port->itemData(20, Qt::ToolTipRole).toString(), "/tmp/demo/gps-port");
  port->setCurrentIndex(20);
  EXPECT_EQ(port->currentText(), "COM21");
  EXPECT_EQ(path->text(), "/tmp/demo/gps-port");
  port->setCurrentText("com21");
  EXPECT_EQ(path->text(), "/tmp/demo/gps-port");
  port->setCurrentText("COM5");
  EXPECT_EQ(path->text(), "(no device)");
}

// --- The message window ---

TEST(MessageWindow, ShowsOnPostHidesAtTheTimerAndEmptiesOnClick) {
  appkit::MessageBoard board;
  board.Post("held before the window existed");
  TFMsg w(board);
  EXPECT_EQ(w.windowTitle(), "Message Window");
  EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(w.Timer1()->interval(), 2000);
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.Timer1()->isActive());
  EXPECT_EQ(w.Msg()->toPlainText(), "held before the window existed");

  QMetaObject::invokeMethod(w.Timer1(), "timeout", Qt::DirectConnection);
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(w.Timer1()->isActive());

  board.Post("Connected to GPS on COM21");
  board.Post("GPS Timeout!");
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.Timer1()->isActive());
  // Lines stay over hiding: all three are there.
  EXPECT_EQ(w.Msg()->toPlainText(),
            "held before the window existed\nConnected to GPS on COM21\nGPS Timeout!");

  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w.Msg()->viewport(), &release);
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(w.Msg()->toPlainText().isEmpty());
  EXPECT_TRUE(board.Lines().empty());
}

TEST(MessageWindow, ReceivedBytesShowAsLatin1) {
  appkit::MessageBoard board;
  TFMsg w(board);
  board.Post(std::string("$XXTXT,caf\xe9*00"));
  EXPECT_EQ(w.Msg()->toPlainText(), QString::fromUtf8("$XXTXT,caf\u00e9*00"));
}

// Whether a tool bar shows a button: a widget in a tool bar is shown and
// hidden through its action (a button that does not fit goes to the bar's
// extension menu, so the widget's own visibility says nothing).
bool ShownInToolBar(QWidget* window, const char* name) {
  auto* button = window->findChild<QToolButton*>(name);
  auto* bar = button == nullptr ? nullptr : qobject_cast<QToolBar*>(button->parentWidget());
  if (bar == nullptr) return false;
  for (QAction* action : bar->actions())
    if (bar->widgetForAction(action) == button) return action->isVisible();
  return false;
}

// --- Filling controls does not run their handlers ---

using FillingControls = Fixture;

TEST_F(FillingControls, ShowLoadsTheDrawingSettingsWithoutChangeHandlers) {
  WriteIni(
      "[NAVIGATION_SETTINGS]\nBoatWidth=5\nTrackWidth=7\nTrackInterval=12\nBoatColor=255\n"
      "TrackColor=43520\nGridColor=36095\nLineOrDot=0\n");
  auto w = MakeWindow();
  auto* track_width = w->findChild<QSpinBox*>("TrackWidth");
  QSignalSpy width_spy(track_width, &QSpinBox::valueChanged);
  w->show();
  EXPECT_EQ(width_spy.count(), 0);
  EXPECT_EQ(w->findChild<QSpinBox*>("VesselWidth")->value(), 5);
  EXPECT_EQ(track_width->value(), 7);
  EXPECT_EQ(w->findChild<QSpinBox*>("Interval")->value(), 12);
  EXPECT_FALSE(w->findChild<QCheckBox*>("dotorline")->isChecked());
  const NavControls c = w->Controls();
  EXPECT_EQ(c.VesselColor, 255);
  EXPECT_EQ(c.ColorTracklines, 43520);
  EXPECT_EQ(c.GridColor, 36095);
  // No "BackgroundColor": the chart keeps its own background.
  EXPECT_EQ(w->Chart().BackColor(), 0xFFFFFF);
  // The track styles were applied once, after the layers opened.
  auto& chart = w->Chart();
  EXPECT_EQ(chart.LayerPenFg(chart.LayerFindByName("track_fix")), 43520);
  EXPECT_EQ(chart.LayerPenFg(chart.LayerFindByName("track_nofix")), 36095);
  EXPECT_EQ(chart.LayerPenWidth(chart.LayerFindByName("track_fix")), 7);
  w->close();
}

TEST_F(FillingControls, SettingsWindowFilledFromTheFileWithoutSavingIt) {
  const std::string ini =
      "[GPS1 COMUNICATION SETTINGS]\nPort No        =COM21\nBaud Rate=4800\nDelay=10\n"
      "[SENSOR COMUNICATION SETTINGS]\nPort No=COM22\nSensor Enabled=0\n"
      "[GLOBAL SETTINGS]\nTransverse Mercator Set=30 0 0.9996 500000 0 TM30\n"
      "[LOCK SETTINGS]\nSettings Locked (true/false)=0\n";
  WriteIni(ini);
  auto w = MakeWindow();
  EXPECT_EQ(settings_->findChild<QComboBox*>("Port")->currentText(), "COM21");
  EXPECT_EQ(settings_->findChild<QLabel*>("PortPath")->text(), "/tmp/gps-link");
  EXPECT_EQ(settings_->findChild<QComboBox*>("BaudRate")->currentText(), "4800");
  EXPECT_EQ(settings_->findChild<QComboBox*>("SPort")->currentText(), "COM22");
  // A key that is missing leaves its control empty.
  EXPECT_EQ(settings_->findChild<QComboBox*>("SBaudRate")->currentText(), "");
  EXPECT_FALSE(settings_->SensorEnabled()->isChecked());
  EXPECT_EQ(settings_->Projection()->text(), "30 0 0.9996 500000 0 TM30");
  // Loading is not the lock box's click: the file was not rewritten.
  EXPECT_EQ(ReadFile(ini_), ini);
  const SettingsTexts texts = w->Settings();
  EXPECT_EQ(texts.Gps.Port, "COM21");
  EXPECT_EQ(texts.Gps.Delay, "10");
  EXPECT_EQ(texts.Sensor.Port, "COM22");
}

TEST_F(FillingControls, RealtimeLookFollowsTheConnectionNotTheClick) {
  auto w = MakeWindow();
  w->show();
  auto* realtime = w->findChild<QToolButton*>("Realtime");
  const bool before = w->Logic().RealtimeOn;
  w->SetRealtimePressed(true);
  EXPECT_TRUE(realtime->isChecked());
  EXPECT_EQ(w->Logic().RealtimeOn, before);  // showing it pressed is no click

  const std::vector<const char*> tools{
      "ToolButton9",  "ToolButton10", "ToolButton14", "ToolButton15", "ToolButton16", "ToolButton17",
      "ToolButton18", "ToolButton19", "ToolButton20", "ToolButton22", "ToolButton24"};
  w->Logic().RGPS1Connect(nmea::TCommPort::spCOM21);
  for (const char* name : tools) EXPECT_FALSE(ShownInToolBar(w.get(), name)) << name;
  for (const char* name : {"ToolButton26", "Zoompan", "ToolButton6"})
    EXPECT_TRUE(ShownInToolBar(w.get(), name)) << name;
  w->Logic().RGPS1Disconnect(nmea::TCommPort::spCOM21);
  EXPECT_FALSE(realtime->isChecked());
  for (const char* name : tools) EXPECT_TRUE(ShownInToolBar(w.get(), name)) << name;
  w->close();
}

// --- The chart wiring ---

using ChartWiring = Fixture;

TEST_F(ChartWiring, WheelOverTheChartZoomsAsTheLogicSays) {
  auto w = MakeWindow();
  w->resize(1000, 700);
  w->show();
  auto& chart = w->Chart();
  const double width = chart.WorldRight() - chart.WorldLeft();
  QWheelEvent up(QPointF(100, 100), chart.mapToGlobal(QPointF(100, 100)), QPoint(),
                 QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&chart, &up);
  EXPECT_NEAR(chart.WorldRight() - chart.WorldLeft(), width / 1.1, width * 1e-9);
  EXPECT_EQ(chart.ViewMouseTool(), mapcontrol::kToolPan);
  w->close();
}

TEST_F(ChartWiring, SaveReportsReachTheLogicBeforeTheWaitEnds) {
  auto w = MakeWindow();
  w->show();
  w->Logic().Save1Click();
  FlpCadChart chart(w->Chart());
  chart.WaitForSaves();
  const std::string expected = (root_ / "07.12.2026" / "07.12.2026_0.hxv").string();
  EXPECT_EQ(w->windowTitle().toStdString(), "Halvex Navigator 2 - " + expected);
  EXPECT_FALSE(w->Logic().SavePending());
  EXPECT_TRUE(std::filesystem::exists(expected));
  w->close();
}

TEST_F(ChartWiring, ClosingSavesWritesTheSettingsAndReports) {
  auto w = MakeWindow();
  w->show();
  QSignalSpy closed(w.get(), &TFNav::WindowClosed);
  w->findChild<QSpinBox*>("Interval")->setValue(9);
  w->close();
  EXPECT_EQ(closed.count(), 1);
  ASSERT_TRUE(w->Closed());
  EXPECT_TRUE(w->LastClose().saved) << w->LastClose().reason;
  EXPECT_TRUE(std::filesystem::exists(w->LastClose().file));
  platform::IniStore ini(ini_);
  EXPECT_EQ(ini.ReadInteger("NAVIGATION_SETTINGS", "TrackInterval", -1), 9);
  EXPECT_EQ(ini.ReadString("FILE", "Last File Saved"), w->LastClose().file);
  // A second close event does not run the close query again.
  w->close();
  EXPECT_EQ(closed.count(), 1);
}

TEST_F(ChartWiring, AFinalSaveThatFailsIsReported) {
  // The program folder is a file: nothing can be saved under it.
  std::ofstream(root_.string()) << "not a folder";
  auto w = MakeWindow();
  w->show();
  w->close();
  ASSERT_TRUE(w->Closed());
  EXPECT_FALSE(w->LastClose().saved);
  EXPECT_FALSE(w->LastClose().reason.empty());
}

// --- The receivers' dispatcher ---

TEST(GuiDispatcher, RunsOnTheGuiThreadAndWaitsForTheFunction) {
  QObject context;
  const auto dispatch = MakeGuiDispatcher(&context);
  std::thread::id ran_on;
  int value = 0;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    dispatch([&] {
      ran_on = std::this_thread::get_id();
      value = 42;
    });
    // The call has returned only after the function ran.
    EXPECT_EQ(value, 42);
    done = true;
  });
  while (!done) ProcessGuiEvents();
  worker.join();
  EXPECT_EQ(ran_on, std::this_thread::get_id());

  // On the GUI thread itself it runs at once (a queued call would wait on
  // itself for ever).
  value = 0;
  dispatch([&] { value = 7; });
  EXPECT_EQ(value, 7);
}

// --- The sky plot on a QPainter ---

TEST(SkyCanvas, SatellitesAppearWhereAndInTheColourThePlotSays) {
  nmea::TSatellites satellites;
  auto add = [&](int prn, int elevation, int azimuth, int snr) {
    auto satellite = std::make_unique<nmea::TSatellite>();
    satellite->SetPseudoRandomCode(prn);
    satellite->SetElevation(elevation);
    satellite->SetAzimuth(azimuth);
    satellite->SetSignalToNoiseRatio(snr);
    ASSERT_TRUE(satellites.Add(satellite));
  };
  add(7, 90, 0, 45);   // at the zenith: the centre
  add(15, 0, 90, 5);   // weak, on the eastern horizon

  QImage image(200, 200, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    QtSkyCanvas canvas(painter);
    nmea::DrawSatellites(canvas, satellites, 100, {222, 235, 247}, {120, 140, 160});
  }
  // The zenith satellite fills the centre in the good colour, the weak one
  // on the eastern horizon in the weak colour (away from their labels).
  EXPECT_EQ(image.pixelColor(100 - 4, 100 + 8), QColor(0, 128, 0));
  EXPECT_EQ(image.pixelColor(200 - 4, 100 + 8), QColor(255, 0, 0));
  // Sky, not satellite, half-way out to the north.
  EXPECT_EQ(image.pixelColor(100, 40).green(), image.pixelColor(100, 60).green());
}

}  // namespace
}  // namespace halvex::navigator

int main(int argc, char** argv) {
  // Offscreen unless told otherwise, also when CTest lists the tests.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
