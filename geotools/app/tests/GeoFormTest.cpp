// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven as a user would, its results compared with the
// geodesy core called directly.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>

#include <gtest/gtest.h>

#include "WindowTestSupport.hpp"
#include "geodesy/Angles.hpp"
#include "geodesy/DatumTransform.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/PointFiles.hpp"
#include "geodesy/TransverseMercator.hpp"
#include "geotools/app/SmallWindows.hpp"
#include "geotools/core/DatumChoice.hpp"
#include "platform/FileIo.hpp"
#include "platform/IniStore.hpp"

namespace halvex::geokit {
namespace {

using testing::WindowFixture;
namespace g = geodesy;

const std::string kA = "6378388 " + g::FormatG15(1.0L / 297) + " -1.2 0.1 0.2 -0.3 -87 -98 -121";
const std::string kB = "6378137 " + g::FormatG15(1.0L / 298.257223563L) + " 0 0 0 0 0 0 0";
const std::string kEllB = "6378137 " + g::FormatG15(1.0L / 298.257223563L);

std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while ((pos = text.find_first_not_of(" \t", pos)) != std::string::npos) {
    const std::size_t end = text.find_first_of(" \t", pos);
    out.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return out;
}

std::string Fixed(const std::string& n, int d) {
  return g::FormatFixed(std::strtold(n.c_str(), nullptr), d);
}

std::string Text(QLineEdit* e) { return e->text().toStdString(); }

class GeoFormTest : public ::testing::Test, public WindowFixture {
 protected:
  void SetTm() {
    Edit("CM")->setText("51");
    Edit("RL")->setText("0");
    Edit("SF")->setText("1");
    Edit("FE")->setText("9500000");
    Edit("FN")->setText("0");
  }
  void Fill(GridModel* model, std::vector<std::array<std::string, 4>> rows) {
    model->BeginChange();
    auto& grid = model->Grid();
    grid.SetRowCount(1);
    for (const auto& r : rows) grid.AppendRow({r[0], r[1], r[2], r[3]});
    model->EndChange();
  }
  std::string Cell(const char* grid, std::size_t col, std::size_t row) {
    return std::string(form->Grid(grid)->Grid().Cell(col, row));
  }
};

TEST_F(GeoFormTest, SinglePointActionsWriteTheCoreResults) {
  SetTm();
  // Page 0: geodetic on A to ECEF on B and back.
  Edit("North")->setText("46  25  30.255");
  Edit("East")->setText("-30  44  55.876");
  Edit("Height")->setText("10.123");
  Press("SpeedButton1");
  const std::string lat = g::FormatG15(g::DmsToDegrees("46  25  30.255"));
  const std::string lon = g::FormatG15(g::DmsToDegrees("-30  44  55.876"));
  auto ecef = Tokens(g::DatumTransformGeodetic("XYZ", lat + " " + lon + " 10.123", kA + " " + kB));
  ASSERT_EQ(ecef.size(), 3U);
  EXPECT_EQ(Text(Edit("ecefX")), Fixed(ecef[0], 3));
  EXPECT_EQ(Text(Edit("ecefY")), Fixed(ecef[1], 3));
  EXPECT_EQ(Text(Edit("ecefZ")), Fixed(ecef[2], 3));
  Press("SpeedButton2");
  const std::string x = Text(Edit("ecefX")) + " " + Text(Edit("ecefY")) + " " + Text(Edit("ecefZ"));
  auto back = Tokens(g::DatumTransformEcef("BLH", x, kA + " " + kB));
  EXPECT_EQ(Text(Edit("North")), back[0]);
  EXPECT_EQ(Text(Edit("East")), back[1]);
  EXPECT_EQ(Text(Edit("Height")), back[2]);

  // Page 1: A to B, then B to A with the pair reversed.
  Edit("North1")->setText("-40.123456789");
  Edit("East1")->setText("30.123456789");
  Edit("Height1")->setText("10.123");
  Press("SpeedButton5");
  auto ab =
      Tokens(g::DatumTransformGeodetic("BLH", "-40.123456789 30.123456789 10.123", kA + " " + kB));
  EXPECT_EQ(Text(Edit("North2")), ab[0]);
  EXPECT_EQ(Text(Edit("East2")), ab[1]);
  EXPECT_EQ(Text(Edit("Height2")), ab[2]);
  Press("SpeedButton6");
  auto ba =
      Tokens(g::DatumTransformGeodetic("BLH", ab[0] + " " + ab[1] + " " + ab[2], kB + " " + kA));
  EXPECT_EQ(Text(Edit("North1")), ba[0]);

  // Page 2: projection onto B's grid and back.
  Edit("North3")->setText("46   12.123456789");
  Edit("East3")->setText("52   55   33.233");
  Press("SpeedButton9");
  const std::string lat3 = g::FormatG15(g::DmsToDegrees("46   12.123456789"));
  const std::string lon3 = g::FormatG15(g::DmsToDegrees("52   55   33.233"));
  auto en = Tokens(g::GeodeticToGrid(lat3 + " " + lon3, kA + " " + kB, "51 0 1 9500000 0", kEllB));
  EXPECT_EQ(Text(Edit("Easting")), Fixed(en[0], 3));
  EXPECT_EQ(Text(Edit("Northing")), Fixed(en[1], 3));
  Press("SpeedButton10");
  auto ll = Tokens(g::GridToGeodetic(Text(Edit("Easting")) + " " + Text(Edit("Northing")),
                                     kB + " " + kA, "51 0 1 9500000 0", kEllB));
  EXPECT_EQ(Text(Edit("North3")), Fixed(ll[0], 8));
  EXPECT_EQ(Text(Edit("East3")), Fixed(ll[1], 8));

  // Page 3: ECEF on A to ECEF on B (pair Datum8, Datum7 = B, A) and back.
  Edit("ecefx2")->setText("4000000");
  Edit("ecefy2")->setText("2000000");
  Edit("ecefz2")->setText("4500000");
  Press("SpeedButton13");
  auto e3 = Tokens(g::DatumTransformEcef("XYZ", "4000000 2000000 4500000", kB + " " + kA));
  EXPECT_EQ(Text(Edit("ecefx3")), Fixed(e3[0], 3));
  EXPECT_EQ(Text(Edit("ecefz3")), Fixed(e3[2], 3));
  Press("SpeedButton14");
  auto e2 = Tokens(g::DatumTransformEcef(
      "XYZ", Text(Edit("ecefx3")) + " " + Text(Edit("ecefy3")) + " " + Text(Edit("ecefz3")),
      kA + " " + kB));
  EXPECT_EQ(Text(Edit("ecefx2")), Fixed(e2[0], 3));
  EXPECT_TRUE(dialogs.Told().empty()) << dialogs.Told().front();
}

TEST_F(GeoFormTest, GridActionsConvertEveryRowLikeTheCore) {
  SetTm();
  form->SetSliceRows(1);
  Fill(form->Grid("ecefDMSgrd"),
       {{"P1", "46 25 30.255", "-30 44 55.876", "10"}, {"P2", "41.5", "29.2", "-3.5"}});
  PressAndWait("SpeedButton3");
  EXPECT_EQ(Cell("ecefECEFgrd", 0, 2), "P2");
  auto p2 = Tokens(g::DatumTransformGeodetic("XYZ", "41.5 29.2 -3.5", kA + " " + kB));
  EXPECT_EQ(Cell("ecefECEFgrd", 1, 2), Fixed(p2[0], 3));
  EXPECT_EQ(Cell("ecefECEFgrd", 3, 2), Fixed(p2[2], 3));
  EXPECT_EQ(Cell("ecefECEFgrd", 1, 0), "X");  // the header stays
  PressAndWait("SpeedButton4");
  auto p2back = Tokens(g::DatumTransformEcef(
      "BLH",
      Cell("ecefECEFgrd", 1, 2) + " " + Cell("ecefECEFgrd", 2, 2) + " " + Cell("ecefECEFgrd", 3, 2),
      kA + " " + kB));
  EXPECT_EQ(Cell("ecefDMSgrd", 1, 2), p2back[0]);

  Fill(form->Grid("datumTrGrid1"), {{"Q", "-40.1", "30.1", "5"}});
  PressAndWait("SpeedButton7");
  EXPECT_EQ(Cell("datumTrGrid2", 1, 1),
            Tokens(g::DatumTransformGeodetic("BLH", "-40.1 30.1 5", kA + " " + kB))[0]);
  PressAndWait("SpeedButton8");
  EXPECT_EQ(Cell("datumTrGrid1", 2, 1),
            Tokens(g::DatumTransformGeodetic("BLH",
                                             Cell("datumTrGrid2", 1, 1) + " " +
                                                 Cell("datumTrGrid2", 2, 1) + " " +
                                                 Cell("datumTrGrid2", 3, 1),
                                             kB + " " + kA))[1]);

  Fill(form->Grid("utmDMS"), {{"U1", "46.2", "52.9", "7.5"}});
  PressAndWait("SpeedButton11");
  auto en = Tokens(g::GeodeticToGrid("46.2 52.9", kA + " " + kB, "51 0 1 9500000 0", kEllB));
  EXPECT_EQ(Cell("utmEN", 1, 1), Fixed(en[0], 3));  // column 1 is the easting
  EXPECT_EQ(Cell("utmEN", 2, 1), Fixed(en[1], 3));
  EXPECT_EQ(Cell("utmEN", 3, 1), "7.5");  // the height is carried over
  PressAndWait("SpeedButton12");
  auto ll = Tokens(g::GridToGeodetic(Cell("utmEN", 1, 1) + " " + Cell("utmEN", 2, 1), kB + " " + kA,
                                     "51 0 1 9500000 0", kEllB));
  EXPECT_EQ(Cell("utmDMS", 1, 1), Fixed(ll[0], 8));
  EXPECT_EQ(Cell("utmDMS", 3, 1), "7.5");

  Fill(form->Grid("grdEcef2"), {{"E", "4000000", "2000000", "4500000"}});
  PressAndWait("SpeedButton15");
  EXPECT_EQ(
      Cell("grdEcef3", 2, 1),
      Fixed(Tokens(g::DatumTransformEcef("XYZ", "4000000 2000000 4500000", kB + " " + kA))[1], 3));
  PressAndWait("SpeedButton16");
  EXPECT_EQ(Cell("grdEcef2", 0, 1), "E");
  EXPECT_TRUE(dialogs.Told().empty()) << dialogs.Told().front();
}

TEST_F(GeoFormTest, AFailingRowStopsTheGridAndIsNamed) {
  form->SetSliceRows(3);
  std::vector<std::array<std::string, 4>> rows;
  for (int i = 1; i <= 20; ++i)
    rows.push_back({"P" + std::to_string(i), i == 12 ? "x" : "41", "29", "1"});
  Fill(form->Grid("datumTrGrid1"), rows);
  PressAndWait("SpeedButton7");
  ASSERT_EQ(dialogs.Told().size(), 1U);
  EXPECT_NE(dialogs.Told()[0].find("row 12 (P12)"), std::string::npos) << dialogs.Told()[0];
  EXPECT_EQ(Cell("datumTrGrid2", 0, 11), "P11");
  EXPECT_EQ(Cell("datumTrGrid2", 0, 12), "");
  EXPECT_TRUE(form->findChild<QProgressBar*>("ProgressBar2")->isHidden());
}

TEST_F(GeoFormTest, ATableConvertsInSlicesWithProgressAndCanBeCancelled) {
  form->SetSliceRows(500);
  std::vector<std::array<std::string, 4>> rows;
  for (int i = 1; i <= 20000; ++i) rows.push_back({"P" + std::to_string(i), "41", "29", "1"});
  Fill(form->Grid("grdEcef2"), {});
  Fill(form->Grid("datumTrGrid1"), rows);
  Press("SpeedButton7");
  ASSERT_TRUE(form->ConversionRunning());
  EXPECT_FALSE(form->findChild<QProgressBar*>("ProgressBar2")->isHidden());
  EXPECT_FALSE(form->findChild<QPushButton*>("SpeedButton7")->isEnabled());
  // The event loop keeps running between slices.
  QTRY_VERIFY_WITH_TIMEOUT(form->Grid("datumTrGrid2")->Grid().Cell(0, 1) == "P1", 20000);
  Press("CancelConversion2");
  EXPECT_FALSE(form->ConversionRunning());
  EXPECT_TRUE(form->findChild<QProgressBar*>("ProgressBar2")->isHidden());
  EXPECT_TRUE(form->findChild<QPushButton*>("SpeedButton7")->isEnabled());
  ASSERT_FALSE(dialogs.Told().empty());
  EXPECT_NE(dialogs.Told().back().find("cancelled"), std::string::npos);
  EXPECT_EQ(Cell("datumTrGrid2", 0, 1), "P1");
  // Converting while another table converts is not possible; a new run completes.
  PressAndWait("SpeedButton7");
  EXPECT_EQ(Cell("datumTrGrid2", 0, 20000), "P20000");
}

TEST_F(GeoFormTest, RefusalsLeaveTheTargetFieldsAlone) {
  Edit("North1")->setText("41");
  Edit("East1")->setText("29");
  Edit("Height1")->setText("500 000");
  Edit("North2")->setText("keep");
  Press("SpeedButton5");
  ASSERT_EQ(dialogs.Told().size(), 1U);
  EXPECT_NE(dialogs.Told()[0].find("height"), std::string::npos);
  EXPECT_EQ(Text(Edit("North2")), "keep");

  // Any edit of a datum resets the selectors: no pair until chosen again.
  form->Datums().Field("LOCdx")->setText("1");
  EXPECT_EQ(Text(Selector(3)), geotools::kSelectorPrompt);
  Edit("Height1")->setText("1");
  Press("SpeedButton5");
  EXPECT_EQ(dialogs.Told().back(), geotools::kNoDatumMessage);
  EXPECT_EQ(Text(Edit("North2")), "keep");

  // Equal names: refused with the warning, and the warning on closing the window.
  Click(Selector(3));
  Click(Selector(4));
  Click(Selector(4));
  DatumTexts same = form->Datums().Datum(1);
  same.name = form->Datums().Datum(0).name;
  form->Datums().SetDatum(1, same);
  Click(Selector(3));
  Click(Selector(4));
  Press("SpeedButton5");
  EXPECT_EQ(dialogs.Told().back(), geotools::kEqualNamesMessage);
  form->Datums().show();
  form->Datums().close();
  EXPECT_EQ(dialogs.Told().back(), geotools::kEqualNamesMessage);

  // An inverse flattening of 0 would give "nan" in the pair.
  DatumTexts flat = form->Datums().Datum(1);
  flat.name = "FLAT";
  flat.inverseFlattening = "0";
  form->Datums().SetDatum(1, flat);
  Click(Selector(3));
  Click(Selector(4));
  Click(Selector(4));
  Press("SpeedButton5");
  EXPECT_NE(dialogs.Told().back().find("1/f must not be zero"), std::string::npos)
      << dialogs.Told().back();
  EXPECT_EQ(Text(Edit("North2")), "keep");
}

TEST_F(GeoFormTest, SelectorsAlternateAndTakeTheirDatumsColour) {
  QLineEdit* s = Selector(1);
  EXPECT_EQ(Text(s), "ED50 TEST");
  EXPECT_NE(s->styleSheet().indexOf("aqua"), -1);
  Click(s);
  EXPECT_EQ(Text(s), "WGS84");
  EXPECT_NE(s->styleSheet().indexOf("lime"), -1);
  Click(s);
  EXPECT_EQ(Text(s), "ED50 TEST");
  form->Datums().Field("WGSa")->setText("6378388.0");
  EXPECT_EQ(Text(s), geotools::kSelectorPrompt);
  EXPECT_NE(s->styleSheet().indexOf("red"), -1);
}

TEST_F(GeoFormTest, TheUnitsChangeTheNextOutput) {
  Edit("ecefx2")->setText("4000000.4");
  Edit("ecefy2")->setText("2000000");
  Edit("ecefz2")->setText("4500000");
  form->Units().findChild<QSpinBox*>("UDist")->setValue(0);
  Press("SpeedButton13");
  EXPECT_EQ(Text(Edit("ecefx3")).find('.'), std::string::npos) << Text(Edit("ecefx3"));
  form->Units().findChild<QSpinBox*>("UDist")->setValue(5);
  Press("SpeedButton13");
  const std::string x = Text(Edit("ecefx3"));
  EXPECT_EQ(x.size() - x.find('.') - 1, 5U) << x;
  auto* spin = form->Units().findChild<QSpinBox*>("UDeg");
  spin->setValue(99);
  EXPECT_EQ(spin->value(), 10);
}

TEST_F(GeoFormTest, LoadSaveRenumberAndColumnMoves) {
  const auto file = folder / "points.txt";
  platform::WriteFileAtomically(file, "P1 41 30 15.5 29 10 5 120.0\nP2 40.5 28.25 3\n");
  dialogs.files.push_back(file.string());
  Press("SpeedButton27");
  EXPECT_EQ(form->Grid("ecefDMSgrd")->rowCount(), 2);
  EXPECT_EQ(Cell("ecefDMSgrd", 1, 1), "41 30 15.5");
  EXPECT_EQ(Cell("ecefDMSgrd", 0, 0), "ID");

  // A projected file in a geodetic grid: read, then the warning.
  platform::WriteFileAtomically(file, "A 4512345.1 512345.2 3\n");
  dialogs.files.push_back(file.string());
  Press("SpeedButton30");
  EXPECT_EQ(dialogs.Told().back(), geodesy::kNotGeographicalMessage);

  const auto saved = folder / "saved.txt";
  dialogs.files.push_back(saved.string());
  Press("Save1");
  EXPECT_EQ(*platform::ReadWholeFile(saved), geodesy::GridText(form->Grid("ecefDMSgrd")->Grid()));

  // A failed save names the file; the old file stays.
  std::filesystem::create_directories(folder / "dir.txt");
  dialogs.files.push_back((folder / "dir.txt").string());
  Press("Save1");
  EXPECT_NE(dialogs.Told().back().find("dir.txt"), std::string::npos);

  dialogs.confirms.push_back(false);
  Press("SpeedButton67");
  EXPECT_EQ(Cell("ecefDMSgrd", 0, 1), "P1");
  dialogs.confirms.push_back(true);
  Press("SpeedButton67");
  EXPECT_EQ(Cell("ecefDMSgrd", 0, 1), "1");
  EXPECT_EQ(Cell("ecefDMSgrd", 0, 2), "2");
  EXPECT_EQ(Cell("ecefDMSgrd", 1, 2), "40.5");
  EXPECT_EQ(dialogs.asked.back().text, "Do you really want to renumarate the point numbers?");

  // Dragging a column moves its data and restores the header.
  QHeaderView* header = form->GridView("ecefDMSgrd")->horizontalHeader();
  header->moveSection(3, 1);
  EXPECT_EQ(Cell("ecefDMSgrd", 1, 2), "3");  // height now in column 1
  EXPECT_EQ(Cell("ecefDMSgrd", 2, 2), "40.5");
  EXPECT_EQ(Cell("ecefDMSgrd", 1, 0), "N/S(+/-)");
  EXPECT_EQ(Cell("ecefDMSgrd", 3, 0), "H");
  EXPECT_EQ(header->visualIndex(3), 3);
}

TEST_F(GeoFormTest, PurgeAsksThenRegeneratesEveryConversionGrid) {
  Fill(form->Grid("utmEN"), {{"1", "2", "3", "4"}});
  Fill(form->Grid("affInput"), {{"1", "2", "3", "4"}});
  form->findChild<QAction*>("PurgeTransformationCells1")->trigger();
  EXPECT_EQ(form->Grid("utmEN")->rowCount(), 1);
  dialogs.confirms.push_back(true);
  form->findChild<QAction*>("PurgeTransformationCells1")->trigger();
  EXPECT_EQ(dialogs.asked.back().text, "Are you sure to delete all data in the conversion cells?");
  for (const char* name : {"utmEN", "affInput", "ecefDMSgrd"}) {
    EXPECT_EQ(form->Grid(name)->rowCount(), 9) << name;
    EXPECT_EQ(form->Grid(name)->Grid().Cell(0, 1), "") << name;
  }
  EXPECT_EQ(Cell("utmEN", 3, 0), "Elevation");
  EXPECT_EQ(Cell("affInput", 1, 0), "Eeasting");
}

TEST_F(GeoFormTest, ClipboardCopyPasteAndAngleToggle) {
  Edit("North")->setText("46.5");
  Edit("East")->setText("-30.25");
  Edit("Height")->setText("7");
  Press("SpeedButton24");
  Press("SpeedButton37");
  EXPECT_EQ(Text(Edit("North1")), "46.5");
  EXPECT_EQ(Text(Edit("Height1")), "7");
  form->Clipboard().Field(2)->clear();
  Edit("North1")->setText("keep");
  Press("SpeedButton37");
  EXPECT_EQ(Text(Edit("North1")), "keep");

  Press("BitBtn1");
  std::string lat = "46.5", lon = "-30.25";
  g::CycleAngleFormat(lat, lon);
  EXPECT_EQ(Text(Edit("North")), lat);
  EXPECT_EQ(Text(Edit("East")), lon);
}

TEST_F(GeoFormTest, TrayChoiceIsWrittenAtOnceAndExitClearsIt) {
  platform::IniStore ini(folder / "geokit.INI");
  QAction* tray = form->findChild<QAction*>("CloseToTray1");
  tray->trigger();
  EXPECT_EQ(ini.ReadString("CloseToTray", "CloseToTray"), "1");
  tray->trigger();
  EXPECT_EQ(ini.ReadString("CloseToTray", "CloseToTray"), "0");
  tray->trigger();

  form->SetQuitOnClose(false);
  QSignalSpy finished(form.get(), &TGeoForm::Finished);
  form->close();
  EXPECT_EQ(finished.count(), 0);  // hidden or minimised, still running
  EXPECT_EQ(ini.ReadString("CloseToTray", "CloseToTray"), "1");
  form->findChild<QAction*>("Exit1")->trigger();
  EXPECT_EQ(finished.count(), 1);
  EXPECT_EQ(ini.ReadString("CloseToTray", "CloseToTray"), "0");
}

TEST_F(GeoFormTest, SettingsRoundTripThroughTheFile) {
  Edit("North")->setText("46  25  30.255");
  form->Pages()->setCurrentIndex(5);
  EXPECT_EQ(form->HelpContext(), 80);
  form->close();
  platform::IniStore ini(folder / "geokit.INI");
  EXPECT_EQ(ini.ReadString("TransformedValues", "ECEFLat0"), "46  25  30.255");
  EXPECT_EQ(ini.ReadString("BlueDatum", "InverseFlatening"), "297");
  EXPECT_EQ(ini.ReadString("DatumNames", "ECEF_Right"), "WGS84");
  EXPECT_EQ(ini.ReadInteger("PageControl", "ActivePageIndex", -1), 5);

  TGeoForm again(dialogs, GeoFormPaths{folder / "geokit.INI", folder / "HXV", folder / "h.rtf"});
  again.Restore();
  EXPECT_EQ(again.findChild<QLineEdit*>("North")->text(), "46  25  30.255");
  EXPECT_EQ(again.findChild<QLineEdit*>("Datum2")->text(), "WGS84");
  EXPECT_NE(again.findChild<QLineEdit*>("Datum2")->styleSheet().indexOf("lime"), -1);
  EXPECT_EQ(again.Pages()->currentIndex(), 5);
}

TEST_F(GeoFormTest, ProjectionGroupUnfoldsAndStoresItsFieldsWhenFolded) {
  QWidget* group = form->findChild<QWidget*>("GrPar");
  ASSERT_NE(group, nullptr);
  EXPECT_FALSE(Edit("CM")->isEnabled());
  QTest::mouseDClick(group, Qt::LeftButton);
  EXPECT_TRUE(Edit("CM")->isEnabled());
  EXPECT_EQ(group->height(), 145);
  Edit("CM")->setText("27  30");
  QTest::mouseDClick(group, Qt::LeftButton);
  EXPECT_FALSE(Edit("CM")->isEnabled());
  EXPECT_EQ(geodesy::LoadTmSettings(platform::IniStore(folder / "geokit.INI")).centralMeridian,
            "27  30");
}

TEST_F(GeoFormTest, GridModelsPassTheModelTester) {
  GridModel* model = form->Grid("utmEN");
  QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Warning);
  Fill(model, {{"1", "2", "3", "4"}, {"5", "6", "7", "8"}});
  EXPECT_TRUE(model->setData(model->index(1, 2), "x"));
  EXPECT_EQ(model->data(model->index(1, 2)).toString(), "x");
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Easting");
}

}  // namespace
}  // namespace halvex::geokit
