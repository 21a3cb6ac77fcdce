// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "tools/CliSupport.hpp"
#include "tools/HxvDxf.hpp"

int main(int argc, char** argv) {
  return halvex::tools::cli::RunReportingErrors("hxv-dxf", halvex::tools::kHxvDxfFailed, [&] {
    return halvex::tools::RunHxvDxf(argc, argv, std::cin, std::cout, std::cerr);
  });
}
