// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The report text: runs of UTF-8 text, each with one font, size, weight and
// colour, and its RTF form.
//
// The RTF writer writes what the report window needs (font, size, bold,
// colour; "\", "{" and "}" escaped; tabs and line breaks as \tab and \par;
// characters outside printable ASCII as \uN? or \'hh). The reader gives
// back exactly what the writer wrote, and the plain text (with whatever
// font, size, bold and colour it understands) of RTF from other programs:
// control words it does not know are dropped, destinations such as the
// style sheet, pictures and document information are skipped, \par and
// \line become line breaks, \'hh is read in the document's code page (1252
// and its Latin-1 subset; other code pages read as Latin-1) and \uN as
// Unicode. The reader never fails: malformed input gives the text it could
// make of it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::geotools {

struct TextStyle {
  std::string font = "Arial";
  int sizeHalfPoints = 20;  // RTF's \fs unit: 20 is 10 pt
  bool bold = false;
  std::uint32_t rgb = 0;  // 0xRRGGBB

  friend bool operator==(const TextStyle&, const TextStyle&) = default;
};

struct TextRun {
  std::string text;  // UTF-8; "\n" ends a paragraph
  TextStyle style;

  friend bool operator==(const TextRun&, const TextRun&) = default;
};

class RichText {
 public:
  // Appends text in a style; joins it to the last run when the style is the
  // same. Empty texts are dropped.
  void Append(std::string_view text, const TextStyle& style);

  const std::vector<TextRun>& Runs() const { return runs_; }
  std::string PlainText() const;
  bool Empty() const { return runs_.empty(); }

  friend bool operator==(const RichText&, const RichText&) = default;

 private:
  std::vector<TextRun> runs_;
};

std::string WriteRtf(const RichText& text);
RichText ReadRtf(std::string_view rtf);

// True when the bytes begin like an RTF document ("{\rtf", blanks allowed
// before it).
bool LooksLikeRtf(std::string_view bytes);

}  // namespace halvex::geotools
