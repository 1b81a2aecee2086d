// Scratch folders for the in-process tests, named in ANSI as the program names its own files,
// and the shared helpers for them, which add a test failure naming the call that failed and
// the platform's error.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/expected_texts.h"
#include "support/windows_support.h"

namespace hvtest {

// The system's text for an error, in ANSI as the program shows it, without its line ending.
std::string SystemText(DWORD error);

// A new empty folder under the temporary folder, with a trailing backslash; empty on failure.
std::string MakeScratchFolder(const char* tag);

// The shared file helpers for ANSI names.
void RemoveTree(const std::string& folder);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// Empty when the file cannot be read.
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);

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
