// Version test and centring arithmetic for the Options dialog.
#include "dialog/placement.h"

int IsLegacyWin32Version(unsigned long version) {
  const unsigned long major = version & 0xFFu;
  return (version & 0x80000000u) != 0 && major <= 3 ? 1 : 0;
}

void CenteredOrigin(const ScreenBox& desktop, const ScreenBox& box, long* x, long* y) {
  const long width = box.right - box.left;
  const long height = box.bottom - box.top;
  // C++ integer division rounds towards zero, also for a box larger than the desktop.
  *x = desktop.left + (desktop.right - desktop.left - width) / 2;
  *y = desktop.top + (desktop.bottom - desktop.top - height) / 2;
}
