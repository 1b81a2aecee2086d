// Saving the settings file so that a power cut at any moment leaves it whole: through a copy
// that is flushed and renamed over the file where the system can do that. The one call the
// dialog makes to save.
#pragma once

#include "settings/save_check.h"
#include "settings/setting_rules.h"
#include "settings/settings_file.h"
#include "shell/code_page.h"

// What the warning of a refused save says: the file, the system's reason and the advice.
struct SaveAnswer {
  unsigned long error;               // the platform's reason; 0 when none is known
  SaveAdvice advice;                 // what the user can do about it
  char file[kSettingsPathCapacity];  // the settings file
  const char* folder;                // its folder, which the advice for a full disk or a disc names
};

// Makes sure the settings file can be written (CheckSettingsWritable), then saves `values`
// through a copy that is flushed to the disk and renamed over the file, taking its marks and
// its own permissions; where that cannot be done (no rename on 95, 98, Me and Win32s, a file
// that must not be replaced, such as a link, a copy that cannot be made or given the file's
// permissions) into the file itself, flushed. `values` null: the dialog could not read them
// whole, and nothing is written. `lead`: the ANSI code page's lead bytes, by which the
// folder's path is walked. 1 when the file holds the values; otherwise 0 with `answer` filled.
int SaveOptions(const SaveCalls& calls, const OptionValues* values, const LeadByteRanges& lead,
                SaveAnswer* answer);
