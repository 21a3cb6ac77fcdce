// SPDX-License-Identifier: GPL-3.0-or-later
// The datum window's files, the report window and "Set As New Datum".
#include <QCheckBox>
#include <QRadioButton>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "WindowTestSupport.hpp"
#include "geotools/app/OutputWindow.hpp"
#include "geotools/app/SmallWindows.hpp"
#include "geotools/core/DatumChoice.hpp"
#include "platform/FileIo.hpp"

namespace halvex::geokit {
namespace {

using testing::WindowFixture;
std::string Text(QLineEdit* e) { return e->text().toStdString(); }

class SmallWindowsTest : public ::testing::Test, public WindowFixture {};

TEST_F(SmallWindowsTest, DatumFilesSaveTenLinesAndLoadShortFilesPartly) {
  DatumWindow& datums = form->Datums();
  DatumTexts named = testing::kDatumA;
  named.name = "ED50/1979";
  datums.SetDatum(0, named);
  const auto file = folder / "ED50.datum";
  dialogs.files.push_back(file.string());
  ASSERT_TRUE(datums.SaveDatumFile(0));
  EXPECT_EQ(*platform::ReadWholeFile(file),
            "ED50/1979\r\n-1.2\r\n0.1\r\n0.2\r\n-0.3\r\n-87\r\n-98\r\n-121\r\n6378388\r\n297\r\n");
  // The proposed name has no folder separator in it.
  EXPECT_EQ(dialogs.asked.back().title, "Save Datum As");

  dialogs.files.push_back(file.string());
  ASSERT_TRUE(datums.OpenDatumFile(1));
  EXPECT_EQ(datums.Datum(1).name, "ED50/1979");
  EXPECT_EQ(datums.Datum(1).inverseFlattening, "297");
  EXPECT_EQ(Text(Selector(1)), geotools::kSelectorPrompt);

  platform::WriteFileAtomically(folder / "short.datum", "SHORT\n1.5\n2.5\n");
  dialogs.files.push_back((folder / "short.datum").string());
  EXPECT_FALSE(datums.OpenDatumFile(1));
  EXPECT_EQ(datums.Datum(1).name, "SHORT");
  EXPECT_EQ(datums.Datum(1).rx, "2.5");
  EXPECT_EQ(datums.Datum(1).ry, "0.2");  // from before: the file ended
  EXPECT_NE(dialogs.Told().back().find("has 3 of its ten lines"), std::string::npos);

  std::filesystem::create_directories(folder / "in-the-way.datum");
  dialogs.files.push_back((folder / "in-the-way.datum").string());
  EXPECT_FALSE(datums.SaveDatumFile(0));
  EXPECT_NE(dialogs.Told().back().find("in-the-way.datum"), std::string::npos);
}

TEST_F(SmallWindowsTest, ReportWindowAsksOnCloseAndUnchecksTheReportBoxes) {
  auto* box = form->findChild<QCheckBox*>("ChkBoxHlm");
  box->setChecked(true);
  geotools::RichText report;
  report.Append("Helmert\n", {"Arial", 28, true, 0x000080});
  report.Append("dx\t1.000 {m}\n", {"Courier New", 20, false, 0});
  QPointer<TFormOutput> window = form->ShowReport(report);
  EXPECT_EQ(RichTextFromEdit(*window->Memo()), report);

  window->close();  // no answer queued: Cancel keeps the window
  EXPECT_FALSE(window.isNull());
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(box->isChecked());

  dialogs.answers.push_back(appkit::Answer::kYes);
  dialogs.files.push_back(std::nullopt);  // Yes, then the save dialog cancelled
  window->close();
  EXPECT_TRUE(window->isVisible());

  const auto file = folder / "report.rtf";
  dialogs.answers.push_back(appkit::Answer::kYes);
  dialogs.files.push_back(file.string());
  window->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(window.isNull());
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(geotools::LoadReportFile(file), report);
}

TEST_F(SmallWindowsTest, NewDatumIsRefusedUntilChosenAndNamed) {
  TFormEnterData enter(form->Datums(), dialogs, {"1", "2", "3", "4", "5", "6", "7"});
  EXPECT_FALSE(enter.Accept());
  EXPECT_EQ(dialogs.Told().back(), "Error: No address was identified to overwrite.");
  enter.findChild<QRadioButton*>("RBB")->setChecked(true);
  EXPECT_EQ(enter.findChild<QLineEdit*>("SMA")->text(), "6378137");
  EXPECT_FALSE(enter.Accept());
  EXPECT_EQ(dialogs.Told().back(), "Error: Invalid datum name.");
  QLineEdit* name = enter.findChild<QLineEdit*>("NOD");
  name->clear();
  QTest::keyClicks(name, "ESTIMATED");
  dialogs.answers.push_back(appkit::Answer::kNo);
  EXPECT_FALSE(enter.Accept());
  EXPECT_EQ(form->Datums().Datum(1).name, "WGS84");
  dialogs.answers.push_back(appkit::Answer::kYes);
  EXPECT_TRUE(enter.Accept());
  const DatumTexts b = form->Datums().Datum(1);
  EXPECT_EQ(b.name, "ESTIMATED");
  EXPECT_EQ(b.a, "6378137");
  EXPECT_EQ(b.ds, "1");
  EXPECT_EQ(b.dz, "7");
}

}  // namespace
}  // namespace halvex::geokit
