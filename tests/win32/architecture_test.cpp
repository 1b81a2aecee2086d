// Proves which code the Wine tests ran: the tests of the 32-bit build must run as 32-bit
// x86 code, so that a fallback to the 64-bit build can never pass for the product.
#include <gtest/gtest.h>
#include <windows.h>

#ifndef HV_EXPECTED_BITS
#error "the build names the bits this test program is meant for"
#endif

TEST(Architecture, RunsAsTheCodeItWasBuiltFor) {
  EXPECT_EQ(sizeof(void*) * 8, static_cast<std::size_t>(HV_EXPECTED_BITS));

  // The image the loader actually mapped, read from memory rather than assumed.
  const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
  if (HV_EXPECTED_BITS == 32) {
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  } else {
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  }

  // The tests' prefix is always a 64-bit one, where a 32-bit process runs under WoW64 and a
  // 64-bit one never does. Looked up by name: the headers hide it below Windows XP.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto is_wow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  ASSERT_NE(is_wow64, nullptr);
  BOOL wow64 = FALSE;
  ASSERT_TRUE(is_wow64(GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64 != FALSE, HV_EXPECTED_BITS == 32);
}
