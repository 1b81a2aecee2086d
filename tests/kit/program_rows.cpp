// The whole program, driven as a user drives it but without a screen: hvsetup.exe is started
// from a fresh folder, its windows are found by caption and control identifier, and clicks,
// typed characters and keys are posted to it as the messages those actions produce, so its
// own dialog manager handles them. Each row of the table is one promise: a starting file,
// what the user does, and the file and exit code that follow. Nothing depends on which
// window has the foreground, which Windows does not give a background process.
// Usage: hv_program_rows [gtest flags] [PATH\hvsetup.exe]   (default: the one beside it)
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>
#include <cwctype>

#include "threads_started.h"

namespace {

std::wstring program;  // the hvsetup.exe under test

const wchar_t kCaption[] = L"HVN Windows 95 Options";
constexpr int kRes400 = 100, kFills = 106, kCompat = 107, kSocket = 108, kDestNet = 109;

enum Verb {
  kClick,       // a click in the middle of control `id`
  kType,        // characters typed into control `id` after clearing it (End, Backspaces)
  kKey,         // key `id` (a virtual-key code) pressed and released where the focus is
  kCloseBox,    // the close box of the dialog
  kAnswer,      // a box captioned `text` appears and is answered: Enter, or a click on
                // its button `id` where one is given
  kDialogOpens, // the Options dialog appears (after a box answered before it)
  kFocusIs,     // the focus is on control `id`
  kShows,       // control `id` shows `text`
  kUnchanged,   // the dialog is still open and the file as it was before
  kLetGo,       // the cause of a failed save goes away (read-only cleared, file let go)
};

struct Step {
  Verb verb;
  int id;
  const char* text;
};

enum FileState { kPlain, kReadOnly, kHeldOpen };
enum Outcome { kExactly, kWithLines, kAsBefore };

// Where the program is, and which settings file it is expected to use.
enum Place {
  kOwnFolder,      // a folder of its own; it uses the halvern.ini beside it
  kTemporary,      // a folder inside the system's temporary folder, as a zip's programs are run
  kStoreCopyUsed,  // beside a halvern.ini that has a VirtualStore copy, which Vista to 11 use
  kStoreCopyIgnored,  // the same on a Windows before Vista (Windows 98 under Wine): no copies
};

struct Row {
  const char* name;
  const char* before;  // the used file's bytes to begin with; null: no file
  FileState state;
  std::vector<Step> steps;
  Outcome outcome;
  std::vector<std::string> after;  // kExactly: the file's lines; kWithLines: lines it holds once
  Place place = kOwnFolder;
  const char* other = nullptr;  // the bytes of the settings file it must not use, if any
};

const char kForeign[] =
    "[Player]\r\nName=Ann\r\n[Options]\r\nResolution=1\r\nMusic=7\r\nSocket=12\r\n"
    "[Network]\r\nModem=COM2\r\n";
const std::vector<std::string> kSavedDefaults = {
    "[Options]", "Resolution=1", "VideoBackBuffer=0", "HardwareFills=0", "Compatibility=0",
    "Socket=", "DestNet="};

const Row kRows[] = {
    {"OkKeepsForeignLines", kForeign, kPlain,
     {{kClick, kRes400}, {kClick, kFills}, {kType, kDestNet, "73.0F.2C.8A"}, {kClick, IDOK}},
     kWithLines,
     {"[Player]", "Name=Ann", "Music=7", "[Network]", "Modem=COM2", "Resolution=0",
      "VideoBackBuffer=0", "HardwareFills=1", "Compatibility=0", "Socket=12",
      "DestNet=73.0F.2C.8A"}},
    {"MissingFileIsCreatedWithTheSixKeysInOrder", nullptr, kPlain, {{kClick, IDOK}}, kExactly,
     kSavedDefaults},
    {"RefusedSocketThenRefusedAddress", "[Options]\r\nSocket=1\r\n", kPlain,
     {{kType, kSocket, "16384"}, {kType, kDestNet, "zz"}, {kClick, IDOK},
      {kAnswer, 0, "Invalid Socket Number"}, {kFocusIs, kSocket}, {kUnchanged},
      {kType, kSocket, "16383"}, {kClick, IDOK},
      {kAnswer, 0, "Invalid Destination Network Address"}, {kFocusIs, kDestNet}, {kUnchanged},
      {kType, kDestNet, "73.0f"}, {kClick, IDOK}},
     kWithLines, {"Socket=16383", "DestNet=73.0f"}},
    {"TypingStopsAtTheFieldLimits", nullptr, kPlain,
     {{kType, kSocket, "1234567"}, {kType, kDestNet, "73.0F.2C.8A.55"}, {kClick, IDOK}},
     kWithLines, {"Socket=12345", "DestNet=73.0F.2C.8A"}},
    {"EnterWalksTheFieldsAndSavesOnlyOnOk", "[Options]\r\nSocket=5\r\n", kPlain,
     {{kType, kSocket, "77"}, {kKey, VK_RETURN}, {kFocusIs, kDestNet}, {kUnchanged},
      {kKey, VK_RETURN}, {kFocusIs, IDOK}, {kUnchanged}, {kKey, VK_RETURN}},
     kWithLines, {"Socket=77"}},
    {"CancelKeepsTheFile", kForeign, kPlain,
     {{kClick, kCompat}, {kType, kSocket, "99"}, {kClick, IDCANCEL}}, kAsBefore, {}},
    {"EscapeKeepsTheFile", kForeign, kPlain,
     {{kClick, kCompat}, {kType, kSocket, "99"}, {kKey, VK_ESCAPE}}, kAsBefore, {}},
    {"CloseBoxKeepsTheFile", kForeign, kPlain,
     {{kClick, kCompat}, {kType, kSocket, "99"}, {kCloseBox}}, kAsBefore, {}},
    {"ReadOnlyFileIsNotSavedAndTheDialogStays", kForeign, kReadOnly,
     {{kType, kSocket, "99"}, {kClick, IDOK}, {kAnswer, 0, "Settings Not Saved"}, {kUnchanged},
      {kLetGo}, {kClick, IDOK}},
     kWithLines, {"Socket=99", "Name=Ann"}},
    {"FileHeldOpenIsNotSavedAndTheDialogStays", kForeign, kHeldOpen,
     {{kType, kSocket, "99"}, {kClick, IDOK}, {kAnswer, 0, "Settings Not Saved"}, {kUnchanged},
      {kLetGo}, {kClick, IDOK}},
     kWithLines, {"Socket=99", "Name=Ann"}},
    // Opened inside a zip: the warning first, whose default answer (Enter) is No.
    {"TemporaryFolderWarnsAndNoEndsIt", nullptr, kPlain,
     {{kAnswer, 0, "Not the Halvern Folder"}}, kAsBefore, {}, kTemporary},
    {"TemporaryFolderWarnsAndYesOpensTheDialog", nullptr, kPlain,
     {{kAnswer, IDYES, "Not the Halvern Folder"}, {kDialogOpens}, {kClick, IDOK}}, kExactly,
     kSavedDefaults, kTemporary},
    {"TemporaryFolderWithItsSettingsOpensTheDialog", kForeign, kPlain,
     {{kType, kSocket, "99"}, {kClick, IDOK}}, kWithLines, {"Socket=99", "Name=Ann"},
     kTemporary},
    {"VistaTo11ShowAndSaveTheVirtualStoreCopy", "[Game]\r\nLevel=3\r\n[Options]\r\nSocket=12\r\n",
     kPlain, {{kShows, kSocket, "12"}, {kClick, kFills}, {kClick, IDOK}}, kWithLines,
     {"Level=3", "Socket=12", "HardwareFills=1"}, kStoreCopyUsed, "[Options]\r\nSocket=5\r\n"},
    {"WindowsBeforeVistaUseTheFileBesideTheProgram", "[Options]\r\nSocket=5\r\n", kPlain,
     {{kShows, kSocket, "5"}, {kClick, kFills}, {kClick, IDOK}}, kWithLines,
     {"Socket=5", "HardwareFills=1"}, kStoreCopyIgnored,
     "[Game]\r\nLevel=3\r\n[Options]\r\nSocket=12\r\n"},
};

// Rows are named by their name, not their bytes, in GoogleTest's messages.
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

// --- Files -----------------------------------------------------------------------------

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return FolderOf(std::wstring(path, n < MAX_PATH ? n : 0));
}

bool ReadFileBytes(const std::wstring& path, std::string* bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes->append(chunk, got);
  CloseHandle(file);
  return true;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + L"\\");
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

// A folder name with spaces and Latin-1 letters, where the ANSI code page can spell them;
// otherwise (a Japanese or Chinese Windows, say) one with spaces alone.
std::wstring ProgramFolderName() {
  const wchar_t latin[] = L"Halvern Spiele \u00c4\u00f6\u00e9";
  char ansi[64];
  BOOL lost = FALSE;
  if (WideCharToMultiByte(CP_ACP, 0, latin, -1, ansi, sizeof ansi, nullptr, &lost) > 0 && !lost) {
    return latin;
  }
  return L"Halvern Spiele";
}

std::string Narrow(const std::wstring& text) {
  char narrow[1024] = "";
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

std::wstring TemporaryFolder() {
  wchar_t path[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, path);
  return std::wstring(path, n <= MAX_PATH ? n : 0);
}

// Creates `folder` ("X:\\a\\b\\") and whatever of its parents is missing. Empty when done.
std::string CreateFolders(const std::wstring& folder) {
  for (size_t end = folder.find(L'\\', 3); end != std::wstring::npos;
       end = folder.find(L'\\', end + 1)) {
    const std::wstring part = folder.substr(0, end);
    if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return "CreateDirectoryW failed for " + Narrow(part) + ", error " +
             std::to_string(GetLastError());
    }
  }
  return std::string();
}

// Where Windows Vista to 11 keep the per-user copy of what an old program writes in `folder`:
// %LOCALAPPDATA%\VirtualStore\ and the folder without its drive. Empty, with the reason,
// where Windows keeps none: a folder on another drive than the Windows folder's.
std::wstring StoreFolder(const std::wstring& folder, std::string* why_not) {
  wchar_t local[MAX_PATH] = L"";
  wchar_t windows[MAX_PATH] = L"";
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    *why_not = "this Windows names no LOCALAPPDATA folder";
    return std::wstring();
  }
  GetWindowsDirectoryW(windows, MAX_PATH);
  if (folder.size() < 3 || folder[1] != L':' || towupper(folder[0]) != towupper(windows[0])) {
    *why_not = "the kit is not on the drive of the Windows folder, the only drive where "
               "Windows keeps VirtualStore copies: unzip it on drive " +
               Narrow(std::wstring(1, windows[0])) + ":";
    return std::wstring();
  }
  return std::wstring(local) + L"\\VirtualStore" + folder.substr(2);
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine's own setting of the Windows version one program sees, by the program's file name.
const wchar_t kWineAppKey[] = L"Software\\Wine\\AppDefaults\\hvsetup.exe";

std::string SetWineVersion(const wchar_t* version) {
  HKEY key = nullptr;
  LONG error = RegCreateKeyExW(HKEY_CURRENT_USER, kWineAppKey, 0, nullptr, 0, KEY_SET_VALUE,
                               nullptr, &key, nullptr);
  if (error == ERROR_SUCCESS) {
    error = RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                           static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  return error == ERROR_SUCCESS ? std::string() : "error " + std::to_string(error);
}

// --- The running program ---------------------------------------------------------------

struct Found {
  DWORD process_id;
  const wchar_t* caption;
  HWND window;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lparam) {
  auto* found = reinterpret_cast<Found*>(lparam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t caption[128] = L"";
  if (owner == found->process_id && IsWindowVisible(window) &&
      GetWindowTextW(window, caption, 128) > 0 && std::wstring(caption) == found->caption) {
    found->window = window;
    return FALSE;
  }
  return TRUE;
}

class Program {
 public:
  ~Program() {
    if (process_.hProcess != nullptr) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 99);
      }
      CloseHandle(process_.hThread);
      CloseHandle(process_.hProcess);
    }
  }

  // Empty once the program runs; otherwise why it did not start.
  std::string Start(const std::wstring& exe, const std::wstring& started_in) {
    std::wstring command = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        started_in.c_str(), &startup, &process_)) {
      return "CreateProcessW failed, error " + std::to_string(GetLastError());
    }
    return std::string();
  }

  // Empty once the dialog is up; otherwise what happened instead.
  std::string WaitDialog() {
    dialog_ = WaitWindow(kCaption, 30000);
    if (dialog_ == nullptr) {
      DWORD code = 0;
      if (Running()) return "no Options dialog within 30 s";
      GetExitCodeProcess(process_.hProcess, &code);
      return "the program ended with exit code " + std::to_string(code) +
             " before its dialog appeared";
    }
    // Wine activates a new window a moment after showing it, once X has given it the focus,
    // and the dialog manager then puts the focus back on the control it chose first: a click
    // made before that would be undone. Windows may never bring a program started from the
    // background to the front, and nothing here needs it to, so this waits 3 s at most.
    for (int waited = 0; GetForegroundWindow() != dialog_ && waited < 3000; waited += 50) {
      Sleep(50);
    }
    Settle(0);
    return std::string();
  }

  HWND WaitWindow(const wchar_t* caption, DWORD milliseconds) {
    for (DWORD waited = 0; waited < milliseconds; waited += 50) {
      Found found = {process_.dwProcessId, caption, nullptr};
      EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&found));
      if (found.window != nullptr) return found.window;
      if (WaitForSingleObject(process_.hProcess, 50) != WAIT_TIMEOUT) return nullptr;
    }
    return nullptr;
  }

  // Gives the program time to handle the last `posted` messages: a thread answers what was
  // sent to it each time it asks for its next message, so each answer to a sent message
  // mostly follows one more posted message handled. The checks that matter wait for their
  // effect besides, since a thread may also answer while it looks ahead in its queue.
  void Settle(int posted) {
    for (int i = 0; i < posted + 2; ++i) {
      DWORD_PTR result = 0;
      if (!SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) return;
    }
  }

  HWND Control(int id) const { return GetDlgItem(dialog_, id); }

  // Answers the box captioned `caption`: a click on its button `button`, or with 0 Enter
  // where its focus is (the button the box chose as its default).
  std::string Answer(const char* caption, int button) {
    const std::wstring wide(caption, caption + std::strlen(caption));
    HWND box = WaitWindow(wide.c_str(), 10000);
    if (box == nullptr) return std::string("no box \"") + caption + "\"";
    if (button != 0) {
      Click(GetDlgItem(box, button));
    } else {
      HWND focus = Focus();
      Key(focus != nullptr && IsChild(box, focus) ? focus : box, VK_RETURN);
    }
    for (int waited = 0; IsWindow(box) && waited < 5000; waited += 50) Sleep(50);
    if (IsWindow(box)) return std::string("the box \"") + caption + "\" stayed";
    Settle(0);
    return std::string();
  }

  HWND Focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(process_.dwThreadId, &info) ? info.hwndFocus : nullptr;
  }

  // Waits until the focus is on `control`; the platform may report it a moment late.
  bool WaitFocus(HWND control, DWORD milliseconds) const {
    for (DWORD waited = 0; Focus() != control && waited < milliseconds; waited += 20) Sleep(20);
    return Focus() == control;
  }

  // Where a key goes: the focused control, or the dialog itself when the platform cannot
  // say (Enter, Escape and Tab reach the dialog manager either way).
  HWND KeyTarget() const {
    HWND focus = Focus();
    return focus != nullptr && IsChild(dialog_, focus) ? focus : dialog_;
  }

  void Click(HWND control) {
    RECT r;
    GetClientRect(control, &r);
    const LPARAM middle = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessageW(control, WM_LBUTTONUP, 0, middle);
    Settle(2);
  }

  void Key(HWND target, WPARAM key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    Settle(2);
  }

  void Type(int id, const char* text) {
    HWND field = Control(id);
    Click(field);
    WaitFocus(field, 2000);
    Key(field, VK_END);
    const int length = static_cast<int>(SendMessageW(field, WM_GETTEXTLENGTH, 0, 0));
    for (int i = 0; i < length; ++i) PostMessageW(field, WM_CHAR, VK_BACK, 1);
    for (const char* c = text; *c != '\0'; ++c) PostMessageW(field, WM_CHAR, *c, 1);
    Settle(length + static_cast<int>(std::strlen(text)));
  }

  bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

  // The exit code, or -1 when the program has not ended within 20 seconds.
  int ExitCode() {
    DWORD code = 0;
    if (WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) return -1;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<int>(code);
  }

  HWND dialog() const { return dialog_; }

 private:
  PROCESS_INFORMATION process_ = {};
  HWND dialog_ = nullptr;
};

// --- The rows --------------------------------------------------------------------------

class ProgramRow : public testing::TestWithParam<Row> {};

// What a row stages outside its own work folder, removed whatever the row's outcome: the
// user's profile keeps nothing of the kit.
struct Staged {
  std::wstring store_root;  // %LOCALAPPDATA%\VirtualStore\ when a copy was staged below it
  std::wstring store;       // the copy's folder
  bool wine_version = false;
  ~Staged() {
    if (!store.empty()) {
      RemoveTree(store);
      // Its parents up to VirtualStore itself, as far as they are empty (the rest is not ours).
      for (std::wstring f = store; f.size() > store_root.size();) {
        f = FolderOf(f.substr(0, f.size() - 1));
        if (!RemoveDirectoryW(f.c_str())) break;
      }
    }
    if (wine_version) RegDeleteKeyW(HKEY_CURRENT_USER, kWineAppKey);
  }
};

TEST_P(ProgramRow, Behaves) {
  const Row& row = GetParam();
  const std::wstring name(row.name, row.name + std::strlen(row.name));
  std::wstring all_work = OwnFolder() + L"work\\";
  std::wstring program_folder = ProgramFolderName();
  if (row.place == kTemporary) {
    all_work = TemporaryFolder() + L"hvsetup kit\\";
    program_folder = L"Temp1_hvsetup-tests.zip";
  }
  CreateDirectoryW(all_work.c_str(), nullptr);  // there already after an earlier row
  const std::wstring work = all_work + name + L"\\";
  RemoveTree(work);
  const std::wstring folder = work + program_folder + L"\\";
  const std::wstring started_in = work + L"elsewhere\\";
  for (const std::wstring& f : {work, folder, started_in}) {
    ASSERT_TRUE(CreateDirectoryW(f.c_str(), nullptr))
        << "CreateDirectoryW failed for " << Narrow(f) << ", error " << GetLastError();
  }
  const std::wstring exe = folder + L"hvsetup.exe";
  ASSERT_TRUE(CopyFileW(program.c_str(), exe.c_str(), FALSE))
      << "CopyFileW of the program to test failed, error " << GetLastError();
  // A settings file in the folder the program is started from, which it must not touch.
  const std::string decoy = "[Options]\r\nSocket=999\r\n";
  ASSERT_TRUE(WriteFileBytes(started_in + L"halvern.ini", decoy));

  // The file the program is expected to use, and the one it must leave alone.
  std::wstring ini = folder + L"halvern.ini";
  std::wstring other_ini;
  Staged staged;
  if (row.place == kStoreCopyUsed || row.place == kStoreCopyIgnored) {
    const DWORD major = LOBYTE(LOWORD(GetVersion()));
    if (row.place == kStoreCopyUsed && major < 6) {
      GTEST_SKIP() << "Windows before Vista keeps no VirtualStore copies";
    }
    if (row.place == kStoreCopyIgnored && major >= 6) {
      if (!UnderWine()) {
        GTEST_SKIP() << "only Wine can show hvsetup an older Windows than the one it runs on; "
                        "this row runs on Windows 95 to XP, and under Wine as Windows 98";
      }
      staged.wine_version = true;
      ASSERT_EQ(SetWineVersion(L"win98"), "") << "setting Wine's Windows version for hvsetup";
    }
    std::string why_not;
    const std::wstring store = StoreFolder(folder, &why_not);
    if (store.empty()) GTEST_SKIP() << why_not;
    staged.store_root = store.substr(0, store.find(L"\\VirtualStore\\") + 14);
    staged.store = store;
    ASSERT_EQ(CreateFolders(store), "") << "staging the VirtualStore copy";
    const std::wstring copy = store + L"halvern.ini";
    other_ini = folder + L"halvern.ini";
    if (row.place == kStoreCopyUsed) {
      ini = copy;
    } else {
      other_ini = copy;
    }
  }
  const std::string other = row.other != nullptr ? row.other : "";
  if (!other_ini.empty()) ASSERT_TRUE(WriteFileBytes(other_ini, other));
  std::string before;
  if (row.before != nullptr) {
    before = row.before;
    ASSERT_TRUE(WriteFileBytes(ini, before));
  }
  HANDLE held = INVALID_HANDLE_VALUE;
  if (row.state == kReadOnly) {
    ASSERT_TRUE(SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE probe = CreateFileW(ini.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
      CloseHandle(probe);
      SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
      RemoveTree(work);
      GTEST_SKIP() << "this user may write a read-only file (as root under Wine), so no "
                      "platform call refuses the save";
    }
  } else if (row.state == kHeldOpen) {
    // Another program has it open for reading and lets nobody write meanwhile.
    held = CreateFileW(ini.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                       nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
  }

  Program run;
  ASSERT_EQ(run.Start(exe, started_in), "") << "starting the program";
  // Rows that answer a box first wait for the dialog after it.
  if (row.steps.empty() || row.steps[0].verb != kAnswer) {
    ASSERT_EQ(run.WaitDialog(), "") << "waiting for the Options dialog";
  }
  for (const Step& step : row.steps) {
    SCOPED_TRACE(testing::Message() << "step " << (&step - row.steps.data()) + 1);
    switch (step.verb) {
      case kClick:
        run.Click(run.Control(step.id));
        break;
      case kType:
        run.Type(step.id, step.text);
        break;
      case kKey:
        run.Key(run.KeyTarget(), static_cast<WPARAM>(step.id));
        break;
      case kCloseBox:
        PostMessageW(run.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      case kAnswer:
        ASSERT_EQ(run.Answer(step.text, step.id), "");
        break;
      case kDialogOpens:
        ASSERT_EQ(run.WaitDialog(), "");
        break;
      case kShows: {
        // WM_GETTEXT itself: GetWindowTextW does not ask a control of another process.
        wchar_t text[256] = L"";
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(run.Control(step.id), WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text),
                            SMTO_NORMAL, 5000, &copied);
        EXPECT_EQ(Narrow(text), step.text) << "control " << step.id;
        break;
      }
      case kFocusIs:
        EXPECT_TRUE(run.WaitFocus(run.Control(step.id), 5000))
            << "the focus is on control " << GetDlgCtrlID(run.Focus()) << ", not " << step.id;
        break;
      case kUnchanged: {
        ASSERT_TRUE(run.Running()) << "the program ended";
        EXPECT_TRUE(IsWindowVisible(run.dialog()));
        std::string now;
        EXPECT_EQ(ReadFileBytes(ini, &now), row.before != nullptr);
        EXPECT_EQ(now, before);
        break;
      }
      case kLetGo:
        SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
        break;
    }
  }
  EXPECT_EQ(run.ExitCode(), 0);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

  std::string after;
  const bool exists = ReadFileBytes(ini, &after);
  switch (row.outcome) {
    case kExactly:
      EXPECT_EQ(Lines(after), row.after);
      break;
    case kWithLines: {
      const std::vector<std::string> lines = Lines(after);
      for (const std::string& line : row.after) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line;
      }
      break;
    }
    case kAsBefore:
      EXPECT_EQ(exists, row.before != nullptr);
      EXPECT_EQ(after, before) << "the file changed";
      break;
  }
  std::string decoy_now;
  EXPECT_TRUE(ReadFileBytes(started_in + L"halvern.ini", &decoy_now));
  EXPECT_EQ(decoy_now, decoy) << "the settings file in the start folder changed";
  if (!other_ini.empty()) {
    std::string other_now;
    EXPECT_TRUE(ReadFileBytes(other_ini, &other_now));
    EXPECT_EQ(other_now, other) << Narrow(other_ini) << " changed";
  }
  if (!HasFailure()) {
    RemoveTree(work);
    if (row.place == kTemporary) RemoveDirectoryW(all_work.c_str());  // when no other row's
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ProgramRow, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  program = OwnFolder() + L"hvsetup.exe";
  if (argc > 1) {
    const std::string given = argv[1];
    program.assign(given.begin(), given.end());  // a path of ASCII characters
  }
  const int result = RUN_ALL_TESTS();
  hvtest::WaitForThreadsToStart();
  return result;
}
