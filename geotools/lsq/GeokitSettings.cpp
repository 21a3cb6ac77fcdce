// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/lsq/GeokitSettings.hpp"

#include <utility>
#include <vector>

namespace halvex::geotools {

namespace {

using Entry = std::pair<std::string_view, std::string*>;
using ConstEntry = std::pair<std::string_view, const std::string*>;

// One table of (section, key, field) drives both directions, so reading and
// writing cannot disagree on a pairing.
template <class Settings, class Field>
std::vector<std::pair<std::string_view, std::pair<std::string_view, Field>>> Table(Settings& s) {
  std::vector<std::pair<std::string_view, std::pair<std::string_view, Field>>> t;
  t.push_back({"Affine", {"FileName", &s.affineFileName}});
  static constexpr std::array<std::string_view, 6> kAffineKeys = {"A0", "A1", "A2",
                                                                  "B0", "B1", "B2"};
  for (std::size_t i = 0; i < 6; ++i) {
    t.push_back({"Affine", {kAffineKeys[i], &s.affine[i]}});
  }
  t.push_back({"Similarity", {"FileName", &s.similarityFileName}});
  t.push_back({"Similarity", {"Xso", &s.xOrigin}});
  t.push_back({"Similarity", {"Yso", &s.yOrigin}});
  t.push_back({"Similarity", {"Scale", &s.rotation}});
  t.push_back({"Similarity", {"Rotation", &s.scale}});
  for (auto [section, datum] : {std::pair{std::string_view("BlueDatum"), &s.blueDatum},
                                std::pair{std::string_view("GreenDatum"), &s.greenDatum}}) {
    const std::array<Field, 10> fields = {&datum->name,
                                          &datum->semiMajorAxis,
                                          &datum->inverseFlattening,
                                          &datum->scaleDifference,
                                          &datum->xRotation,
                                          &datum->yRotation,
                                          &datum->zRotation,
                                          &datum->xShift,
                                          &datum->yShift,
                                          &datum->zShift};
    for (std::size_t i = 0; i < 10; ++i) {
      t.push_back({section, {kDatumKeys[i], fields[i]}});
    }
  }
  for (std::size_t i = 0; i < kDatumNameKeys.size(); ++i) {
    t.push_back({"DatumNames", {kDatumNameKeys[i], &s.datumNames[i]}});
  }
  for (std::size_t i = 0; i < kTransformedValueKeys.size(); ++i) {
    t.push_back({"TransformedValues", {kTransformedValueKeys[i], &s.transformedValues[i]}});
  }
  return t;
}

}  // namespace

GeokitSettings ReadGeokitSettings(const platform::IniStore& ini) {
  GeokitSettings s;
  for (const auto& [section, entry] : Table<GeokitSettings, std::string*>(s)) {
    *entry.second = ini.ReadString(section, entry.first, "");
  }
  s.activePageIndex = ini.ReadInteger("PageControl", "ActivePageIndex", 0);
  s.closeToTray = ini.ReadInteger("CloseToTray", "CloseToTray", 0) != 0;
  return s;
}

void WriteGeokitSettings(platform::IniStore& ini, const GeokitSettings& settings) {
  for (const auto& [section, entry] : Table<const GeokitSettings, const std::string*>(settings)) {
    ini.WriteString(section, entry.first, *entry.second);
  }
  ini.WriteInteger("PageControl", "ActivePageIndex", settings.activePageIndex);
}

void WriteCloseToTray(platform::IniStore& ini, bool checked) {
  ini.WriteInteger("CloseToTray", "CloseToTray", checked ? 1 : 0);
}

}  // namespace halvex::geotools
