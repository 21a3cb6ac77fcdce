// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "tools/CliSupport.hpp"
#include "tools/NmeaDecode.hpp"

int main(int argc, char** argv) {
  // The tool reads and writes large blocks; C stdio is not used alongside,
  // and standard input must tell how many bytes are ready without waiting.
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  return halvex::tools::cli::RunReportingErrors(
      "nmea-decode", halvex::tools::kNmeaDecodeUnreadable,
      [&] { return halvex::tools::RunNmeaDecode(argc, argv, std::cin, std::cout, std::cerr); });
}
