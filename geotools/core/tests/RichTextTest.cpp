// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/RichText.hpp"

#include <gtest/gtest.h>

#include <random>

namespace halvex::geotools {
namespace {

TextStyle Style(std::string font, int size, bool bold, std::uint32_t rgb) {
  return TextStyle{std::move(font), size, bold, rgb};
}

TEST(RichTextRtf, WhatWeWriteReadsBackExactly) {
  RichText text;
  text.Append("Helmert report\n", Style("Arial", 28, true, 0x000080));
  text.Append("Braces {a} and back\\slash; tab\there\n", Style("Courier New", 20, false, 0));
  text.Append("Ünïcode ° ± ∆ and 𝔾 (outside the BMP)\n", Style("Courier New", 20, false, 0xFF0000));
  text.Append("control \x01 and \r inside", Style("Font;with;semicolons", 1, true, 0xFFFFFF));
  const std::string rtf = WriteRtf(text);
  EXPECT_EQ(ReadRtf(rtf), text) << rtf;
  // Nothing of the text may appear unescaped where RTF would read it as markup.
  EXPECT_NE(rtf.find("\\{a\\}"), std::string::npos);
  EXPECT_NE(rtf.find("back\\\\slash"), std::string::npos);
}

TEST(RichTextRtf, RandomDocumentsRoundTrip) {
  std::mt19937 random(7);
  const std::string alphabet = std::string("ab {}\\\n\t;\x7f\x02") + "é°𝔾";
  for (int round = 0; round < 200; ++round) {
    RichText text;
    const int runs = static_cast<int>(random() % 6);
    for (int r = 0; r < runs; ++r) {
      std::string piece;
      const int length = static_cast<int>(random() % 12) + 1;
      for (int i = 0; i < length; ++i) {
        const std::size_t at = random() % 14;
        if (at < 11)
          piece.push_back(alphabet[at]);
        else if (at == 11)
          piece += "é";
        else if (at == 12)
          piece += "°";
        else
          piece += "𝔾";
      }
      text.Append(piece,
                  Style(random() % 2 ? "Arial" : "Courier New", static_cast<int>(random() % 40),
                        random() % 2 == 0, static_cast<std::uint32_t>(random() & 0xFFFFFF)));
    }
    ASSERT_EQ(ReadRtf(WriteRtf(text)), text) << WriteRtf(text);
  }
}

TEST(RichTextRtf, ForeignDocumentsGiveTheirText) {
  const std::string wordpad =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat{\\fonttbl{\\f0\\fnil\\fcharset0 Calibri;}"
      "{\\f1\\fswiss Arial;}}\r\n"
      "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
      "{\\stylesheet{\\s0 Normal;}}{\\info{\\author Someone}}\r\n"
      "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
      "\\pard\\sa200\\sl276\\slmult1\\f0\\fs22\\lang9 Caf\\'e9 \\b bold\\b0  "
      "\\cf1 red\\cf0\\par\r\nLine\\line two \\u8364? and \\{x\\}\\tab end\\par\r\n"
      "{\\pict\\pngblip 89504e47}}\r\n";
  const RichText text = ReadRtf(wordpad);
  EXPECT_EQ(text.PlainText(), "Café bold red\nLine\ntwo € and {x}\tend\n");
  ASSERT_GE(text.Runs().size(), 3U);
  EXPECT_EQ(text.Runs()[0].style.font, "Calibri");
  EXPECT_EQ(text.Runs()[0].style.sizeHalfPoints, 22);
  EXPECT_TRUE(text.Runs()[1].style.bold);
  bool sawRed = false;
  for (const TextRun& run : text.Runs()) {
    if (run.text == "red") {
      sawRed = true;
      EXPECT_EQ(run.style.rgb, 0xFF0000U);
      EXPECT_FALSE(run.style.bold);
    }
  }
  EXPECT_TRUE(sawRed);
}

TEST(RichTextRtf, MalformedInputGivesWhatItCan) {
  EXPECT_EQ(ReadRtf("").PlainText(), "");
  EXPECT_EQ(ReadRtf("plain words").PlainText(), "plain words");
  EXPECT_EQ(ReadRtf("{\\rtf1 open {group never closed \\'zz\\").PlainText(),
            "open group never closed zz");
  EXPECT_EQ(ReadRtf("}}}{\\rtf1 a}}b").PlainText(), "ab");
  EXPECT_EQ(ReadRtf("{\\rtf1 \\u-10179? lone surrogate}").PlainText(),
            "\xEF\xBF\xBD lone surrogate");
  EXPECT_EQ(ReadRtf("{\\rtf1 \\fs99999999999999 \\cf-5 x}").PlainText(), "x");
  std::string deep(100000, '{');
  EXPECT_EQ(ReadRtf(deep + "x").PlainText(), "x");
}

TEST(RichTextRtf, RecognisesRtfByItsStart) {
  EXPECT_TRUE(LooksLikeRtf("  \r\n{\\rtf1 x}"));
  EXPECT_FALSE(LooksLikeRtf("{rtf"));
  EXPECT_FALSE(LooksLikeRtf(""));
}

}  // namespace
}  // namespace halvex::geotools
