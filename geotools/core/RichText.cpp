// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/RichText.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

namespace halvex::geotools {

namespace {

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at text[pos]; an invalid byte gives U+FFFD and
// advances by one.
std::uint32_t NextCodePoint(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  int length = 0;
  std::uint32_t cp = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    cp = lead & 0x1FU;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    cp = lead & 0x0FU;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    cp = lead & 0x07U;
  } else {
    ++pos;
    return 0xFFFD;
  }
  if (pos + static_cast<std::size_t>(length) > text.size()) {
    ++pos;
    return 0xFFFD;
  }
  for (int i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + static_cast<std::size_t>(i));
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return 0xFFFD;
    }
    cp = (cp << 6) | (next & 0x3FU);
  }
  static constexpr std::array<std::uint32_t, 5> kMin = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[static_cast<std::size_t>(length)] || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return 0xFFFD;
  }
  pos += static_cast<std::size_t>(length);
  return cp;
}

// Windows code page 1252 above 0x7F; its 0xA0 to 0xFF are Latin-1.
std::uint32_t FromCp1252(unsigned char byte) {
  static constexpr std::array<std::uint16_t, 32> k80 = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (byte >= 0x80 && byte < 0xA0) return k80[byte - 0x80];
  return byte;
}

// Writes text for the body or the font table; `inFontTable` also escapes
// ";", which ends a font name there.
void AppendEscaped(std::string& out, std::string_view text, bool inFontTable) {
  std::size_t pos = 0;
  char hex[8];
  while (pos < text.size()) {
    const char c = text[pos];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) {
      const std::uint32_t cp = NextCodePoint(text, pos);
      const auto writeUnit = [&](std::uint32_t unit) {
        out += "\\u";
        out += std::to_string(static_cast<int>(unit >= 0x8000 ? static_cast<int>(unit) - 0x10000
                                                              : static_cast<int>(unit)));
        out += '?';
      };
      if (cp >= 0x10000) {
        const std::uint32_t v = cp - 0x10000;
        writeUnit(0xD800 + (v >> 10));
        writeUnit(0xDC00 + (v & 0x3FF));
      } else {
        writeUnit(cp);
      }
      continue;
    }
    ++pos;
    if (c == '\\' || c == '{' || c == '}') {
      out.push_back('\\');
      out.push_back(c);
    } else if (!inFontTable && c == '\n') {
      out += "\\par\n";
    } else if (!inFontTable && c == '\t') {
      out += "\\tab ";
    } else if (u < 0x20 || u == 0x7F || (inFontTable && c == ';')) {
      std::snprintf(hex, sizeof hex, "\\'%02x", u);
      out += hex;
    } else {
      out.push_back(c);
    }
  }
}

}  // namespace

void RichText::Append(std::string_view text, const TextStyle& style) {
  if (text.empty()) return;
  if (!runs_.empty() && runs_.back().style == style) {
    runs_.back().text.append(text);
    return;
  }
  runs_.push_back({std::string(text), style});
}

std::string RichText::PlainText() const {
  std::string out;
  for (const TextRun& run : runs_) out += run.text;
  return out;
}

bool LooksLikeRtf(std::string_view bytes) {
  const std::size_t start = bytes.find_first_not_of(" \t\r\n");
  return start != std::string_view::npos && bytes.substr(start, 5) == "{\\rtf";
}

std::string WriteRtf(const RichText& text) {
  std::vector<std::string> fonts;
  std::vector<std::uint32_t> colours;
  for (const TextRun& run : text.Runs()) {
    if (std::find(fonts.begin(), fonts.end(), run.style.font) == fonts.end())
      fonts.push_back(run.style.font);
    if (std::find(colours.begin(), colours.end(), run.style.rgb) == colours.end())
      colours.push_back(run.style.rgb);
  }
  if (fonts.empty()) fonts.push_back(TextStyle{}.font);
  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl";
  for (std::size_t i = 0; i < fonts.size(); ++i) {
    out += "{\\f" + std::to_string(i) + "\\fnil ";
    AppendEscaped(out, fonts[i], true);
    out += ";}";
  }
  out += "}\n{\\colortbl ;";
  for (const std::uint32_t rgb : colours) {
    out += "\\red" + std::to_string((rgb >> 16) & 0xFF) + "\\green" +
           std::to_string((rgb >> 8) & 0xFF) + "\\blue" + std::to_string(rgb & 0xFF) + ";";
  }
  out += "}\n\\pard\\plain\n";
  for (const TextRun& run : text.Runs()) {
    const auto font = std::find(fonts.begin(), fonts.end(), run.style.font) - fonts.begin();
    const auto colour =
        std::find(colours.begin(), colours.end(), run.style.rgb) - colours.begin() + 1;
    out += "{\\f" + std::to_string(font) + "\\fs" + std::to_string(run.style.sizeHalfPoints) +
           (run.style.bold ? "\\b" : "") + "\\cf" + std::to_string(colour) + " ";
    AppendEscaped(out, run.text, false);
    out += "}";
  }
  out += "}\n";
  return out;
}

namespace {

enum class Destination { kBody, kSkip, kFontTable, kColourTable };

struct GroupState {
  Destination destination = Destination::kBody;
  int font = -1;  // -1: the document's default font
  int sizeHalfPoints = 24;
  bool bold = false;
  int colour = 0;
  int unicodeSkip = 1;
};

bool IsSkippedDestination(std::string_view word) {
  static constexpr std::array<std::string_view, 30> kSkipped = {"stylesheet",
                                                                "info",
                                                                "pict",
                                                                "header",
                                                                "headerl",
                                                                "headerr",
                                                                "headerf",
                                                                "footer",
                                                                "footerl",
                                                                "footerr",
                                                                "footerf",
                                                                "footnote",
                                                                "object",
                                                                "themedata",
                                                                "fldinst",
                                                                "listtable",
                                                                "listoverridetable",
                                                                "rsidtbl",
                                                                "generator",
                                                                "filetbl",
                                                                "revtbl",
                                                                "latentstyles",
                                                                "datastore",
                                                                "xmlnstbl",
                                                                "colorschememapping",
                                                                "bkmkstart",
                                                                "bkmkend",
                                                                "nonshppict",
                                                                "userprops",
                                                                "template"};
  return std::find(kSkipped.begin(), kSkipped.end(), word) != kSkipped.end();
}

class RtfReader {
 public:
  explicit RtfReader(std::string_view rtf) : in_(rtf) {}

  RichText Read() {
    while (pos_ < in_.size()) {
      const char c = in_[pos_];
      if (c == '{') {
        ++pos_;
        if (stack_.size() < 4096) {
          stack_.push_back(state_);
        } else {
          ++overflow_;
        }
        continue;
      }
      if (c == '}') {
        ++pos_;
        EndGroup();
        continue;
      }
      if (c == '\\') {
        ++pos_;
        ControlSymbolOrWord();
        continue;
      }
      ++pos_;
      if (c == '\r' || c == '\n') continue;
      Character(FromCodePage(static_cast<unsigned char>(c)));
    }
    return std::move(out_);
  }

 private:
  std::uint32_t FromCodePage(unsigned char byte) const { return FromCp1252(byte); }

  void EndGroup() {
    if (state_.destination == Destination::kFontTable && definingFont_ >= 0) {
      FinishFontName();
    }
    if (overflow_ > 0) {
      --overflow_;
      return;
    }
    if (stack_.empty()) return;
    state_ = stack_.back();
    stack_.pop_back();
  }

  void FinishFontName() {
    std::string name = fontName_;
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (!fonts_.contains(definingFont_)) fonts_[definingFont_] = name;
    fontName_.clear();
    definingFont_ = -1;
  }

  // A code point of text in the current destination.
  // `escaped`: written as \'hh or \uN, so never a table's ";" separator.
  void Character(std::uint32_t cp, bool escaped = false) {
    if (pendingSkip_ > 0) {
      --pendingSkip_;
      return;
    }
    if (highSurrogate_ != 0) {
      const std::uint32_t high = highSurrogate_;
      highSurrogate_ = 0;
      if (cp >= 0xDC00 && cp <= 0xDFFF) {
        Emit(0x10000 + ((high - 0xD800) << 10) + (cp - 0xDC00), true);
        return;
      }
      Emit(0xFFFD, true);
    }
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      highSurrogate_ = cp;
      return;
    }
    Emit(cp, escaped);
  }

  void Emit(std::uint32_t cp, bool escaped) {
    switch (state_.destination) {
      case Destination::kBody: {
        std::string utf8;
        AppendUtf8(utf8, cp);
        out_.Append(utf8, Style());
        break;
      }
      case Destination::kFontTable:
        if (cp == ';' && !escaped) {
          if (definingFont_ >= 0) FinishFontName();
        } else if (definingFont_ >= 0 && fontName_.size() < 256) {
          AppendUtf8(fontName_, cp);
        }
        break;
      case Destination::kColourTable:
        if (cp == ';' && !escaped) {
          colours_.push_back(haveColour_ ? colour_ : 0);
          colour_ = 0;
          haveColour_ = false;
        }
        break;
      case Destination::kSkip:
        break;
    }
  }

  TextStyle Style() const {
    TextStyle style;
    const int font = state_.font >= 0 ? state_.font : defaultFont_;
    const auto it = fonts_.find(font);
    style.font = it != fonts_.end() ? it->second : std::string();
    style.sizeHalfPoints = state_.sizeHalfPoints;
    style.bold = state_.bold;
    style.rgb = state_.colour >= 0 && static_cast<std::size_t>(state_.colour) < colours_.size()
                    ? colours_[static_cast<std::size_t>(state_.colour)]
                    : 0;
    return style;
  }

  static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  void ControlSymbolOrWord() {
    if (pos_ >= in_.size()) return;
    const char c = in_[pos_];
    if (!IsLetter(c)) {
      ++pos_;
      switch (c) {
        case '\\':
        case '{':
        case '}':
          Character(static_cast<unsigned char>(c));
          break;
        case '\'': {
          if (pos_ + 1 < in_.size()) {
            const int hi = HexValue(in_[pos_]);
            const int lo = HexValue(in_[pos_ + 1]);
            if (hi >= 0 && lo >= 0) {
              pos_ += 2;
              Character(FromCodePage(static_cast<unsigned char>(hi * 16 + lo)), true);
            }
          }
          break;
        }
        case '*':
          state_.destination = Destination::kSkip;
          break;
        case '~':
          Character(0xA0);
          break;
        case '_':
          Character('-');
          break;
        case '\r':
        case '\n':
          Character('\n');
          break;
        default:
          break;
      }
      return;
    }
    const std::size_t start = pos_;
    while (pos_ < in_.size() && IsLetter(in_[pos_]) && pos_ - start < 32) ++pos_;
    const std::string_view word = in_.substr(start, pos_ - start);
    bool hasNumber = false;
    bool negative = false;
    long long number = 0;
    if (pos_ < in_.size() && in_[pos_] == '-') {
      negative = true;
      ++pos_;
    }
    int digits = 0;
    while (pos_ < in_.size() && IsDigit(in_[pos_])) {
      if (digits < 10) number = number * 10 + (in_[pos_] - '0');
      ++digits;
      hasNumber = true;
      ++pos_;
    }
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
    number = std::clamp(negative ? -number : number, -2147483647LL, 2147483647LL);
    Word(word, hasNumber, static_cast<int>(number));
  }

  void Word(std::string_view word, bool hasNumber, int n) {
    if (word == "u") {
      Character(static_cast<std::uint32_t>(n < 0 ? n + 65536 : n) & 0xFFFFU, true);
      pendingSkip_ = state_.unicodeSkip;
      return;
    }
    if (word == "par" || word == "line") return Character('\n');
    if (word == "tab") return Character('\t');
    if (word == "emdash") return Character(0x2014);
    if (word == "endash") return Character(0x2013);
    if (word == "bullet") return Character(0x2022);
    if (word == "lquote") return Character(0x2018);
    if (word == "rquote") return Character(0x2019);
    if (word == "ldblquote") return Character(0x201C);
    if (word == "rdblquote") return Character(0x201D);
    pendingSkip_ = 0;
    if (word == "fonttbl") {
      state_.destination = Destination::kFontTable;
    } else if (word == "colortbl") {
      state_.destination = Destination::kColourTable;
    } else if (IsSkippedDestination(word)) {
      state_.destination = Destination::kSkip;
    } else if (word == "f") {
      if (state_.destination == Destination::kFontTable) {
        if (definingFont_ >= 0) FinishFontName();
        definingFont_ = n;
      } else {
        state_.font = n;
      }
    } else if (word == "deff") {
      defaultFont_ = n;
    } else if (word == "fs") {
      state_.sizeHalfPoints = hasNumber ? n : 24;
    } else if (word == "b") {
      state_.bold = !hasNumber || n != 0;
    } else if (word == "cf") {
      state_.colour = n;
    } else if (word == "plain") {
      state_.font = -1;
      state_.sizeHalfPoints = 24;
      state_.bold = false;
      state_.colour = 0;
    } else if (word == "uc") {
      state_.unicodeSkip = std::clamp(n, 0, 8);
    } else if (state_.destination == Destination::kColourTable &&
               (word == "red" || word == "green" || word == "blue")) {
      const auto v = static_cast<std::uint32_t>(std::clamp(n, 0, 255));
      const int shift = word == "red" ? 16 : word == "green" ? 8 : 0;
      colour_ = (colour_ & ~(0xFFU << shift)) | (v << shift);
      haveColour_ = true;
    }
  }

  std::string_view in_;
  std::size_t pos_ = 0;
  GroupState state_;
  std::vector<GroupState> stack_;
  int overflow_ = 0;
  RichText out_;
  std::map<int, std::string> fonts_;
  int defaultFont_ = 0;
  int definingFont_ = -1;
  std::string fontName_;
  std::vector<std::uint32_t> colours_;
  std::uint32_t colour_ = 0;
  bool haveColour_ = false;
  int pendingSkip_ = 0;
  std::uint32_t highSurrogate_ = 0;
};

}  // namespace

RichText ReadRtf(std::string_view rtf) { return RtfReader(rtf).Read(); }

}  // namespace halvex::geotools
