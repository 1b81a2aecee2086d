// Where the dialog goes on hosts that do not centre it themselves. Pure arithmetic, so it
// is tested natively.
#pragma once

struct ScreenBox {
  long left;
  long top;
  long right;
  long bottom;
};

// 1 on the Win32s layer of 16-bit Windows 3.x: the version value's top bit set and a major
// version (its low byte) of at most 3. The template's centring style is not honoured there.
int IsLegacyWin32Version(unsigned long version);

// The top-left corner that centres `box` on `desktop`, each half rounded towards zero.
void CenteredOrigin(const ScreenBox& desktop, const ScreenBox& box, long* x, long* y);
