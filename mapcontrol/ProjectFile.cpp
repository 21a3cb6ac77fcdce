// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapcontrol/ProjectFile.hpp"

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace halvex::mapcontrol {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);"
    "CREATE TABLE layers(number INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,"
    " pen_color INTEGER, pen_width INTEGER, brush_color INTEGER, action INTEGER);"
    "CREATE TABLE fonts(handle INTEGER PRIMARY KEY, name TEXT NOT NULL, scale REAL NOT NULL);"
    "CREATE TABLE shapes(number INTEGER PRIMARY KEY, layer INTEGER NOT NULL,"
    " kind INTEGER NOT NULL, pen_width INTEGER NOT NULL, selected INTEGER NOT NULL,"
    " x1 REAL, y1 REAL, x2 REAL, y2 REAL, r REAL, a1 REAL, a2 REAL, text TEXT, font INTEGER,"
    " points BLOB, closed INTEGER);";

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

[[noreturn]] void FailDb(sqlite3* db, std::string_view what) {
  Fail(std::string(what) + ": " + sqlite3_errmsg(db));
}

void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string reason = message != nullptr ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    Fail(reason);
  }
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

std::string ErrnoText(int error) { return std::strerror(error); }

void SyncPath(const fs::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) Fail("cannot open '" + path.string() + "': " + ErrnoText(errno));
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (rc != 0) Fail("cannot flush '" + path.string() + "': " + ErrnoText(error));
}

void WriteDatabase(const DrawingModel& model, const fs::path& file) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) FailDb(raw, "cannot open the temporary file");
  // The file is renamed into place only when complete, so no journal is needed.
  Exec(db.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;");
  Exec(db.get(), kSchema);

  Stmt meta = Prepare(db.get(), "INSERT INTO meta(key, value) VALUES(?, ?)");
  const std::pair<std::string, std::string> entries[] = {
      {"format", ProjectFile::kFormat},
      {"version", std::to_string(ProjectFile::kVersion)},
      {"next_shape", std::to_string(model.NextShapeNumber())}};
  for (const auto& [key, value] : entries) {
    BindText(meta.get(), 1, key);
    BindText(meta.get(), 2, value);
    Step(db.get(), meta.get());
  }

  Stmt layer = Prepare(db.get(),
                       "INSERT INTO layers(number, name, pen_color, pen_width, brush_color, action)"
                       " VALUES(?, ?, ?, ?, ?, ?)");
  for (size_t i = 0; i < model.LayerCount(); ++i) {
    const auto l = static_cast<uint16_t>(i);
    sqlite3_bind_int(layer.get(), 1, l);
    BindText(layer.get(), 2, model.LayerName(l));
    sqlite3_bind_int(layer.get(), 3, model.LayerPenColor(l));
    sqlite3_bind_int(layer.get(), 4, model.LayerPenWidth(l));
    sqlite3_bind_int(layer.get(), 5, model.LayerBrushColor(l));
    sqlite3_bind_int64(layer.get(), 6, model.LayerAction(l));
    Step(db.get(), layer.get());
  }

  Stmt font = Prepare(db.get(), "INSERT INTO fonts(handle, name, scale) VALUES(?, ?, ?)");
  for (size_t i = 1; i <= model.FontCount(); ++i) {
    const Font f = *model.FontGet(static_cast<int32_t>(i));
    sqlite3_bind_int64(font.get(), 1, static_cast<sqlite3_int64>(i));
    BindText(font.get(), 2, f.name);
    sqlite3_bind_double(font.get(), 3, f.scale);
    Step(db.get(), font.get());
  }

  Stmt shape =
      Prepare(db.get(),
              "INSERT INTO shapes(number, layer, kind, pen_width, selected, x1, y1, x2, y2,"
              " r, a1, a2, text, font, points, closed)"
              " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  std::vector<unsigned char> blob;
  for (size_t i = 0; i < model.LayerCount(); ++i) {
    model.ForEachShape(static_cast<uint16_t>(i), [&](const ShapeData& s) {
      sqlite3_stmt* st = shape.get();
      sqlite3_bind_int64(st, 1, s.number);
      sqlite3_bind_int(st, 2, s.layer);
      sqlite3_bind_int(st, 3, static_cast<int>(s.kind));
      sqlite3_bind_int(st, 4, s.pen_width);
      sqlite3_bind_int(st, 5, s.selected ? 1 : 0);
      const double values[] = {s.x1, s.y1, s.x2, s.y2, s.r, s.a1, s.a2};
      for (int k = 0; k < 7; ++k) sqlite3_bind_double(st, 6 + k, values[k]);
      BindText(st, 13, s.text);
      sqlite3_bind_int(st, 14, s.font);
      blob.resize(s.points.size() * 2 * sizeof(double));
      for (size_t p = 0; p < s.points.size(); ++p) {
        std::memcpy(&blob[p * 16], &s.points[p].x, 8);
        std::memcpy(&blob[p * 16 + 8], &s.points[p].y, 8);
      }
      sqlite3_bind_blob(st, 15, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int(st, 16, s.closed ? 1 : 0);
      Step(db.get(), st);
    });
  }
  meta.reset();
  layer.reset();
  font.reset();
  shape.reset();
  Exec(db.get(), "COMMIT;");
  if (sqlite3_close(db.release()) != SQLITE_OK) Fail("cannot close the temporary file");
}

}  // namespace

DrawingModel ProjectFile::Read(const fs::path& path, DrawingModel fresh) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) FailDb(raw, "cannot open");

  // A damaged or truncated file fails here before anything is read.
  {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db.get(), "PRAGMA quick_check", -1, &s, nullptr) != SQLITE_OK) {
      sqlite3_finalize(s);
      FailDb(db.get(), "not a chart file");
    }
    Stmt check(s);
    if (sqlite3_step(s) != SQLITE_ROW) FailDb(db.get(), "not a chart file");
    if (ColumnText(s, 0) != "ok") Fail("the file is damaged: " + ColumnText(s, 0));
  }

  auto meta_value = [&](const char* key) -> std::optional<std::string> {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db.get(), "SELECT value FROM meta WHERE key = ?", -1, &s, nullptr) !=
        SQLITE_OK) {
      sqlite3_finalize(s);
      Fail("not a chart file (no meta table)");
    }
    Stmt st(s);
    BindText(s, 1, key);
    const int step = sqlite3_step(s);
    if (step == SQLITE_ROW) return ColumnText(s, 0);
    if (step != SQLITE_DONE) FailDb(db.get(), "cannot read");
    return std::nullopt;
  };
  if (meta_value("format") != std::string(ProjectFile::kFormat)) Fail("not a chart file");
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
  auto read_rows = [&](const char* sql, const std::function<void(sqlite3_stmt*)>& row) {
    Stmt st = Prepare(db.get(), sql);
    int step = 0;
    while ((step = sqlite3_step(st.get())) == SQLITE_ROW) row(st.get());
    if (step != SQLITE_DONE) FailDb(db.get(), "cannot read");
  };

  read_rows("SELECT handle, name, scale FROM fonts ORDER BY handle", [&](sqlite3_stmt* s) {
    const sqlite3_int64 handle = sqlite3_column_int64(s, 0);
    if (handle != static_cast<sqlite3_int64>(m.FontCount()) + 1) Fail("font handles have gaps");
    m.fonts_.push_back(Font{ColumnText(s, 1), sqlite3_column_double(s, 2)});
  });

  read_rows(
      "SELECT number, name, pen_color, pen_width, brush_color, action FROM layers ORDER BY number",
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
      });

  std::vector<PointXY> points;
  read_rows(
      "SELECT number, layer, kind, pen_width, selected, x1, y1, x2, y2, r, a1, a2, text, font,"
      " points, closed FROM shapes ORDER BY number",
      [&](sqlite3_stmt* s) {
        const sqlite3_int64 number = sqlite3_column_int64(s, 0);
        const sqlite3_int64 layer = sqlite3_column_int64(s, 1);
        if (number < 1 || number >= 0xFFFFFFFF) Fail("bad shape number");
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
              std::memcpy(&points[p].x, data + p * 16, 8);
              std::memcpy(&points[p].y, data + p * 16 + 8, 8);
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
        m.ShapePenWidth(got, sqlite3_column_int(s, 3));
        if (sqlite3_column_int(s, 4) != 0) m.ShapeSelect(got);
      });

  if (const auto next = meta_value("next_shape")) {
    try {
      const unsigned long long n = std::stoull(*next);
      if (n > m.next_number_ && n <= 0xFFFFFFFF) m.next_number_ = static_cast<uint32_t>(n);
    } catch (const std::exception&) {
      Fail("bad next_shape '" + *next + "'");
    }
  }
  return fresh;
}

bool ProjectFile::Save(const DrawingModel& model, const fs::path& path, std::string& error) {
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::string pattern = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    error = "cannot create a temporary file in '" + dir.string() + "': " + ErrnoText(errno);
    return false;
  }
  const fs::path temp(pattern);
  ::fchmod(fd, 0644);
  ::close(fd);
  try {
    WriteDatabase(model, temp);
    SyncPath(temp, O_RDONLY);
    if (::rename(temp.c_str(), path.c_str()) != 0) {
      Fail("cannot replace '" + path.string() + "': " + ErrnoText(errno));
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
    ::unlink(temp.c_str());
    error = "cannot save '" + path.string() + "': " + f.reason;
    return false;
  }
}

bool ProjectFile::Load(const fs::path& path, DrawingModel& into, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    error = "cannot load '" + path.string() +
            "': " + (fs::exists(path, ec) ? "not a regular file" : "no such file");
    return false;
  }
  try {
    into = Read(path, DrawingModel(into.cell_size_));
    return true;
  } catch (const Failure& f) {
    error = "cannot load '" + path.string() + "': " + f.reason;
    return false;
  }
}

}  // namespace halvex::mapcontrol
