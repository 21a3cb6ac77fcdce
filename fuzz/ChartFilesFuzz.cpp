// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzz entry point over the chart's file readers: the project file (SQLite)
// and DXF import.
//
// An input is one selector byte and the file's bytes:
//   byte 0    even: the rest is read by ProjectFile::Load; odd: by LoadDxf
//   bytes 1.. the file, written to a temporary file and removed afterwards
//
// The drawing read into already holds a small drawing. Besides sanitizer
// findings, the entry point aborts when a reader breaks a promise:
//   - a refused file leaves the drawing (layers, their style, shapes, fonts
//     and the next shape number) and, for DXF, the load report unchanged, and
//     gives a reason;
//   - a file that was read gives a drawing whose shape count is the sum of
//     its layers' counts, whose shapes are numbered below the next number,
//     and (for DXF) whose report counts the shapes added.
//
// Whatever a reader accepted is then written by both writers (DXF export and
// project save), so the writers are fuzzed with every drawing the readers
// can produce; a saved project must load back with all its shapes, and an
// exported DXF file must load back with the same shapes, kind by kind, on
// layers of the same names.
//
// DXF block expansion runs under a small limit (kBlockExpansionLimit), so
// that inputs which reach it stay fast; the code that enforces it is the same
// for any limit.

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "mapcontrol/DrawingModel.hpp"
#include "mapcontrol/DxfFile.hpp"
#include "mapcontrol/ProjectFile.hpp"

namespace {

namespace fs = std::filesystem;
namespace mc = halvex::mapcontrol;

constexpr std::size_t kBlockExpansionLimit = 20000;

struct LayerState {
  std::string name;
  int pen_color;
  int pen_width;
  int brush_color;
  uint32_t action;
  mc::BrushStyle brush_style;
  std::vector<mc::ShapeData> shapes;
  friend bool operator==(const LayerState&, const LayerState&) = default;
};

struct FontState {
  std::string name;
  double scale;
  friend bool operator==(const FontState&, const FontState&) = default;
};

struct ModelState {
  std::vector<LayerState> layers;
  std::vector<FontState> fonts;
  size_t shape_count;
  uint32_t next_number;
  friend bool operator==(const ModelState&, const ModelState&) = default;
};

ModelState Snapshot(const mc::DrawingModel& model) {
  ModelState state;
  for (size_t i = 0; i < model.LayerCount(); ++i) {
    const auto layer = static_cast<uint16_t>(i);
    LayerState layer_state{model.LayerName(layer),     model.LayerPenColor(layer),
                           model.LayerPenWidth(layer), model.LayerBrushColor(layer),
                           model.LayerAction(layer),   model.LayerBrushStyle(layer),
                           {}};
    model.ForEachShape(layer,
                       [&](const mc::ShapeData& shape) { layer_state.shapes.push_back(shape); });
    state.layers.push_back(std::move(layer_state));
  }
  for (size_t i = 0; i < model.FontCount(); ++i) {
    const std::optional<mc::Font> font = model.FontGet(static_cast<int32_t>(i + 1));
    state.fonts.push_back(font ? FontState{font->name, font->scale} : FontState{"?", -1});
  }
  state.shape_count = model.ShapeCount();
  state.next_number = model.NextShapeNumber();
  return state;
}

// The drawing every input is read into: two layers with one shape of each
// kind and a font.
void FillModel(mc::DrawingModel& model) {
  const uint16_t track = model.LayerOpen("track");
  const uint16_t vessel = model.LayerOpen("vessel");
  model.LayerSetPenColor(vessel, 0x0000FF);
  model.LayerSetPenWidth(vessel, 2);
  model.LayerSetAction(vessel, mc::kActionVisible);
  const int32_t font = model.FontOpen("Arial", 2.5);
  model.DrawPoint(1000.0, 2000.0, track);
  model.DrawLine(1000.0, 2000.0, 1010.0, 2005.0, track);
  model.DrawCircle(1005.0, 2002.0, 3.0, vessel);
  model.TextAdd(vessel, "FIX 1", 1000.0, 2000.0, font);
  model.DrawPolyline({{0, 0}, {5, 0}, {5, 5}}, true, vessel);
  model.DrawArc(10.0, 10.0, 4.0, 30.0, 120.0, track);
  model.ShapeSelect(2);
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_chart_files: %s\n", what);
    std::abort();
  }
}

void CheckConsistent(const mc::DrawingModel& model) {
  size_t sum = 0;
  for (size_t i = 0; i < model.LayerCount(); ++i) {
    const auto layer = static_cast<uint16_t>(i);
    sum += model.LayerShapeCount(layer);
    model.ForEachShape(layer, [&](const mc::ShapeData& shape) {
      Check(shape.number != 0 && shape.number < model.NextShapeNumber(),
            "shape number not below the next number");
      Check(shape.layer == layer, "shape on another layer than it is listed in");
    });
  }
  Check(sum == model.ShapeCount(), "shape count differs from the layers' counts");
}

// A file name unique to this process and call, removed (with any SQLite side
// files) when it goes out of scope.
class TempFile {
 public:
  explicit TempFile(const char* extension) {
    static std::atomic<unsigned long> counter{0};
    path_ = fs::temp_directory_path() / ("halvex_fuzz_chart_" + std::to_string(getpid()) + "_" +
                                         std::to_string(counter.fetch_add(1)) + extension);
  }
  ~TempFile() {
    std::error_code error;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
      fs::remove(fs::path(path_.string() + suffix), error);
    }
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const fs::path& path() const { return path_; }

  bool Write(const uint8_t* data, size_t size) const {
    std::ofstream stream(path_, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(stream);
  }

 private:
  fs::path path_;
};

// The kinds of a drawing's shapes in drawing order, layer by layer under the
// layer's name as DXF writes it (layers whose names DXF writes alike are
// one); layers without shapes are left out.
std::map<std::string, std::vector<mc::ShapeKind>> KindsByLayer(const mc::DrawingModel& model) {
  std::map<std::string, std::vector<mc::ShapeKind>> kinds;
  for (size_t i = 0; i < model.LayerCount(); ++i) {
    const auto layer = static_cast<uint16_t>(i);
    if (model.LayerShapeCount(layer) == 0) continue;
    std::vector<mc::ShapeKind>& layer_kinds = kinds[mc::DxfLayerName(model.LayerName(layer))];
    model.ForEachShape(layer,
                       [&](const mc::ShapeData& shape) { layer_kinds.push_back(shape.kind); });
  }
  return kinds;
}

// Whatever was read is written again by both writers: they must not crash
// on any drawing a reader produced, must give a reason when they refuse, and
// what they write must read back.
void ExportAgain(const mc::DrawingModel& model) {
  std::string error;
  TempFile dxf(".dxf");
  if (mc::SaveDxf(model, dxf.path().string(), error)) {
    mc::DrawingModel back;
    mc::DxfLoadReport report;
    error.clear();
    if (!mc::LoadDxf(dxf.path().string(), back, report, error,
                     mc::DxfLoadOptions{.block_expansion_limit = kBlockExpansionLimit})) {
      std::fprintf(stderr, "fuzz_chart_files: reading the export back: %s\n", error.c_str());
      Check(false, "an exported DXF file does not load");
    }
    const auto kinds = KindsByLayer(model);
    const auto kinds_back = KindsByLayer(back);
    if (kinds_back != kinds) {
      for (const auto* side : {&kinds, &kinds_back}) {
        std::fprintf(stderr, side == &kinds ? "written:\n" : "read back:\n");
        for (const auto& [name, layer_kinds] : *side) {
          std::fprintf(stderr, "  layer \"%s\":", name.c_str());
          for (const mc::ShapeKind kind : layer_kinds) {
            std::fprintf(stderr, " %d", static_cast<int>(kind));
          }
          std::fprintf(stderr, "\n");
        }
      }
    }
    Check(back.ShapeCount() == model.ShapeCount(), "an exported DXF file lost or gained shapes");
    Check(kinds_back == kinds, "an exported DXF file reads back with other shapes");
  } else {
    Check(!error.empty(), "DXF export refused without a reason");
  }
  error.clear();
  TempFile project(".hxv");
  if (mc::ProjectFile::Save(model, project.path(), error)) {
    mc::DrawingModel back;
    Check(mc::ProjectFile::Load(project.path(), back, error), "a saved project does not load");
    Check(back.ShapeCount() == model.ShapeCount(), "a saved project lost shapes");
  } else {
    Check(!error.empty(), "project save refused without a reason");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) {
    return 0;
  }
  const bool dxf = (data[0] & 1) != 0;
  TempFile file(dxf ? ".dxf" : ".hxv");
  if (!file.Write(data + 1, size - 1)) {
    return 0;
  }

  mc::DrawingModel model;
  FillModel(model);
  const ModelState before = Snapshot(model);
  std::string error;

  if (!dxf) {
    if (mc::ProjectFile::Load(file.path(), model, error)) {
      CheckConsistent(model);
      ExportAgain(model);
    } else {
      Check(!error.empty(), "project file refused without a reason");
      Check(Snapshot(model) == before, "refused project file changed the drawing");
    }
    return 0;
  }

  mc::DxfLoadReport report;
  report.unsupported["SENTINEL"] = 7;
  report.shapes = 99;
  report.version = "sentinel";
  if (mc::LoadDxf(file.path().string(), model, report, error,
                  mc::DxfLoadOptions{.block_expansion_limit = kBlockExpansionLimit})) {
    CheckConsistent(model);
    Check(report.shapes == model.ShapeCount(), "report counts other shapes than were added");
    ExportAgain(model);
  } else {
    Check(!error.empty(), "DXF refused without a reason");
    Check(Snapshot(model) == before, "refused DXF changed the drawing");
    Check(report.unsupported.size() == 1 && report.unsupported.at("SENTINEL") == 7 &&
              report.shapes == 99 && report.version == "sentinel",
          "refused DXF changed the report");
  }
  return 0;
}
