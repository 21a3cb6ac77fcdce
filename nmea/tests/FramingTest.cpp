// SPDX-License-Identifier: GPL-3.0-or-later
// Cutting a stream of text into sentences: named cases, then every split
// position of a sentence, the kind and checksum filter, and the raw log.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "EventRecorder.hpp"
#include "platform/Clock.hpp"

namespace halvex::nmea {
namespace {

const std::string kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";
const std::string kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";

std::vector<std::string> Frame(TRaxCustomGPSReceiver& r, const std::vector<std::string>& chunks) {
  std::vector<std::string> all;
  for (const std::string& chunk : chunks) {
    for (std::string& s : r.ExtractCommands(chunk)) {
      all.push_back(std::move(s));
    }
  }
  return all;
}

struct FramingCase {
  const char* name;
  std::vector<std::string> chunks;
  std::vector<std::string> expected;
  std::string delayed;  // left for the next chunk
};

TEST(Framing, NamedCases) {
  const std::vector<FramingCase> cases = {
      {"one sentence", {kGga + "\r\n"}, {kGga}, ""},
      {"garbage before $", {"xx\x01yy" + kGga + "\r\n"}, {kGga}, ""},
      {"line end in garbage before a sentence", {"noise\r\n" + kRmc + "\r\n"}, {kRmc}, ""},
      {"split in the sentence name", {"$GPG", kGga.substr(4) + "\r\n"}, {kGga}, ""},
      {"split between CR and LF", {kGga + "\r", "\n" + kRmc + "\r\n"}, {kGga, kRmc}, ""},
      {"missing CR LF waits", {kGga}, {}, kGga},
      {"bare LF is no line end", {kGga + "\n" + kRmc + "\r\n"}, {}, ""},
      {"chunk without $ is discarded", {"\r\nabc\r\n"}, {}, ""},
      {"pending sentence joins a chunk without $", {"$GPGG", kGga.substr(5) + "\r\n"}, {kGga}, ""},
      {"NUL bytes in garbage", {std::string("\0\0", 2) + kGga + "\r\n"}, {kGga}, ""},
      {"bad checksum dropped",
       {kGga.substr(0, kGga.size() - 2) + "48\r\n" + kRmc + "\r\n"},
       {kRmc},
       ""},
      {"lower-case hex checksum", {"$GPXTE,A,A,0.67,L,N*6f\r\n"}, {"$GPXTE,A,A,0.67,L,N*6f"}, ""},
      {"two sentences, one chunk", {kGga + "\r\n" + kRmc + "\r\n"}, {kGga, kRmc}, ""},
      {"text after the last line end kept", {kGga + "\r\n$GPRMC,1"}, {kGga}, "$GPRMC,1"},
  };
  for (const FramingCase& c : cases) {
    SCOPED_TRACE(c.name);
    TRaxCustomGPSReceiver r;
    EXPECT_EQ(Frame(r, c.chunks), c.expected);
    EXPECT_EQ(r.GetDelayedData(), c.delayed);
  }
}

TEST(Framing, EverySplitPositionGivesTheSameSentences) {
  const std::string stream = "junk" + kGga + "\r\n" + kRmc + "\r\n";
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    for (std::size_t cut2 = cut; cut2 <= stream.size(); cut2 += 7) {
      TRaxCustomGPSReceiver r;
      const auto sentences =
          Frame(r, {stream.substr(0, cut), stream.substr(cut, cut2 - cut), stream.substr(cut2)});
      ASSERT_EQ(sentences, (std::vector<std::string>{kGga, kRmc})) << cut << " " << cut2;
      ASSERT_EQ(r.GetDelayedData(), "");
    }
  }
}

TEST(Framing, UnterminatedTextIsBounded) {
  TRaxCustomGPSReceiver r;
  std::string noise = "$" + std::string(3000, 'x');
  for (int i = 0; i < 10; ++i) {
    r.ExtractCommands(noise);
    EXPECT_LE(r.GetDelayedData().size(), TRaxCustomGPSReceiver::kMaxDelayedData);
  }
  // A sentence that follows the overlong remainder is still read.
  r.ExtractCommands("$" + std::string(5000, 'y') + kGga + "\r\n");
  EXPECT_EQ(Frame(r, {kRmc + "\r\n"}), (std::vector<std::string>{kRmc}));
  // Whatever the chunking, a "$" too far from its line end starts nothing
  // and the sentence behind it is read.
  const std::string longRun = "$" + std::string(5000, 'x') + kGga + "\r\n";
  for (std::size_t chunk : {1UL, 7UL, 4096UL, 100000UL}) {
    TRaxCustomGPSReceiver rc;
    std::vector<std::string> pieces;
    for (std::size_t i = 0; i < longRun.size(); i += chunk) {
      pieces.push_back(longRun.substr(i, chunk));
    }
    EXPECT_EQ(Frame(rc, pieces), (std::vector<std::string>{kGga})) << chunk;
  }
  TRaxCustomGPSReceiver r2;
  EXPECT_EQ(Frame(r2, {std::string(5000, 'z') + "$" + std::string(5000, 'y') + kGga.substr(1, 20),
                       std::string(100, 'w') + "\r\n" + kGga + "\r\n"}),
            (std::vector<std::string>{kGga}));
}

TEST(Framing, KindsAndChecksumSettings) {
  TRaxCustomGPSReceiver r;
  const std::string noChecksum = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,,";
  EXPECT_FALSE(r.IsValidCommand(noChecksum));
  r.SetForceCheckSum(false);
  EXPECT_TRUE(r.IsValidCommand(noChecksum));
  EXPECT_TRUE(r.IsValidCommand("$GNRMC"));  // the talker ID is not looked at
  EXPECT_FALSE(r.IsValidCommand("GPRMC,1"));

  TNMEACommands onlyRmc;
  onlyRmc.Include(TNMEACommand::GPRMC);
  r.SetForceCheckSum(true);
  r.SetCommands(onlyRmc);
  const std::string pgrmz = AddCheckSumToNMEA("$PGRMZ,246,f,3");
  EXPECT_TRUE(r.IsValidCommand(kRmc));
  EXPECT_FALSE(r.IsValidCommand(kGga));
  EXPECT_FALSE(r.IsValidCommand(pgrmz));
  onlyRmc.Include(TNMEACommand::AllNMEA);
  r.SetCommands(onlyRmc);
  EXPECT_TRUE(r.IsValidCommand(kGga));
  EXPECT_TRUE(r.IsValidCommand(pgrmz));
  EXPECT_TRUE(r.IsValidCommand(AddCheckSumToNMEA("$GP")));  // short: only with AllNMEA
  r.SetCommands(TNMEACommands::All());
  r.SetCommands(TNMEACommands(static_cast<std::uint16_t>(TNMEACommands::kAll & ~(1U << 14))));
  EXPECT_FALSE(r.IsValidCommand(AddCheckSumToNMEA("$GP")));
}

TEST(Framing, FeedFiresReceiveAfterTheChunksSentences) {
  TRaxCustomGPSReceiver r;
  test::EventRecorder events(r);
  r.FeedGPSReceiver("");
  EXPECT_TRUE(events.Take().empty());
  r.FeedGPSReceiver(kGga + "\r\n" + kGga + "\r\n");
  const auto names = events.TakeNames();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "NewCommand");
  EXPECT_EQ(names.back(), "Receive");
  EXPECT_EQ(std::count(names.begin(), names.end(), "NewCommand"), 2);
  EXPECT_EQ(r.GetRawData(), kGga + "\r\n" + kGga + "\r\n");
}

class RawLog : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("halvex-nmea-log-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  static std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path folder_;
};

TEST_F(RawLog, LinesWithAndWithoutDateAndTime) {
  platform::FixedClock clock({2026, 12, 7, 9, 5, 3, 42});
  TRaxCustomGPSReceiver r(&clock);
  const auto file = folder_ / "day" / "gps.log";  // the folder is made on the first write
  r.SetLogFile(file.string());
  r.SetNMEALog(true);
  r.FeedGPSReceiver(kGga + "\r\n" + kGga.substr(0, 20) + "*00\r\n");
  r.SetLogDateTime(true);
  r.FeedGPSReceiver(kRmc + "\r\n");
  EXPECT_EQ(Read(file), kGga + "\r\n07.12.2026 090503042 " + kRmc + "\r\n");
}

TEST_F(RawLog, WriteFailureIsReportedOnceAndDecodingGoesOn) {
  TRaxCustomGPSReceiver r;
  test::EventRecorder events(r);
  std::filesystem::create_directories(folder_);
  std::ofstream(folder_ / "file") << "x";
  r.SetLogFile((folder_ / "file" / "gps.log").string());  // a file where a folder must be
  r.SetNMEALog(true);
  r.FeedGPSReceiver(kGga + "\r\n" + kRmc + "\r\n$GPG");
  auto recorded = events.Take();
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ(recorded[0].rfind("LogError Cannot write the raw log '", 0), 0U) << recorded[0];
  // Every sentence of the chunk is still decoded, and the unfinished one kept.
  EXPECT_EQ(std::count_if(recorded.begin(), recorded.end(),
                          [](const std::string& e) { return e.rfind("NewCommand", 0) == 0; }),
            2);
  EXPECT_EQ(r.GetDelayedData(), "$GPG");
  r.FeedGPSReceiver(kRmc + "\r\n");
  for (const std::string& e : events.Take()) {
    EXPECT_NE(e.rfind("LogError", 0), 0U) << "reported again while still failing";
  }
  r.SetLogFile((folder_ / "gps.log").string());
  r.FeedGPSReceiver(kRmc + "\r\n");
  r.SetLogFile((folder_ / "file" / "again.log").string());
  r.FeedGPSReceiver(kRmc + "\r\n");
  const auto again = events.TakeNames();
  EXPECT_EQ(std::count(again.begin(), again.end(), "LogError"), 1) << "failing again is reported";
  EXPECT_THROW(r.WriteLog("x"), EGPSError);
}

}  // namespace
}  // namespace halvex::nmea
