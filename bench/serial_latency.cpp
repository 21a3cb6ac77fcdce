// SPDX-License-Identifier: GPL-3.0-or-later
// The serial receiver over a real pseudo-terminal: the time from writing a
// fix into the line to OnPosition3DChange, for several polling periods, and
// the CPU time an open but silent port costs.
//
// usage: serial_latency [FIXES]   (default 300 fixes per polling period)

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "nmea/GpsReceiver.hpp"
#include "nmea/NmeaText.hpp"
#include "platform/SerialDevice.hpp"

namespace {

using Clock = std::chrono::steady_clock;
namespace n = halvex::nmea;

struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
      std::perror("pty");
      std::exit(1);
    }
    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0) {
      std::perror("ptsname");
      std::exit(1);
    }
    slave = name;
  }
  ~Pty() { ::close(master); }
};

double CpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::unique_ptr<n::TRaxGPSReceiver> Receiver(const std::string& path, int delay) {
  auto r = std::make_unique<n::TRaxGPSReceiver>(
      [path](const std::string&, std::string& error) {
        return halvex::platform::OpenSerialDevice(path, error);
      },
      [] { return std::vector<int>{1}; });
  r->SetPort(n::TCommPort::spCOM1);
  r->SetDelay(delay);
  return r;
}

void Latency(int delay, int fixes) {
  Pty pty;
  auto r = Receiver(pty.slave, delay);
  std::mutex mutex;
  std::condition_variable cv;
  Clock::time_point seen{};
  int events = 0;
  r->OnPosition3DChange = [&](n::TRaxCustomGPSReceiver&, long double, long double, long double) {
    const std::lock_guard lock(mutex);
    seen = Clock::now();
    ++events;
    cv.notify_all();
  };
  r->Open();
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> phase(0, delay * 1000);
  std::vector<double> latencies;
  for (int i = 0; i < fixes; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(phase(rng)));
    char body[128];
    std::snprintf(body, sizeof body,
                  "$GPGGA,120000.00,41%02d.%04d,N,02901.0000,E,1,08,0.9,5.0,M,37.1,M,,", i % 60, i);
    const std::string sentence = n::AddCrLfToNMEA(n::AddCheckSumToNMEA(body));
    std::unique_lock lock(mutex);
    const int before = events;
    const auto written = Clock::now();
    if (::write(pty.master, sentence.data(), sentence.size()) !=
        static_cast<ssize_t>(sentence.size())) {
      std::perror("write");
      std::exit(1);
    }
    if (!cv.wait_for(lock, std::chrono::seconds(5), [&] { return events > before; })) {
      std::fprintf(stderr, "no event for fix %d\n", i);
      std::exit(1);
    }
    latencies.push_back(std::chrono::duration<double, std::milli>(seen - written).count());
  }
  r->Close();
  std::sort(latencies.begin(), latencies.end());
  const auto at = [&](double q) {
    return latencies[std::min(latencies.size() - 1,
                              static_cast<std::size_t>(q * latencies.size()))];
  };
  std::printf(
      "Delay %4d ms: latency p50 %7.2f ms, p99 %7.2f ms, max %7.2f ms (target p99 <= %d ms) %s\n",
      delay, at(0.5), at(0.99), latencies.back(), delay + 5,
      at(0.99) <= delay + 5 ? "met" : "NOT MET");
}

void SilentCpu(int delay, double seconds) {
  Pty pty;
  auto r = Receiver(pty.slave, delay);
  r->Open();
  const double cpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double cpu = CpuSeconds() - cpu0;
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  r->Close();
  std::printf("Delay %4d ms, silent port: %.3f %% of one core over %.0f s (target < 1 %%) %s\n",
              delay, 100.0 * cpu / wall, wall, cpu / wall < 0.01 ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
  const int fixes = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  for (const int delay : {10, 50, 100}) {
    Latency(delay, fixes);
  }
  SilentCpu(10, 10.0);
  return 0;
}
