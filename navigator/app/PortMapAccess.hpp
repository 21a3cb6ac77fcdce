// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The receivers' way to their ports through the program's own port map:
// section "SERIALCOMM" of the program's INI file first, then the kernel's
// serial devices. The map is read again at every open, so an entry edited
// while the program runs, or a device plugged in later, is found.

#include <filesystem>

#include "navigator/core/Navigator.hpp"

namespace halvex::navigator {

ReceiverPorts PortsThroughIni(const std::filesystem::path& iniFile);

}  // namespace halvex::navigator
