// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sixteen conversion actions of the geodesy tools' first four pages:
// what each reads, which datum pair it builds, which core operation it runs
// and how the results are written, for single points and whole grids.
//
// Every action checks its fields (FieldText.hpp) before a core text is built,
// passes geodetic texts inside a chain at no fewer than 8 degree and 3 metre
// decimals, and prints its results with the user's decimals. A failure never
// writes a result: single points leave their target fields alone, a grid
// conversion stops at the failing row and keeps the rows before it.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/CoordGrid.hpp"
#include "geodesy/OutputPrecision.hpp"
#include "geodesy/TransverseMercator.hpp"

namespace halvex::geotools {

enum class Operation {
  kGeodeticToEcef,      // lat lon h on the first datum to X Y Z on the second
  kEcefToGeodetic,      // X Y Z on the second datum to lat lon h on the first
  kGeodeticToGeodetic,  // lat lon h on the first datum to the second
  kGeodeticToGrid,      // lat lon on the first datum to E N on the second's grid
  kGridToGeodetic,      // E N on the first datum's grid to lat lon on the second
  kEcefToEcef,          // X Y Z on the second datum to X Y Z on the first
};

// One button of a conversion page. Selectors are numbered as the fields
// Datum1 to Datum8; the pair is (pairFirst, pairSecond) in DatumPairText
// order.
struct ConversionAction {
  std::string_view button;
  int page;
  bool wholeGrid;
  Operation operation;
  int pairFirst;
  int pairSecond;
};

const std::array<ConversionAction, 16>& ConversionActions();
const ConversionAction* FindConversionAction(std::string_view button);

// The selectors whose ellipsoids the projection page passes to the
// projection: the grid's datum (Datum6) first.
inline constexpr int kEllipsoidFirst = 6;
inline constexpr int kEllipsoidSecond = 5;

// What a conversion needs besides its coordinates.
struct ConversionSetup {
  std::string pair;                    // DatumPairText; empty when no datum pair is chosen
  std::string ellipsoid;               // "a f a f", grid's datum first (projection page only)
  geodesy::TmFields tm;                // projection parameter fields (projection page only)
  geodesy::OutputPrecision precision;  // decimals of the printed results
};

// The three coordinates of a point as the fields hold them:
//   geodetic: latitude, longitude (D, DM or DMS), height (metres)
//   ECEF:     X, Y, Z (metres)
//   grid:     easting, northing, height (metres; the height is carried over)
using PointFields = std::array<std::string, 3>;

struct PointOutcome {
  bool ok = false;
  PointFields values;   // the results, in the target's field order
  std::string message;  // why it failed
};

// The message for a conversion tried with no datum pair chosen.
inline constexpr std::string_view kNoDatumMessage =
    "No datums are chosen for this page. Click the two datum fields to choose them.";

// Refusals that concern the whole action (no pair, bad projection
// parameters); nullopt when the action may run.
std::optional<std::string> CheckSetup(Operation operation, const ConversionSetup& setup);

// One point. The setup is checked too.
PointOutcome ConvertPoint(Operation operation, const PointFields& fields,
                          const ConversionSetup& setup);

// A whole grid converted in slices, so that a window can show progress and
// stay responsive between them. Each slice is shared among worker threads;
// the results are written into the target grid in row order by the caller's
// thread. The source grid must not change while the conversion runs.
class GridConversion {
 public:
  // Checks the setup; when it passes, clears the target grid (header kept)
  // and gives it the source's row count. On refusal nothing is touched.
  GridConversion(Operation operation, const geodesy::CoordGrid& source, geodesy::CoordGrid& target,
                 ConversionSetup setup, unsigned threads);
  // Waits for a slice still being computed (a cancelled conversion).
  ~GridConversion();
  GridConversion(const GridConversion&) = delete;
  GridConversion& operator=(const GridConversion&) = delete;

  // Converts up to `rows` more rows, waiting for them. False once the grid
  // is done or a row failed (or the setup was refused). Slices are computed
  // by worker threads, the next one while this one is written, so the source
  // grid must stay unchanged until the conversion is destroyed.
  bool Step(std::size_t rows);

  // The same without waiting, for an event loop: starts the next slice when
  // none is being computed, writes it when it is ready, and otherwise
  // returns at once. False once the grid is done or a row failed.
  bool Poll(std::size_t rows);

  // True when the next Poll will write rows into the target grid.
  bool SliceReady() const {
    return pending_.valid() &&
           pending_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }

  // Runs every remaining row.
  void RunToEnd(std::size_t sliceRows = 32768);

  std::size_t RowsDone() const { return done_; }
  std::size_t RowsTotal() const { return total_; }
  bool Finished() const { return failed_ || done_ == total_; }
  bool Failed() const { return failed_; }
  // The refusal, or the failing row with its reason ("Row 12 (P12): ...").
  const std::string& Message() const { return message_; }
  // The failing data row (1-based), 0 when none failed.
  std::size_t FailedRow() const { return failedRow_; }

 private:
  std::vector<PointOutcome> Compute(std::size_t first, std::size_t count) const;
  void Launch(std::size_t rows);

  Operation operation_;
  const geodesy::CoordGrid& source_;
  geodesy::CoordGrid& target_;
  ConversionSetup setup_;
  std::string tmParams_;
  unsigned threads_;
  std::size_t total_ = 0;
  std::size_t done_ = 0;
  bool failed_ = false;
  std::size_t failedRow_ = 0;
  std::string message_;
  std::atomic<bool> stop_{false};
  std::future<std::vector<PointOutcome>> pending_;
};

// Threads for grid conversions: one per processor, at most 8.
unsigned DefaultConversionThreads();

}  // namespace halvex::geotools
