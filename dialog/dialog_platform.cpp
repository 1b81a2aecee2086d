// Control texts and warning boxes.
#include "dialog/dialog_platform.h"

#include "shell/bounded_text.h"
#include "shell/look_up.h"

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

int ShowWarningLines(HINSTANCE instance, UINT caption_id, const WarningLine* lines,
                     std::size_t count, UINT buttons) {
  // A string that cannot be loaded shows as empty rather than as stale text.
  if (LoadStringA(instance, caption_id, WarningCaption, kMessageCapacity) <= 0) {
    WarningCaption[0] = '\0';
  }
  WarningText[0] = '\0';
  for (std::size_t i = 0; i < count; ++i) {
    const char* line = lines[i].argument;
    if (lines[i].text_id != 0) {
      if (LoadStringA(instance, lines[i].text_id, WarningFormat, kMessageCapacity) <= 0) {
        WarningFormat[0] = '\0';
      }
      line = WarningFormat;
    }
    if (line == nullptr || line[0] == '\0') continue;
    if (WarningText[0] != '\0') AppendText(WarningText, kMessageCapacity, "\n");
    const std::size_t used = TextLength(WarningText);
    if (lines[i].text_id != 0 && lines[i].argument != nullptr) {
      FormatWithText(WarningText + used, kMessageCapacity - used, WarningFormat,
                     lines[i].argument);
    } else {
      AppendText(WarningText, kMessageCapacity, line);
    }
  }
  return MessageBoxA(nullptr, WarningText, WarningCaption, buttons | MB_ICONEXCLAMATION);
}

void ShowWarning(HINSTANCE instance, UINT caption_id, UINT text_id, const char* argument) {
  const WarningLine line = {text_id, argument};
  ShowWarningLines(instance, caption_id, &line, 1, MB_OK);
}

void SystemErrorText(DWORD error, char* text, std::size_t capacity) {
  if (capacity == 0) return;
  text[0] = '\0';
  using FormatCall = DWORD(WINAPI*)(DWORD, LPCVOID, DWORD, DWORD, LPSTR, DWORD, va_list*);
  FormatCall format = nullptr;
  LookUpKernel("FormatMessageA", &format);
  if (error == 0 || format == nullptr) return;
  const DWORD length = format(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                              error, 0, text, static_cast<DWORD>(capacity), nullptr);
  if (length == 0 || length >= capacity) {
    text[0] = '\0';
    return;
  }
  // CR, LF and blanks are never the second byte of a double-byte character, so the end
  // can be trimmed byte by byte.
  std::size_t end = length;
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' ')) {
    --end;
  }
  text[end] = '\0';
}
