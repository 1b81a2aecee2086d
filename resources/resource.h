// Identifiers shared by hvsetup.rc and the code. Plain #defines only: the resource compiler
// reads this file too.
#ifndef HVSETUP_RESOURCE_H
#define HVSETUP_RESOURCE_H

// Dialog template and icon group names
#define IDD_OPTIONS "HVSETUP"
#define IDI_APP "ICON_1"

// Controls of the Options dialog
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#define IDC_RES_640X400 100
#define IDC_RES_640X480 101
#define IDC_GROUP_RESOLUTION 102
#define IDC_GROUP_HARDWARE 103
#define IDC_GROUP_MULTIPLAYER 104
#define IDC_VIDEO_BACK_BUFFER 105
#define IDC_HARDWARE_FILLS 106
#define IDC_DOS_COMPAT 107
#define IDC_SOCKET 108
#define IDC_DEST_NET 109
#define IDC_GROUP_OPTIONAL 110

// Strings: warning captions and texts
#define IDS_BAD_SOCKET_CAPTION 200
#define IDS_BAD_SOCKET_TEXT 201
#define IDS_BAD_ADDRESS_CAPTION 202
#define IDS_BAD_ADDRESS_TEXT 203
#define IDS_SAVE_FAILED_CAPTION 204
#define IDS_SAVE_FAILED_TEXT 205
#define IDS_ADVICE_GENERAL 206
#define IDS_ADVICE_READ_ONLY 207
#define IDS_ADVICE_ADMINISTRATOR 208
#define IDS_ADVICE_DISK_FULL 209
#define IDS_ADVICE_DISC 210
#define IDS_TEMPORARY_FOLDER_CAPTION 211
#define IDS_TEMPORARY_FOLDER_TEXT 212

#endif
