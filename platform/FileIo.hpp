// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace halvex::platform {

// Reads a whole file. Returns nullopt when the file does not exist; throws
// std::runtime_error naming the path and the reason for any other failure
// (no permission, a folder in the way, an I/O error).
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

// Replaces the file with `contents` so that readers see either the old or
// the new file, never a part of it: the data go to a temporary file in the
// same folder, are flushed to disk, and the temporary is renamed over the
// target. Missing parent folders are created. A symbolic link is followed,
// so the file it points to is replaced and the link is kept. An existing
// file's permission bits are kept; a new file gets 0666 less the umask.
// On failure throws std::runtime_error naming the path and the reason,
// removes the temporary, and leaves the old file as it was.
void WriteFileAtomically(const std::filesystem::path& file, std::string_view contents);

}  // namespace halvex::platform
