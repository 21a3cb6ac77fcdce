// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small helpers shared by the drawing's file tests.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mapcontrol/DrawingModel.hpp"

namespace halvex::mapcontrol::test_files {

// Every shape of every layer, layer by layer in drawing order.
inline std::vector<ShapeData> AllShapes(const DrawingModel& m) {
  std::vector<ShapeData> all;
  for (size_t l = 0; l < m.LayerCount(); ++l) {
    m.ForEachShape(static_cast<uint16_t>(l), [&](const ShapeData& s) { all.push_back(s); });
  }
  return all;
}

inline std::string ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace halvex::mapcontrol::test_files
