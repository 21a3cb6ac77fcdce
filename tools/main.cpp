// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "tools/CliSupport.hpp"
#include "tools/GeokitCli.hpp"

int main(int argc, char** argv) {
  // The tool reads and writes large blocks; C stdio is not used alongside.
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  return halvex::tools::cli::RunReportingErrors("geokit-cli", halvex::tools::kExitFailedLines, [&] {
    return halvex::tools::RunGeokitCli(argc, argv, std::cin, std::cout, std::cerr);
  });
}
