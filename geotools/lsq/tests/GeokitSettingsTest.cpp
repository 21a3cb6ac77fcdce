// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/lsq/GeokitSettings.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/FileIo.hpp"

namespace halvex::geotools {
namespace {

class GeokitSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("halvex_geokit_settings_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path File() const { return dir_ / "geokit.INI"; }
  std::string Contents() const { return platform::ReadWholeFile(File()).value_or(""); }

  std::filesystem::path dir_;
};

GeokitSettings Filled() {
  GeokitSettings s;
  s.affineFileName = "/home/survey/affine control.txt";
  s.affine = {"10", "2.00000012", "-1.5e-07", "20", "0", "3"};
  s.similarityFileName = "sim.txt";
  s.xOrigin = "412.5";
  s.yOrigin = "-33.25";
  s.rotation = "45.0000001";
  s.scale = "1.41421356237310";
  s.blueDatum = {"ED50", "6378388", "297", "0", "0", "0", "0", "-87", "-98", "-121"};
  s.greenDatum = {"WGS84", "6378137", "298.257223563", "1", "2", "3", "4", "5", "6", "7"};
  for (std::size_t i = 0; i < s.datumNames.size(); ++i) {
    s.datumNames[i] = i % 2 == 0 ? "ED50" : "WGS84";
  }
  for (std::size_t i = 0; i < s.transformedValues.size(); ++i) {
    s.transformedValues[i] = "46  25  30.255 #" + std::to_string(i);
  }
  s.activePageIndex = 5;
  return s;
}

TEST_F(GeokitSettingsTest, FirstRunReadsEmptyTextsPageZeroAndNoTray) {
  EXPECT_EQ(ReadGeokitSettings(platform::IniStore(File())), GeokitSettings{});
}

TEST_F(GeokitSettingsTest, EverythingRoundTripsIncludingInnerBlanks) {
  platform::IniStore ini(File());
  const GeokitSettings s = Filled();
  WriteGeokitSettings(ini, s);
  WriteCloseToTray(ini, true);
  GeokitSettings expected = s;
  expected.closeToTray = true;
  EXPECT_EQ(ReadGeokitSettings(ini), expected);
  WriteCloseToTray(ini, false);
  EXPECT_FALSE(ReadGeokitSettings(ini).closeToTray);
}

TEST_F(GeokitSettingsTest, SimilarityKeysKeepTheirCrossedPairing) {
  platform::IniStore ini(File());
  WriteGeokitSettings(ini, Filled());
  // Files written by the program hold the rotation under "Scale" and the
  // scale factor under "Rotation"; files of earlier runs read the same way.
  EXPECT_EQ(ini.ReadString("Similarity", "Scale"), "45.0000001");
  EXPECT_EQ(ini.ReadString("Similarity", "Rotation"), "1.41421356237310");
  platform::WriteFileAtomically(File(), "[Similarity]\nXso=1\nYso=2\nScale=30\nRotation=0.5\n");
  const GeokitSettings read = ReadGeokitSettings(ini);
  EXPECT_EQ(read.rotation, "30");
  EXPECT_EQ(read.scale, "0.5");
}

TEST_F(GeokitSettingsTest, SectionsAndKeysAsTheFileHoldsThem) {
  platform::IniStore ini(File());
  WriteGeokitSettings(ini, Filled());
  const std::string text = Contents();
  // Sections in the order of the table; close to tray is not written here.
  std::size_t at = 0;
  bool first = true;
  for (const char* section : {"[Affine]", "[Similarity]", "[BlueDatum]", "[GreenDatum]",
                              "[DatumNames]", "[TransformedValues]", "[PageControl]"}) {
    const std::size_t found = text.find(section);
    ASSERT_NE(found, std::string::npos) << section;
    EXPECT_TRUE(first || found > at) << section;
    first = false;
    at = found;
  }
  EXPECT_EQ(text.find("CloseToTray"), std::string::npos);
  EXPECT_EQ(ini.ReadString("Affine", "B0"), "20");
  EXPECT_EQ(ini.ReadString("BlueDatum", "InverseFlatening"), "297");
  EXPECT_EQ(ini.ReadString("GreenDatum", "ZShift"), "7");
  EXPECT_EQ(ini.ReadString("DatumNames", "XYZTr_Right"), "WGS84");
  EXPECT_EQ(ini.ReadString("TransformedValues", "UTMTNorthing"), "46  25  30.255 #16");
  EXPECT_EQ(ini.ReadString("TransformedValues", "XYZTZ2"), "46  25  30.255 #22");
  EXPECT_EQ(ini.ReadInteger("PageControl", "ActivePageIndex", -1), 5);
  // A page index that is not an integer reads as page 0.
  ini.WriteString("PageControl", "ActivePageIndex", "two");
  EXPECT_EQ(ReadGeokitSettings(ini).activePageIndex, 0);
}

// The settings go to the file in one replacement, and the file is the one
// the writes key by key gave: over another program section and the
// close-to-tray choice, and over the settings of an earlier run.
TEST_F(GeokitSettingsTest, OneReplacementGivesTheFileOfTheWritesKeyByKey) {
  const GeokitSettings s = Filled();
  auto keyByKey = [&s](platform::IniStore& ini) {
    ini.WriteString("Affine", "FileName", s.affineFileName);
    const char* affineKeys[] = {"A0", "A1", "A2", "B0", "B1", "B2"};
    for (std::size_t i = 0; i < 6; ++i) {
      ini.WriteString("Affine", affineKeys[i], s.affine[i]);
    }
    ini.WriteString("Similarity", "FileName", s.similarityFileName);
    ini.WriteString("Similarity", "Xso", s.xOrigin);
    ini.WriteString("Similarity", "Yso", s.yOrigin);
    ini.WriteString("Similarity", "Scale", s.rotation);
    ini.WriteString("Similarity", "Rotation", s.scale);
    for (const auto& [section, d] :
         {std::pair{"BlueDatum", &s.blueDatum}, std::pair{"GreenDatum", &s.greenDatum}}) {
      const std::string* fields[] = {
          &d->name,      &d->semiMajorAxis, &d->inverseFlattening, &d->scaleDifference,
          &d->xRotation, &d->yRotation,     &d->zRotation,         &d->xShift,
          &d->yShift,    &d->zShift};
      for (std::size_t i = 0; i < 10; ++i) {
        ini.WriteString(section, kDatumKeys[i], *fields[i]);
      }
    }
    for (std::size_t i = 0; i < 8; ++i) {
      ini.WriteString("DatumNames", kDatumNameKeys[i], s.datumNames[i]);
    }
    for (std::size_t i = 0; i < kTransformedValueKeys.size(); ++i) {
      ini.WriteString("TransformedValues", kTransformedValueKeys[i], s.transformedValues[i]);
    }
    ini.WriteInteger("PageControl", "ActivePageIndex", s.activePageIndex);
  };
  GeokitSettings earlier = Filled();
  earlier.affine[2] = "old";
  earlier.blueDatum.zShift = "";
  const std::string others = "[Window]\nLeft = 10\n[CloseToTray]\nCloseToTray=1\n";
  for (int start = 0; start < 3; ++start) {
    platform::IniStore single(dir_ / "single.INI"), batch(File());
    if (start == 1) {
      platform::WriteFileAtomically(single.Path(), others);
      platform::WriteFileAtomically(batch.Path(), others);
    } else if (start == 2) {
      WriteGeokitSettings(single, earlier);
      WriteGeokitSettings(batch, earlier);
    }
    keyByKey(single);
    WriteGeokitSettings(batch, s);
    EXPECT_EQ(Contents(), platform::ReadWholeFile(single.Path()).value_or("")) << start;
    std::filesystem::remove(single.Path());
    std::filesystem::remove(batch.Path());
  }
}

TEST_F(GeokitSettingsTest, AValueTheFileCannotHoldChangesNothing) {
  platform::IniStore ini(File());
  WriteGeokitSettings(ini, Filled());
  const std::string before = Contents();
  GeokitSettings bad = Filled();
  bad.affine[0] = "changed";
  bad.transformedValues[22] = "two\nlines";
  EXPECT_THROW(WriteGeokitSettings(ini, bad), std::invalid_argument);
  EXPECT_EQ(Contents(), before);
}

}  // namespace
}  // namespace halvex::geotools
