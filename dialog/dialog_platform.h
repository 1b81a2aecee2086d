// Thin wrappers over the dialog manager calls that the Options dialog needs.
#pragma once

#include <windows.h>

#include <cstddef>

// The control's whole text. 0 (and an empty text) when it does not fit `capacity`: a
// field's text is never judged or saved cut short.
int ReadControlText(HWND dialog, int control, char* text, std::size_t capacity);

// Replaces the control's text, whatever its length; typing limits do not apply.
void SetControlText(HWND dialog, int control, const char* text);

// One line of a warning: a text from the string table whose "%s" is replaced by `argument`
// when one is given, or, with `text_id` 0, `argument` itself. An empty line is left out.
struct WarningLine {
  UINT text_id;
  const char* argument;
};

// A warning box with the exclamation icon and the buttons of `buttons` (MB_OK, MB_YESNO),
// its caption from the string table and its lines one below the other. It has no owner
// window; returns the button the user chose.
int ShowWarningLines(HINSTANCE instance, UINT caption_id, const WarningLine* lines,
                     std::size_t count, UINT buttons);

// ShowWarningLines with one line and an OK button.
void ShowWarning(HINSTANCE instance, UINT caption_id, UINT text_id, const char* argument);

// The system's own text for an error code, in the user's language, without its line
// ending; empty for 0 or where the system has no text (or no FormatMessageA: it is looked
// up, since Win32s may lack it).
void SystemErrorText(DWORD error, char* text, std::size_t capacity);
