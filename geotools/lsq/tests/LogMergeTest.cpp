// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/lsq/LogMerge.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/FileIo.hpp"

namespace halvex::geotools {
namespace {

std::string Gga(std::string_view stamp, std::string_view lat, std::string_view lon,
                std::string_view alt = "10.0", std::string_view quality = "4",
                std::string_view time = "123519.00") {
  return "07.12.2026 " + std::string(stamp) + " $GPGGA," + std::string(time) + "," +
         std::string(lat) + ",N," + std::string(lon) + ",E," + std::string(quality) + ",08,0.9," +
         std::string(alt) + ",M,46.9,M,,*47";
}

std::string Sonar(std::string_view stamp, std::string_view depth = "12.34") {
  return "07.12.2026 " + std::string(stamp) + " SDDBT 3 " + std::string(depth);
}

LogLines Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line + "\r\n";
  }
  return LogLines(text);
}

// The merged lines between BEGIN and END.
std::vector<std::string> Merged(const std::vector<std::string>& gps,
                                const std::vector<std::string>& sensor,
                                std::string_view interval = "1000") {
  const MergeResult r = MergeLogs(Lines(gps), Lines(sensor), interval);
  EXPECT_TRUE(r.ok) << r.error;
  std::vector<std::string> lines;
  std::istringstream in(r.text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  EXPECT_GE(lines.size(), 2U);
  EXPECT_EQ(lines.front(), "BEGIN");
  EXPECT_EQ(lines.back(), "END");
  return std::vector<std::string>(lines.begin() + 1, lines.end() - 1);
}

// The position part of a merged line: "lat,lon,alt,Fix q".
std::string Position(const std::string& line) {
  return line.substr(0, line.find(",Raw_SBES_Begin->,"));
}

TEST(LogMerge, MatchesAndInterpolatesAsThePageDoes) {
  const std::vector<std::string> gps = {Gga("1000", "4807.0000", "01131.0000", "10.0", "4"),
                                        Gga("2000", "4807.0100", "01131.0200", "12.0", "5")};
  // Midway between the fixes: the first is the match (|d| = 500), the
  // neighbour the next; the fix quality is the match's.
  std::vector<std::string> out = Merged(gps, {Sonar("1500")});
  ASSERT_EQ(out.size(), 1U);
  EXPECT_EQ(out[0], "4807.005000000,1131.010000000,11.000,Fix 4,Raw_SBES_Begin->," + Sonar("1500") +
                        ",<-Raw_SBES_End, Raw_GPS_Begin->," + gps[0] + ",<-Raw_GPS_End");
  // Exactly at a fix: the fix before is the neighbour and f = 1.
  out = Merged(gps, {Sonar("2000")});
  ASSERT_EQ(out.size(), 1U);
  EXPECT_EQ(Position(out[0]), "4807.010000000,1131.020000000,11.000,Fix 5");
  EXPECT_NE(out[0].find(",<-Raw_SBES_End,Raw_GPS_Begin->," + gps[1]), std::string::npos);
  // More than half the interval from every fix: no line.
  EXPECT_TRUE(Merged(gps, {Sonar("2501"), Sonar("400")}).empty());
  // Empty logs still give BEGIN and END.
  EXPECT_TRUE(Merged({}, {}).empty());
}

TEST(LogMerge, StampsAreMillisecondsOfTheDay) {
  // 12:00:59.800 and 12:01:00.200 are 400 ms apart; their stamps differ
  // by 40400. The record at 12:01:00.000 lies midway.
  const std::vector<std::string> gps = {Gga("120059800", "4807.0000", "01131.0000"),
                                        Gga("120100200", "4807.0400", "01131.0400")};
  const std::vector<std::string> out = Merged(gps, {Sonar("120100000")});
  ASSERT_EQ(out.size(), 1U);
  EXPECT_EQ(Position(out[0]), "4807.020000000,1131.020000000,10.000,Fix 4");
  EXPECT_EQ(StampToMilliseconds(235959999.5L), 86399999.5L);
  EXPECT_EQ(StampToMilliseconds(10203004L), 1 * 3600000 + 2 * 60000 + 3 * 1000 + 4);
}

TEST(LogMerge, LogsRunningPastMidnight) {
  const std::vector<std::string> gps = {Gga("235959800", "4807.0000", "01131.0000"),
                                        Gga("000000200", "4807.0400", "01131.0400")};
  const std::vector<std::string> out =
      Merged(gps, {Sonar("235959500"), Sonar("000000000")}, "1000");
  ASSERT_EQ(out.size(), 2U);
  EXPECT_EQ(Position(out[1]), "4807.020000000,1131.020000000,10.000,Fix 4");
}

TEST(LogMerge, EdgesOfTheGpsLogUseTheFixAlone) {
  const std::vector<std::string> gps = {Gga("1000", "4807.0000", "01131.0000", "10.0"),
                                        Gga("2000", "4807.0100", "01131.0200", "12.0")};
  // Before the first fix: no fix before it, so fix 0 alone with its own
  // altitude and the marker of a neighbour before.
  std::vector<std::string> out = Merged(gps, {Sonar("700")});
  ASSERT_EQ(out.size(), 1U);
  EXPECT_EQ(Position(out[0]), "4807.000000000,1131.000000000,10.000,Fix 4");
  EXPECT_NE(out[0].find(",<-Raw_SBES_End,Raw_GPS_Begin->," + gps[0]), std::string::npos);
  // After the last fix.
  out = Merged(gps, {Sonar("2300")});
  ASSERT_EQ(out.size(), 1U);
  EXPECT_EQ(Position(out[0]), "4807.010000000,1131.020000000,12.000,Fix 4");
  EXPECT_NE(out[0].find(",<-Raw_SBES_End, Raw_GPS_Begin->," + gps[1]), std::string::npos);
}

TEST(LogMerge, EqualStampsGiveTheFixPositionAndMeanAltitude) {
  const std::vector<std::string> gps = {Gga("1000", "4807.0000", "01131.0000", "10.0"),
                                        Gga("1000", "4808.0000", "01132.0000", "20.0")};
  const std::vector<std::string> out = Merged(gps, {Sonar("1000")});
  ASSERT_EQ(out.size(), 1U);
  // The match is the first fix (d = 0); its neighbour before does not
  // exist, so it stands alone. A record just after meets both.
  EXPECT_EQ(Position(out[0]), "4807.000000000,1131.000000000,10.000,Fix 4");
  const std::vector<std::string> after = Merged(gps, {Sonar("1100")});
  ASSERT_EQ(after.size(), 1U);
  EXPECT_EQ(Position(after[0]), "4808.000000000,1132.000000000,20.000,Fix 4");
  const std::vector<std::string> three =
      Merged({Gga("500", "4806.0000", "01130.0000", "0.0"), gps[0], gps[1]}, {Sonar("1000")});
  ASSERT_EQ(three.size(), 1U);
  // The fix at 500 is the first within the interval (d = 500 > 0), so the
  // match moves on to the last fix not later than the record (line 2); its
  // neighbour before has the same stamp: line 2's position, the mean
  // altitude, no division by zero.
  EXPECT_EQ(Position(three[0]), "4808.000000000,1132.000000000,15.000,Fix 4");
}

TEST(LogMerge, FieldsAreReadByTheirCommas) {
  // A time field without decimals used to shift the latitude.
  const std::optional<GgaRecord> r =
      ReadGgaRecord(Gga("1000", "4807.038", "01131.000", "545.4", "2", "123519"));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->latitude, 4807.038L);
  EXPECT_EQ(r->longitude, 1131.0L);
  EXPECT_EQ(r->quality, 2);
  EXPECT_EQ(r->satellites, 8);
  EXPECT_EQ(r->altitude, 545.4L);
  // An empty field is missing; a short sentence too.
  EXPECT_FALSE(ReadGgaRecord(Gga("1000", "", "01131.000")));
  EXPECT_FALSE(ReadGgaRecord(Gga("1000", "4807.038", "01131.000", "")));
  EXPECT_FALSE(ReadGgaRecord("07.12.2026 1000 $GPGGA,123519,4807.038,N,01131.000,E,1,08"));
  EXPECT_FALSE(ReadGgaRecord("07.12.2026"));
  // A fix that cannot be read gives no line; the merge goes on.
  const std::vector<std::string> out =
      Merged({Gga("1000", "", "01131.0"), Gga("2000", "4807.0", "01131.0"),
              Gga("3000", "4807.0", "01131.0")},
             {Sonar("1200"), Sonar("2500")});
  ASSERT_EQ(out.size(), 1U);
  EXPECT_NE(out[0].find(Sonar("2500")), std::string::npos);
}

TEST(LogMerge, InterpolationAcrossAWholeDegreeGoesThroughMinutes) {
  // 47°59.99' and 48°00.01': the midpoint is 48°00.00', not 4780.00.
  EXPECT_NEAR(static_cast<double>(InterpolateDegreesMinutes(4759.99L, 4800.01L, 0.5L)), 4800.0,
              1e-9);
  EXPECT_NEAR(static_cast<double>(InterpolateDegreesMinutes(4759.99L, 4800.01L, 0.25L)), 4759.995,
              1e-9);
  // Within one degree the raw values are interpolated as they stand.
  EXPECT_EQ(InterpolateDegreesMinutes(4807.0L, 4808.0L, 0.25L), 4807.0L + 1.0L * 0.25L);
  const std::vector<std::string> out = Merged(
      {Gga("1000", "4759.99", "00959.98"), Gga("2000", "4800.01", "01000.02")}, {Sonar("1500")});
  ASSERT_EQ(out.size(), 1U);
  EXPECT_EQ(Position(out[0]), "4800.000000000,1000.000000000,10.000,Fix 4");
}

TEST(LogMerge, WideIntervalUsesTheFixesAroundTheRecord) {
  // 5 Hz fixes and the default interval: the record at 450 ms lies
  // between the fixes at 400 and 600.
  const std::vector<std::string> gps = {
      Gga("0", "4807.0000", "01131.0000"), Gga("200", "4807.0200", "01131.0200"),
      Gga("400", "4807.0400", "01131.0400"), Gga("600", "4807.0600", "01131.0600")};
  const std::vector<std::string> out = Merged(gps, {Sonar("450"), Sonar("600")});
  ASSERT_EQ(out.size(), 2U);
  EXPECT_EQ(Position(out[0]), "4807.045000000,1131.045000000,10.000,Fix 4");
  EXPECT_NE(out[0].find(gps[2] + ",<-Raw_GPS_End"), std::string::npos);
  EXPECT_EQ(Position(out[1]), "4807.060000000,1131.060000000,10.000,Fix 4");
}

TEST(LogMerge, GapsInTheGpsLogAndUnreadableStamps) {
  // A gap from 3 s to 60 s: the records inside it get no line, the ones
  // after it are matched again.
  std::vector<std::string> gps;
  for (int s : {1, 2, 3, 60, 61}) {
    gps.push_back(Gga(std::to_string(s * 1000), "4807.0000", "01131.0000"));
  }
  std::vector<std::string> sensor;
  for (int ms = 1000; ms <= 61000; ms += 500) {
    sensor.push_back(Sonar(std::to_string(ms)));
  }
  // A sensor line without a stamp keeps the one before it.
  sensor.insert(sensor.begin() + 1, "garbage");
  const std::vector<std::string> out = Merged(gps, sensor);
  // 1000 .. 3500 (6 records plus the repeated 1000), then 59500 .. 61000.
  EXPECT_EQ(out.size(), 7U + 4U);
}

TEST(LogMerge, IntervalMustBeAnInteger) {
  const MergeResult bad = MergeLogs(Lines({}), Lines({}), "1000ms");
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.text, "BEGIN\n");
  EXPECT_EQ(bad.error, "'1000ms' is not a valid integer value");
  EXPECT_EQ(ParseInterval(" -200 "), -200);
  EXPECT_EQ(ParseInterval("+7"), 7);
  EXPECT_FALSE(ParseInterval(""));
  EXPECT_FALSE(ParseInterval("2147483648"));
  // An odd interval is halved with truncation: 999 → 499.
  const std::vector<std::string> gps = {Gga("1000", "4807.0", "01131.0"),
                                        Gga("3000", "4807.0", "01131.0")};
  EXPECT_TRUE(Merged(gps, {Sonar("1500")}, "999").empty());
  EXPECT_EQ(Merged(gps, {Sonar("1499")}, "999").size(), 1U);
}

// The in-memory merge writes its text directly, the streamed one in blocks;
// both give the same text. The GPS lines that match are much longer than
// the average, so the in-memory text outgrows its first estimate.
TEST(LogMerge, InMemoryAndStreamedMergesGiveTheSameText) {
  std::string gpsText, sensorText;
  const std::string padding(400, 'p');
  for (int k = 0; k < 40000; ++k) {
    const int ms = 3600000 + k * 100;
    const std::string stamp = std::to_string(ms / 3600000 * 10000000 + ms / 60000 % 60 * 100000 +
                                             ms / 1000 % 60 * 1000 + ms % 1000);
    if (k % 600 < 550) {  // a gap of 5 s every minute
      gpsText += Gga(stamp, std::to_string(4759.9 + k % 7 * 0.01), "01131.0000",
                     std::to_string(40 + k % 13)) +
                 (k >= 20000 ? "," + padding : "") + "\n";
    }
    if (k >= 20000) {
      sensorText += Sonar(stamp, std::to_string(k % 50)) + "\r\n";
    }
  }
  const LogLines gps(gpsText), sensor(sensorText);
  for (std::string_view interval : {"100", "1000", "x"}) {
    const MergeResult whole = MergeLogs(gps, sensor, interval);
    std::string streamed;
    std::size_t blocks = 0;
    const MergeSummary summary = MergeLogsTo(gps, sensor, interval, [&](std::string_view block) {
      streamed += block;
      ++blocks;
    });
    EXPECT_EQ(whole.ok, summary.ok);
    EXPECT_EQ(whole.linesWritten, summary.linesWritten);
    EXPECT_EQ(whole.error, summary.error);
    EXPECT_TRUE(whole.text == streamed) << interval;
    if (interval == "x") {
      EXPECT_EQ(streamed, "BEGIN\n");
    } else {
      EXPECT_GT(whole.linesWritten, 18000U) << interval;
      EXPECT_GT(blocks, 5U);
    }
  }
}

TEST(LogFilters, KeepDropAndCount) {
  LogLines gps(Gga("1", "4807.0", "01131.0", "1", "4") + "\n" +
               "07.12.2026 2 $GPGGA,123519,,,,,0,00,,,M,,M,,*47\n" + "$GPRMC,junk\r\n" +
               Gga("3", "4807.0", "01131.0", "1", "1"));
  ASSERT_EQ(gps.size(), 4U);
  KeepContaining(gps, "$GPGGA");
  EXPECT_EQ(gps.size(), 3U);
  EXPECT_EQ(GpsCountText(gps.size()), "GPS Data Count: 3");
  // The empty clean-fix text drops nothing.
  CleanFix(gps, "");
  EXPECT_EQ(gps.size(), 3U);
  CleanFix(gps, ",,,,,");
  EXPECT_EQ(gps.size(), 2U);
  OnlyKeepFix(gps, ",E,4,");
  ASSERT_EQ(gps.size(), 1U);
  EXPECT_EQ(gps.Text(), Gga("1", "4807.0", "01131.0", "1", "4") + "\n");
  EXPECT_EQ(SensorCountText(0), "Sensor Data Count: 0");
  // A text ending in a line break has no empty last line; a lone CR stays.
  EXPECT_EQ(LogLines("a\nb\r\n").size(), 2U);
  EXPECT_EQ(LogLines("a\rb")[0], "a\rb");
}

TEST(LogFilters, SaveWritesTheMergedTextAtomically) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("halvex_merge_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / "merged.txt";
  SaveMerged(file, "BEGIN\nEND\n");
  EXPECT_EQ(platform::ReadWholeFile(file).value_or(""), "BEGIN\nEND\n");
  EXPECT_THROW(SaveMerged(dir / "no" / "such" / "\0x", "x"), std::exception);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace halvex::geotools
