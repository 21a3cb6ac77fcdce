// SPDX-License-Identifier: GPL-3.0-or-later
// DXF colour indices and the drawing's 0xBBGGRR colours.
#include <algorithm>
#include <array>
#include <cmath>
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

// The palette of the colour indices 10..249: 24 hues 15 degrees apart, each
// in five shades (full, 0.8, 0.6, 0.5, 0.3 of full), every shade as it is
// and paled (halfway to white); 250..255 greys.
int PaletteBgr(int aci) {
  if (aci >= 1 && aci <= 9) return kAciColors[static_cast<size_t>(aci - 1)];
  if (aci >= 250 && aci <= 255) {
    constexpr std::array<int, 6> kGreys = {0x33, 0x50, 0x69, 0x82, 0xBE, 0xFF};
    const int g = kGreys[static_cast<size_t>(aci - 250)];
    return g | g << 8 | g << 16;
  }
  const int hue = (aci - 10) / 10;  // 0 red, 4 yellow, 8 green, ... 15 degrees apart
  const int shade = (aci % 10) / 2;
  const bool pale = aci % 2 == 1;
  // Red, green and blue of the hue at full strength, 0..1.
  auto channel = [hue](int offset) {
    const double h = std::fmod((hue + offset) * 15.0 + 360.0, 360.0);
    if (h <= 60 || h >= 300) return 1.0;
    if (h < 120) return (120 - h) / 60;
    if (h > 240) return (h - 240) / 60;
    return 0.0;
  };
  constexpr std::array<double, 5> kShades = {1.0, 0.8, 0.6, 0.5, 0.3};
  int bgr = 0;
  const double c[3] = {channel(0), channel(-8), channel(-16)};  // red, green, blue
  for (int i = 0; i < 3; ++i) {
    double v = pale ? 0.5 + c[i] / 2 : c[i];
    v = std::floor(v * 255 * kShades[static_cast<size_t>(shade)] + 0.5);
    bgr |= static_cast<int>(v) << (8 * i);
  }
  return bgr;
}

}  // namespace

const std::array<int, 256>& Palette() {
  static const std::array<int, 256> palette = [] {
    std::array<int, 256> p{};
    for (int aci = 1; aci <= 255; ++aci) p[static_cast<size_t>(aci)] = PaletteBgr(aci);
    return p;
  }();
  return palette;
}

int ShapeAciToBgr(int aci) {
  if (aci < 1 || aci > 255) return kLayerColor;
  return Palette()[static_cast<size_t>(aci)];
}

int ExactAci(int bgr) {
  const std::array<int, 256>& palette = Palette();
  for (int aci = 1; aci <= 255; ++aci) {
    if (palette[static_cast<size_t>(aci)] == bgr) return aci;
  }
  return 0;
}

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
