// SPDX-License-Identifier: GPL-3.0-or-later
#include <exception>
#include <iostream>

#include "tools/GeokitCli.hpp"

int main(int argc, char** argv) {
  // The tool reads and writes large blocks; C stdio is not used alongside.
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  try {
    return halvex::tools::RunGeokitCli(argc, argv, std::cin, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "geokit-cli: " << e.what() << '\n';
    return halvex::tools::kExitFailedLines;
  }
}
