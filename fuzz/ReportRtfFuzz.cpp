// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzz entry point over the report window's RTF reader.
//
// Any bytes are read as RTF; the entry point then checks what the reader
// and writer promise and aborts when a promise is broken:
//   - the text read is valid UTF-8;
//   - what the writer writes of it reads back exactly (the reader gives back
//     what we write).

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "geotools/core/RichText.hpp"

namespace {

bool IsUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80             ? 1
                    : (c & 0xE0) == 0xC0 ? 2
                    : (c & 0xF0) == 0xE0 ? 3
                    : (c & 0xF8) == 0xF0 ? 4
                                         : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const halvex::geotools::RichText text = halvex::geotools::ReadRtf(input);
  for (const auto& run : text.Runs()) {
    if (!IsUtf8(run.text) || !IsUtf8(run.style.font)) std::abort();
  }
  if (!(halvex::geotools::ReadRtf(halvex::geotools::WriteRtf(text)) == text)) std::abort();
  return 0;
}
