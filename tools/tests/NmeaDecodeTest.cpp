// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/NmeaDecode.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tests/CliTestSupport.hpp"

namespace halvex::tools {
namespace {

using test_support::Has;
using test_support::Joined;
using test_support::Lines;
using test_support::PieceAtATimeBuffer;
using test_support::TempFolder;
using test_support::ToolRun;

ToolRun Decode(const std::vector<std::string>& args, const std::string& input = {}) {
  return test_support::RunTool(RunNmeaDecode, args, input);
}

// "$BODY*HH" with the checksum computed here, and the same with CR LF.
std::string Framed(std::string_view body) {
  unsigned sum = 0;
  for (const char c : body) {
    sum ^= static_cast<unsigned char>(c);
  }
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", sum);
  return "$" + std::string(body) + tail;
}
std::string Sentence(std::string_view body) { return Framed(body) + "\r\n"; }

std::string ReadFile(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

const std::string kGga = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
const std::string kRmc = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
const std::string kGsv1 = "GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45";
const std::string kGsv2 = "GPGSV,2,2,08,15,05,138,33,22,64,029,48,24,49,247,47,25,14,163,36";
const std::string kWpl = "GPWPL,4917.24,N,12309.57,W,004";

// Every kind, with noise between the sentences: text without "$", a
// sentence with a bad checksum, an unknown kind, and a bare CR.
std::string MixedLog(int epochs) {
  std::string log = "noise before the first sentence\r\n";
  for (int i = 0; i < epochs; ++i) {
    char time[16];
    std::snprintf(time, sizeof time, "1235%02d.%d0", i / 10 % 60, i % 10);
    char lat[16];
    std::snprintf(lat, sizeof lat, "4807.%03d", 38 + i);
    log += Sentence(std::string("GPGGA,") + time + "," + lat + ",N,01131.000,E,1,08,0.9,545." +
                    std::to_string(i % 10) + ",M,46.9,M,,");
    log += Sentence(std::string("GPRMC,") + time + ",A," + lat +
                    ",N,01131.000,E,022.4,084.4,230394,003.1,W");
    if (i % 5 == 0) {
      log += Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1") + Sentence(kGsv1) +
             Sentence(kGsv2) + Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K") +
             Sentence("GPZDA,201530.00,04,07,2002,00,00") +
             Sentence("GPGLL,4916.45,N,12311.12,W,225444,A") + Sentence(kWpl) +
             Sentence("GPWPL,4917.16,N,12310.64,W,003") + Sentence("GPRTE,1,1,c,0,003,004") +
             Sentence("GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,A") +
             Sentence("GPBWC,225444,4917.24,N,12309.57,W,051.9,T,031.6,M,001.3,N,004") +
             Sentence("GPXTE,A,A,0.67,L,N") + Sentence("GPAAM,A,A,0.10,N,004") +
             Sentence("GPMSS,55,27,318.0,100,1") + Sentence("GPHDT,274.07,T") +
             "$GPGGA,bad checksum*00\r\n\r" + "garbage $ without end\r\n";
    }
  }
  return log;
}

// --- Events ---

TEST(NmeaDecodeEventsTest, SmallLogGivesTheEventsInFiringOrder) {
  const std::string log = Sentence(kGga) + Sentence(kRmc) + Sentence(kWpl) +
                          Sentence("GPAAM,A,A,0.10,N,004") + Sentence("GPAAM,A,A,0.25,N,XYZ") +
                          Sentence("GPRTE,1,1,c,0,003,004");
  const ToolRun run = Decode({}, log);
  EXPECT_EQ(run.status, kNmeaDecodeOk) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string wayPoint =
      R"({"Name":"004","Latitude_Degree":49,"Latitude_Minute":17,"Latitude_Second":14.4,)"
      R"("Latitude_Direction":"cpNorth","Longitude_Degree":123,"Longitude_Minute":9,)"
      R"("Longitude_Second":34.2,"Longitude_Direction":"cpWest"})";
  const std::vector<std::string> expected = {
      R"({"event":"NewCommand","Command":")" + Framed(kGga) + R"("})",
      R"({"event":"Position2DChange","Latitude":48.1173,"Longitude":11.516666666666667})",
      R"({"event":"Position3DChange","Latitude":48.1173,"Longitude":11.516666666666667,)"
      R"("Altitude":545.4})",
      R"({"event":"LatitudeChange","Degree":48,"Minute":7,"Second":2.28,"Direction":"cpNorth"})",
      R"({"event":"LongitudeChange","Degree":11,"Minute":31,"Second":0,"Direction":"cpEast"})",
      R"({"event":"AltitudeChange","Value":545.4})",
      R"({"event":"NewCommand","Command":")" + Framed(kRmc) + R"("})",
      R"({"event":"SpeedChange","Value":41.504539559014267})",
      R"({"event":"HeadingChange","Value":84.4})",
      R"({"event":"WayPointReceive","WayPoint":)" + wayPoint + "}",
      R"({"event":"NewCommand","Command":")" + Framed(kWpl) + R"("})",
      R"({"event":"NewCommand","Command":")" + Framed("GPAAM,A,A,0.10,N,004") + R"("})",
      R"({"event":"Arrival","WayPoint":)" + wayPoint + R"(,"CircleRadius":0.1})",
      R"({"event":"NewCommand","Command":")" + Framed("GPAAM,A,A,0.25,N,XYZ") + R"("})",
      R"({"event":"Arrival","WayPoint":null,"CircleRadius":0.25})",
      R"({"event":"ActiveRouteReceive"})",
      R"({"event":"NewCommand","Command":")" + Framed("GPRTE,1,1,c,0,003,004") + R"("})",
  };
  EXPECT_EQ(Lines(run.out), expected);
}

TEST(NmeaDecodeEventsTest, SatellitesAndUnknownKinds) {
  const ToolRun run = Decode({}, Sentence(kGsv1) + Sentence(kGsv2) + Sentence("GPHDT,274.07,T"));
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 13U) << run.out;
  EXPECT_EQ(lines[0],
            R"({"event":"SatelliteReceive","Satellite":{"PseudoRandomCode":1,"Elevation":40,)"
            R"("Azimuth":83,"SignalToNoiseRatio":46}})");
  EXPECT_EQ(lines[4], R"({"event":"NewCommand","Command":")" + Framed(kGsv1) + R"("})");
  EXPECT_EQ(lines[8],
            R"({"event":"SatelliteReceive","Satellite":{"PseudoRandomCode":25,"Elevation":14,)"
            R"("Azimuth":163,"SignalToNoiseRatio":36}})");
  EXPECT_EQ(lines[9], R"({"event":"SatellitesReceive"})");
  // An unknown kind passes as a sentence of its own.
  EXPECT_EQ(lines[11],
            R"({"event":"UnknownCommand","Command":")" + Framed("GPHDT,274.07,T") + R"("})");
  EXPECT_EQ(lines[12], R"({"event":"NewCommand","Command":")" + Framed("GPHDT,274.07,T") + R"("})");
}

TEST(NmeaDecodeEventsTest, ReceiveCarriesEachChunkAndOnlyWhenAsked) {
  const std::string log = Sentence(kGga) + Sentence(kRmc);
  EXPECT_FALSE(Has(Decode({}, log).out, "Receive"));
  const ToolRun run = Decode({"--receive", "--chunk", "50"}, log);
  std::string buffers;
  int receives = 0;
  for (const std::string& line : Lines(run.out)) {
    const std::string prefix = R"({"event":"Receive","Buffer":")";
    if (line.rfind(prefix, 0) == 0) {
      const std::string text = line.substr(prefix.size(), line.size() - prefix.size() - 2);
      EXPECT_LE(text.size(), 50U + 2 * 5U);  // CR LF escaped as \u000D\u000A
      buffers += text;
      ++receives;
    }
  }
  EXPECT_EQ(receives, static_cast<int>((log.size() + 49) / 50));
  EXPECT_EQ(buffers, Framed(kGga) + "\\u000D\\u000A" + Framed(kRmc) + "\\u000D\\u000A");
  // The chunk holding the end of the first sentence is received after its events.
  const std::vector<std::string> lines = Lines(run.out);
  EXPECT_EQ(lines[0].rfind(R"({"event":"Receive")", 0), 0U);
  EXPECT_EQ(lines[1].rfind(R"({"event":"NewCommand")", 0), 0U);
}

TEST(NmeaDecodeEventsTest, TextsAreEscapedToAsciiJson) {
  const std::string odd = std::string("$GPXYZ,a\"b\\c\x01\x7f") + "\xe9\xff" + "\t,*00\r\n";
  const ToolRun run = Decode({"--no-checksum"}, odd);
  const std::string escaped = R"("$GPXYZ,a\"b\\c\u0001\u007F\u00E9\u00FF\u0009,*00")";
  EXPECT_EQ(run.out, R"({"event":"UnknownCommand","Command":)" + escaped + "}\n" +
                         R"({"event":"NewCommand","Command":)" + escaped + "}\n");
}

TEST(NmeaDecodeEventsTest, RealsAreWrittenAsPrintfWritesThemAndNullWhenNotFinite) {
  const auto printf17 = [](long double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17Lg", value);
    return std::string(text);
  };
  std::mt19937_64 random(20240615);
  for (int i = 0; i < 200000; ++i) {
    long double value = 0.0L;
    switch (i % 4) {
      case 0:  // NMEA-like values: fixed decimals
        value = static_cast<long double>(random() % 100000000) / 1000.0L;
        break;
      case 1:  // any significand over a wide range of exponents
        value =
            std::ldexp(static_cast<long double>(random()), static_cast<int>(random() % 160) - 120);
        break;
      case 2:  // quotients, as from unit conversions
        value = static_cast<long double>(random() % 1000000) /
                static_cast<long double>(1 + random() % 997);
        break;
      default:  // halfway between two 17-digit values
        value = (static_cast<long double>(10000000000000000LL + random() % 1000000) + 0.5L) /
                std::ldexp(1.0L, static_cast<int>(random() % 20));
        break;
    }
    if (i % 2 == 1) {
      value = -value;
    }
    ASSERT_EQ(NmeaDecodeReal(value), printf17(value)) << i;
  }
  for (const long double value :
       {0.0L, -0.0L, 1e-3L, 0.00099999999999999999L, 1e16L, 1e17L, 99999999999999999.5L,
        9.99999999999999995L, 545.4L, 1e300L, std::numeric_limits<long double>::denorm_min()}) {
    EXPECT_EQ(NmeaDecodeReal(value), printf17(value));
  }
  EXPECT_EQ(NmeaDecodeReal(std::numeric_limits<long double>::quiet_NaN()), "null");
  EXPECT_EQ(NmeaDecodeReal(std::numeric_limits<long double>::infinity()), "null");
  EXPECT_EQ(NmeaDecodeReal(-std::numeric_limits<long double>::infinity()), "null");
}

// --- State ---

TEST(NmeaDecodeStateTest, StateFollowsEachDecodedSentence) {
  const std::string log = Sentence(kGga) + Sentence(kRmc) + Sentence(kWpl) +
                          Sentence("GPRTE,1,1,c,R1,003,004") + Sentence(kGsv1) +
                          Sentence("GPMSS,55,27,318.0,100,1") + Sentence("GPXTE,A,A,0.67,R,N");
  const ToolRun run = Decode({"--state"}, log);
  EXPECT_EQ(run.status, kNmeaDecodeOk);
  const std::vector<std::string> lines = Lines(run.out);
  std::vector<std::string> states;
  std::vector<std::string> events;
  for (const std::string& line : lines) {
    (line.rfind(R"({"event":"State")", 0) == 0 ? states : events).push_back(line);
  }
  ASSERT_EQ(states.size(), 7U);
  // Without the State lines the output is the plain run's, and each State
  // line comes right after its sentence's last event.
  EXPECT_EQ(Joined(events), Decode({}, log).out);
  EXPECT_EQ(lines[5], R"({"event":"AltitudeChange","Value":545.4})");
  EXPECT_EQ(lines[6], states[0]);

  const std::string& gga = states[0];
  for (const char* field :
       {R"({"event":"State","Position":{"FLatitude":4807.038,"FLongitude":1131,)",
        R"("Latitude_Degree":48,"Latitude_Minute":7,"Latitude_Second":2.28,)",
        R"("Latitude_Direction":"cpNorth","Longitude_Degree":11,)", R"("Altitude":545.4,)",
        R"("Hour":12,"Minute":35,"Second":19,"Millisecond":0,"Satellite_Count":8,)",
        R"("HDOP":0.9,)", R"("Geo_Height":46.9,"Fix":1,)",
        R"("LatitudeAsDecimalDegrees":48.1173,"LongitudeAsDecimalDegrees":11.516666666666667,)",
        R"("SatellitesInList":0},"ReceiverStatus":{"SignalStrength":0,)",
        R"("NavigationInfo":{"Origin":"","Destination":"","RangeToDestination":-1,)",
        R"("DirectionToSteer":"dirForward"},"WayPoints":[],)",
        R"("ActiveRoute":{"Name":"","WayPoints":[]}})"}) {
    EXPECT_TRUE(Has(gga, field)) << field << "\n" << gga;
  }
  EXPECT_TRUE(Has(states[1], R"("Speed_Knots":22.4,)")) << states[1];
  EXPECT_TRUE(
      Has(states[1], R"("Magnetic_Variation":3.1,"Magnetic_Variation_Direction":"cpWest",)"));
  EXPECT_TRUE(Has(states[1], R"("Day":23,"Month":3,)"));
  EXPECT_TRUE(Has(states[1], R"("DateTime":"2094-03-23T12:35:19.000")")) << states[1];
  EXPECT_TRUE(Has(states[2], R"("WayPoints":["004"],)"));
  EXPECT_TRUE(Has(states[3], R"("ActiveRoute":{"Name":"R1","WayPoints":["003","004"]}})"));
  EXPECT_TRUE(Has(states[4], R"("SatellitesInList":4})"));
  EXPECT_TRUE(Has(states[5], R"("ReceiverStatus":{"SignalStrength":55,"SNR":27,)"
                             R"("Frequency":318,"DataRate":100})"));
  EXPECT_TRUE(Has(states[6], R"("CrossTrackError":0.67,"DirectionToSteer":"dirRight"})"));
}

TEST(NmeaDecodeStateTest, StateAlsoFollowsSentencesThatEndEarly) {
  // A waypoint without a name and a GSV message number 0 end their decoding
  // before any event.
  const std::string log = Sentence("GPWPL,4917.24,N,12309.57,W,") + Sentence("GPGSV,1,0,00") +
                          Sentence("GPZDA,201530.00,04,07,2002,00,00");
  const ToolRun run = Decode({"--state"}, log);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 4U) << run.out;
  EXPECT_EQ(lines[0].rfind(R"({"event":"State")", 0), 0U);
  EXPECT_EQ(lines[1].rfind(R"({"event":"State")", 0), 0U);
  EXPECT_EQ(lines[2], R"({"event":"NewCommand","Command":")" +
                          Framed("GPZDA,201530.00,04,07,2002,00,00") + R"("})");
  EXPECT_TRUE(Has(lines[3], R"("DateTime":"2002-07-04T20:15:30.000")")) << lines[3];
  // A date that is no date gives null.
  const ToolRun invalid = Decode({"--state"}, Sentence("GPZDA,201530.00,31,02,2002,00,00"));
  EXPECT_TRUE(Has(invalid.out, R"("DateTime":null,)")) << invalid.out;
}

// --- Chunking ---

TEST(NmeaDecodeChunkTest, OutputDoesNotDependOnWhereTheTextIsCut) {
  const std::string log = MixedLog(60);
  const ToolRun reference = Decode({"--chunk", "4096"}, log);
  EXPECT_EQ(reference.status, kNmeaDecodeOk);
  EXPECT_GT(Lines(reference.out).size(), 800U);
  for (const char* seed : {"1", "2", "42", "18446744073709551615"}) {
    EXPECT_EQ(Decode({"--random-chunks", seed}, log).out, reference.out) << "seed " << seed;
  }
  for (const char* size : {"1", "2", "7", "64", "16777216"}) {
    EXPECT_EQ(Decode({"--chunk", size}, log).out, reference.out) << "chunk " << size;
  }
  const ToolRun state = Decode({"--state"}, log);
  EXPECT_EQ(Decode({"--state", "--random-chunks", "7"}, log).out, state.out);
}

TEST(NmeaDecodeChunkTest, LinesEndingWithLfAloneAreDecodedAsWithCrLf) {
  const std::string crlf = MixedLog(20);
  std::string lf;  // the same log saved with LF line ends
  for (std::size_t i = 0; i < crlf.size(); ++i) {
    if (!(crlf[i] == '\r' && i + 1 < crlf.size() && crlf[i + 1] == '\n')) {
      lf += crlf[i];
    }
  }
  std::string mixed = lf.substr(0, lf.size() / 2) + crlf.substr(crlf.size() / 2);
  const ToolRun reference = Decode({"--state"}, crlf);
  EXPECT_GT(Lines(reference.out).size(), 300U);
  EXPECT_EQ(Decode({"--state"}, lf).out, reference.out);
  for (const char* size : {"1", "2", "3", "4096"}) {
    // A CR LF cut between two chunks must not gain a second CR.
    EXPECT_EQ(Decode({"--state", "--chunk", size}, crlf).out, reference.out) << size;
    EXPECT_EQ(Decode({"--state", "--chunk", size}, lf).out, reference.out) << size;
  }
  EXPECT_EQ(Decode({"--state", "--random-chunks", "5"}, lf).out, reference.out);
  const ToolRun half = Decode({"--state"}, mixed);
  EXPECT_EQ(half.status, kNmeaDecodeOk);
  EXPECT_EQ(Lines(half.out).size(), Lines(reference.out).size());

  // Files are one stream: a file ending in CR and the next starting with LF.
  TempFolder folder;
  const std::string first = folder.Path("a.nmea");
  const std::string second = folder.Path("b.nmea");
  std::ofstream(first, std::ios::binary) << Framed(kGga) << "\r";
  std::ofstream(second, std::ios::binary) << "\n" << Framed(kRmc) << "\n";
  const ToolRun files = Decode({first, second});
  EXPECT_EQ(files.out, Decode({}, Sentence(kGga) + Sentence(kRmc)).out);
  // The Receive event shows the text as it was fed.
  const std::vector<std::string> received = Lines(Decode({"--receive"}, Framed(kGga) + "\n").out);
  ASSERT_FALSE(received.empty());
  EXPECT_TRUE(Has(received.back(), R"(*47\u000D\u000A")")) << received.back();
}

TEST(NmeaDecodeChunkTest, RandomChunksAreSmallAndTheSameForASeed) {
  const std::string log = MixedLog(5);
  const ToolRun a = Decode({"--random-chunks", "9", "--receive"}, log);
  EXPECT_EQ(a.out, Decode({"--random-chunks", "9", "--receive"}, log).out);
  EXPECT_NE(a.out, Decode({"--random-chunks", "10", "--receive"}, log).out);
  std::size_t receives = 0;
  for (const std::string& line : Lines(a.out)) {
    receives += line.rfind(R"({"event":"Receive")", 0) == 0 ? 1 : 0;
  }
  // Chunks of 1 to 64 bytes, 32.5 on average.
  EXPECT_GT(receives, log.size() / 64);
  EXPECT_LT(receives, log.size() / 16);
}

TEST(NmeaDecodeChunkTest, FilesAreOneStreamToOneReceiver) {
  TempFolder folder;
  const std::string log = MixedLog(10);
  const std::size_t cut = log.find("$GPRMC", 500) + 20;  // inside a sentence
  const std::string first = folder.Write("a.nmea", log.substr(0, cut));
  const std::string second = folder.Write("b.nmea", log.substr(cut));
  const std::string whole = Decode({"--state"}, log).out;
  EXPECT_EQ(Decode({"--state", first, second}).out, whole);
  EXPECT_EQ(Decode({"--state", first, "-"}, log.substr(cut)).out, whole);
  // An unreadable file is reported and skipped; the others are decoded.
  const ToolRun missing = Decode({first, folder.Path("missing.nmea"), second});
  EXPECT_EQ(missing.status, kNmeaDecodeUnreadable);
  EXPECT_TRUE(Has(missing.err, "missing.nmea")) << missing.err;
  EXPECT_EQ(missing.out, Decode({}, log).out);
}

TEST(NmeaDecodeChunkTest, LongUnterminatedTextDoesNotStopDecoding) {
  const std::string log = Sentence(kGga) + "$GPGGA," + std::string(1 << 20, '7') + "$" +
                          std::string(5000, 'x') + std::string(100, '\0') + "\r\n" + Sentence(kRmc);
  const ToolRun run = Decode({"--chunk", "1000"}, log);
  EXPECT_EQ(run.status, kNmeaDecodeOk);
  EXPECT_TRUE(Has(run.out, Framed(kGga))) << run.out;
  EXPECT_TRUE(Has(run.out, Framed(kRmc))) << run.out;
}

TEST(NmeaDecodeChunkTest, EventsAreWrittenBeforeWaitingForMoreInput) {
  std::ostringstream out;
  std::ostringstream err;
  PieceAtATimeBuffer buffer({Sentence("GPZDA,201530.00,04,07,2002,00,00"), Sentence(kRmc)}, out);
  std::istream in(&buffer);
  EXPECT_EQ(RunNmeaDecode(std::vector<std::string>{}, in, out, err), kNmeaDecodeOk);
  ASSERT_GE(buffer.outputAtRead.size(), 2U);
  EXPECT_EQ(buffer.outputAtRead[0], "");
  EXPECT_EQ(buffer.outputAtRead[1], R"({"event":"NewCommand","Command":")" +
                                        Framed("GPZDA,201530.00,04,07,2002,00,00") + "\"}\n");
}

// --- Settings ---

TEST(NmeaDecodeSettingsTest, CommandsSelectTheDecodedKinds) {
  const std::string log = MixedLog(5);
  const auto commands = [](const std::string& out) {
    std::string kinds;
    for (const std::string& line : Lines(out)) {
      const std::string prefix = R"({"event":"NewCommand","Command":"$GP)";
      if (line.rfind(prefix, 0) == 0 &&
          kinds.find(line.substr(prefix.size(), 3)) == std::string::npos) {
        kinds += line.substr(prefix.size(), 3) + " ";
      }
    }
    return kinds;
  };
  EXPECT_EQ(commands(Decode({"--commands", "GPGGA"}, log).out), "GGA ");
  EXPECT_EQ(commands(Decode({"--commands=GPRMC,GPGSV"}, log).out), "RMC GSV ");
  EXPECT_EQ(commands(Decode({}, log).out),
            "GGA RMC GSA GSV VTG ZDA GLL WPL RTE RMB BWC XTE AAM MSS HDT ");
  EXPECT_EQ(Decode({"--commands", "all"}, log).out, Decode({}, log).out);
  // Unknown kinds pass only with AllNMEA.
  EXPECT_TRUE(Has(Decode({}, log).out, "UnknownCommand"));
  EXPECT_FALSE(
      Has(Decode({"--commands", "GPGGA,GPRMC,GPGSA,GPGSV,GPVTG"}, log).out, "UnknownCommand"));
  EXPECT_TRUE(Has(Decode({"--commands", "AllNMEA"}, log).out, "UnknownCommand"));
  // Only the kinds asked for: no position events without GGA, RMC and GLL.
  const ToolRun navigation = Decode({"--commands", "GPRMB,GPXTE"}, log);
  EXPECT_FALSE(Has(navigation.out, "Position2DChange"));
  EXPECT_EQ(commands(navigation.out), "RMB XTE ");
}

TEST(NmeaDecodeSettingsTest, NoChecksumAcceptsBadAndMissingChecksums) {
  const std::string log =
      "$GPZDA,201530.00,04,07,2002,00,00*00\r\n"
      "$GPZDA,201531.00,04,07,2002,00,00\r\n";
  EXPECT_EQ(Decode({}, log).out, "");
  const std::vector<std::string> lines = Lines(Decode({"--no-checksum"}, log).out);
  ASSERT_EQ(lines.size(), 2U);
  EXPECT_TRUE(Has(lines[0], "201530.00"));
  EXPECT_TRUE(Has(lines[1], "201531.00"));
}

TEST(NmeaDecodeSettingsTest, LogWritesTheAcceptedSentences) {
  TempFolder folder;
  const std::string log = Sentence(kGga) + "$GPGGA,bad*00\r\n" + Sentence(kRmc);
  const std::string file = folder.Path("raw.log");
  EXPECT_EQ(Decode({"--log", file}, log).status, kNmeaDecodeOk);
  EXPECT_EQ(ReadFile(file), Sentence(kGga) + Sentence(kRmc));

  const std::string dated = folder.Path("dated.log");
  EXPECT_EQ(Decode({"--log=" + dated, "--log-datetime", "--commands", "GPRMC"}, log).status,
            kNmeaDecodeOk);
  const std::vector<std::string> lines = Lines(ReadFile(dated));
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_GT(lines[0].size(), Framed(kRmc).size() + 10);
  EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(lines[0][0]))) << lines[0];
  EXPECT_EQ(lines[0].substr(lines[0].size() - Framed(kRmc).size() - 2), " " + Framed(kRmc) + "\r");

  // A log that cannot be written is reported once as an event; everything
  // is still decoded, and the exit status says the log is incomplete.
  const ToolRun failing = Decode({"--log", folder.Path("")}, log + Sentence(kGga));
  EXPECT_EQ(failing.status, kNmeaDecodeUnreadable);
  const std::vector<std::string> out = Lines(failing.out);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0].rfind(R"({"event":"LogError","Message":")", 0), 0U) << out[0];
  EXPECT_EQ(Lines(failing.out).size(), Lines(Decode({}, log + Sentence(kGga)).out).size() + 1);
  EXPECT_TRUE(Has(failing.err, "raw log " + folder.Path("") + " could not be written"))
      << failing.err;
}

TEST(NmeaDecodeSettingsTest, BadCommandLinesAreUsageErrors) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--bogus"},
           {"-x"},
           {"--commands"},
           {"--commands", "GPGGA,GPFOO"},
           {"--commands", "gpgga"},
           {"--commands", "GPGGA,,GPRMC"},
           {"--commands", ""},
           {"--chunk", "0"},
           {"--baud", "9600"},  // live options need --port
           {"--duration", "5"},
           {"--port", "COM1", "log.nmea"},  // a port or files, not both
           {"--port", "COM1", "--baud", "20"},
           {"--port", "COM1", "--delay", "0"},
           {"--port", "COM1", "--duration", "-1"},
           {"--port", "com1"},
           {"--idle", "3"},  // needs --port
           {"--timeout", "3"},
           {"--ini", "x.ini"},
           {"--port", "COM1", "--idle", "-1"},
           {"--port", "COM1", "--idle", "1.5"},
           {"--port", "COM1", "--timeout", "x"},
           {"--port", "COM1", "--timeout", "86401"},
           {"--port", "COM1", "--ini", "/nonexistent/halvex.ini"},
           {"--port", "COM1", "--ini", ""},
           {"--chunk", "-5"},
           {"--chunk", "12k"},
           {"--chunk", "16777217"},
           {"--chunk="},
           {"--random-chunks", "-1"},
           {"--random-chunks", "18446744073709551616"},
           {"--log", ""},
           {"--log-datetime"},
           {"--state=yes"},
       }) {
    const ToolRun run = Decode(args, Sentence(kGga));
    EXPECT_EQ(run.status, kNmeaDecodeUsage) << args[0];
    EXPECT_EQ(run.out, "") << args[0];
    EXPECT_EQ(run.err.rfind("nmea-decode: ", 0), 0U) << run.err;
    EXPECT_TRUE(Has(run.err, "Usage: nmea-decode")) << run.err;
  }
  EXPECT_TRUE(Has(Decode({"--commands", "GPGGA,GPFOO"}).err, "GPFOO"));
  const ToolRun help = Decode({"--help"});
  EXPECT_EQ(help.status, kNmeaDecodeOk);
  EXPECT_EQ(help.out.rfind("Usage: nmea-decode [OPTIONS] [FILE...]\n", 0), 0U);
  EXPECT_TRUE(Has(help.out, "--random-chunks SEED"));
  for (const char* live : {"--idle S", "--timeout S", "--ini FILE", R"({"event":"Connect")",
                           R"({"event":"Idle"})", R"({"event":"Timeout"})", "LF alone"}) {
    EXPECT_TRUE(Has(help.out, live)) << live;
  }
  EXPECT_FALSE(Has(help.out, R"("Send")")) << "the tool never sends";
  EXPECT_EQ(Decode({"--version"}).status, kNmeaDecodeOk);
  // After "--" an argument is a file name even when it looks like an option.
  const ToolRun file = Decode({"--", "--state"});
  EXPECT_EQ(file.status, kNmeaDecodeUnreadable);
  EXPECT_TRUE(Has(file.err, "cannot read '--state'")) << file.err;
}

TEST(NmeaDecodeSettingsTest, WriteErrorsEndTheRunWithStatusOne) {
  std::istringstream in(MixedLog(20));
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  std::ostringstream err;
  EXPECT_EQ(RunNmeaDecode(std::vector<std::string>{}, in, out, err), kNmeaDecodeUnreadable);
  EXPECT_TRUE(Has(err.str(), "write error")) << err.str();
}

}  // namespace
}  // namespace halvex::tools
