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
  // One replacement of the file for all the keys: a write per key costs a
  // load and an atomic save each, about a second at the window's closing.
  const auto table = Table<const GeokitSettings, const std::string*>(settings);
  const std::string pageIndex = std::to_string(settings.activePageIndex);
  std::vector<platform::IniStore::Entry> entries;
  entries.reserve(table.size() + 1);
  for (const auto& [section, entry] : table) {
    entries.push_back({section, entry.first, *entry.second});
  }
  entries.push_back({"PageControl", "ActivePageIndex", pageIndex});
  ini.WriteStrings(entries);
}

void WriteCloseToTray(platform::IniStore& ini, bool checked) {
  ini.WriteInteger("CloseToTray", "CloseToTray", checked ? 1 : 0);
}

}  // namespace halvex::geotools
