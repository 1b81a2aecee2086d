// Plain Win32 by wide names, so a helper behaves alike wherever the kit is unzipped.
#include "support/windows_support.h"

#include <cwchar>

#include "support/expected_texts.h"

namespace hvtest {

namespace {

std::string WithoutLineEnd(std::string said) {
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) {
    said.pop_back();
  }
  return said;
}

const wchar_t kWineAppDefaults[] = L"Software\\Wine\\AppDefaults\\";

}  // namespace

std::string Utf8(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], n, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(n - 1));
  return utf8;
}

std::wstring WideFromAnsi(const std::string& ansi) {
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], n) != n) return std::wstring();
  wide.resize(static_cast<std::size_t>(n - 1));
  return wide;
}

std::string ErrorText(DWORD error) {
  wchar_t text[512] = L"";
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, 512, nullptr);
  const std::string plain = WithoutLineEnd(Utf8(text));
  return "error " + std::to_string(error) + (plain.empty() ? "" : " (" + plain + ")");
}

std::string Failed(const std::string& call) {
  return call + " failed, " + ErrorText(GetLastError());
}

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring FolderOfThisProgram() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? FolderOf(std::wstring(path, n)) : std::wstring();
}

std::string ReadWholeFile(const std::wstring& path, std::string* bytes) {
  bytes->clear();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed("CreateFileW(" + Utf8(path) + ")");
  char chunk[4096];
  DWORD got = 0;
  BOOL read = TRUE;
  while ((read = ReadFile(file, chunk, sizeof chunk, &got, nullptr)) && got > 0) {
    bytes->append(chunk, got);
  }
  const std::string why = read ? std::string() : Failed("ReadFile(" + Utf8(path) + ")");
  CloseHandle(file);
  return why;
}

std::string WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed("CreateFileW(" + Utf8(path) + ")");
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr);
  std::string why;
  if (!ok || written != bytes.size()) {
    why = Failed("WriteFile(" + Utf8(path) + ") of " + std::to_string(bytes.size()) +
                 " bytes (" + std::to_string(written) + " written)");
  }
  CloseHandle(file);
  return why;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c != '\r' && c != '\n') {
      line += c;
    } else if (!line.empty()) {
      lines.push_back(line);
      line.clear();
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

unsigned long long FileIndex(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info = {};
  const BOOL got = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  return got ? (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow
             : 0;
}

std::string CreateFolders(const std::wstring& folder) {
  for (std::size_t end = folder.find(L'\\', 3); end != std::wstring::npos;
       end = folder.find(L'\\', end + 1)) {
    const std::wstring part = folder.substr(0, end);
    if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return Failed("CreateDirectoryW(" + Utf8(part) + ")");
    }
  }
  return std::string();
}

void RemoveTree(const std::wstring& folder) {
  if (folder.empty()) return;
  const std::wstring base = folder.back() == L'\\' ? folder : folder + L"\\";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((base + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = base + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(base.substr(0, base.size() - 1).c_str());
}

const char* WineVersion() {
  using VersionCall = const char*(CDECL*)();
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto version = reinterpret_cast<VersionCall>(reinterpret_cast<void (*)()>(
      ntdll != nullptr ? GetProcAddress(ntdll, "wine_get_version") : nullptr));
  return version != nullptr ? version() : nullptr;
}

std::string PretendWindowsVersion(const wchar_t* exe_name, const wchar_t* wine_version,
                                  const wchar_t* compat_layer) {
  if (!UnderWine()) {
    if (*compat_layer == L'\0') return StopPretending(exe_name);
    return SetEnvironmentVariableW(L"__COMPAT_LAYER", compat_layer)
               ? std::string()
               : Failed("SetEnvironmentVariableW(__COMPAT_LAYER)");
  }
  const std::wstring key = std::wstring(kWineAppDefaults) + exe_name;
  HKEY app = nullptr;
  LONG error = RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                               nullptr, &app, nullptr);
  if (error == ERROR_SUCCESS) {
    error = RegSetValueExW(app, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(wine_version),
                           static_cast<DWORD>((wcslen(wine_version) + 1) * sizeof(wchar_t)));
    RegCloseKey(app);
  }
  if (error == ERROR_SUCCESS) return std::string();
  return "setting HKCU\\" + Utf8(key) + " Version failed, " +
         ErrorText(static_cast<DWORD>(error));
}

std::string StopPretending(const wchar_t* exe_name) {
  if (!UnderWine()) {
    SetEnvironmentVariableW(L"__COMPAT_LAYER", nullptr);
    return std::string();
  }
  const std::wstring key = std::wstring(kWineAppDefaults) + exe_name;
  const LONG error = RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
  if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND) return std::string();
  return "RegDeleteKeyW(HKCU\\" + Utf8(key) + ") failed, " + ErrorText(static_cast<DWORD>(error));
}

std::string StartProgram(const std::wstring& exe, const std::wstring& arguments,
                         const std::wstring& folder, HANDLE output, PROCESS_INFORMATION* started) {
  std::wstring command = L"\"" + exe + L"\"";
  if (!arguments.empty()) command += L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (output != nullptr) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  *started = PROCESS_INFORMATION{};
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, output != nullptr, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, started)) {
    return Failed("CreateProcessW(" + Utf8(exe) + ")");
  }
  return std::string();
}

int ExitCodeWithin(HANDLE process, DWORD milliseconds) {
  DWORD code = 0;
  if (WaitForSingleObject(process, milliseconds) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process, &code)) {
    return -1;
  }
  return static_cast<int>(code);
}

std::string ControlText(HWND control) {
  wchar_t text[1024] = L"";
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                      5000, &copied);
  return Utf8(text);
}

namespace {

struct Shown {
  DWORD process_id;
  std::string seen;
};

BOOL CALLBACK DescribeWindow(HWND window, LPARAM lparam) {
  auto* shown = reinterpret_cast<Shown*>(lparam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != shown->process_id || !IsWindowVisible(window)) return TRUE;
  // The caption as the system keeps it: asking the window may wait on a busy program.
  wchar_t caption[128] = L"";
  GetWindowTextW(window, caption, 128);
  const std::string name = Utf8(caption);
  shown->seen += " \"" + name + "\"";
  // A message box's text is its control 0xFFFF, on every Windows; in the Options dialog that
  // is a label.
  const HWND text = GetDlgItem(window, 0xFFFF);
  if (text != nullptr && name != kOptionsCaption) shown->seen += ": " + ControlText(text);
  return TRUE;
}

unsigned long long Ticks(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::string WindowsOfProcess(DWORD process_id) {
  Shown shown = {process_id, ""};
  EnumWindows(DescribeWindow, reinterpret_cast<LPARAM>(&shown));
  return shown.seen.empty() ? " no window" : shown.seen;
}

std::string RanSince(HANDLE process, const FILETIME& since) {
  FILETIME created, exited, kernel, user;
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0 &&
                     GetProcessTimes(process, &created, &exited, &kernel, &user);
  if (!ended) GetSystemTimeAsFileTime(&exited);
  const long long ms =
      (static_cast<long long>(Ticks(exited)) - static_cast<long long>(Ticks(since))) / 10000;
  return std::string(ended ? "ended " : "still runs ") + std::to_string(ms) + " ms after";
}

int RunProgram(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder,
               std::string* why) {
  PROCESS_INFORMATION process;
  *why = StartProgram(exe, arguments, folder, nullptr, &process);
  if (!why->empty()) return -1;
  const int code = ExitCodeWithin(process.hProcess, 30000);
  if (code == -1) {
    *why = Utf8(exe) + " had not ended within 30 s (or its exit code could not be read), showing" +
           WindowsOfProcess(process.dwProcessId) + "; ended it";
    TerminateProcess(process.hProcess, 99);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

}  // namespace hvtest
