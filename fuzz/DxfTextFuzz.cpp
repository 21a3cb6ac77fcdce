// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzz entry point over the DXF text decoders: code pages, escapes and
// MTEXT's formatting codes.
//
// An input is one selector byte and a text:
//   byte 0    the code page the text is read in (one of kCodePages)
//   bytes 1.. the text's bytes
//
// Besides sanitizer findings, the entry point aborts when
//   - a decoder gives bytes that are not valid UTF-8 (the code page's
//     conversion, the escapes, the MTEXT codes, and a header scan's names
//     once made valid);
//   - a text written as we write it (code page 1252 and escapes) does not
//     read back as it was, for texts without control characters and "%"
//     (both of which the writing changes on purpose).

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mapcontrol/DxfFile.hpp"
#include "mapcontrol/DxfText.hpp"

namespace {

namespace mc = halvex::mapcontrol;

constexpr const char* kCodePages[] = {"CP1252", "CP1253", "CP932", "CP936", "CP949",
                                      "CP950",  "CP850",  "JOHAB", "UTF-8"};

void Require(bool ok) {
  if (!ok) std::abort();
}

bool WrittenUnchanged(std::string_view text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\n') || c == 0x7F || c == '%') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string code_page = kCodePages[data[0] % std::size(kCodePages)];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::string text = mc::CodePageToUtf8(bytes, code_page);
  Require(mc::IsValidUtf8(text));
  Require(mc::IsValidUtf8(mc::DecodeDxfEscapes(text)));
  Require(mc::IsValidUtf8(mc::MTextPlain(text)));
  Require(mc::IsValidUtf8(mc::DxfTextFromValue(text, true)));

  const mc::DxfHeaderTexts header = mc::ScanDxfHeader(bytes);
  mc::IconvCodePage(header.code_page);

  // Written in 1252 with escapes, then read: the same text.
  if (WrittenUnchanged(text)) {
    const std::string written = mc::DxfTextValue(text);
    const std::string read = mc::DxfTextFromValue(mc::CodePageToUtf8(written, "CP1252"), true);
    Require(read == text);
  }
  return 0;
}
