// SPDX-License-Identifier: GPL-3.0-or-later
// The least-squares pages driven as a user would: control point files
// loaded through the open dialog, estimations and applications run in the
// background, labels and reports compared with geotools/lsq called
// directly on the same grids.
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QTabBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

#include "WindowTestSupport.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/PointFiles.hpp"
#include "geotools/app/OutputWindow.hpp"
#include "geotools/app/SmallWindows.hpp"
#include "geotools/lsq/Applications.hpp"
#include "geotools/lsq/Estimations.hpp"
#include "platform/IniStore.hpp"

namespace halvex::geokit {
namespace {

using testing::WindowFixture;
namespace g = geodesy;

class LsqPagesTest : public ::testing::Test, public WindowFixture {
 protected:
  std::filesystem::path WriteFile(const std::string& name, const std::string& text) {
    const auto path = folder / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // Presses a button and waits for the background work it started.
  void Run(const char* button) {
    QSignalSpy done(form.get(), &TGeoForm::JobFinished);
    Press(button);
    if (form->JobRunning()) {
      ASSERT_TRUE(done.wait(120000)) << button;
    }
  }
  void Load(const char* button, const std::filesystem::path& file) {
    dialogs.files.push_back(file.string());
    Press(button);
  }
  std::string Label(const char* name) const {
    return form->findChild<QLabel*>(name)->text().toStdString();
  }
  std::string ReportText() const {
    TFormOutput* report = form->LastReport();
    return report != nullptr ? report->Memo()->toPlainText().toStdString() : std::string();
  }
  const g::CoordGrid& GridOf(const char* name) const {
    return form->findChild<GridModel*>(QString(name) + "Model")->Grid();
  }
  static g::CoordGrid Read(g::PointReader reader, const std::filesystem::path& file) {
    g::CoordGrid grid(g::PointReaderColumns(reader), 1);
    g::SetGridHeader(grid, g::PointReaderHeader(reader));
    g::ReadPointFile(reader, file, grid);
    return grid;
  }
};

// Six control points of an affine transformation with a few millimetres of
// noise, so that the adjustment has residuals.
const std::string kAffineControl =
    "P1 1000.000 2000.000 5012.347 7991.120\n"
    "P2 1500.000 2100.000 5513.802 8101.433\n"
    "P3 1200.000 2600.000 5221.016 8598.204\n"
    "P4 1800.000 2500.000 5819.231 8505.877\n"
    "P5 1300.000 2300.000 5313.110 8297.562\n"
    "P6 1650.000 2250.000 5666.470 8251.009\n";
const std::string kPlanePoints =
    "A 1100.000 2050.000 10.5\n"
    "B 1700.000 2450.000 -3.25\n"
    "C 1400.500 2222.222 7\n";

TEST_F(LsqPagesTest, AffinePageEstimatesReportsAppliesAndInverts) {
  const auto control = WriteFile("Control.TXT", kAffineControl);
  Load("SpeedButton54", control);
  EXPECT_EQ(form->findChild<QLineEdit*>("AffFileName")->text().toStdString(),
            QString::fromStdString(control.string()).toLower().toStdString());
  EXPECT_TRUE(dialogs.Told().empty());
  EXPECT_EQ(GridOf("AffineGr").RowCount(), 7U);

  Run("SpeedButton17");
  const geotools::PlaneEstimate expected =
      geotools::EstimateAffine(Read(g::PointReader::kControlPoint, control));
  ASSERT_TRUE(expected.ok);
  const std::array<const char*, 6> labels = {"A0", "A1", "A2", "B0", "B1", "B2"};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(Label(labels[i]), expected.labels[i]) << i;
  EXPECT_EQ(ReportText(), expected.report);
  EXPECT_NE(ReportText().find("RESIDUALS OF TARGET COORDINATES"), std::string::npos);
  // The report reads back from the window as it went in, so it saves as
  // the library wrote it.
  geotools::RichText rich;
  rich.Append(expected.report, geotools::TextStyle{});
  EXPECT_EQ(RichTextFromEdit(*form->LastReport()->Memo()), rich);

  // Forward onto the target list, as the library applies it.
  const auto points = WriteFile("points.txt", kPlanePoints);
  Load("SpeedButton34", points);
  form->Units().findChild<QSpinBox*>("UDist")->setValue(4);
  Run("SpeedButton18");
  g::CoordGrid target(4, 1);
  g::SetGridHeader(target, "No Easting Northing Elevation");
  ASSERT_TRUE(geotools::ApplyAffine(Read(g::PointReader::kPlane, points), target,
                                    expected.labels, false, 4)
                  .ok);
  const g::CoordGrid& output = GridOf("affOutput");
  ASSERT_EQ(output.RowCount(), 4U);
  for (std::size_t r = 1; r < 4; ++r) {
    for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(output.Cell(c, r), target.Cell(c, r));
  }
  EXPECT_EQ(output.Cell(3, 2), "-3.25");

  // The inverse brings the points back to within the rounding of the output.
  Run("SpeedButton19");
  const g::CoordGrid& input = GridOf("affInput");
  const g::CoordGrid original = Read(g::PointReader::kPlane, points);
  ASSERT_EQ(input.RowCount(), 4U);
  for (std::size_t r = 1; r < 4; ++r) {
    EXPECT_EQ(input.Cell(0, r), original.Cell(0, r));
    for (std::size_t c = 1; c < 3; ++c) {
      EXPECT_NEAR(std::stod(std::string(input.Cell(c, r))),
                  std::stod(std::string(original.Cell(c, r))), 2e-4);
    }
  }
  EXPECT_TRUE(dialogs.Told().empty());
}

TEST_F(LsqPagesTest, WorkRunsInTheBackgroundWithThePageLocked) {
  std::string text;
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(0, 1000);
  for (int i = 0; i < 20000; ++i) {
    const double x = u(rng), y = u(rng);
    text += "P" + std::to_string(i) + " " + g::FormatFixed(x, 3) + " " + g::FormatFixed(y, 3) +
            " " + g::FormatFixed(10 + 2 * x + 0.5 * y, 3) + " " +
            g::FormatFixed(-4 + 0.25 * x + 3 * y, 3) + "\n";
  }
  Load("SpeedButton54", WriteFile("big.txt", text));
  form->findChild<QCheckBox*>("ChkBoxAfn")->setChecked(false);
  QSignalSpy done(form.get(), &TGeoForm::JobFinished);
  Press("SpeedButton17");
  // The estimation's result arrives through the event loop only.
  ASSERT_TRUE(form->JobRunning());
  EXPECT_FALSE(form->Pages()->widget(4)->isEnabled());
  EXPECT_FALSE(form->Pages()->tabBar()->isEnabled());
  EXPECT_FALSE(form->findChild<QProgressBar*>("ProgressBar5")->isHidden());
  EXPECT_EQ(Label("A0"), "");
  // A second press and the loaders are ignored while it runs.
  Press("SpeedButton17");
  Press("SpeedButton54");
  ASSERT_TRUE(done.wait(120000));
  EXPECT_EQ(done.count(), 1);
  EXPECT_TRUE(form->Pages()->widget(4)->isEnabled());
  EXPECT_TRUE(form->Pages()->tabBar()->isEnabled());
  EXPECT_TRUE(form->findChild<QProgressBar*>("ProgressBar5")->isHidden());
  EXPECT_EQ(std::lround(std::stod(Label("A1")) * 1000), 2000);
  EXPECT_EQ(std::lround(std::stod(Label("B2")) * 1000), 3000);
}

TEST_F(LsqPagesTest, FailuresShowTheirWarningsAndKeepWhatWasThere) {
  // Too few points on loading, and on computing.
  Load("SpeedButton54", WriteFile("two.txt", "1 0 0 10 20\n2 1 0 12 20\n"));
  EXPECT_EQ(dialogs.Told().back(), geotools::kIncorrectFile);
  Press("SpeedButton17");
  EXPECT_EQ(dialogs.Told().back(), geotools::kNoSolution3);
  EXPECT_FALSE(form->JobRunning());

  // Three points: a single solution, reproduced exactly.
  Load("SpeedButton54", WriteFile("three.txt", "1 0 0 10 20\n2 1 0 12 20\n3 0 1 10 23\n"));
  EXPECT_EQ(dialogs.Told().back(), geotools::kSingleSolution);
  Run("SpeedButton17");
  EXPECT_EQ(Label("A0"), "10");
  EXPECT_EQ(Label("A1"), "2");
  EXPECT_EQ(Label("B2"), "3");
  EXPECT_EQ(ReportText().find("ADJUSTED COORDINATES"), std::string::npos);

  // A cell that is not a number: the warning, and the labels stay.
  GridModel* control = form->findChild<GridModel*>("AffineGrModel");
  control->setData(control->index(1, 3), "east");
  const std::size_t told = dialogs.Told().size();
  Run("SpeedButton17");
  ASSERT_EQ(dialogs.Told().size(), told + 1);
  EXPECT_EQ(dialogs.Told().back(), geotools::kIncorrectData3);
  EXPECT_EQ(Label("A0"), "10");
  EXPECT_EQ(Label("B2"), "3");

  // Applying with no parameters on the similarity page: the message, and
  // the target cleared.
  Load("SpeedButton51", WriteFile("old.txt", kPlanePoints));
  Load("SpeedButton50", WriteFile("p.txt", kPlanePoints));
  Run("SpeedButton21");
  EXPECT_EQ(dialogs.Told().back(), geotools::kApplyFailure);
  EXPECT_EQ(GridOf("SimilTargGrd").RowCount(), 9U);
  EXPECT_EQ(GridOf("SimilTargGrd").Cell(0, 1), "");
  EXPECT_EQ(GridOf("SimilTargGrd").Cell(1, 0), "Easting");
  EXPECT_TRUE(form->findChild<QProgressBar*>("ProgressBar6")->isHidden());

  // A bad cell in the third row: the rows before it stay written.
  Load("SpeedButton53", WriteFile("sim.txt", "1 0 0 10 20\n2 1 0 11 19\n"));
  Run("SpeedButton20");
  EXPECT_EQ(Label("bb0"), "45");
  Load("SpeedButton50", WriteFile("p.txt", kPlanePoints + "D 1 2 3\n"));
  GridModel* source = form->findChild<GridModel*>("SimilSourGrdModel");
  source->setData(source->index(2, 1), "x");
  Run("SpeedButton21");
  EXPECT_EQ(dialogs.Told().back(), geotools::kApplyFailure);
  const g::CoordGrid& target = GridOf("SimilTargGrd");
  EXPECT_EQ(target.Cell(0, 2), "B");
  EXPECT_FALSE(target.Cell(1, 2).empty());
  EXPECT_TRUE(target.Cell(1, 3).empty());
}

TEST_F(LsqPagesTest, SimilarityPageMatchesTheLibraryAndItsReport) {
  const auto control = WriteFile("s.txt",
                                 "1 0 0 10 20\n2 1 0 11 19\n3 5 5 20.001 15\n4 2 -3 9 14.999\n");
  Load("SpeedButton53", control);
  Run("SpeedButton20");
  const geotools::PlaneEstimate expected =
      geotools::EstimateSimilarity(Read(g::PointReader::kControlPoint, control));
  ASSERT_TRUE(expected.ok);
  const std::array<const char*, 4> labels = {"aa0", "aa1", "bb0", "bb1"};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(Label(labels[i]), expected.labels[i]);
  EXPECT_EQ(ReportText(), expected.report);
  EXPECT_EQ(form->findChild<QLabel*>("Lbb0")->text(), "Rotation:");
  EXPECT_EQ(form->findChild<QLabel*>("Lbb1")->text(), "Scale:");

  // Without the report box, no report window.
  form->findChild<QCheckBox*>("ChkBoxSml")->setChecked(false);
  delete form->LastReport();
  Run("SpeedButton20");
  EXPECT_EQ(form->LastReport(), nullptr);
}

// WGS-84 ECEF points over a survey area, metres.
std::vector<std::array<std::string, 3>> WgsPoints(int count, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> lat(38.0, 41.0), lon(27.0, 31.0), h(0, 300);
  std::vector<std::array<std::string, 3>> out;
  for (int i = 0; i < count; ++i) {
    const double la = lat(rng) * M_PI / 180, lo = lon(rng) * M_PI / 180, he = h(rng);
    const double a = 6378137, f = 1 / 298.257223563, e2 = f * (2 - f);
    const double n = a / std::sqrt(1 - e2 * std::sin(la) * std::sin(la));
    out.push_back({g::FormatFixed((n + he) * std::cos(la) * std::cos(lo), 3),
                   g::FormatFixed((n + he) * std::cos(la) * std::sin(lo), 3),
                   g::FormatFixed((n * (1 - e2) + he) * std::sin(la), 3)});
  }
  return out;
}

TEST_F(LsqPagesTest, SetAsNewDatumCarriesWgs84PointsOntoTheLocalCoordinates) {
  // The local coordinates of WGS-84 points, made by the window itself with
  // the test datum A: page 3 converts its right panel (datum B, WGS-84) to
  // its left panel (datum A).
  auto toLocal = [this](const std::array<std::string, 3>& wgs) {
    Edit("ecefx3")->setText(QString::fromStdString(wgs[0]));
    Edit("ecefy3")->setText(QString::fromStdString(wgs[1]));
    Edit("ecefz3")->setText(QString::fromStdString(wgs[2]));
    Press("SpeedButton14");
    return std::array<double, 3>{Edit("ecefx2")->text().toDouble(),
                                 Edit("ecefy2")->text().toDouble(),
                                 Edit("ecefz2")->text().toDouble()};
  };
  form->Units().findChild<QSpinBox*>("UDist")->setValue(6);
  std::string control;
  int n = 0;
  for (const auto& wgs : WgsPoints(12, 5)) {
    const auto local = toLocal(wgs);
    control += "C" + std::to_string(++n) + " " + wgs[0] + " " + wgs[1] + " " + wgs[2];
    for (double v : local) control += " " + g::FormatFixed(v, 6);
    control += "\n";
  }
  const auto checks = WgsPoints(5, 99);
  std::vector<std::array<double, 3>> expected;
  for (const auto& wgs : checks) expected.push_back(toLocal(wgs));

  const auto file = WriteFile("helmert.txt", control);
  Load("SpeedButton52", file);
  EXPECT_EQ(form->findChild<QLabel*>("StatusFile")->text().toStdString(), "File: " + file.string());
  QPushButton* setAsDatum = Button("BitBtnHelmert");
  EXPECT_FALSE(setAsDatum->isEnabled());
  Run("SpeedButton23");
  ASSERT_TRUE(setAsDatum->isEnabled()) << (dialogs.Told().empty() ? "" : dialogs.Told().back());

  geotools::HelmertInputs inputs;
  inputs.precision = form->Units().Precision();
  const geotools::HelmertEstimate estimate =
      geotools::EstimateHelmert(Read(g::PointReader::kHelmertControl, file), inputs);
  const std::array<const char*, 7> labels = {"scale", "rx", "ry", "rz", "dx", "dy", "dz"};
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(Label(labels[i]), estimate.labels[i]);
  EXPECT_EQ(ReportText(), estimate.report);
  EXPECT_EQ(form->NewDatumValues(), geotools::NewDatumParameters(estimate));
  // The published shift is the fitted one negated; datum A's shift carries
  // the local datum to WGS-84 (-87 m in X).
  EXPECT_NEAR(std::stod(Label("dx")), 87, 0.01);

  // Set As New Datum over datum A, its ellipsoid kept.
  QTimer::singleShot(0, form.get(), [this] {
    auto* entry = form->findChild<TFormEnterData*>();
    ASSERT_NE(entry, nullptr);
    entry->findChild<QRadioButton*>("RBA")->setChecked(true);
    QLineEdit* name = entry->findChild<QLineEdit*>("NOD");
    name->clear();
    QTest::keyClicks(name, "FITTED");
    dialogs.confirms.push_back(true);
    entry->Accept();
  });
  Press("BitBtnHelmert");
  const DatumTexts a = form->Datums().Datum(0);
  EXPECT_EQ(a.name, "FITTED");
  EXPECT_EQ(a.a, "6378388");
  EXPECT_EQ(a.dx.toStdString(), form->NewDatumValues()[4]);
  EXPECT_EQ(a.rz.toStdString(), form->NewDatumValues()[3]);
  EXPECT_NEAR(a.dx.toDouble(), -87, 0.01);
  EXPECT_NEAR(a.ds.toDouble(), -1.2, 0.001);

  // Converting WGS-84 points into the new datum reproduces their local
  // coordinates to the millimetre.
  for (int s = 1; s <= 8; ++s) {
    Click(Selector(s));
    if (s % 2 == 0) Click(Selector(s));
  }
  ASSERT_EQ(Selector(7)->text(), "FITTED");
  for (std::size_t i = 0; i < checks.size(); ++i) {
    const auto local = toLocal(checks[i]);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(local[k], expected[i][k], 0.001) << i << k;
  }
}

TEST_F(LsqPagesTest, HelmertFailureDisablesSetAsNewDatumAndKeepsTheLabels) {
  std::string control;
  int n = 0;
  for (const auto& p : WgsPoints(4, 1)) {
    control += "H" + std::to_string(++n) + " " + p[0] + " " + p[1] + " " + p[2] + " " + p[0] +
               " " + p[1] + " " + p[2] + "\n";
  }
  Load("SpeedButton52", WriteFile("h.txt", control));
  Run("SpeedButton23");
  const std::string scale = Label("scale"), dx = Label("dx");
  EXPECT_EQ(std::stod(scale), 0.0);
  EXPECT_EQ(std::stod(dx), 0.0);
  EXPECT_TRUE(Button("BitBtnHelmert")->isEnabled());
  form->findChild<QLabel*>("SemiM")->setText("a");
  Run("SpeedButton23");
  EXPECT_EQ(dialogs.Told().back(), geotools::kIncorrectData3);
  EXPECT_FALSE(Button("BitBtnHelmert")->isEnabled());
  EXPECT_EQ(Label("scale"), scale);
  EXPECT_EQ(Label("dx"), dx);

  Load("SpeedButton52", WriteFile("h2.txt", "1 1 2 3 1 2 3\n"));
  EXPECT_EQ(dialogs.Told().back(), geotools::kIncorrectFile);
  Press("SpeedButton23");
  EXPECT_EQ(dialogs.Told().back(), geotools::kNoSolution3);
}

TEST_F(LsqPagesTest, SettingsSurviveACloseAndANewWindow) {
  Load("SpeedButton53", WriteFile("SIM.txt", "1 0 0 10 20\n2 1 0 11 19\n"));
  Run("SpeedButton20");
  Load("SpeedButton54", WriteFile("three.txt", "1 0 0 10 20\n2 1 0 12 20\n3 0 1 10 23\n"));
  Run("SpeedButton17");
  Edit("North3")->setText("46   12.123456789");
  form->Pages()->setCurrentIndex(6);
  form->close();

  platform::IniStore ini(folder / "geokit.INI");
  // The similarity's "Scale" key holds the rotation, "Rotation" the scale.
  EXPECT_EQ(ini.ReadString("Similarity", "Scale"), "45");
  EXPECT_EQ(ini.ReadString("Similarity", "Rotation"), Label("bb1"));
  EXPECT_EQ(ini.ReadString("Similarity", "Xso"), "10");
  EXPECT_EQ(ini.ReadString("Affine", "A1"), "2");
  EXPECT_EQ(ini.ReadString("Affine", "FileName"),
            QString::fromStdString((folder / "three.txt").string()).toLower().toStdString());
  EXPECT_EQ(ini.ReadString("TransformedValues", "UTMTLat0"), "46   12.123456789");
  EXPECT_EQ(ini.ReadString("GreenDatum", "DatumName"), "WGS84");
  EXPECT_EQ(ini.ReadInteger("PageControl", "ActivePageIndex", -1), 6);

  appkit::ScriptedDialogs otherDialogs;
  TGeoForm again(otherDialogs,
                 GeoFormPaths{folder / "geokit.INI", folder / "HXV", folder / "h.rtf"});
  again.SetQuitOnClose(true);
  again.show();
  auto label = [&again](const char* name) {
    return again.findChild<QLabel*>(name)->text().toStdString();
  };
  EXPECT_EQ(label("bb0"), "45");
  EXPECT_EQ(label("bb1"), Label("bb1"));
  EXPECT_EQ(label("aa1"), "20");
  EXPECT_EQ(label("A0"), "10");
  EXPECT_EQ(label("B2"), "3");
  EXPECT_EQ(again.findChild<QLineEdit*>("SimilFileName")->text(),
            form->findChild<QLineEdit*>("SimilFileName")->text());
  EXPECT_EQ(again.findChild<QLineEdit*>("North3")->text(), "46   12.123456789");
  EXPECT_EQ(again.Datums().Datum(0).dz, "-121");
  EXPECT_EQ(again.Pages()->currentIndex(), 6);

  // The restored parameters apply as the computed ones did.
  again.Grid("SimilSourGrd")->BeginChange();
  again.Grid("SimilSourGrd")->Grid().SetRowCount(1);
  again.Grid("SimilSourGrd")->Grid().AppendRow({"Q", "1", "1", "5"});
  again.Grid("SimilSourGrd")->EndChange();
  QSignalSpy done(&again, &TGeoForm::JobFinished);
  again.findChild<QPushButton*>("SpeedButton21")->click();
  ASSERT_TRUE(done.wait(10000));
  EXPECT_EQ(again.Grid("SimilTargGrd")->Grid().Cell(1, 1), "12.000");
  EXPECT_EQ(again.Grid("SimilTargGrd")->Grid().Cell(2, 1), "20.000");
  EXPECT_TRUE(otherDialogs.Told().empty());
  again.close();
}

TEST_F(LsqPagesTest, ControlGridsKeepTheirTitlesAndSurviveAPurge) {
  Load("SpeedButton54", WriteFile("three.txt", "1 0 0 10 20\n2 1 0 12 20\n3 0 1 10 23\n"));
  dialogs.confirms.push_back(true);
  form->findChild<QAction*>("PurgeTransformationCells1")->trigger();
  EXPECT_EQ(GridOf("AffineGr").RowCount(), 4U);
  EXPECT_EQ(GridOf("AffineGr").Cell(4, 3), "23");
  QTableView* view = form->findChild<QTableView*>("AffineGr");
  view->horizontalHeader()->moveSection(1, 3);
  const g::CoordGrid& grid = GridOf("AffineGr");
  EXPECT_EQ(grid.Cell(1, 0), "X(E)old");
  EXPECT_EQ(grid.Cell(4, 0), "Y(N)new");
  EXPECT_EQ(grid.Cell(3, 1), "0");  // the moved column's cells moved
}

}  // namespace
}  // namespace halvex::geokit
