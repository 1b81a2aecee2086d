// The binding tables and the rules between stored values and check states.
#include "settings/setting_rules.h"

#include <cstddef>

#include "resources/resource.h"
#include "shell/bounded_text.h"

// Both resolution buttons read the one key, each with its own off value as fallback, so a
// missing key leaves both unchecked; only the first one writes it back.
constexpr ToggleBinding kToggleBindings[kToggleBindingCount] = {
    {IDC_RES_640X400, kOptionsSection, kKeyResolution, "0", "1", "1", 1},
    {IDC_RES_640X480, kOptionsSection, kKeyResolution, "1", "0", "0", 0},
    {IDC_VIDEO_BACK_BUFFER, kOptionsSection, kKeyVideoBackBuffer, "1", "0", "0", 1},
    {IDC_HARDWARE_FILLS, kOptionsSection, kKeyHardwareFills, "1", "0", "0", 1},
    {IDC_DOS_COMPAT, kOptionsSection, kKeyCompatibility, "1", "0", "0", 1},
};

constexpr TextBinding kTextBindings[kTextBindingCount] = {
    {IDC_SOCKET, kOptionsSection, kKeySocket},
    {IDC_DEST_NET, kOptionsSection, kKeyDestNet},
};

namespace {

// The toggle bindings that save a key, in the order of the first four of the six: those
// marked saved, in table order.
constexpr unsigned char kSavedToggles[] = {0, 2, 3, 4};
constexpr std::size_t kSavedToggleCount = sizeof kSavedToggles;
static_assert(kSavedToggleCount + kTextBindingCount == kSavedKeyCount, "six keys are saved");

constexpr int SavedTogglesFollowTheTable() {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < kToggleBindingCount; ++i) {
    if (kToggleBindings[i].saved && (seen >= kSavedToggleCount || kSavedToggles[seen++] != i)) {
      return 0;
    }
  }
  return seen == kSavedToggleCount;
}
static_assert(SavedTogglesFollowTheTable(), "the saved toggles are the bindings marked saved");

}  // namespace

const char* SavedKey(std::size_t index) {
  return index < kSavedToggleCount ? kToggleBindings[kSavedToggles[index]].key
                                   : kTextBindings[index - kSavedToggleCount].key;
}

const char* SavedValue(const OptionValues& values, std::size_t index) {
  return index < kSavedToggleCount ? values.toggles[kSavedToggles[index]]
                                   : values.texts[index - kSavedToggleCount];
}

ToggleChange ToggleChangeForValue(const ToggleBinding& binding, const char* value) {
  if (TextEquals(value, binding.on_value)) return kToggleCheck;
  if (TextEquals(value, binding.off_value)) return kToggleUncheck;
  return kToggleLeave;
}

const char* ToggleValueForState(const ToggleBinding& binding, int checked) {
  return checked ? binding.on_value : binding.off_value;
}

int FormatSettingsPath(char* path, std::size_t capacity, const char* home_prefix) {
  return FormatPathInFolder(path, capacity, home_prefix, kSettingsFileName);
}

int FormatPathInFolder(char* path, std::size_t capacity, const char* home_prefix,
                       const char* file_name) {
  if (CopyText(path, capacity, home_prefix) && AppendText(path, capacity, file_name)) {
    return 1;
  }
  if (capacity > 0) path[0] = '\0';
  return 0;
}
