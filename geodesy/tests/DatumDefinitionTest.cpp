// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/DatumDefinition.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/FileIo.hpp"

namespace halvex::geodesy {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

DatumFields Wgs84() {
  DatumFields d;
  d.texts = {"WGS84", "0", "0", "0", "0", "0", "0", "0", "6378137", "298.257223563"};
  return d;
}

DatumFields Ed50() {
  DatumFields d;
  d.texts = {"ED50", "-1.2", "0.3", "-0.2", "0.5", "-84.1", "-101.8", "-129.7", "6378388", "297"};
  return d;
}

class TempFolder {
 public:
  TempFolder() {
    path_ = fs::temp_directory_path() /
            ("halvex-datum-" +
             std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() { fs::remove_all(path_); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

TEST(DatumFiles, SavedAsTenLinesAndLoadedBack) {
  TempFolder folder;
  const fs::path file = folder / (ProposedDatumFileName("ED50") + ".datum");
  SaveDatumFile(Ed50(), file);
  EXPECT_EQ(
      platform::ReadWholeFile(file).value(),
      "ED50\r\n-1.2\r\n0.3\r\n-0.2\r\n0.5\r\n-84.1\r\n-101.8\r\n-129.7\r\n6378388\r\n297\r\n");
  DatumFields loaded;
  const DatumFileLoad load = LoadDatumFile(file, loaded);
  EXPECT_EQ(load.fieldsSet, 10U);
  EXPECT_TRUE(load.error.empty());
  EXPECT_EQ(loaded, Ed50());

  // Texts are kept as typed, blanks included; LF line ends, a last line
  // without its line end and lines after the tenth are fine.
  DatumFields typed = Ed50();
  typed.Set(DatumField::kName, "  ED50 / Europe  ");
  typed.Set(DatumField::kShiftZ, "");
  SaveDatumFile(typed, file);
  DatumFields back;
  LoadDatumFile(file, back);
  EXPECT_EQ(back, typed);
  EXPECT_TRUE(LoadDatumText("A\n1\n2\n3\n4\n5\n6\n7\n8\n9", "x", back).error.empty());
  EXPECT_EQ(back.Get(DatumField::kInverseFlattening), "9");
  EXPECT_TRUE(LoadDatumText("A\n1\n2\n3\n4\n5\n6\n7\n8\n9\r\nextra\n", "x", back).error.empty());
  EXPECT_EQ(back.Get(DatumField::kInverseFlattening), "9");

  EXPECT_EQ(ProposedDatumFileName("ED50/UTM 35/36"), "ED50_UTM 35_36");
  EXPECT_EQ(ProposedDatumFileName("a\0b"s), "a_b");
}

TEST(DatumFiles, ShortAndUnreadableFiles) {
  // A short file sets the fields it has, in order, and says what is missing.
  DatumFields fields = Wgs84();
  DatumFileLoad load = LoadDatumText("ED50\r\n-1.2\r\n0.3\r\n", "short.datum", fields);
  EXPECT_EQ(load.fieldsSet, 3U);
  EXPECT_NE(load.error.find("short.datum"), std::string::npos);
  EXPECT_NE(load.error.find("3 of its ten lines"), std::string::npos);
  EXPECT_EQ(fields.Name(), "ED50");
  EXPECT_EQ(fields.Get(DatumField::kRotationX), "0.3");
  EXPECT_EQ(fields.Get(DatumField::kRotationY), "0");
  EXPECT_EQ(fields.Get(DatumField::kSemiMajorAxis), "6378137");

  fields = Wgs84();
  load = LoadDatumText("", "empty.datum", fields);
  EXPECT_EQ(load.fieldsSet, 0U);
  EXPECT_FALSE(load.error.empty());
  EXPECT_EQ(fields, Wgs84());

  // A file that cannot be read changes nothing.
  TempFolder folder;
  load = LoadDatumFile(folder / "missing.datum", fields);
  EXPECT_EQ(load.fieldsSet, 0U);
  EXPECT_NE(load.error.find("missing.datum"), std::string::npos);
  EXPECT_EQ(fields, Wgs84());
  load = LoadDatumFile(folder / "", fields);
  EXPECT_FALSE(load.error.empty());
  EXPECT_EQ(fields, Wgs84());

  // A failed save keeps the old file.
  const fs::path file = folder / "kept.datum";
  SaveDatumFile(Wgs84(), file);
  fs::create_directory(folder / "dir.datum");
  EXPECT_THROW(SaveDatumFile(Ed50(), folder / "dir.datum"), std::runtime_error);
  EXPECT_THROW(SaveDatumFile(Ed50(), file / "below"), std::runtime_error);
  DatumFields kept;
  LoadDatumFile(file, kept);
  EXPECT_EQ(kept, Wgs84());
}

TEST(DatumSelectors, ToggleColourAndReset) {
  DatumSelector selector;
  EXPECT_EQ(selector.text, kSelectDatumPrompt);
  EXPECT_EQ(selector.colour, kColourRed);
  ToggleDatumSelector(selector, "WGS84", "ED50");
  EXPECT_EQ(selector.text, "WGS84");
  EXPECT_EQ(selector.colour, 0xFFFF00U);  // aqua, blue-green-red
  ToggleDatumSelector(selector, "WGS84", "ED50");
  EXPECT_EQ(selector.text, "ED50");
  EXPECT_EQ(selector.colour, 0x00FF00U);  // lime
  ToggleDatumSelector(selector, "WGS84", "ED50");
  EXPECT_EQ(selector.text, "WGS84");
  // A renamed datum leaves the selector showing neither: red.
  ColourDatumSelector(selector, "WGS 84", "ED50");
  EXPECT_EQ(selector.colour, 0x0000FFU);

  // An empty name is passed over, and never shown as a choice.
  DatumSelector empty;
  ToggleDatumSelector(empty, "", "ED50");
  EXPECT_EQ(empty.text, "ED50");
  ToggleDatumSelector(empty, "", "ED50");
  EXPECT_EQ(empty.text, "ED50");
  ToggleDatumSelector(empty, "", "");
  EXPECT_EQ(empty.text, kSelectDatumPrompt);
  EXPECT_EQ(empty.colour, kColourRed);
  DatumSelector blank{"", kColourAqua};
  ColourDatumSelector(blank, "", "ED50");
  EXPECT_EQ(blank.colour, kColourRed);

  std::array<DatumSelector, 3> all = {selector, selector, empty};
  ResetDatumSelectors(all);
  for (const DatumSelector& s : all) {
    EXPECT_EQ(s, DatumSelector{});
  }
}

TEST(DatumSelectors, DefinitionsResetSelectorsOnEveryChange) {
  TempFolder folder;
  DatumDefinitions defs;
  for (std::size_t i = 0; i < DatumDefinitions::kSelectorCount; ++i) {
    EXPECT_EQ(defs.Selector(i), DatumSelector{});
  }
  defs.SetDatum(DatumSide::kA, Wgs84());
  defs.SetDatum(DatumSide::kB, Ed50());
  defs.Toggle(0);
  defs.Toggle(1);
  defs.Toggle(1);
  EXPECT_EQ(defs.Selector(0).text, "WGS84");
  EXPECT_EQ(defs.Selector(1).text, "ED50");
  EXPECT_TRUE(defs.DatumPair(0, 1).Ok());

  // Setting a field to the text it has changes nothing; any other text
  // resets all eight selectors.
  EXPECT_FALSE(defs.SetField(DatumSide::kB, DatumField::kShiftX, "-84.1"));
  EXPECT_EQ(defs.Selector(1).text, "ED50");
  EXPECT_TRUE(defs.SetField(DatumSide::kB, DatumField::kShiftX, "-84.10"));
  EXPECT_EQ(defs.Selector(0), DatumSelector{});
  EXPECT_EQ(defs.Selector(1), DatumSelector{});
  EXPECT_EQ(defs.DatumPair(0, 1).status, PairStatus::kNoDatum);

  // Loading into datum B resets them too, and saving writes what is shown.
  defs.Toggle(2);
  SaveDatumFile(Ed50(), folder / "ed50.datum");
  EXPECT_TRUE(defs.Load(DatumSide::kB, folder / "ed50.datum").error.empty());
  EXPECT_EQ(defs.Datum(DatumSide::kB), Ed50());
  EXPECT_EQ(defs.Selector(2), DatumSelector{});
  defs.Save(DatumSide::kA, folder / "wgs.datum");
  DatumFields saved;
  LoadDatumFile(folder / "wgs.datum", saved);
  EXPECT_EQ(saved, Wgs84());

  EXPECT_FALSE(defs.CloseWarning().has_value());
  defs.SetField(DatumSide::kB, DatumField::kName, "WGS84");
  EXPECT_EQ(defs.CloseWarning().value(), kSameNamesMessage);
}

TEST(DatumPairs, TextsInSelectorOrder) {
  const std::string wgs = "6378137 0.00335281066474748 0 0 0 0 0 0 0";
  const std::string ed50 = "6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5 -84.1 -101.8 -129.7";
  PairResult pair = DatumPairFromFields(Wgs84(), Ed50(), "WGS84", "ED50");
  ASSERT_TRUE(pair.Ok()) << pair.message;
  EXPECT_EQ(pair.text, wgs + " " + ed50);
  EXPECT_EQ(DatumPairFromFields(Wgs84(), Ed50(), "ED50", "WGS84").text, ed50 + " " + wgs);
  EXPECT_EQ(DatumPairFromFields(Wgs84(), Ed50(), "ED50", "ED50").text, ed50 + " " + ed50);
  EXPECT_EQ(DatumPairFromFields(Wgs84(), Ed50(), "WGS84", "WGS84").text, wgs + " " + wgs);

  PairResult ellipsoid = EllipsoidPairFromFields(Wgs84(), Ed50(), "ED50", "WGS84");
  EXPECT_EQ(ellipsoid.text, "6378388 0.00336700336700337 6378137 0.00335281066474748");

  // No selection: the prompt, a stale name, or a datum with an empty name.
  for (const auto& [first, second] : std::vector<std::pair<std::string, std::string>>{
           {std::string(kSelectDatumPrompt), "ED50"}, {"WGS84", "ED 50"}, {"", ""}}) {
    pair = DatumPairFromFields(Wgs84(), Ed50(), first, second);
    EXPECT_EQ(pair.status, PairStatus::kNoDatum) << first << "|" << second;
    EXPECT_TRUE(pair.text.empty());
  }
  DatumFields unnamed = Ed50();
  unnamed.Set(DatumField::kName, "");
  EXPECT_EQ(DatumPairFromFields(Wgs84(), unnamed, "WGS84", "").status, PairStatus::kNoDatum);

  // Fields pass as typed, blanks around them included.
  DatumFields padded = Ed50();
  padded.Set(DatumField::kShiftX, " -84.1 ");
  padded.Set(DatumField::kInverseFlattening, " 297 ");
  EXPECT_EQ(DatumPairFromFields(Wgs84(), padded, "WGS84", "ED50").text,
            wgs + " 6378388 0.00336700336700337 -1.2 0.3 -0.2 0.5  -84.1  -101.8 -129.7");
}

TEST(DatumPairs, EqualNamesAndBadFieldsGiveNoPair) {
  // Equal names, different numbers: which datum a selector means is not
  // known, so there is no pair.
  DatumFields twin = Ed50();
  twin.Set(DatumField::kName, "WGS84");
  const PairResult pair = DatumPairFromFields(Wgs84(), twin, "WGS84", "WGS84");
  EXPECT_EQ(pair.status, PairStatus::kSameNames);
  EXPECT_EQ(pair.message, kSameNamesMessage);
  EXPECT_TRUE(pair.text.empty());
  EXPECT_EQ(EllipsoidPairFromFields(Wgs84(), twin, "WGS84", "WGS84").status,
            PairStatus::kSameNames);
  // Equal names and equal numbers (written differently) are one datum.
  DatumFields copy = Wgs84();
  copy.Set(DatumField::kSemiMajorAxis, "6378137.000");
  copy.Set(DatumField::kScale, "-0");
  EXPECT_TRUE(DatumPairFromFields(Wgs84(), copy, "WGS84", "WGS84").Ok());
  // Same ellipsoid, other shifts: the ellipsoid text is still certain.
  DatumFields shifted = Wgs84();
  shifted.Set(DatumField::kShiftX, "5");
  EXPECT_TRUE(EllipsoidPairFromFields(Wgs84(), shifted, "WGS84", "WGS84").Ok());
  EXPECT_EQ(DatumPairFromFields(Wgs84(), shifted, "WGS84", "WGS84").status, PairStatus::kSameNames);

  // A field used must be exactly one number; 1/f must not be zero.
  struct Bad {
    DatumField field;
    const char* text;
  };
  for (const Bad& bad :
       {Bad{DatumField::kSemiMajorAxis, "6378 388"}, Bad{DatumField::kShiftX, "500 000"},
        Bad{DatumField::kShiftY, ""}, Bad{DatumField::kRotationZ, "0.5\""},
        Bad{DatumField::kInverseFlattening, "0"}, Bad{DatumField::kInverseFlattening, "-0.0"},
        Bad{DatumField::kInverseFlattening, "1e-4940"}, Bad{DatumField::kInverseFlattening, ""},
        Bad{DatumField::kScale, "nan"}}) {
    DatumFields broken = Ed50();
    broken.Set(bad.field, bad.text);
    const PairResult pair = DatumPairFromFields(Wgs84(), broken, "WGS84", "ED50");
    EXPECT_EQ(pair.status, PairStatus::kBadField) << bad.text;
    EXPECT_EQ(pair.side, DatumSide::kB);
    EXPECT_EQ(pair.field, bad.field);
    EXPECT_TRUE(pair.text.empty());
    EXPECT_NE(pair.message.find(DatumFieldControlName(DatumSide::kB, bad.field)),
              std::string::npos);
  }
  // Only the fields a text uses are checked: the ellipsoid text ignores the
  // shifts, and a datum not selected is not looked at.
  DatumFields badShift = Ed50();
  badShift.Set(DatumField::kShiftX, "x");
  EXPECT_TRUE(EllipsoidPairFromFields(Wgs84(), badShift, "WGS84", "ED50").Ok());
  EXPECT_TRUE(DatumPairFromFields(Wgs84(), badShift, "WGS84", "WGS84").Ok());
  EXPECT_EQ(DatumFieldControlName(DatumSide::kA, DatumField::kInverseFlattening), "WGSf_1");
  EXPECT_EQ(DatumFieldControlName(DatumSide::kB, DatumField::kName), "SourceDatumName");
}

}  // namespace
}  // namespace halvex::geodesy
