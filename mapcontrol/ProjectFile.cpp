// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/ProjectFile.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileIo.hpp"

namespace fs = std::filesystem;

namespace halvex::mapcontrol {
namespace {

constexpr const char* kTables =
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);"
    "CREATE TABLE layers(number INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,"
    " pen_color INTEGER, pen_width INTEGER, brush_color INTEGER, action INTEGER,"
    " brush_style INTEGER);"
    "CREATE TABLE fonts(handle INTEGER PRIMARY KEY, name TEXT NOT NULL, scale REAL NOT NULL);"
    "CREATE TABLE blocks(id INTEGER PRIMARY KEY, layer INTEGER NOT NULL,"
    " count INTEGER NOT NULL, data BLOB NOT NULL);";

// Shape heads: number, kind, flags, pen.
constexpr size_t kHeadBytes = 8;
constexpr uint8_t kFlagSelected = 1;
constexpr uint8_t kFlagClosed = 2;
// From version 3: an i32 colour follows the head; a polyline's bulges and
// its width in world units follow its points.
constexpr uint8_t kFlagColored = 4;
constexpr uint8_t kFlagCurved = 8;
constexpr uint8_t kFlagWide = 16;
constexpr uint32_t kLastNumber = 0xFFFFFFFF;  // never given to a shape

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Thrown inside this file only; Save and Load turn it into their error text.
struct Failure {
  std::string reason;
};

[[noreturn]] void Fail(std::string reason) { throw Failure{std::move(reason)}; }

// SQLite's message for the last failure, with the system's reason when the
// file system failed (a full disk, say).
std::string DbError(sqlite3* db) {
  std::string message = sqlite3_errmsg(db);
  const int code = sqlite3_errcode(db) & 0xFF;
  const int system = sqlite3_system_errno(db);
  if ((code == SQLITE_IOERR || code == SQLITE_FULL || code == SQLITE_CANTOPEN) && system != 0) {
    message += std::string(" (") + std::strerror(system) + ")";
  }
  return message;
}

[[noreturn]] void FailDb(sqlite3* db, std::string_view what) {
  Fail(std::string(what) + ": " + DbError(db));
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(DbError(db));
}

Stmt Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) {
    sqlite3_finalize(s);
    FailDb(db, "bad statement");
  }
  return Stmt(s);
}

void Step(sqlite3* db, sqlite3_stmt* s) {
  if (sqlite3_step(s) != SQLITE_DONE) FailDb(db, "cannot write");
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
}

void BindText(sqlite3_stmt* s, int i, std::string_view text) {
  sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* s, int i) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
  return p != nullptr ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s, i)))
                      : std::string();
}

// Runs `sql` and calls `row` for each row it gives.
void ReadRows(sqlite3* db, const char* sql, const std::function<void(sqlite3_stmt*)>& row) {
  Stmt st = Prepare(db, sql);
  int step = 0;
  while ((step = sqlite3_step(st.get())) == SQLITE_ROW) row(st.get());
  if (step != SQLITE_DONE) FailDb(db, "cannot read");
}

std::string ErrnoText(int error) { return std::strerror(error); }

void SyncPath(const fs::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) Fail("cannot open '" + path.string() + "': " + ErrnoText(errno));
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (rc != 0) Fail("cannot flush '" + path.string() + "': " + ErrnoText(error));
}

bool Finite(double v) { return std::isfinite(v); }

// ---------------------------------------------------------------- packing

// Little-endian stores and loads at unaligned addresses.
template <typename U>
void StoreLe(unsigned char* p, U v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, sizeof v);
  } else {
    for (size_t i = 0; i < sizeof v; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
  }
}

template <typename U>
U LoadLe(const unsigned char* p) {
  U v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, sizeof v);
  } else {
    for (size_t i = 0; i < sizeof v; ++i) v = static_cast<U>(v | U{p[i]} << (8 * i));
  }
  return v;
}

// Appends shapes to a block's data.
class Packer {
 public:
  // Room for `n` more bytes, filled in by the caller through Put*.
  void Open(size_t n) {
    at_ = bytes_.size();
    bytes_.resize(at_ + n);
  }
  void PutU8(uint8_t v) { bytes_[at_++] = v; }
  void PutI16(int16_t v) { Put(static_cast<uint16_t>(v)); }
  void PutU32(uint32_t v) { Put(v); }
  void PutI32(int32_t v) { Put(static_cast<uint32_t>(v)); }
  void PutF64(double v) { Put(std::bit_cast<uint64_t>(v)); }
  void PutBytes(std::string_view s) {
    std::memcpy(bytes_.data() + at_, s.data(), s.size());
    at_ += s.size();
  }

  size_t Size() const { return bytes_.size(); }
  const unsigned char* Data() const { return bytes_.data(); }
  void Clear() { bytes_.clear(); }

 private:
  template <typename U>
  void Put(U v) {
    StoreLe(bytes_.data() + at_, v);
    at_ += sizeof v;
  }

  std::vector<unsigned char> bytes_;
  size_t at_ = 0;
};

// Reads shapes from a block's data; the caller checks Has() before reading.
class Unpacker {
 public:
  Unpacker(const unsigned char* data, size_t size) : p_(data), end_(data + size) {}
  bool AtEnd() const { return p_ == end_; }
  bool Has(size_t n) const { return static_cast<size_t>(end_ - p_) >= n; }
  uint8_t U8() { return *p_++; }
  int16_t I16() { return static_cast<int16_t>(Get<uint16_t>()); }
  uint32_t U32() { return Get<uint32_t>(); }
  int32_t I32() { return static_cast<int32_t>(Get<uint32_t>()); }
  double F64() { return std::bit_cast<double>(Get<uint64_t>()); }
  std::string Bytes(size_t n) {
    std::string s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }

 private:
  template <typename U>
  U Get() {
    const U v = LoadLe<U>(p_);
    p_ += sizeof v;
    return v;
  }

  const unsigned char* p_;
  const unsigned char* end_;
};

// Fails when a number occurs on two layers (within a layer, the readers
// already require increasing numbers). `layers` holds each layer's numbers in
// increasing order.
void CheckUniqueNumbers(const std::vector<std::vector<uint32_t>>& layers) {
  size_t total = 0;
  uint32_t lo = kLastNumber;
  uint32_t hi = 0;
  for (const auto& numbers : layers) {
    if (numbers.empty()) continue;
    total += numbers.size();
    lo = std::min(lo, numbers.front());
    hi = std::max(hi, numbers.back());
  }
  if (total < 2) return;
  auto duplicate = [](uint32_t n) { Fail("shape number " + std::to_string(n) + " is used twice"); };
  const uint64_t range = uint64_t{hi} - lo + 1;
  // Numbers of a drawing are mostly dense, so a bitmap over their range is
  // usually small; sort a copy otherwise.
  if (range <= 64 * uint64_t{total} + 65536) {
    std::vector<uint64_t> seen(static_cast<size_t>(range / 64 + 1), 0);
    for (const auto& numbers : layers) {
      for (const uint32_t n : numbers) {
        const uint64_t bit = uint64_t{1} << ((n - lo) % 64);
        uint64_t& word = seen[(n - lo) / 64];
        if ((word & bit) != 0) duplicate(n);
        word |= bit;
      }
    }
    return;
  }
  std::vector<uint32_t> all;
  all.reserve(total);
  for (const auto& numbers : layers) all.insert(all.end(), numbers.begin(), numbers.end());
  std::sort(all.begin(), all.end());
  const auto it = std::adjacent_find(all.begin(), all.end());
  if (it != all.end()) duplicate(*it);
}

}  // namespace

// ---------------------------------------------------------------- Io

struct ProjectFile::Io {
  using Record = DrawingModel::Record;
  using Layer = Snapshot::Layer;

  static void PackShape(const Layer& layer, const Record& rec, Packer& out);
  static void Write(const Snapshot& snapshot, const fs::path& file);

  static DrawingModel Read(const fs::path& path, DrawingModel fresh);
  static void ReadShapeRows(sqlite3* db, DrawingModel& m);
  static void ReadBlocks(sqlite3* db, DrawingModel& m, int version);
  static void UnpackShape(Unpacker& in, uint16_t l, DrawingModel& m, int version);
  static void CheckNumbers(const DrawingModel& m);
};

void ProjectFile::Io::PackShape(const Layer& layer, const Record& rec, Packer& out) {
  uint8_t flags = rec.selected != 0 ? kFlagSelected : 0;
  size_t size = kHeadBytes;
  if (rec.color != kLayerColor) {
    flags |= kFlagColored;
    size += 4;
  }
  switch (rec.kind) {
    case ShapeKind::kLine:
      size += 32;
      break;
    case ShapeKind::kPoint:
      size += 16;
      break;
    case ShapeKind::kCircle:
      size += 24;
      break;
    case ShapeKind::kText:
      size += 41 + layer.texts[rec.aux].text.size();
      break;
    case ShapeKind::kPolyline: {
      const DrawingModel::PolylineItem& pl = layer.polylines[rec.aux];
      size += 4 + 16 * pl.points.size();
      if (pl.closed) flags |= kFlagClosed;
      if (!pl.bulges.empty()) {
        flags |= kFlagCurved;
        size += 8 * pl.bulges.size();
      }
      if (pl.width != 0) {
        flags |= kFlagWide;
        size += 8;
      }
      break;
    }
    case ShapeKind::kArc:
      size += 40;
      break;
  }
  out.Open(size);
  out.PutU32(rec.number);
  out.PutU8(static_cast<uint8_t>(rec.kind));
  out.PutU8(flags);
  out.PutI16(rec.pen);
  if ((flags & kFlagColored) != 0) out.PutI32(rec.color);
  switch (rec.kind) {
    case ShapeKind::kLine:
      out.PutF64(rec.a);
      out.PutF64(rec.b);
      out.PutF64(rec.c);
      out.PutF64(rec.d);
      break;
    case ShapeKind::kPoint:
      out.PutF64(rec.a);
      out.PutF64(rec.b);
      break;
    case ShapeKind::kCircle:
      out.PutF64(rec.a);
      out.PutF64(rec.b);
      out.PutF64(rec.c);
      break;
    case ShapeKind::kText: {
      const DrawingModel::TextItem& text = layer.texts[rec.aux];
      out.PutF64(rec.a);
      out.PutF64(rec.b);
      out.PutF64(rec.c);
      out.PutI32(text.font);
      out.PutU8(static_cast<uint8_t>(rec.d));
      out.PutF64(text.rotation);
      out.PutU32(static_cast<uint32_t>(text.text.size()));
      out.PutBytes(text.text);
      break;
    }
    case ShapeKind::kPolyline: {
      const DrawingModel::PolylineItem& pl = layer.polylines[rec.aux];
      out.PutU32(static_cast<uint32_t>(pl.points.size()));
      for (const PointXY& p : pl.points) {
        out.PutF64(p.x);
        out.PutF64(p.y);
      }
      for (const double b : pl.bulges) out.PutF64(b);
      if (pl.width != 0) out.PutF64(pl.width);
      break;
    }
    case ShapeKind::kArc:
      out.PutF64(rec.a);
      out.PutF64(rec.b);
      out.PutF64(rec.c);
      out.PutF64(layer.arcs[rec.aux].start);
      out.PutF64(layer.arcs[rec.aux].end);
      break;
  }
}

void ProjectFile::Io::Write(const Snapshot& snapshot, const fs::path& file) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) FailDb(raw, "cannot open the temporary file");
  // The file is flushed and renamed into place only when complete, so it
  // needs neither a journal nor flushes of its own, and nobody else opens it.
  Exec(db.get(),
       "PRAGMA page_size=8192; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
       " PRAGMA locking_mode=EXCLUSIVE; PRAGMA cache_size=-65536; BEGIN;");
  Exec(db.get(), kTables);

  Stmt meta = Prepare(db.get(), "INSERT INTO meta(key, value) VALUES(?, ?)");
  const std::pair<std::string, std::string> entries[] = {
      {"format", ProjectFile::kFormat},
      {"version", std::to_string(ProjectFile::kVersion)},
      {"next_shape", std::to_string(snapshot.next_number_)}};
  for (const auto& [key, value] : entries) {
    BindText(meta.get(), 1, key);
    BindText(meta.get(), 2, value);
    Step(db.get(), meta.get());
  }

  Stmt layer_row = Prepare(db.get(),
                           "INSERT INTO layers(number, name, pen_color, pen_width, brush_color,"
                           " action, brush_style) VALUES(?, ?, ?, ?, ?, ?, ?)");
  for (size_t i = 0; i < snapshot.layers_.size(); ++i) {
    const Layer& l = snapshot.layers_[i];
    sqlite3_stmt* st = layer_row.get();
    sqlite3_bind_int64(st, 1, static_cast<sqlite3_int64>(i));
    BindText(st, 2, l.name);
    sqlite3_bind_int(st, 3, l.pen_color);
    sqlite3_bind_int(st, 4, l.pen_width);
    sqlite3_bind_int(st, 5, l.brush_color);
    sqlite3_bind_int64(st, 6, l.action);
    sqlite3_bind_int(st, 7, static_cast<int>(l.brush_style));
    Step(db.get(), st);
  }

  Stmt font = Prepare(db.get(), "INSERT INTO fonts(handle, name, scale) VALUES(?, ?, ?)");
  for (size_t i = 0; i < snapshot.fonts_.size(); ++i) {
    sqlite3_bind_int64(font.get(), 1, static_cast<sqlite3_int64>(i + 1));
    BindText(font.get(), 2, snapshot.fonts_[i].name);
    sqlite3_bind_double(font.get(), 3, snapshot.fonts_[i].scale);
    Step(db.get(), font.get());
  }

  Stmt block = Prepare(db.get(), "INSERT INTO blocks(layer, count, data) VALUES(?, ?, ?)");
  Packer packer;
  for (size_t i = 0; i < snapshot.layers_.size(); ++i) {
    const Layer& l = snapshot.layers_[i];
    size_t count = 0;
    auto flush = [&] {
      sqlite3_stmt* st = block.get();
      sqlite3_bind_int64(st, 1, static_cast<sqlite3_int64>(i));
      sqlite3_bind_int64(st, 2, static_cast<sqlite3_int64>(count));
      // The data stays put until the row is written.
      if (sqlite3_bind_blob64(st, 3, packer.Data(), packer.Size(), SQLITE_STATIC) != SQLITE_OK) {
        FailDb(db.get(), "cannot write layer " + std::to_string(i));
      }
      Step(db.get(), st);
      packer.Clear();
      count = 0;
    };
    for (const Record& rec : l.records) {
      PackShape(l, rec, packer);
      if (++count == kBlockShapes || packer.Size() >= kBlockBytes) flush();
    }
    if (count > 0) flush();
  }
  meta.reset();
  layer_row.reset();
  font.reset();
  block.reset();
  Exec(db.get(), "COMMIT;");
  if (sqlite3_close(db.release()) != SQLITE_OK) Fail("cannot close the temporary file");
}

namespace {

// The first line of a report, cut to a length that fits a message line.
std::string FirstLine(std::string text) {
  const size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  if (text.size() > 120) text = text.substr(0, 117) + "...";
  return text;
}

// Every project file is an SQLite database, which starts with this header.
void CheckHeader(const fs::path& path) {
  static constexpr std::string_view kMagic{"SQLite format 3\0", 16};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open: " + ErrnoText(errno));
  char head[16] = {};
  ssize_t got = 0;
  while (got < 16) {
    const ssize_t n = ::read(fd, head + got, static_cast<size_t>(16 - got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += n;
  }
  ::close(fd);
  if (got == 0) Fail("not a chart project file (the file is empty)");
  if (got < 16 || std::string_view(head, 16) != kMagic) Fail("not a chart project file");
}

}  // namespace

DrawingModel ProjectFile::Io::Read(const fs::path& path, DrawingModel fresh) {
  CheckHeader(path);
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) FailDb(raw, "cannot open");

  // A damaged or truncated file fails here before anything is read.
  {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db.get(), "PRAGMA quick_check", -1, &s, nullptr) != SQLITE_OK) {
      sqlite3_finalize(s);
      Fail("damaged chart project file: " + FirstLine(DbError(db.get())));
    }
    Stmt check(s);
    if (sqlite3_step(s) != SQLITE_ROW) {
      Fail("damaged chart project file: " + FirstLine(DbError(db.get())));
    }
    if (ColumnText(s, 0) != "ok") {
      Fail("damaged chart project file: " + FirstLine(ColumnText(s, 0)));
    }
  }

  auto meta_value = [&](const char* key) -> std::optional<std::string> {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db.get(), "SELECT value FROM meta WHERE key = ?", -1, &s, nullptr) !=
        SQLITE_OK) {
      sqlite3_finalize(s);
      Fail("not a chart project file (no meta table)");
    }
    Stmt st(s);
    BindText(s, 1, key);
    const int step = sqlite3_step(s);
    if (step == SQLITE_ROW) return ColumnText(s, 0);
    if (step != SQLITE_DONE) FailDb(db.get(), "cannot read");
    return std::nullopt;
  };
  if (meta_value("format") != std::string(ProjectFile::kFormat)) {
    Fail("not a chart project file");
  }
  const std::optional<std::string> version = meta_value("version");
  if (!version) Fail("the file has no version");
  int v = 0;
  try {
    v = std::stoi(*version);
  } catch (const std::exception&) {
    Fail("bad version '" + *version + "'");
  }
  if (v > ProjectFile::kVersion) {
    Fail("the file is of version " + std::to_string(v) + ", newer than this program's " +
         std::to_string(ProjectFile::kVersion));
  }
  if (v < 1) Fail("bad version '" + *version + "'");

  DrawingModel& m = fresh;
  ReadRows(db.get(), "SELECT handle, name, scale FROM fonts ORDER BY handle", [&](sqlite3_stmt* s) {
    const sqlite3_int64 handle = sqlite3_column_int64(s, 0);
    if (handle != static_cast<sqlite3_int64>(m.FontCount()) + 1) {
      Fail("font handles have gaps");
    }
    m.fonts_.push_back(Font{ColumnText(s, 1), sqlite3_column_double(s, 2)});
  });

  // Layers had no brush style before version 3: none.
  ReadRows(db.get(),
           v >= 3 ? "SELECT number, name, pen_color, pen_width, brush_color, action, brush_style"
                    " FROM layers ORDER BY number"
                  : "SELECT number, name, pen_color, pen_width, brush_color, action, 0"
                    " FROM layers ORDER BY number",
           [&](sqlite3_stmt* s) {
             if (sqlite3_column_int64(s, 0) != static_cast<sqlite3_int64>(m.LayerCount())) {
               Fail("layer numbers have gaps");
             }
             const uint16_t l = m.LayerOpen(ColumnText(s, 1));
             if (l != m.LayerCount() - 1) Fail("duplicate layer name");
             m.LayerSetPenColor(l, sqlite3_column_int(s, 2));
             m.LayerSetPenWidth(l, sqlite3_column_int(s, 3));
             m.LayerSetBrushColor(l, sqlite3_column_int(s, 4));
             m.LayerSetAction(l, static_cast<uint32_t>(sqlite3_column_int64(s, 5)));
             const sqlite3_int64 style = sqlite3_column_int64(s, 6);
             if (style < 0 || style > kBrushStyleMax) {
               Fail("bad brush style of layer " + std::to_string(l));
             }
             m.LayerSetBrushStyle(l, static_cast<BrushStyle>(style));
           });

  if (v == 1) {
    ReadShapeRows(db.get(), m);
  } else {
    ReadBlocks(db.get(), m, v);
  }
  CheckNumbers(m);

  if (const auto next = meta_value("next_shape")) {
    try {
      const unsigned long long n = std::stoull(*next);
      if (n > m.next_number_ && n <= kLastNumber) m.next_number_ = static_cast<uint32_t>(n);
    } catch (const std::exception&) {
      Fail("bad next_shape '" + *next + "'");
    }
  }
  return fresh;
}

void ProjectFile::Io::ReadShapeRows(sqlite3* db, DrawingModel& m) {
  std::vector<PointXY> points;
  ReadRows(db,
           "SELECT number, layer, kind, pen_width, selected, x1, y1, x2, y2, r, a1, a2, text, font,"
           " points, closed FROM shapes ORDER BY number",
           [&](sqlite3_stmt* s) {
             const sqlite3_int64 number = sqlite3_column_int64(s, 0);
             const sqlite3_int64 layer = sqlite3_column_int64(s, 1);
             if (number < 1 || number >= kLastNumber) Fail("bad shape number");
             if (layer < 0 || layer >= static_cast<sqlite3_int64>(m.LayerCount())) {
               Fail("shape " + std::to_string(number) + " on a missing layer");
             }
             const auto l = static_cast<uint16_t>(layer);
             double c[7];
             for (int k = 0; k < 7; ++k) c[k] = sqlite3_column_double(s, 5 + k);
             // Rows come in increasing number, so the drawing calls give each shape
             // its saved number and check its values as for any drawing.
             m.next_number_ = static_cast<uint32_t>(number);
             uint32_t got = 0;
             switch (sqlite3_column_int(s, 2)) {
               case static_cast<int>(ShapeKind::kLine):
                 got = m.DrawLine(c[0], c[1], c[2], c[3], l);
                 break;
               case static_cast<int>(ShapeKind::kPoint):
                 got = m.DrawPoint(c[0], c[1], l);
                 break;
               case static_cast<int>(ShapeKind::kCircle):
                 got = m.DrawCircle(c[0], c[1], c[4], l);
                 break;
               case static_cast<int>(ShapeKind::kText):
                 got = m.TextAdd(l, ColumnText(s, 12), c[0], c[1], sqlite3_column_int(s, 13));
                 break;
               case static_cast<int>(ShapeKind::kPolyline): {
                 const auto bytes = static_cast<size_t>(sqlite3_column_bytes(s, 14));
                 const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(s, 14));
                 if (bytes % 16 != 0) Fail("bad points of shape " + std::to_string(number));
                 points.resize(bytes / 16);
                 for (size_t p = 0; p < points.size(); ++p) {
                   points[p].x = std::bit_cast<double>(LoadLe<uint64_t>(data + p * 16));
                   points[p].y = std::bit_cast<double>(LoadLe<uint64_t>(data + p * 16 + 8));
                 }
                 got = m.DrawPolyline(points, sqlite3_column_int(s, 15) != 0, l);
                 break;
               }
               case static_cast<int>(ShapeKind::kArc):
                 got = m.DrawArc(c[0], c[1], c[4], c[5], c[6], l);
                 break;
               default:
                 Fail("unknown kind of shape " + std::to_string(number));
             }
             if (got == 0) Fail("bad values of shape " + std::to_string(number));
             // The shape is the layer's last; set what the drawing calls left out.
             Record& rec = m.layers_[l].records.back();
             rec.pen = static_cast<int16_t>(std::clamp(sqlite3_column_int(s, 3), -1, 32767));
             rec.selected = sqlite3_column_int(s, 4) != 0 ? 1 : 0;
           });
}

void ProjectFile::Io::ReadBlocks(sqlite3* db, DrawingModel& m, int version) {
  // Room for each layer's shapes, as far as its blocks can hold them.
  ReadRows(db, "SELECT layer, SUM(count), SUM(length(data)) FROM blocks GROUP BY layer",
           [&](sqlite3_stmt* s) {
             const sqlite3_int64 layer = sqlite3_column_int64(s, 0);
             const sqlite3_int64 count = sqlite3_column_int64(s, 1);
             const sqlite3_int64 bytes = sqlite3_column_int64(s, 2);
             if (layer < 0 || layer >= static_cast<sqlite3_int64>(m.LayerCount())) return;
             const sqlite3_int64 most = bytes / static_cast<sqlite3_int64>(kHeadBytes + 16);
             if (count > 0 && most > 0) {
               m.layers_[static_cast<size_t>(layer)].records.reserve(
                   static_cast<size_t>(std::min(count, most)));
             }
           });

  ReadRows(db, "SELECT id, layer, count, data FROM blocks ORDER BY id", [&](sqlite3_stmt* s) {
    const sqlite3_int64 id = sqlite3_column_int64(s, 0);
    const sqlite3_int64 layer = sqlite3_column_int64(s, 1);
    const sqlite3_int64 count = sqlite3_column_int64(s, 2);
    auto where = [&] { return "block " + std::to_string(id); };
    if (layer < 0 || layer >= static_cast<sqlite3_int64>(m.LayerCount())) {
      Fail(where() + " on a missing layer");
    }
    if (sqlite3_column_type(s, 3) != SQLITE_BLOB) Fail(where() + " holds no data");
    const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(s, 3));
    const auto size = static_cast<size_t>(sqlite3_column_bytes(s, 3));
    if (data == nullptr && size > 0) Fail("out of memory");
    const auto l = static_cast<uint16_t>(layer);
    Unpacker in(data, size);
    sqlite3_int64 unpacked = 0;
    while (!in.AtEnd()) {
      UnpackShape(in, l, m, version);
      ++unpacked;
    }
    if (unpacked == 0 || unpacked != count) {
      Fail(where() + " holds " + std::to_string(unpacked) + " shapes, not " +
           std::to_string(count));
    }
  });
}

void ProjectFile::Io::UnpackShape(Unpacker& in, uint16_t l, DrawingModel& m, int version) {
  DrawingModel::Layer& layer = m.layers_[l];
  if (!in.Has(kHeadBytes)) Fail("a shape is cut short on layer " + std::to_string(l));
  const uint32_t number = in.U32();
  const uint8_t kind = in.U8();
  const uint8_t flags = in.U8();
  const int16_t pen = in.I16();
  auto shape = [&] { return "shape " + std::to_string(number); };
  if (number == 0 || number == kLastNumber) Fail("bad shape number " + std::to_string(number));
  // Numbers increase along a layer; the drawing finds shapes by that order.
  if (!layer.records.empty() && number <= layer.records.back().number) {
    Fail(shape() + " is out of order on layer " + std::to_string(l));
  }
  uint8_t allowed = kFlagSelected;
  if (kind == static_cast<uint8_t>(ShapeKind::kPolyline)) allowed |= kFlagClosed;
  if (version >= 3) {
    allowed |= kFlagColored;
    if (kind == static_cast<uint8_t>(ShapeKind::kPolyline)) allowed |= kFlagCurved | kFlagWide;
  }
  if ((flags & ~allowed) != 0 || pen < -1) Fail("bad values of " + shape());

  auto need = [&](size_t n) {
    if (!in.Has(n)) Fail(shape() + " is cut short");
  };
  auto finite = [&](std::initializer_list<double> values) {
    for (const double v : values) {
      if (!Finite(v)) Fail("bad values of " + shape());
    }
  };
  Record rec{};
  rec.pen = pen;
  rec.selected = (flags & kFlagSelected) != 0 ? 1 : 0;
  if ((flags & kFlagColored) != 0) {
    need(4);
    const int32_t color = in.I32();
    if (color < 0 || color > 0xFFFFFF) Fail("bad colour of " + shape());
    rec.color = color;
  }
  switch (kind) {
    case static_cast<uint8_t>(ShapeKind::kLine):
      need(32);
      rec.kind = ShapeKind::kLine;
      rec.a = in.F64();
      rec.b = in.F64();
      rec.c = in.F64();
      rec.d = in.F64();
      finite({rec.a, rec.b, rec.c, rec.d});
      break;
    case static_cast<uint8_t>(ShapeKind::kPoint):
      need(16);
      rec.kind = ShapeKind::kPoint;
      rec.a = in.F64();
      rec.b = in.F64();
      finite({rec.a, rec.b});
      break;
    case static_cast<uint8_t>(ShapeKind::kCircle):
      need(24);
      rec.kind = ShapeKind::kCircle;
      rec.a = in.F64();
      rec.b = in.F64();
      rec.c = in.F64();
      finite({rec.a, rec.b, rec.c});
      if (rec.c < 0) Fail("bad values of " + shape());
      break;
    case static_cast<uint8_t>(ShapeKind::kText): {
      need(version >= 3 ? 41 : 33);
      rec.kind = ShapeKind::kText;
      rec.a = in.F64();
      rec.b = in.F64();
      rec.c = in.F64();
      const int32_t font = in.I32();
      const uint8_t justify = in.U8();
      const double rotation = version >= 3 ? in.F64() : 0.0;
      const uint32_t n = in.U32();
      finite({rec.a, rec.b, rec.c, rotation});
      if (rec.c < 0 || justify > kJustifyMax) Fail("bad values of " + shape());
      rec.d = justify;
      need(n);
      rec.aux = static_cast<uint32_t>(layer.texts.size());
      DrawingModel::TextItem item{in.Bytes(n), font, rotation, Rect{}};
      m.Measure(layer, item, justify, rec.c);
      layer.texts.push_back(std::move(item));
      break;
    }
    case static_cast<uint8_t>(ShapeKind::kPolyline): {
      need(4);
      rec.kind = ShapeKind::kPolyline;
      const uint32_t n = in.U32();
      if (n == 0) Fail("bad points of " + shape());
      need(size_t{n} * 16);
      std::vector<PointXY> points(n);
      for (PointXY& p : points) {
        p.x = in.F64();
        p.y = in.F64();
        finite({p.x, p.y});
      }
      std::vector<double> bulges;
      if ((flags & kFlagCurved) != 0) {
        need(size_t{n} * 8);
        bulges.resize(n);
        for (double& b : bulges) {
          b = in.F64();
          finite({b});
        }
      }
      double width = 0;
      if ((flags & kFlagWide) != 0) {
        need(8);
        width = in.F64();
        finite({width});
        if (width < 0) Fail("bad values of " + shape());
      }
      const bool closed = (flags & kFlagClosed) != 0;
      // The record holds the bounding box, arcs included.
      rec.a = rec.c = points[0].x;
      rec.b = rec.d = points[0].y;
      auto grow = [&](const Rect& r) {
        rec.a = std::min(rec.a, r.min_x);
        rec.b = std::min(rec.b, r.min_y);
        rec.c = std::max(rec.c, r.max_x);
        rec.d = std::max(rec.d, r.max_y);
      };
      for (const PointXY& p : points) grow(Rect{p.x, p.y, p.x, p.y});
      if (!bulges.empty()) {
        for (size_t i = 0; i + 1 < n; ++i) grow(BulgeBounds(points[i], points[i + 1], bulges[i]));
        if (closed && n > 1) grow(BulgeBounds(points[n - 1], points[0], bulges[n - 1]));
      }
      rec.aux = static_cast<uint32_t>(layer.polylines.size());
      layer.polylines.push_back(
          DrawingModel::PolylineItem{std::move(points), closed, std::move(bulges), width});
      break;
    }
    case static_cast<uint8_t>(ShapeKind::kArc): {
      need(40);
      rec.kind = ShapeKind::kArc;
      rec.a = in.F64();
      rec.b = in.F64();
      rec.c = in.F64();
      const double start = in.F64();
      const double end = in.F64();
      finite({rec.a, rec.b, rec.c, start, end});
      if (rec.c < 0) Fail("bad values of " + shape());
      rec.aux = static_cast<uint32_t>(layer.arcs.size());
      layer.arcs.push_back(DrawingModel::ArcItem{start, end});
      break;
    }
    default:
      Fail("unknown kind of " + shape());
  }
  m.Add(l, rec, number);
}

void ProjectFile::Io::CheckNumbers(const DrawingModel& m) {
  std::vector<std::vector<uint32_t>> numbers(m.layers_.size());
  for (size_t l = 0; l < m.layers_.size(); ++l) {
    const std::vector<Record>& records = m.layers_[l].records;
    numbers[l].reserve(records.size());
    for (const Record& rec : records) numbers[l].push_back(rec.number);
  }
  CheckUniqueNumbers(numbers);
}

// ---------------------------------------------------------------- ProjectFile

size_t ProjectFile::Snapshot::ShapeCount() const {
  size_t n = 0;
  for (const Layer& l : layers_) n += l.records.size();
  return n;
}

void ProjectFile::TakeSnapshot(const DrawingModel& model, Snapshot& into) {
  into.layers_.resize(model.layers_.size());
  for (size_t i = 0; i < model.layers_.size(); ++i) {
    const DrawingModel::Layer& from = model.layers_[i];
    Snapshot::Layer& to = into.layers_[i];
    to.name = from.name;
    to.pen_color = from.pen_color;
    to.pen_width = from.pen_width;
    to.brush_color = from.brush_color;
    to.brush_style = from.brush_style;
    to.action = from.action;
    to.records = from.records;
    to.texts = from.texts;
    to.polylines = from.polylines;
    to.arcs = from.arcs;
  }
  into.fonts_ = model.fonts_;
  into.next_number_ = model.next_number_;
}

ProjectFile::Snapshot ProjectFile::TakeSnapshot(const DrawingModel& model) {
  Snapshot snapshot;
  TakeSnapshot(model, snapshot);
  return snapshot;
}

bool ProjectFile::Save(const Snapshot& snapshot, const fs::path& requested, std::string& error) {
  // Write through a link to its target, never over a device or a FIFO.
  fs::path path;
  try {
    path = platform::ResolveOutputFile(requested);
  } catch (const std::runtime_error& e) {
    error = e.what();
    return false;
  }
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  // The temporary's name is the target's, shortened so that it stays within
  // the length a file name may have.
  const std::string base = path.filename().string().substr(0, 200);
  std::string pattern = (dir / ("." + base + ".XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    error = "cannot create a temporary file in '" + dir.string() + "': " + ErrnoText(errno);
    return false;
  }
  const fs::path temp(pattern);
  // A new project gets 0644; a project that is replaced keeps its bits.
  ::fchmod(fd, 0644);
  try {
    platform::CopyPermissionBits(path, fd);
  } catch (const std::runtime_error& e) {
    ::close(fd);
    ::unlink(temp.c_str());
    error = e.what();
    return false;
  }
  ::close(fd);
  std::string reason;
  try {
    Io::Write(snapshot, temp);
    SyncPath(temp, O_RDONLY);
    if (::rename(temp.c_str(), path.c_str()) != 0) {
      Fail("cannot replace '" + requested.string() + "': " + ErrnoText(errno));
    }
    // The rename is durable once the folder is flushed; failing that is not
    // worth reporting, the file itself is complete.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
      ::fsync(dfd);
      ::close(dfd);
    }
    return true;
  } catch (const Failure& f) {
    reason = f.reason;
  } catch (const std::bad_alloc&) {
    reason = "out of memory";
  }
  ::unlink(temp.c_str());
  error = "cannot save '" + requested.string() + "': " + reason;
  return false;
}

bool ProjectFile::Save(const DrawingModel& model, const fs::path& path, std::string& error) {
  std::optional<Snapshot> snapshot;
  try {
    snapshot.emplace(TakeSnapshot(model));
  } catch (const std::bad_alloc&) {
    error = "cannot save '" + path.string() + "': out of memory";
    return false;
  }
  return Save(*snapshot, path, error);
}

bool ProjectFile::Load(const fs::path& path, DrawingModel& into, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    error = "cannot load '" + path.string() +
            "': " + (fs::exists(path, ec) ? "not a regular file" : "no such file");
    return false;
  }
  std::string reason;
  try {
    // The loaded drawing measures its texts as the one it replaces.
    DrawingModel fresh(into.cell_size_);
    fresh.measure_ = into.measure_;
    into = Io::Read(path, std::move(fresh));
    return true;
  } catch (const Failure& f) {
    reason = f.reason;
  } catch (const std::bad_alloc&) {
    reason = "out of memory";
  }
  error = "cannot load '" + path.string() + "': " + reason;
  return false;
}

}  // namespace halvex::mapcontrol
