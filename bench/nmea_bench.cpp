// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the NMEA receiver on a realistic 10 Hz stream: GGA and RMC
// every epoch, GSA and three GSV every tenth epoch, from a vessel at about
// ten knots on a slowly turning course. Items are sentences.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "nmea/CustomGpsReceiver.hpp"
#include "nmea/NmeaText.hpp"

namespace {

namespace n = halvex::nmea;

constexpr std::size_t kChunk = 4096;
constexpr int kEpochs = 6000;  // ten minutes

struct Stream {
  std::string text;
  std::vector<std::string> sentences;  // without CR LF
};

void Emit(Stream& stream, const char* body) {
  unsigned sum = 0;
  for (const char* c = body; *c != '\0'; ++c) {
    sum ^= static_cast<unsigned char>(*c);
  }
  char sentence[160];
  std::snprintf(sentence, sizeof sentence, "$%s*%02X", body, sum);
  stream.sentences.emplace_back(sentence);
  stream.text += sentence;
  stream.text += "\r\n";
}

// ddmm.mmmmm or dddmm.mmmmm of a non-negative angle in degrees.
std::string DegreesMinutes(double degrees, int width) {
  const int whole = static_cast<int>(degrees);
  char text[32];
  std::snprintf(text, sizeof text, "%0*d%08.5f", width, whole, (degrees - whole) * 60.0);
  return text;
}

const Stream& TenHertzStream() {
  static const Stream stream = [] {
    Stream s;
    constexpr double kPi = 3.14159265358979323846;
    double lat = 41.0, lon = 29.0, course = 45.0;
    const double speed = 10.0;  // knots
    char body[160];
    for (int i = 0; i < kEpochs; ++i) {
      const double t = i / 10.0;
      const int hh = static_cast<int>(t / 3600), mm = static_cast<int>(t / 60) % 60;
      const double ss = std::fmod(t, 60.0);
      course = std::fmod(course + 0.002 * std::sin(t / 300.0), 360.0);
      const double step = speed * 1852.0 / 36000.0;  // metres per epoch
      lat += step * std::cos(course * kPi / 180) / 111120.0;
      lon += step * std::sin(course * kPi / 180) / (111120.0 * std::cos(lat * kPi / 180));
      const std::string la = DegreesMinutes(lat, 2), lo = DegreesMinutes(lon, 3);
      std::snprintf(body, sizeof body, "GPGGA,%02d%02d%05.2f,%s,N,%s,E,1,09,0.9,%.1f,M,36.4,M,,",
                    hh, mm, ss, la.c_str(), lo.c_str(), 12.0 + 0.5 * std::sin(t / 60.0));
      Emit(s, body);
      std::snprintf(body, sizeof body,
                    "GPRMC,%02d%02d%05.2f,A,%s,N,%s,E,%05.1f,%05.1f,150624,004.9,E", hh, mm, ss,
                    la.c_str(), lo.c_str(), speed + 0.3 * std::sin(t / 20.0), course);
      Emit(s, body);
      if (i % 10 == 0) {
        Emit(s, "GPGSA,A,3,02,05,07,09,13,15,18,20,30,,,,1.8,0.9,1.5");
        static constexpr int kPrns[12] = {2, 5, 7, 9, 13, 15, 18, 20, 24, 26, 29, 30};
        for (int m = 0; m < 3; ++m) {
          int length = std::snprintf(body, sizeof body, "GPGSV,3,%d,12", m + 1);
          for (int k = 4 * m; k < 4 * m + 4; ++k) {
            length += std::snprintf(body + length, sizeof body - static_cast<std::size_t>(length),
                                    ",%02d,%02d,%03d,%02d", kPrns[k], (20 + 5 * k + i / 6000) % 90,
                                    (37 * k + i / 1200) % 360, 30 + (k * 7 + i / 10) % 20);
          }
          Emit(s, body);
        }
      }
    }
    return s;
  }();
  return stream;
}

// Every handler assigned, each doing the least a real one would: look at
// its arguments.
void AssignTrivialHandlers(n::TRaxCustomGPSReceiver& r, long double& sink) {
  using R = n::TRaxCustomGPSReceiver;
  r.OnReceive = [&sink](R&, const std::string& b) { sink += static_cast<long double>(b.size()); };
  r.OnSend = r.OnReceive;
  r.OnLatitudeChange = [&sink](R&, int d, int m, long double s, n::TCardinalPoint) {
    sink += d + m + s;
  };
  r.OnLongitudeChange = r.OnLatitudeChange;
  r.OnAltitudeChange = [&sink](R&, long double v) { sink += v; };
  r.OnSpeedChange = r.OnAltitudeChange;
  r.OnHeadingChange = r.OnAltitudeChange;
  r.OnPosition2DChange = [&sink](R&, long double a, long double b) { sink += a + b; };
  r.OnPosition3DChange = [&sink](R&, long double a, long double b, long double c) {
    sink += a + b + c;
  };
  r.OnSatelliteReceive = [&sink](R&, const n::TSatellite& s) { sink += s.SignalToNoiseRatio(); };
  r.OnSatellitesReceive = [&sink](R&) { sink += 1; };
  r.OnArrival = [&sink](R&, const n::TWayPoint* w, long double radius) {
    sink += radius + (w != nullptr ? 1 : 0);
  };
  r.OnUnknownCommand = [&sink](R&, const std::string& c) {
    sink += static_cast<long double>(c.size());
  };
  r.OnNewCommand = r.OnUnknownCommand;
  r.OnWayPointReceive = [&sink](R&, const n::TWayPoint& w) {
    sink += static_cast<long double>(w.Name.size());
  };
  r.OnActiveRouteReceive = [&sink](R&) { sink += 1; };
  r.OnLogError = r.OnUnknownCommand;
}

// Framing, checksums and decoding with every event, fed in 4096-byte chunks.
void BM_FeedStream(benchmark::State& state) {
  const Stream& stream = TenHertzStream();
  n::TRaxCustomGPSReceiver receiver;
  long double sink = 0.0L;
  AssignTrivialHandlers(receiver, sink);
  const std::string_view text = stream.text;
  for (auto _ : state) {
    for (std::size_t at = 0; at < text.size(); at += kChunk) {
      receiver.FeedGPSReceiver(text.substr(at, kChunk));
    }
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(stream.sentences.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_FeedStream);

// The same without handlers: the decoder's own cost.
void BM_FeedStreamNoHandlers(benchmark::State& state) {
  const Stream& stream = TenHertzStream();
  n::TRaxCustomGPSReceiver receiver;
  const std::string_view text = stream.text;
  for (auto _ : state) {
    for (std::size_t at = 0; at < text.size(); at += kChunk) {
      receiver.FeedGPSReceiver(text.substr(at, kChunk));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(stream.sentences.size()));
}
BENCHMARK(BM_FeedStreamNoHandlers);

// Framing and checksums only: the accepted sentences of each chunk.
void BM_FrameOnly(benchmark::State& state) {
  const Stream& stream = TenHertzStream();
  n::TRaxCustomGPSReceiver receiver;
  const std::string_view text = stream.text;
  std::size_t accepted = 0;
  for (auto _ : state) {
    for (std::size_t at = 0; at < text.size(); at += kChunk) {
      accepted += receiver.ExtractCommands(text.substr(at, kChunk)).size();
    }
  }
  if (accepted != static_cast<std::size_t>(state.iterations()) * stream.sentences.size()) {
    state.SkipWithError("sentences were lost in framing");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(stream.sentences.size()));
}
BENCHMARK(BM_FrameOnly);

void BM_CheckSum(benchmark::State& state) {
  const Stream& stream = TenHertzStream();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(n::IsCheckSumOk(stream.sentences[i]));
    if (++i == stream.sentences.size()) {
      i = 0;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CheckSum);

}  // namespace

BENCHMARK_MAIN();
