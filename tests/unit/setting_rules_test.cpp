// Stored values to check states and back, the save order, and the settings path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "settings/setting_rules.h"

namespace {

const ToggleBinding& BindingFor(int control) {
  for (const ToggleBinding& b : kToggleBindings) {
    if (b.control == control) return b;
  }
  ADD_FAILURE() << "no binding for " << control;
  return kToggleBindings[0];
}

struct ValueRow {
  int control;
  const char* value;
  ToggleChange expected;
};

TEST(ToggleRules, OnChecksOffUnchecksAnythingElseLeaves) {
  const ValueRow rows[] = {
      {IDC_RES_640X400, "0", kToggleCheck},
      {IDC_RES_640X400, "1", kToggleUncheck},
      {IDC_RES_640X480, "1", kToggleCheck},
      {IDC_RES_640X480, "0", kToggleUncheck},
      {IDC_RES_640X400, "2", kToggleLeave},
      {IDC_RES_640X480, "yes", kToggleLeave},
      {IDC_RES_640X480, "", kToggleLeave},
      {IDC_RES_640X480, "01", kToggleLeave},
      {IDC_VIDEO_BACK_BUFFER, "1", kToggleCheck},
      {IDC_VIDEO_BACK_BUFFER, "TRUE", kToggleLeave},
      {IDC_HARDWARE_FILLS, "0", kToggleUncheck},
      {IDC_DOS_COMPAT, "1 ", kToggleLeave},  // exact comparison, blanks included
  };
  for (const ValueRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.control << " \"" << row.value << '"');
    EXPECT_EQ(ToggleChangeForValue(BindingFor(row.control), row.value), row.expected);
  }
}

TEST(ToggleRules, AMissingKeyLeavesEveryControlUnchecked) {
  // Each fallback is the binding's own off value.
  for (const ToggleBinding& b : kToggleBindings) {
    SCOPED_TRACE(b.control);
    EXPECT_EQ(ToggleChangeForValue(b, b.fallback), kToggleUncheck);
  }
}

TEST(ToggleRules, SavedValuesFollowTheCheckState) {
  const ToggleBinding& low = BindingFor(IDC_RES_640X400);
  EXPECT_STREQ(ToggleValueForState(low, 1), "0");
  // Neither resolution button checked still saves the 640 x 480 choice.
  EXPECT_STREQ(ToggleValueForState(low, 0), "1");
  const ToggleBinding& fills = BindingFor(IDC_HARDWARE_FILLS);
  EXPECT_STREQ(ToggleValueForState(fills, 1), "1");
  EXPECT_STREQ(ToggleValueForState(fills, 0), "0");
}

TEST(SettingBindings, LoadAndSaveOrderMatchWhatTheOtherProgramExpects) {
  std::vector<std::string> loaded, saved;
  for (const ToggleBinding& b : kToggleBindings) {
    EXPECT_STREQ(b.section, "Options");
    loaded.push_back(b.key);
    if (b.saved) saved.push_back(b.key);
  }
  for (const TextBinding& t : kTextBindings) {
    loaded.push_back(t.key);
    saved.push_back(t.key);
  }
  EXPECT_EQ(loaded, (std::vector<std::string>{"Resolution", "Resolution", "VideoBackBuffer",
                                              "HardwareFills", "Compatibility", "Socket",
                                              "DestNet"}));
  EXPECT_EQ(saved, (std::vector<std::string>{"Resolution", "VideoBackBuffer", "HardwareFills",
                                             "Compatibility", "Socket", "DestNet"}));
  EXPECT_EQ(kToggleBindings[0].control, IDC_RES_640X400);  // the resolution writer
}

TEST(SettingsPath, IsThePrefixAndFileNameOrNothing) {
  char path[kSettingsPathCapacity];
  ASSERT_EQ(FormatSettingsPath(path, sizeof path, "C:\\GAMES\\X\\"), 1);
  EXPECT_STREQ(path, "C:\\GAMES\\X\\halvern.ini");
  ASSERT_EQ(FormatSettingsPath(path, sizeof path, "C:"), 1);
  EXPECT_STREQ(path, "C:halvern.ini");

  // The longest prefix always fits.
  const std::string longest(kHomePrefixCapacity - 1, 'p');
  ASSERT_EQ(FormatSettingsPath(path, sizeof path, longest.c_str()), 1);
  EXPECT_EQ(std::string(path), longest + "halvern.ini");

  char small[16];
  EXPECT_EQ(FormatSettingsPath(small, sizeof small, "C:\\GAMES\\X\\"), 0);
  EXPECT_STREQ(small, "");  // never a cut path that names another file
}

}  // namespace
