// SPDX-License-Identifier: GPL-3.0-or-later
// DXF colour indices and the drawing's 0xBBGGRR colours.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "mapcontrol/DxfFile.hpp"

namespace halvex::mapcontrol {
namespace {

// The basic colour indices 1..9 as 0xBBGGRR. Index 7 is drawn black on a
// light background and white on a dark one: both colours are near it.
constexpr std::array<int, 9> kAciColors = {
    0x0000FF,  // 1 red
    0x00FFFF,  // 2 yellow
    0x00FF00,  // 3 green
    0xFFFF00,  // 4 cyan
    0xFF0000,  // 5 blue
    0xFF00FF,  // 6 magenta
    0x000000,  // 7 black (or white)
    0x808080,  // 8 dark grey
    0xC0C0C0,  // 9 light grey
};

long Distance2(int a, int b) {
  long sum = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const long d = ((a >> shift) & 0xFF) - ((b >> shift) & 0xFF);
    sum += d * d;
  }
  return sum;
}

}  // namespace

int NearestAci(int bgr) {
  bgr &= 0xFFFFFF;
  int best = 7;
  long best_distance = std::min(Distance2(bgr, 0x000000), Distance2(bgr, 0xFFFFFF));
  for (int i = 0; i < 9; ++i) {
    const long d = Distance2(bgr, kAciColors[static_cast<size_t>(i)]);
    if (d < best_distance) {
      best_distance = d;
      best = i + 1;
    }
  }
  return best;
}

int AciToBgr(int aci) {
  aci = std::abs(aci);
  if (aci >= 1 && aci <= 9) return kAciColors[static_cast<size_t>(aci - 1)];
  return kDefaultPenColor;
}

}  // namespace halvex::mapcontrol
