// What the Windows test programs expect hvsetup to show and write, written out here once and
// never taken from the program's own strings, so that a changed word is caught.
#pragma once

#include <string>
#include <vector>

namespace hvtest {

inline const char kOptionsCaption[] = "HVN Windows 95 Options";
inline const char kBadSocketCaption[] = "Invalid Socket Number";
inline const char kBadSocketText[] =
    "A socket number must be a positive integer number between 0 and 16383.";
inline const char kBadAddressCaption[] = "Invalid Destination Network Address";
inline const char kBadAddressText[] =
    "A destination network address must be of the format xx.xx.xx.xx\n"
    " where xx is a hexadecimal address (ex. 73.0F.2C.8A).";
inline const char kTemporaryFolderCaption[] = "Not the Halvern Folder";
inline const char kSaveFailedCaption[] = "Settings Not Saved";

// The advice line that ends a "Settings Not Saved" warning.
inline const char kAdviceGeneral[] =
    "Check that the file and its folder can be written to, then try again.";
inline const char kAdviceReadOnly[] =
    "The file is marked read-only. Clear Read-only in its Properties, then press OK again.";
inline std::string AdviceDiskFull(const std::string& folder) {
  return "The disk that holds " + folder + " is full. Free some space on it, then press OK again.";
}

// The lines a save writes into a file where there was none, nothing changed in the dialog.
inline const std::vector<std::string> kSavedDefaults = {
    "[Options]", "Resolution=1", "VideoBackBuffer=0", "HardwareFills=0", "Compatibility=0",
    "Socket=", "DestNet="};

}  // namespace hvtest
