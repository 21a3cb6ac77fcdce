// SPDX-License-Identifier: GPL-3.0-or-later
// Texts between the drawing and DXF group values: layer names, the %% sign
// codes and line breaks, code pages, escapes and MTEXT's formatting codes.
#include "mapcontrol/DxfText.hpp"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <optional>
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

// ---------------------------------------------------------------- encodings

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The character of the valid UTF-8 sequence at `i` and its length, or
// nullopt when the byte at `i` does not start one.
std::optional<std::pair<uint32_t, size_t>> Utf8At(std::string_view s, size_t i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return std::pair<uint32_t, size_t>{b0, 1};
  size_t length = 0;
  uint32_t c = 0;
  uint32_t least = 0;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2;
    c = b0 & 0x1Fu;
    least = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3;
    c = b0 & 0x0Fu;
    least = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4;
    c = b0 & 0x07u;
    least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (i + length > s.size()) return std::nullopt;
  for (size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (b & 0x3Fu);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  return std::pair<uint32_t, size_t>{c, length};
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The four hex digits at `i`, or nullopt.
std::optional<uint32_t> Hex4(std::string_view s, size_t i) {
  if (i + 4 > s.size()) return std::nullopt;
  uint32_t value = 0;
  for (size_t k = 0; k < 4; ++k) {
    const int d = HexDigit(s[i + k]);
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return value;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// An iconv descriptor, closed when it goes.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`, appending to `out`; each byte iconv cannot take
  // is skipped and `replacement` appended in its place.
  void Convert(std::string_view in, std::string& out, std::string_view replacement) {
    std::array<char, 4096> buffer{};
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    while (true) {
      char* dst = buffer.data();
      size_t dst_left = buffer.size();
      const size_t done = src_left == 0 ? iconv(cd_, nullptr, nullptr, &dst, &dst_left)
                                        : iconv(cd_, &src, &src_left, &dst, &dst_left);
      const int error = done == static_cast<size_t>(-1) ? errno : 0;
      out.append(buffer.data(), static_cast<size_t>(dst - buffer.data()));
      if (error == E2BIG) continue;
      if (error == EILSEQ || error == EINVAL) {
        out += replacement;
        ++src;
        --src_left;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        continue;
      }
      if (src_left == 0) break;
      if (error != 0) {  // not expected from iconv; keep the rest visible
        out += replacement;
        ++src;
        --src_left;
      }
    }
  }

 private:
  iconv_t cd_;
};

// The iconv code pages of the double-byte code pages of "\M+n".
constexpr std::array<const char*, 5> kMifCodePages = {"CP932", "CP950", "CP949", "JOHAB", "CP936"};

// Backslashes that would start an escape or a paragraph code, as "\U+005C".
std::string ProtectBackslashes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const std::string_view rest = text.substr(i);
    if (text[i] == '\\' &&
        (rest.starts_with("\\U+") || rest.starts_with("\\M+") || rest.starts_with("\\P"))) {
      out += "\\U+005C";
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

DxfHeaderTexts ScanDxfHeader(std::string_view bytes) {
  DxfHeaderTexts found;
  const auto next_line = [&](size_t& pos) {
    const size_t end = std::min(bytes.find('\n', pos), bytes.size());
    std::string_view line = bytes.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    return line;
  };
  size_t pos = 0;
  std::string_view variable;
  bool in_header = false;
  while (pos < bytes.size()) {
    const std::string_view code = next_line(pos);
    if (pos > bytes.size()) break;
    const std::string_view value = next_line(pos);
    if (code == "0" && value == "ENDSEC" && in_header) break;
    if (code == "2" && value == "HEADER") in_header = true;
    if (code == "2" && value != "HEADER" && !in_header) break;  // no header section
    if (code == "9") variable = value;
    if (code == "1" && variable == "$ACADVER") found.version = value;
    if (code == "3" && variable == "$DWGCODEPAGE") found.code_page = value;
  }
  return found;
}

std::string IconvCodePage(std::string_view dxf_name) {
  const std::string name = Upper(dxf_name);
  std::string iconv_name = name;
  const auto digits_after = [&](std::string_view prefix) -> std::string {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) return "";
    const std::string rest = name.substr(prefix.size());
    for (const char c : rest) {
      if (c < '0' || c > '9') return "";
    }
    return rest;
  };
  if (const std::string n = digits_after("ANSI_"); !n.empty()) {
    iconv_name = n == "1361" ? "JOHAB" : "CP" + n;
  } else if (const std::string d = digits_after("DOS"); !d.empty()) {
    iconv_name = "CP" + d;
  } else if (const std::string i = digits_after("ISO8859-"); !i.empty()) {
    iconv_name = "ISO-8859-" + i;
  } else if (name == "UTF8" || name == "UTF-8") {
    iconv_name = "UTF-8";
  }
  if (iconv_name.empty() || iconv_name.find('/') != std::string::npos) return "";
  const Converter probe("UTF-8", iconv_name.c_str());
  return probe.ok() ? iconv_name : "";
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const auto c = Utf8At(bytes, i);
    if (!c) return false;
    i += c->second;
  }
  return true;
}

std::string ValidUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 16);
  for (size_t i = 0; i < bytes.size();) {
    const auto c = Utf8At(bytes, i);
    if (c) {
      out.append(bytes.substr(i, c->second));
      i += c->second;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

std::string CodePageToUtf8(std::string_view bytes, const std::string& code_page) {
  bool ascii = true;
  for (const char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return std::string(bytes);
  if (code_page == "UTF-8") return ValidUtf8(bytes);
  Converter converter("UTF-8", code_page.c_str());
  if (!converter.ok()) return ValidUtf8(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  converter.Convert(bytes, out, kReplacement);
  return ValidUtf8(out);
}

namespace {

// Decodes the "\U+" or "\M+" escape at `i` into `out` and gives its length,
// or 0 when there is none to decode there.
size_t EscapeAt(std::string_view text, size_t i, std::string& out) {
  const std::string_view rest = text.substr(i);
  if (rest.starts_with("\\U+")) {
    const auto code = Hex4(text, i + 3);
    if (!code) return 0;
    uint32_t c = *code;
    size_t used = 7;
    if (c >= 0xD800 && c <= 0xDBFF && text.substr(i + 7).starts_with("\\U+")) {
      const auto low = Hex4(text, i + 10);
      if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (*low - 0xDC00);
        used = 14;
      }
    }
    if (c == 0 || (c >= 0xD800 && c <= 0xDFFF)) {
      out += kReplacement;
    } else {
      AppendUtf8(out, c);
    }
    return used;
  }
  if (rest.starts_with("\\M+") && rest.size() >= 8 && rest[3] >= '1' && rest[3] <= '5') {
    const auto code = Hex4(text, i + 4);
    if (!code) return 0;
    std::string pair;
    if (*code > 0xFF) pair += static_cast<char>(*code >> 8);
    pair += static_cast<char>(*code & 0xFF);
    Converter converter("UTF-8", kMifCodePages[static_cast<size_t>(rest[3] - '1')]);
    std::string decoded;
    if (converter.ok()) converter.Convert(pair, decoded, kReplacement);
    // One whole character, or the escape stays as it is.
    const auto c = decoded.empty() ? std::nullopt : Utf8At(decoded, 0);
    if (!c || c->second != decoded.size() || c->first == 0 || c->first == 0xFFFD) return 0;
    out += decoded;
    return 8;
  }
  return 0;
}

}  // namespace

std::string DecodeDxfEscapes(std::string_view text) {
  if (text.find('\\') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      if (const size_t used = EscapeAt(text, i, out); used != 0) {
        i += used - 1;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string Utf8ToAnsi1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::optional<Converter> converter;
  for (size_t i = 0; i < text.size();) {
    const auto c = Utf8At(text, i);
    const uint32_t code = c ? c->first : 0xFFFD;
    const size_t length = c ? c->second : 1;
    if (code < 0x80) {
      out += static_cast<char>(code);
      i += length;
      continue;
    }
    if (!converter) converter.emplace("CP1252", "UTF-8");
    std::string byte;
    if (c && converter->ok()) converter->Convert(text.substr(i, length), byte, "\x01");
    if (byte.size() == 1 && byte[0] != '\x01') {
      out += byte;
    } else {
      const auto escape = [&](uint32_t unit) {
        static constexpr std::string_view kHex = "0123456789ABCDEF";
        out += "\\U+";
        for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
      };
      if (code >= 0x10000) {
        escape(0xD800 + ((code - 0x10000) >> 10));
        escape(0xDC00 + ((code - 0x10000) & 0x3FF));
      } else {
        escape(code);
      }
    }
    i += length;
  }
  return out;
}

std::string DxfTextValue(std::string_view text) {
  return Utf8ToAnsi1252(ToDxfText(ProtectBackslashes(text)));
}

std::string DxfTextFromValue(std::string_view value, bool paragraphs) {
  return DecodeDxfEscapes(FromDxfText(std::string(value), paragraphs));
}

std::string DxfNameValue(std::string_view name) {
  return Utf8ToAnsi1252(ProtectBackslashes(DxfLayerName(std::string(name))));
}

// ---------------------------------------------------------------- MTEXT

std::string MTextPlain(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  // Codes that take a value up to the next ';' (font, height, colour,
  // tracking, obliquing, width, alignment, paragraph properties).
  constexpr std::string_view kValueCodes = "fFHCcTQWAp";
  // Codes that switch a style on or off and have no value.
  constexpr std::string_view kSwitchCodes = "LlOoKk";
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '{' || c == '}') continue;
    if (c == '^' && i + 1 < text.size()) {
      const char next = text[i + 1];
      if (next == 'J' || next == 'M' || next == 'I' || next == ' ') {
        out += next == 'J' ? "\n" : next == 'I' ? "\t" : next == ' ' ? "^" : "";
        ++i;
        continue;
      }
    }
    if (c != '\\' || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    const char code = text[i + 1];
    if (code == 'P' || code == 'X') {
      out += '\n';
      ++i;
    } else if (code == '~') {
      out += "\u00A0";
      ++i;
    } else if (code == '\\' || code == '{' || code == '}') {
      out += code;
      ++i;
    } else if (kSwitchCodes.find(code) != std::string_view::npos) {
      ++i;
    } else if (kValueCodes.find(code) != std::string_view::npos) {
      const size_t end = text.find(';', i + 2);
      i = end == std::string_view::npos ? text.size() : end;
    } else if (code == 'S') {
      // Stacked text: "\Supper^lower;", "\Sa/b;" or "\Sa#b;"; a backslash
      // in it takes the next character as it is.
      std::string stacked;
      size_t k = i + 2;
      for (; k < text.size() && text[k] != ';'; ++k) {
        if (text[k] == '\\' && k + 1 < text.size()) {
          stacked += text[++k];
        } else if (text[k] == '^' || text[k] == '#') {
          stacked += '/';
        } else {
          stacked += text[k];
        }
      }
      out += stacked;
      i = k;
    } else if (const size_t used = EscapeAt(text, i, out); used != 0) {
      i += used - 1;
    } else {
      out += c;  // not a code: kept as it is
    }
  }
  return out;
}

}  // namespace halvex::mapcontrol
