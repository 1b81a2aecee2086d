// Helpers for the in-process tests under Wine; plain Win32 so they behave as the program's
// own calls do.
#include "test_support.h"

#include "shell/bounded_text.h"
#include "shell/home_directory.h"

namespace hvtest {

std::string SystemText(DWORD error) {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, sizeof text, nullptr);
  std::string said = text;
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) {
    said.pop_back();
  }
  return said;
}

std::string MakeScratchFolder(const char* tag) {
  static unsigned counter = 0;
  char temp[MAX_PATH];
  if (GetTempPathA(sizeof temp, temp) == 0) {
    ADD_FAILURE() << "MakeScratchFolder: " << Failed("GetTempPathA");
    return std::string();
  }
  for (;;) {
    std::string folder = std::string(temp) + "hvtest-" + tag + "-" +
                         std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      ADD_FAILURE() << "MakeScratchFolder: " << Failed("CreateDirectoryA(" + folder + ")");
      return std::string();
    }
  }
}

void RemoveTree(const std::string& folder) { RemoveTree(WideFromAnsi(folder)); }

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  const std::string why = WriteWholeFile(WideFromAnsi(path), bytes);
  if (!why.empty()) ADD_FAILURE() << "WriteWholeFile: " << why;
  return why.empty();
}

std::string ReadWholeFile(const std::string& path) {
  std::string bytes;
  ReadWholeFile(WideFromAnsi(path), &bytes);
  return bytes;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void ScratchHomeTest::SetUp() {
  folder_ = MakeScratchFolder(tag_);
  ASSERT_FALSE(folder_.empty());
  ASSERT_EQ(CopyText(HomePrefix, sizeof HomePrefix, folder_.c_str()), 1);
  ini_ = folder_ + "halvern.ini";
}

void ScratchHomeTest::TearDown() { RemoveTree(folder_); }

}  // namespace hvtest
