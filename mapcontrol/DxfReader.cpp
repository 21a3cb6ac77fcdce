// SPDX-License-Identifier: GPL-3.0-or-later
// Reading DXF files through dxflib into the entities of DxfEntities.hpp.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mapcontrol/DxfEntities.hpp"
#include "mapcontrol/DxfFile.hpp"
#include "mapcontrol/Dxflib.hpp"
#include "mapcontrol/DxfText.hpp"

namespace halvex::mapcontrol {
namespace {

using dxf::Block;
using dxf::Item;
using dxf::ItemKind;
using dxf::kDegree;

std::string ErrnoText(int code) { return std::strerror(code); }

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

// Entity types this reader takes (and the markers around them).
const std::set<std::string, std::less<>> kHandledTypes = {
    "LINE",   "POINT",      "CIRCLE", "ARC",   "TEXT",   "MTEXT",   "POLYLINE", "VERTEX",
    "SEQEND", "LWPOLYLINE", "INSERT", "BLOCK", "ENDBLK", "SECTION", "ENDSEC",   "EOF"};

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

// dxflib reads lines into a buffer of 1024 characters and loses its place
// on a longer one (a long TEXT value cut into pieces that it then takes for
// group codes). Before it reads, every line longer than kLongLine is moved
// into a table and replaced by this marker and its index; the reader puts
// the line back where a text is taken (see Reader::Restore).
constexpr std::string_view kLongLineMarker = "\x1AHXVLONG";
constexpr size_t kLongLine = 512;

std::string ReplaceLongLines(std::string bytes, std::vector<std::string>& table) {
  size_t start = 0;
  std::string out;
  bool changed = false;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    size_t content_end = end;
    if (content_end > start && bytes[content_end - 1] == '\r') --content_end;
    if (content_end - start > kLongLine) {
      if (!changed) {
        out.reserve(bytes.size());
        out.append(bytes, 0, start);
        changed = true;
      }
      // Leading and trailing blanks are not part of a value for dxflib.
      size_t a = start;
      size_t b = content_end;
      while (a < b && (bytes[a] == ' ' || bytes[a] == '\t')) ++a;
      while (b > a && (bytes[b - 1] == ' ' || bytes[b - 1] == '\t')) --b;
      out.append(kLongLineMarker);
      out.append(std::to_string(table.size()));
      table.emplace_back(bytes, a, b - a);
      out.append(bytes, content_end, end - content_end + (end < bytes.size() ? 1 : 0));
    } else if (changed) {
      out.append(bytes, start, end - start + (end < bytes.size() ? 1 : 0));
    }
    start = end + 1;
  }
  return changed ? out : bytes;
}

class Reader : public DL_CreationAdapter, public dxf::Entities {
 public:
  std::map<std::string, std::size_t> unsupported;
  std::string version;
  bool seen_eof = false;
  bool seen_section = false;

  // The file dxflib reads from and its size, for the bounds of list counts.
  void Watch(std::FILE* file, long size) {
    file_ = file;
    file_size_ = size;
  }

  // Lines too long for dxflib were replaced by markers before it read the
  // file (see LongLines); each text taken from dxflib goes through here to
  // get its line back.
  void SetLongLines(const std::vector<std::string>* lines) { long_lines_ = lines; }
  std::string Restore(const std::string& value) const {
    if (long_lines_ == nullptr || !value.starts_with(kLongLineMarker)) return value;
    const std::string_view digits = std::string_view(value).substr(kLongLineMarker.size());
    size_t index = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return value;
      index = index * 10 + static_cast<size_t>(c - '0');
    }
    return index < long_lines_->size() ? (*long_lines_)[index] : value;
  }
  // A name (of a layer, style or block) as read, its escapes decoded.
  std::string Name(const std::string& value) const { return DecodeDxfEscapes(Restore(value)); }

  // dxflib calls this with every group it has read, before it acts on it.
  void processCodeValuePair(unsigned int code, const std::string& value) override {
    ++groups_;
    CheckListCount(code, value);
    TrackExtrusion(code, value);
    TrackWidths(code, value);
    OnPair(code, value);
  }

  void addLayer(const DL_LayerData& data) override {
    dxf::LayerEntry entry;
    entry.name = Name(data.name);
    const int color = attributes.getColor();
    entry.color = color;
    entry.off = data.off || color < 0;
    layer_table.push_back(entry);
  }

  void addBlock(const DL_BlockData& data) override {
    FlushPolyline();
    block_ = &blocks[Name(data.name)];
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
    PutPlaced(std::move(item), "CIRCLE", finished_);
  }
  void addArc(const DL_ArcData& d) override {
    Item item = Start(ShapeKind::kArc);
    item.x1 = d.cx;
    item.y1 = d.cy;
    item.r = d.radius;
    item.a1 = d.angle1;
    item.a2 = d.angle2;
    PutPlaced(std::move(item), "ARC", finished_);
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
    // dxflib gives the angle in radians; aligned and fit texts run along
    // their two points whatever it says.
    item.rotation = d.angle / kDegree;
    if ((d.hJustification == 3 || d.hJustification == 5) && (d.apx != d.ipx || d.apy != d.ipy)) {
      item.rotation = std::atan2(d.apy - d.ipy, d.apx - d.ipx) / kDegree;
    }
    if (!std::isfinite(item.rotation)) item.rotation = 0;
    item.text = DxfTextFromValue(Restore(d.text), true);
    item.style = Name(d.style);
    item.justify = TextJustify(d.hJustification, d.vJustification);
    PutPlaced(std::move(item), "TEXT", finished_);
  }
  void addMTextChunk(const std::string& text) override { mtext_ += Restore(text); }
  void addMText(const DL_MTextData& d) override {
    Item item = Start(ShapeKind::kText);
    item.x1 = d.ipx;
    item.y1 = d.ipy;
    item.r = d.height;
    item.text = FromDxfText(MTextPlain(mtext_ + Restore(d.text)), false);
    mtext_.clear();
    item.style = Name(d.style);
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
    polyline_extrusion_ = finished_;
    // Polygon and polyface meshes are surfaces, not lines.
    if ((d.flags & (16 | 64)) != 0) {
      ++unsupported[(d.flags & 64) != 0 ? "POLYLINE (polyface mesh)" : "POLYLINE (mesh)"];
      polyline_.reset();
    }
    bulges_.clear();
    segment_widths_.clear();
    polyline_widths_ = finished_widths_;
    lw_vertex_ = 0;
  }
  void addVertex(const DL_VertexData& d) override {
    if (!polyline_) return;
    polyline_->points.push_back({d.x, d.y});
    bulges_.push_back(d.bulge);
    // A VERTEX entity has its own groups 40 and 41; the vertices of an
    // LWPOLYLINE take theirs from the list read with it.
    Widths w = entity_widths_of_finished_ == "VERTEX" ? finished_widths_ : Widths{};
    if (entity_widths_of_finished_ == "LWPOLYLINE" && lw_vertex_ < lw_widths_.size()) {
      w = lw_widths_[lw_vertex_];
    }
    ++lw_vertex_;
    segment_widths_.push_back(w);
  }
  void endSequence() override { FlushPolyline(); }
  void addInsert(const DL_InsertData& d) override {
    Item item;
    FlushPolyline();
    item.item = ItemKind::kInsert;
    item.layer = Name(attributes.getLayer());
    if (item.layer.empty()) item.layer = "0";
    item.style = Name(d.name);
    item.x1 = d.ipx;
    item.y1 = d.ipy;
    item.sx = d.sx;
    item.sy = d.sy;
    item.angle = d.angle;
    item.cols = std::max(1, d.cols);
    item.rows = std::max(1, d.rows);
    item.col_spacing = d.colSp;
    item.row_spacing = d.rowSp;
    PutPlaced(std::move(item), "INSERT", finished_);
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

  // The extrusion (groups 210, 220, 230) and elevation (38, or the 30 of a
  // POLYLINE) of the entity being read. dxflib hands an entity over when it
  // meets the group 0 after it, which is seen here first: at each group 0 the
  // entity's values move to finished_, which the add* calls use.
  void TrackExtrusion(unsigned int code, const std::string& value) {
    if (code == 0) {
      finished_ = current_;
      current_ = {};
      return;
    }
    if (code != 210 && code != 220 && code != 230 && code != 38 &&
        !(code == 30 && entity_ == "POLYLINE")) {
      return;
    }
    double number = 0;
    std::string_view text = value;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (std::from_chars(text.data(), text.data() + text.size(), number).ec != std::errc()) return;
    switch (code) {
      case 210:
        current_.x = number;
        break;
      case 220:
        current_.y = number;
        break;
      case 230:
        current_.z = number;
        break;
      default:
        current_.elevation = number;
    }
  }

  // Puts an entity given in its object coordinate system, or counts it
  // when it cannot be placed.
  void PutPlaced(Item item, const char* type, const dxf::Extrusion& extrusion) {
    if (!dxf::PlaceFromOcs(item, extrusion)) {
      ++unsupported[std::string(type) + " (not parallel to the XY plane)"];
      return;
    }
    Put(std::move(item));
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
    item.layer = Name(attributes.getLayer());
    if (item.layer.empty()) item.layer = "0";
    // True colour (420, 0xRRGGBB) before the colour index.
    const int rgb = attributes.getColor24();
    if (rgb >= 0 && rgb <= 0xFFFFFF) {
      item.color = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
    } else {
      item.color = ShapeAciToBgr(attributes.getColor());
    }
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
    // Arcs stay arcs: the bulges go with the points.
    if (std::any_of(bulges_.begin(), bulges_.end(), [](double b) { return b != 0; })) {
      item.bulges = bulges_;
    }
    item.width = CommonWidth(item.closed);
    PutPlaced(std::move(item), "POLYLINE", polyline_extrusion_);
  }
  // Start and end widths (groups 40, 41; 43 the constant width of an
  // LWPOLYLINE), negative when not given.
  struct Widths {
    double start = -1, end = -1;
  };
  // The widths of the POLYLINE or VERTEX being read, and of an LWPOLYLINE
  // its constant width and each vertex's (groups 40 and 41 after its 10).
  // They move to the finished_ ones at each group 0, as the extrusion.
  void TrackWidths(unsigned int code, const std::string& value) {
    if (code == 0) {
      finished_widths_ = current_widths_;
      entity_widths_of_finished_ = entity_widths_of_;
      if (entity_widths_of_ == "LWPOLYLINE") lw_widths_ = std::move(lw_current_);
      current_widths_ = {};
      lw_current_.clear();
      entity_widths_of_ = value;
      return;
    }
    const bool lw = entity_widths_of_ == "LWPOLYLINE";
    if (lw && code == 10) lw_current_.push_back(Widths{});
    if (code != 40 && code != 41 && code != 43) return;
    double number = 0;
    std::string_view text = value;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (std::from_chars(text.data(), text.data() + text.size(), number).ec != std::errc()) return;
    if (!std::isfinite(number) || number < 0) return;
    if (code == 43) {
      current_widths_ = Widths{number, number};
    } else if (lw && !lw_current_.empty()) {
      (code == 40 ? lw_current_.back().start : lw_current_.back().end) = number;
    } else if (entity_widths_of_ == "POLYLINE" || entity_widths_of_ == "VERTEX") {
      (code == 40 ? current_widths_.start : current_widths_.end) = number;
    }
  }
  // The width of every segment of the polyline being finished when they
  // all agree, start and end alike; 0 otherwise or when none is given.
  double CommonWidth(bool closed) const {
    if (segment_widths_.empty()) return 0;
    const size_t segments = closed ? segment_widths_.size() : segment_widths_.size() - 1;
    double common = -1;
    for (size_t i = 0; i < segments && i < segment_widths_.size(); ++i) {
      const Widths& w = segment_widths_[i];
      const double start = w.start >= 0 ? w.start : std::max(polyline_widths_.start, 0.0);
      const double end = w.end >= 0 ? w.end : std::max(polyline_widths_.end, 0.0);
      if (start != end || (common >= 0 && start != common)) return 0;
      common = start;
    }
    return std::max(common, 0.0);
  }
  Widths current_widths_;
  Widths finished_widths_;
  Widths polyline_widths_;
  std::string entity_widths_of_;
  std::string entity_widths_of_finished_;
  std::vector<Widths> lw_current_;
  std::vector<Widths> lw_widths_;
  size_t lw_vertex_ = 0;
  std::vector<Widths> segment_widths_;
  dxf::Extrusion current_;
  dxf::Extrusion finished_;
  dxf::Extrusion polyline_extrusion_;
  Block* block_ = nullptr;
  std::optional<Item> polyline_;
  std::vector<double> bulges_;
  std::string mtext_;
  std::string section_;
  bool awaiting_section_name_ = false;
  bool awaiting_version_ = false;
  std::FILE* file_ = nullptr;
  long file_size_ = 0;
  const std::vector<std::string>* long_lines_ = nullptr;
  long groups_ = 0;  // groups read so far; group n holds lines 2n-1 and 2n
  std::string entity_;
  long entity_line_ = 0;  // the line of its name
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

// Whether a file of release `version` ($ACADVER) holds its texts in UTF-8
// (2007 and later) rather than in its code page.
bool Utf8Release(std::string_view version) {
  if (!version.starts_with("AC") || version.size() < 6) return false;
  int number = 0;
  for (const char c : version.substr(2, 4)) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  return number >= 1021;
}

struct TextEncoding {
  std::string code_page;           // as DxfLoadReport::code_page
  std::vector<std::string> notes;  // as DxfLoadReport::notes
};

// Turns the file's bytes into UTF-8: from its code page up to release 2004,
// as UTF-8 from 2007 on. A file of an earlier release without a code page
// that is valid UTF-8 (as older versions of this program wrote) is taken as
// UTF-8; other files without one, or with one iconv does not know, are read
// as ANSI_1252.
TextEncoding ReadTextsAsUtf8(std::string& bytes) {
  TextEncoding encoding;
  const DxfHeaderTexts header = ScanDxfHeader(bytes);
  std::string iconv_name;
  if (Utf8Release(header.version)) {
    encoding.code_page = "UTF-8";
    iconv_name = "UTF-8";
  } else if (header.code_page.empty()) {
    const bool utf8 = IsValidUtf8(bytes) && std::any_of(bytes.begin(), bytes.end(), [](char c) {
                        return static_cast<unsigned char>(c) >= 0x80;
                      });
    encoding.code_page = utf8 ? "UTF-8" : "ANSI_1252";
    iconv_name = utf8 ? "UTF-8" : "CP1252";
  } else {
    iconv_name = IconvCodePage(header.code_page);
    encoding.code_page = header.code_page;
    if (iconv_name.empty()) {
      encoding.notes.push_back("unknown code page \"" + ValidUtf8(header.code_page) +
                               "\": texts read as ANSI_1252");
      encoding.code_page = "ANSI_1252";
      iconv_name = "CP1252";
    }
  }
  bytes = CodePageToUtf8(bytes, iconv_name);
  return encoding;
}

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

  // The whole file is read first, its long lines put aside (see
  // ReplaceLongLines), and dxflib reads the rest from memory.
  std::string bytes;
  std::vector<std::string> long_lines;
  TextEncoding text_encoding;
  try {
    bytes.resize(static_cast<size_t>(status.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    if (std::ferror(file.get())) {
      error = "cannot read '" + path + "': " + ErrnoText(errno);
      return false;
    }
    text_encoding = ReadTextsAsUtf8(bytes);
    bytes = ReplaceLongLines(std::move(bytes), long_lines);
  } catch (const std::bad_alloc&) {
    error = "cannot read '" + path + "': not enough memory for it";
    return false;
  }
  if (bytes.empty()) {
    error = "'" + path + "' is not a DXF file: it is empty";
    return false;
  }
  const std::unique_ptr<std::FILE, FileCloser> memory(::fmemopen(bytes.data(), bytes.size(), "rb"));
  if (!memory) {
    error = "cannot read '" + path + "': " + ErrnoText(errno);
    return false;
  }

  // in() on an empty stream sets up dxflib's parser state without reading
  // anything; the groups are then read from memory.
  Reader reader;
  reader.Watch(memory.get(), static_cast<long>(bytes.size()));
  reader.SetLongLines(&long_lines);
  DL_Dxf dxf;
  try {
    std::istringstream nothing;
    dxf.in(nothing, &reader);
    const ClassicGlobalLocale classic;
    while (dxf.readDxfGroups(memory.get(), &reader) && !std::ferror(memory.get())) {
    }
  } catch (const GroupRefused& refused) {
    error = "cannot read '" + path + "' as DXF: " + refused.reason;
    return false;
  } catch (const std::exception& e) {
    error = "cannot read '" + path + "' as DXF: " + e.what();
    return false;
  }
  if (std::ferror(memory.get())) {
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
  fresh_report.code_page = text_encoding.code_page;
  fresh_report.notes = text_encoding.notes;
  DrawingModel fresh;
  try {
    dxf::BuildDrawing(reader, fresh, fresh_report, options.block_expansion_limit);
  } catch (const std::bad_alloc&) {
    error = "cannot read '" + path + "': not enough memory for its drawing";
    return false;
  }
  into = std::move(fresh);
  report = std::move(fresh_report);
  return true;
}

}  // namespace halvex::mapcontrol
