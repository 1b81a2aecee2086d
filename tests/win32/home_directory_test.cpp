// SetupHomeDirectory under a real module path: the settings file lands beside the program
// and the program's folder becomes current, whatever folder it was started from.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cwctype>
#include <string>
#include <vector>

#include "shell/home_directory.h"
#include "test_support.h"

namespace {

std::string ProbeValue(const std::string& ini, const char* key) {
  char value[512];
  GetPrivateProfileStringA("Options", key, "<missing>", value, sizeof value, ini.c_str());
  return value;
}

// Copies the probe program into `folder` as `exe_name` and runs it from `started_in`, or
// from a scratch working folder when that is empty. The test programs' own folder is named
// by its wide name: the kit may sit where the ANSI code page cannot spell it.
void ExpectSettingsBesideProgramIn(const std::string& folder, std::wstring started_in = L"",
                                   const std::string& exe_name = "probe.exe") {
  const std::string scratch = started_in.empty() ? hvtest::MakeScratchFolder("cwd") : "";
  if (!scratch.empty()) started_in = hvtest::WideFromAnsi(scratch);
  const std::wstring probe = hvtest::FolderOfThisProgram() + L"" HV_HOME_PROBE_EXE;
  const std::wstring exe = hvtest::WideFromAnsi(folder + exe_name);
  ASSERT_TRUE(CopyFileW(probe.c_str(), exe.c_str(), FALSE))
      << "CopyFileW(" << probe << ", " << exe << ") failed, "
      << hvtest::ErrorText(GetLastError());
  std::string why;
  EXPECT_EQ(hvtest::RunProgram(exe, L"/x", started_in, &why), 0) << why;

  const std::string ini = folder + "halvern.ini";
  EXPECT_TRUE(hvtest::FileExists(ini));
  EXPECT_EQ(ProbeValue(ini, "Home"), folder);
  // The current folder is the program's, without its trailing backslash.
  EXPECT_EQ(ProbeValue(ini, "Current"), folder.substr(0, folder.size() - 1));
  EXPECT_EQ(GetFileAttributesW((started_in + L"halvern.ini").c_str()), INVALID_FILE_ATTRIBUTES);
  hvtest::RemoveTree(scratch);
}

TEST(SetupHomeDirectory, FindsTheFolderOfTheRunningProgram) {
  const std::string folder = hvtest::MakeScratchFolder("home");
  ExpectSettingsBesideProgramIn(folder);
  hvtest::RemoveTree(folder);
}

TEST(SetupHomeDirectory, SelectsTheProgramsDriveBeforeItsFolder) {
  // The folder carries no drive letter: started from another drive, it would be looked for
  // there unless the program's own drive is selected first.
  const std::string folder = hvtest::MakeScratchFolder("drive");
  const std::wstring started_in = hvtest::FolderOfThisProgram();
  if (std::toupper(static_cast<unsigned char>(folder[0])) == towupper(started_in[0])) {
    hvtest::RemoveTree(folder);
    // Under Wine the test programs live on Z: and the temporary folder on C:.
    GTEST_SKIP() << "needs the temporary folder (" << folder << ") and the test programs ("
                 << started_in << ") on two drives";
  }
  ExpectSettingsBesideProgramIn(folder, started_in);
  hvtest::RemoveTree(folder);
}

TEST(SetupHomeDirectory, KeepsTheWholeFolderOfALongPath) {
  // Far past 131 characters, still within MAX_PATH with the program's name.
  const std::string base = hvtest::MakeScratchFolder("long");
  std::string folder = base;
  while (folder.size() < 200) {
    folder += "nested-folder-name\\";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
  }
  ASSERT_LT(folder.size() + sizeof "probe.exe", static_cast<std::size_t>(MAX_PATH));
  ExpectSettingsBesideProgramIn(folder);
  // Nothing may be written into a parent folder instead.
  EXPECT_FALSE(hvtest::FileExists(base + "halvern.ini"));
  hvtest::RemoveTree(base);
}

// A stand-in system whose ANSI code page is Latin-1 (every byte the character of that
// number): any other character becomes '?', as Windows does for one the code page lacks. It reports `FakeWidePath` as the
// program's path and `FakeShortPath` as its short form (null: the call fails).
const wchar_t* FakeWidePath = nullptr;
const wchar_t* FakeShortPath = nullptr;

DWORD WINAPI FakeModuleFileName(HMODULE, LPWSTR path, DWORD capacity) {
  return lstrlenW(lstrcpynW(path, FakeWidePath, static_cast<int>(capacity)));
}

DWORD WINAPI FakeShortPathName(LPCWSTR, LPWSTR path, DWORD capacity) {
  if (FakeShortPath == nullptr) return 0;
  return lstrlenW(lstrcpynW(path, FakeShortPath, static_cast<int>(capacity)));
}

int WINAPI Latin1FromWide(UINT, DWORD, LPCWSTR wide, int, LPSTR ansi, int capacity, LPCSTR,
                          LPBOOL) {
  int i = 0;
  for (; i < capacity; ++i) {
    ansi[i] = wide[i] < 0x100 ? static_cast<char>(wide[i]) : '?';
    if (wide[i] == 0) return i + 1;
  }
  return 0;
}

int WINAPI WideFromLatin1(UINT, DWORD, LPCSTR ansi, int, LPWSTR wide, int capacity) {
  int i = 0;
  for (; i < capacity; ++i) {
    wide[i] = static_cast<unsigned char>(ansi[i]);
    if (ansi[i] == '\0') return i + 1;
  }
  return 0;
}

// A scratch folder's ANSI name may hold any bytes (the temporary folder can be anywhere); in
// the stand-in's Latin-1 each byte is the character of that number.
std::wstring Widen(const std::string& ansi) {
  std::wstring wide;
  for (char c : ansi) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

std::string CurrentFolder() {
  char current[MAX_PATH + 1];
  return GetCurrentDirectoryA(sizeof current, current) < sizeof current ? current : "";
}

// This program's folder as the ANSI calls give it; empty when its path is too long to be
// read whole.
std::string AnsiFolderOfThisProgram() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  const std::string own(path, n < sizeof path ? n : 0);
  return own.substr(0, own.find_last_of('\\') + 1);
}

TEST(SetupHomeDirectory, FindsAFolderNamedOutsideTheCodePageByItsShortNameOrNotAtAll) {
  // The stand-in replaces the wide calls only; the ANSI path is this program's own. The
  // test starts from a scratch folder: the kit's may be one the ANSI calls cannot name.
  wchar_t kit_current[MAX_PATH + 1];
  ASSERT_NE(GetCurrentDirectoryW(MAX_PATH + 1, kit_current), 0u);
  const std::string own = AnsiFolderOfThisProgram();
  const std::string cwd = hvtest::MakeScratchFolder("cwd");
  const std::string started_in = cwd.substr(0, cwd.size() - 1);
  const std::string short_folder = hvtest::MakeScratchFolder("short");
  const std::wstring lost = Widen(own) + L"\u0418\u0433\u0440\u044B\\hv.exe";  // "Игры"
  const std::wstring short_path = Widen(short_folder) + L"hv.exe";
  struct Row {
    const char* what;
    std::wstring wide_path;
    const wchar_t* short_path;
    std::string prefix;  // empty: the current folder stays as it was
  };
  const Row rows[] = {
      {"converts without loss", Widen(own) + L"hv.exe", nullptr, own},
      {"lost characters, short name", lost, short_path.c_str(), short_folder},
      {"lost characters, no short names on the volume", lost, lost.c_str(), ""},
      {"lost characters, short name cannot be had", lost, nullptr, ""},
  };
  // The first row needs a folder the ANSI calls can name: one this code page spells.
  const DWORD own_is = own.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(own.c_str());
  const bool own_named = own_is != INVALID_FILE_ATTRIBUTES && (own_is & FILE_ATTRIBUTE_DIRECTORY);
  for (const Row& row : rows) {
    if (row.prefix == own && !own_named) continue;
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(SetCurrentDirectoryA(started_in.c_str()))
        << started_in << ": " << hvtest::ErrorText(GetLastError());
    FakeWidePath = row.wide_path.c_str();
    FakeShortPath = row.short_path;
    SetupHomeDirectoryWith(GetModuleHandleA(nullptr), {FakeModuleFileName, FakeShortPathName,
                                                       Latin1FromWide, WideFromLatin1, nullptr});
    if (row.prefix.empty()) {
      EXPECT_STREQ(HomePrefix, ".\\");
      EXPECT_EQ(CurrentFolder(), started_in);
    } else {
      EXPECT_EQ(HomePrefix, row.prefix);
      EXPECT_EQ(CurrentFolder() + "\\", row.prefix);
    }
  }
  SetCurrentDirectoryW(kit_current);
  hvtest::RemoveTree(cwd);
  hvtest::RemoveTree(short_folder);
  if (!own_named) {
    GTEST_SKIP() << "the other rows passed; \"converts without loss\" needs the test programs "
                    "in a folder that ANSI code page "
                 << GetACP() << " can spell, and it gives their folder as \"" << own << "\"";
  }
}

TEST(SetupHomeDirectory, WithoutTheWideCallsTrustsTheAnsiPathUnlessItShowsALoss) {
  // Windows 95 and Win32s: none of the calls exist. This program's ANSI path shows a loss
  // where the kit's folder holds a letter the code page lacks ('?') or is too long to be
  // read whole; then the folder it was started from stays.
  const std::string own = AnsiFolderOfThisProgram();
  const bool lost = own.empty() || own.find('?') != std::string::npos;
  SetupHomeDirectoryWith(GetModuleHandleA(nullptr),
                         {nullptr, nullptr, nullptr, nullptr, nullptr});
  EXPECT_EQ(HomePrefix, lost ? ".\\" : own);
}

// The names of the files in `folder` that end in ".ini".
std::vector<std::string> IniFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*.ini").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.push_back(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

// In Japanese and Chinese code pages the second byte of a character can be a backslash;
// a program named with one must still find the file beside it, not one named after the
// front of its own name. Run under each such code page (the test command sets the locale
// and names the code page it expects in HV_EXPECTED_CODE_PAGE).
TEST(SetupHomeDirectory, FindsItsFolderWhenASecondByteIsABackslash) {
  struct Row {
    UINT code_page;
    const char* folder;
    const char* exe;
  };
  const Row rows[] = {
      // ゲーム表 (表 is 95 5C), 表示設定.exe
      {932, "\x83\x51\x81\x5B\x83\x80\x95\x5C", "\x95\x5C\x8E\xA6\x90\xDD\x92\xE8.exe"},
      // 饅頭 (饅 is E9 5C: a lead byte from 932's second range, E0 to FC), 饅設定.exe
      {932, "\xE9\x5C\x93\xAA", "\xE9\x5C\x90\xDD\x92\xE8.exe"},
      // 游戏 乗 (乗 is 81 5C), 乗客设置.exe
      {936, "\xD3\xCE\xCF\xB7 \x81\x5C", "\x81\x5C\xBF\xCD\xC9\xE8\xD6\xC3.exe"},
      // 遊戲功 (功 is A5 5C), 功能設定.exe
      {950, "\xB9\x43\xC0\xB8\xA5\x5C", "\xA5\x5C\xAF\xE0\xB3\x5D\xA9\x77.exe"},
  };
  const UINT code_page = GetACP();
  const char* expected = std::getenv("HV_EXPECTED_CODE_PAGE");
  if (expected != nullptr) {
    ASSERT_EQ(code_page, std::strtoul(expected, nullptr, 10))
        << "Wine did not take the ANSI code page from the locale";
  }
  int tried = 0;
  for (const Row& row : rows) {
    if (row.code_page != code_page) continue;
    ++tried;
    SCOPED_TRACE(row.exe);
    const std::string base = hvtest::MakeScratchFolder("dbcs");
    const std::string folder = base + row.folder + "\\";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    ExpectSettingsBesideProgramIn(folder, L"", row.exe);
    EXPECT_EQ(IniFilesIn(folder), std::vector<std::string>{"halvern.ini"});
    EXPECT_EQ(IniFilesIn(base), std::vector<std::string>{});
    hvtest::RemoveTree(base);
  }
  if (tried == 0) {
    GTEST_SKIP() << "the ANSI code page " << code_page
                 << " has no character whose second byte is a backslash";
  }
}

}  // namespace
