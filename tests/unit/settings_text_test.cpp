// The settings file's text as a save leaves it: a table of shapes, the bytes handed over in
// pieces of several sizes.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "settings/settings_text.h"
#include "support/settings_shapes.h"

namespace {

// Japanese 932's lead bytes.
constexpr LeadByteRanges kCodePage932 = {{0x81, 0x9F, 0xE0, 0xFC}};

TEST(SettingsText, ASaveChangesTheSixKeysLinesAndKeepsEveryOtherByte) {
  for (const hvtest::SettingsShape& shape : hvtest::SettingsShapes()) {
    for (const bool double_byte : {false, true}) {
      const std::string& after =
          double_byte && !shape.after_double_byte.empty() ? shape.after_double_byte : shape.after;
      for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{4096}}) {
        SCOPED_TRACE(testing::Message() << shape.name << (double_byte ? ", code page 932" : "")
                                        << ", scanned " << piece << " bytes at a time");
        EXPECT_EQ(hvtest::EditedText(shape.before, hvtest::ValuesOf(shape.values),
                         double_byte ? kCodePage932 : kSingleByteCodePage, piece),
                  after);
      }
    }
  }
}

}  // namespace
