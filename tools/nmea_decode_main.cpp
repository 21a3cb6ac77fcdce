// SPDX-License-Identifier: GPL-3.0-or-later
#include <exception>
#include <iostream>

#include "tools/NmeaDecode.hpp"

int main(int argc, char** argv) {
  // The tool reads and writes large blocks; C stdio is not used alongside,
  // and standard input must tell how many bytes are ready without waiting.
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  try {
    return halvex::tools::RunNmeaDecode(argc, argv, std::cin, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "nmea-decode: " << e.what() << '\n';
    return halvex::tools::kNmeaDecodeUnreadable;
  }
}
