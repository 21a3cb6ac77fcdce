// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/ReportFile.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "appkit/ScriptedDialogs.hpp"
#include "platform/FileIo.hpp"

namespace halvex::geotools {
namespace {

namespace fs = std::filesystem;

class MemoryView : public ReportView {
 public:
  RichText Content() const override { return text; }
  void SetContent(const RichText& t) override { text = t; }
  void SetReadOnly(bool r) override { readOnly = r; }
  RichText text;
  bool readOnly = false;
};

class ReportSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("geotools_report_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    view.text.Append("Report {1}\n", TextStyle{"Arial", 24, true, 0x0000FF});
    view.text.Append("values\t1.000\n", TextStyle{});
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
  MemoryView view;
  appkit::ScriptedDialogs dialogs;
};

TEST_F(ReportSessionTest, NoDiscardsYesSavesCancelKeeps) {
  {
    ReportSession session(view, dialogs, dir);
    session.Shown();
    EXPECT_FALSE(session.CloseRequested());  // no answer queued: Cancel
    EXPECT_FALSE(view.text.Empty());
    dialogs.answers.push_back(appkit::Answer::kNo);
    EXPECT_TRUE(session.CloseRequested());
    EXPECT_TRUE(view.text.Empty());
    EXPECT_EQ(dialogs.asked.back().text, kReportLostQuestion);
  }
  view.text.Append("again", TextStyle{});
  ReportSession session(view, dialogs, dir);
  session.Shown();
  dialogs.answers.push_back(appkit::Answer::kYes);
  dialogs.files.push_back((dir / "r.RTF").string());
  EXPECT_TRUE(session.CloseRequested());
  EXPECT_FALSE(session.Modified());
  EXPECT_EQ(LoadReportFile(dir / "r.RTF"), view.text);
}

TEST_F(ReportSessionTest, YesThenCancellingTheSaveDialogIsCancel) {
  ReportSession session(view, dialogs, dir);
  session.Shown();
  dialogs.answers.push_back(appkit::Answer::kYes);
  dialogs.files.push_back(std::nullopt);
  EXPECT_FALSE(session.CloseRequested());
  EXPECT_TRUE(session.Modified());
  EXPECT_FALSE(view.text.Empty());
}

TEST_F(ReportSessionTest, AFailedSaveIsToldKeepsTheOldFileAndTheModifiedMark) {
  // A folder of that name is in the way: the write cannot replace it.
  const fs::path target = dir / "r.rtf";
  fs::create_directories(target);
  platform::WriteFileAtomically(target / "old.txt", "old");
  ReportSession session(view, dialogs, dir);
  session.Shown();
  dialogs.answers.push_back(appkit::Answer::kYes);
  dialogs.files.push_back(target.string());
  const bool closed = session.CloseRequested();
  EXPECT_FALSE(closed);
  EXPECT_TRUE(session.Modified());
  ASSERT_EQ(dialogs.Told().size(), 1U);
  EXPECT_NE(dialogs.Told()[0].find(target.string()), std::string::npos);
  EXPECT_EQ(*platform::ReadWholeFile(target / "old.txt"), "old");
}

TEST_F(ReportSessionTest, TextFilesArePlainAndOpenAsText) {
  ReportSession session(view, dialogs, dir);
  dialogs.files.push_back((dir / "r.TXT").string());
  ASSERT_TRUE(session.SaveAs());
  EXPECT_EQ(*platform::ReadWholeFile(dir / "r.TXT"), "Report {1}\nvalues\t1.000\n");

  dialogs.files.push_back((dir / "r.TXT").string());
  view.text = {};
  ASSERT_TRUE(session.Open(true));
  EXPECT_EQ(view.text.PlainText(), "Report {1}\nvalues\t1.000\n");
  EXPECT_TRUE(view.readOnly);
  EXPECT_FALSE(session.Modified());
}

TEST_F(ReportSessionTest, OpeningAMissingFileIsToldAndChangesNothing) {
  ReportSession session(view, dialogs, dir);
  const RichText before = view.text;
  dialogs.files.push_back((dir / "missing.rtf").string());
  EXPECT_FALSE(session.Open());
  EXPECT_EQ(view.text, before);
  EXPECT_EQ(dialogs.Told().size(), 1U);
}

}  // namespace
}  // namespace halvex::geotools
