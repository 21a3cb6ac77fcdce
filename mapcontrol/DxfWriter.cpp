// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the drawing as DXF R12 through dxflib.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <string>

#include "mapcontrol/DxfFile.hpp"
#include "mapcontrol/Dxflib.hpp"
#include "mapcontrol/DxfText.hpp"
#include "platform/FileIo.hpp"

namespace halvex::mapcontrol {
namespace {

std::string ErrnoText(int code) { return std::strerror(code); }

bool WriteDxf(const DrawingModel& model, const std::string& path, std::string& error) {
  DL_Dxf dxf;
  std::unique_ptr<DL_WriterA> dw(dxf.out(path.c_str(), DL_Codes::AC1009));
  if (!dw || dw->openFailed()) {
    error = "cannot create '" + path + "': " + ErrnoText(errno);
    return false;
  }
  dxf.writeHeader(*dw);
  // Texts are written in code page 1252, what it cannot hold as "\U+XXXX".
  dw->dxfString(9, "$DWGCODEPAGE");
  dw->dxfString(3, "ANSI_1252");
  dw->sectionEnd();

  dw->sectionTables();
  dxf.writeVPort(*dw);

  dw->tableLinetypes(1);
  dxf.writeLinetype(*dw, DL_LinetypeData("CONTINUOUS", "Solid line", 0, 0, 0.0));
  dw->tableEnd();

  const bool has_zero = model.LayerFindByName("0") != kNoLayer;
  dw->tableLayers(static_cast<int>(model.LayerCount() + (has_zero ? 0 : 1)));
  if (!has_zero) {
    dxf.writeLayer(*dw, DL_LayerData("0", 0), DL_Attributes("", 7, 0, "CONTINUOUS", 1.0));
  }
  for (uint16_t l = 0; l < model.LayerCount(); ++l) {
    const bool off = (model.LayerAction(l) & kActionVisible) == 0;
    dxf.writeLayer(*dw, DL_LayerData(DxfNameValue(model.LayerName(l)), 0, off),
                   DL_Attributes("", NearestAci(model.LayerPenColor(l)), 0, "CONTINUOUS", 1.0));
  }
  dw->tableEnd();

  dw->tableStyle(1);
  dxf.writeStyle(*dw, DL_StyleData("STANDARD", 0, 0.0, 1.0, 0.0, 0, 1.0, "txt", ""));
  dw->tableEnd();

  dxf.writeView(*dw);
  dxf.writeUcs(*dw);

  dw->tableAppid(1);
  dxf.writeAppid(*dw, "ACAD");
  dw->tableEnd();

  dxf.writeDimStyle(*dw, 1, 1, 1, 1, 1);
  dw->sectionEnd();

  dw->sectionBlocks();
  dw->sectionEnd();

  dw->sectionEntities();
  for (uint16_t l = 0; l < model.LayerCount(); ++l) {
    const DL_Attributes by_layer(DxfNameValue(model.LayerName(l)), 256, 0, "BYLAYER", 1.0);
    model.ForEachShape(l, [&](const ShapeData& s) {
      // A colour of the shape's own: its index (62), and where no index
      // has it exactly, the nearest basic one and the true colour (420,
      // 0xRRGGBB) after the entity's other groups.
      DL_Attributes attributes = by_layer;
      int true_color = -1;
      if (s.color != kLayerColor) {
        const int aci = ExactAci(s.color);
        attributes.setColor(aci != 0 ? aci : NearestAci(s.color));
        if (aci == 0) {
          true_color = ((s.color & 0xFF) << 16) | (s.color & 0xFF00) | ((s.color >> 16) & 0xFF);
        }
      }
      auto write_true_color = [&] {
        if (true_color >= 0) dw->dxfInt(420, true_color);
      };
      switch (s.kind) {
        case ShapeKind::kLine:
          dxf.writeLine(*dw, DL_LineData(s.x1, s.y1, 0, s.x2, s.y2, 0), attributes);
          write_true_color();
          break;
        case ShapeKind::kPoint:
          dxf.writePoint(*dw, DL_PointData(s.x1, s.y1, 0), attributes);
          write_true_color();
          break;
        case ShapeKind::kCircle:
          dxf.writeCircle(*dw, DL_CircleData(s.x1, s.y1, 0, s.r), attributes);
          write_true_color();
          break;
        case ShapeKind::kArc: {
          const double end = s.a1 == s.a2 ? s.a1 + 360.0 : s.a2;
          dxf.writeArc(*dw, DL_ArcData(s.x1, s.y1, 0, s.r, s.a1, end), attributes);
          write_true_color();
          break;
        }
        case ShapeKind::kText: {
          const std::optional<Font> font = model.FontGet(s.font);
          double height = s.text_height;
          if (!(height > 0)) height = font && font->scale > 0 ? font->scale : 1.0;
          // Groups 72 and 73: left, centre, right; baseline, (bottom,)
          // middle, top. The anchor is then the alignment point.
          const int h = JustifyHorizontal(s.justify);
          const int v = JustifyVertical(s.justify);
          const int dxf_v = v == 0 ? 0 : v + 1;
          dxf.writeText(
              *dw,
              DL_TextData(s.x1, s.y1, 0, s.x1, s.y1, 0, height, 1.0, 0, h, dxf_v,
                          DxfTextValue(s.text), "STANDARD", s.rotation * std::numbers::pi / 180.0),
              attributes);
          write_true_color();
          break;
        }
        case ShapeKind::kPolyline:
          dxf.writePolyline(
              *dw, DL_PolylineData(static_cast<int>(s.points.size()), 0, 0, s.closed ? 1 : 0),
              attributes);
          write_true_color();
          // The width in world units as the default start and end width.
          if (s.width > 0) {
            dw->dxfReal(40, s.width);
            dw->dxfReal(41, s.width);
          }
          for (size_t i = 0; i < s.points.size(); ++i) {
            const double bulge = s.bulges.empty() ? 0.0 : s.bulges[i];
            dxf.writeVertex(*dw, DL_VertexData(s.points[i].x, s.points[i].y, 0, bulge));
          }
          dxf.writePolylineEnd(*dw);
          break;
      }
    });
  }
  dw->sectionEnd();
  dw->dxfEOF();
  dw->close();
  return true;
}

// dxflib prints reals with "%.16f" into a buffer of its own; a value past
// about 1e230 overruns it, and no DXF reader makes sense of one that large
// anyway. Every value written stays within this bound.
constexpr double kLargestDxfValue = 1e100;

bool Writable(double v) { return std::isfinite(v) && std::abs(v) <= kLargestDxfValue; }

// The first shape with a value no DXF file can hold, described for the
// user; nullopt when every value can be written.
std::optional<std::string> ValueBeyondDxf(const DrawingModel& model) {
  std::optional<std::string> found;
  for (uint16_t l = 0; l < model.LayerCount() && !found; ++l) {
    model.ForEachShape(l, [&](const ShapeData& s) {
      if (found) return;
      bool ok = Writable(s.x1) && Writable(s.y1);
      switch (s.kind) {
        case ShapeKind::kLine:
          ok = ok && Writable(s.x2) && Writable(s.y2);
          break;
        case ShapeKind::kCircle:
          ok = ok && Writable(s.r);
          break;
        case ShapeKind::kArc:
          ok = ok && Writable(s.r) && Writable(s.a1) && Writable(s.a2);
          break;
        case ShapeKind::kText: {
          const std::optional<Font> font = model.FontGet(s.font);
          ok = ok && Writable(s.text_height) && (!font || Writable(font->scale)) &&
               Writable(s.rotation);
          break;
        }
        case ShapeKind::kPolyline:
          for (const PointXY& p : s.points) ok = ok && Writable(p.x) && Writable(p.y);
          for (const double b : s.bulges) ok = ok && Writable(b);
          ok = ok && Writable(s.width);
          break;
        case ShapeKind::kPoint:
          break;
      }
      if (!ok) {
        found = "shape " + std::to_string(s.number) + " on layer \"" + model.LayerName(l) +
                "\" has a value that a DXF file cannot hold (not finite, or beyond 1e100)";
      }
    });
  }
  return found;
}

}  // namespace

bool SaveDxf(const DrawingModel& model, const std::string& path, std::string& error) {
  namespace fs = std::filesystem;
  if (const std::optional<std::string> bad = ValueBeyondDxf(model)) {
    error = "cannot write '" + path + "': " + *bad;
    return false;
  }
  // Write through a link to its target, never over a device or a FIFO.
  fs::path target;
  try {
    target = platform::ResolveOutputFile(path);
  } catch (const std::runtime_error& e) {
    error = e.what();
    return false;
  }
  fs::path temp = target;
  temp += ".tmp-" + std::to_string(::getpid());
  std::error_code ec;
  if (!WriteDxf(model, temp.string(), error)) {
    fs::remove(temp, ec);
    return false;
  }
  // dxflib does not tell whether its writes succeeded: check that the file
  // ends with the EOF marker it writes last.
  {
    std::ifstream check(temp, std::ios::binary | std::ios::ate);
    const std::streamoff size = check ? static_cast<std::streamoff>(check.tellg()) : -1;
    std::string tail(16, '\0');
    bool good = size >= 16;
    if (good) {
      check.seekg(size - 16);
      check.read(tail.data(), 16);
      good = check.good() && tail.find("EOF") != std::string::npos;
    }
    if (!good) {
      fs::remove(temp, ec);
      error = "cannot write '" + path + "': the file was not written completely";
      return false;
    }
  }
  // An existing file keeps its permission bits.
  {
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    bool kept = fd >= 0;
    if (kept) {
      try {
        platform::CopyPermissionBits(target, fd);
      } catch (const std::runtime_error& e) {
        error = e.what();
        kept = false;
      }
      ::close(fd);
    } else {
      error = "cannot write '" + path + "': " + ErrnoText(errno);
    }
    if (!kept) {
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    error = "cannot replace '" + path + "': " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace halvex::mapcontrol
