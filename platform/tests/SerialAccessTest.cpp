// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SerialAccess.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempFolder.hpp"

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace halvex::platform;
using halvex::platform::test::TempFolder;
using halvex::platform::test::WriteText;

namespace {

struct stat Stat(uid_t uid, gid_t gid, mode_t mode) {
  struct stat info {};
  info.st_uid = uid;
  info.st_gid = gid;
  info.st_mode = S_IFCHR | mode;
  return info;
}

UserIdentity User(uid_t uid, gid_t gid, std::vector<gid_t> groups = {}) {
  return UserIdentity{uid, gid, std::move(groups)};
}

}  // namespace

TEST(MayReadWrite, TheClassThatAppliesDecidesAlone) {
  const gid_t dialout = 20;
  const struct stat device = Stat(0, dialout, 0660);
  EXPECT_FALSE(MayReadWrite(device, User(1000, 1000)));
  EXPECT_TRUE(MayReadWrite(device, User(1000, 1000, {24, dialout})));
  EXPECT_TRUE(MayReadWrite(device, User(1000, dialout)));
  EXPECT_TRUE(MayReadWrite(device, User(0, 0)));
  // Read-only or write-only is not enough for a receiver.
  EXPECT_FALSE(MayReadWrite(Stat(0, dialout, 0640), User(1000, 1000, {dialout})));
  EXPECT_FALSE(MayReadWrite(Stat(0, dialout, 0620), User(1000, 1000, {dialout})));
  // Open to everyone.
  EXPECT_TRUE(MayReadWrite(Stat(0, dialout, 0666), User(1000, 1000)));
  // The owner's class applies to the owner even when the group's is wider.
  EXPECT_FALSE(MayReadWrite(Stat(1000, dialout, 0060), User(1000, 1000, {dialout})));
  EXPECT_TRUE(MayReadWrite(Stat(1000, dialout, 0600), User(1000, 1000)));
  // So does the group's class to a member when the others' is wider.
  EXPECT_FALSE(MayReadWrite(Stat(0, dialout, 0606), User(1000, 1000, {dialout})));
}

// A made-up /dev with the devices the kernel would list. The files belong
// to whoever runs the test; the user checked is somebody else, in the
// files' group or not.
class SerialAccessTest : public ::testing::Test {
 protected:
  SerialAccessTest() { fs::create_directories(dev / "serial" / "by-id"); }

  std::string Device(const std::string& name, mode_t mode) {
    WriteText(dev / name, "");
    ::chmod((dev / name).c_str(), mode);
    return (dev / name).string();
  }
  std::vector<SerialDeviceAccess> Check(const UserIdentity& user) {
    return CheckSerialAccess(user, dev.string(), (temp / "sys").string());
  }
  UserIdentity Stranger(std::vector<gid_t> groups = {}) const {
    return User(::geteuid() + 1, ::getegid() + 1, std::move(groups));
  }

  TempFolder temp;
  fs::path dev = temp / "dev";
};

TEST_F(SerialAccessTest, ListsEachSerialDeviceWithItsGroupAndAccess) {
  const std::string usb = Device("ttyUSB0", 0660);
  const std::string acm = Device("ttyACM1", 0666);
  Device("tty0", 0666);     // a console, not a serial port
  Device("ttyUSBx", 0666);  // not a kernel serial name
  const std::string group = GroupName(::getegid());

  const auto devices = Check(Stranger());
  ASSERT_EQ(devices.size(), 2u);
  for (const auto& device : devices) {
    EXPECT_EQ(device.group, group);
    EXPECT_EQ(device.accessible, device.path == acm) << device.path;
    EXPECT_TRUE(device.path == usb || device.path == acm) << device.path;
  }
  for (const auto& device : Check(Stranger({::getegid()}))) {
    EXPECT_TRUE(device.accessible) << device.path;
  }
}

TEST_F(SerialAccessTest, StableLinkIsFollowedToTheDevice) {
  Device("ttyUSB0", 0600);
  fs::create_symlink("../../ttyUSB0", dev / "serial" / "by-id" / "usb-GPS-if00-port0");
  const auto devices = Check(Stranger());
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].path, (dev / "serial" / "by-id" / "usb-GPS-if00-port0").string());
  EXPECT_FALSE(devices[0].accessible);
  // A link whose device is gone is no device.
  fs::remove(dev / "ttyUSB0");
  EXPECT_TRUE(Check(Stranger()).empty());
}

TEST_F(SerialAccessTest, NoticeOnlyWhenDevicesExistAndNoneIsUsable) {
  EXPECT_TRUE(SerialAccessNotice(Check(Stranger())).empty()) << "no serial device at all";

  Device("ttyUSB0", 0660);
  const auto closed = SerialAccessNotice(Check(Stranger()));
  ASSERT_FALSE(closed.empty());
  EXPECT_NE(closed.front().find((dev / "ttyUSB0").string()), std::string::npos);

  Device("ttyACM0", 0666);
  EXPECT_TRUE(SerialAccessNotice(Check(Stranger())).empty()) << "one usable device is enough";
}

TEST(SerialAccessNotice, NamesTheGroupsAndTheCommandThatJoinsThem) {
  const std::vector<SerialDeviceAccess> one{{"/dev/ttyUSB0", false, "dialout"},
                                            {"/dev/ttyS0", false, "dialout"}};
  EXPECT_EQ(SerialAccessNotice(one),
            (std::vector<std::string>{
                "No access to any serial device (/dev/ttyUSB0, /dev/ttyS0).",
                "The user must be in the group that owns the device ('dialout').",
                "To add this user: sudo usermod -aG dialout $USER, then log out and log in "
                "again."}));

  const std::vector<SerialDeviceAccess> two{{"/dev/ttyUSB0", false, "uucp"},
                                            {"/dev/rfcomm0", false, "dialout"},
                                            {"/dev/ttyAMA0", false, "root"}};
  const auto lines = SerialAccessNotice(two);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "The user must be in the group that owns the device ('dialout', 'uucp').");
  EXPECT_EQ(lines[2],
            "To add this user: sudo usermod -aG dialout,uucp $USER, then log out and "
            "log in again.");

  const std::vector<SerialDeviceAccess> rootOnly{{"/dev/ttyS4", false, "root"}};
  EXPECT_EQ(SerialAccessNotice(rootOnly),
            (std::vector<std::string>{"No access to any serial device (/dev/ttyS4).",
                                      "Ask the administrator for access to them."}));
}
