// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SerialCustomRate.hpp"

// Not <termios.h>: see the header.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace halvex::platform::detail {

bool SetArbitraryRate(int fd, int rate) {
  termios2 settings{};
  if (::ioctl(fd, TCGETS2, &settings) != 0) {
    return false;
  }
  settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = static_cast<speed_t>(rate);
  settings.c_ospeed = static_cast<speed_t>(rate);
  return ::ioctl(fd, TCSETS2, &settings) == 0;
}

int CurrentRate(int fd) {
  termios2 settings{};
  if (::ioctl(fd, TCGETS2, &settings) != 0) {
    return -1;
  }
  return static_cast<int>(settings.c_ospeed);
}

}  // namespace halvex::platform::detail
