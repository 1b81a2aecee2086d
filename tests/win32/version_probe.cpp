// Exits with IsLegacyWin32Host(): 1 where the dialog must centre itself by hand.
#include "dialog/options_dialog.h"

int main() { return IsLegacyWin32Host(); }
