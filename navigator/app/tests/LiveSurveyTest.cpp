// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a live port: fixes written into a pseudo-terminal
// (found as COM21 through the settings' port map) reach the chart through
// the real receiver, decoded on the GUI thread; an event mark lands at the
// vessel with the next number; closing while the port still talks ends
// cleanly and the final project holds the mark.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "appkit/MessageBoard.hpp"
#include "appkit/ScriptedDialogs.hpp"
#include "mapcontrol/DrawingModel.hpp"
#include "mapcontrol/FlpCad.hpp"
#include "mapcontrol/ProjectFile.hpp"
#include "navigator/app/GuiDispatcher.hpp"
#include "navigator/app/NavWindow.hpp"
#include "navigator/app/SettingsWindow.hpp"
#include "nmea/NmeaText.hpp"
#include "platform/IniStore.hpp"

namespace halvex::navigator {
namespace {

class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    char name[128] = {};
    ok_ = master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0 &&
          ::ptsname_r(master_, name, sizeof name) == 0;
    slave_ = name;
  }
  ~Pty() {
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return ok_; }
  const std::string& slave() const { return slave_; }
  void Write(const std::string& text) const {
    ASSERT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

 private:
  int master_ = -1;
  bool ok_ = false;
  std::string slave_;
};

std::string Sentence(const std::string& body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

// Runs the event loop until `done` or the time is up.
bool WaitUntil(const std::function<bool()>& done, int milliseconds = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > milliseconds) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

TEST(LiveSurvey, FixesFromAPortAnEventMarkAndACloseWhileTalking) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  QTemporaryDir dir;
  const std::filesystem::path base = dir.path().toStdString();
  const std::filesystem::path link = base / "gps-port";
  std::filesystem::create_symlink(pty.slave(), link);
  const std::filesystem::path ini = base / "marnav.INI";
  std::ofstream(ini) << "[SERIALCOMM]\nCOM21=" << link.string()
                     << "\n[GPS1 COMUNICATION SETTINGS]\nPort No=COM21\nBaud Rate=9600\n"
                        "Data Width=8\nStop Bits=1\nParity=None\nPriority=Normal\nDelay=10\n"
                        "NMEA LOG=True\nLog Time=True\nEnable DTR=False\nEnable RTS=False\n"
                        "[SENSOR COMUNICATION SETTINGS]\nSensor Enabled=0\n"
                        "[GYRO]\nGyro Enabled=0\n"
                        "[GLOBAL SETTINGS]\n"
                        "Ellipsoids Set=6378137 0.00335281066474748 6378388 "
                        "0.00336700336700337\n"
                        "Datum Parameters Set=6378137 0.00335281066474748 0 0 0 0 0 0 0 6378388 "
                        "0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7\n"
                        "Transverse Mercator Set=30 0 0.9996 500000 0\n"
                        "[NAVIGATION_SETTINGS]\nTrackInterval=1\n"
                        "[EVENTS]\nEvent Number=41\n";

  platform::FixedClock clock({2026, 12, 7, 9, 30, 0, 0});
  appkit::ScriptedDialogs dialogs;
  appkit::MessageBoard messages;
  NavWindowOptions options;
  options.iniFile = ini;
  options.clock = &clock;
  options.env = platform::Environment::Fixed({{"HXV_ROOT", (base / "HXV").string()}});
  options.warnOnFailedClose = false;
  TFNav window(options, dialogs, messages);
  TFGPS settings(std::map<int, std::string>{});
  window.AttachSettingsWindow(&settings);
  window.show();
  ASSERT_TRUE(WaitUntil([&] { return window.Logic().RGPS1.IsConnected(); }))
      << (messages.Lines().empty() ? "" : messages.Lines().back());

  for (int i = 0; i < 5; ++i) {
    const double before = window.Logic().VesselY;
    char body[128];
    std::snprintf(body, sizeof body,
                  "GPGGA,0900%02d.00,4051.60%02d,N,02850.4000,E,4,10,0.7,38.4,M,37.1,M,1.0,0001",
                  i, 10 * i);
    pty.Write(Sentence(body));
    ASSERT_TRUE(WaitUntil([&] { return window.Logic().VesselY > before; }))
        << "fix " << i << " did not arrive";
  }
  const double x = window.Logic().VesselX;
  const double y = window.Logic().VesselY;
  EXPECT_GT(x, 400000);
  EXPECT_GT(y, 4500000);
  EXPECT_EQ(window.findChild<QLineEdit*>("Lat")->text(), "40.86006667");

  window.findChild<QToolButton*>("ToolButton6")->click();
  EXPECT_EQ(platform::IniStore(ini).ReadInteger("EVENTS", "Event Number", 0), 42);

  // Close while the port keeps talking: the receiver ends, the project holds
  // the mark and the track.
  pty.Write(Sentence("GPGGA,090010.00,4051.6200,N,02850.4000,E,4,10,0.7,38.4,M,37.1,M,1.0,0001"));
  window.close();
  ASSERT_TRUE(window.Closed());
  EXPECT_FALSE(window.Logic().RGPS1.IsConnected());
  ASSERT_TRUE(window.LastClose().saved) << window.LastClose().reason;

  mapcontrol::DrawingModel model;
  std::string error;
  ASSERT_TRUE(mapcontrol::ProjectFile::Load(window.LastClose().file, model, error)) << error;
  const uint16_t user = model.LayerFindByName("halvex_usershape");
  ASSERT_NE(user, mapcontrol::kNoLayer);
  int texts = 0;
  int circles = 0;
  model.ForEachShape(user, [&](const mapcontrol::ShapeData& s) {
    if (s.kind == mapcontrol::ShapeKind::kText) {
      ++texts;
      EXPECT_EQ(s.text, "42");
    }
    if (s.kind == mapcontrol::ShapeKind::kCircle) {
      ++circles;
      EXPECT_DOUBLE_EQ(s.r, 1.0);
    }
    EXPECT_DOUBLE_EQ(s.x1, x);  // at the vessel when the mark was made
    EXPECT_DOUBLE_EQ(s.y1, y);
  });
  EXPECT_EQ(texts, 1);
  EXPECT_EQ(circles, 1);
  int track = 0;
  model.ForEachShape(model.LayerFindByName("track_fix"),
                     [&](const mapcontrol::ShapeData&) { ++track; });
  EXPECT_GE(track, 4);  // every fix after the first leaves a line
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
