// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/Conversions.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "geodesy/DatumTransform.hpp"
#include "geodesy/NumberText.hpp"
#include "geotools/core/FieldText.hpp"

namespace halvex::geotools {

namespace {

using geodesy::CoordGrid;
using geodesy::OutputPrecision;
using Op = Operation;

constexpr std::array<ConversionAction, 16> kActions = {{
    {"SpeedButton1", 0, false, Op::kGeodeticToEcef, 1, 2},
    {"SpeedButton3", 0, true, Op::kGeodeticToEcef, 1, 2},
    {"SpeedButton2", 0, false, Op::kEcefToGeodetic, 1, 2},
    {"SpeedButton4", 0, true, Op::kEcefToGeodetic, 1, 2},
    {"SpeedButton5", 1, false, Op::kGeodeticToGeodetic, 3, 4},
    {"SpeedButton7", 1, true, Op::kGeodeticToGeodetic, 3, 4},
    {"SpeedButton6", 1, false, Op::kGeodeticToGeodetic, 4, 3},
    {"SpeedButton8", 1, true, Op::kGeodeticToGeodetic, 4, 3},
    {"SpeedButton9", 2, false, Op::kGeodeticToGrid, 5, 6},
    {"SpeedButton11", 2, true, Op::kGeodeticToGrid, 5, 6},
    {"SpeedButton10", 2, false, Op::kGridToGeodetic, 6, 5},
    {"SpeedButton12", 2, true, Op::kGridToGeodetic, 6, 5},
    {"SpeedButton13", 3, false, Op::kEcefToEcef, 8, 7},
    {"SpeedButton15", 3, true, Op::kEcefToEcef, 8, 7},
    {"SpeedButton14", 3, false, Op::kEcefToEcef, 7, 8},
    {"SpeedButton16", 3, true, Op::kEcefToEcef, 7, 8},
}};

bool IsProjection(Op op) { return op == Op::kGeodeticToGrid || op == Op::kGridToGeodetic; }

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string NotNumber(std::string_view what, std::string_view text) {
  if (Trimmed(text).empty()) {
    return "The " + std::string(what) + " is empty.";
  }
  return "The " + std::string(what) + " " + Quoted(text) + " is not a number.";
}

std::string NotAngle(std::string_view what, std::string_view text) {
  if (Trimmed(text).empty()) {
    return "The " + std::string(what) + " is empty.";
  }
  return "The " + std::string(what) + " " + Quoted(text) +
         " is not an angle (degrees, minutes and seconds as numbers).";
}

constexpr std::string_view kCoreFailed =
    "The conversion gave no result for these coordinates; check them and the datum "
    "definitions.";

// The operation with everything that is the same for every point.
struct Prepared {
  Op op;
  const ConversionSetup* setup;
  std::string tmParams;
  OutputPrecision chain;
};

// Reads exactly `count` numbers from a core result; false for "0", the empty
// text or too few numbers.
bool ReadResult(const std::string& result, long double* values, int count) {
  if (result.empty() || result == "0") {
    return false;
  }
  geodesy::NumberScanner scanner(result);
  return scanner.ReadExtendeds(values, count) == count;
}

// The result tokens as the core wrote them (geodetic results already carry
// the display decimals).
bool SplitResult(const std::string& result, PointFields& out) {
  long double check[3];
  if (!ReadResult(result, check, 3)) {
    return false;
  }
  std::size_t pos = 0;
  for (std::string& field : out) {
    pos = result.find_first_not_of(" \t", pos);
    const std::size_t end = result.find_first_of(" \t", pos);
    field = result.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end;
  }
  return true;
}

bool FixedResult(const std::string& result, int count, int decimals, PointFields& out) {
  long double values[3];
  if (!ReadResult(result, values, count)) {
    return false;
  }
  for (int i = 0; i < count; ++i) {
    out[static_cast<std::size_t>(i)] = geodesy::FormatFixed(values[i], decimals);
  }
  return true;
}

PointOutcome Fail(std::string message) {
  PointOutcome outcome;
  outcome.message = std::move(message);
  return outcome;
}

PointOutcome ConvertPrepared(const Prepared& p, std::string_view f0, std::string_view f1,
                             std::string_view f2) {
  const ConversionSetup& setup = *p.setup;
  const OutputPrecision& display = setup.precision;
  PointOutcome outcome;
  std::string text;
  switch (p.op) {
    case Op::kGeodeticToEcef:
    case Op::kGeodeticToGeodetic:
    case Op::kGeodeticToGrid: {
      const auto lat = AngleForCore(f0);
      if (!lat) return Fail(NotAngle("latitude", f0));
      const auto lon = AngleForCore(f1);
      if (!lon) return Fail(NotAngle("longitude", f1));
      text = *lat + " " + *lon;
      if (p.op == Op::kGeodeticToGrid) {
        const std::string grid =
            geodesy::GeodeticToGrid(text, setup.pair, p.tmParams, setup.ellipsoid, p.chain);
        if (!FixedResult(grid, 2, display.distance, outcome.values))
          return Fail(std::string(kCoreFailed));
        outcome.values[2] = std::string(f2);
        break;
      }
      if (!IsOneNumber(f2)) return Fail(NotNumber("height", f2));
      text += ' ';
      text += Trimmed(f2);
      if (p.op == Op::kGeodeticToEcef) {
        const std::string ecef = geodesy::DatumTransformGeodetic("XYZ", text, setup.pair);
        if (!FixedResult(ecef, 3, display.distance, outcome.values))
          return Fail(std::string(kCoreFailed));
      } else {
        const std::string geo = geodesy::DatumTransformGeodetic("BLH", text, setup.pair, display);
        if (!SplitResult(geo, outcome.values)) return Fail(std::string(kCoreFailed));
      }
      break;
    }
    case Op::kEcefToGeodetic:
    case Op::kEcefToEcef: {
      if (!IsOneNumber(f0)) return Fail(NotNumber("X", f0));
      if (!IsOneNumber(f1)) return Fail(NotNumber("Y", f1));
      if (!IsOneNumber(f2)) return Fail(NotNumber("Z", f2));
      text.append(Trimmed(f0)).append(" ").append(Trimmed(f1)).append(" ").append(Trimmed(f2));
      if (p.op == Op::kEcefToEcef) {
        const std::string ecef = geodesy::DatumTransformEcef("XYZ", text, setup.pair);
        if (!FixedResult(ecef, 3, display.distance, outcome.values))
          return Fail(std::string(kCoreFailed));
      } else {
        const std::string geo = geodesy::DatumTransformEcef("BLH", text, setup.pair, display);
        if (!SplitResult(geo, outcome.values)) return Fail(std::string(kCoreFailed));
      }
      break;
    }
    case Op::kGridToGeodetic: {
      if (!IsOneNumber(f0)) return Fail(NotNumber("easting", f0));
      if (!IsOneNumber(f1)) return Fail(NotNumber("northing", f1));
      text.append(Trimmed(f0)).append(" ").append(Trimmed(f1));
      const std::string geo =
          geodesy::GridToGeodetic(text, setup.pair, p.tmParams, setup.ellipsoid, p.chain);
      if (!FixedResult(geo, 2, display.degrees, outcome.values))
        return Fail(std::string(kCoreFailed));
      outcome.values[2] = std::string(f2);
      break;
    }
  }
  outcome.ok = true;
  return outcome;
}

Prepared Prepare(Op op, const ConversionSetup& setup) {
  Prepared p{op, &setup, {}, ChainPrecision(setup.precision)};
  if (IsProjection(op)) {
    geodesy::TmFields fields = setup.tm;
    fields.centralMeridian = *AngleForCore(fields.centralMeridian);
    fields.referenceLatitude = *AngleForCore(fields.referenceLatitude);
    p.tmParams = geodesy::TmParamsFromFields(fields);
  }
  return p;
}

std::string_view CellOrEmpty(const CoordGrid& grid, std::size_t col, std::size_t row) {
  return col < grid.ColCount() ? grid.Cell(col, row) : std::string_view{};
}

}  // namespace

const std::array<ConversionAction, 16>& ConversionActions() { return kActions; }

const ConversionAction* FindConversionAction(std::string_view button) {
  for (const ConversionAction& action : kActions) {
    if (action.button == button) return &action;
  }
  return nullptr;
}

std::optional<std::string> CheckSetup(Operation operation, const ConversionSetup& setup) {
  if (setup.pair.empty() || (IsProjection(operation) && setup.ellipsoid.empty())) {
    return std::string(kNoDatumMessage);
  }
  if (geodesy::CountLeadingNumbers(setup.pair, 18) < 18) {
    return std::string(
        "The datum definitions do not give 18 numbers; check the Datum "
        "Definition window.");
  }
  if (IsProjection(operation)) {
    const geodesy::TmFields& tm = setup.tm;
    if (!AngleForCore(tm.centralMeridian)) return NotAngle("central meridian", tm.centralMeridian);
    if (!AngleForCore(tm.referenceLatitude))
      return NotAngle("reference latitude", tm.referenceLatitude);
    if (!IsOneNumber(tm.scaleFactor)) return NotNumber("scale factor", tm.scaleFactor);
    if (!IsOneNumber(tm.falseEasting)) return NotNumber("false easting", tm.falseEasting);
    if (!IsOneNumber(tm.falseNorthing)) return NotNumber("false northing", tm.falseNorthing);
  }
  return std::nullopt;
}

PointOutcome ConvertPoint(Operation operation, const PointFields& fields,
                          const ConversionSetup& setup) {
  if (auto refusal = CheckSetup(operation, setup)) {
    return Fail(std::move(*refusal));
  }
  return ConvertPrepared(Prepare(operation, setup), fields[0], fields[1], fields[2]);
}

unsigned DefaultConversionThreads() {
  const unsigned processors = std::thread::hardware_concurrency();
  return std::clamp(processors, 1U, 8U);
}

GridConversion::GridConversion(Operation operation, const CoordGrid& source, CoordGrid& target,
                               ConversionSetup setup, unsigned threads)
    : operation_(operation),
      source_(source),
      target_(target),
      setup_(std::move(setup)),
      threads_(std::max(threads, 1U)) {
  if (auto refusal = CheckSetup(operation_, setup_)) {
    failed_ = true;
    message_ = std::move(*refusal);
    return;
  }
  total_ = source_.RowCount() > 0 ? source_.RowCount() - 1 : 0;
  geodesy::ClearGrid(target_);
  if (target_.ColCount() < 4) target_.SetColCount(4);
  target_.SetRowCount(total_ + 1);
}

std::vector<PointOutcome> GridConversion::Compute(std::size_t first, std::size_t count) const {
  const Prepared prepared = Prepare(operation_, setup_);
  std::vector<PointOutcome> results(count);
  // Threads take blocks of rows from a shared counter, so a thread that gets
  // less processor time than the others holds up the slice by one block only.
  constexpr std::size_t kBlock = 512;
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (;;) {
      if (stop_.load(std::memory_order_relaxed)) return;
      const std::size_t begin = next.fetch_add(kBlock, std::memory_order_relaxed);
      if (begin >= count) return;
      const std::size_t end = std::min(begin + kBlock, count);
      for (std::size_t i = begin; i < end; ++i) {
        const std::size_t row = first + i;
        const std::string_view f0 = CellOrEmpty(source_, 1, row);
        const std::string_view f1 = CellOrEmpty(source_, 2, row);
        const std::string_view f2 = CellOrEmpty(source_, 3, row);
        if (Trimmed(f0).empty() && Trimmed(f1).empty() && Trimmed(f2).empty() &&
            Trimmed(CellOrEmpty(source_, 0, row)).empty()) {
          results[i].ok = true;  // an empty row stays empty
          continue;
        }
        results[i] = ConvertPrepared(prepared, f0, f1, f2);
      }
    }
  };
  const std::size_t parts = std::min<std::size_t>(threads_, (count + kBlock - 1) / kBlock);
  std::vector<std::thread> helpers;
  helpers.reserve(parts > 0 ? parts - 1 : 0);
  for (std::size_t part = 1; part < parts; ++part) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  return results;
}

GridConversion::~GridConversion() {
  stop_ = true;
  if (pending_.valid()) pending_.wait();
}

void GridConversion::Launch(std::size_t rows) {
  const std::size_t after = done_;
  const std::size_t count = std::min(std::max<std::size_t>(rows, 1), total_ - after);
  pending_ =
      std::async(std::launch::async, [this, after, count] { return Compute(after + 1, count); });
}

bool GridConversion::Step(std::size_t rows) {
  if (Finished()) return false;
  if (!pending_.valid()) Launch(rows);
  pending_.wait();
  return Poll(rows);
}

bool GridConversion::Poll(std::size_t rows) {
  if (Finished()) return false;
  if (!pending_.valid()) {
    Launch(rows);
    return true;
  }
  if (pending_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return true;
  const std::vector<PointOutcome> results = pending_.get();
  const std::size_t first = done_ + 1;
  const std::size_t count = results.size();
  // While this slice is written, the next one is computed.
  if (done_ + count < total_) {
    done_ += count;
    Launch(rows);
    done_ -= count;
  }

  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t row = first + i;
    if (!results[i].ok) {
      failed_ = true;
      failedRow_ = row;
      const std::string_view name = CellOrEmpty(source_, 0, row);
      message_ = "The conversion stopped at row " + std::to_string(row);
      if (!Trimmed(name).empty()) message_ += " (" + std::string(name) + ")";
      message_ += ": " + results[i].message;
      if (row > 1) {
        message_ += " Rows 1 to " + std::to_string(row - 1) + " were converted.";
      }
      stop_ = true;
      if (pending_.valid()) pending_.wait();
      return false;
    }
    target_.SetCell(0, row, CellOrEmpty(source_, 0, row));
    for (std::size_t col = 0; col < 3; ++col) {
      target_.SetCell(col + 1, row, results[i].values[col]);
    }
    ++done_;
  }
  return !Finished();
}

void GridConversion::RunToEnd(std::size_t sliceRows) {
  while (Step(sliceRows)) {
  }
}

}  // namespace halvex::geotools
