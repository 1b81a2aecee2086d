// The Options dialog: loads the settings into its controls, checks the two typed fields on
// OK, saves, and ends the program's run on OK, Cancel or the close box.
#pragma once

#include <windows.h>

#include "settings/setting_rules.h"
#include "settings/settings_file.h"

// The program's instance, for the dialog template and the warning strings. Set by WinMain
// before the dialog opens.
extern HINSTANCE AppInstance;

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
int OnOptionsCommand(HWND dialog, int command);

void LoadToggle(HWND dialog, const ToggleBinding& binding);
void LoadText(HWND dialog, const TextBinding& binding);
// What the controls show, as the values a save writes; 0 when a field's text does not fit
// (only texts that passed their rules are saved, and those are short).
int ReadOptionValues(HWND dialog, OptionValues* values);

// Saves what the controls show (SaveOptions); when that is refused, warns the user with the
// file, the reason and what to do, and returns 0 with the file as it was (or, where the save
// writes in place, as far as the failed writes got). `calls` are the platform's, or a test's.
int SaveOrWarn(HWND dialog, const SaveCalls& calls);

// 1 when the field's text passes its rule; otherwise the user has been warned and it is 0.
int ValidateSocketField(HWND dialog, int control);
int ValidateAddressField(HWND dialog, int control);
void ShowFieldError(UINT caption_id, UINT text_id);

int IsLegacyWin32Host();
void CenterOnDesktop(HWND dialog);
