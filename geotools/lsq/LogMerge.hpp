// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Survey log post-processing: every record of an echo-sounder (sensor) log
// gets a position interpolated in time between the two GPS fixes around it.
//
// Both logs are text, one record per line, as the navigation program
// records them: a date token, the time stamp hhnnsszzz (local time of
// reception), then the data. A GPS record's data is an NMEA GGA sentence.
// Lines end at LF or CR LF.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvex::geotools {

// The lines of a log held in one buffer (copyable; lines are offsets).
class LogLines {
 public:
  LogLines() = default;
  // Splits at LF; a CR before the LF is dropped. A last line without LF
  // counts; a text ending in LF has no empty line after it.
  explicit LogLines(std::string text);

  std::size_t size() const { return spans_.size(); }
  bool empty() const { return spans_.empty(); }
  std::string_view operator[](std::size_t i) const {
    return std::string_view(text_).substr(spans_[i].first, spans_[i].second);
  }

  // Keeps the lines that contain (or, with keep false, do not contain)
  // `needle`, in their order. Case-sensitive substring test.
  void Filter(std::string_view needle, bool keep);

  // The lines joined, each followed by '\n'.
  std::string Text() const;

 private:
  std::string text_;
  std::vector<std::pair<std::size_t, std::size_t>> spans_;  // offset, length
};

// The page's filters. The load filters keep the lines containing the search
// text (GPS: "$GPGGA" by default; sensor: " 3 "). CleanFix drops the lines
// containing the text; an empty text drops nothing. OnlyKeepFix keeps the
// lines containing the text.
void KeepContaining(LogLines& lines, std::string_view text);
void CleanFix(LogLines& lines, std::string_view text);
void OnlyKeepFix(LogLines& lines, std::string_view text);

// Count labels: "GPS Data Count: n", "Sensor Data Count: n".
std::string GpsCountText(std::size_t count);
std::string SensorCountText(std::size_t count);

// The time stamp of a line: the number after a first token of at most 10
// characters; empty when it cannot be read.
std::optional<long double> ReadStamp(std::string_view line);

// A stamp hhnnsszzz as milliseconds of the day, hh·3600000 + nn·60000 +
// ss·1000 + zzz, the fraction of the stamp kept. Values that are not
// finite, negative or beyond 10^15 are kept as they are.
long double StampToMilliseconds(long double stamp);

// A GPS record read by the commas of its GGA sentence.
struct GgaRecord {
  long double stamp = 0.0L;      // as written (hhnnsszzz)
  long double latitude = 0.0L;   // ddmm.mmmm as written, unsigned
  long double longitude = 0.0L;  // dddmm.mmmm
  long quality = 0;
  long satellites = 0;
  long double hdop = 0.0L;
  long double altitude = 0.0L;  // metres
};

// The record of a GPS line: the stamp, then fields 2 (latitude), 4
// (longitude), 6 (fix quality), 7 (satellites), 8 (dilution) and 9
// (altitude) of the sentence after it. Empty when any of them is missing or
// empty or not a number.
std::optional<GgaRecord> ReadGgaRecord(std::string_view line);

// Interpolates a ddmm.mmmm value from `first` to `second` by `fraction`.
// Within one whole degree the raw values are interpolated; across degrees
// the values are taken as minutes (60·degrees + minutes) and converted back.
long double InterpolateDegreesMinutes(long double first, long double second, long double fraction);

struct MergeResult {
  bool ok = false;
  // "BEGIN", the merged lines, "END", each followed by '\n'. On a bad
  // interval only "BEGIN".
  std::string text;
  std::size_t linesWritten = 0;
  // The conversion error of a bad interval.
  std::string error;
};

// The interval text (milliseconds) as an integer: optional blanks, a sign,
// digits, optional blanks, within the 32-bit range.
std::optional<int> ParseInterval(std::string_view text);

// Called with the sensor index of every line written.
using MergeProgress = std::function<void(std::size_t sensorIndex)>;

// Merges the sensor log with the GPS log. Every sensor record is matched
// with the first GPS fix, from where the previous record's search ended,
// whose stamp lies within half the interval; the position is interpolated
// between that fix and its neighbour on the record's side. Runs in time
// linear in the lines (plus a logarithm per record when stamps run back).
MergeResult MergeLogs(const LogLines& gps, const LogLines& sensor, std::string_view intervalText,
                      const MergeProgress& progress = {});

// The same merge with its output handed to `sink` in blocks of about a
// megabyte as it is made ("BEGIN" first, "END" last; only "BEGIN" for a bad
// interval), so memory stays bounded whatever the size of the logs.
struct MergeSummary {
  bool ok = false;
  std::size_t linesWritten = 0;
  std::string error;
};
using MergeSink = std::function<void(std::string_view text)>;
MergeSummary MergeLogsTo(const LogLines& gps, const LogLines& sensor, std::string_view intervalText,
                         const MergeSink& sink, const MergeProgress& progress = {});

// Writes the merged text to a file atomically. Throws std::runtime_error
// naming the file and the reason; the old file is then unchanged.
void SaveMerged(const std::filesystem::path& file, std::string_view text);

}  // namespace halvex::geotools
