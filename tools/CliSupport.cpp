// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/CliSupport.hpp"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "halvex/Version.hpp"


namespace halvex::tools::cli {
namespace {

constexpr std::string_view kStdinName = "<stdin>";
constexpr std::size_t kInputBufferBytes = std::size_t{64} << 10;

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
  }
  return args;
}

OptionReader::Kind OptionReader::Next() {
  while (next_ < args_.size()) {
    index_ = next_++;
    const std::string& arg = args_[index_];
    if (optionsEnded_ || arg == "-" || arg.empty() || arg[0] != '-') {
      files_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded_ = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      return Kind::kHelp;
    }
    name_ = arg;
    inlineValue_.reset();
    if (const std::size_t equals = arg.find('='); equals != std::string::npos) {
      name_ = arg.substr(0, equals);
      inlineValue_ = arg.substr(equals + 1);
    }
    return Kind::kOption;
  }
  return Kind::kEnd;
}

bool OptionReader::TakeValue(std::string& value) {
  if (inlineValue_) {
    value = *inlineValue_;
    return true;
  }
  if (next_ >= args_.size()) {
    return false;
  }
  value = args_[next_++];
  return true;
}

void WriteVersion(std::ostream& out, std::string_view program) {
  out << program << " (Halvex) " << halvex::kVersion << '\n';
  out.flush();
}

bool ProcessInputs(std::span<const std::string> files, std::istream& in, std::string_view program,
                   std::ostream& err, InputConsumer& consumer) {
  bool inputFailed = false;
  if (files.empty()) {
    inputFailed = !consumer.ProcessStream(in, kStdinName);
  }
  std::vector<char> inputBuffer;
  for (const std::string& file : files) {
    if (consumer.OutputFailed()) {
      break;
    }
    if (file == "-") {
      inputFailed |= !consumer.ProcessStream(in, kStdinName);
      continue;
    }
    if (inputBuffer.empty()) {
      inputBuffer.resize(kInputBufferBytes);
    }
    std::ifstream stream;
    stream.rdbuf()->pubsetbuf(inputBuffer.data(), static_cast<std::streamsize>(inputBuffer.size()));
    errno = 0;
    stream.open(file, std::ios::binary);
    const int error = errno;
    std::error_code ignored;
    const bool directory = std::filesystem::is_directory(file, ignored);
    if (!stream || directory) {
      consumer.Flush();
      err << program << ": cannot read '" << file << "': "
          << (directory    ? "is a directory"
              : error != 0 ? std::strerror(error)
                           : "cannot open")
          << '\n';
      inputFailed = true;
      continue;
    }
    inputFailed |= !consumer.ProcessStream(stream, file);
  }
  return !inputFailed;
}

int RunReportingErrors(std::string_view program, int failureStatus,
                       const std::function<int()>& run) {
  try {
    return run();
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << program << ": " << e.what() << '\n';
    return failureStatus;
  }
}

}  // namespace halvex::tools::cli
