// What the settings file holds and how each value maps to a dialog control. The other
// program reads the same file, so names and values here are fixed.
#pragma once

#include <cstddef>

#include "shell/home_path.h"

constexpr char kSettingsFileName[] = "halvern.ini";
constexpr char kOptionsSection[] = "Options";
// The copy a save writes before it takes the settings file's place: beside it, under a
// name of the same length that a short-name (8.3) file system can hold.
constexpr char kSaveCopyFileName[] = "hvsetup.tmp";
static_assert(sizeof kSaveCopyFileName == sizeof kSettingsFileName, "the copy's path must fit");

constexpr char kKeyResolution[] = "Resolution";
constexpr char kKeyVideoBackBuffer[] = "VideoBackBuffer";
constexpr char kKeyHardwareFills[] = "HardwareFills";
constexpr char kKeyCompatibility[] = "Compatibility";
constexpr char kKeySocket[] = "Socket";
constexpr char kKeyDestNet[] = "DestNet";

// A value read from the file is at most 255 characters.
constexpr std::size_t kSettingValueCapacity = 256;
constexpr std::size_t kSettingsPathCapacity = kHomePrefixCapacity + sizeof kSettingsFileName - 1;

// One check box or radio button that shows a choice or flag.
struct ToggleBinding {
  int control;
  const char* section;
  const char* key;
  const char* on_value;
  const char* off_value;
  const char* fallback;  // assumed when the key cannot be read
  int saved;             // 0 for the second view of a key that another binding saves
};

// One edit field whose whole text is a value; it reads as empty when missing.
struct TextBinding {
  int control;
  const char* section;
  const char* key;
};

constexpr std::size_t kToggleBindingCount = 5;
constexpr std::size_t kTextBindingCount = 2;

// In load order; saving walks the same tables, skipping bindings not marked saved, which
// gives the order Resolution, VideoBackBuffer, HardwareFills, Compatibility, Socket, DestNet.
extern const ToggleBinding kToggleBindings[kToggleBindingCount];
extern const TextBinding kTextBindings[kTextBindingCount];

// What a save writes, read from the dialog once and handed down: each toggle binding's
// value (its on or off text) and each field's whole text, in the order of the bindings.
struct OptionValues {
  const char* toggles[kToggleBindingCount];
  char texts[kTextBindingCount][kSettingValueCapacity];
};

// The keys a save writes, in their fixed order: Resolution, VideoBackBuffer, HardwareFills,
// Compatibility, Socket, DestNet (the second view of Resolution saves nothing).
constexpr std::size_t kSavedKeyCount = kToggleBindingCount - 1 + kTextBindingCount;
// The `index`th of them, and the value `values` give it.
const char* SavedKey(std::size_t index);
const char* SavedValue(const OptionValues& values, std::size_t index);

enum ToggleChange { kToggleLeave, kToggleCheck, kToggleUncheck };

// The on value checks, the off value unchecks, and any other value (compared exactly,
// case included) leaves the control as it is.
ToggleChange ToggleChangeForValue(const ToggleBinding& binding, const char* value);
const char* ToggleValueForState(const ToggleBinding& binding, int checked);

// Home prefix followed by the file name; 0 (and an empty path) when it does not fit, so
// that a cut path never names some other file.
int FormatSettingsPath(char* path, std::size_t capacity, const char* home_prefix);
// The same for another file in that folder.
int FormatPathInFolder(char* path, std::size_t capacity, const char* home_prefix,
                       const char* file_name);
