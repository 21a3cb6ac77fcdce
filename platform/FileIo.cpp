// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileIo.hpp"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace halvex::platform {
namespace {

[[noreturn]] void Fail(const char* action, const fs::path& path, const std::string& reason) {
  throw std::runtime_error(std::string("cannot ") + action + " '" + path.string() + "': " + reason);
}

[[noreturn]] void FailErrno(const char* action, const fs::path& path, int error) {
  Fail(action, path, std::strerror(error));
}

// Closes the descriptor on scope exit unless it was released.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int get() const { return fd_; }
  // Closes now and reports the error close() gave, 0 when none.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// The link's target when `file` is a symbolic link (resolved relative to the
// link's folder, chains followed), else `file` itself.
fs::path ResolveLinks(const fs::path& file) {
  fs::path target = file;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(target, ec))) {
      return target;
    }
    const fs::path next = fs::read_symlink(target, ec);
    if (ec) {
      Fail("follow the link", target, ec.message());
    }
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  Fail("follow the link", file, std::strerror(ELOOP));
}

// Creates a new, empty file next to `target` with a name nobody else uses.
int CreateTemporaryBeside(const fs::path& target, fs::path& tempPath) {
  static std::atomic<unsigned> counter{0};
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = folder / ("." + target.filename().string() + ".tmp." + std::to_string(::getpid()) +
                         "." + std::to_string(counter.fetch_add(1)));
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      return fd;
    }
    if (errno != EEXIST) {
      FailErrno("write", target, errno);
    }
  }
  FailErrno("write", target, EEXIST);
}

void WriteAll(int fd, std::string_view data, const fs::path& target) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      FailErrno("write", target, errno);
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

fs::path ResolveOutputFile(const fs::path& file) {
  const fs::path target = ResolveLinks(file);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    Fail("write", file, S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file");
  }
  return target;
}

bool SameExistingFile(const fs::path& a, const fs::path& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

void CopyPermissionBits(const fs::path& existing, int fd) {
  struct stat old {};
  if (::stat(existing.c_str(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0) {
    FailErrno("write", existing, errno);
  }
}

std::optional<std::string> ReadWholeFile(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      return std::nullopt;
    }
    FailErrno("read", file, errno);
  }
  FileDescriptor guard(fd);
  std::string contents;
  // A regular file's size is known: room for it at once spares the copies
  // of a growing string (the loop still reads until the end, whatever size).
  struct stat status {};
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
    contents.reserve(static_cast<std::size_t>(status.st_size));
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      FailErrno("read", file, errno);
    }
    if (n == 0) {
      return contents;
    }
    contents.append(buffer, static_cast<std::size_t>(n));
  }
}

void WriteFileAtomically(const fs::path& file, std::string_view contents) {
  if (file.empty() || !file.has_filename()) {
    Fail("write", file, "not a file name");
  }
  const fs::path target = ResolveOutputFile(file);

  if (target.has_parent_path()) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
      Fail("write", target,
           "cannot create folder '" + target.parent_path().string() + "': " + ec.message());
    }
  }

  fs::path tempPath;
  FileDescriptor fd(CreateTemporaryBeside(target, tempPath));
  try {
    CopyPermissionBits(target, fd.get());
    WriteAll(fd.get(), contents, target);
    if (::fsync(fd.get()) != 0) {
      FailErrno("write", target, errno);
    }
    if (const int error = fd.Close(); error != 0) {
      FailErrno("write", target, error);
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
      FailErrno("write", target, errno);
    }
  } catch (...) {
    ::unlink(tempPath.c_str());
    throw;
  }

  // Make the rename itself durable. The new file is in place already, so a
  // failure here is not reported.
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

}  // namespace halvex::platform
