// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileIo.hpp"

#include "TempFolder.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace halvex::platform {
namespace {

using test::CountEntries;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

TEST(WriteFileAtomically, CreatesFoldersAndLeavesNoTemporary) {
  TempFolder temp;
  const fs::path file = temp / "a/b/out.txt";
  WriteFileAtomically(file, "first");
  EXPECT_EQ(ReadText(file), "first");

  WriteFileAtomically(file, "second, longer");
  EXPECT_EQ(ReadText(file), "second, longer");
  EXPECT_EQ(CountEntries(file.parent_path()), 1);
}

TEST(WriteFileAtomically, KeepsPermissionBitsOfTheOldFile) {
  TempFolder temp;
  const fs::path file = temp / "out.txt";
  WriteText(file, "old");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  WriteFileAtomically(file, "new");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(WriteFileAtomically, ReplacesTheTargetOfALink) {
  TempFolder temp;
  fs::create_directory(temp / "real");
  WriteText(temp / "real/out.txt", "old");
  fs::create_symlink("real/out.txt", temp / "link.txt");

  WriteFileAtomically(temp / "link.txt", "new");
  EXPECT_TRUE(fs::is_symlink(temp / "link.txt"));
  EXPECT_EQ(ReadText(temp / "real/out.txt"), "new");
}

TEST(WriteFileAtomically, RefusesTargetsThatAreNotRegularFiles) {
  TempFolder temp;
  const fs::path fifo = temp / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(WriteFileAtomically(fifo, "x"), std::runtime_error);
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
  // Through a link too, and a folder is no file either.
  fs::create_symlink("pipe", temp / "link");
  EXPECT_THROW(WriteFileAtomically(temp / "link", "x"), std::runtime_error);
  EXPECT_TRUE(fs::is_symlink(temp / "link"));
  fs::create_directory(temp / "folder");
  EXPECT_THROW(WriteFileAtomically(temp / "folder", "x"), std::runtime_error);
  // /dev/null stays a device (as root, rename would have replaced it).
  EXPECT_THROW(WriteFileAtomically("/dev/null", "x"), std::runtime_error);
  EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);
  EXPECT_EQ(CountEntries(temp.path()), 3);
}

TEST(SameExistingFile, FollowsLinksAndNeedsBothFiles) {
  TempFolder temp;
  WriteText(temp / "a", "1");
  WriteText(temp / "b", "1");
  fs::create_symlink("a", temp / "l");
  EXPECT_TRUE(SameExistingFile(temp / "a", temp / "l"));
  EXPECT_TRUE(SameExistingFile(temp / "a", temp / "." / "a"));
  EXPECT_FALSE(SameExistingFile(temp / "a", temp / "b"));
  EXPECT_FALSE(SameExistingFile(temp / "a", temp / "none"));
}

TEST(ReadWholeFile, MissingIsNulloptOtherFailuresThrow) {
  TempFolder temp;
  EXPECT_FALSE(ReadWholeFile(temp / "none").has_value());
  EXPECT_THROW(ReadWholeFile(temp.path()), std::runtime_error);

  const std::string binary("a\0b\r\nc", 6);
  WriteText(temp / "f", binary);
  EXPECT_EQ(ReadWholeFile(temp / "f"), binary);
}

}  // namespace
}  // namespace halvex::platform
