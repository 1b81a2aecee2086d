// Helpers for tests under Wine; plain Win32 so they behave as the program's own calls do.
#include "test_support.h"

#include "shell/bounded_text.h"
#include "shell/home_directory.h"

namespace hvtest {

namespace {

std::string WithoutLineEnd(std::string said) {
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) {
    said.pop_back();
  }
  return said;
}

}  // namespace

std::string SystemText(DWORD error) {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, sizeof text, nullptr);
  return WithoutLineEnd(text);
}

std::string ErrorText(DWORD error) {
  // In UTF-8, as GoogleTest prints the wide paths it often follows: the line reads as one.
  wchar_t text[512] = L"";
  char said[1024] = "";
  if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                     0, text, 512, nullptr) > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text, -1, said, sizeof said, nullptr, nullptr);
  }
  const std::string plain = WithoutLineEnd(said);
  return "error " + std::to_string(error) + (plain.empty() ? "" : " (" + plain + ")");
}

std::string MakeScratchFolder(const char* tag) {
  static unsigned counter = 0;
  char temp[MAX_PATH];
  if (GetTempPathA(sizeof temp, temp) == 0) {
    ADD_FAILURE() << "MakeScratchFolder: GetTempPathA failed, " << ErrorText(GetLastError());
    return std::string();
  }
  for (;;) {
    std::string folder = std::string(temp) + "hvtest-" + tag + "-" +
                         std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) {
      ADD_FAILURE() << "MakeScratchFolder: CreateDirectoryA(" << folder << ") failed, "
                    << ErrorText(error);
      return std::string();
    }
  }
}

void RemoveTree(const std::string& folder) {
  if (folder.empty()) return;
  std::string base = folder;
  if (base.back() != '\\') base += '\\';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((base + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = base + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(base.substr(0, base.size() - 1).c_str());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "WriteWholeFile: CreateFileA(" << path << ") failed, "
                  << ErrorText(GetLastError());
    return false;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok || written != bytes.size()) {
    ADD_FAILURE() << "WriteWholeFile: WriteFile(" << path << ") wrote " << written << " of "
                  << bytes.size() << " bytes, " << (ok ? "no error" : ErrorText(error));
    return false;
  }
  return true;
}

std::string ReadWholeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::wstring WideFromAnsi(const std::string& ansi) {
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? static_cast<std::size_t>(n) : 1, L'\0');
  if (n <= 0 || MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], n) != n) {
    ADD_FAILURE() << "WideFromAnsi(" << ansi << "): MultiByteToWideChar failed, "
                  << ErrorText(GetLastError());
  }
  wide.resize(wide.size() - 1);
  return wide;
}

std::wstring FolderOfThisProgram() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    ADD_FAILURE() << "FolderOfThisProgram: GetModuleFileNameW returned " << n << ", "
                  << ErrorText(GetLastError());
    return std::wstring();
  }
  const std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

int RunProgram(const std::wstring& exe, const std::string& arguments,
               const std::wstring& folder) {
  std::wstring command = L"\"" + exe + L"\" " + std::wstring(arguments.begin(), arguments.end());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    ADD_FAILURE() << "RunProgram: CreateProcessW(" << exe << ") failed, "
                  << ErrorText(GetLastError());
    return -1;
  }
  int result = -1;
  const DWORD waited = WaitForSingleObject(process.hProcess, 30000);
  DWORD code = 0;
  if (waited != WAIT_OBJECT_0) {
    ADD_FAILURE() << "RunProgram: " << exe << ": WaitForSingleObject returned " << waited
                  << (waited == WAIT_TIMEOUT ? " (still running after 30 s; ended it)"
                                             : ", " + ErrorText(GetLastError()));
    TerminateProcess(process.hProcess, 99);
  } else if (!GetExitCodeProcess(process.hProcess, &code)) {
    ADD_FAILURE() << "RunProgram: " << exe << ": GetExitCodeProcess failed, "
                  << ErrorText(GetLastError());
  } else {
    result = static_cast<int>(code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

void ScratchHomeTest::SetUp() {
  folder_ = MakeScratchFolder(tag_);
  ASSERT_FALSE(folder_.empty());
  ASSERT_EQ(CopyText(HomePrefix, sizeof HomePrefix, folder_.c_str()), 1);
  ini_ = folder_ + "halvern.ini";
}

void ScratchHomeTest::TearDown() { RemoveTree(folder_); }

}  // namespace hvtest
