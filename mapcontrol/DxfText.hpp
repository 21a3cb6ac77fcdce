// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Text encodings of DXF files and the escapes within their texts. Inside the
// drawing every text is UTF-8; these turn a file's bytes into UTF-8 and back.

#include <string>
#include <string_view>

namespace halvex::mapcontrol {

// The header variables that decide how a file's bytes are read, as found
// by a scan of its HEADER section ("" when not given).
struct DxfHeaderTexts {
  std::string version;    // $ACADVER, e.g. "AC1009"
  std::string code_page;  // $DWGCODEPAGE, e.g. "ANSI_1252"
};
DxfHeaderTexts ScanDxfHeader(std::string_view bytes);

// The iconv name of a DXF code page name, case-insensitive: "ANSI_n" and
// "DOSn" are code page n ("ANSI_1361" is Johab), "ISO8859-n" is ISO-8859-n,
// "UTF8" is UTF-8; other names are tried as iconv names themselves. "" when
// iconv does not know it.
std::string IconvCodePage(std::string_view dxf_name);

// `bytes` in the iconv code page `code_page` as UTF-8; a byte that does not
// belong to a character of it becomes U+FFFD.
std::string CodePageToUtf8(std::string_view bytes, const std::string& code_page);

// `bytes` with every byte that is not part of a valid UTF-8 sequence (over-
// long forms, surrogates and values past U+10FFFF included) replaced by
// U+FFFD; valid UTF-8 comes back unchanged.
std::string ValidUtf8(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);

// Decodes "\U+XXXX" (four hex digits; a pair of surrogates gives one
// character) and "\M+nXXXX" (the two bytes XXXX of the double-byte code page
// n: 1 Japanese 932, 2 traditional Chinese 950, 3 Korean 949, 4 Johab,
// 5 simplified Chinese 936). An escape that cannot be decoded stays as it
// is; a lone surrogate becomes U+FFFD.
std::string DecodeDxfEscapes(std::string_view text);

// UTF-8 `text` as code page 1252 bytes; characters 1252 does not hold are
// written "\U+XXXX" (beyond U+FFFF as a pair of surrogates).
std::string Utf8ToAnsi1252(std::string_view text);

// A drawing's text as the value of a TEXT entity in a file we write, and
// back: a backslash that would start an escape ("\U+", "\M+", "\P") is
// written "\U+005C", then ToDxfText, then Utf8ToAnsi1252.
std::string DxfTextValue(std::string_view text);
// The reverse for a TEXT value or a name that was read into UTF-8:
// FromDxfText (with `paragraphs`), then DecodeDxfEscapes.
std::string DxfTextFromValue(std::string_view value, bool paragraphs);
// A layer name as written: DxfLayerName, backslashes as in DxfTextValue,
// then Utf8ToAnsi1252.
std::string DxfNameValue(std::string_view name);

// The plain text of an MTEXT value: formatting codes removed, paragraph
// breaks ("\P", "\X", "^J") as line breaks, "\~" as a no-break space,
// stacked fractions as "a/b", "\U+" and "\M+" escapes decoded.
std::string MTextPlain(std::string_view text);

}  // namespace halvex::mapcontrol
