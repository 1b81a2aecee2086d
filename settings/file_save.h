// Saving the settings file so that a power cut at any moment leaves it whole: through a copy
// that is flushed and renamed over the file where the system can do that.
#pragma once

#include "settings/setting_rules.h"
#include "settings/settings_file.h"

// Saves `values` through a copy that is flushed to the disk and renamed over the file, taking
// its marks and its own permissions; where that cannot be done (no rename on 95, 98, Me and
// Win32s, a file that must not be replaced, a copy that cannot be made or given the file's
// permissions) into the file itself, flushed. 1 when the file holds the new content;
// otherwise 0 with `*error` the reason, 0 when none is known.
int SaveSettingsFile(const SaveCalls& calls, const OptionValues& values, unsigned long* error);
