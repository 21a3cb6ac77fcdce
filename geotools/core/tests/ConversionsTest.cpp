// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion actions against the geodesy core called directly, and
// against GeographicLib where an exact reference exists.
#include "geotools/core/Conversions.hpp"

#include <gtest/gtest.h>
#include <GeographicLib/Geocentric.hpp>

#include <cmath>
#include <string>

#include "geodesy/DatumTransform.hpp"
#include "geodesy/NumberText.hpp"
#include "geodesy/PointFiles.hpp"

namespace halvex::geotools {
namespace {

using geodesy::CoordGrid;
using geodesy::OutputPrecision;

// ED50-like datum A (International 1924) and WGS-84 as datum B.
constexpr const char* kEd50 = "6378388 0.00336700336700337 -1.2 0.1 0.2 -0.3 -87 -98 -121";
constexpr const char* kWgs84 = "6378137 0.00335281066474748 0 0 0 0 0 0 0";

ConversionSetup MakeSetup(const std::string& first, const std::string& second,
                          OutputPrecision precision = {}) {
  ConversionSetup setup;
  setup.pair = first + " " + second;
  // The projection ellipsoid is the second datum's (the grid's).
  setup.ellipsoid = second.substr(0, second.find(' ', second.find(' ') + 1));
  setup.tm = {"51", "0", "1", "9500000", "0"};
  setup.precision = precision;
  return setup;
}

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

std::string Fixed(const std::string& number, int decimals) {
  return geodesy::FormatFixed(std::strtold(number.c_str(), nullptr), decimals);
}

TEST(ConversionPoint, EveryOperationPrintsTheCoreResultWithTheUnitsDecimals) {
  const OutputPrecision precision{2, 6, 6, 4};
  const ConversionSetup setup = MakeSetup(kEd50, kWgs84, precision);
  const std::string pair = setup.pair;

  {  // geodetic to ECEF: the core's "X\tY\tZ" with the distance decimals
    const auto got = ConvertPoint(Operation::kGeodeticToEcef,
                                  {"46  25  30.255", "-30  44  55.876", "10.123"}, setup);
    ASSERT_TRUE(got.ok) << got.message;
    const std::string lat = geodesy::FormatG15(46 + 25 / 60.0L + 30.255L / 3600);
    const std::string lon = geodesy::FormatG15(-(30 + 44 / 60.0L + 55.876L / 3600));
    const auto want =
        Tokens(geodesy::DatumTransformGeodetic("XYZ", lat + " " + lon + " 10.123", pair));
    ASSERT_EQ(want.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(got.values[i], Fixed(want[i], 2));
  }
  {  // ECEF to geodetic: the core's text as it writes it
    const auto got =
        ConvertPoint(Operation::kEcefToGeodetic, {"4000000", "-2000000", "4500000"}, setup);
    ASSERT_TRUE(got.ok) << got.message;
    const auto want =
        Tokens(geodesy::DatumTransformEcef("BLH", "4000000 -2000000 4500000", pair, precision));
    EXPECT_EQ(std::vector<std::string>(got.values.begin(), got.values.end()), want);
  }
  {  // datum to datum
    const auto got = ConvertPoint(Operation::kGeodeticToGeodetic,
                                  {"-40.123456789", "30.123456789", "10.123"}, setup);
    ASSERT_TRUE(got.ok) << got.message;
    const auto want = Tokens(geodesy::DatumTransformGeodetic(
        "BLH", "-40.123456789 30.123456789 10.123", pair, precision));
    EXPECT_EQ(std::vector<std::string>(got.values.begin(), got.values.end()), want);
  }
  {  // ECEF to ECEF
    const auto got =
        ConvertPoint(Operation::kEcefToEcef, {" 4000000 ", "-2000000", "4500000"}, setup);
    ASSERT_TRUE(got.ok) << got.message;
    const auto want = Tokens(geodesy::DatumTransformEcef("XYZ", "4000000 -2000000 4500000", pair));
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(got.values[i], Fixed(want[i], 2));
  }
}

TEST(ConversionPoint, ProjectionRoundTripsAndCarriesTheHeight) {
  const ConversionSetup setup = MakeSetup(kEd50, kWgs84);
  const auto grid = ConvertPoint(Operation::kGeodeticToGrid, {"46.2", "52.9", "h1"}, setup);
  ASSERT_TRUE(grid.ok) << grid.message;
  const std::string want = geodesy::GeodeticToGrid("46.2 52.9", setup.pair, "51 0 1 9500000 0",
                                                   "6378137 0.00335281066474748");
  const auto wantTokens = Tokens(want);
  EXPECT_EQ(grid.values[0], Fixed(wantTokens[0], 3));
  EXPECT_EQ(grid.values[1], Fixed(wantTokens[1], 3));
  EXPECT_EQ(grid.values[2], "h1");

  // Back with the pair reversed, as the right panel's button does.
  const ConversionSetup back = MakeSetup(kWgs84, kEd50);
  ConversionSetup reverse = setup;
  reverse.pair = back.pair;
  const auto geo = ConvertPoint(Operation::kGridToGeodetic, grid.values, reverse);
  ASSERT_TRUE(geo.ok) << geo.message;
  EXPECT_NEAR(std::stod(geo.values[0]), 46.2, 2e-8);
  EXPECT_NEAR(std::stod(geo.values[1]), 52.9, 2e-8);
}

TEST(ConversionPoint, EcefOfTheIdentityPairMatchesGeographicLib) {
  const ConversionSetup setup = MakeSetup(kWgs84, kWgs84, {4, 8, 6, 4});
  const auto got =
      ConvertPoint(Operation::kGeodeticToEcef, {"41 30 15.5", "29 10 5", "120"}, setup);
  ASSERT_TRUE(got.ok) << got.message;
  double x, y, z;
  GeographicLib::Geocentric::WGS84().Forward(41 + 30 / 60.0 + 15.5 / 3600,
                                             29 + 10 / 60.0 + 5 / 3600.0, 120, x, y, z);
  EXPECT_NEAR(std::stod(got.values[0]), x, 1e-3);
  EXPECT_NEAR(std::stod(got.values[1]), y, 1e-3);
  EXPECT_NEAR(std::stod(got.values[2]), z, 1e-3);
}

TEST(ConversionPoint, FieldsThatAreNotExactlyOneNumberAreRefused) {
  const ConversionSetup setup = MakeSetup(kEd50, kWgs84);
  struct Case {
    Operation op;
    PointFields fields;
    const char* mentions;
  } cases[] = {
      {Operation::kGeodeticToEcef, {"46", "30", "10 m"}, "height"},
      {Operation::kGeodeticToEcef, {"46", "30", ""}, "height is empty"},
      {Operation::kGeodeticToEcef, {"N46", "30", "1"}, "latitude"},
      {Operation::kGeodeticToEcef, {"46 1 2 3", "30", "1"}, "latitude"},
      {Operation::kGeodeticToGeodetic, {"46", "east", "1"}, "longitude"},
      {Operation::kEcefToGeodetic, {"4000 000", "1", "1"}, "X"},
      {Operation::kEcefToEcef, {"1", "1", "nan"}, "Z"},
      {Operation::kGridToGeodetic, {"500 000", "4000000", ""}, "easting"},
      {Operation::kGeodeticToGrid, {"46", "", ""}, "longitude is empty"},
  };
  for (const Case& c : cases) {
    const auto got = ConvertPoint(c.op, c.fields, setup);
    EXPECT_FALSE(got.ok) << c.fields[0] << "|" << c.fields[1] << "|" << c.fields[2];
    EXPECT_NE(got.message.find(c.mentions), std::string::npos) << got.message;
  }
}

TEST(ConversionPoint, RefusesWithoutDatumsOrWithBadProjectionFields) {
  ConversionSetup none = MakeSetup(kEd50, kWgs84);
  none.pair.clear();
  EXPECT_EQ(ConvertPoint(Operation::kEcefToEcef, {"1", "2", "3"}, none).message, kNoDatumMessage);

  ConversionSetup spaced = MakeSetup(kEd50, kWgs84);
  spaced.tm.falseEasting = "500 000";  // once shifted every later number
  const auto got = ConvertPoint(Operation::kGeodeticToGrid, {"46", "52", ""}, spaced);
  EXPECT_FALSE(got.ok);
  EXPECT_NE(got.message.find("false easting"), std::string::npos);

  ConversionSetup shortPair = MakeSetup(kEd50, kWgs84);
  shortPair.pair = "6378137 0.0033528 0 0 0";
  EXPECT_FALSE(ConvertPoint(Operation::kEcefToEcef, {"1", "2", "3"}, shortPair).ok);
}

TEST(ConversionPoint, CoreFailuresAreReportedNotWritten) {
  const ConversionSetup setup = MakeSetup(kWgs84, kWgs84);
  // On the polar axis the core has no longitude: the empty text.
  const auto got = ConvertPoint(Operation::kEcefToGeodetic, {"0", "0", "6356752.314"}, setup);
  EXPECT_FALSE(got.ok);
  EXPECT_FALSE(got.message.empty());
  EXPECT_EQ(got.values, PointFields{});
}

TEST(ConversionPoint, CoarseDisplayDecimalsDoNotMoveGridCoordinates) {
  // With 2 degree decimals inside the chain the point would move by up to
  // 500 m; the printed easting must differ only by its own rounding.
  const ConversionSetup fine = MakeSetup(kEd50, kWgs84);
  const ConversionSetup coarse = MakeSetup(kEd50, kWgs84, {3, 2, 6, 4});
  const PointFields point{"46  12.123456789", "52   55   33.233", ""};
  const auto a = ConvertPoint(Operation::kGeodeticToGrid, point, fine);
  const auto b = ConvertPoint(Operation::kGeodeticToGrid, point, coarse);
  ASSERT_TRUE(a.ok && b.ok);
  EXPECT_EQ(a.values, b.values);

  const ConversionSetup coarseDistance = MakeSetup(kWgs84, kEd50, {0, 2, 6, 4});
  ConversionSetup fineBack = MakeSetup(kWgs84, kEd50);
  const auto c =
      ConvertPoint(Operation::kGridToGeodetic, {"9573000.5", "5100000.25", ""}, coarseDistance);
  const auto d =
      ConvertPoint(Operation::kGridToGeodetic, {"9573000.5", "5100000.25", ""}, fineBack);
  ASSERT_TRUE(c.ok && d.ok);
  EXPECT_EQ(c.values[0], Fixed(d.values[0], 2));
  EXPECT_EQ(c.values[1], Fixed(d.values[1], 2));
}

TEST(ConversionPoint, DmsEntersAsItsDecimalDegrees) {
  const ConversionSetup setup = MakeSetup(kEd50, kWgs84);
  const auto dms =
      ConvertPoint(Operation::kGeodeticToGeodetic, {"46 30 0", "-30 15 0", "1"}, setup);
  const auto dec = ConvertPoint(Operation::kGeodeticToGeodetic, {"46.5", "-30.25", "1"}, setup);
  ASSERT_TRUE(dms.ok && dec.ok);
  EXPECT_EQ(dms.values, dec.values);
}

CoordGrid GeodeticGrid(std::initializer_list<std::array<std::string_view, 4>> rows) {
  CoordGrid grid(4, 1);
  geodesy::SetGridHeader(grid, "No Latitude  Longitude Height");
  for (const auto& row : rows) grid.AppendRow({row[0], row[1], row[2], row[3]});
  return grid;
}

TEST(ConversionGrid, ConvertsEveryRowLikeThePointActionAndKeepsTheNames) {
  const ConversionSetup setup = MakeSetup(kEd50, kWgs84);
  CoordGrid source = GeodeticGrid({{"P1", "46 25 30.255", "-30 44 55.876", "10"},
                                   {"P2", "41.5", "29.2", "-3.5"},
                                   {"", "", "", ""},
                                   {"P4", "-12 30", "130 15", "0"}});
  CoordGrid target(4, 30);
  geodesy::SetGridHeader(target, "No X Y Z");
  GridConversion job(Operation::kGeodeticToEcef, source, target, setup, 3);
  job.RunToEnd(2);
  ASSERT_FALSE(job.Failed()) << job.Message();
  EXPECT_EQ(target.RowCount(), source.RowCount());
  EXPECT_EQ(target.Cell(1, 0), "X");
  for (std::size_t row = 1; row < source.RowCount(); ++row) {
    EXPECT_EQ(target.Cell(0, row), source.Cell(0, row));
    if (row == 3) {
      EXPECT_EQ(target.Cell(1, row), "");
      continue;
    }
    const auto point =
        ConvertPoint(Operation::kGeodeticToEcef,
                     {std::string(source.Cell(1, row)), std::string(source.Cell(2, row)),
                      std::string(source.Cell(3, row))},
                     setup);
    for (std::size_t col = 0; col < 3; ++col)
      EXPECT_EQ(target.Cell(col + 1, row), point.values[col]);
  }
}

TEST(ConversionGrid, StopsAtTheFailingRowNamesItAndKeepsTheRowsBefore) {
  const ConversionSetup setup = MakeSetup(kEd50, kWgs84);
  std::vector<std::array<std::string, 4>> rows;
  CoordGrid source(4, 1);
  for (int i = 1; i <= 1000; ++i) {
    const std::string name = "P" + std::to_string(i);
    const std::string lat = i == 700 ? "46,5" : "46.5";
    source.AppendRow({name, lat, "30.25", "1"});
  }
  CoordGrid target(4, 1);
  GridConversion job(Operation::kGeodeticToGrid, source, target, setup, 4);
  while (job.Step(300)) {
  }
  EXPECT_TRUE(job.Failed());
  EXPECT_EQ(job.FailedRow(), 700U);
  EXPECT_EQ(job.RowsDone(), 699U);
  EXPECT_NE(job.Message().find("row 700 (P700)"), std::string::npos) << job.Message();
  EXPECT_NE(job.Message().find("latitude"), std::string::npos) << job.Message();
  EXPECT_EQ(target.Cell(0, 699), "P699");
  EXPECT_FALSE(target.Cell(1, 699).empty());
  EXPECT_EQ(target.Cell(0, 700), "");
  EXPECT_EQ(target.Cell(1, 700), "");
}

TEST(ConversionGrid, ThreadsDoNotChangeTheResult) {
  const ConversionSetup setup = MakeSetup(kEd50, kWgs84);
  CoordGrid source(4, 1);
  for (int i = 0; i < 3000; ++i) {
    const std::string lat = geodesy::FormatG15(30 + i * 0.01L);
    const std::string lon = geodesy::FormatG15(49 + i * 0.001L);
    source.AppendRow({"P", lat, lon, "5"});
  }
  CoordGrid one(4, 1), many(4, 1);
  GridConversion a(Operation::kGeodeticToGrid, source, one, setup, 1);
  a.RunToEnd();
  GridConversion b(Operation::kGeodeticToGrid, source, many, setup, 5);
  b.RunToEnd(1000);
  ASSERT_FALSE(a.Failed() || b.Failed());
  EXPECT_EQ(one, many);
}

TEST(ConversionGrid, ARefusedSetupLeavesTheTargetAlone) {
  ConversionSetup setup = MakeSetup(kEd50, kWgs84);
  setup.pair.clear();
  CoordGrid source = GeodeticGrid({{"P1", "46", "30", "1"}});
  CoordGrid target = GeodeticGrid({{"keep", "1", "2", "3"}});
  const CoordGrid before = target;
  GridConversion job(Operation::kGeodeticToEcef, source, target, setup, 2);
  EXPECT_FALSE(job.Step(10));
  EXPECT_TRUE(job.Failed());
  EXPECT_EQ(job.Message(), kNoDatumMessage);
  EXPECT_EQ(target, before);
}

TEST(ConversionActions, EveryButtonConvertsFromItsPanelsDatumToTheOther) {
  // A chain through all pages with datum A on the left and B on the right
  // must come back to where it started: each button's pair order matters.
  const std::string a = kEd50, b = kWgs84;
  auto setupFor = [&](const ConversionAction& action) {
    // Left selectors (odd) show A, right selectors (even) show B.
    const auto datum = [&](int selector) { return selector % 2 == 1 ? a : b; };
    ConversionSetup s = MakeSetup(datum(action.pairFirst), datum(action.pairSecond));
    s.ellipsoid = "6378137 0.00335281066474748";  // Datum6 (right, B) is the grid's
    s.precision = {4, 10, 6, 4};
    return s;
  };
  auto run = [&](std::string_view button, const PointFields& in) {
    const ConversionAction* action = FindConversionAction(button);
    EXPECT_NE(action, nullptr);
    const auto out = ConvertPoint(action->operation, in, setupFor(*action));
    EXPECT_TRUE(out.ok) << button << ": " << out.message;
    return out.values;
  };
  const PointFields start{"46.5", "50.25", "100"};
  const auto ecef = run("SpeedButton1", start);
  const auto back0 = run("SpeedButton2", ecef);
  EXPECT_NEAR(std::stod(back0[0]), 46.5, 1e-9);
  EXPECT_NEAR(std::stod(back0[2]), 100, 1e-3);
  const auto right1 = run("SpeedButton5", start);
  EXPECT_GT(std::abs(std::stod(right1[0]) - 46.5), 1e-5);  // the datums differ
  const auto back1 = run("SpeedButton6", right1);
  EXPECT_NEAR(std::stod(back1[1]), 50.25, 1e-9);
  const auto grid = run("SpeedButton9", start);
  const auto back2 = run("SpeedButton10", grid);
  EXPECT_NEAR(std::stod(back2[0]), 46.5, 1e-8);
  const auto right3 = run("SpeedButton13", {"4000000", "2000000", "4500000"});
  const auto back3 = run("SpeedButton14", right3);
  EXPECT_NEAR(std::stod(back3[0]), 4000000, 1e-3);
  EXPECT_NEAR(std::stod(back3[2]), 4500000, 1e-3);
}

}  // namespace
}  // namespace halvex::geotools
