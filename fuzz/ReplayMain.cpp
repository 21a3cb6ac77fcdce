// SPDX-License-Identifier: GPL-3.0-or-later
//
// Runs fuzz inputs through a fuzz target's entry point without libFuzzer,
// so the seed corpus and any crash file can run as ordinary tests. Each
// argument is a file, or a folder whose files (at any depth) are run in
// name order.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool Collect(const fs::path& argument, std::vector<fs::path>& files) {
  std::error_code error;
  if (fs::is_directory(argument, error)) {
    std::vector<fs::path> found;
    for (fs::recursive_directory_iterator it(argument, error), end; !error && it != end;
         it.increment(error)) {
      if (it->is_regular_file(error)) {
        found.push_back(it->path());
      }
    }
    if (error) {
      std::fprintf(stderr, "replay: cannot list %s: %s\n", argument.c_str(),
                   error.message().c_str());
      return false;
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
    return true;
  }
  if (!fs::is_regular_file(argument, error)) {
    std::fprintf(stderr, "replay: no such file or folder: %s\n", argument.c_str());
    return false;
  }
  files.push_back(argument);
  return true;
}

bool Replay(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) {
    std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
    return false;
  }
  const std::vector<char> bytes{std::istreambuf_iterator<char>(stream),
                                std::istreambuf_iterator<char>()};
  // A crash report names the input it happened on.
  std::fprintf(stderr, "replay: %s\n", file.c_str());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "Usage: %s FILE_OR_FOLDER...\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> files;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    ok = Collect(argv[i], files) && ok;
  }
  if (files.empty()) {
    std::fprintf(stderr, "replay: no inputs found\n");
    return 1;
  }
  for (const fs::path& file : files) {
    ok = Replay(file) && ok;
  }
  std::printf("replayed %zu inputs\n", files.size());
  return ok ? 0 : 1;
}
