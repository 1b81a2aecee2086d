// The test kit's runner: runs every test program beside it, writes what they print to
// run-tests.log beside itself, and ends with one line "N passed, N failed, N skipped". Its
// exit code is 1 when anything failed or could not run. Started by a double-click it waits
// for Enter before its window closes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/windows_support.h"

namespace {

using hvtest::Utf8;

// In the order they run: the portable logic, the program's parts in-process, then the
// whole program driven through its windows.
const wchar_t* const kSuites[] = {L"hv_unit_tests_win.exe", L"hv_win32_tests.exe",
                                  L"hv_program_rows.exe"};
constexpr DWORD kSuiteTimeout = 15 * 60 * 1000;

struct Counts {
  long passed = 0, failed = 0, skipped = 0;
};

// A test's finding that belongs on the kit's last lines, such as what the platform's own
// writer does to a file, is a line of its output starting so.
constexpr char kNoteStart[] = "kit note: ";

// The lines of `text` that start with kNoteStart, each ended by CR LF.
std::string NotesIn(const std::string& text) {
  std::string notes;
  for (std::size_t at = text.find(kNoteStart); at != std::string::npos;
       at = text.find(kNoteStart, at + 1)) {
    if (at != 0 && text[at - 1] != '\n') continue;
    const std::size_t end = text.find_first_of("\r\n", at);
    notes += text.substr(at, end == std::string::npos ? std::string::npos : end - at) + "\r\n";
  }
  return notes;
}

// Says `text` on the console and in the log.
void Say(HANDLE log, const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
  DWORD written = 0;
  WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// The number in GoogleTest's summary line for a tag, such as "[  PASSED  ] 12 tests.", or
// 0. The tag also heads the lines that list the tests, which hold no number.
long CountAfter(const std::string& output, const char* tag) {
  for (std::size_t at = output.rfind(tag); at != std::string::npos;
       at = at == 0 ? std::string::npos : output.rfind(tag, at - 1)) {
    const char* number = output.c_str() + at + std::strlen(tag);
    if (*number >= '0' && *number <= '9') return std::strtol(number, nullptr, 10);
  }
  return 0;
}

// Runs one suite with its output going into `output`; false when it could not start or did
// not end in time, and then `why` says which. `code` is its exit code.
bool RunSuite(const std::wstring& exe, const std::wstring& folder, std::string* output,
              DWORD* code, std::string* why) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
    *why = hvtest::Failed("CreatePipe");
    return false;
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  PROCESS_INFORMATION process;
  *why = hvtest::StartProgram(exe, L"", folder, write_end, &process);
  CloseHandle(write_end);
  if (!why->empty()) {
    CloseHandle(read_end);
    return false;
  }
  // Read until the suite ends, not until the pipe closes: a process it starts may keep the
  // pipe open longer (Wine's desktop process, started by the first window, does).
  bool ended = false;
  for (DWORD waited = 0; waited < kSuiteTimeout; waited += 100) {
    ended = WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0;
    DWORD available = 0;
    char chunk[4096];
    DWORD got = 0;
    while (PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
           ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) && got > 0) {
      output->append(chunk, got);
    }
    if (ended) break;
  }
  CloseHandle(read_end);
  if (!ended) {
    *why = "still running after 15 minutes; ended it";
    TerminateProcess(process.hProcess, 99);
  }
  if (!GetExitCodeProcess(process.hProcess, code) && ended) {
    *why = hvtest::Failed("GetExitCodeProcess");
    ended = false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ended;
}

// A suite's output, line by line: GoogleTest writes wide texts (paths by their wide names)
// in UTF-8, the system's messages and ANSI paths come in the ANSI code page. A line that is
// UTF-8 stays; any other is taken as ANSI (text in a code page is seldom valid UTF-8).
std::string Utf8FromOutput(const std::string& output) {
  std::string utf8;
  for (std::size_t start = 0; start < output.size();) {
    std::size_t end = output.find('\n', start);
    end = end == std::string::npos ? output.size() : end + 1;
    const std::string line = output.substr(start, end - start);
    const bool is_utf8 = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line.data(),
                                             static_cast<int>(line.size()), nullptr, 0) > 0;
    utf8 += is_utf8 ? line : Utf8(hvtest::WideFromAnsi(line));
    start = end;
  }
  return utf8;
}

// "Windows 10.0 build 19045, ANSI code page 932", and Wine's version under Wine. The
// version comes from RtlGetVersion where ntdll has it: GetVersionExW answers 6.2 on Windows
// 8.1 and later to a program that does not declare them.
std::string WhereItRuns() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  using VersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
  const auto rtl_version = reinterpret_cast<VersionCall>(reinterpret_cast<void (*)()>(
      ntdll != nullptr ? GetProcAddress(ntdll, "RtlGetVersion") : nullptr));
  if (rtl_version == nullptr || rtl_version(&version) != 0) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&version);
#pragma GCC diagnostic pop
  }
  char where[96];
  std::snprintf(where, sizeof where, "Windows %lu.%lu build %lu, ANSI code page %u",
                version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber, GetACP());
  return hvtest::UnderWine() ? "Wine " + std::string(hvtest::WineVersion()) + " as " + where
                            : std::string(where);
}

// A console of its own means the runner was started from Explorer, not a Command Prompt.
bool OwnsItsConsole() {
  using ListCall = DWORD(WINAPI*)(LPDWORD, DWORD);
  const auto list = reinterpret_cast<ListCall>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "GetConsoleProcessList")));
  DWORD ids[4];
  return list != nullptr && list(ids, 4) == 1;
}

}  // namespace

int main() {
  const std::wstring folder = hvtest::FolderOfThisProgram();
  const std::wstring log_path = folder + L"run-tests.log";
  HANDLE log = CreateFileW(log_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
  if (log == INVALID_HANDLE_VALUE) {
    std::printf("cannot write run-tests.log beside the kit: put the kit in a folder you may "
                "write to\n0 passed, 1 failed, 0 skipped\n");
    return 1;
  }
  const std::string where = WhereItRuns();
  const std::string heading = "hvsetup test kit in " + Utf8(folder) + "\r\n" + where + "\r\n";
  Say(log, heading);

  Counts total;
  std::string notes;
  for (const wchar_t* suite : kSuites) {
    std::string output, why;
    DWORD code = 0;
    const bool ran = RunSuite(folder + suite, folder, &output, &code, &why);
    Say(log, "\r\n==== " + Utf8(suite) + "\r\n");
    const std::string text = Utf8FromOutput(output);
    DWORD written = 0;
    WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    notes += NotesIn(text);
    Counts counts;
    counts.passed = CountAfter(output, "[  PASSED  ] ");
    counts.skipped = CountAfter(output, "[  SKIPPED ] ");
    counts.failed = CountAfter(output, "[  FAILED  ] ");
    // A suite that did not start, did not end, or ended badly with no failure of its own
    // counted (a crash) is one failure.
    if (!ran || (code != 0 && counts.failed == 0)) counts.failed += 1;
    char because[160] = "";
    if (!ran) {
      std::snprintf(because, sizeof because, " (did not run to its end: %s)", why.c_str());
    } else if (code != 0) {
      std::snprintf(because, sizeof because, " (exit code %lu, 0x%08lX)", code, code);
    }
    char line[320];
    std::snprintf(line, sizeof line, "%s: %ld passed, %ld failed, %ld skipped%s\r\n",
                  Utf8(suite).c_str(), counts.passed, counts.failed, counts.skipped, because);
    Say(log, line);
    total.passed += counts.passed;
    total.failed += counts.failed;
    total.skipped += counts.skipped;
  }
  Say(log, "\r\n" + notes + "log: " + Utf8(log_path) + "\r\n");
  char last[128];
  std::snprintf(last, sizeof last, "%ld passed, %ld failed, %ld skipped", total.passed,
                total.failed, total.skipped);
  // The last line says where it ran, so that a report pasted from it says where it came from.
  Say(log, std::string(last) + " on " + where + "\r\n");
  CloseHandle(log);
  if (OwnsItsConsole()) {
    std::printf("Press Enter to close this window.\n");
    std::getchar();
  }
  return total.failed == 0 ? 0 : 1;
}
