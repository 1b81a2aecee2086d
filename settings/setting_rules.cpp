// The binding tables and the rules between stored values and check states.
#include "settings/setting_rules.h"

#include <cstddef>

#include "resources/resource.h"
#include "shell/bounded_text.h"

// Both resolution buttons read the one key, each with its own off value as fallback, so a
// missing key leaves both unchecked; only the first one writes it back.
const ToggleBinding kToggleBindings[kToggleBindingCount] = {
    {IDC_RES_640X400, kOptionsSection, kKeyResolution, "0", "1", "1", 1},
    {IDC_RES_640X480, kOptionsSection, kKeyResolution, "1", "0", "0", 0},
    {IDC_VIDEO_BACK_BUFFER, kOptionsSection, kKeyVideoBackBuffer, "1", "0", "0", 1},
    {IDC_HARDWARE_FILLS, kOptionsSection, kKeyHardwareFills, "1", "0", "0", 1},
    {IDC_DOS_COMPAT, kOptionsSection, kKeyCompatibility, "1", "0", "0", 1},
};

const TextBinding kTextBindings[kTextBindingCount] = {
    {IDC_SOCKET, kOptionsSection, kKeySocket},
    {IDC_DEST_NET, kOptionsSection, kKeyDestNet},
};

namespace {

// The toggle binding that saves the `index`th key (of the first four): the bindings marked
// saved, in table order.
std::size_t SavedToggle(std::size_t index) {
  std::size_t i = 0;
  for (std::size_t seen = 0;; ++i) {
    if (kToggleBindings[i].saved && seen++ == index) return i;
  }
}

}  // namespace

const char* SavedKey(std::size_t index) {
  constexpr std::size_t kToggles = kSavedKeyCount - kTextBindingCount;
  return index < kToggles ? kToggleBindings[SavedToggle(index)].key
                          : kTextBindings[index - kToggles].key;
}

const char* SavedValue(const OptionValues& values, std::size_t index) {
  constexpr std::size_t kToggles = kSavedKeyCount - kTextBindingCount;
  return index < kToggles ? values.toggles[SavedToggle(index)] : values.texts[index - kToggles];
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
