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
// An existing target that is not a regular file (a device such as
// /dev/null, a FIFO, a folder) is refused: replacing it would destroy it.
void WriteFileAtomically(const std::filesystem::path& file, std::string_view contents);

// The file that a write to `file` must replace: the target of a symbolic
// link (chains followed, relative links resolved from the link's folder), or
// `file` itself. Throws std::runtime_error naming the path when the link
// cannot be followed or when the target exists and is not a regular file.
// Every writer of the suite goes through this, so that writing never
// replaces a device, a FIFO or a link with a plain file.
std::filesystem::path ResolveOutputFile(const std::filesystem::path& file);

// True when both paths name the same existing file (links followed): a
// tool must not write its output over the input it is reading.
bool SameExistingFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Gives the file open on `fd` the permission bits of `existing` when that
// file exists; nothing otherwise. Throws std::runtime_error on failure.
void CopyPermissionBits(const std::filesystem::path& existing, int fd);

}  // namespace halvex::platform
