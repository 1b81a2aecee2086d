// Folder containment, long forms, the temporary folder and the VirtualStore folder, by
// characters of the ANSI code page.
#include "settings/folder_rules.h"

#include <cstddef>

#include "settings/save_check.h"
#include "shell/bounded_text.h"
#include "shell/code_page.h"
#include "shell/home_path.h"

namespace {

char Folded(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// "X:\..." : a whole path on a drive.
int IsDrivePath(const char* path) {
  return DriveNumber(path[0]) != 0 && path[1] == ':' && path[2] == '\\';
}

// The length of `path` without one trailing backslash, a whole character of its own.
std::size_t LengthWithoutSeparator(const char* path, const LeadByteRanges& lead) {
  const char* last = nullptr;
  for (const char* c = path; *c != '\0'; c = NextChar(c, lead)) last = c;
  const std::size_t length = TextLength(path);
  return (last != nullptr && *last == '\\' && last + 1 == path + length) ? length - 1 : length;
}

int IsSameFolder(const char* a, const char* b, const LeadByteRanges& lead) {
  return IsInsideFolder(a, b, lead) && IsInsideFolder(b, a, lead);
}

}  // namespace

int IsInsideFolder(const char* path, const char* folder, const LeadByteRanges& lead) {
  const std::size_t length = LengthWithoutSeparator(folder, lead);
  if (length == 0) return 0;
  const char* p = path;
  const char* f = folder;
  // Character by character, each walked by its own characters: a lead byte and its second
  // byte compare exactly, together, and never with half of another character.
  while (static_cast<std::size_t>(f - folder) < length) {
    const char* next_f = NextChar(f, lead);
    const char* next_p = *p != '\0' ? NextChar(p, lead) : p;
    if (next_f - f != next_p - p) return 0;
    if (next_f - f == 2 ? (p[0] != f[0] || p[1] != f[1]) : Folded(*p) != Folded(*f)) return 0;
    p = next_p;
    f = next_f;
  }
  return *p == '\0' || *p == '\\';
}

int IsEntryOfFolder(const char* path, const char* folder, const char* name,
                    const LeadByteRanges& lead) {
  if (!IsInsideFolder(path, folder, lead)) return 0;
  // The path's part inside the folder starts where the folder's characters end: each of
  // them stood for one of the path's, of the same size.
  const char* rest = path + LengthWithoutSeparator(folder, lead);
  return rest[0] == '\\' && IsSameFolder(rest + 1, name, lead);
}

void LongFormOf(const char* folder, LongPathCall long_path, const LeadByteRanges& lead,
                char* out, std::size_t capacity) {
  const unsigned long length =
      long_path != nullptr ? long_path(folder, out, static_cast<unsigned long>(capacity)) : 0;
  // The long form must name the folder in turn: a letter the code page lacks may come back
  // as '?' or as a look-alike ("Aoe" for "Äöé"), and then names none.
  char probe[1];
  if (length != 0 && length < capacity && !HoldsLostCharacter(out, lead) &&
      long_path(out, probe, sizeof probe) != 0) {
    return;
  }
  CopyText(out, capacity, folder);
}

int InTemporaryFolder(const char* folder, const char* temp, const char* current,
                      const LeadByteRanges& lead) {
  // A folder lies inside its root, so a root inside it is the root itself; and a folder
  // inside `temp` that holds `temp` is `temp`.
  char root[kHomePrefixCapacity];
  const int at_root = DriveRootOf(temp, lead, root, sizeof root) && IsInsideFolder(root, temp, lead);
  return !at_root && !IsSameFolder(temp, current, lead) && IsInsideFolder(folder, temp, lead) &&
         !IsInsideFolder(temp, folder, lead);
}

int VirtualStoreFolder(const char* home_prefix, const char* local_app_data,
                       const char* windows_folder, const char* file_name,
                       const LeadByteRanges& lead, char* folder, std::size_t capacity) {
  if (capacity > 0) folder[0] = '\0';
  if (!IsDrivePath(home_prefix) || !IsDrivePath(windows_folder) ||
      !IsDrivePath(local_app_data) || Folded(home_prefix[0]) != Folded(windows_folder[0])) {
    return 0;
  }
  if (HoldsLostCharacter(local_app_data, lead)) return 0;
  if (!CopyTextPart(folder, capacity, local_app_data,
                    LengthWithoutSeparator(local_app_data, lead)) ||
      !AppendText(folder, capacity, "\\VirtualStore") ||
      !AppendText(folder, capacity, home_prefix + 2) ||
      TextLength(folder) + TextLength(file_name) >= capacity) {
    if (capacity > 0) folder[0] = '\0';
    return 0;
  }
  return 1;
}
