// SPDX-License-Identifier: GPL-3.0-or-later
// Texts between the drawing and DXF group values: layer names, the %% sign
// codes and line breaks.
#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <utility>

#include "mapcontrol/DxfFile.hpp"

namespace halvex::mapcontrol {
namespace {

// The signs DXF writes as control codes, as UTF-8 in the drawing.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kSpecialSigns = {{
    {"%%d", "\u00B0"},  // degree
    {"%%p", "\u00B1"},  // plus-minus
    {"%%c", "\u2300"},  // diameter
}};

}  // namespace

// A layer's name as DXF takes it: not empty, and without control
// characters, which would end the group value (each becomes "_").
std::string DxfLayerName(const std::string& name) {
  if (name.empty()) return "_";
  std::string out = name;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  }
  return out;
}

// A text as a DXF group value: a value ends at the line's end, so line
// breaks are written as "\P" (MTEXT's paragraph code) and other control
// characters as blanks; the degree, plus-minus and diameter signs become
// DXF's %%d, %%p and %%c.
std::string ToDxfText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      out += "\\P";
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      out += ' ';
      continue;
    }
    bool replaced = false;
    for (const auto& [code, sign] : kSpecialSigns) {
      if (text.compare(i, sign.size(), sign) == 0) {
        out += code;
        i += sign.size() - 1;
        replaced = true;
        break;
      }
    }
    if (!replaced) out += c;
  }
  return out;
}

// The reverse of ToDxfText: %%d, %%p, %%c in either case, %%% as a percent
// sign and, with `paragraphs` (TEXT; MTEXT has its own codes read before),
// "\P" as a line break.
std::string FromDxfText(const std::string& text, bool paragraphs) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "%%") == 0 && i + 2 < text.size()) {
      const char code = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 2])));
      bool replaced = false;
      for (const auto& [dxf, sign] : kSpecialSigns) {
        if (dxf[2] == code) {
          out += sign;
          replaced = true;
        }
      }
      if (code == '%') {
        out += '%';
        replaced = true;
      }
      if (replaced) {
        i += 2;
        continue;
      }
    }
    if (paragraphs && text.compare(i, 2, "\\P") == 0) {
      out += '\n';
      ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

}  // namespace halvex::mapcontrol
