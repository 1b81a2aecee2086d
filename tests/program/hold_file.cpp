// Test helper: opens a file for writing and shares it for reading only, as another
// program holding the settings file would, then waits until it is ended.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  std::puts("holding");
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
