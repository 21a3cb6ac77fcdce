// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/PointFiles.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <span>

#include "geodesy/NumberText.hpp"
#include "platform/FileIo.hpp"

namespace halvex::geodesy {
namespace {

constexpr std::size_t kMaxNameChars = 51;
constexpr int kMaxNumbers = 7;
constexpr double kGeographicLimit = 60.0;
constexpr std::size_t kMinControlPoints = 3;

// The reader's number variables, kept from line to line as sscanf's targets
// would be, and the text each one was read from on the current line.
struct NumberFields {
  std::array<double, kMaxNumbers> values{};
  std::array<std::string_view, kMaxNumbers> texts{};
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// True when "%.15g" of the double read from `text` gives `text` back, so the
// text can go into the cell as it is: an optional minus, an integer part
// without leading zeros, an optional fraction not ending in zero, at most 15
// significant digits, no exponent and at most three zeros after "0." (from
// 0.00001 on, "%.15g" writes an exponent). A decimal of at most 15
// significant digits survives the trip to double and back.
bool IsCanonicalG15(std::string_view text) {
  std::size_t p = 0;
  const std::size_t n = text.size();
  if (p < n && text[p] == '-') {
    ++p;
  }
  const std::size_t intStart = p;
  while (p < n && IsDigit(text[p])) {
    ++p;
  }
  const std::size_t intDigits = p - intStart;
  if (intDigits == 0 || (intDigits > 1 && text[intStart] == '0')) {
    return false;
  }
  const bool zeroInteger = intDigits == 1 && text[intStart] == '0';
  std::size_t significant = zeroInteger ? 0 : intDigits;
  if (p == n) {
    return significant <= 15;
  }
  if (text[p] != '.') {
    return false;
  }
  ++p;
  const std::size_t fracStart = p;
  while (p < n && IsDigit(text[p])) {
    ++p;
  }
  const std::size_t fracDigits = p - fracStart;
  if (p != n || fracDigits == 0 || text[n - 1] == '0') {
    return false;
  }
  if (zeroInteger) {
    std::size_t zeros = 0;
    while (text[fracStart + zeros] == '0') {
      ++zeros;
    }
    if (zeros > 3) {
      return false;
    }
    significant = fracDigits - zeros;
  } else {
    significant += fracDigits;
  }
  return significant <= 15;
}

// One line's cells, reused from line to line so that reading a large file
// does not allocate per line.
class RowBuilder {
 public:
  void Clear() {
    for (std::string& cell : cells_) {
      cell.clear();
    }
  }
  void SetName(std::string_view name) { cells_[0].assign(name); }
  // Appends numbers first .. first + count - 1 to a cell as "%.15g" writes
  // them, separated by single blanks.
  void AddNumbers(std::size_t col, const NumberFields& fields, std::size_t first,
                  std::size_t count) {
    std::string& cell = cells_[col];
    for (std::size_t i = first; i < first + count; ++i) {
      if (!cell.empty()) {
        cell.push_back(' ');
      }
      if (IsCanonicalG15(fields.texts[i])) {
        cell.append(fields.texts[i]);
      } else {
        AppendG15(cell, fields.values[i]);
      }
    }
  }
  void AppendTo(CoordGrid& grid, std::size_t cols) {
    std::array<std::string_view, kMaxNumbers> views;
    for (std::size_t i = 0; i < cols; ++i) {
      views[i] = cells_[i];
    }
    grid.AppendRow(std::span<const std::string_view>(views.data(), cols));
  }

 private:
  std::array<std::string, kMaxNumbers> cells_;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Up to `count` numbers, like that many "%lf" conversions; only the numbers
// converted are written, as sscanf writes only what it converts.
int ReadNumbers(NumberScanner& scanner, int count, NumberFields& fields) {
  int read = 0;
  while (read < count) {
    const std::string_view before = scanner.Rest();
    double value = 0.0;
    if (!scanner.ReadDouble(value)) {
      break;
    }
    std::string_view text = before.substr(0, before.size() - scanner.Rest().size());
    while (!text.empty() && IsBlank(text.front())) {
      text.remove_prefix(1);
    }
    const auto i = static_cast<std::size_t>(read);
    fields.values[i] = value;
    fields.texts[i] = text;
    ++read;
  }
  return read;
}

// sscanf(line, "%51s%lf%lf...") with `count` numbers: the number of fields
// converted, -1 for a blank line (sscanf's EOF).
int ScanNamed(std::string_view line, int count, std::string_view& name, NumberFields& fields) {
  NumberScanner scanner(line);
  if (!scanner.ReadWord(kMaxNameChars, name)) {
    return -1;
  }
  return 1 + ReadNumbers(scanner, count, fields);
}

// sscanf(line, "%lf%lf...") with `count` numbers; a blank line gives 0
// numbers (sscanf's EOF, which no form accepts either).
int ScanNumbers(std::string_view line, int count, NumberFields& fields) {
  NumberScanner scanner(line);
  return ReadNumbers(scanner, count, fields);
}

// Reads one line into `row`; true when the line is accepted.
bool ReadXyzLine(std::string_view line, RowBuilder& row, NumberFields& numbers) {
  std::string_view name;
  const int fields = ScanNamed(line, 3, name, numbers);
  if (fields == 4) {
    row.SetName(name);
  } else if (fields == 3) {
    if (ScanNumbers(line, 3, numbers) != 3) {
      return false;
    }
  } else {
    return false;
  }
  for (std::size_t i = 0; i < 3; ++i) {
    row.AddNumbers(1 + i, numbers, i, 1);
  }
  return true;
}

bool ReadPlaneLine(std::string_view line, RowBuilder& row, NumberFields& numbers) {
  std::string_view name;
  const int fields = ScanNamed(line, 3, name, numbers);
  std::size_t count = 0;
  if (fields == 4 || fields == 3) {
    row.SetName(name);
    count = static_cast<std::size_t>(fields - 1);
  } else if (fields == 2) {
    if (ScanNumbers(line, 2, numbers) != 2) {
      return false;
    }
    count = 2;
  } else {
    return false;
  }
  for (std::size_t i = 0; i < count; ++i) {
    row.AddNumbers(1 + i, numbers, i, 1);
  }
  return true;
}

// Latitude and longitude as `perAngle` numbers each, then the height when
// `withHeight`.
void PutAngles(RowBuilder& row, const NumberFields& numbers, std::size_t perAngle,
               bool withHeight) {
  row.AddNumbers(1, numbers, 0, perAngle);
  row.AddNumbers(2, numbers, perAngle, perAngle);
  if (withHeight) {
    row.AddNumbers(3, numbers, 2 * perAngle, 1);
  }
}

bool ReadGeodeticLine(std::string_view line, RowBuilder& row, NumberFields& numbers) {
  std::string_view name;
  const int fields = ScanNamed(line, kMaxNumbers, name, numbers);
  if (fields == 8 || fields == 6 || fields == 4) {
    row.SetName(name);
    PutAngles(row, numbers, static_cast<std::size_t>(fields - 2) / 2, true);
    return true;
  }
  // The numbers-only read may overwrite some of the named read's numbers,
  // which a named line without height still needs.
  const NumberFields named = numbers;
  const int count = ScanNumbers(line, kMaxNumbers, numbers);
  if (count == 7 || count == 5 || count == 3) {
    PutAngles(row, numbers, static_cast<std::size_t>(count - 1) / 2, true);
    return true;
  }
  if (count == 2) {
    PutAngles(row, numbers, 1, false);
    return true;
  }
  // A named line without height, as a page saves a grid whose height column
  // is empty.
  if (fields == 7 || fields == 5 || fields == 3) {
    row.SetName(name);
    PutAngles(row, named, static_cast<std::size_t>(fields - 1) / 2, false);
    return true;
  }
  return false;
}

bool ReadExactLine(std::string_view line, RowBuilder& row, NumberFields& numbers, int count) {
  std::string_view name;
  if (ScanNamed(line, count, name, numbers) != count + 1) {
    return false;
  }
  row.SetName(name);
  for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
    row.AddNumbers(1 + i, numbers, i, 1);
  }
  return true;
}

bool ReadLine(PointReader reader, std::string_view line, RowBuilder& row, NumberFields& numbers) {
  switch (reader) {
    case PointReader::kXyz:
      return ReadXyzLine(line, row, numbers);
    case PointReader::kGeodetic:
      return ReadGeodeticLine(line, row, numbers);
    case PointReader::kPlane:
      return ReadPlaneLine(line, row, numbers);
    case PointReader::kHelmertControl:
      return ReadExactLine(line, row, numbers, 6);
    case PointReader::kControlPoint:
      return ReadExactLine(line, row, numbers, 4);
  }
  return false;
}

bool IsControlReader(PointReader reader) {
  return reader == PointReader::kHelmertControl || reader == PointReader::kControlPoint;
}

// The grid with its header row kept and no data rows.
void StartGrid(PointReader reader, CoordGrid& grid) {
  grid.Resize(PointReaderColumns(reader), std::min<std::size_t>(grid.RowCount(), 1));
  if (grid.RowCount() == 0) {
    grid.SetRowCount(1);
  }
}

void FinishGrid(PointReader reader, CoordGrid& grid, PointReadResult& result) {
  if (result.points == 0) {
    grid.SetRowCount(2);
  }
  if (IsControlReader(reader) && result.points < kMinControlPoints) {
    result.result = 0;
  }
}

}  // namespace

std::optional<PointReader> PointReaderFromName(std::string_view name) {
  for (const PointReader reader : {PointReader::kXyz, PointReader::kGeodetic, PointReader::kPlane,
                                   PointReader::kHelmertControl, PointReader::kControlPoint}) {
    if (PointReaderName(reader) == name) {
      return reader;
    }
  }
  return std::nullopt;
}

std::string_view PointReaderName(PointReader reader) {
  switch (reader) {
    case PointReader::kXyz:
      return "xyz";
    case PointReader::kGeodetic:
      return "geodetic";
    case PointReader::kPlane:
      return "plane";
    case PointReader::kHelmertControl:
      return "helmert";
    case PointReader::kControlPoint:
      return "control";
  }
  return {};
}

std::size_t PointReaderColumns(PointReader reader) {
  switch (reader) {
    case PointReader::kHelmertControl:
      return 7;
    case PointReader::kControlPoint:
      return 5;
    default:
      return 4;
  }
}

std::string_view PointReaderHeader(PointReader reader) {
  switch (reader) {
    case PointReader::kXyz:
      return "No X Y Z";
    case PointReader::kGeodetic:
      return "No Latitude  Longitude Height";
    case PointReader::kPlane:
      return "No Easting Northing Elevation";
    case PointReader::kHelmertControl:
      return "No Xwgs Ywgs Zwgs Xloc Yloc Zloc";
    case PointReader::kControlPoint:
      return "No X(E)old Y(N)old  X(E)new Y(N)new";
  }
  return {};
}

PointReadResult ReadPointText(PointReader reader, std::string_view text, CoordGrid& grid) {
  PointReadResult result;
  StartGrid(reader, grid);
  const auto lineCount = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  grid.Reserve(lineCount + 2, text.size());

  RowBuilder row;
  NumberFields numbers;
  const std::size_t cols = PointReaderColumns(reader);
  std::size_t start = 0;
  while (start < text.size()) {
    const void* found = std::memchr(text.data() + start, '\n', text.size() - start);
    const std::size_t end =
        found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data())
                         : text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    const std::size_t nul = line.find('\0');
    if (nul != std::string_view::npos) {
      line = line.substr(0, nul);
    }
    row.Clear();
    if (ReadLine(reader, line, row, numbers)) {
      row.AppendTo(grid, cols);
      ++result.points;
    }
  }
  if (reader == PointReader::kGeodetic && numbers.values[1] > kGeographicLimit) {
    result.notGeographical = true;
  }
  FinishGrid(reader, grid, result);
  return result;
}

PointReadResult ReadPointFile(PointReader reader, const std::filesystem::path& file,
                              CoordGrid& grid) {
  std::optional<std::string> text;
  std::string error;
  try {
    text = platform::ReadWholeFile(file);
    if (!text) {
      error = "cannot read '" + file.string() + "': No such file or directory";
    }
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (!text) {
    PointReadResult result = ReadPointText(reader, {}, grid);
    result.error = error;
    return result;
  }
  return ReadPointText(reader, *text, grid);
}

PointReadResult ReadXyzFile(const std::filesystem::path& file, CoordGrid& grid) {
  return ReadPointFile(PointReader::kXyz, file, grid);
}

PointReadResult ReadGeodeticFile(const std::filesystem::path& file, CoordGrid& grid) {
  return ReadPointFile(PointReader::kGeodetic, file, grid);
}

PointReadResult ReadPlaneFile(const std::filesystem::path& file, CoordGrid& grid) {
  return ReadPointFile(PointReader::kPlane, file, grid);
}

PointReadResult ReadHelmertControlFile(const std::filesystem::path& file, CoordGrid& grid) {
  return ReadPointFile(PointReader::kHelmertControl, file, grid);
}

PointReadResult ReadControlPointFile(const std::filesystem::path& file, CoordGrid& grid) {
  return ReadPointFile(PointReader::kControlPoint, file, grid);
}

void AppendGridText(std::string& out, const CoordGrid& grid) {
  std::size_t bytes = 0;
  for (std::size_t row = 0; row < grid.RowCount(); ++row) {
    for (std::size_t col = 0; col < grid.ColCount(); ++col) {
      bytes += grid.Cell(col, row).size() + 1;
    }
    bytes += 2;
  }
  out.reserve(out.size() + bytes);
  for (std::size_t row = 0; row < grid.RowCount(); ++row) {
    for (std::size_t col = 0; col < grid.ColCount(); ++col) {
      out.append(grid.Cell(col, row));
      out.push_back('\t');
    }
    out.append("\r\n");
  }
}

std::string GridText(const CoordGrid& grid) {
  std::string out;
  AppendGridText(out, grid);
  return out;
}

void SaveGridText(const CoordGrid& grid, const std::filesystem::path& file) {
  platform::WriteFileAtomically(file, GridText(grid));
}

}  // namespace halvex::geodesy
