// SPDX-License-Identifier: GPL-3.0-or-later
// The geodesy tools' least squares at a million control points beside
// numpy's lstsq on the same points in the same run, and the log merge of a
// million sensor lines against a million GPS lines.
//
// usage: lsq_bench [POINTS] [PYTHON] [PARTS]
//   (default 1000000, /usr/bin/python3, "affine,helmert,merge")
//
// For each model the table gives the best of three runs of:
//   adjust   the parameters with their statistics (every residual and
//            cofactor computed, Ω and s₀ kept) from points already read;
//   grid     the same from the control point grid (the cells parsed);
//   report   the page's estimation from the grid with the full report
//            text built (what the page does before it shows the report);
//   save     that report written to a file, as the report window's Save
//            does later when the user asks (fsync included);
//   lstsq    numpy.linalg.lstsq on the same design matrix (float64, the
//            matrix built before the clock starts), in a python3 child.
// The merge line times the filters and the merge of the page (the logs
// already in memory).

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "geodesy/CoordGrid.hpp"
#include "geodesy/Geocentric.hpp"
#include "geodesy/NumberText.hpp"
#include "geotools/lsq/Estimations.hpp"
#include "geotools/lsq/LeastSquares.hpp"
#include "geotools/lsq/LogMerge.hpp"
#include "platform/FileIo.hpp"

namespace {

namespace g = halvex::geodesy;
namespace t = halvex::geotools;
using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The processor time of the best run (this process, all threads), beside the
// wall time: on a shared machine the wall time also counts the waits for a
// processor.
double lastCpu = 0.0;

double Best(int runs, const std::function<void()>& body) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    const double cpu = CpuSeconds();
    body();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    if (wall < best) {
      best = wall;
      lastCpu = CpuSeconds() - cpu;
    }
  }
  return best;
}

// Deterministic pseudo-random numbers in [0, 1).
struct Lcg {
  std::uint64_t state = 0x2545F4914F6CDD1DULL;
  double Next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) * 0x1.0p-53;
  }
};

// Runs the peer: numpy's lstsq on the design written to `file` (float64,
// rows × cols then the observations), best of three; its seconds.
double NumpyLstsq(const std::string& python, const std::filesystem::path& file, std::size_t rows,
                  std::size_t cols) {
  const std::string script =
      "import sys, time, numpy as np\n"
      "rows, cols = int(sys.argv[2]), int(sys.argv[3])\n"
      "d = np.fromfile(sys.argv[1], dtype=np.float64)\n"
      "a = d[:rows * cols].reshape(rows, cols).copy(); l = d[rows * cols:].copy()\n"
      "best = 1e300\n"
      "for _ in range(3):\n"
      "    t0 = time.perf_counter(); c0 = time.process_time()\n"
      "    x, res, rank, sv = np.linalg.lstsq(a, l, rcond=None)\n"
      "    w = time.perf_counter() - t0\n"
      "    if w < best: best, cpu = w, time.process_time() - c0\n"
      "print(best, cpu)\n";
  const std::filesystem::path scriptFile = file.string() + ".py";
  halvex::platform::WriteFileAtomically(scriptFile, script);
  const std::string command = python + " " + scriptFile.string() + " " + file.string() + " " +
                              std::to_string(rows) + " " + std::to_string(cols);
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return -1;
  }
  char buffer[128] = {};
  const bool read = std::fgets(buffer, sizeof buffer, pipe) != nullptr;
  const int status = ::pclose(pipe);
  if (!read || status != 0) {
    return -1;
  }
  char* end = nullptr;
  const double wall = std::strtod(buffer, &end);
  lastCpu = std::strtod(end, nullptr);
  return wall;
}

void WriteDesign(const std::filesystem::path& file, const std::vector<double>& a,
                 const std::vector<double>& l) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(a.data()),
            static_cast<std::streamsize>(a.size() * sizeof(double)));
  out.write(reinterpret_cast<const char*>(l.data()),
            static_cast<std::streamsize>(l.size() * sizeof(double)));
}

void Row(const char* name, double adjust, double grid, double report, double save, double lstsq,
         double adjustCpu, double reportCpu, double lstsqCpu) {
  std::printf(
      "%-10s %9.3f %9.3f %9.3f %9.3f %9.3f   adjust/lstsq %.2f  report %s 3 s"
      "\n           processor time: adjust %.3f, report %.3f, lstsq %.3f\n",
      name, adjust, grid, report, save, lstsq, lstsq > 0 ? adjust / lstsq : 0.0,
      report < 3.0 ? "under" : "OVER", adjustCpu, reportCpu, lstsqCpu);
}

// The best of three estimations with their reports, then the best of three
// saves of the last report.
template <class Estimate>
void TimeReport(Estimate estimate, const std::filesystem::path& file, double& report,
                double& reportCpu, double& save) {
  // Each report is kept until the clock has stopped: freeing the one before
  // is no part of making the next.
  std::string text;
  report = 1e300;
  for (int run = 0; run < 3; ++run) {
    std::string().swap(text);
    const double wall = Best(1, [&] { text = estimate(); });
    if (wall < report) {
      report = wall;
      reportCpu = lastCpu;
    }
  }
  save = Best(3, [&] { halvex::platform::WriteFileAtomically(file, text); });
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t n = 1000000;
  if (argc > 1) {
    char* end = nullptr;
    n = std::strtoul(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || n < 10) {
      std::fprintf(stderr, "usage: lsq_bench [POINTS (at least 10)] [PYTHON] [PARTS]\n");
      return 2;
    }
  }
  const std::string python = argc > 2 ? argv[2] : "/usr/bin/python3";
  const std::string parts = argc > 3 ? argv[3] : "affine,helmert,merge";
  auto wanted = [&](const char* part) { return parts.find(part) != std::string::npos; };
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("halvex_lsq_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::printf("%zu control points; seconds, best of 3\n", n);
  std::printf("%-10s %9s %9s %9s %9s %9s\n", "model", "adjust", "grid", "report", "save",
              "lstsq");

  // Affine: survey coordinates, a small rotation and scale, centimetre noise.
  if (wanted("affine")) {
    Lcg rng;
    g::CoordGrid grid(5, 1);
    g::SetGridHeader(grid, "No X(E)old Y(N)old  X(E)new Y(N)new");
    grid.Reserve(n + 1, n * 60);
    std::vector<double> a(2 * n * 6, 0.0), l(2 * n);
    std::string cells[5];
    for (std::size_t i = 0; i < n; ++i) {
      const double x = std::round((400000 + 20000 * rng.Next()) * 1000) / 1000;
      const double y = std::round((4500000 + 20000 * rng.Next()) * 1000) / 1000;
      const double X =
          std::round((1.0001 * x - 6e-5 * y + 237.5 + 0.02 * rng.Next()) * 1000) / 1000;
      const double Y =
          std::round((9e-5 * x + 1.0001 * y - 413.8 + 0.02 * rng.Next()) * 1000) / 1000;
      cells[0] = std::to_string(i + 1);
      cells[1] = g::FormatG15(x);
      cells[2] = g::FormatG15(y);
      cells[3] = g::FormatG15(X);
      cells[4] = g::FormatG15(Y);
      grid.AppendRow({cells[0], cells[1], cells[2], cells[3], cells[4]});
      double* r0 = &a[(2 * i) * 6];
      double* r1 = &a[(2 * i + 1) * 6];
      r0[0] = 1, r0[1] = x, r0[2] = y;
      r1[3] = 1, r1[4] = x, r1[5] = y;
      l[2 * i] = X;
      l[2 * i + 1] = Y;
    }
    const std::vector<t::PlanePair> points = t::ReadPlanePairs(grid);
    const double adjust = Best(3, [&] { t::AdjustAffine(points, false); });
    const double adjustCpu = lastCpu;
    const double fromGrid = Best(3, [&] { t::AdjustAffine(t::ReadPlanePairs(grid), false); });
    double report = 0, reportCpu = 0, save = 0;
    TimeReport([&] { return t::EstimateAffine(grid).report; }, dir / "affine-report.txt", report,
               reportCpu, save);
    WriteDesign(dir / "affine.bin", a, l);
    const double lstsq = NumpyLstsq(python, dir / "affine.bin", 2 * n, 6);
    const double lstsqCpu = lastCpu;
    Row("affine", adjust, fromGrid, report, save, lstsq, adjustCpu, reportCpu, lstsqCpu);
  }

  // Helmert: points on the ellipsoid around the Aegean, a datum shift of
  // the usual size, centimetre noise.
  if (wanted("helmert")) {
    Lcg rng;
    g::CoordGrid grid(7, 1);
    g::SetGridHeader(grid, "No Xwgs Ywgs Zwgs Xloc Yloc Zloc");
    grid.Reserve(n + 1, n * 120);
    std::vector<double> a(3 * n * 7, 0.0), l(3 * n);
    const long double localA = 6378388.0L, localF = 1.0L / 297.0L;
    std::string cells[7];
    for (std::size_t i = 0; i < n; ++i) {
      const long double phi = 36 + 6 * rng.Next(), lam = 20 + 10 * rng.Next(),
                        h = 1000 * rng.Next();
      // Local ECEF from the geodetic point, WGS-84 by a linearised shift.
      const long double cp = std::cos(phi * 3.14159265358979323846L / 180),
                        sp = std::sin(phi * 3.14159265358979323846L / 180);
      const long double cl = std::cos(lam * 3.14159265358979323846L / 180),
                        sl = std::sin(lam * 3.14159265358979323846L / 180);
      const long double e2 = localF * (2 - localF);
      const long double nu = localA / std::sqrt(1 - e2 * sp * sp);
      const double x = static_cast<double>((nu + h) * cp * cl);
      const double y = static_cast<double>((nu + h) * cp * sl);
      const double z = static_cast<double>((nu * (1 - e2) + h) * sp);
      const double k = 1 + 2.5e-6, rx = 1.7e-6, ry = -5.8e-7, rz = 2.2e-6;
      const double X = k * x + rz * y - ry * z - 87.3 + 0.02 * rng.Next();
      const double Y = -rz * x + k * y + rx * z - 98.1 + 0.02 * rng.Next();
      const double Z = ry * x - rx * y + k * z - 121.7 + 0.02 * rng.Next();
      cells[0] = std::to_string(i + 1);
      cells[1] = g::FormatG15(X);
      cells[2] = g::FormatG15(Y);
      cells[3] = g::FormatG15(Z);
      cells[4] = g::FormatG15(x);
      cells[5] = g::FormatG15(y);
      cells[6] = g::FormatG15(z);
      grid.AppendRow({cells[0], cells[1], cells[2], cells[3], cells[4], cells[5], cells[6]});
      const double rows[3][7] = {
          {x, 0, -z, y, 1, 0, 0}, {y, z, 0, -x, 0, 1, 0}, {z, -y, x, 0, 0, 0, 1}};
      for (std::size_t r = 0; r < 3; ++r) {
        std::copy(rows[r], rows[r] + 7, &a[(3 * i + r) * 7]);
      }
      l[3 * i] = X;
      l[3 * i + 1] = Y;
      l[3 * i + 2] = Z;
    }
    const std::vector<t::SpacePair> points = t::ReadSpacePairs(grid);
    auto both = [](const std::vector<t::SpacePair>& p) {
      const long double k1 = t::HelmertParametersOnly(p, 1.0L)[0];
      t::AdjustHelmert(p, k1, false);
    };
    const bool only = std::getenv("ONLY_REPORT") != nullptr;
    const double adjust = only ? 0 : Best(3, [&] { both(points); });
    const double adjustCpu = lastCpu;
    const double fromGrid = only ? 0 : Best(3, [&] { both(t::ReadSpacePairs(grid)); });
    double report = 0, reportCpu = 0, save = 0;
    TimeReport([&] { return t::EstimateHelmert(grid, {}).report; }, dir / "helmert-report.txt",
               report, reportCpu, save);
    if (only) { std::printf("report %.3f cpu %.3f\n", report, reportCpu); return 0; }
    WriteDesign(dir / "helmert.bin", a, l);
    const double lstsq = NumpyLstsq(python, dir / "helmert.bin", 3 * n, 7);
    const double lstsqCpu = lastCpu;
    Row("helmert", adjust, fromGrid, report, save, lstsq, adjustCpu, reportCpu, lstsqCpu);
  }

  // The merge: a 10 Hz GPS log with a gap of a minute every ten minutes and
  // a sensor record every 100 ms, interval 100.
  if (wanted("merge")) {
    std::string gpsText, sensorText;
    gpsText.reserve(n * 100);
    sensorText.reserve(n * 40);
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t ms = 3600000 + i * 100;  // from 01:00:00.000
      char stamp[16];
      std::snprintf(stamp, sizeof stamp, "%02zu%02zu%02zu%03zu", ms / 3600000 % 24, ms / 60000 % 60,
                    ms / 1000 % 60, ms % 1000);
      sensorText += "07.12.2026 ";
      sensorText += stamp;
      sensorText += " SDDBT 3 12.45\n";
      if ((ms / 60000) % 10 != 9) {
        char line[160];
        std::snprintf(
            line, sizeof line,
            "07.12.2026 %s $GPGGA,%s,%09.4f,N,%010.4f,E,4,09,0.8,%.2f,M,47.1,M,01,0000*6A\n", stamp,
            stamp, 4759.0 + static_cast<double>(i % 6000) * 1e-4,
            959.0 + static_cast<double>(i % 7000) * 1e-4,
            41.0 + static_cast<double>(i % 100) * 0.01);
        gpsText += line;
      }
    }
    const t::LogLines gpsLog(gpsText), sensorLog(sensorText);
    std::size_t written = 0;
    double filters = 1e300, merge = 1e300, mergeCpu = 0.0, stream = 1e300, streamCpu = 0.0;
    for (int run = 0; run < 3; ++run) {
      t::LogLines gps = gpsLog, sensor = sensorLog;
      filters = std::min(filters, Best(1, [&] {
                           t::KeepContaining(gps, "$GPGGA");
                           t::CleanFix(gps, ",,,,,");
                           t::OnlyKeepFix(gps, ",E,4,");
                           t::KeepContaining(sensor, " 3 ");
                         }));
      // The merged text is kept until the clock has stopped, as the page
      // keeps it to show and save.
      t::MergeResult merged;
      const double wall = Best(1, [&] { merged = t::MergeLogs(gps, sensor, "100"); });
      written = merged.linesWritten;
      if (wall < merge) {
        merge = wall;
        mergeCpu = lastCpu;
      }
      // The same merge handed out in blocks (as geokit-cli writes it), here
      // only counted.
      std::size_t bytes = 0;
      const double streamed = Best(1, [&] {
        t::MergeLogsTo(gps, sensor, "100", [&](std::string_view text) { bytes += text.size(); });
      });
      if (streamed < stream) {
        stream = streamed;
        streamCpu = lastCpu;
      }
    }
    std::printf(
        "merge      %zu sensor x %zu GPS lines: filters %.3f s, merge %.3f s (%zu lines "
        "written), merge %s 1 s (processor %.3f s)\n"
        "           merged in blocks: %.3f s, %s 1 s (processor %.3f s)\n",
        sensorLog.size(), gpsLog.size(), filters, merge, written, merge < 1.0 ? "under" : "OVER",
        mergeCpu, stream, stream < 1.0 ? "under" : "OVER", streamCpu);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
