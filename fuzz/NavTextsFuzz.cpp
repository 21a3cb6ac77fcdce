// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzz entry point over the readers of the navigation program's outside
// texts: the geodetic settings (ellipsoid, datum pair, projection), a
// received sentence read for a gyro heading, an integer edit, and one
// serial settings page.
//
// An input is texts separated by '|':
//   ellipsoid | datum | projection | sentence | integer | the page's eleven
//   fields (port, baud rate, data width, stop bits, parity, priority, delay,
//   NMEA log, log time, DTR, RTS)
// Missing texts are empty.
//
// Besides running the readers, the entry point checks what they promise and
// aborts when a promise is broken:
//   - parameters accepted as usable are finite, with a > 0, 0 <= f < 1 and
//     a positive scale factor;
//   - a heading is finite and comes only from a sentence whose characters 4
//     to 6 are "HDT";
//   - an integer edit either reads as an integer or gives the fallback;
//   - a page accepted as usable names a port, has a positive rate, a delay of
//     at least 1 ms and a data width the stop bits allow, and a receiver
//     takes it without complaint.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "navigator/core/NavMath.hpp"
#include "navigator/core/NavSettings.hpp"
#include "nmea/GpsReceiver.hpp"

namespace {

namespace nav = halvex::navigator;
namespace nmea = halvex::nmea;

void Check(bool promise) {
  if (!promise) std::abort();
}

std::vector<std::string> Split(std::string_view input) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t bar = input.find('|', start);
    parts.emplace_back(input.substr(start, bar == std::string_view::npos ? bar : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  parts.resize(std::max<std::size_t>(parts.size(), 16));
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> t =
      Split(std::string_view(reinterpret_cast<const char*>(data), size));

  const nav::ParamsReading params = nav::ReadGeodeticParams(t[0], t[1], t[2]);
  if (params.error.empty()) {
    const nav::GeodeticParams& p = params.params;
    Check(std::isfinite(p.targetA) && p.targetA > 0);
    Check(std::isfinite(p.targetF) && p.targetF >= 0 && p.targetF < 1);
    for (const long double v : p.tm) Check(std::isfinite(v));
    Check(p.tm[2] > 0);
  }

  if (const std::optional<double> heading = nav::ReadHdtHeading(t[3])) {
    Check(std::isfinite(*heading));
    Check(t[3].size() >= 6 && t[3].compare(3, 3, "HDT") == 0);
  }

  const int a = nav::IntegerFieldOr(t[4], 3);
  const int b = nav::IntegerFieldOr(t[4], 4);
  Check(a == b || (a == 3 && b == 4));

  const nav::GpsPageTexts page{t[5],  t[6],  t[7],  t[8],  t[9], t[10],
                               t[11], t[12], t[13], t[14], t[15]};
  const nav::LineReading line = nav::ReadLineSettings(page);
  if (line.settings) {
    const nav::LineSettings& s = *line.settings;
    Check(s.port != nmea::TCommPort::spNone);
    Check(s.baudRate != nmea::TBaudRate::brCustom || s.customBaudRate > 0);
    Check(s.delay >= 1);
    Check(!(s.dataWidth == nmea::TDataWidth::dw5Bits && s.stopBits == nmea::TStopBits::sb2Bits));
    Check(!(s.dataWidth != nmea::TDataWidth::dw5Bits && s.stopBits == nmea::TStopBits::sb1_5Bits));
    nmea::TRaxGPSReceiver receiver;
    try {
      nav::ApplyLineSettings(receiver, s, "fuzz.log");
    } catch (...) {
      std::abort();
    }
    Check(receiver.Port() == s.port);
  } else {
    Check(!line.field.empty() && !line.problem.empty());
  }
  return 0;
}
