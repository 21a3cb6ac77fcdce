// SPDX-License-Identifier: GPL-3.0-or-later
//
// The log merge. Departures from the page's original arithmetic, each a
// fault mended:
//  - stamps hhnnsszzz are converted to milliseconds of the day before any
//    difference (their direct difference is wrong across every minute), and
//    a stamp more than 12 h below the one before it in the same log adds a
//    day (a log that runs past midnight);
//  - the GGA fields are found by their commas, not by a fixed 17-character
//    skip that assumed "hhmmss.ss" time fields; an empty field is missing;
//  - two fixes with equal stamps give fix j's position (no division by
//    1e-16), the altitude still their mean;
//  - a match at the first fix with d <= 0, or at the last with d > 0, gives
//    fix j alone instead of reading past the log;
//  - across a whole degree the ddmm.mmmm values are interpolated as minutes;
//  - when the interval is wider than the fixes' spacing, a match after the
//    record moves on to the last fix not later than the record, so the two
//    fixes around it are used instead of extrapolating;
//  - an empty "Clean Fix" text drops nothing;
//  - the search for the matching fix is a galloping search over the runs of
//    non-decreasing stamps, so a gap in the GPS log costs a logarithm per
//    record instead of a scan of the rest of the log.

#include "geotools/lsq/LogMerge.hpp"

#include <cmath>
#include <cstring>
#include <limits>

#include "geodesy/NumberText.hpp"
#include "platform/FileIo.hpp"
#include "platform/PageWarmer.hpp"

namespace halvex::geotools {

namespace {

constexpr long double kDayMs = 86400000.0L;
constexpr long double kHalfDayMs = 43200000.0L;

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr long double kTwo62 = 4611686018427387904.0L;
constexpr long double kTwo63 = 9223372036854775808.0L;

// floor(y) without switching the x87 rounding mode (std::floor and integer
// conversions of long double do, which costs more than the rest of a merged
// line): adding 2^63 rounds |y| < 2^62 to the nearest integer exactly.
long double Floor(long double y) {
  if (!(y > -kTwo62 && y < kTwo62)) {
    return std::floor(y);
  }
  const long double nearest = y >= 0 ? (y + kTwo63) - kTwo63 : -((-y + kTwo63) - kTwo63);
  return nearest > y ? nearest - 1 : nearest;
}

// A whole number 0 <= w < 2^62 as an integer, read from the significand of
// w + 2^63.
std::int64_t WholeToInteger(long double w) {
  const long double shifted = w + kTwo63;
  std::uint64_t significand = 0;
  std::memcpy(&significand, &shifted, sizeof significand);
  return static_cast<std::int64_t>(significand - (std::uint64_t{1} << 63));
}

// A leading integer as "%ld" reads it: optional sign, one or more digits.
std::optional<long> LeadingLong(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t first = i;
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value > (std::numeric_limits<long>::max() - digit) / 10) {
      return std::nullopt;
    }
    value = value * 10 + digit;
  }
  if (i == first) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::optional<long double> LeadingNumber(std::string_view text) {
  geodesy::NumberScanner scanner(text);
  long double value = 0.0L;
  if (!scanner.ReadExtended(value)) {
    return std::nullopt;
  }
  return value;
}

// The scanner after the date token and the stamp; empty when they are not
// there.
std::optional<long double> ScanStamp(geodesy::NumberScanner& scanner) {
  std::string_view date;
  long double stamp = 0.0L;
  if (!scanner.ReadWord(10, date) || !scanner.ReadExtended(stamp)) {
    return std::nullopt;
  }
  return stamp;
}

// Milliseconds of every line's stamp: a line whose stamp cannot be read
// keeps the value before it (0 before any), and a stamp more than 12 h
// below the one before it adds a day.
std::vector<long double> StampsOf(const LogLines& lines) {
  std::vector<long double> out(lines.size());
  long double raw = 0.0L, previous = 0.0L, offset = 0.0L;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (const auto stamp = ReadStamp(lines[i])) {
      raw = *stamp;
    }
    const long double ms = StampToMilliseconds(raw);
    if (i > 0 && ms < previous - kHalfDayMs) {
      offset += kDayMs;
    }
    previous = ms;
    out[i] = ms + offset;
  }
  return out;
}

void AppendInteger(std::string& out, long value) { out += std::to_string(value); }

}  // namespace

LogLines::LogLines(std::string text) : text_(std::move(text)) {
  std::size_t start = 0;
  const std::size_t size = text_.size();
  while (start < size) {
    std::size_t end = text_.find('\n', start);
    const bool last = end == std::string::npos;
    if (last) {
      end = size;
    }
    std::size_t length = end - start;
    if (!last && length > 0 && text_[end - 1] == '\r') {
      --length;
    }
    spans_.emplace_back(start, length);
    start = end + 1;
  }
}

void LogLines::Filter(std::string_view needle, bool keep) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < spans_.size(); ++i) {
    const bool contains = (*this)[i].find(needle) != std::string_view::npos;
    if (contains == keep) {
      spans_[kept++] = spans_[i];
    }
  }
  spans_.resize(kept);
}

std::string LogLines::Text() const {
  std::string out;
  std::size_t bytes = 0;
  for (const auto& span : spans_) {
    bytes += span.second + 1;
  }
  out.reserve(bytes);
  for (std::size_t i = 0; i < spans_.size(); ++i) {
    out += (*this)[i];
    out += '\n';
  }
  return out;
}

void KeepContaining(LogLines& lines, std::string_view text) { lines.Filter(text, true); }

void CleanFix(LogLines& lines, std::string_view text) {
  // Every line contains the empty text: dropping on it would empty the log.
  if (!text.empty()) {
    lines.Filter(text, false);
  }
}

void OnlyKeepFix(LogLines& lines, std::string_view text) { lines.Filter(text, true); }

std::string GpsCountText(std::size_t count) { return "GPS Data Count: " + std::to_string(count); }

std::string SensorCountText(std::size_t count) {
  return "Sensor Data Count: " + std::to_string(count);
}

std::optional<long double> ReadStamp(std::string_view line) {
  geodesy::NumberScanner scanner(line);
  return ScanStamp(scanner);
}

long double StampToMilliseconds(long double stamp) {
  if (!(stamp >= 0.0L && stamp < 1e15L)) {
    return stamp;
  }
  const long double whole = Floor(stamp);
  const std::int64_t i = WholeToInteger(whole);
  const std::int64_t hh = i / 10000000;
  const std::int64_t nn = i / 100000 % 100;
  const std::int64_t ss = i / 1000 % 100;
  const std::int64_t zzz = i % 1000;
  const std::int64_t ms = hh * 3600000 + nn * 60000 + ss * 1000 + zzz;
  return static_cast<long double>(ms) + (stamp - whole);
}

std::optional<GgaRecord> ReadGgaRecord(std::string_view line) {
  geodesy::NumberScanner scanner(line);
  const auto stamp = ScanStamp(scanner);
  if (!stamp) {
    return std::nullopt;
  }
  std::string_view sentence = scanner.Rest();
  std::size_t start = 0;
  while (start < sentence.size() && IsBlank(sentence[start])) {
    ++start;
  }
  std::size_t end = start;
  while (end < sentence.size() && !IsBlank(sentence[end])) {
    ++end;
  }
  sentence = sentence.substr(start, end - start);

  // Fields 0 .. 9 of the sentence, split at its commas.
  std::string_view fields[10];
  std::size_t count = 0;
  std::size_t pos = 0;
  while (count < 10) {
    const std::size_t comma = sentence.find(',', pos);
    fields[count++] = sentence.substr(
        pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
    if (comma == std::string_view::npos) {
      break;
    }
    pos = comma + 1;
  }
  if (count < 10) {
    return std::nullopt;
  }
  GgaRecord record;
  record.stamp = *stamp;
  const auto latitude = LeadingNumber(fields[2]);
  const auto longitude = LeadingNumber(fields[4]);
  const auto quality = LeadingLong(fields[6]);
  const auto satellites = LeadingLong(fields[7]);
  const auto hdop = LeadingNumber(fields[8]);
  const auto altitude = LeadingNumber(fields[9]);
  if (!latitude || !longitude || !quality || !satellites || !hdop || !altitude) {
    return std::nullopt;
  }
  record.latitude = *latitude;
  record.longitude = *longitude;
  record.quality = *quality;
  record.satellites = *satellites;
  record.hdop = *hdop;
  record.altitude = *altitude;
  return record;
}

long double InterpolateDegreesMinutes(long double first, long double second, long double fraction) {
  const long double d1 = Floor(first / 100), d2 = Floor(second / 100);
  if (d1 == d2) {
    return first + (second - first) * fraction;
  }
  const long double m1 = 60 * d1 + (first - 100 * d1);
  const long double m2 = 60 * d2 + (second - 100 * d2);
  const long double m = m1 + (m2 - m1) * fraction;
  const long double d = Floor(m / 60);
  return 100 * d + (m - 60 * d);
}

std::optional<int> ParseInterval(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t first = i;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL) {
      return std::nullopt;
    }
  }
  if (i == first) {
    return std::nullopt;
  }
  while (i < text.size() && IsBlank(text[i])) {
    ++i;
  }
  if (i != text.size()) {
    return std::nullopt;
  }
  value = negative ? -value : value;
  if (value > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

namespace {

// More than the bytes a merged line adds to its sensor and GPS lines: its
// markers and three fixed-point numbers, each at most about 5000 digits
// (the largest long double).
constexpr std::size_t kLineOverhead = 16384;

// The merge, written to `out` after what it holds ("BEGIN"). Before each
// line, room(out, bytes) is told an upper bound of the line's length, to
// hand on or make room for what `out` holds. On a bad interval only the
// error is set.
template <class Room>
MergeSummary Merge(const LogLines& gps, const LogLines& sensor, std::string_view intervalText,
                   std::string& out, Room room, const MergeProgress& progress) {
  MergeSummary result;
  const auto interval = ParseInterval(intervalText);
  if (!interval) {
    result.error = "'" + std::string(intervalText) + "' is not a valid integer value";
    return result;
  }
  const long double h = static_cast<long double>(*interval / 2);

  const std::size_t gpsCount = gps.size();
  const std::vector<long double> tg = StampsOf(gps);
  const std::vector<long double> ts = StampsOf(sensor);

  // runEnd[j]: the last index of the run of non-decreasing stamps holding j.
  std::vector<std::size_t> runEnd(gpsCount);
  for (std::size_t j = gpsCount; j-- > 0;) {
    runEnd[j] = (j + 1 < gpsCount && tg[j + 1] >= tg[j]) ? runEnd[j + 1] : j;
  }

  // The first fix from `from` on whose stamp lies within h of t, or
  // gpsCount. Within a run, t − tg[k] only falls as k grows, so the first k
  // with t − tg[k] <= h is found by galloping, and it is the match when
  // also t − tg[k] >= −h; otherwise no fix of the run matches.
  auto findMatch = [&](std::size_t from, long double t) {
    for (std::size_t j = from; j < gpsCount;) {
      const std::size_t end = runEnd[j];
      auto notYet = [&](std::size_t k) { return t - tg[k] > h; };
      std::size_t low = j;  // candidates start here
      if (notYet(low)) {
        std::size_t step = 1;
        std::size_t before = low;  // last index known to be "not yet"
        while (true) {
          const std::size_t probe = before + step;
          if (probe > end) {
            low = end + 1;
            break;
          }
          if (!notYet(probe)) {
            low = probe;
            break;
          }
          before = probe;
          step *= 2;
        }
        // The first matching index lies in (before, low].
        std::size_t lo = before + 1, hi = low;
        if (hi > end) {
          hi = end + 1;
        }
        while (lo < hi) {
          const std::size_t mid = lo + (hi - lo) / 2;
          if (notYet(mid)) {
            lo = mid + 1;
          } else {
            hi = mid;
          }
        }
        low = lo;
      }
      if (low <= end && std::fabs(t - tg[low]) <= h) {
        return low;
      }
      j = end + 1;
    }
    return gpsCount;
  };

  // The GPS records last read: consecutive sensor records mostly use the
  // same one or two fixes, and the search only moves forward.
  struct Cached {
    std::size_t index = static_cast<std::size_t>(-1);
    std::optional<GgaRecord> record;
  };
  Cached cache[4];
  std::size_t nextSlot = 0;
  auto record = [&](std::size_t j) -> const std::optional<GgaRecord>& {
    for (Cached& c : cache) {
      if (c.index == j) {
        return c.record;
      }
    }
    Cached& c = cache[nextSlot];
    nextSlot = (nextSlot + 1) % 4;
    c.index = j;
    c.record = ReadGgaRecord(gps[j]);
    return c.record;
  };

  std::size_t b = 0;
  for (std::size_t i = 0; i < sensor.size(); ++i) {
    const long double t = ts[i];
    std::size_t j = findMatch(b, t);
    if (j == gpsCount) {
      continue;
    }
    long double d = t - tg[j];
    if (d > 0) {
      while (j + 1 < gpsCount && tg[j + 1] <= t) {
        ++j;
      }
      d = t - tg[j];
    }
    const bool before = d <= 0;  // the neighbour is the fix before j
    const bool alone = before ? j == 0 : j + 1 == gpsCount;
    const std::size_t nb = alone ? j : (before ? j - 1 : j + 1);
    const std::optional<GgaRecord> fix = record(j);
    const std::optional<GgaRecord> other = record(nb);
    if (fix && other) {
      long double latitude = fix->latitude, longitude = fix->longitude;
      long double altitude = fix->altitude;
      if (!alone) {
        altitude = (fix->altitude + other->altitude) / 2;
        if (tg[j] != tg[nb]) {
          // The position runs from the earlier fix to the later one.
          const GgaRecord& first = before ? *other : *fix;
          const GgaRecord& second = before ? *fix : *other;
          const long double fraction =
              before ? (t - tg[nb]) / (tg[j] - tg[nb]) : (tg[j] - t) / (tg[j] - tg[nb]);
          latitude = InterpolateDegreesMinutes(first.latitude, second.latitude, fraction);
          longitude = InterpolateDegreesMinutes(first.longitude, second.longitude, fraction);
        }
      }
      if (std::isfinite(latitude) && std::isfinite(longitude) && std::isfinite(altitude)) {
        room(out, sensor[i].size() + gps[j].size() + kLineOverhead);
        geodesy::AppendFixed(out, latitude, 9);
        out += ',';
        geodesy::AppendFixed(out, longitude, 9);
        out += ',';
        geodesy::AppendFixed(out, altitude, 3);
        out += ",Fix ";
        AppendInteger(out, fix->quality);
        out += ",Raw_SBES_Begin->,";
        out += sensor[i];
        out += before ? ",<-Raw_SBES_End,Raw_GPS_Begin->," : ",<-Raw_SBES_End, Raw_GPS_Begin->,";
        out += gps[j];
        out += ",<-Raw_GPS_End\n";
        ++result.linesWritten;
        if (progress) {
          progress(i);
        }
      }
    }
    b = j;
  }
  out += "END\n";
  result.ok = true;
  return result;
}

}  // namespace

MergeResult MergeLogs(const LogLines& gps, const LogLines& sensor, std::string_view intervalText,
                      const MergeProgress& progress) {
  MergeResult result;
  std::string& text = result.text;
  // Room for the whole output at once: a merged line holds the sensor line,
  // a GPS line and about 80 bytes of its own.
  std::size_t gpsBytes = 0, sensorBytes = 0;
  for (std::size_t j = 0; j < gps.size(); ++j) {
    gpsBytes += gps[j].size();
  }
  for (std::size_t i = 0; i < sensor.size(); ++i) {
    sensorBytes += sensor[i].size();
  }
  const std::size_t averageGps = gps.empty() ? 0 : gpsBytes / gps.size();
  text.reserve(sensorBytes + sensor.size() * (averageGps + 96) + 16);
  // Faulting in a text of hundreds of megabytes costs more than the merge
  // itself; a helper thread does it ahead of the merge. It stops before the
  // text could move (an estimate too low).
  platform::PageWarmer warmer(text.data(), text.capacity());
  text = "BEGIN\n";
  const MergeSummary summary = Merge(
      gps, sensor, intervalText, text,
      [&](std::string& out, std::size_t bytes) {
        if (out.size() + bytes > out.capacity()) {
          warmer.Stop();
        }
      },
      progress);
  warmer.Stop();
  result.ok = summary.ok;
  result.linesWritten = summary.linesWritten;
  result.error = summary.error;
  return result;
}

MergeSummary MergeLogsTo(const LogLines& gps, const LogLines& sensor, std::string_view intervalText,
                         const MergeSink& sink, const MergeProgress& progress) {
  // The output goes to the sink in blocks of about a megabyte, from one
  // buffer reused for every block.
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  std::string out = "BEGIN\n";
  out.reserve(kBlock + 4096);
  const MergeSummary result = Merge(
      gps, sensor, intervalText, out,
      [&](std::string& text, std::size_t) {
        if (text.size() >= kBlock) {
          sink(text);
          text.clear();
        }
      },
      progress);
  sink(out);
  return result;
}

void SaveMerged(const std::filesystem::path& file, std::string_view text) {
  platform::WriteFileAtomically(file, text);
}

}  // namespace halvex::geotools
