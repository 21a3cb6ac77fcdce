// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The output of nmea-decode: JSON lines collected in a buffer that is
// written out in blocks of kOutputBlock bytes, and also before the tool
// waits for input (a live receiver behind a pipe gets its events back at
// once), with reals written as printf's "%.17Lg" writes them.

#include <charconv>
#include <cmath>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace halvex::tools::nmea_decode {

inline constexpr std::string_view kProgram = "nmea-decode";
inline constexpr std::size_t kOutputBlock = std::size_t{64} << 10;
inline constexpr std::size_t kRealTextBytes = 64;

// printf's "%.17Lg" of a finite value into `text` (kRealTextBytes long);
// returns the end.
char* FormatReal(long double value, char* text);

// JSON lines collected in a buffer written out in blocks.
class JsonOutput {
 public:
  JsonOutput(std::ostream& out, std::ostream& err) : out_(out), err_(err) {
    buffer_.reserve(kOutputBlock + 1024);
  }

  void BeginEvent(std::string_view name) {
    buffer_ += "{\"event\":\"";
    buffer_ += name;
    buffer_ += '"';
    comma_ = true;
  }
  void EndEvent() {
    buffer_ += "}\n";
    if (buffer_.size() >= kOutputBlock) {
      Write();
    }
  }

  void Key(std::string_view name) {
    if (comma_) {
      buffer_ += ',';
    }
    buffer_ += '"';
    buffer_ += name;
    buffer_ += "\":";
    comma_ = false;
  }
  void BeginObject() {
    Element();
    buffer_ += '{';
    comma_ = false;
  }
  void EndObject() {
    buffer_ += '}';
    comma_ = true;
  }
  void BeginArray() {
    Element();
    buffer_ += '[';
    comma_ = false;
  }
  void EndArray() {
    buffer_ += ']';
    comma_ = true;
  }

  void Null() {
    Element();
    buffer_ += "null";
  }
  void Integer(long long value) {
    Element();
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    buffer_.append(text, result.ptr);
  }
  void Real(long double value) {
    if (!std::isfinite(value)) {
      Null();
      return;
    }
    Element();
    char text[kRealTextBytes];
    buffer_.append(text, FormatReal(value, text));
  }
  void Text(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    Element();
    buffer_ += '"';
    std::size_t plain = 0;  // start of the run of characters copied as they are
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
        continue;
      }
      buffer_.append(text.data() + plain, i - plain);
      plain = i + 1;
      if (c == '"' || c == '\\') {
        buffer_ += '\\';
        buffer_ += static_cast<char>(c);
      } else {
        const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        buffer_.append(escape, sizeof escape);
      }
    }
    buffer_.append(text.data() + plain, text.size() - plain);
    buffer_ += '"';
  }
  void Name(const char* name) { Text(name); }

  // Writes the buffer out and flushes the stream (before the tool waits for
  // input, and at the end).
  void Flush() {
    Write();
    out_.flush();
    CheckStream();
  }
  bool Failed() const { return failed_; }

 private:
  void Element() {
    if (comma_) {
      buffer_ += ',';
    }
    comma_ = true;
  }
  void Write() {
    if (!buffer_.empty() && !failed_) {
      out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
      CheckStream();
    }
    buffer_.clear();
  }
  void CheckStream() {
    if (!out_ && !failed_) {
      failed_ = true;
      err_ << kProgram << ": write error on standard output\n";
    }
  }

  std::ostream& out_;
  std::ostream& err_;
  std::string buffer_;
  bool comma_ = false;  // the next key or element needs a ',' before it
  bool failed_ = false;
};

}  // namespace halvex::tools::nmea_decode
