// The Options dialog from the real template with the real procedure, driven through the
// real dialog manager: key messages through IsDialogMessage, button clicks, WM_CLOSE.
// Warning boxes are answered by a CBT hook, which records what they said.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "dialog/options_dialog.h"
#include "resources/resource.h"
#include "settings/save_check.h"
#include "settings/settings_folder.h"
#include "shell/bounded_text.h"
#include "shell/home_directory.h"
#include "support/settings_shapes.h"
#include "test_support.h"

namespace {

struct Warning {
  std::string caption;
  std::string text;
  // How the box looked: the buttons it showed, its icon, its owner, and whether the Options
  // dialog could still be used under it.
  std::vector<int> buttons;
  bool exclamation_icon;
  HWND owner;
  bool options_enabled;
};

std::vector<int> VisibleButtons(HWND box) {
  std::vector<int> shown;
  for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
    HWND button = GetDlgItem(box, id);
    // The box itself is not shown yet when it is activated: ask the button's own style.
    if (button != nullptr && (GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE) != 0) {
      shown.push_back(id);
    }
  }
  return shown;
}

BOOL CALLBACK CollectIcon(HWND child, LPARAM found) {
  const LRESULT icon = SendMessageA(child, STM_GETICON, 0, 0);
  if (icon != 0) *reinterpret_cast<HICON*>(found) = reinterpret_cast<HICON>(icon);
  return TRUE;
}

// The box's icon is a static control showing one of the shared system icons.
bool ShowsExclamationIcon(HWND box) {
  HICON shown = nullptr;
  EnumChildWindows(box, CollectIcon, reinterpret_cast<LPARAM>(&shown));
  return shown != nullptr && shown == LoadIconA(nullptr, IDI_EXCLAMATION);
}

// Hooks carry no context, so what they see is kept here for the test that runs.
std::vector<Warning> warnings_seen;

LRESULT CALLBACK AnswerWarnings(int code, WPARAM wparam, LPARAM lparam) {
  HWND window = reinterpret_cast<HWND>(wparam);
  char cls[32] = "";
  // Message boxes share the dialog class with the Options dialog, which is activated while
  // it is still being created; the socket field tells the two apart.
  if (code == HCBT_ACTIVATE && GetDlgItem(window, IDC_SOCKET) == nullptr &&
      GetClassNameA(window, cls, sizeof cls) && std::string(cls) == "#32770") {
    char caption[256] = "";
    char text[4096] = "";
    GetWindowTextA(window, caption, sizeof caption);
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
    warnings_seen.push_back({caption, text, VisibleButtons(window), ShowsExclamationIcon(window),
                             GetWindow(window, GW_OWNER),
                             IsWindowEnabled(FindWindowA(nullptr, "HVN Windows 95 Options")) != 0});
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

class OptionsDialog : public hvtest::ScratchHomeTest {
 protected:
  OptionsDialog() : ScratchHomeTest("dialog") {}

  void SetUp() override {
    ScratchHomeTest::SetUp();
    AppInstance = GetModuleHandleA(nullptr);
    warnings_seen.clear();
    hook_ = SetWindowsHookExA(WH_CBT, AnswerWarnings, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook_, nullptr);
  }

  void TearDown() override {
    // Every warning, whatever it says: OK only, the exclamation icon, no owner, and the
    // Options dialog left usable under it.
    for (const Warning& warning : warnings_seen) {
      SCOPED_TRACE(warning.caption);
      EXPECT_EQ(warning.buttons, std::vector<int>{IDOK});
      EXPECT_TRUE(warning.exclamation_icon);
      EXPECT_EQ(warning.owner, nullptr);
      EXPECT_TRUE(warning.options_enabled);
    }
    if (dialog_ != nullptr) DestroyWindow(dialog_);
    Pump();
    UnhookWindowsHookEx(hook_);
    ScratchHomeTest::TearDown();
  }

  void Open() {
    dialog_ = CreateDialogParamA(AppInstance, IDD_OPTIONS, nullptr, OptionsDialogProc, 0);
    ASSERT_NE(dialog_, nullptr);
    Pump();
  }

  // Runs the queue as a modeless dialog's owner would; a quit message is noted, not obeyed.
  void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit_posted_ = true;
        quit_code_ = msg.wParam;
        continue;
      }
      if (dialog_ == nullptr || !IsDialogMessageA(dialog_, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
  }

  void Press(WPARAM key) {
    HWND focus = GetFocus();
    PostMessageA(focus, WM_KEYDOWN, key, 1);
    PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
    Pump();
  }

  void Type(const char* text) {
    for (; *text != '\0'; ++text) {
      PostMessageA(GetFocus(), WM_CHAR, static_cast<unsigned char>(*text), 1);
    }
    Pump();
  }

  // Focus as Tab gives it (a push button focused this way becomes the default one).
  void FocusOn(int control) {
    SendMessageA(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(control)), TRUE);
    Pump();
  }

  void Click(int control) {
    SendMessageA(Item(control), BM_CLICK, 0, 0);
    Pump();
  }

  void SetText(int control, const char* text) {
    SetDlgItemTextA(dialog_, control, text);
    Pump();
  }

  HWND Item(int control) { return GetDlgItem(dialog_, control); }
  int FocusedId() { return GetDlgCtrlID(GetFocus()); }
  bool Checked(int control) { return IsDlgButtonChecked(dialog_, control) == BST_CHECKED; }

  std::string Text(int control) {
    char text[512] = "";
    GetDlgItemTextA(dialog_, control, text, sizeof text);
    return text;
  }

  std::vector<std::string> IniLines() { return hvtest::SplitLines(hvtest::ReadWholeFile(ini_)); }

  void WriteIni(const std::string& content) {
    ASSERT_TRUE(hvtest::WriteWholeFile(ini_, content));
  }

  HHOOK hook_ = nullptr;
  HWND dialog_ = nullptr;
  bool quit_posted_ = false;
  WPARAM quit_code_ = 99;
};

TEST_F(OptionsDialog, LoadsCheckStatesAndTextsFromTheFile) {
  const struct {
    const char* options;  // the lines of [Options]
    bool res400, res480, back_buffer, fills, compat;
    const char* socket;
    const char* dest;
  } rows[] = {
      {nullptr, false, false, false, false, false, "", ""},  // no file at all
      {"Resolution=0", true, false, false, false, false, "", ""},
      {"Resolution=1", false, true, false, false, false, "", ""},
      {"Resolution=2", false, false, false, false, false, "", ""},
      {"Resolution=yes", false, false, false, false, false, "", ""},
      {"Resolution=", false, false, false, false, false, "", ""},
      {"VideoBackBuffer=TRUE\r\nHardwareFills=1\r\nCompatibility=1", false, false, false, true,
       true, "", ""},
      {"VideoBackBuffer=1\r\nSocket=1234567\r\nDestNet=73.0F.2C.8A", false, false, true, false,
       false, "1234567", "73.0F.2C.8A"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.options ? row.options : "(no file)");
    DeleteFileA(ini_.c_str());
    if (row.options) WriteIni(std::string("[Options]\r\n") + row.options + "\r\n");
    Open();
    EXPECT_EQ(Checked(IDC_RES_640X400), row.res400);
    EXPECT_EQ(Checked(IDC_RES_640X480), row.res480);
    EXPECT_EQ(Checked(IDC_VIDEO_BACK_BUFFER), row.back_buffer);
    EXPECT_EQ(Checked(IDC_HARDWARE_FILLS), row.fills);
    EXPECT_EQ(Checked(IDC_DOS_COMPAT), row.compat);
    EXPECT_EQ(Text(IDC_SOCKET), row.socket);  // a stored text longer than the limit stays whole
    EXPECT_EQ(Text(IDC_DEST_NET), row.dest);
    DestroyWindow(dialog_);
    dialog_ = nullptr;
  }
  EXPECT_FALSE(quit_posted_);
}

TEST_F(OptionsDialog, TypingStopsAtTheFieldLimitsButDeletingWorks) {
  WriteIni("[Options]\r\nSocket=1234567\r\n");
  Open();
  FocusOn(IDC_SOCKET);
  Press(VK_END);
  Type("8");
  EXPECT_EQ(Text(IDC_SOCKET), "1234567");
  Type("\b\b\b");
  EXPECT_EQ(Text(IDC_SOCKET), "1234");
  Type("56");  // five characters, and no more
  EXPECT_EQ(Text(IDC_SOCKET), "12345");

  FocusOn(IDC_DEST_NET);
  Type("73.0F.2C.8A.99");
  EXPECT_EQ(Text(IDC_DEST_NET), "73.0F.2C.8A");
}

TEST_F(OptionsDialog, RadioButtonsExcludeEachOtherAndCheckBoxesDoNot) {
  Open();
  Click(IDC_RES_640X480);
  Click(IDC_VIDEO_BACK_BUFFER);
  EXPECT_TRUE(Checked(IDC_RES_640X480));
  EXPECT_FALSE(Checked(IDC_RES_640X400));
  Click(IDC_RES_640X400);
  Click(IDC_DOS_COMPAT);
  EXPECT_TRUE(Checked(IDC_RES_640X400));
  EXPECT_FALSE(Checked(IDC_RES_640X480));
  EXPECT_TRUE(Checked(IDC_VIDEO_BACK_BUFFER));
  EXPECT_FALSE(Checked(IDC_HARDWARE_FILLS));
  EXPECT_TRUE(Checked(IDC_DOS_COMPAT));
  Click(IDC_VIDEO_BACK_BUFFER);
  EXPECT_FALSE(Checked(IDC_VIDEO_BACK_BUFFER));
  EXPECT_TRUE(Checked(IDC_DOS_COMPAT));
}

TEST_F(OptionsDialog, EnterMovesThroughTheFieldsAndSavesOnlyOnOk) {
  Open();
  FocusOn(IDC_SOCKET);
  Type("213");
  Press(VK_RETURN);
  EXPECT_EQ(FocusedId(), IDC_DEST_NET);
  Type("73.0F.2C.8A");
  // Tab past the address field reaches OK, then Cancel.
  Press(VK_TAB);
  EXPECT_EQ(FocusedId(), IDOK);
  Press(VK_TAB);
  EXPECT_EQ(FocusedId(), IDCANCEL);
  FocusOn(IDC_DEST_NET);
  Press(VK_RETURN);
  EXPECT_EQ(FocusedId(), IDOK);
  EXPECT_FALSE(hvtest::FileExists(ini_));
  EXPECT_FALSE(quit_posted_);

  Press(VK_RETURN);
  EXPECT_TRUE(quit_posted_);
  EXPECT_EQ(quit_code_, 0u);
  EXPECT_FALSE(IsWindowVisible(dialog_));
  EXPECT_EQ(IniLines(), (std::vector<std::string>{"[Options]", "Resolution=1",
                                                  "VideoBackBuffer=0", "HardwareFills=0",
                                                  "Compatibility=0", "Socket=213",
                                                  "DestNet=73.0F.2C.8A"}));
  EXPECT_TRUE(warnings_seen.empty());
}

TEST_F(OptionsDialog, EnterOnCheckBoxesAndRadioButtonsMovesOnToo) {
  WriteIni("[Options]\r\nResolution=0\r\n");
  Open();
  FocusOn(IDC_RES_640X400);
  Press(VK_RETURN);
  EXPECT_EQ(FocusedId(), IDC_VIDEO_BACK_BUFFER);  // the unchecked radio button is no tab stop
  Press(VK_RETURN);
  EXPECT_EQ(FocusedId(), IDC_HARDWARE_FILLS);
  FocusOn(IDC_DOS_COMPAT);
  Press(VK_RETURN);
  EXPECT_EQ(FocusedId(), IDC_SOCKET);
  EXPECT_FALSE(quit_posted_);
}

TEST_F(OptionsDialog, ASaveWritesAllSixKeysInOrderIntoAMissingFile) {
  Open();
  Click(IDOK);
  EXPECT_TRUE(quit_posted_);
  EXPECT_EQ(IniLines(), hvtest::kSavedDefaults);
}

// Stands in for the platform's profile write call and records each call as
// "section key=value @ file", with "-" for a null argument. Like the hook, it carries no
// context, so what it sees is kept here.
std::vector<std::string> profile_calls;

BOOL WINAPI RecordProfileWrite(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  auto text = [](LPCSTR s) { return std::string(s != nullptr ? s : "-"); };
  profile_calls.push_back(text(section) + " " + text(key) + "=" + text(value) + " @ " +
                          text(file));
  return TRUE;
}

TEST_F(OptionsDialog, ASaveWritesTheSixKeysInOrderThenFlushesTheFile) {
  // Windows 95, 98 and Me keep the file in a cache until it is flushed, and Wine writes
  // through at once, so only the calls themselves can show the flush.
  Open();
  Click(IDC_RES_640X400);
  Click(IDC_HARDWARE_FILLS);
  SetText(IDC_SOCKET, "213");
  profile_calls.clear();
  OptionValues values;
  ASSERT_EQ(ReadOptionValues(dialog_, &values), 1);
  EXPECT_EQ(WriteOptionValues(values, RecordProfileWrite, ini_.c_str()), 1);
  const std::string file = " @ " + ini_;
  EXPECT_EQ(profile_calls,
            (std::vector<std::string>{
                "Options Resolution=0" + file, "Options VideoBackBuffer=0" + file,
                "Options HardwareFills=1" + file, "Options Compatibility=0" + file,
                "Options Socket=213" + file, "Options DestNet=" + file, "- -=-" + file}));
  EXPECT_FALSE(hvtest::FileExists(ini_));  // every call went to the stand-in
}

TEST_F(OptionsDialog, ASaveKeepsForeignLinesAndRewritesOnlyItsOwnKeys) {
  WriteIni(
      "[Player]\r\nName=Ann\r\n"
      "[Options]\r\nResolution=1\r\nVideoBackBuffer=TRUE\r\nMusic=7\r\nSocket=12\r\n"
      "[Network]\r\nModem=COM2\r\n");
  Open();
  Click(IDC_RES_640X400);
  Click(IDC_HARDWARE_FILLS);
  Click(IDC_DOS_COMPAT);
  Click(IDOK);
  const std::vector<std::string> lines = IniLines();
  for (const char* expected :
       {"[Player]", "Name=Ann", "Music=7", "[Network]", "Modem=COM2", "Resolution=0",
        "VideoBackBuffer=0", "HardwareFills=1", "Compatibility=1", "Socket=12", "DestNet="}) {
    SCOPED_TRACE(expected);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1);
  }
}

TEST_F(OptionsDialog, AnInvalidSocketIsRefusedBeforeTheAddressIsLookedAt) {
  WriteIni("[Options]\r\nSocket=1\r\n");
  const std::string before = hvtest::ReadWholeFile(ini_);
  Open();
  SetText(IDC_SOCKET, "16384");
  SetText(IDC_DEST_NET, "zz");
  Click(IDOK);
  ASSERT_EQ(warnings_seen.size(), 1u);
  EXPECT_EQ(warnings_seen[0].caption, hvtest::kBadSocketCaption);
  EXPECT_EQ(warnings_seen[0].text, hvtest::kBadSocketText);
  EXPECT_EQ(FocusedId(), IDC_SOCKET);
  EXPECT_FALSE(quit_posted_);
  EXPECT_TRUE(IsWindowVisible(dialog_));
  EXPECT_EQ(hvtest::ReadWholeFile(ini_), before);

  SetText(IDC_SOCKET, "16383");
  Click(IDOK);
  ASSERT_EQ(warnings_seen.size(), 2u);
  EXPECT_EQ(warnings_seen[1].caption, hvtest::kBadAddressCaption);
  EXPECT_EQ(warnings_seen[1].text, hvtest::kBadAddressText);
  EXPECT_EQ(FocusedId(), IDC_DEST_NET);
  EXPECT_EQ(hvtest::ReadWholeFile(ini_), before);

  SetText(IDC_DEST_NET, "73.0f");
  Click(IDOK);
  EXPECT_EQ(warnings_seen.size(), 2u);
  EXPECT_TRUE(quit_posted_);
  const std::vector<std::string> lines = IniLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Socket=16383"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "DestNet=73.0f"), 1);
}

TEST_F(OptionsDialog, AStoredTextLongerThanItsRuleAllowsIsRefusedNotCut) {
  WriteIni("[Options]\r\nSocket=1234567\r\nDestNet=73.0F.2C.8A.55\r\n");
  const std::string before = hvtest::ReadWholeFile(ini_);
  Open();
  Click(IDOK);
  ASSERT_EQ(warnings_seen.size(), 1u);
  EXPECT_EQ(warnings_seen[0].caption, hvtest::kBadSocketCaption);
  SetText(IDC_SOCKET, "");
  Click(IDOK);
  ASSERT_EQ(warnings_seen.size(), 2u);
  EXPECT_EQ(warnings_seen[1].caption, hvtest::kBadAddressCaption);
  EXPECT_EQ(hvtest::ReadWholeFile(ini_), before);
  EXPECT_FALSE(quit_posted_);
}

TEST_F(OptionsDialog, CancelEscapeAndCloseSaveNothing) {
  const std::string content = "[Options]\r\nResolution=1\r\nSocket=5\r\n";
  enum Way { kCancelButton, kEnterOnCancel, kEscape, kCloseBox };
  for (Way way : {kCancelButton, kEnterOnCancel, kEscape, kCloseBox}) {
    SCOPED_TRACE(way);
    WriteIni(content);
    quit_posted_ = false;
    Open();
    Click(IDC_RES_640X400);
    Click(IDC_DOS_COMPAT);
    SetText(IDC_SOCKET, "77");
    switch (way) {
      case kCancelButton: Click(IDCANCEL); break;
      case kEnterOnCancel: FocusOn(IDCANCEL); Press(VK_RETURN); break;
      case kEscape: FocusOn(IDC_SOCKET); Press(VK_ESCAPE); break;
      case kCloseBox: SendMessageA(dialog_, WM_CLOSE, 0, 0); Pump(); break;
    }
    EXPECT_TRUE(quit_posted_);
    EXPECT_EQ(quit_code_, 0u);
    EXPECT_EQ(hvtest::ReadWholeFile(ini_), content);
    DestroyWindow(dialog_);
    dialog_ = nullptr;
  }
  EXPECT_TRUE(warnings_seen.empty());
}

// The save warning as the user reads it: the file, the system's reason (none for error 0),
// and the advice.
std::string SaveWarning(const std::string& ini, DWORD error, const std::string& advice) {
  const std::string reason = error != 0 ? "\n" + hvtest::SystemText(error) : "";
  return "The settings could not be written to " + ini + "." + reason + "\n" + advice;
}

TEST_F(OptionsDialog, AFailedSaveWarnsKeepsTheDialogOpenAndAllowsARetry) {
  // A folder where the file should be: every write fails, whoever runs the test.
  ASSERT_TRUE(CreateDirectoryA(ini_.c_str(), nullptr));
  Open();
  SetText(IDC_SOCKET, "99");
  Click(IDOK);
  ASSERT_EQ(warnings_seen.size(), 1u);
  EXPECT_EQ(warnings_seen[0].caption, hvtest::kSaveFailedCaption);
  EXPECT_EQ(warnings_seen[0].text, SaveWarning(ini_, ERROR_ACCESS_DENIED, hvtest::kAdviceGeneral));
  EXPECT_FALSE(quit_posted_);
  EXPECT_TRUE(IsWindowVisible(dialog_));
  EXPECT_TRUE(IsWindowEnabled(dialog_));

  ASSERT_TRUE(RemoveDirectoryA(ini_.c_str()));
  Click(IDOK);
  EXPECT_EQ(warnings_seen.size(), 1u);
  EXPECT_TRUE(quit_posted_);
  const std::vector<std::string> lines = IniLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Socket=99"), 1);
}

// Stand-ins for the calls a save makes. A profile cache (Windows 95, 98, Me, Win32s) reports
// every write done, whatever becomes of the file; the free-space queries report what a test
// sets. Like the hook, they carry no context.
int cached_writes = 0;
ULONGLONG free_bytes_reported = 0;
std::vector<std::string> roots_asked;

BOOL WINAPI CachedProfileWrite(LPCSTR, LPCSTR, LPCSTR, LPCSTR) {
  ++cached_writes;
  return TRUE;
}

BOOL WINAPI FailingProfileWrite(LPCSTR, LPCSTR, LPCSTR, LPCSTR) {
  return FALSE;
}

BOOL WINAPI ReportedFreeSpaceEx(LPCSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                                PULARGE_INTEGER total_free) {
  roots_asked.push_back(folder);
  available->QuadPart = free_bytes_reported;
  total->QuadPart = free_bytes_reported * 2;
  total_free->QuadPart = free_bytes_reported;
  return TRUE;
}

// Free space in clusters of 4 sectors of 512 bytes, as the plain call counts it.
BOOL WINAPI ReportedFreeSpace(LPCSTR root, LPDWORD sectors_per_cluster, LPDWORD bytes_per_sector,
                              LPDWORD free_clusters, LPDWORD clusters) {
  roots_asked.push_back(root != nullptr ? root : "(null)");
  *sectors_per_cluster = 4;
  *bytes_per_sector = 512;
  *free_clusters = static_cast<DWORD>(free_bytes_reported / 2048);
  *clusters = *free_clusters * 2;
  return TRUE;
}

BOOL WINAPI FailedFreeSpaceEx(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER) {
  return FALSE;
}

BOOL WINAPI FailedFreeSpace(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD) {
  return FALSE;
}

SaveCalls CachedSaveCalls() {
  cached_writes = 0;
  roots_asked.clear();
  SaveCalls calls = {CachedProfileWrite, nullptr, FailedFreeSpace};
  calls.read = GetPrivateProfileStringA;
  return calls;
}

// A reader that finds none of the six values, as a platform that reads the saved text
// otherwise would.
DWORD WINAPI ReadingOtherwise(LPCSTR, LPCSTR, LPCSTR, LPSTR value, DWORD capacity, LPCSTR) {
  if (capacity > 0) value[0] = '\0';
  return 0;
}

TEST_F(OptionsDialog, AFileThatCannotBeWrittenIsRefusedEvenWhereTheWritesReportSuccess) {
  const std::string before = "[Options]\r\nSocket=5\r\n[Game]\r\nLevel=3\r\n";
  WriteIni(before);
  Open();
  SetText(IDC_SOCKET, "77");

  // Held open by another program that shares only reading, as a game may hold it.
  HANDLE held = CreateFileA(ini_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE) << hvtest::ErrorText(GetLastError());
  EXPECT_EQ(SaveOrWarn(dialog_, CachedSaveCalls()), 0);
  CloseHandle(held);
  ASSERT_EQ(warnings_seen.size(), 1u);
  EXPECT_EQ(warnings_seen[0].caption, hvtest::kSaveFailedCaption);
  EXPECT_EQ(warnings_seen[0].text, SaveWarning(ini_, ERROR_SHARING_VIOLATION, hvtest::kAdviceGeneral));
  EXPECT_EQ(cached_writes, 0);
  EXPECT_EQ(hvtest::ReadWholeFile(ini_), before);
  EXPECT_TRUE(IsWindowVisible(dialog_));

  // Once the file can be written, the save writes it; the cache is only flushed.
  EXPECT_EQ(SaveOrWarn(dialog_, CachedSaveCalls()), 1);
  EXPECT_EQ(cached_writes, 1);
  const std::vector<std::string> lines = IniLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Socket=77"), 1);
  EXPECT_EQ(warnings_seen.size(), 1u);
}

TEST_F(OptionsDialog, AReadOnlyFileIsRefusedWithAdviceToClearTheMark) {
  const std::string before = "[Options]\r\nSocket=5\r\n";
  WriteIni(before);
  ASSERT_TRUE(SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_READONLY));
  HANDLE probe = CreateFileA(ini_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
    GTEST_SKIP() << "this user may write a read-only file (as root under Wine), so no save of "
                    "one is refused; the test command's read_only_file scenario stages the "
                    "refusal for root with an immutable file";
  }
  Open();
  const int saved = SaveOrWarn(dialog_, CachedSaveCalls());
  SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(saved, 0);
  ASSERT_EQ(warnings_seen.size(), 1u);
  EXPECT_EQ(warnings_seen[0].text,
            SaveWarning(ini_, ERROR_ACCESS_DENIED, hvtest::kAdviceReadOnly));
  EXPECT_EQ(cached_writes, 0);
  EXPECT_EQ(hvtest::ReadWholeFile(ini_), before);
}

TEST_F(OptionsDialog, AFileThePlatformReadsOtherwiseGetsItsWriterOrIsReportedNotSaved) {
  Open();
  SaveCalls calls = CachedSaveCalls();
  calls.read = ReadingOtherwise;
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
  EXPECT_EQ(cached_writes, 1 + 7);  // the flush first, then six keys and the flush
  EXPECT_TRUE(warnings_seen.empty());

  calls.write = FailingProfileWrite;
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 0);
  ASSERT_EQ(warnings_seen.size(), 1u);
  EXPECT_EQ(warnings_seen[0].text, SaveWarning(ini_, 0, hvtest::kAdviceGeneral));
}

// A stand-in for the profile cache of Windows 95, 98 and Me: the profile calls of every
// program work on an image of the file last used, which reaches the disk, where written to,
// when it is flushed or another file is used. The real calls read and write the image, kept
// in a scratch file.
struct ProfileCache {
  std::string file;  // the file the image is of; empty for none
  std::string scratch;
  bool written = false;
  int calls = 0;
} cache;

void LetGoOfImage() {
  if (cache.written) hvtest::WriteWholeFile(cache.file, hvtest::ReadWholeFile(cache.scratch));
  cache.file.clear();
  cache.written = false;
}

void UseImageOf(LPCSTR file) {
  if (cache.file == file) return;
  LetGoOfImage();
  cache.file = file;
  hvtest::WriteWholeFile(cache.scratch, hvtest::ReadWholeFile(file));
}

BOOL WINAPI CachedWrite(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  ++cache.calls;
  if (section == nullptr && key == nullptr && value == nullptr) {
    if (cache.file == file) LetGoOfImage();
    return FALSE;  // as the platform reports a flush
  }
  UseImageOf(file);
  cache.written = true;
  return WritePrivateProfileStringA(section, key, value, cache.scratch.c_str());
}

DWORD WINAPI CachedRead(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR value, DWORD capacity,
                        LPCSTR file) {
  UseImageOf(file);
  return GetPrivateProfileStringA(section, key, fallback, value, capacity, cache.scratch.c_str());
}

TEST_F(OptionsDialog, AnotherProgramsWritesInTheCacheOfWindows95AreSavedAndTheCacheSeesTheSave) {
  // The game's write waits in the cache, and the cache holds the file as it was: the copy is
  // made from the file with the game's write, and a read afterwards sees the save, whether
  // through the copy or in place (as 95, 98 and Me write), without the platform's writer.
  for (const bool in_place : {false, true}) {
    SCOPED_TRACE(in_place ? "in place" : "through the copy");
    WriteIni("[Options]\r\nSocket=5\r\n[Game]\r\nLevel=3\r\n");
    cache = ProfileCache();
    cache.scratch = folder_ + "cache image.ini";
    ASSERT_TRUE(CachedWrite("Game", "Level", "4", ini_.c_str()));
    Open();
    SetText(IDC_SOCKET, "77");
    SaveCalls calls = PlatformSaveCalls();
    calls.write = CachedWrite;
    calls.read = CachedRead;
    if (in_place) calls.MoveFileExA = nullptr;
    cache.calls = 0;
    EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
    EXPECT_EQ(cache.calls, 1);  // the flush alone
    char value[16] = "";
    CachedRead("Options", "Socket", "", value, sizeof value, ini_.c_str());
    EXPECT_STREQ(value, "77");
    LetGoOfImage();
    const std::vector<std::string> lines = IniLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Level=4"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Socket=77"), 1);
    DestroyWindow(dialog_);
    dialog_ = nullptr;
  }
}

TEST_F(OptionsDialog, ASaveThatWouldNotFitOnTheDiskIsRefused) {
  const std::string before = "[Options]\r\nSocket=5\r\n[Game]\r\nLevel=3\r\n";
  WriteIni(before);
  Open();
  SetText(IDC_SOCKET, "77");
  const std::string drive = ini_.substr(0, 3);  // "C:\"
  // The folder is named: a folder can lie on another volume than its drive's root.
  const std::string full_advice = hvtest::AdviceDiskFull(folder_);

  // The file's own folder is asked where the Ex call exists.
  SaveCalls calls = CachedSaveCalls();
  calls.GetDiskFreeSpaceExA = ReportedFreeSpaceEx;
  free_bytes_reported = before.size() + kSaveGrowthBound - 1;
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 0);
  EXPECT_EQ(roots_asked, std::vector<std::string>{folder_});
  ASSERT_EQ(warnings_seen.size(), 1u);
  EXPECT_EQ(warnings_seen[0].text, SaveWarning(ini_, ERROR_DISK_FULL, full_advice));
  EXPECT_EQ(cached_writes, 0);
  EXPECT_EQ(hvtest::ReadWholeFile(ini_), before);

  free_bytes_reported = before.size() + kSaveGrowthBound;
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
  EXPECT_EQ(cached_writes, 1);

  // Without it (Windows 95 before OSR2, NT 3.51), the drive's root, counted in clusters.
  WriteIni(before);
  calls = CachedSaveCalls();
  calls.GetDiskFreeSpaceA = ReportedFreeSpace;
  free_bytes_reported = 0;
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 0);
  EXPECT_EQ(roots_asked, std::vector<std::string>{drive});
  ASSERT_EQ(warnings_seen.size(), 2u);
  EXPECT_EQ(warnings_seen[1].text, SaveWarning(ini_, ERROR_DISK_FULL, full_advice));
  EXPECT_EQ(hvtest::ReadWholeFile(ini_), before);

  // A query that fails does not block the save.
  calls = CachedSaveCalls();
  calls.GetDiskFreeSpaceExA = FailedFreeSpaceEx;
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
  EXPECT_EQ(cached_writes, 1);
  EXPECT_EQ(warnings_seen.size(), 2u);
}

TEST_F(OptionsDialog, ASaveGrowsTheFileByNoMoreThanTheRoomItAsksFor) {
  // The longest values into a file that has no [Options] section and no final line ending
  // (also in UTF-16, where every character added takes two bytes), and into no file at all.
  for (const std::string& before :
       {std::string(), std::string("[Game]\r\nLevel=3"), std::string("[Game]\nLevel=3\n"),
        hvtest::Utf16("[Game]\r\nLevel=3", false)}) {
    SCOPED_TRACE(before);
    if (before.empty()) {
      DeleteFileA(ini_.c_str());
    } else {
      WriteIni(before);
    }
    Open();
    Click(IDC_RES_640X480);
    Click(IDC_VIDEO_BACK_BUFFER);
    Click(IDC_HARDWARE_FILLS);
    Click(IDC_DOS_COMPAT);
    SetText(IDC_SOCKET, "16383");
    SetText(IDC_DEST_NET, "73.0F.2C.8A");
    EXPECT_EQ(SaveOrWarn(dialog_, PlatformSaveCalls()), 1);
    const std::string after = hvtest::ReadWholeFile(ini_);
    EXPECT_LE(after.size(), before.size() + kSaveGrowthBound) << after;
    DestroyWindow(dialog_);
    dialog_ = nullptr;
  }
}

// --- A save that a power cut cannot corrupt -------------------------------------------------

// The file's identity on its volume: a file renamed into its place has another.
unsigned long long FileId(const std::string& path) {
  const unsigned long long id = hvtest::FileIndex(hvtest::WideFromAnsi(path));
  EXPECT_NE(id, 0u) << "the identity of " << path << " could not be read";
  return id;
}

constexpr DWORD kMarks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The entries of a file's access list that its folder did not hand down, as bytes; a
// failure names the call where they cannot be read.
std::vector<std::string> OwnEntries(const std::string& path) {
  alignas(DWORD) unsigned char descriptor[4096];
  DWORD size = 0;
  BOOL present = FALSE, defaulted = FALSE;
  ACL* acl = nullptr;
  if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor, sizeof descriptor,
                        &size) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted)) {
    ADD_FAILURE() << "reading the access list of " << path << ": "
                  << hvtest::ErrorText(GetLastError());
    return {};
  }
  std::vector<std::string> entries;
  for (DWORD i = 0; present && acl != nullptr && i < acl->AceCount; ++i) {
    ACE_HEADER* entry = nullptr;
    if (GetAce(acl, i, reinterpret_cast<void**>(&entry)) && !(entry->AceFlags & INHERITED_ACE)) {
      entries.emplace_back(reinterpret_cast<const char*>(entry), entry->AceSize);
    }
  }
  return entries;
}

// Gives `path` an access list of one entry of its own: this user may do everything. (Under
// Wine, which keeps a file's permissions in its Unix mode, that is mode 0700.)
void GiveOwnPermissions(const std::string& path) {
  HANDLE token = nullptr;
  alignas(DWORD) unsigned char user[256];
  alignas(DWORD) unsigned char list[512];
  SECURITY_DESCRIPTOR descriptor;
  DWORD size = 0;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
      << hvtest::ErrorText(GetLastError());
  const BOOL got = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
  CloseHandle(token);
  ASSERT_TRUE(got) << "GetTokenInformation: " << hvtest::ErrorText(GetLastError());
  ACL* acl = reinterpret_cast<ACL*>(list);
  ASSERT_TRUE(InitializeAcl(acl, sizeof list, ACL_REVISION) &&
              AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS,
                                  reinterpret_cast<TOKEN_USER*>(user)->User.Sid) &&
              InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
              SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
              SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor))
      << "giving " << path << " permissions of its own: " << hvtest::ErrorText(GetLastError());
}

TEST_F(OptionsDialog, ASaveRenamesAFlushedCopyOverTheFileKeepingWhatTheFileHad) {
  // Its hidden and system marks, its own permissions, and the archive mark set: the content
  // changed, though a backup had marked the old file as saved.
  WriteIni("[Player]\r\nName=Ann\r\n[Options]\r\nSocket=5\r\n");
  ASSERT_NO_FATAL_FAILURE(GiveOwnPermissions(ini_));
  const std::vector<std::string> own = OwnEntries(ini_);
  EXPECT_FALSE(own.empty()) << "the permissions given were not kept";
  ASSERT_TRUE(SetFileAttributesA(ini_.c_str(), kMarks)) << hvtest::ErrorText(GetLastError());
  if ((GetFileAttributesA(ini_.c_str()) & kMarks) != kMarks) {
    GTEST_SKIP() << "this file system keeps no hidden or system mark on " << ini_;
  }
  const unsigned long long before = FileId(ini_);
  Open();
  Click(IDC_HARDWARE_FILLS);
  EXPECT_EQ(SaveOrWarn(dialog_, PlatformSaveCalls()), 1);
  EXPECT_TRUE(warnings_seen.empty());
  const DWORD marks = GetFileAttributesA(ini_.c_str());
  SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(marks & kMarks, kMarks);
  // (Wine marks every file for archiving, so only Windows can show it lost.)
  EXPECT_NE(marks & FILE_ATTRIBUTE_ARCHIVE, 0u) << "the archive mark was not set";
  EXPECT_EQ(OwnEntries(ini_), own) << "the file's own permissions were not kept";
  EXPECT_NE(FileId(ini_), before) << "the file was written in place, not replaced";
  const std::vector<std::string> lines = IniLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Name=Ann"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "HardwareFills=1"), 1);
  EXPECT_FALSE(hvtest::FileExists(folder_ + "hvsetup.tmp"));
}

TEST_F(OptionsDialog, AFileThatCannotBeReplacedIsSavedInPlaceWithoutAWord) {
  // Held open without delete sharing (as a game or an editor may hold it), or a hard link
  // whose other name must see the new settings too: the rename would fail, or cut the link.
  for (const bool hard_link : {false, true}) {
    SCOPED_TRACE(hard_link ? "hard link" : "held open");
    WriteIni("[Options]\r\nSocket=5\r\n[Game]\r\nLevel=3\r\n");
    const std::string other = folder_ + "other name.ini";
    HANDLE held = INVALID_HANDLE_VALUE;
    if (hard_link) {
      BOOL(WINAPI * link)(LPCSTR, LPCSTR, LPSECURITY_ATTRIBUTES) = nullptr;
      link = reinterpret_cast<decltype(link)>(reinterpret_cast<void (*)()>(
          GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateHardLinkA")));
      ASSERT_NE(link, nullptr);
      ASSERT_TRUE(link(other.c_str(), ini_.c_str(), nullptr)) << hvtest::ErrorText(GetLastError());
    } else {
      held = CreateFileA(ini_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(held, INVALID_HANDLE_VALUE) << hvtest::ErrorText(GetLastError());
    }
    const unsigned long long before = FileId(ini_);
    Open();
    Click(IDC_HARDWARE_FILLS);
    EXPECT_EQ(SaveOrWarn(dialog_, PlatformSaveCalls()), 1);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_TRUE(warnings_seen.empty());
    EXPECT_EQ(FileId(ini_), before) << "the file was replaced";
    const std::vector<std::string> lines = IniLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "HardwareFills=1"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Level=3"), 1);
    if (hard_link) EXPECT_EQ(hvtest::ReadWholeFile(other), hvtest::ReadWholeFile(ini_));
    EXPECT_FALSE(hvtest::FileExists(folder_ + "hvsetup.tmp"));
    DeleteFileA(other.c_str());
    DestroyWindow(dialog_);
    dialog_ = nullptr;
  }
}

// The dialog showing the six values `six`, in the order of the keys.
void ShowValues(HWND dialog, const char* const (&six)[6]) {
  for (const ToggleBinding& binding : kToggleBindings) {
    for (std::size_t key = 0; key < kSavedKeyCount; ++key) {
      if (!TextEquals(SavedKey(key), binding.key)) continue;
      CheckDlgButton(dialog, binding.control,
                     TextEquals(six[key], binding.on_value) ? BST_CHECKED : BST_UNCHECKED);
    }
  }
  SetDlgItemTextA(dialog, IDC_SOCKET, six[4]);
  SetDlgItemTextA(dialog, IDC_DEST_NET, six[5]);
}

// What the platform's reader finds of the six keys in `file`.
std::vector<std::string> ReadBack(const std::string& file) {
  std::vector<std::string> values;
  for (std::size_t key = 0; key < kSavedKeyCount; ++key) {
    char value[256];
    GetPrivateProfileStringA("Options", SavedKey(key), "(missing)", value, sizeof value,
                             file.c_str());
    values.push_back(value);
  }
  return values;
}

TEST_F(OptionsDialog, EveryShapeOfFileKeepsEveryByteOutsideTheSixKeysLines) {
  // Every way a save writes: through its renamed copy, in place (Windows 95, 98, Me and
  // Win32s have no replacing rename), and through a hard link, written in place so that
  // both names see it. The platform reads the six values back from each.
  CPINFO code_page;
  ASSERT_TRUE(GetCPInfo(CP_ACP, &code_page)) << hvtest::ErrorText(GetLastError());
  // The program walks its file by the ANSI code page's characters, as it does from its start.
  struct KeptLeadBytes {
    LeadByteRanges kept = HomeLeadBytes;
    ~KeptLeadBytes() { HomeLeadBytes = kept; }
  } keep;
  std::copy(code_page.LeadByte, code_page.LeadByte + kLeadByteRangeBytes, HomeLeadBytes.bytes);
  const bool double_byte = IsLeadByte(0x81, HomeLeadBytes) != 0;
  BOOL(WINAPI * link)(LPCSTR, LPCSTR, LPSECURITY_ATTRIBUTES) = nullptr;
  link = reinterpret_cast<decltype(link)>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateHardLinkA")));
  const std::string other = folder_ + "other name.ini";
  const std::string platform = folder_ + "platform.ini";
  int platform_keeps_bytes = -1;
  for (const hvtest::SettingsShape& shape : hvtest::SettingsShapes()) {
    SCOPED_TRACE(shape.name);
    const std::string& after =
        double_byte && !shape.after_double_byte.empty() ? shape.after_double_byte : shape.after;
    const std::vector<std::string> six(std::begin(shape.values), std::end(shape.values));
    for (const char* way : {"copy", "in place", "hard link"}) {
      SCOPED_TRACE(way);
      DeleteFileA(ini_.c_str());
      DeleteFileA(other.c_str());
      WriteIni(shape.before);
      if (way[0] == 'h') {
        if (link == nullptr) continue;  // before Windows 2000 no file has a second name
        ASSERT_TRUE(link(other.c_str(), ini_.c_str(), nullptr))
            << hvtest::ErrorText(GetLastError());
      }
      Open();
      ShowValues(dialog_, shape.values);
      SaveCalls calls = PlatformSaveCalls();
      if (way[0] == 'i') calls.MoveFileExA = nullptr;
      EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
      EXPECT_TRUE(warnings_seen.empty());
      EXPECT_EQ(hvtest::ReadWholeFile(ini_), after);
      if (way[0] == 'h') EXPECT_EQ(hvtest::ReadWholeFile(other), after);
      EXPECT_EQ(ReadBack(ini_), six);
      DestroyWindow(dialog_);
      dialog_ = nullptr;
    }
    // The platform's own writer, given a copy of the same file and the same values. Where it
    // keeps a blank line it was not asked to touch, it keeps every byte, and its file is the
    // rule this program follows; where it rewrites the file (Wine), only its reading counts.
    ASSERT_TRUE(hvtest::WriteWholeFile(platform, shape.before));
    const OptionValues values = hvtest::ValuesOf(shape.values);
    EXPECT_EQ(WriteOptionValues(values, WritePrivateProfileStringA, platform.c_str()), 1);
    const std::string made = hvtest::ReadWholeFile(platform);
    if (platform_keeps_bytes < 0) {
      platform_keeps_bytes = made.find("\r\n\r\n[Player]") != std::string::npos;
      std::printf("kit note: the platform's profile writer %s\n",
                  platform_keeps_bytes ? "keeps the other bytes: the saved files equal its own"
                                       : "rewrites the file: the saved files compared by reading");
    }
    if (platform_keeps_bytes) EXPECT_EQ(made, after) << "the platform's own writer made this";
    EXPECT_EQ(ReadBack(platform), six);
  }
}

TEST_F(OptionsDialog, ACopyLeftByAnInterruptedSaveIsNeverReadThenClearedOrPutBack) {
  // Left as it was for longer than any save holds its copy: taken for left over. Beside the
  // settings file it is removed and the save goes through a copy of its own; without the
  // file it may be the only whole copy of the settings, and is put in its place first.
  const std::string stray = folder_ + "hvsetup.tmp";
  const std::string left = "[Game]\r\nLevel=3\r\n[Options]\r\nSocket=999\r\n";
  enum Case { kBesideTheFile, kWithoutTheFile, kWithoutTheRename };
  for (const Case c : {kBesideTheFile, kWithoutTheFile, kWithoutTheRename}) {
    SCOPED_TRACE(c);
    DeleteFileA(ini_.c_str());
    if (c != kWithoutTheFile) WriteIni("[Options]\r\nSocket=5\r\n");
    ASSERT_TRUE(hvtest::WriteWholeFile(stray, left));
    Open();
    EXPECT_EQ(Text(IDC_SOCKET), c == kWithoutTheFile ? "" : "5");
    SetText(IDC_SOCKET, "77");
    SaveCalls calls = PlatformSaveCalls();
    ASSERT_NE(calls.MoveFileExA, nullptr) << "this Windows has no MoveFileExA";
    // Windows 95, 98, Me and Win32s write in place, and leave alone a copy not their own.
    if (c == kWithoutTheRename) calls.MoveFileExA = nullptr;
    EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
    const std::vector<std::string> lines = IniLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Socket=77"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Level=3"), c == kWithoutTheFile ? 1 : 0);
    EXPECT_EQ(hvtest::FileExists(stray), c == kWithoutTheRename);
    DeleteFileA(stray.c_str());
    DestroyWindow(dialog_);
    dialog_ = nullptr;
  }
}

BOOL WINAPI MoveFileExStub(LPCSTR, LPCSTR, DWORD) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

// Reads through the platform and records each read as "read key @ file" among the writes.
DWORD WINAPI RecordProfileRead(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR value,
                               DWORD capacity, LPCSTR file) {
  profile_calls.push_back(std::string("read ") + key + " @ " + file);
  return GetPrivateProfileStringA(section, key, fallback, value, capacity, file);
}

TEST_F(OptionsDialog, TheKeysGoIntoTheCopyWhereTheSystemCanRenameItElseIntoTheFile) {
  // Where the values went shows in where the platform is asked to read them back; the
  // cache is flushed first, for the file itself.
  WriteIni("[Options]\r\nSocket=5\r\n");
  Open();
  const std::string copy = " @ " + folder_ + "hvsetup.tmp";
  const std::string file = " @ " + ini_;
  auto saved_into = [&](std::vector<std::string> targets) {
    std::vector<std::string> expected = {"- -=-" + file};
    for (const std::string& target : targets) {
      for (const char* key : {"Resolution", "VideoBackBuffer", "HardwareFills", "Compatibility",
                              "Socket", "DestNet"}) {
        expected.push_back(std::string("read ") + key + target);
      }
    }
    return expected;
  };
  SaveCalls calls = {RecordProfileWrite, nullptr, FailedFreeSpace, nullptr};
  calls.read = RecordProfileRead;
  profile_calls.clear();
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
  EXPECT_EQ(profile_calls, saved_into({file}));

  calls.MoveFileExA = PlatformSaveCalls().MoveFileExA;
  ASSERT_NE(calls.MoveFileExA, nullptr) << "this Windows has no MoveFileExA";
  profile_calls.clear();
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
  EXPECT_EQ(profile_calls, saved_into({copy}));
  EXPECT_FALSE(hvtest::FileExists(folder_ + "hvsetup.tmp"));

  // Windows 95, 98 and Me have the call as a stub that fails: into the copy, then the file.
  calls.MoveFileExA = MoveFileExStub;
  profile_calls.clear();
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
  EXPECT_EQ(profile_calls, saved_into({copy, file}));
  EXPECT_FALSE(hvtest::FileExists(folder_ + "hvsetup.tmp"));
  const std::vector<std::string> lines = IniLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Socket=5"), 1);
}

// A MoveFileExA that does not know MOVEFILE_WRITE_THROUGH, as an older Windows NT may not;
// it records the flags of every call.
std::vector<DWORD> move_flags;

BOOL WINAPI MoveWithoutWriteThrough(LPCSTR from, LPCSTR to, DWORD flags) {
  move_flags.push_back(flags);
  if (flags & MOVEFILE_WRITE_THROUGH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return PlatformSaveCalls().MoveFileExA(from, to, flags);
}

TEST_F(OptionsDialog, ARenameRefusedForItsWriteThroughFlagIsAskedAgainWithoutIt) {
  WriteIni("[Options]\r\nSocket=5\r\n");
  const unsigned long long before = FileId(ini_);
  Open();
  Click(IDC_HARDWARE_FILLS);
  SaveCalls calls = PlatformSaveCalls();
  ASSERT_NE(calls.MoveFileExA, nullptr) << "this Windows has no MoveFileExA";
  calls.MoveFileExA = MoveWithoutWriteThrough;
  move_flags.clear();
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
  EXPECT_EQ(move_flags, (std::vector<DWORD>{MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH,
                                            MOVEFILE_REPLACE_EXISTING}));
  EXPECT_NE(FileId(ini_), before) << "the file was written in place, not replaced";
  const std::vector<std::string> lines = IniLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "HardwareFills=1"), 1);
}

// A MoveFileExA before whose first call another program makes the settings file.
std::string appearing_file;

BOOL WINAPI MoveAfterAFileAppeared(LPCSTR from, LPCSTR to, DWORD flags) {
  if (!appearing_file.empty()) {
    EXPECT_TRUE(hvtest::WriteWholeFile(to, appearing_file));
    appearing_file.clear();
  }
  return PlatformSaveCalls().MoveFileExA(from, to, flags);
}

TEST_F(OptionsDialog, AFileThatAppearsDuringASaveIntoNoneIsNotReplaced) {
  Open();
  SetText(IDC_SOCKET, "77");
  SaveCalls calls = PlatformSaveCalls();
  ASSERT_NE(calls.MoveFileExA, nullptr) << "this Windows has no MoveFileExA";
  calls.MoveFileExA = MoveAfterAFileAppeared;
  appearing_file = "[Game]\r\nAppeared=1\r\n";
  EXPECT_EQ(SaveOrWarn(dialog_, calls), 1);
  const std::vector<std::string> lines = IniLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Appeared=1"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Socket=77"), 1);
  EXPECT_FALSE(hvtest::FileExists(folder_ + "hvsetup.tmp"));
}

TEST_F(OptionsDialog, TheCheckBeforeASaveMakesNoFileUnderTheSettingsFilesName) {
  // A save stopped right after the check must not leave an empty settings file behind.
  SaveRefusal refusal;
  EXPECT_EQ(CheckSettingsWritable(PlatformSaveCalls(), kSingleByteCodePage, &refusal), 1);
  EXPECT_FALSE(hvtest::FileExists(ini_));
}

// --- Windows Vista to 11: the per-user copy that UAC keeps for Halvern ----------------------

TEST_F(OptionsDialog, OnVistaTo11TheCopyHalvernReadsIsShownAndSavedAndTheFileBesideIsNot) {
  char windows[MAX_PATH];
  ASSERT_NE(GetWindowsDirectoryA(windows, sizeof windows), 0u);
  if (toupper(windows[0]) != toupper(folder_[0]) || folder_[1] != ':') {
    GTEST_SKIP() << "the temporary folder (" << folder_ << ") is not on the Windows folder's "
                 << "drive, where Windows keeps such copies";
  }
  // LOCALAPPDATA is set for this process alone, to a folder inside the scratch folder, so
  // nothing of the user's is touched and everything staged goes with the scratch folder.
  char saved_local[MAX_PATH] = "";
  const DWORD had_local = GetEnvironmentVariableA("LOCALAPPDATA", saved_local, sizeof saved_local);
  const std::string local = folder_ + "Local";
  const std::string store = local + "\\VirtualStore" + folder_.substr(2);
  ASSERT_TRUE(SetEnvironmentVariableA("LOCALAPPDATA", local.c_str()));
  ASSERT_EQ(hvtest::CreateFolders(hvtest::WideFromAnsi(store)), "");
  const std::string beside = "[Options]\r\nSocket=5\r\n";
  const std::string copy = "[Game]\r\nLevel=3\r\n[Options]\r\nSocket=12\r\n";
  WriteIni(beside);
  ASSERT_TRUE(hvtest::WriteWholeFile(store + "halvern.ini", copy));

  // Started by its short (8.3) path, as the shortcuts of old installers start programs,
  // Windows hands the program its module path in that form, and SetupHomeDirectory keeps
  // it. (Wine hands out the long form, so the short one is set here.) The copy's folder is
  // named by the long form all the same.
  char short_folder[MAX_PATH] = "";
  const DWORD short_length = GetShortPathNameA(folder_.c_str(), short_folder, MAX_PATH);
  ASSERT_TRUE(short_length > 0 && short_length < MAX_PATH) << hvtest::ErrorText(GetLastError());
  if (folder_ != short_folder) {
    ASSERT_EQ(CopyText(HomePrefix, sizeof HomePrefix, short_folder), 1);
    FollowVirtualStore(kSingleByteCodePage);
    EXPECT_EQ(std::string(HomePrefix), store) << "started as " << short_folder;
  } else {
    std::printf("note: %s has no short name here; the short-path case is not staged\n",
                folder_.c_str());
  }
  ASSERT_EQ(CopyText(HomePrefix, sizeof HomePrefix, folder_.c_str()), 1);
  FollowVirtualStore(kSingleByteCodePage);
  EXPECT_EQ(std::string(HomePrefix), store);
  Open();
  EXPECT_EQ(Text(IDC_SOCKET), "12");
  SetText(IDC_SOCKET, "77");
  Click(IDOK);
  EXPECT_TRUE(quit_posted_);
  EXPECT_TRUE(warnings_seen.empty());
  const std::vector<std::string> lines =
      hvtest::SplitLines(hvtest::ReadWholeFile(store + "halvern.ini"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Socket=77"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Level=3"), 1);
  EXPECT_EQ(hvtest::ReadWholeFile(ini_), beside);

  // No copy, or a user name the code page cannot spell: the file beside the program.
  ASSERT_EQ(CopyText(HomePrefix, sizeof HomePrefix, folder_.c_str()), 1);
  ASSERT_TRUE(SetEnvironmentVariableA("LOCALAPPDATA", (folder_ + "L?cal").c_str()));
  FollowVirtualStore(kSingleByteCodePage);
  EXPECT_EQ(std::string(HomePrefix), folder_);
  ASSERT_TRUE(DeleteFileA((store + "halvern.ini").c_str()));
  ASSERT_TRUE(SetEnvironmentVariableA("LOCALAPPDATA", local.c_str()));
  FollowVirtualStore(kSingleByteCodePage);
  EXPECT_EQ(std::string(HomePrefix), folder_);

  SetEnvironmentVariableA("LOCALAPPDATA", had_local != 0 ? saved_local : nullptr);
}

TEST_F(OptionsDialog, CenterOnDesktopPutsTheDialogInTheMiddle) {
  Open();
  SetWindowPos(dialog_, HWND_TOP, 3, 7, 0, 0, SWP_NOSIZE);
  CenterOnDesktop(dialog_);
  RECT desktop, box;
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(dialog_, &box);
  const long width = box.right - box.left, height = box.bottom - box.top;
  EXPECT_EQ(box.left, desktop.left + (desktop.right - desktop.left - width) / 2);
  EXPECT_EQ(box.top, desktop.top + (desktop.bottom - desktop.top - height) / 2);
  EXPECT_NE(box.left, 3);
}


// Runs the version probe as a given Windows would, standing in for the hosts that need the
// hand-centring and those that do not, and returns its exit code: under Wine with its
// per-program version `wine_version`, on Windows NT 6 and later in the compatibility mode
// `compat_layer` (empty: the system as it is).
int LegacyHostUnder(const wchar_t* wine_version, const wchar_t* compat_layer) {
  // Attached to the desktop, this process keeps it open between probes: otherwise each probe
  // ends the last window on it, the platform takes the desktop down and the next probe may
  // start while that is under way.
  GetDesktopWindow();
  const wchar_t probe[] = L"" HV_VERSION_PROBE_EXE;
  const std::string pretending = hvtest::PretendWindowsVersion(probe, wine_version, compat_layer);
  EXPECT_EQ(pretending, "");
  std::string why;
  const int code =
      pretending.empty() ? hvtest::RunProgram(hvtest::FolderOfThisProgram() + probe, L"", L"", &why)
                         : -1;
  EXPECT_EQ(why, "");
  EXPECT_EQ(hvtest::StopPretending(probe), "");
  return code;
}

// The probe's exit code: 1 when the test holds, plus 2 when the procedure moved the dialog
// while it initialised.
TEST(IsLegacyWin32Host, IsTrueWhereTheVersionSaysWin32sAndOnlyThereTheDialogMovesItself) {
  if (!hvtest::UnderWine()) {
    GTEST_SKIP() << "only Wine can pretend to be Win32s; Windows has no such mode";
  }
  EXPECT_EQ(LegacyHostUnder(L"win31", L""), 1 + 2);
}

TEST(IsLegacyWin32Host, IsFalseFromWindows95OnAndTheTemplateCentresTheDialogThere) {
  EXPECT_EQ(LegacyHostUnder(L"win95", L"Win95"), 0);
  EXPECT_EQ(LegacyHostUnder(L"winxp", L"WinXPSp3"), 0);
  EXPECT_EQ(LegacyHostUnder(L"win10", L""), 0);
}

}  // namespace
