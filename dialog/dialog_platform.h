// Thin wrappers over the dialog manager calls that the Options dialog needs.
#pragma once

#include <windows.h>

#include <cstddef>

// The control's whole text. 0 (and an empty text) when it does not fit `capacity`: a
// field's text is never judged or saved cut short.
int ReadControlText(HWND dialog, int control, char* text, std::size_t capacity);

// Replaces the control's text, whatever its length; typing limits do not apply.
void SetControlText(HWND dialog, int control, const char* text);

// A warning box with the exclamation icon and an OK button, its caption and text loaded
// from the string table; a "%s" in the text is replaced by `argument` when one is given.
// It has no owner window, and returns when the user dismisses it.
void ShowWarning(HINSTANCE instance, UINT caption_id, UINT text_id, const char* argument);
