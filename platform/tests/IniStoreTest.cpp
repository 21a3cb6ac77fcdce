// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/IniStore.hpp"

#include "TempFolder.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <stdexcept>
#include <vector>

#include <sys/resource.h>

namespace fs = std::filesystem;

namespace halvex::platform {
namespace {

using test::CountEntries;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

class IniStoreTest : public ::testing::Test {
 protected:
  TempFolder temp;
  fs::path file = temp / "geokit.INI";
  IniStore store{file};
};

TEST_F(IniStoreTest, MissingFileGivesDefaultsAndIsNotCreated) {
  EXPECT_EQ(store.ReadString("Serial", "Port", "COM1"), "COM1");
  EXPECT_EQ(store.ReadInteger("Serial", "Baud", 9600), 9600);
  EXPECT_TRUE(store.ReadBool("Serial", "Echo", true));
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(IniStoreTest, RoundTripsValuesAndWritesBoolsAsDigits) {
  store.WriteString("Serial", "Port", "/dev/ttyUSB0");
  store.WriteInteger("Serial", "Baud", -115200);
  store.WriteBool("Serial", "Echo", true);
  store.WriteBool("Serial", "Parity", false);
  store.WriteString("Serial", "Empty", "");

  EXPECT_EQ(store.ReadString("Serial", "Port", ""), "/dev/ttyUSB0");
  EXPECT_EQ(store.ReadInteger("Serial", "Baud", 0), -115200);
  EXPECT_TRUE(store.ReadBool("Serial", "Echo", false));
  EXPECT_FALSE(store.ReadBool("Serial", "Parity", true));
  EXPECT_EQ(store.ReadString("Serial", "Echo", ""), "1");
  EXPECT_EQ(store.ReadString("Serial", "Parity", ""), "0");
  EXPECT_EQ(store.ReadString("Serial", "Empty", "x"), "");
}

TEST_F(IniStoreTest, NamesIgnoreCaseAndSurroundingBlanks) {
  WriteText(file, "[Serial]\nPort No   = 4\n");
  EXPECT_EQ(store.ReadInteger("SERIAL", "port no", 0), 4);
  EXPECT_EQ(store.ReadInteger("  serial ", "\tPort No   ", 0), 4);

  store.WriteInteger("sErIaL", "PORT NO   ", 5);
  const std::string text = ReadText(file);
  EXPECT_NE(text.find("[Serial]"), std::string::npos) << text;
  EXPECT_NE(text.find("Port No = 5"), std::string::npos) << text;
  EXPECT_EQ(text.find("PORT"), std::string::npos) << text;
}

TEST_F(IniStoreTest, IntegersAcceptOnlyWholeDecimalNumbersInRange) {
  WriteText(file,
            "[N]\n"
            "a = 42\n"
            "b = -7\n"
            "c = +5\n"
            "d = 2147483647\n"
            "e = -2147483648\n"
            "f = 12abc\n"
            "g = 0x10\n"
            "h = 1.5\n"
            "i = 2147483648\n"
            "j = -2147483649\n"
            "k =\n"
            "l = +-1\n"
            "m = - 1\n"
            "n = 1 2\n"
            "o = \t 8\t\n");
  EXPECT_EQ(store.ReadInteger("N", "a", 0), 42);
  EXPECT_EQ(store.ReadInteger("N", "b", 0), -7);
  EXPECT_EQ(store.ReadInteger("N", "c", 0), 5);
  EXPECT_EQ(store.ReadInteger("N", "d", 0), INT_MAX);
  EXPECT_EQ(store.ReadInteger("N", "e", 0), INT_MIN);
  EXPECT_EQ(store.ReadInteger("N", "o", 0), 8);
  for (const char* key : {"f", "g", "h", "i", "j", "k", "l", "m", "n"}) {
    EXPECT_EQ(store.ReadInteger("N", key, 99), 99) << key;
  }
}

TEST_F(IniStoreTest, BoolsAreIntegers) {
  WriteText(file, "[B]\nzero = 0\none = 1\nfive = 5\nword = true\n");
  EXPECT_FALSE(store.ReadBool("B", "zero", true));
  EXPECT_TRUE(store.ReadBool("B", "one", false));
  EXPECT_TRUE(store.ReadBool("B", "five", false));
  EXPECT_TRUE(store.ReadBool("B", "word", true));
  EXPECT_FALSE(store.ReadBool("B", "word", false));
}

TEST_F(IniStoreTest, ReadSectionListsKeysInFileOrder) {
  EXPECT_TRUE(store.ReadSection("SerialComm").empty());
  WriteText(file,
            "[SerialComm]\n"
            "COM9 = /dev/ttyS8\n"
            "; a comment\n"
            "com1=/dev/serial/by-id/usb-gps\n"
            "COM3 =\n"
            "\n"
            "[Other]\n"
            "COM2 = /dev/elsewhere\n"
            "[SERIALCOMM]\n"
            "COM4 = later\n"
            "COM9 = replaced\n");
  using Entries = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(store.ReadSection(" serialcomm "), (Entries{{"COM9", "replaced"},
                                                        {"com1", "/dev/serial/by-id/usb-gps"},
                                                        {"COM3", ""},
                                                        {"COM4", "later"}}));
  EXPECT_EQ(store.ReadSection("Other"), (Entries{{"COM2", "/dev/elsewhere"}}));
  EXPECT_TRUE(store.ReadSection("Missing").empty());
  EXPECT_THROW(store.ReadSection(""), std::invalid_argument);
}

TEST_F(IniStoreTest, WriteKeepsEverythingElseInItsOrder) {
  WriteText(file,
            "; settings of geokit\n"
            "[Zeta]\n"
            "; the port\n"
            "Port = 1\n"
            "Other = x\n"
            "\n"
            "[Alpha]\n"
            "Key = y\n");
  store.WriteInteger("Zeta", "port", 2);
  store.WriteString("New", "Key", "z");
  store.WriteString("Alpha", "Added", "w");

  const std::string text = ReadText(file);
  EXPECT_NE(text.find("; settings of geokit"), std::string::npos) << text;
  EXPECT_NE(text.find("; the port\nPort = 2\n"), std::string::npos) << text;
  EXPECT_LT(text.find("[Zeta]"), text.find("[Alpha]")) << text;
  EXPECT_LT(text.find("[Alpha]"), text.find("[New]")) << text;
  EXPECT_LT(text.find("Key = y"), text.find("Added = w")) << text;
  EXPECT_EQ(store.ReadString("Zeta", "Other", ""), "x");
  EXPECT_EQ(store.ReadString("Alpha", "Key", ""), "y");
  EXPECT_EQ(CountEntries(temp.path()), 1);
}

TEST_F(IniStoreTest, ReadsTheFileAgainOnEveryCall) {
  store.WriteInteger("S", "K", 1);
  EXPECT_EQ(store.ReadInteger("S", "K", 0), 1);
  WriteText(file, "[S]\nK = 2\n");
  EXPECT_EQ(store.ReadInteger("S", "K", 0), 2);

  // A write starts from what is on disk now, not from an earlier read.
  WriteText(file, "[S]\nK = 2\nFromOutside = 3\n");
  store.WriteInteger("S", "K", 4);
  EXPECT_EQ(store.ReadInteger("S", "FromOutside", 0), 3);
  EXPECT_EQ(store.ReadInteger("S", "K", 0), 4);
}

TEST_F(IniStoreTest, KeepsAUtf8Signature) {
  WriteText(file, "\xEF\xBB\xBF[S]\nName = K\xC3\xB8ge\n");
  EXPECT_EQ(store.ReadString("s", "name", ""), "K\xC3\xB8ge");
  store.WriteInteger("S", "K", 1);
  EXPECT_EQ(ReadText(file).rfind("\xEF\xBB\xBF[S]", 0), 0u);
}

TEST_F(IniStoreTest, RejectsNamesAndValuesTheFileCannotHold) {
  WriteText(file, "[S]\nK = 1\n");
  EXPECT_THROW(store.WriteString("S", "a=b", "1"), std::invalid_argument);
  EXPECT_THROW(store.WriteString("S", "   ", "1"), std::invalid_argument);
  EXPECT_THROW(store.WriteString("S", ";k", "1"), std::invalid_argument);
  EXPECT_THROW(store.WriteString("S]", "k", "1"), std::invalid_argument);
  EXPECT_THROW(store.WriteString("", "k", "1"), std::invalid_argument);
  EXPECT_THROW(store.WriteString("S", "k", "two\nlines"), std::invalid_argument);
  EXPECT_THROW(store.WriteString("S", "k\r", "1"), std::invalid_argument);
  EXPECT_THROW(store.ReadString("S", "a=b", ""), std::invalid_argument);
  EXPECT_EQ(ReadText(file), "[S]\nK = 1\n");
  EXPECT_EQ(CountEntries(temp.path()), 1);
}

TEST_F(IniStoreTest, WriteIntoAnImpossibleFolderThrowsWithThePath) {
  WriteText(temp / "plain", "not a folder");
  const fs::path bad = temp / "plain/sub/geokit.INI";
  IniStore badStore(bad);
  EXPECT_EQ(badStore.ReadInteger("S", "K", 7), 7);
  try {
    badStore.WriteInteger("S", "K", 1);
    FAIL() << "expected an exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(bad.string()), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadText(temp / "plain"), "not a folder");
}

TEST_F(IniStoreTest, WriteOverAnUnreadableFileThrowsAndKeepsIt) {
  // A folder where the file should be cannot be loaded; writing must not
  // go ahead as if the settings were empty.
  fs::create_directory(file);
  WriteText(file / "inside", "kept");
  EXPECT_EQ(store.ReadInteger("S", "K", 7), 7);
  EXPECT_THROW(store.WriteInteger("S", "K", 1), std::runtime_error);
  EXPECT_EQ(ReadText(file / "inside"), "kept");
}

TEST_F(IniStoreTest, FailedWriteLeavesTheOldFileAndNoTemporary) {
  store.WriteString("S", "K", "old");
  const std::string before = ReadText(file);

  // Cap the size of files this process may write, so that writing the new,
  // longer file fails half-way. Permissions would not stop root.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit capped = saved;
  capped.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &capped), 0);
  bool threw = false;
  try {
    store.WriteString("S", "K", std::string(200, 'n'));
  } catch (const std::runtime_error&) {
    threw = true;
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_TRUE(threw);
  EXPECT_EQ(ReadText(file), before);
  EXPECT_EQ(store.ReadString("S", "K", ""), "old");
  EXPECT_EQ(CountEntries(temp.path()), 1);
}

// A batch leaves the file byte for byte as the same writes one after
// another: over a missing file, comments and blank lines, a signature, keys
// and sections in other letter cases or given twice, values to be trimmed,
// keys repeated within the batch.
TEST_F(IniStoreTest, BatchWriteEqualsTheSingleWritesInOrder) {
  const std::vector<IniStore::Entry> entries = {{"Affine", "A0", "10"},
                                                {"similarity", "Scale", "  45.5 "},
                                                {"Zeta", "port", "7"},
                                                {"New", "Key", ""},
                                                {"Affine", "B0", "-3e-07"},
                                                {" Alpha ", " Added ", "w x"},
                                                {"zeta", "Twice", "second"},
                                                {"Affine", "a0", "11"},
                                                {"PageControl", "ActivePageIndex", "3"}};
  const char* starts[] = {nullptr,
                          "",
                          "; settings of geokit\n[Zeta]\n; the port\nPort = 1\nOther = x\n\n"
                          "[Alpha]\nKey = y\n",
                          "\xEF\xBB\xBF[SIMILARITY]\nscale=1\n[affine]\nA0 = 0\n",
                          "[Zeta]\nTwice = a\nTwice = b\n[Zeta]\nPort=3\n",
                          "no section = 1\n[PageControl]\r\nActivePageIndex=0\r\n"};
  for (const char* start : starts) {
    const fs::path single = temp / "single.INI";
    const fs::path batch = temp / "batch.INI";
    if (start != nullptr) {
      WriteText(single, start);
      WriteText(batch, start);
    }
    IniStore one(single), many(batch);
    for (const IniStore::Entry& e : entries) {
      one.WriteString(e.section, e.key, e.value);
    }
    many.WriteStrings(entries);
    EXPECT_EQ(ReadText(batch), ReadText(single)) << (start ? start : "(no file)");
    fs::remove(single);
    fs::remove(batch);
  }
}

// Every name and value of a batch is checked before the file is touched.
TEST_F(IniStoreTest, BatchWithAValueTheFileCannotHoldWritesNothing) {
  WriteText(file, "[S]\nK = 1\n");
  const std::vector<IniStore::Entry> entries = {
      {"S", "K", "2"}, {"S", "New", "3"}, {"T", "Bad", "line\nbreak"}};
  EXPECT_THROW(store.WriteStrings(entries), std::invalid_argument);
  const std::vector<IniStore::Entry> badKey = {{"S", "K", "2"}, {"S", "a=b", "3"}};
  EXPECT_THROW(store.WriteStrings(badKey), std::invalid_argument);
  EXPECT_EQ(ReadText(file), "[S]\nK = 1\n");
  EXPECT_EQ(CountEntries(temp.path()), 1);
  // An empty batch does not create the file.
  IniStore missing(temp / "missing.INI");
  missing.WriteStrings({});
  EXPECT_FALSE(fs::exists(temp / "missing.INI"));
}

}  // namespace
}  // namespace halvex::platform
