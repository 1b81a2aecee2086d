// Scratch folders and whole-file reads and writes for the tests that run under Wine.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace hvtest {

// "error N (the system's text)" for a GetLastError or registry result, in UTF-8.
std::string ErrorText(DWORD error);
// The system's text alone, in ANSI as the program shows it, without its line ending.
std::string SystemText(DWORD error);

// The helpers below that can fail add a test failure naming the call that failed and the
// platform's error, so a failure in a CI log explains itself.

// A new empty folder under the temporary folder, with a trailing backslash; empty on failure.
std::string MakeScratchFolder(const char* tag);
void RemoveTree(const std::string& folder);

bool WriteWholeFile(const std::string& path, const std::string& bytes);
// Empty when the file cannot be read.
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
// The file's lines, split at CR, LF or CRLF; empty lines kept.
std::vector<std::string> SplitLines(const std::string& text);

// The ANSI text in UTF-16, as the system converts it.
std::wstring WideFromAnsi(const std::string& ansi);

// The test programs' folder by its wide name: the kit may be unzipped into a folder whose
// name the ANSI code page cannot spell.
std::wstring FolderOfThisProgram();

// Runs `exe` with the given working folder (empty: this one's) and waits; returns the exit
// code, or -1 when it could not be started or waited for (the failure says which).
int RunProgram(const std::wstring& exe, const std::string& arguments,
               const std::wstring& folder);

// A fixture whose tests run with a fresh, empty folder as the program's own: HomePrefix
// points at it, so the settings file is `ini_` there.
class ScratchHomeTest : public testing::Test {
 protected:
  explicit ScratchHomeTest(const char* tag) : tag_(tag) {}
  void SetUp() override;
  void TearDown() override;

  std::string folder_;
  std::string ini_;

 private:
  const char* tag_;
};

}  // namespace hvtest
