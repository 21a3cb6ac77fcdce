// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers of the command-line tools' tests: a run of a tool on a command
// line and an input text, a temporary folder, and lines of a text.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <span>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace halvex::tools::test_support {

// What a run of a tool gave.
struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// A tool's entry point: the command line without the program name, then
// standard input, output and error.
using ToolEntry = int (*)(std::span<const std::string>, std::istream&, std::ostream&,
                          std::ostream&);

// Runs `tool` on `args` with `input` as its standard input.
inline ToolRun RunTool(ToolEntry tool, const std::vector<std::string>& args,
                       const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  ToolRun run;
  run.status = tool(args, in, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

// The lines of `text`, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

// The lines, each followed by `end`.
inline std::string Joined(const std::vector<std::string>& lines, const char* end = "\n") {
  std::string text;
  for (const std::string& line : lines) {
    text += line + end;
  }
  return text;
}

inline bool Has(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// A folder of its own for each test, removed with it.
class TempFolder {
 public:
  TempFolder() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            ("halvex_" + std::string(test->test_suite_name()) + "_" + std::to_string(::getpid()) +
             "_" + test->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  // Writes file `name` of the folder and returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << content;
    return file.string();
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A stream that hands out one piece per read and records what had been
// written to the output at each read.
class PieceAtATimeBuffer : public std::streambuf {
 public:
  PieceAtATimeBuffer(std::vector<std::string> pieces, const std::ostringstream& out)
      : pieces_(std::move(pieces)), out_(out) {}

  std::vector<std::string> outputAtRead;

 protected:
  int_type underflow() override {
    if (next_ == pieces_.size()) {
      return traits_type::eof();
    }
    outputAtRead.push_back(out_.str());
    current_ = pieces_[next_++];
    setg(current_.data(), current_.data(), current_.data() + current_.size());
    return traits_type::to_int_type(current_[0]);
  }

 private:
  std::vector<std::string> pieces_;
  const std::ostringstream& out_;
  std::string current_;
  std::size_t next_ = 0;
};

}  // namespace halvex::tools::test_support
