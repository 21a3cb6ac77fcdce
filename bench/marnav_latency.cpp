// SPDX-License-Identifier: GPL-3.0-or-later
// marnav's main window on a pseudo-terminal: the time from the last byte of
// a GGA sentence written into the line to the end of the chart's repaint
// that shows the vessel at the new fix. The receiver polls every Delay ms
// and decodes on the GUI thread; the target is Delay + 20 ms.
//
// usage: marnav_latency [FIXES [DELAY_MS]]   (default 200 fixes, Delay 10)
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "appkit/MessageBoard.hpp"
#include "appkit/ScriptedDialogs.hpp"
#include "mapcontrol/FlpCad.hpp"
#include "navigator/app/NavWindow.hpp"
#include "navigator/app/SettingsWindow.hpp"
#include "platform/Clock.hpp"

namespace {

using SteadyClock = std::chrono::steady_clock;
namespace nav = halvex::navigator;

// Stamps the end of every paint of the chart: the filter delivers the paint
// itself and notes the time when it is done.
class PaintStamp final : public QObject {
 public:
  explicit PaintStamp(QObject* chart) : chart_(chart) {}
  SteadyClock::time_point last{};
  long count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != chart_ || event->type() != QEvent::Paint || inside_) return false;
    inside_ = true;
    chart_->event(event);
    inside_ = false;
    last = SteadyClock::now();
    ++count;
    return true;
  }

 private:
  QObject* chart_;
  bool inside_ = false;
};

std::string Sentence(const std::string& body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

bool WaitUntil(const std::function<bool()>& done, int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > milliseconds) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int fixes = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
  const int delay = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  char slave[128] = {};
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
      ::ptsname_r(master, slave, sizeof slave) != 0) {
    std::perror("pty");
    return 1;
  }
  QTemporaryDir dir;
  const std::filesystem::path base = dir.path().toStdString();
  const std::filesystem::path ini = base / "marnav.INI";
  std::ofstream(ini) << "[SERIALCOMM]\nCOM21=" << slave
                     << "\n[GPS1 COMUNICATION SETTINGS]\nPort No=COM21\nBaud Rate=9600\n"
                        "Data Width=8\nStop Bits=1\nParity=None\nPriority=Normal\nDelay="
                     << delay
                     << "\nNMEA LOG=True\nLog Time=True\nEnable DTR=False\nEnable RTS=False\n"
                        "[SENSOR COMUNICATION SETTINGS]\nSensor Enabled=0\n"
                        "[GLOBAL SETTINGS]\n"
                        "Ellipsoids Set=6378137 0.00335281066474748 6378388 "
                        "0.00336700336700337\n"
                        "Datum Parameters Set=6378137 0.00335281066474748 0 0 0 0 0 0 0 6378388 "
                        "0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7\n"
                        "Transverse Mercator Set=30 0 0.9996 500000 0\n"
                        "[NAVIGATION_SETTINGS]\nTrackInterval=1\n";

  const halvex::platform::SystemClock clock;
  halvex::appkit::ScriptedDialogs dialogs;
  halvex::appkit::MessageBoard messages;
  nav::NavWindowOptions options;
  options.iniFile = ini;
  options.clock = &clock;
  options.env = halvex::platform::Environment::Fixed({{"HXV_ROOT", (base / "HXV").string()}});
  options.warnOnFailedClose = false;
  nav::TFNav window(options, dialogs, messages);
  nav::TFGPS settings(std::map<int, std::string>{});
  window.AttachSettingsWindow(&settings);
  window.resize(1200, 800);
  window.show();
  if (!WaitUntil([&] { return window.Logic().RGPS1.IsConnected(); }, 5000)) {
    std::fprintf(stderr, "the receiver did not connect\n");
    return 1;
  }
  PaintStamp stamp(&window.Chart());
  window.Chart().installEventFilter(&stamp);

  std::vector<double> ms;
  int lost = 0;
  for (int i = 0; i < fixes; ++i) {
    char body[128];
    const double minutes = 51.6 + 0.0001 * i;  // about 0.19 m north per fix
    std::snprintf(body, sizeof body,
                  "GPGGA,09%02d%02d.00,40%09.6f,N,02850.400000,E,4,10,0.7,38.4,M,37.1,M,1.0,0001",
                  i / 60 % 60, i % 60, minutes);
    const std::string text = Sentence(body);
    const double before = window.Logic().VesselY;
    if (::write(master, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
      std::perror("write");
      return 1;
    }
    const auto written = SteadyClock::now();
    const long paints = stamp.count;
    // Done when a paint has ended after the vessel moved to this fix.
    bool moved = false;
    const bool shown = WaitUntil(
        [&] {
          if (!moved && window.Logic().VesselY != before) {
            moved = true;
            return false;
          }
          return moved && stamp.count > paints && stamp.last > written;
        },
        2000);
    if (!shown) {
      ++lost;
      continue;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(stamp.last - written).count());
    // A pause like the gap between fixes, so each one starts on an idle line.
    WaitUntil([] { return false; }, 20);
  }
  window.close();
  if (ms.empty()) {
    std::fprintf(stderr, "no fix reached the chart\n");
    return 1;
  }
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms[static_cast<size_t>(q * static_cast<double>(ms.size() - 1))]; };
  std::printf("marnav: last byte on the pty to repainted chart, Delay %d ms, %zu fixes\n", delay,
              ms.size());
  std::printf("  median %.2f ms, 95th percentile %.2f ms, max %.2f ms (target %d ms)\n", at(0.5),
              at(0.95), ms.back(), delay + 20);
  if (lost > 0) std::printf("  %d fixes not shown within 2 s\n", lost);
  return 0;
}
