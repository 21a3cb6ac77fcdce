// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/DxfFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <memory>
#include <numbers>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wfloat-conversion"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
#include <dxflib/dl_creationadapter.h>
#include <dxflib/dl_dxf.h>
#pragma GCC diagnostic pop

#include "platform/FileIo.hpp"

namespace halvex::mapcontrol {
namespace {

// The basic colour indices 1..9 as 0xBBGGRR. Index 7 is drawn black on a
// light background and white on a dark one: both colours are near it.
constexpr std::array<int, 9> kAciColors = {
    0x0000FF,  // 1 red
    0x00FFFF,  // 2 yellow
    0x00FF00,  // 3 green
    0xFFFF00,  // 4 cyan
    0xFF0000,  // 5 blue
    0xFF00FF,  // 6 magenta
    0x000000,  // 7 black (or white)
    0x808080,  // 8 dark grey
    0xC0C0C0,  // 9 light grey
};

long Distance2(int a, int b) {
  long sum = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const long d = ((a >> shift) & 0xFF) - ((b >> shift) & 0xFF);
    sum += d * d;
  }
  return sum;
}

std::string ErrnoText(int code) { return std::strerror(code); }

// The signs DXF writes as control codes, as UTF-8 in the drawing.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kSpecialSigns = {{
    {"%%d", "\u00B0"},  // degree
    {"%%p", "\u00B1"},  // plus-minus
    {"%%c", "\u2300"},  // diameter
}};

}  // namespace

// A layer's name as DXF takes it: not empty, and without control
// characters, which would end the group value (each becomes "_").
std::string DxfLayerName(const std::string& name) {
  if (name.empty()) return "_";
  std::string out = name;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  }
  return out;
}

// A text as a DXF group value: a value ends at the line's end, so line
// breaks are written as "\P" (MTEXT's paragraph code) and other control
// characters as blanks; the degree, plus-minus and diameter signs become
// DXF's %%d, %%p and %%c.
std::string ToDxfText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      out += "\\P";
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      out += ' ';
      continue;
    }
    bool replaced = false;
    for (const auto& [code, sign] : kSpecialSigns) {
      if (text.compare(i, sign.size(), sign) == 0) {
        out += code;
        i += sign.size() - 1;
        replaced = true;
        break;
      }
    }
    if (!replaced) out += c;
  }
  return out;
}

// The reverse of ToDxfText: %%d, %%p, %%c in either case, %%% as a percent
// sign and, with `paragraphs` (TEXT; MTEXT has its own codes read before),
// "\P" as a line break.
std::string FromDxfText(const std::string& text, bool paragraphs) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "%%") == 0 && i + 2 < text.size()) {
      const char code = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 2])));
      bool replaced = false;
      for (const auto& [dxf, sign] : kSpecialSigns) {
        if (dxf[2] == code) {
          out += sign;
          replaced = true;
        }
      }
      if (code == '%') {
        out += '%';
        replaced = true;
      }
      if (replaced) {
        i += 2;
        continue;
      }
    }
    if (paragraphs && text.compare(i, 2, "\\P") == 0) {
      out += '\n';
      ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

int NearestAci(int bgr) {
  bgr &= 0xFFFFFF;
  int best = 7;
  long best_distance = std::min(Distance2(bgr, 0x000000), Distance2(bgr, 0xFFFFFF));
  for (int i = 0; i < 9; ++i) {
    const long d = Distance2(bgr, kAciColors[static_cast<size_t>(i)]);
    if (d < best_distance) {
      best_distance = d;
      best = i + 1;
    }
  }
  return best;
}

int AciToBgr(int aci) {
  aci = std::abs(aci);
  if (aci >= 1 && aci <= 9) return kAciColors[static_cast<size_t>(aci - 1)];
  return kDefaultPenColor;
}

// ---------------------------------------------------------------- writing

namespace {

bool WriteDxf(const DrawingModel& model, const std::string& path, std::string& error) {
  DL_Dxf dxf;
  std::unique_ptr<DL_WriterA> dw(dxf.out(path.c_str(), DL_Codes::AC1009));
  if (!dw || dw->openFailed()) {
    error = "cannot create '" + path + "': " + ErrnoText(errno);
    return false;
  }
  dxf.writeHeader(*dw);
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
    dxf.writeLayer(*dw, DL_LayerData(DxfLayerName(model.LayerName(l)), 0, off),
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
    const DL_Attributes attributes(DxfLayerName(model.LayerName(l)), 256, 0, "BYLAYER", 1.0);
    model.ForEachShape(l, [&](const ShapeData& s) {
      switch (s.kind) {
        case ShapeKind::kLine:
          dxf.writeLine(*dw, DL_LineData(s.x1, s.y1, 0, s.x2, s.y2, 0), attributes);
          break;
        case ShapeKind::kPoint:
          dxf.writePoint(*dw, DL_PointData(s.x1, s.y1, 0), attributes);
          break;
        case ShapeKind::kCircle:
          dxf.writeCircle(*dw, DL_CircleData(s.x1, s.y1, 0, s.r), attributes);
          break;
        case ShapeKind::kArc: {
          const double end = s.a1 == s.a2 ? s.a1 + 360.0 : s.a2;
          dxf.writeArc(*dw, DL_ArcData(s.x1, s.y1, 0, s.r, s.a1, end), attributes);
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
          dxf.writeText(*dw,
                        DL_TextData(s.x1, s.y1, 0, s.x1, s.y1, 0, height, 1.0, 0, h, dxf_v,
                                    ToDxfText(s.text), "STANDARD", 0.0),
                        attributes);
          break;
        }
        case ShapeKind::kPolyline:
          dxf.writePolyline(
              *dw, DL_PolylineData(static_cast<int>(s.points.size()), 0, 0, s.closed ? 1 : 0),
              attributes);
          for (const PointXY& p : s.points) {
            dxf.writeVertex(*dw, DL_VertexData(p.x, p.y, 0, 0));
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

}  // namespace

namespace {

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
          ok = ok && Writable(s.text_height) && (!font || Writable(font->scale));
          break;
        }
        case ShapeKind::kPolyline:
          for (const PointXY& p : s.points) ok = ok && Writable(p.x) && Writable(p.y);
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

// ---------------------------------------------------------------- reading

namespace {

// The drawing's justify of a TEXT's groups 72 (0 left, 1 centre, 2 right,
// 3 aligned, 4 middle, 5 fit) and 73 (0 baseline, 1 bottom, 2 middle, 3 top).
// Aligned and fit texts span between their two points and become centred;
// a bottom text is placed on its baseline.
int TextJustify(int h, int v) {
  int horizontal = 0;
  int vertical = 0;
  if (h == 1 || h == 2) horizontal = h;
  if (h == 3 || h == 5) horizontal = 1;
  if (h == 4) {
    horizontal = 1;
    vertical = 1;
  }
  if (v == 2) vertical = 1;
  if (v == 3) vertical = 2;
  return horizontal + 3 * vertical;
}

enum class ItemKind { kShape, kInsert };

// A shape as read, before it is placed in a layer (or a block).
struct Item {
  ItemKind item = ItemKind::kShape;
  std::string layer;
  ShapeKind kind = ShapeKind::kPoint;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0, r = 0, a1 = 0, a2 = 0;
  std::string text;
  std::string style;  // text: font name; insert: block name
  int justify = 0;    // text: the anchor's place, as TextAdd takes it
  std::vector<PointXY> points;
  bool closed = false;
  // Insert only.
  double sx = 1, sy = 1, angle = 0, col_spacing = 0, row_spacing = 0;
  int cols = 1, rows = 1;
};

struct Block {
  double base_x = 0, base_y = 0;
  std::vector<Item> items;
};

// Entity types this reader takes (and the markers around them).
const std::set<std::string, std::less<>> kHandledTypes = {
    "LINE",   "POINT",      "CIRCLE", "ARC",   "TEXT",   "MTEXT",   "POLYLINE", "VERTEX",
    "SEQEND", "LWPOLYLINE", "INSERT", "BLOCK", "ENDBLK", "SECTION", "ENDSEC",   "EOF"};

constexpr double kDegree = std::numbers::pi / 180.0;
constexpr int kMaxInsertDepth = 16;

// Groups whose value dxflib takes as the length of a list and allocates room
// for (several doubles per item, the size computed in int) before reading any
// item of it: the group code within its entity and what it counts.
struct ListCountGroup {
  std::string_view entity;
  unsigned int code;
  const char* items;
};
constexpr std::array<ListCountGroup, 5> kListCountGroups = {{
    {"LWPOLYLINE", 90, "vertices"},
    {"SPLINE", 72, "knots"},
    {"SPLINE", 73, "control points"},
    {"SPLINE", 74, "fit points"},
    {"LEADER", 76, "vertices"},
}};
// Each item of such a list is a group of its own further on in the file, of
// at least 3 bytes (a two-digit code and a line break). Longer lists than the
// rest of the file can hold, or than this, are refused.
constexpr long kMinBytesPerListItem = 3;
constexpr long kMaxListCount = 10'000'000;

// Thrown from within dxflib's reading to stop it before it acts on a group
// that would make it misbehave.
struct GroupRefused {
  std::string reason;
};

// The points of the curved segment from `p` to `q` with `bulge` (the tangent
// of a quarter of its angle, positive counter-clockwise), `p` excluded, `q`
// included; segments cover at most 2 degrees of arc.
void AppendBulge(std::vector<PointXY>& out, PointXY p, PointXY q, double bulge) {
  const double dx = q.x - p.x;
  const double dy = q.y - p.y;
  const double chord = std::hypot(dx, dy);
  if (bulge == 0 || chord == 0 || !std::isfinite(bulge)) {
    out.push_back(q);
    return;
  }
  const double theta = 4.0 * std::atan(bulge);
  const double d = (chord / 2.0) / std::tan(theta / 2.0);
  const double cx = (p.x + q.x) / 2.0 - dy / chord * d;
  const double cy = (p.y + q.y) / 2.0 + dx / chord * d;
  const double radius = std::hypot(p.x - cx, p.y - cy);
  const double start = std::atan2(p.y - cy, p.x - cx);
  const int steps = std::max(1, static_cast<int>(std::ceil(std::abs(theta) / (2.0 * kDegree))));
  for (int k = 1; k < steps; ++k) {
    const double a = start + theta * k / steps;
    out.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
  }
  out.push_back(q);
}

class Reader : public DL_CreationAdapter {
 public:
  // Layers of the LAYER table in order, with colour and "off".
  struct LayerEntry {
    std::string name;
    int color = 7;
    bool off = false;
  };
  std::vector<LayerEntry> layer_table;
  std::vector<Item> items;  // the ENTITIES section's, in order
  std::unordered_map<std::string, Block> blocks;
  std::map<std::string, std::size_t> unsupported;
  std::string version;
  bool seen_eof = false;
  bool seen_section = false;

  // The file dxflib reads from and its size, for the bounds of list counts.
  void Watch(std::FILE* file, long size) {
    file_ = file;
    file_size_ = size;
  }

  // dxflib calls this with every group it has read, before it acts on it.
  void processCodeValuePair(unsigned int code, const std::string& value) override {
    ++groups_;
    CheckListCount(code, value);
    OnPair(code, value);
  }

  void addLayer(const DL_LayerData& data) override {
    LayerEntry entry;
    entry.name = data.name;
    const int color = attributes.getColor();
    entry.color = color;
    entry.off = data.off || color < 0;
    layer_table.push_back(entry);
  }

  void addBlock(const DL_BlockData& data) override {
    FlushPolyline();
    block_ = &blocks[data.name];
    *block_ = Block{data.bpx, data.bpy, {}};
  }
  void endBlock() override {
    FlushPolyline();
    block_ = nullptr;
  }

  void addPoint(const DL_PointData& d) override {
    Item item = Start(ShapeKind::kPoint);
    item.x1 = d.x;
    item.y1 = d.y;
    Put(std::move(item));
  }
  void addLine(const DL_LineData& d) override {
    Item item = Start(ShapeKind::kLine);
    item.x1 = d.x1;
    item.y1 = d.y1;
    item.x2 = d.x2;
    item.y2 = d.y2;
    Put(std::move(item));
  }
  void addCircle(const DL_CircleData& d) override {
    Item item = Start(ShapeKind::kCircle);
    item.x1 = d.cx;
    item.y1 = d.cy;
    item.r = d.radius;
    Put(std::move(item));
  }
  void addArc(const DL_ArcData& d) override {
    Item item = Start(ShapeKind::kArc);
    item.x1 = d.cx;
    item.y1 = d.cy;
    item.r = d.radius;
    item.a1 = d.angle1;
    item.a2 = d.angle2;
    Put(std::move(item));
  }
  void addText(const DL_TextData& d) override {
    Item item = Start(ShapeKind::kText);
    const bool aligned = d.hJustification != 0 || d.vJustification != 0;
    item.x1 = aligned ? d.apx : d.ipx;
    item.y1 = aligned ? d.apy : d.ipy;
    if (d.hJustification == 3 || d.hJustification == 5) {
      // Aligned and fit: the text runs from the first point to the second.
      item.x1 = (d.ipx + d.apx) / 2;
      item.y1 = (d.ipy + d.apy) / 2;
    }
    item.r = d.height;
    item.text = FromDxfText(d.text, true);
    item.style = d.style;
    item.justify = TextJustify(d.hJustification, d.vJustification);
    Put(std::move(item));
  }
  void addMTextChunk(const std::string& text) override { mtext_ += text; }
  void addMText(const DL_MTextData& d) override {
    Item item = Start(ShapeKind::kText);
    item.x1 = d.ipx;
    item.y1 = d.ipy;
    item.r = d.height;
    item.text = FromDxfText(MTextPlain(mtext_ + d.text), false);
    mtext_.clear();
    item.style = d.style;
    // Attachment 1..9: top, middle, bottom rows of left, centre, right.
    if (d.attachmentPoint >= 1 && d.attachmentPoint <= 9) {
      const int row = (d.attachmentPoint - 1) / 3;  // 0 top, 1 middle, 2 bottom
      item.justify = (d.attachmentPoint - 1) % 3 + 3 * (2 - row);
    }
    Put(std::move(item));
  }
  void addPolyline(const DL_PolylineData& d) override {
    FlushPolyline();
    polyline_ = Start(ShapeKind::kPolyline);
    polyline_->closed = (d.flags & 1) != 0;
    // Polygon and polyface meshes are surfaces, not lines.
    if ((d.flags & (16 | 64)) != 0) {
      ++unsupported[(d.flags & 64) != 0 ? "POLYLINE (polyface mesh)" : "POLYLINE (mesh)"];
      polyline_.reset();
    }
    bulges_.clear();
  }
  void addVertex(const DL_VertexData& d) override {
    if (!polyline_) return;
    polyline_->points.push_back({d.x, d.y});
    bulges_.push_back(d.bulge);
  }
  void endSequence() override { FlushPolyline(); }
  void addInsert(const DL_InsertData& d) override {
    Item item;
    FlushPolyline();
    item.item = ItemKind::kInsert;
    item.layer = attributes.getLayer();
    if (item.layer.empty()) item.layer = "0";
    item.style = d.name;
    item.x1 = d.ipx;
    item.y1 = d.ipy;
    item.sx = d.sx;
    item.sy = d.sy;
    item.angle = d.angle;
    item.cols = std::max(1, d.cols);
    item.rows = std::max(1, d.rows);
    item.col_spacing = d.colSp;
    item.row_spacing = d.rowSp;
    Put(std::move(item));
  }

  void Finish() { FlushPolyline(); }

 private:
  // Throws GroupRefused for a list count of the current entity that is
  // negative or more than the file can hold. dxflib starts a new entity (or
  // header variable) at every group 0 or 9 and reads numbers with strtol.
  void CheckListCount(unsigned int code, const std::string& value) {
    if (code == 0 || code == 9) {
      entity_ = value;
      entity_line_ = 2 * groups_;
      return;
    }
    const auto group = std::find_if(
        kListCountGroups.begin(), kListCountGroups.end(),
        [&](const ListCountGroup& g) { return g.code == code && g.entity == entity_; });
    if (group == kListCountGroups.end()) return;
    const long count = std::strtol(value.c_str(), nullptr, 10);
    long room = kMaxListCount;
    const long position = file_ != nullptr ? std::ftell(file_) : -1;
    if (position >= 0 && position <= file_size_) {
      room = std::min(room, (file_size_ - position) / kMinBytesPerListItem);
    }
    if (count >= 0 && count <= room) return;
    const std::string where = "the " + entity_ + " on line " + std::to_string(entity_line_);
    const std::string group_text =
        "group " + std::to_string(code) + " on line " + std::to_string(2 * groups_ - 1);
    if (count < 0) {
      throw GroupRefused{where + " gives a negative number of " + group->items + " (" +
                         std::to_string(count) + " in " + group_text + ")"};
    }
    throw GroupRefused{where + " gives " + std::to_string(count) + " " + group->items + " (" +
                       group_text + "), more than " +
                       (room < kMaxListCount
                            ? std::string("the rest of the file can hold")
                            : "the " + std::to_string(kMaxListCount) + " this reader takes")};
  }

  void OnPair(unsigned int code, std::string_view value) {
    if (code == 0) {
      awaiting_section_name_ = value == "SECTION";
      if (value == "SECTION") seen_section = true;
      if (value == "ENDSEC") section_.clear();
      if (value == "EOF") seen_eof = true;
      if ((section_ == "ENTITIES" || section_ == "BLOCKS") && !kHandledTypes.contains(value)) {
        ++unsupported[std::string(value)];
      }
      awaiting_version_ = false;
    } else if (code == 2 && awaiting_section_name_) {
      section_ = value;
      awaiting_section_name_ = false;
    } else if (code == 9) {
      awaiting_version_ = section_ == "HEADER" && value == "$ACADVER";
    } else if (code == 1 && awaiting_version_) {
      version = value;
      awaiting_version_ = false;
    }
  }

  Item Start(ShapeKind kind) {
    FlushPolyline();
    Item item;
    item.kind = kind;
    item.layer = attributes.getLayer();
    if (item.layer.empty()) item.layer = "0";
    return item;
  }
  void Put(Item item) {
    if (block_ != nullptr) {
      block_->items.push_back(std::move(item));
    } else {
      items.push_back(std::move(item));
    }
  }
  void FlushPolyline() {
    if (!polyline_) return;
    Item item = std::move(*polyline_);
    polyline_.reset();
    if (item.points.empty()) return;
    std::vector<PointXY> points{item.points.front()};
    const size_t n = item.points.size();
    for (size_t i = 0; i + 1 < n; ++i) {
      AppendBulge(points, item.points[i], item.points[i + 1], bulges_[i]);
    }
    if (item.closed && n > 1 && bulges_[n - 1] != 0) {
      AppendBulge(points, item.points[n - 1], item.points[0], bulges_[n - 1]);
      points.pop_back();  // the first point again
    }
    item.points = std::move(points);
    Put(std::move(item));
  }
  static std::string MTextPlain(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\\' && i + 1 < text.size()) {
        const char next = text[i + 1];
        if (next == 'P') {
          out += '\n';
          ++i;
          continue;
        }
        if (next == '\\') {
          out += '\\';
          ++i;
          continue;
        }
      }
      out += text[i];
    }
    return out;
  }

  Block* block_ = nullptr;
  std::optional<Item> polyline_;
  std::vector<double> bulges_;
  std::string mtext_;
  std::string section_;
  bool awaiting_section_name_ = false;
  bool awaiting_version_ = false;
  std::FILE* file_ = nullptr;
  long file_size_ = 0;
  long groups_ = 0;  // groups read so far; group n holds lines 2n-1 and 2n
  std::string entity_;
  long entity_line_ = 0;  // the line of its name
};

// A placement of a block's shapes: scale about the block's base point, then
// rotation, then move to the insertion point.
struct Placement {
  double base_x = 0, base_y = 0, sx = 1, sy = 1, angle_deg = 0, x = 0, y = 0;
  PointXY Apply(double px, double py) const {
    const double ux = (px - base_x) * sx;
    const double uy = (py - base_y) * sy;
    const double c = std::cos(angle_deg * kDegree);
    const double s = std::sin(angle_deg * kDegree);
    return {x + c * ux - s * uy, y + s * ux + c * uy};
  }
};

Item Transformed(const Item& in, const Placement& p) {
  Item out = in;
  const PointXY a = p.Apply(in.x1, in.y1);
  out.x1 = a.x;
  out.y1 = a.y;
  switch (in.kind) {
    case ShapeKind::kLine: {
      const PointXY b = p.Apply(in.x2, in.y2);
      out.x2 = b.x;
      out.y2 = b.y;
      break;
    }
    case ShapeKind::kCircle:
    case ShapeKind::kArc:
      out.r = in.r * (std::abs(p.sx) + std::abs(p.sy)) / 2.0;
      if (in.kind == ShapeKind::kArc) {
        double a1 = in.a1;
        double a2 = in.a2;
        if (p.sx < 0 && p.sy < 0) {
          a1 += 180;
          a2 += 180;
        } else if (p.sx < 0) {
          std::tie(a1, a2) = std::pair(180 - in.a2, 180 - in.a1);
        } else if (p.sy < 0) {
          std::tie(a1, a2) = std::pair(-in.a2, -in.a1);
        }
        out.a1 = a1 + p.angle_deg;
        out.a2 = a2 + p.angle_deg;
      }
      break;
    case ShapeKind::kText:
      out.r = in.r * std::abs(p.sy);
      break;
    case ShapeKind::kPolyline:
      for (PointXY& q : out.points) q = p.Apply(q.x, q.y);
      break;
    case ShapeKind::kPoint:
      break;
  }
  return out;
}

// The cost of expanding block content, in shapes, roughly in proportion to
// the memory the drawing takes for it: one per shape (a polyline or text one
// more, plus one per 3 vertices or 32 characters), one per INSERT that is not
// expanded, and for an expanded INSERT its instances times the cost of one
// instance, at least 1 even for an empty block. Sums and products saturate
// far above any budget.
constexpr uint64_t kCostCap = uint64_t{1} << 62;
uint64_t CostAdd(uint64_t a, uint64_t b) { return std::min(kCostCap, a + b); }
uint64_t CostMul(uint64_t a, uint64_t b) {
  return a != 0 && b > kCostCap / a ? kCostCap : std::min(kCostCap, a * b);
}
uint64_t ShapeCost(const Item& item) {
  switch (item.kind) {
    case ShapeKind::kPolyline:
      return 2 + item.points.size() / 3;
    case ShapeKind::kText:
      return 2 + item.text.size() / 32;
    default:
      return 1;
  }
}

const Block* FindBlock(const std::unordered_map<std::string, Block>& blocks,
                       const std::string& name) {
  const auto it = blocks.find(name);
  return it == blocks.end() ? nullptr : &it->second;
}

// Numbers the blocks so that two share a number exactly when the expansion of
// each reaches the other: the strongly connected components of the graph of
// INSERTs between blocks (Tarjan's algorithm, without recursion, as chains of
// blocks may be long).
std::unordered_map<const Block*, std::size_t> BlockCycles(
    const std::unordered_map<std::string, Block>& blocks) {
  struct Node {
    std::size_t index = 0;
    std::size_t low = 0;
    bool visited = false;
    bool on_stack = false;
  };
  struct Frame {
    const Block* block;
    std::size_t next_item;
  };
  std::unordered_map<const Block*, Node> nodes;
  std::unordered_map<const Block*, std::size_t> component;
  std::vector<const Block*> stack;
  std::vector<Frame> frames;
  std::size_t counter = 0;
  std::size_t components = 0;
  const auto enter = [&](const Block* block) {
    Node& node = nodes[block];
    node = {counter, counter, true, true};
    ++counter;
    stack.push_back(block);
    frames.push_back({block, 0});
  };
  for (const auto& entry : blocks) {
    if (nodes[&entry.second].visited) continue;
    enter(&entry.second);
    while (!frames.empty()) {
      const Block* block = frames.back().block;
      Node& node = nodes[block];
      if (frames.back().next_item < block->items.size()) {
        const Item& item = block->items[frames.back().next_item++];
        if (item.item != ItemKind::kInsert) continue;
        const Block* target = FindBlock(blocks, item.style);
        if (target == nullptr) continue;
        const Node& next = nodes[target];
        if (!next.visited) {
          enter(target);
        } else if (next.on_stack) {
          node.low = std::min(node.low, next.index);
        }
        continue;
      }
      if (node.low == node.index) {
        const Block* member = nullptr;
        do {
          member = stack.back();
          stack.pop_back();
          nodes[member].on_stack = false;
          component[member] = components;
        } while (member != block);
        ++components;
      }
      const std::size_t low = node.low;
      frames.pop_back();
      if (!frames.empty()) {
        Node& parent = nodes[frames.back().block];
        parent.low = std::min(parent.low, low);
      }
    }
  }
  return component;
}

constexpr const char* kOverExpansionLimit = "INSERT (over the block expansion limit)";

class Builder {
 public:
  Builder(const Reader& reader, DrawingModel& model, DxfLoadReport& report, uint64_t budget)
      : reader_(reader), model_(model), report_(report), budget_left_(budget) {}

  void Build() {
    cycles_ = BlockCycles(reader_.blocks);
    // Shapes of a block on layer "0" take their INSERT's layer, so layer "0"
    // is used exactly when an entity of the ENTITIES section lies on it.
    const bool zero_used = std::any_of(reader_.items.begin(), reader_.items.end(),
                                       [](const Item& item) { return item.layer == "0"; });
    for (const Reader::LayerEntry& entry : reader_.layer_table) {
      if (entry.name == "0" && !zero_used) continue;
      const uint16_t layer = model_.LayerOpen(entry.name);
      model_.LayerSetPenColor(layer, AciToBgr(entry.color));
      if (entry.off) model_.LayerSetAction(layer, kDefaultAction & ~kActionVisible);
    }
    for (const Item& item : reader_.items) Emit(item, nullptr, "", 0);
  }

 private:
  static const std::string& LayerOf(const Item& item, const std::string& parent_layer) {
    return (item.layer == "0" || item.layer.empty()) && !parent_layer.empty() ? parent_layer
                                                                              : item.layer;
  }

  // The block that an INSERT at `depth` within `container` (nullptr: the
  // ENTITIES section) expands, or nullptr and the reason it is not expanded.
  // An INSERT within a block of a block whose expansion leads back to it is
  // not expanded, so expansion never runs round in circles.
  std::pair<const Block*, const char*> Resolve(const Item& insert, const Block* container,
                                               int depth) const {
    const Block* block = FindBlock(reader_.blocks, insert.style);
    if (block == nullptr) return {nullptr, "INSERT (undefined block)"};
    if (depth >= kMaxInsertDepth) return {nullptr, "INSERT (nested too deep)"};
    if (container != nullptr && cycles_.at(container) == cycles_.at(block)) {
      return {nullptr, "INSERT (block inserts itself)"};
    }
    return {block, nullptr};
  }

  static uint64_t Instances(const Item& insert) {
    return static_cast<uint64_t>(insert.rows) * static_cast<uint64_t>(insert.cols);
  }

  // The cost of one instance of `block` whose content lies at `depth`.
  uint64_t InstanceCost(const Block* block, int depth) {
    // 0: not known yet (a cost is at least 1).
    uint64_t& cost = costs_[block][static_cast<std::size_t>(depth)];
    if (cost != 0) return cost;
    uint64_t sum = 0;
    for (const Item& item : block->items) {
      if (item.item != ItemKind::kInsert) {
        sum = CostAdd(sum, ShapeCost(item));
        continue;
      }
      const Block* inner = Resolve(item, block, depth).first;
      sum = CostAdd(
          sum, inner == nullptr ? 1 : CostMul(Instances(item), InstanceCost(inner, depth + 1)));
    }
    cost = std::max<uint64_t>(1, sum);
    return cost;
  }

  void Emit(const Item& item, const Block* container, const std::string& parent_layer, int depth) {
    const std::string& layer_name = LayerOf(item, parent_layer);
    if (item.item == ItemKind::kInsert) {
      EmitInsert(item, container, layer_name, depth);
      return;
    }
    const uint16_t layer = model_.LayerOpen(layer_name);
    uint32_t number = 0;
    switch (item.kind) {
      case ShapeKind::kLine:
        number = model_.DrawLine(item.x1, item.y1, item.x2, item.y2, layer);
        break;
      case ShapeKind::kPoint:
        number = model_.DrawPoint(item.x1, item.y1, layer);
        break;
      case ShapeKind::kCircle:
        number = model_.DrawCircle(item.x1, item.y1, item.r, layer);
        break;
      case ShapeKind::kArc:
        number = model_.DrawArc(item.x1, item.y1, item.r, item.a1, item.a2, layer);
        break;
      case ShapeKind::kText: {
        const int32_t font = model_.FontOpen(item.style.empty() ? "STANDARD" : item.style, item.r);
        number = model_.TextAdd(layer, item.text, item.x1, item.y1, font, item.r, item.justify);
        break;
      }
      case ShapeKind::kPolyline:
        number = model_.DrawPolyline(item.points, item.closed, layer);
        break;
    }
    if (number != 0) {
      ++report_.shapes;
    } else {
      ++report_.unsupported["invalid geometry"];
    }
  }

  // Instances of an INSERT of the ENTITIES section are drawn whole while
  // their cost fits in what is left of the budget; the rest are counted. The
  // cost of an instance covers all the INSERTs nested in it, so these need no
  // check of their own.
  void EmitInsert(const Item& insert, const Block* container, const std::string& layer_name,
                  int depth) {
    const auto [block, reason] = Resolve(insert, container, depth);
    if (block == nullptr) {
      ++report_.unsupported[reason];
      return;
    }
    const uint64_t cost = InstanceCost(block, depth + 1);
    const double c = std::cos(insert.angle * kDegree);
    const double s = std::sin(insert.angle * kDegree);
    for (int row = 0; row < insert.rows; ++row) {
      for (int col = 0; col < insert.cols; ++col) {
        if (depth == 0) {
          if (cost > budget_left_) {
            const uint64_t placed =
                static_cast<uint64_t>(row) * static_cast<uint64_t>(insert.cols) +
                static_cast<uint64_t>(col);
            report_.unsupported[kOverExpansionLimit] += Instances(insert) - placed;
            return;
          }
          budget_left_ -= cost;
        }
        const double ox = col * insert.col_spacing;
        const double oy = row * insert.row_spacing;
        const Placement placement{block->base_x,
                                  block->base_y,
                                  insert.sx,
                                  insert.sy,
                                  insert.angle,
                                  insert.x1 + c * ox - s * oy,
                                  insert.y1 + s * ox + c * oy};
        for (const Item& child : block->items) {
          if (child.item == ItemKind::kInsert) {
            Item nested = child;
            const PointXY at = placement.Apply(child.x1, child.y1);
            nested.x1 = at.x;
            nested.y1 = at.y;
            nested.sx = child.sx * insert.sx;
            nested.sy = child.sy * insert.sy;
            nested.angle = child.angle + insert.angle;
            Emit(nested, block, layer_name, depth + 1);
          } else {
            Emit(Transformed(child, placement), block, layer_name, depth + 1);
          }
        }
      }
    }
  }

  const Reader& reader_;
  DrawingModel& model_;
  DxfLoadReport& report_;
  std::unordered_map<const Block*, std::size_t> cycles_;
  std::unordered_map<const Block*, std::array<uint64_t, kMaxInsertDepth + 1>> costs_;
  uint64_t budget_left_;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// dxflib reads numbers through streams of the global locale: it is the
// classic one while a file is read (and restored however reading ends).
class ClassicGlobalLocale {
 public:
  ClassicGlobalLocale() : previous_(std::locale::global(std::locale::classic())) {}
  ~ClassicGlobalLocale() { std::locale::global(previous_); }
  ClassicGlobalLocale(const ClassicGlobalLocale&) = delete;
  ClassicGlobalLocale& operator=(const ClassicGlobalLocale&) = delete;

 private:
  std::locale previous_;
};

}  // namespace

bool LoadDxf(const std::string& path, DrawingModel& into, DxfLoadReport& report, std::string& error,
             const DxfLoadOptions& options) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open '" + path + "': " + ErrnoText(errno);
    return false;
  }
  struct stat status {};
  if (::fstat(::fileno(file.get()), &status) != 0) {
    error = "cannot read '" + path + "': " + ErrnoText(errno);
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    error = "'" + path + "' is a folder";
    return false;
  }
  // dxflib would read a device or pipe that never ends for ever.
  if (!S_ISREG(status.st_mode)) {
    error = "'" + path + "' is not a regular file";
    return false;
  }
  std::string head(22, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), file.get()));
  if (head.starts_with("AutoCAD Binary DXF")) {
    error = "'" + path + "' is a binary DXF file; only ASCII DXF can be read";
    return false;
  }
  std::rewind(file.get());

  // The file is read here rather than by DL_Dxf::in(path), so that it is
  // closed however reading ends; in() on an empty stream sets up dxflib's
  // parser state without reading anything.
  Reader reader;
  reader.Watch(file.get(), static_cast<long>(status.st_size));
  DL_Dxf dxf;
  try {
    std::istringstream nothing;
    dxf.in(nothing, &reader);
    const ClassicGlobalLocale classic;
    // dxflib goes on reading after a read error, as it stops only at the
    // end of the file.
    while (dxf.readDxfGroups(file.get(), &reader) && !std::ferror(file.get())) {
    }
  } catch (const GroupRefused& refused) {
    error = "cannot read '" + path + "' as DXF: " + refused.reason;
    return false;
  } catch (const std::exception& e) {
    error = "cannot read '" + path + "' as DXF: " + e.what();
    return false;
  }
  if (std::ferror(file.get())) {
    error = "cannot read '" + path + "': " + ErrnoText(errno);
    return false;
  }
  if (!reader.seen_section) {
    error = "'" + path + "' is not a DXF file: it has no section";
    return false;
  }
  if (!reader.seen_eof) {
    error = "'" + path + "' is truncated: it ends before its EOF marker";
    return false;
  }
  reader.Finish();

  DxfLoadReport fresh_report;
  fresh_report.unsupported = reader.unsupported;
  fresh_report.version = reader.version;
  DrawingModel fresh;
  try {
    Builder(reader, fresh, fresh_report, options.block_expansion_limit).Build();
  } catch (const std::bad_alloc&) {
    error = "cannot read '" + path + "': not enough memory for its drawing";
    return false;
  }
  into = std::move(fresh);
  report = std::move(fresh_report);
  return true;
}

}  // namespace halvex::mapcontrol
