// Behaviour of the Options dialog. The procedure only routes; each step is a small helper.
#include "dialog/options_dialog.h"

#include "dialog/dialog_platform.h"
#include "dialog/placement.h"
#include "resources/resource.h"
#include "settings/file_save.h"
#include "settings/settings_file.h"
#include "shell/home_directory.h"
#include "validation/field_rules.h"

HINSTANCE AppInstance = nullptr;

namespace {

// Typing limits: the longest texts the rules pass. They do not cut a longer stored text,
// which the rules then refuse on OK.
constexpr WPARAM kSocketTypingLimit = kSocketMaxDigits;
constexpr WPARAM kAddressTypingLimit = sizeof kAddressMask - 1;

void LoadOptions(HWND dialog) {
  for (const ToggleBinding& binding : kToggleBindings) LoadToggle(dialog, binding);
  for (const TextBinding& binding : kTextBindings) LoadText(dialog, binding);
  SendDlgItemMessageA(dialog, IDC_SOCKET, EM_LIMITTEXT, kSocketTypingLimit, 0);
  SendDlgItemMessageA(dialog, IDC_DEST_NET, EM_LIMITTEXT, kAddressTypingLimit, 0);
}

// The advice strings follow the order of SaveAdvice (a table of them would cost the file).
static_assert(IDS_ADVICE_READ_ONLY == IDS_ADVICE_GENERAL + kAdviceReadOnly &&
                  IDS_ADVICE_ADMINISTRATOR == IDS_ADVICE_GENERAL + kAdviceAdministrator &&
                  IDS_ADVICE_DISK_FULL == IDS_ADVICE_GENERAL + kAdviceDiskFull &&
                  IDS_ADVICE_DISC == IDS_ADVICE_GENERAL + kAdviceDisc,
              "advice strings out of order");

// Names the file, gives the system's reason and the advice that fits.
void ShowSaveError(const SaveAnswer& answer) {
  char reason[512];
  SystemErrorText(answer.error, reason, sizeof reason);
  const WarningLine lines[] = {
      {IDS_SAVE_FAILED_TEXT, answer.file},
      {0, reason},
      {IDS_ADVICE_GENERAL + static_cast<UINT>(answer.advice), answer.folder},
  };
  ShowWarningLines(AppInstance, IDS_SAVE_FAILED_CAPTION, lines, sizeof lines / sizeof lines[0],
                   MB_OK);
}

// Every way out posts the quit message that ends the program's closing message loop.
void CloseOptions(HWND dialog) {
  PostQuitMessage(0);
  EndDialog(dialog, 0);
}

int ValidateField(HWND dialog, int control, int (*rule)(const char*), UINT caption_id,
                  UINT text_id) {
  char text[kSettingValueCapacity];
  if (ReadControlText(dialog, control, text, sizeof text) && rule(text)) return 1;
  ShowFieldError(caption_id, text_id);
  return 0;
}

int OnOptionsOk(HWND dialog) {
  // Enter anywhere but on OK sends IDOK too; there it only moves on, as Tab would.
  HWND focus = GetFocus();
  if (GetDlgCtrlID(focus) != IDOK) {
    SetFocus(GetNextDlgTabItem(dialog, focus, FALSE));
    return 1;
  }
  if (!ValidateSocketField(dialog, IDC_SOCKET)) {
    SetFocus(GetDlgItem(dialog, IDC_SOCKET));
    return 1;
  }
  if (!ValidateAddressField(dialog, IDC_DEST_NET)) {
    SetFocus(GetDlgItem(dialog, IDC_DEST_NET));
    return 1;
  }
  // Nothing may be posted before the outcome is known: a quit message already waiting
  // would close the warning box at once. On failure the dialog stays open for a retry.
  if (!SaveOrWarn(dialog, PlatformSaveCalls())) return 1;
  CloseOptions(dialog);
  return 1;
}

}  // namespace

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      LoadOptions(dialog);
      if (IsLegacyWin32Host()) CenterOnDesktop(dialog);
      return TRUE;  // the dialog manager picks the first control to focus
    case WM_COMMAND:
      return OnOptionsCommand(dialog, LOWORD(wparam));
    case WM_CLOSE:
      // The modal run ends on the quit message; nothing is saved.
      PostQuitMessage(0);
      return TRUE;
    default:
      return FALSE;
  }
}

int OnOptionsCommand(HWND dialog, int command) {
  switch (command) {
    case IDOK:
      return OnOptionsOk(dialog);
    case IDCANCEL:
      CloseOptions(dialog);
      return 1;
    default:
      return 0;  // buttons and boxes check themselves
  }
}

void LoadToggle(HWND dialog, const ToggleBinding& binding) {
  char value[kSettingValueCapacity];
  ReadSetting(binding.section, binding.key, binding.fallback, value);
  switch (ToggleChangeForValue(binding, value)) {
    case kToggleCheck:
      CheckDlgButton(dialog, binding.control, BST_CHECKED);
      break;
    case kToggleUncheck:
      CheckDlgButton(dialog, binding.control, BST_UNCHECKED);
      break;
    case kToggleLeave:
      break;
  }
}

int SaveOrWarn(HWND dialog, const SaveCalls& calls) {
  OptionValues values;
  SaveAnswer answer;
  if (SaveOptions(calls, ReadOptionValues(dialog, &values) ? &values : nullptr, HomeLeadBytes,
                  &answer)) {
    return 1;
  }
  ShowSaveError(answer);
  return 0;
}

int ReadOptionValues(HWND dialog, OptionValues* values) {
  for (std::size_t i = 0; i < kToggleBindingCount; ++i) {
    const ToggleBinding& binding = kToggleBindings[i];
    values->toggles[i] =
        ToggleValueForState(binding, IsDlgButtonChecked(dialog, binding.control) == BST_CHECKED);
  }
  int all_read = 1;
  for (std::size_t i = 0; i < kTextBindingCount; ++i) {
    if (!ReadControlText(dialog, kTextBindings[i].control, values->texts[i],
                         sizeof values->texts[i])) {
      all_read = 0;
    }
  }
  return all_read;
}

void LoadText(HWND dialog, const TextBinding& binding) {
  char value[kSettingValueCapacity];
  ReadSetting(binding.section, binding.key, "", value);
  SetControlText(dialog, binding.control, value);
}

int ValidateSocketField(HWND dialog, int control) {
  return ValidateField(dialog, control, IsValidSocketText, IDS_BAD_SOCKET_CAPTION,
                       IDS_BAD_SOCKET_TEXT);
}

int ValidateAddressField(HWND dialog, int control) {
  return ValidateField(dialog, control, IsValidAddressText, IDS_BAD_ADDRESS_CAPTION,
                       IDS_BAD_ADDRESS_TEXT);
}

void ShowFieldError(UINT caption_id, UINT text_id) {
  ShowWarning(AppInstance, caption_id, text_id, nullptr);
}

int IsLegacyWin32Host() {
  return IsLegacyWin32Version(GetVersion());
}

void CenterOnDesktop(HWND dialog) {
  RECT desktop;
  RECT box;
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(dialog, &box);
  long x = 0;
  long y = 0;
  CenteredOrigin({desktop.left, desktop.top, desktop.right, desktop.bottom},
                 {box.left, box.top, box.right, box.bottom}, &x, &y);
  SetWindowPos(dialog, HWND_TOP, static_cast<int>(x), static_cast<int>(y), 0, 0, SWP_NOSIZE);
}
