// SPDX-License-Identifier: GPL-3.0-or-later
// Code pages, escapes and MTEXT codes of DXF files, read and written.
#include "mapcontrol/DxfText.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mapcontrol/DxfFile.hpp"

namespace halvex::mapcontrol {
namespace {

namespace fs = std::filesystem;

const std::string kData = DXF_TEST_DATA;
const std::string kGreekLayer = "ΛΑΓΕΡÄÜÖ";

std::string TempPath(const std::string& name) {
  return (fs::temp_directory_path() / ("halvex_dxftext_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

// A minimal DXF file of release `version` in code page `code_page` (none
// when empty) with a LAYER table entry and a TEXT on it; the strings are
// written as the bytes given.
std::string SmallDxf(const std::string& version, const std::string& code_page,
                     const std::string& layer, const std::string& text) {
  std::string out = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\n" + version + "\n";
  if (!code_page.empty()) out += "9\n$DWGCODEPAGE\n3\n" + code_page + "\n";
  out += "0\nENDSEC\n0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n1\n0\nLAYER\n2\n" + layer +
         "\n70\n0\n62\n1\n6\nCONTINUOUS\n0\nENDTAB\n0\nENDSEC\n"
         "0\nSECTION\n2\nENTITIES\n0\nTEXT\n8\n" +
         layer + "\n10\n1\n20\n2\n30\n0\n40\n1\n1\n" + text + "\n0\nENDSEC\n0\nEOF\n";
  return out;
}

struct Loaded {
  DrawingModel model;
  DxfLoadReport report;
  std::string layer;
  std::string text;
};

Loaded LoadBytes(const std::string& bytes) {
  const std::string path = TempPath("load.dxf");
  std::ofstream(path, std::ios::binary) << bytes;
  Loaded loaded;
  std::string error;
  EXPECT_TRUE(LoadDxf(path, loaded.model, loaded.report, error)) << error;
  fs::remove(path);
  if (loaded.model.LayerCount() > 0) {
    loaded.layer = loaded.model.LayerName(0);
    loaded.model.ForEachShape(0, [&](const ShapeData& s) { loaded.text = s.text; });
  }
  return loaded;
}

// Files of other programs: the layer "ΛΑΓΕΡÄÜÖ" as code page bytes and
// escapes, in two code pages, with CR LF line ends.
TEST(DxfCodePages, LayerNamesOfRealFiles) {
  for (const char* name : {"r12_ansi1252_escaped_layer.dxf", "r12_ansi1253_layer.dxf"}) {
    SCOPED_TRACE(name);
    DrawingModel m;
    DxfLoadReport report;
    std::string error;
    ASSERT_TRUE(LoadDxf(kData + "/" + name, m, report, error)) << error;
    EXPECT_TRUE(report.notes.empty());
    ASSERT_EQ(m.LayerCount(), 1u);  // layer "0" holds nothing
    EXPECT_EQ(m.LayerName(0), kGreekLayer);
    std::vector<std::string> texts;
    m.ForEachShape(0, [&](const ShapeData& s) {
      if (s.kind == ShapeKind::kText) texts.push_back(s.text);
    });
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0] == "Tiefe 12 m ≈ Wrack, 5 €" || texts[0] == "Βάθος 12 m") << texts[0];
  }
}

// Each code page through iconv; UTF-8 from release 2007 on; what cannot be
// read becomes U+FFFD, never raw bytes.
TEST(DxfCodePages, BytesOfEachReleaseAndCodePage) {
  struct Case {
    const char* version;
    const char* code_page;
    std::string layer_bytes;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"AC1009", "ANSI_1252", "Gr\xFC\xDF\x80", "Grüß€"},
      {"AC1015", "ansi_1251", "\xCA\xE0\xF0\xF2\xE0", "Карта"},
      {"AC1018", "DOS850", "\x8E\x99\x9A", "ÄÖÜ"},
      {"AC1009", "ANSI_932", "\x93\xFA\x96\x7B", "日本"},  // trail byte 0x7B
      {"AC1009", "ISO8859-2",
       "\xA3\xF3"
       "d\xBC",
       "Łódź"},
      // 0x81 is not a character of 1252.
      {"AC1009", "ANSI_1252", "a\x81z", "a\uFFFDz"},
      // From release 2007 on UTF-8, whatever the code page says.
      {"AC1021", "ANSI_1252", "Grüß", "Grüß"},
      {"AC1032", "ANSI_1253", "bad \xC3\x28 \xED\xA0\x80 end",
       "bad \uFFFD( \uFFFD\uFFFD\uFFFD end"},
      // No code page: 1252, unless the file is valid UTF-8 (older exports).
      {"AC1009", "", "Gr\xFC\xDF", "Grüß"},
      {"AC1009", "", "Grüß", "Grüß"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + c.code_page);
    const Loaded loaded = LoadBytes(SmallDxf(c.version, c.code_page, c.layer_bytes, c.layer_bytes));
    EXPECT_EQ(loaded.layer, c.expected);
    EXPECT_EQ(loaded.text, c.expected);
    EXPECT_TRUE(loaded.report.notes.empty());
  }
}

TEST(DxfCodePages, UnknownCodePageIsReadAs1252AndReported) {
  const Loaded loaded = LoadBytes(SmallDxf("AC1009", "ANSI_9999", "\xC4rger", "x"));
  EXPECT_EQ(loaded.layer, "Ärger");
  EXPECT_EQ(loaded.report.code_page, "ANSI_1252");
  ASSERT_EQ(loaded.report.notes.size(), 1u);
  EXPECT_EQ(loaded.report.notes[0], "unknown code page \"ANSI_9999\": texts read as ANSI_1252");
  EXPECT_EQ(IconvCodePage("ANSI_9999"), "");
  EXPECT_EQ(IconvCodePage("../x"), "");
  EXPECT_EQ(IconvCodePage("ANSI_1361"), "JOHAB");
}

TEST(DxfEscapes, UnicodeAndDoubleByteEscapes) {
  EXPECT_EQ(DecodeDxfEscapes("\\U+039B\\U+00c4x"), "ΛÄx");
  EXPECT_EQ(DecodeDxfEscapes("\\U+D83D\\U+DE00"), "\U0001F600");  // a pair of surrogates
  EXPECT_EQ(DecodeDxfEscapes("\\U+D83Dx"), "\uFFFDx");            // a lone one
  EXPECT_EQ(DecodeDxfEscapes("\\U+0000"), "\uFFFD");
  EXPECT_EQ(DecodeDxfEscapes("\\U+12G4 \\U+12 \\u+0041"), "\\U+12G4 \\U+12 \\u+0041");
  EXPECT_EQ(DecodeDxfEscapes("\\M+193FA\\M+2A4A4\\M+3B0A1\\M+5C4E3"), "日中가你");
  EXPECT_EQ(DecodeDxfEscapes("\\M+9ABCD \\M+1FFFF"), "\\M+9ABCD \\M+1FFFF");
  EXPECT_EQ(DecodeDxfEscapes("a\\\\b"), "a\\\\b");
}

TEST(DxfEscapes, ValidUtf8ReplacesEveryBadByte) {
  EXPECT_EQ(ValidUtf8("ok ÄΛ€\U0001F600"), "ok ÄΛ€\U0001F600");
  EXPECT_EQ(ValidUtf8("\xC0\xAF"), "\uFFFD\uFFFD");                      // overlong
  EXPECT_EQ(ValidUtf8("\xF4\x90\x80\x80"), "\uFFFD\uFFFD\uFFFD\uFFFD");  // past U+10FFFF
  EXPECT_EQ(ValidUtf8("a\xE2\x82"), "a\uFFFD\uFFFD");                    // cut short
  EXPECT_TRUE(IsValidUtf8(ValidUtf8(std::string("\xFF\xFE\x00\x80", 4))));
}

// What we write: code page 1252 with escapes for the rest, read back
// unchanged by our reader and by ezdxf (which decodes the escapes when it
// recovers a file).
TEST(DxfEscapes, ExportWrites1252AndEscapesThatReadBackUnchanged) {
  EXPECT_EQ(Utf8ToAnsi1252("Grüß € Λ"), "Gr\xFC\xDF \x80 \\U+039B");
  EXPECT_EQ(Utf8ToAnsi1252("\u0081\U0001F600"), "\\U+0081\\U+D83D\\U+DE00");
  EXPECT_EQ(DxfTextValue("C:\\Pfad\\U+0041\\M+1ABCD \\x"),
            "C:\\U+005CPfad\\U+005CU+0041\\U+005CM+1ABCD \\x");

  const std::vector<std::string> texts = {"ΛΑΓΕΡÄÜÖ 12 m", "C:\\Pfad\\U+0041 \\x", "5 € ≈ 6 $",
                                          "two\nlines", "%%d and ° and ⌀"};
  DrawingModel m;
  const uint16_t layer = m.LayerOpen(kGreekLayer);
  const uint16_t other = m.LayerOpen("back\\U+0041slash");
  for (const std::string& text : texts) m.TextAdd(layer, text, 1, 2, m.FontOpen("Txt", 1), 1, 0);
  m.DrawPoint(0, 0, other);
  const std::string path = TempPath("export.dxf");
  std::string error;
  ASSERT_TRUE(SaveDxf(m, path, error)) << error;
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(bytes.find("$DWGCODEPAGE\n  3\nANSI_1252\n"), std::string::npos);
  EXPECT_NE(bytes.find("\\U+039B\\U+0391\\U+0393\\U+0395\\U+03A1\xC4\xDC\xD6"), std::string::npos);

  DrawingModel back;
  DxfLoadReport report;
  ASSERT_TRUE(LoadDxf(path, back, report, error)) << error;
  EXPECT_EQ(report.code_page, "ANSI_1252");
  ASSERT_EQ(back.LayerCount(), 2u);
  EXPECT_EQ(back.LayerName(0), kGreekLayer);
  EXPECT_EQ(back.LayerName(1), "back\\U+0041slash");
  std::vector<std::string> read;
  back.ForEachShape(0, [&](const ShapeData& s) { read.push_back(s.text); });
  std::vector<std::string> expected = texts;
  expected.back() = "° and ° and ⌀";  // %%d is DXF's degree sign
  EXPECT_EQ(read, expected);

  // ezdxf: the layer names and texts, one a line, as UTF-8 (line breaks as
  // DXF's \P, which ezdxf keeps in TEXT).
  const std::string out = TempPath("ezdxf.txt");
  const std::string command =
      std::string(DXF_AUDIT_PYTHON) +
      " -c \"import sys, ezdxf.recover as r; d, a = r.readfile(sys.argv[1]); "
      "f = open(sys.argv[2], 'w', encoding='utf-8'); "
      "[f.write(e.dxf.layer + '|' + (e.dxf.text if e.dxftype() == 'TEXT' else '') + chr(10)) for e "
      "in d.modelspace()]\" '" +
      path + "' '" + out + "' 2>/dev/null";
  if (std::system((std::string(DXF_AUDIT_PYTHON) + " -c 'import ezdxf' 2>/dev/null").c_str()) !=
      0) {
    fs::remove(path);
    GTEST_SKIP() << "ezdxf is not installed";
  }
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream lines(out);
  std::vector<std::string> ezdxf_lines;
  for (std::string line; std::getline(lines, line);) ezdxf_lines.push_back(line);
  ASSERT_EQ(ezdxf_lines.size(), texts.size() + 1);
  EXPECT_EQ(ezdxf_lines[0], kGreekLayer + "|ΛΑΓΕΡÄÜÖ 12 m");
  EXPECT_EQ(ezdxf_lines[1], kGreekLayer + "|C:\\Pfad\\U+0041 \\x");
  EXPECT_EQ(ezdxf_lines[2], kGreekLayer + "|5 € ≈ 6 $");
  EXPECT_EQ(ezdxf_lines[3], kGreekLayer + "|two\\Plines");
  EXPECT_EQ(ezdxf_lines[5], "back\\U+0041slash|");
  fs::remove(path);
  fs::remove(out);
}

TEST(DxfMText, FormattingCodesAreStripped) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Line 1\\PLine 2", "Line 1\nLine 2"},
      {"{\\fArial|b1|i0|c0|p34;Bold} \\H2.5x;big \\C1;red \\c255;true", "Bold big red true"},
      {"\\LUnder\\l \\OOver\\o \\KStrike\\k", "Under Over Strike"},
      {"a\\~b", "a\u00A0b"},
      {"\\\\ \\{ \\} {x}", "\\ { } x"},
      {"\\S1/2; \\S+0.1^-0.2; \\S3#4; \\S1\\;2^3;", "1/2 +0.1/-0.2 3/4 1;2/3"},
      {"\\A1;mid \\Q15;slant \\W0.8;narrow \\T2;wide", "mid slant narrow wide"},
      {"\\pxi-3,l3,t3;item\\Xdim", "item\ndim"},
      {"^Jnext^Itab^ caret", "\nnext\ttab^caret"},
      {"\\U+039B\\M+193FA", "Λ日"},
      {"\\Zunknown \\", "\\Zunknown \\"},
      {"\\fArial", ""},  // a code left open at the end
  };
  for (const auto& [mtext, plain] : cases) EXPECT_EQ(MTextPlain(mtext), plain) << mtext;
}

}  // namespace
}  // namespace halvex::mapcontrol
