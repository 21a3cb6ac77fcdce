// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Line rates through the kernel's termios2 interface, which takes any rate
// in bits per second rather than one of the Bnnn constants. Kept in a
// translation unit of its own: <asm/termbits.h> declares a struct termios
// of its own and cannot be included together with <termios.h>.

namespace halvex::platform::detail {

// Sets both directions of the terminal `fd` to `rate` bits per second and
// keeps its other settings. False with errno set when the driver refuses.
bool SetArbitraryRate(int fd, int rate);

// The output rate of the terminal `fd` as the driver reports it (after any
// rounding it did), or -1 with errno set.
int CurrentRate(int fd);

}  // namespace halvex::platform::detail
