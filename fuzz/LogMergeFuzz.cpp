// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzz entry point over the log merge's line reading: the GPS and sensor
// lines, their stamps, the GGA fields, the filters and the merge.
//
// An input is "interval|filter|GPS log|sensor log"; missing parts take the
// page's defaults (interval "1000", no filter, empty logs). The filter text
// is used as the clean-fix text, then as the only-keep text of a copy.
//
// Besides running everything, the entry point checks what the merge
// promises and aborts when a promise is broken:
//   - the output starts with "BEGIN" and, when the interval was read, ends
//     with "END", with one line per line reported written;
//   - no number written is "nan" or "inf";
//   - every merged line quotes a sensor line and a GPS line of the logs;
//   - a GGA record read has finite numbers; stamps convert to finite
//     milliseconds.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "geotools/lsq/LogMerge.hpp"

namespace {

namespace g = halvex::geotools;

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

std::string_view NextPart(std::string_view& rest, bool& present) {
  present = !rest.empty();
  const std::size_t bar = rest.find('|');
  const std::string_view part = rest.substr(0, bar);
  rest = bar == std::string_view::npos ? std::string_view{} : rest.substr(bar + 1);
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  bool present = false;
  std::string_view interval = NextPart(rest, present);
  if (!present) {
    interval = "1000";
  }
  const std::string_view filter = NextPart(rest, present);
  const std::string_view gpsText = NextPart(rest, present);
  const std::string_view sensorText = rest;

  g::LogLines gps{std::string(gpsText)};
  g::LogLines sensor{std::string(sensorText)};
  for (std::size_t i = 0; i < gps.size(); ++i) {
    if (const auto record = g::ReadGgaRecord(gps[i])) {
      Check(std::isfinite(record->stamp) && std::isfinite(record->latitude) &&
            std::isfinite(record->longitude) && std::isfinite(record->hdop) &&
            std::isfinite(record->altitude));
      Check(std::isfinite(g::StampToMilliseconds(record->stamp)));
    }
  }
  g::LogLines kept = gps;
  g::CleanFix(gps, filter);
  g::OnlyKeepFix(kept, filter);
  Check(gps.size() + (filter.empty() ? 0 : kept.size()) <= kept.size() + gps.size());

  for (const g::LogLines* log : {&gps, &kept}) {
    const g::MergeResult result = g::MergeLogs(*log, sensor, interval);
    const std::string& out = result.text;
    Check(out.rfind("BEGIN\n", 0) == 0);
    if (!result.ok) {
      Check(out == "BEGIN\n" && !result.error.empty());
      continue;
    }
    Check(out.size() >= 10 && out.compare(out.size() - 4, 4, "END\n") == 0);
    std::size_t lines = 0;
    for (char c : out) {
      lines += c == '\n' ? 1 : 0;
    }
    // Lines of the logs may hold line breaks of their own only as CR.
    Check(lines >= result.linesWritten + 2);
    for (std::size_t at = out.find("Raw_SBES_Begin->,"); at != std::string::npos;
         at = out.find("Raw_SBES_Begin->,", at + 1)) {
      const std::size_t lineStart = out.rfind('\n', at) + 1;
      const std::string_view head(out.data() + lineStart, at - lineStart);
      Check(head.find("nan") == std::string_view::npos &&
            head.find("inf") == std::string_view::npos);
    }
  }
  return 0;
}
