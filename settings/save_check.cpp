// Rules a save checks before writing: room on the volume, advice that fits a refusal.
#include "settings/save_check.h"

#include <cstddef>

#include "shell/bounded_text.h"
#include "shell/code_page.h"
#include "shell/home_path.h"

int HasRoomForSave(unsigned long long file_size, unsigned long long free_bytes) {
  return free_bytes >= file_size && free_bytes - file_size >= kSaveGrowthBound;
}

SaveAdvice ChooseSaveAdvice(const SaveRefusal& refusal, int administrators_folders,
                            int protected_folder) {
  if (refusal.on_disc || refusal.error == kErrorWriteProtect) return kAdviceDisc;
  if (refusal.disk_full) return kAdviceDiskFull;
  if (refusal.not_a_file) return kAdviceGeneral;
  if (refusal.read_only) return kAdviceReadOnly;
  if (refusal.error == kErrorAccessDenied && administrators_folders && protected_folder) {
    return kAdviceAdministrator;
  }
  return kAdviceGeneral;
}

int DriveRootOf(const char* path, const LeadByteRanges& lead, char* root, std::size_t capacity) {
  if (capacity > 0) root[0] = '\0';
  if (DriveNumber(path[0]) != 0 && path[1] == ':') {
    return CopyTextPart(root, capacity, path, 2) && AppendText(root, capacity, "\\");
  }
  if (path[0] != '\\' || path[1] != '\\') return 0;
  // "\\server\share\": the root ends at the separator after the share's name, which is a
  // whole character (a second byte may be a backslash in Japanese or Chinese).
  if (path[2] == '\\') return 0;  // no server's name
  int separators = 0;
  for (const char* at = path + 2; *at != '\0'; at = NextChar(at, lead)) {
    if (*at == '\\' && ++separators == 2) {
      return CopyTextPart(root, capacity, path, static_cast<std::size_t>(at - path) + 1);
    }
  }
  return 0;
}
