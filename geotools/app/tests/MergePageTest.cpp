// SPDX-License-Identifier: GPL-3.0-or-later
// The log merge page driven as a user would: two small logs loaded and
// filtered, merged in the background, the output compared with LogMerge
// called directly on the same lines, and saved.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "WindowTestSupport.hpp"
#include "geotools/lsq/LogMerge.hpp"
#include "platform/FileIo.hpp"

namespace halvex::geokit {
namespace {

using testing::WindowFixture;

const std::string kGpsLog =
    "09.12.2026 120000000 $GPGGA,120000.00,4759.9900,N,01030.0000,E,4,12,0.8,45.0,M,47.0,M,,*5A\n"
    "09.12.2026 120000100 $GPRMC,120000.00,A,4759.9900,N,01030.0000,E,0.1,0.0,091226,,,D*70\n"
    "09.12.2026 120001000 $GPGGA,120001.00,4800.0100,N,01030.0200,E,4,12,0.8,47.0,M,47.0,M,,*5B\n"
    "09.12.2026 120002000 $GPGGA,120002.00,4800.0300,N,01030.0400,E,1,07,2.1,48.0,M,47.0,M,,*50\n"
    "09.12.2026 120003000 $GPGGA,120003.00,,,,,0,00,,,M,,M,,*66\n"
    "09.12.2026 120004000 $GPGGA,120004.00,4800.0700,N,01030.0800,E,4,12,0.8,49.0,M,47.0,M,,*5E\n";
const std::string kSensorLog =
    "09.12.2026 120000500 3 12.34\r\n"
    "09.12.2026 120000600 DBT,40.5,f,12.34,M\r\n"
    "09.12.2026 120001000 3 12.40\r\n"
    "09.12.2026 120003600 3 12.55\r\n"
    "09.12.2026 120009000 3 13.00\r\n";

class MergePageTest : public ::testing::Test, public WindowFixture {
 protected:
  MergePageTest() {
    gpsFile = folder / "gps.log";
    sensorFile = folder / "sensor.log";
    std::ofstream(gpsFile, std::ios::binary) << kGpsLog;
    std::ofstream(sensorFile, std::ios::binary) << kSensorLog;
  }
  std::string Label(const char* name) const {
    return form->findChild<QLabel*>(name)->text().toStdString();
  }
  void Open(const char* button, const std::optional<std::string>& file) {
    dialogs.files.push_back(file);
    Press(button);
  }
  void Merge() {
    QSignalSpy done(form.get(), &TGeoForm::JobFinished);
    Press("SpeedButton57");
    ASSERT_TRUE(form->JobRunning());
    ASSERT_TRUE(done.wait(20000));
  }
  static std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::filesystem::path gpsFile, sensorFile;
};

TEST_F(MergePageTest, LoadsFiltersMergesAndSavesAsTheLibraryDoes) {
  Open("SpeedButton55", gpsFile.string());
  EXPECT_EQ(Label("GPSCount"), "GPS Data Count: 5");  // the RMC line is dropped
  Press("SpeedButton58");                             // ",,,,," drops the empty fix
  EXPECT_EQ(Label("GPSCount"), "GPS Data Count: 4");
  Press("SpeedButton59");  // ",E,4," keeps the RTK fixes
  EXPECT_EQ(Label("GPSCount"), "GPS Data Count: 3");
  Open("SpeedButton56", sensorFile.string());
  EXPECT_EQ(Label("SonarCount"), "Sensor Data Count: 4");
  EXPECT_EQ(form->MergeLines(1)[0], "09.12.2026 120000500 3 12.34");  // CR dropped

  Merge();
  geotools::LogLines gps(kGpsLog), sensor(kSensorLog);
  geotools::KeepContaining(gps, "$GPGGA");
  geotools::CleanFix(gps, ",,,,,");
  geotools::OnlyKeepFix(gps, ",E,4,");
  geotools::KeepContaining(sensor, " 3 ");
  const geotools::MergeResult expected = geotools::MergeLogs(gps, sensor, "1000");
  ASSERT_TRUE(expected.ok);
  const std::vector<std::string> lines = form->MergeLines(2);
  EXPECT_EQ(lines, Split(expected.text));
  ASSERT_GE(lines.size(), 3U);
  EXPECT_EQ(lines.front(), "BEGIN");
  EXPECT_EQ(lines.back(), "END");
  // Half way between the fixes at 12:00:00 and 12:00:01, across a whole
  // degree of latitude: 47°59.99' and 48°00.01' meet at 48°00.00'.
  EXPECT_EQ(lines[1].substr(0, 41), "4800.000000000,1030.010000000,46.000,Fix ");
  EXPECT_TRUE(Label("Label12").starts_with("Number of lines processed: ")) << Label("Label12");

  // Saved atomically, line by line.
  const std::filesystem::path saved = folder / "merged.txt";
  Open("SMSaveAs", saved.string());
  EXPECT_EQ(platform::ReadWholeFile(saved), expected.text);
  EXPECT_EQ(dialogs.asked.back().title, "PROSES EDILMIS VERIYI KAYDET");

  // A cancelled save changes nothing; a failed one says so.
  std::ofstream(saved, std::ios::binary) << "kept";
  Open("SMSaveAs", std::nullopt);
  EXPECT_EQ(platform::ReadWholeFile(saved), "kept");
  EXPECT_TRUE(dialogs.Told().empty());
  std::filesystem::create_directory(folder / "taken");
  Open("SMSaveAs", (folder / "taken").string());
  ASSERT_EQ(dialogs.Told().size(), 1U);
  EXPECT_TRUE(dialogs.Told()[0].starts_with("The merged data were not saved."));
  EXPECT_TRUE(std::filesystem::is_directory(folder / "taken"));
}

TEST_F(MergePageTest, BadIntervalEmptyCleanTextAndCancelledLoads) {
  Open("SpeedButton55", gpsFile.string());
  Open("SpeedButton56", sensorFile.string());

  // An empty "Clean Fix" text drops nothing.
  form->findChild<QComboBox*>("FixKind")->setCurrentText("");
  Press("SpeedButton58");
  EXPECT_EQ(Label("GPSCount"), "GPS Data Count: 5");

  // A cancelled load keeps the text, filtered by the current search text.
  form->findChild<QLineEdit*>("GGAFormat")->setText(",E,4,");
  Open("SpeedButton55", std::nullopt);
  EXPECT_EQ(Label("GPSCount"), "GPS Data Count: 3");
  Open("SpeedButton55", (folder / "missing.log").string());
  EXPECT_EQ(Label("GPSCount"), "GPS Data Count: 3");
  ASSERT_EQ(dialogs.Told().size(), 1U);

  // An interval that is not an integer: only "BEGIN", and the error.
  form->findChild<QLineEdit*>("GPSIntervalEdit")->setText("1o00");
  Merge();
  EXPECT_EQ(form->MergeLines(2), std::vector<std::string>{"BEGIN"});
  ASSERT_EQ(dialogs.Told().size(), 2U);
  EXPECT_EQ(dialogs.Told()[1], "'1o00' is not a valid integer value");

  // Empty logs still give "BEGIN" and "END".
  std::ofstream(folder / "empty.log") << "";
  Open("SpeedButton56", (folder / "empty.log").string());
  form->findChild<QLineEdit*>("GPSIntervalEdit")->setText("1000");
  Merge();
  EXPECT_EQ(form->MergeLines(2), (std::vector<std::string>{"BEGIN", "END"}));
  EXPECT_EQ(Label("SonarCount"), "Sensor Data Count: 0");
}

}  // namespace
}  // namespace halvex::geokit
