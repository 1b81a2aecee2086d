// Control texts and warning boxes.
#include "dialog/dialog_platform.h"

#include "shell/bounded_text.h"

namespace {

constexpr std::size_t kMessageCapacity = 4096;

// Shared by every warning and overwritten by each: only one box is built at a time. The
// format is kept here too, not on the stack: a frame that large needs a stack probe, which
// only a C runtime would provide.
char WarningCaption[kMessageCapacity];
char WarningText[kMessageCapacity];
char WarningFormat[kMessageCapacity];

}  // namespace

int ReadControlText(HWND dialog, int control, char* text, std::size_t capacity) {
  if (capacity == 0) return 0;
  text[0] = '\0';
  HWND window = GetDlgItem(dialog, control);
  const int length = GetWindowTextLengthA(window);
  if (length < 0 || static_cast<std::size_t>(length) >= capacity) return 0;
  GetWindowTextA(window, text, length + 1);
  return 1;
}

void SetControlText(HWND dialog, int control, const char* text) {
  SendDlgItemMessageA(dialog, control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void ShowWarning(HINSTANCE instance, UINT caption_id, UINT text_id, const char* argument) {
  // A string that cannot be loaded shows as empty rather than as stale text.
  if (LoadStringA(instance, caption_id, WarningCaption, kMessageCapacity) <= 0) {
    WarningCaption[0] = '\0';
  }
  if (argument == nullptr) {
    if (LoadStringA(instance, text_id, WarningText, kMessageCapacity) <= 0) WarningText[0] = '\0';
  } else {
    if (LoadStringA(instance, text_id, WarningFormat, kMessageCapacity) <= 0) {
      WarningFormat[0] = '\0';
    }
    FormatWithText(WarningText, kMessageCapacity, WarningFormat, argument);
  }
  MessageBoxA(nullptr, WarningText, WarningCaption, MB_OK | MB_ICONEXCLAMATION);
}
