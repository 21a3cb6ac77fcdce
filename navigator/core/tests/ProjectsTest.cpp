// SPDX-License-Identifier: GPL-3.0-or-later
// Projects: the first showing, the save rotation with its background
// reports, New, Open, Save As, Import, Export, and closing the window.

#include <gtest/gtest.h>

#include <fstream>

#include "NavTestKit.hpp"
#include "mapcontrol/ProjectFile.hpp"
#include "navigator/core/NavSettings.hpp"

namespace halvex::navigator {
namespace {

using testing::Gga;
using testing::NavFixture;

class Projects : public NavFixture {
 protected:
  platform::IniStore Ini() { return platform::IniStore(IniPath()); }
  std::string Saved(int n) const {
    return (Day() / ("07.12.2026_" + std::to_string(n) + ".hxv")).string();
  }
  // A path no file can be written to: its folder is a file.
  std::string Unwritable() const {
    std::ofstream(root_ / "blocker") << "x";
    return (root_ / "blocker" / "p.hxv").string();
  }
  std::vector<std::string> LayerNames() const {
    std::vector<std::string> names;
    for (uint16_t i = 0; i < chart.Model().LayerCount(); ++i)
      names.push_back(chart.Model().LayerName(i));
    return names;
  }
  void ExpectStandardLayers() {
    const auto& m = chart.Model();
    EXPECT_EQ(nav->GridLayer, m.LayerFindByName(kGridLayerName));
    EXPECT_EQ(nav->VesselLayer, m.LayerFindByName(kVesselLayerName));
    EXPECT_EQ(nav->TrackFixLayer, m.LayerFindByName(kTrackFixLayerName));
    EXPECT_EQ(nav->TrackNoFixLayer, m.LayerFindByName(kTrackNoFixLayerName));
    EXPECT_EQ(nav->TempShapeLayer, m.LayerFindByName(kTempShapeLayerName));
    EXPECT_EQ(nav->UserShapeLayer, m.LayerFindByName(kUserShapeLayerName));
    EXPECT_NE(nav->UserShapeLayer, mapcontrol::kNoLayer);
    EXPECT_EQ(m.LayerAction(nav->UserShapeLayer), 15u);
  }
};

TEST_F(Projects, TheFirstShowingLoadsSettingsAndTheLastProject) {
  // A project saved by an earlier run, with a user shape.
  {
    mapcontrol::DrawingModel earlier;
    earlier.DrawPoint(5, 6, earlier.LayerOpen("imported"));
    earlier.LayerOpen(kUserShapeLayerName);
    std::string error;
    std::filesystem::create_directories(Day());
    ASSERT_TRUE(mapcontrol::ProjectFile::Save(earlier, Saved(3), error)) << error;
  }
  auto ini = Ini();
  ini.WriteString(kFileSection, kLastFileKey, Saved(3));
  ini.WriteInteger(kNavSection, "TrackWidth", 5);
  ini.WriteInteger(kNavSection, "TrackColor", 0x112233);
  ini.WriteInteger(kNavSection, "BoatWidth", 2);
  chart.SetBackColor(0xABCDEF);

  nav->FormShow();
  ASSERT_TRUE(view.shownControls);
  EXPECT_EQ(view.shownControls->TrackWidth, "5");
  EXPECT_EQ(view.shownControls->VesselWidth, "2");
  EXPECT_EQ(view.shownControls->Interval, "3");
  EXPECT_FALSE(view.shownBackgroundStored);
  EXPECT_EQ(chart.BackColor(), 0xABCDEF) << "no stored background: the chart keeps its own";
  EXPECT_EQ(view.title, "Halvex Navigator - " + Saved(3));
  EXPECT_EQ(Shapes("imported"), 1u);
  ExpectStandardLayers();
  EXPECT_EQ(chart.Model().LayerPenWidth(nav->TrackFixLayer), 5);
  EXPECT_EQ(chart.Model().LayerPenColor(nav->TrackFixLayer), 0x112233);
  // Reception was started once: with no settings the GPS page stops at its port.
  EXPECT_EQ(CountMessages("GPS Set stopped: Port No"), 1);
  EXPECT_FALSE(nav->RealtimeOn);
}

TEST_F(Projects, AProjectThatCannotLoadAtStartIsReportedAndNotTitled) {
  std::ofstream(root_ / "broken.hxv") << "not a project";
  auto ini = Ini();
  ini.WriteString(kFileSection, kLastFileKey, (root_ / "broken.hxv").string());
  ini.WriteInteger(kNavSection, "BackgroundColor", 0);
  chart.SetBackColor(0xFFFFFF);
  nav->FormShow();
  EXPECT_EQ(view.title, "Halvex Navigator");
  EXPECT_EQ(CountMessages("Cannot open project " + (root_ / "broken.hxv").string() + ": "), 1);
  EXPECT_EQ(chart.BackColor(), 0) << "a stored 0 is black";
  ExpectStandardLayers();
}

TEST_F(Projects, SavesRotateThroughTenFilesAndChangeTheTitleOnlyWhenWritten) {
  OpenLayers();
  chart.DrawPoint(1, 1, nav->GridLayer);
  chart.DrawPoint(2, 2, nav->UserShapeLayer);
  nav->Save1Click();
  // Until the chart reports, nothing is claimed.
  EXPECT_EQ(view.title, "Halvex Navigator");
  EXPECT_TRUE(nav->SavePending());
  EXPECT_EQ(Shapes(kGridLayerName), 0u) << "the grid layer is cleared before saving";
  chart.WaitForSaves();
  EXPECT_FALSE(nav->SavePending());
  EXPECT_EQ(view.title, "Halvex Navigator 2 - " + Saved(0));
  EXPECT_EQ(Ini().ReadString(kFileSection, kLastFileKey), Saved(0));

  for (int i = 1; i <= 10; ++i) nav->Save1Click();
  chart.WaitForSaves();
  for (int n = 0; n < 10; ++n) EXPECT_TRUE(std::filesystem::exists(Saved(n))) << n;
  EXPECT_EQ(nav->AutoSaveIndex, 1) << "eleven saves: D_0 ... D_9, then D_0 again";
  EXPECT_EQ(view.title, "Halvex Navigator 2 - " + Saved(0));

  mapcontrol::DrawingModel back;
  std::string error;
  ASSERT_TRUE(mapcontrol::ProjectFile::Load(Saved(0), back, error)) << error;
  EXPECT_EQ(back.LayerShapeCount(back.LayerFindByName(kUserShapeLayerName)), 1u);
}

TEST_F(Projects, TheDayFolderIsMadeWhenASaveNeedsIt) {
  OpenLayers();
  nav->Save1Click();
  chart.WaitForSaves();
  // After midnight the saves go to the new day's folder.
  clock.Set({2026, 12, 8, 0, 0, 5, 0});
  nav->Save1Click();
  chart.WaitForSaves();
  EXPECT_TRUE(std::filesystem::exists(HxvRoot() / "08.12.2026" / "08.12.2026_1.hxv"));
  EXPECT_EQ(CountMessages("Cannot"), 0);
}

TEST_F(Projects, AFailedSaveIsReportedAndChangesNeitherTitleNorLastFile) {
  OpenLayers();
  nav->Save1Click();
  chart.WaitForSaves();
  const std::string title = view.title;

  dialogs.files.push_back(Unwritable());
  nav->SaveAs1Click();
  chart.WaitForSaves();
  EXPECT_EQ(view.title, title);
  EXPECT_EQ(CountMessages("Cannot save project " + (root_ / "blocker" / "p.hxv").string() + ": "),
            1);
  EXPECT_EQ(Ini().ReadString(kFileSection, kLastFileKey), Saved(0));

  // The day folder cannot be made: said once, naming the folder.
  std::filesystem::remove_all(HxvRoot());
  std::ofstream(HxvRoot()) << "a file where the folder should be";
  nav->Save1Click();
  nav->Save1Click();
  EXPECT_EQ(CountMessages("Cannot create log folder " + Day().string() +
                          ". Check if you are "
                          "authorized create folder at this address."),
            1);
  EXPECT_EQ(view.title, title);
}

TEST_F(Projects, SaveAsTitlesTheProjectItWrote) {
  OpenLayers();
  const std::string file = (root_ / "survey.hxv").string();
  dialogs.files.push_back(file);
  nav->SaveAs1Click();
  chart.WaitForSaves();
  EXPECT_EQ(view.title, "Halvex Navigator v2  <" + file + ">");
  EXPECT_EQ(Ini().ReadString(kFileSection, kLastFileKey), "") << "not the file reloaded at start";
  EXPECT_EQ(nav->AutoSaveIndex, 0);
  ASSERT_FALSE(dialogs.asked.empty());
  EXPECT_EQ(dialogs.asked.back().title, "Dialog Save");
  EXPECT_EQ(dialogs.asked.back().text, "Halvex Navigator [*.hxv]|*.hxv|All Files [*.*]|*.*");

  nav->SaveAs1Click();  // cancelled: nothing happens
  chart.WaitForSaves();
  EXPECT_EQ(view.title, "Halvex Navigator v2  <" + file + ">");
}

TEST_F(Projects, NewClearsOnlyWhenConfirmedAndReopensTheStandardLayers) {
  OpenLayers();
  chart.DrawPoint(1, 1, nav->TrackFixLayer);
  chart.LayerOpen("extra");
  nav->New1Click();  // no answer queued: No
  EXPECT_EQ(Shapes(kTrackFixLayerName), 1u);
  EXPECT_EQ(dialogs.asked.back().text, "Entire layout will be cleared! Continue?");

  dialogs.confirms.push_back(true);
  nav->New1Click();
  EXPECT_EQ(chart.Model().ShapeCount(), 0u);
  EXPECT_EQ(chart.Model().LayerFindByName("extra"), mapcontrol::kNoLayer);
  ExpectStandardLayers();
}

TEST_F(Projects, OpenAndImportReopenTheStandardLayersAndReportFailures) {
  // A project holding only a foreign layer: afterwards the event marks must
  // still go to a user layer of the loaded drawing.
  mapcontrol::DrawingModel other;
  other.DrawPoint(9, 9, other.LayerOpen("foreign"));
  std::string error;
  const std::string project = (root_ / "other.hxv").string();
  ASSERT_TRUE(mapcontrol::ProjectFile::Save(other, project, error));
  OpenLayers();

  dialogs.files.push_back(project);
  nav->Open1Click();
  EXPECT_EQ(Shapes("foreign"), 1u);
  ExpectStandardLayers();
  EXPECT_EQ(view.title, "Halvex Navigator") << "Open does not retitle";
  EXPECT_EQ(dialogs.asked.back().title, "Dialog Open");

  nav->ToolButton6Click();
  EXPECT_EQ(Shapes(kUserShapeLayerName), 2u) << "the mark went to the user layer";

  std::ofstream(root_ / "bad.hxv") << "garbage";
  dialogs.files.push_back((root_ / "bad.hxv").string());
  nav->Open1Click();
  EXPECT_EQ(CountMessages("Cannot open project " + (root_ / "bad.hxv").string() + ": "), 1);
  EXPECT_EQ(Shapes("foreign"), 1u) << "the drawing stays";

  // Export and import through DXF.
  const std::string dxf = (root_ / "out.dxf").string();
  dialogs.files.push_back(dxf);
  nav->Export1Click();
  EXPECT_EQ(dialogs.asked.back().text, "AutoCAD R12 DXF [*.dxf]|*.dxf|All Files [*.*]|*.*");
  ASSERT_TRUE(std::filesystem::exists(dxf));
  dialogs.confirms.push_back(true);
  nav->New1Click();
  dialogs.files.push_back(dxf);
  nav->Import1Click();
  EXPECT_EQ(Shapes("foreign"), 1u);
  ExpectStandardLayers();

  dialogs.files.push_back((root_ / "bad.hxv").string());
  nav->Import1Click();
  EXPECT_EQ(CountMessages("Cannot import " + (root_ / "bad.hxv").string() + ": "), 1);
  dialogs.files.push_back(Unwritable());
  nav->Export1Click();
  EXPECT_EQ(CountMessages("Cannot export "), 1);
}

TEST_F(Projects, ClosingSavesTheLastFixAndTheDrawingSettings) {
  OpenLayers();
  view.controls.TrackWidth = "7";
  view.controls.fcadColor = 0x010203;
  view.controls.dotorline = false;
  Feed(Gga(41, 29.5, 4));
  const CloseOutcome out = nav->FormCloseQuery();
  EXPECT_TRUE(out.saved) << out.reason;
  EXPECT_EQ(out.file, Saved(0));
  EXPECT_EQ(view.title, "Halvex Navigator 2 - " + Saved(0));
  auto ini = Ini();
  EXPECT_EQ(ini.ReadString(kNavSection, "TrackWidth"), "7");
  EXPECT_EQ(ini.ReadInteger(kNavSection, "BackgroundColor", -1), 0x010203);
  EXPECT_FALSE(ini.ReadBool(kNavSection, "LineOrDot", true));

  mapcontrol::DrawingModel back;
  std::string error;
  ASSERT_TRUE(mapcontrol::ProjectFile::Load(out.file, back, error)) << error;
  EXPECT_EQ(back.LayerShapeCount(back.LayerFindByName(kVesselLayerName)), 7u);
}

TEST_F(Projects, AFailedFinalSaveIsToldBeforeTheWindowGoes) {
  OpenLayers();
  std::filesystem::create_directories(Day() / "07.12.2026_0.hxv");  // a folder in the way
  const CloseOutcome out = nav->FormCloseQuery();
  EXPECT_FALSE(out.saved);
  EXPECT_FALSE(out.reason.empty());
  ASSERT_EQ(dialogs.Told().size(), 1u);
  EXPECT_NE(dialogs.Told()[0].find(Saved(0)), std::string::npos);

  const CloseOutcome quiet = nav->FormCloseQuery(false);
  EXPECT_TRUE(quiet.saved) << "the next name in the rotation";
  EXPECT_EQ(dialogs.Told().size(), 1u);
}

TEST_F(Projects, ExitSavesAndAsksTheWindowToClose) {
  OpenLayers();
  nav->Exit1Click();
  EXPECT_EQ(view.closeRequests, 1);
  EXPECT_TRUE(nav->SavePending() || std::filesystem::exists(Saved(0)));
  chart.WaitForSaves();
  EXPECT_TRUE(std::filesystem::exists(Saved(0)));
}

}  // namespace
}  // namespace halvex::navigator
