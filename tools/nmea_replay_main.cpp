// SPDX-License-Identifier: GPL-3.0-or-later
#include <signal.h>

#include <atomic>
#include <iostream>

#include "tools/CliSupport.hpp"
#include "tools/NmeaReplay.hpp"

namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set by a signal handler");
std::atomic<bool> stopRequested{false};

void OnStopSignal(int) { stopRequested.store(true); }

// SIGINT, SIGTERM and SIGHUP ask the replay to stop; without SA_RESTART,
// so that a blocking open() returns. A reader going away shows as EPIPE
// rather than SIGPIPE.
void InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal, &action, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  InstallSignalHandlers();
  return halvex::tools::cli::RunReportingErrors(
      "nmea-replay", halvex::tools::kNmeaReplayIoError, [&] {
        return halvex::tools::RunNmeaReplay(argc, argv, std::cin, std::cout, std::cerr,
                                            &stopRequested);
      });
}
