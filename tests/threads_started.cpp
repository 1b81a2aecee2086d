// Counts thread start-ups with a TLS callback and compares them with the threads that exist.
#include "threads_started.h"

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<long> started{0};  // threads that ran their start-up in this module, main included
std::atomic<long> ended{0};

void NTAPI NoteThread(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_PROCESS_ATTACH || reason == DLL_THREAD_ATTACH) ++started;
  if (reason == DLL_THREAD_DETACH) ++ended;
}

// Threads of this process that exist now, or -1 with the failed call's error.
long ExistingThreads(DWORD* error) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return -1;
  }
  long count = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

}  // namespace

// The loader calls this for every thread before the thread's own code runs.
extern "C" __attribute__((section(".CRT$XLB"), used))
const PIMAGE_TLS_CALLBACK hv_note_thread = NoteThread;

namespace hvtest {

void WaitForThreadsToStart() {
  long existing = 0;
  for (int waited = 0; waited < 1000; ++waited) {
    DWORD error = 0;
    existing = ExistingThreads(&error);
    if (existing < 0) {
      std::fprintf(stderr, "WaitForThreadsToStart: CreateToolhelp32Snapshot failed, error %lu\n",
                   error);
      return;
    }
    if (existing <= started - ended) return;
    Sleep(10);
  }
  std::fprintf(stderr,
               "WaitForThreadsToStart: after 10 s, %ld threads exist and %ld have started\n",
               existing, started - ended);
}

}  // namespace hvtest
