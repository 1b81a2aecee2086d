// Which hosts get the hand-centring, and where it puts the dialog.
#include <gtest/gtest.h>

#include "dialog/placement.h"

namespace {

TEST(IsLegacyWin32Version, OnlyTopBitWithMajorVersionUpToThree) {
  const struct {
    unsigned long version;
    int expected;
  } rows[] = {
      {0x80000a03ul, 1},  // Win32s on Windows 3.1
      {0x80000003ul, 1},
      {0x80000002ul, 1},
      {0xc0000004ul, 0},  // Windows 95
      {0xc0000a04ul, 0},  // Windows 98
      {0x0a280105ul, 0},  // Windows XP: top bit clear
      {0x00000003ul, 0},  // a major version of 3 without the top bit is Windows NT 3.x
      {0x8000ff04ul, 0},
      {0x800003ffu, 0},   // the low byte alone is the major version
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << row.version);
    EXPECT_EQ(IsLegacyWin32Version(row.version), row.expected);
  }
}

TEST(CenteredOrigin, HalvesTheSpareRoomRoundingTowardsZero) {
  const struct {
    ScreenBox desktop;
    ScreenBox box;
    long x, y;
  } rows[] = {
      {{0, 0, 640, 480}, {0, 0, 270, 413}, 185, 33},
      {{0, 0, 640, 480}, {10, 20, 280, 433}, 185, 33},  // only the size counts
      {{0, 0, 640, 480}, {0, 0, 645, 413}, -2, 33},     // -5 / 2 is -2, not -3
      {{0, 0, 640, 480}, {0, 0, 641, 483}, 0, -1},
      {{100, 50, 1124, 818}, {0, 0, 308, 410}, 458, 229},
      {{0, 0, 1, 1}, {0, 0, 0, 0}, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.box.right - row.box.left << "x"
                                    << row.box.bottom - row.box.top);
    long x = 99, y = 99;
    CenteredOrigin(row.desktop, row.box, &x, &y);
    EXPECT_EQ(x, row.x);
    EXPECT_EQ(y, row.y);
  }
}

}  // namespace
