// The whole program, driven as a user drives it but without a screen: hvsetup.exe is started
// from a fresh folder, its windows are found by caption and control identifier, and clicks,
// typed characters and keys are posted to it as the messages those actions produce, so its
// own dialog manager handles them. Each row of the table is one promise: a starting file,
// what the user does, and the file and exit code that follow. Nothing depends on which
// window the platform activates meanwhile: a click is one message in which the button takes
// the focus (activating its dialog, as a click would) and is pressed and let go.
// Usage: hv_program_rows [gtest flags] [PATH\hvsetup.exe]   (default: the one beside it)
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <map>
#include <cstring>
#include <ostream>
#include <string>
#include <cwctype>
#include <vector>

#include "support/expected_texts.h"
#include "support/windows_support.h"
#include "threads_started.h"

namespace {

using hvtest::ControlText;
using hvtest::CreateFolders;
using hvtest::FolderOf;
using hvtest::FolderOfThisProgram;
using hvtest::ReadWholeFile;
using hvtest::RemoveTree;
using hvtest::SplitLines;
using hvtest::Utf8;
using hvtest::WriteWholeFile;

std::wstring program;  // the hvsetup.exe under test
constexpr int kRes400 = 100, kFills = 106, kCompat = 107, kSocket = 108, kDestNet = 109;

enum Verb {
  kClick,       // a click in the middle of control `id`
  kType,        // characters typed into control `id` after clearing it (End, Backspaces)
  kKey,         // key `id` (a virtual-key code) pressed and released where the focus is
  kCloseBox,    // the close box of the dialog
  kAnswer,      // a box captioned `text` appears and is answered: Enter, or a click on
                // its button `id` where one is given
  kDialogOpens, // the Options dialog appears (after a box answered before it)
  kFocusIs,     // the focus is on control `id`
  kShows,       // control `id` shows `text`
  kUnchanged,   // the dialog is still open and the file as it was before
  kLetGo,       // the cause of a failed save goes away (read-only cleared, file let go,
                // the folder in the file's place removed)
  kAdvice,      // the open "Settings Not Saved" box ends with the advice `text`
  kFix,         // the warning captioned `text` is answered, field `id` emptied, OK clicked
  kExits,       // the program ends with exit code `id`; the checks below follow it
  kReplaced,    // the file is another than before: a copy was renamed over it
  kWriteMeanwhile,  // OK is clicked; once the save's copy holds the keys, the program that
                    // holds the file (kHeldByAWriter) appends the line `text` and lets go
  kSaveTogether,    // another hvsetup in the same folder; both are sent OK at once, `id`
                    // rounds (the first with this program): each ends, the file keeps its
                    // other lines
  kValue,       // "Key=value": the value the first [Options] section gives that key
  kDefaults,    // every key of the first [Options] section has the value a save of the
                // untouched dialog gives it
  kKept,        // every line of the starting file that begins with `text` is there once
  kCount,       // `id` lines begin with `text`, letter case aside
};

struct Step {
  Verb verb;
  int id;
  const char* text;
};

// kLinked: a symbolic link to the file, which lies in another folder.
enum FileState { kPlain, kReadOnly, kHeldOpen, kFolderInItsPlace, kHeldByAWriter, kLinked };
enum Outcome { kExactly, kWithLines, kAsBefore };

// Where the program is, and which settings file it is expected to use.
enum Place {
  kOwnFolder,      // a folder of its own; it uses the halvern.ini beside it
  kTemporary,      // a folder inside the system's temporary folder, as a zip's programs are run
  kStoreCopyUsed,  // beside a halvern.ini that has a VirtualStore copy, which Vista to 11 use
  kStoreCopyAs95,  // the same in a compatibility mode that makes Windows say it is 95, or XP
  kStoreCopyAsXp,  // (under Wine its per-program version): the copy all the same
  kTempAtRoot,     // a folder of its own, with TMP and TEMP naming the root of its drive
  kNoTemplate,     // a folder of its own, the program being one built without its dialog
  kPathOf100,      // a folder of its own whose program path is that long, measured from the
  kPathOf200,      // kit's folder (so the row skips where that is already too deep)
  kPathOf259,
};

// A file's starting bytes: text, or made by a function (NUL bytes, megabytes), or none.
struct Bytes {
  Bytes(std::nullptr_t) {}
  Bytes(const char* given) : text(given) {}
  Bytes(std::string (*maker)()) : make(maker) {}
  bool exists() const { return text != nullptr || make != nullptr; }
  std::string get() const { return make != nullptr ? make() : text != nullptr ? text : ""; }
  const char* text = nullptr;
  std::string (*make)() = nullptr;
};

struct Row {
  const char* name;
  Bytes before;  // the used file's bytes to begin with
  FileState state;
  std::vector<Step> steps;
  Outcome outcome;
  std::vector<std::string> after;  // kExactly: the file's lines; kWithLines: lines it holds once
  Place place = kOwnFolder;
  const char* other = nullptr;      // the bytes of the settings file it must not use, if any
  const wchar_t* arguments = L"";   // the program's command line after its name
  unsigned code_page = 0;           // the ANSI code page the row's bytes mean; 0: any
};

const char kForeign[] =
    "[Player]\r\nName=Ann\r\n[Options]\r\nResolution=1\r\nMusic=7\r\nSocket=12\r\n"
    "[Network]\r\nModem=COM2\r\n";
const std::initializer_list<Step> kDefaultsSaved = {{kExits, 0}, {kDefaults}};
using hvtest::kAdviceGeneral;
using hvtest::kBadAddressCaption;
using hvtest::kBadSocketCaption;
using hvtest::kSaveFailedCaption;
using hvtest::kSavedDefaults;
using hvtest::kTemporaryFolderCaption;

// Steps in the order given, the lists joined.
std::vector<Step> Steps(std::initializer_list<std::initializer_list<Step>> parts) {
  std::vector<Step> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// 64 KB of noise from a fixed seed, three NUL bytes, then its first 100 bytes again.
std::string BinaryGarbage() {
  std::string noise;
  unsigned state = 7;
  for (int i = 0; i < 64 * 1024; ++i) {
    state = state * 1103515245u + 12345u;
    noise += static_cast<char>(state >> 23);
  }
  return noise + std::string(3, '\0') + noise.substr(0, 100);
}

// Over 5 MB: 52,000 foreign sections, then the program's own at the end.
std::string FiveMegabytes() {
  std::string text;
  char line[160];
  for (int i = 0; i < 52000; ++i) {
    std::snprintf(line, sizeof line, "[Section%05d]\r\nKey=%s\r\nOther=%d\r\n", i,
                  std::string(80, 'v').c_str(), i);
    text += line;
  }
  return text + "[Options]\r\nResolution=0\r\nSocket=42\r\nDestNet=73.0F.2C.8A\r\n";
}

std::string LineOf100000() {
  std::string big = "Big=";
  for (int i = 0; big.size() < 100000; ++i) big += static_cast<char>('a' + i % 26);
  return "[Other]\r\n" + big + "\r\n[Options]\r\nSocket=7\r\n";
}

// Every key stored with a value of `length` characters, too long for either field's rule.
template <int length>
std::string LongValues() {
  std::string text = "[Options]\r\n";
  const char* const keys[][2] = {{"Resolution", "0"}, {"VideoBackBuffer", "1"},
                                 {"HardwareFills", "1"}, {"Compatibility", "1"},
                                 {"Socket", "7"}, {"DestNet", "A"}};
  for (const auto& key : keys) {
    text += std::string(key[0]) + "=" + std::string(length, key[1][0]) + "\r\n";
  }
  return text;
}

const std::initializer_list<Step> kLongValuesRefused = {
    {kClick, IDOK}, {kFix, kSocket, kBadSocketCaption}, {kFix, kDestNet, kBadAddressCaption}};

const char kLineEndingsCrOnly[] =
    "[Foreign]\rA=1\r[Options]\rResolution=0\rHardwareFills=1\rSocket=12\rDestNet=73.0F\r";
const char kLineEndingsLfOnly[] =
    "[Foreign]\nA=1\n[Options]\nResolution=0\nHardwareFills=1\nSocket=12\nDestNet=73.0F\n";
const char kLineEndingsNoFinal[] =
    "[Foreign]\r\nA=1\r\n[Options]\r\nResolution=0\r\nHardwareFills=1\r\nSocket=12\r\n"
    "DestNet=73.0F";
const std::initializer_list<Step> kLineEndingsRead = {
    {kClick, IDOK}, {kExits, 0}, {kValue, 0, "Resolution=0"}, {kValue, 0, "HardwareFills=1"},
    {kValue, 0, "Socket=12"}, {kValue, 0, "DestNet=73.0F"}, {kValue, 0, "VideoBackBuffer=0"},
    {kKept, 0, "[Foreign]"}, {kKept, 0, "A=1"}};

const Row kRows[] = {
    {"OkKeepsForeignLines", kForeign, kPlain,
     {{kClick, kRes400}, {kClick, kFills}, {kType, kDestNet, "73.0F.2C.8A"}, {kClick, IDOK}},
     kWithLines,
     {"[Player]", "Name=Ann", "Music=7", "[Network]", "Modem=COM2", "Resolution=0",
      "VideoBackBuffer=0", "HardwareFills=1", "Compatibility=0", "Socket=12",
      "DestNet=73.0F.2C.8A"}},
    // Arguments change nothing.
    {"MissingFileIsCreatedWithTheSixKeysInOrder", nullptr, kPlain,
     {{kType, kSocket, "213"}, {kClick, IDOK}}, kExactly,
     {"[Options]", "Resolution=1", "VideoBackBuffer=0", "HardwareFills=0", "Compatibility=0",
      "Socket=213", "DestNet="},
     kOwnFolder, nullptr, L"/x"},
    {"RefusedSocketThenRefusedAddress", "[Options]\r\nSocket=1\r\n", kPlain,
     {{kType, kSocket, "16384"}, {kType, kDestNet, "zz"}, {kClick, IDOK},
      {kAnswer, 0, kBadSocketCaption}, {kFocusIs, kSocket}, {kUnchanged},
      {kType, kSocket, "16383"}, {kClick, IDOK},
      {kAnswer, 0, kBadAddressCaption}, {kFocusIs, kDestNet}, {kUnchanged},
      {kType, kDestNet, "73.0f"}, {kClick, IDOK}},
     kWithLines, {"Socket=16383", "DestNet=73.0f"}},
    {"TypingStopsAtTheFieldLimits", nullptr, kPlain,
     {{kType, kSocket, "1234567"}, {kType, kDestNet, "73.0F.2C.8A.55"}, {kClick, IDOK}},
     kWithLines, {"Socket=12345", "DestNet=73.0F.2C.8A"}},
    {"EnterWalksTheFieldsAndSavesOnlyOnOk", "[Options]\r\nSocket=5\r\n", kPlain,
     {{kType, kSocket, "77"}, {kKey, VK_RETURN}, {kFocusIs, kDestNet}, {kUnchanged},
      {kKey, VK_RETURN}, {kFocusIs, IDOK}, {kUnchanged}, {kKey, VK_RETURN}},
     kWithLines, {"Socket=77"}},
    {"CancelKeepsTheFile", kForeign, kPlain,
     {{kClick, kCompat}, {kType, kSocket, "99"}, {kClick, IDCANCEL}}, kAsBefore, {}},
    {"EscapeKeepsTheFile", kForeign, kPlain,
     {{kClick, kCompat}, {kType, kSocket, "99"}, {kKey, VK_ESCAPE}}, kAsBefore, {}},
    {"CloseBoxKeepsTheFile", kForeign, kPlain,
     {{kClick, kCompat}, {kType, kSocket, "99"}, {kCloseBox}}, kAsBefore, {}},
    {"ReadOnlyFileIsNotSavedAndTheDialogStays", kForeign, kReadOnly,
     {{kType, kSocket, "99"}, {kClick, IDOK},
      {kAdvice, 0, hvtest::kAdviceReadOnly},
      {kAnswer, 0, kSaveFailedCaption}, {kUnchanged},
      {kLetGo}, {kClick, IDOK}},
     kWithLines, {"Socket=99", "Name=Ann"}},
    // Another program (Halvern, an editor) holds the file, sharing reading and writing but not
    // its removal, and writes while the save runs: its line and the saved values are kept.
    {"AnotherProgramWritingDuringASaveKeepsItsLine", kForeign, kHeldByAWriter,
     {{kType, kSocket, "99"}, {kWriteMeanwhile, 0, "Mine=1"}}, kWithLines,
     {"Mine=1", "Socket=99", "Name=Ann", "Modem=COM2", "Music=7"}},
    // A double click that started it twice, or two PCs on one network installation.
    {"TwoSavesAtOnceKeepTheGamesLines", kForeign, kPlain, {{kSaveTogether, 3}}, kWithLines,
     {"[Player]", "Name=Ann", "Music=7", "[Network]", "Modem=COM2"}},
    // One halvern.ini for two installs (the Windows and the DOS edition): the link stays a
    // link, and the file it leads to gets the values.
    {"SymbolicLinkStaysALinkAndItsFileGetsTheValues", kForeign, kLinked,
     {{kType, kSocket, "99"}, {kClick, IDOK}}, kWithLines,
     {"Socket=99", "Name=Ann", "Modem=COM2"}},
    {"FileHeldOpenIsNotSavedAndTheDialogStays", kForeign, kHeldOpen,
     {{kType, kSocket, "99"}, {kClick, IDOK}, {kAdvice, 0, kAdviceGeneral},
      {kAnswer, 0, kSaveFailedCaption}, {kUnchanged},
      {kLetGo}, {kClick, IDOK}},
     kWithLines, {"Socket=99", "Name=Ann"}},
    // Opened inside a zip: the warning first, whose default answer (Enter) is No.
    {"TemporaryFolderWarnsAndNoEndsIt", nullptr, kPlain,
     {{kAnswer, 0, kTemporaryFolderCaption}}, kAsBefore, {}, kTemporary},
    {"TemporaryFolderWarnsAndYesOpensTheDialog", nullptr, kPlain,
     {{kAnswer, IDYES, kTemporaryFolderCaption}, {kDialogOpens}, {kClick, IDOK}}, kExactly,
     kSavedDefaults, kTemporary},
    {"TemporaryFolderWithItsSettingsOpensTheDialog", kForeign, kPlain,
     {{kType, kSocket, "99"}, {kClick, IDOK}}, kWithLines, {"Socket=99", "Name=Ann"},
     kTemporary},
    {"VistaTo11ShowAndSaveTheVirtualStoreCopy", "[Game]\r\nLevel=3\r\n[Options]\r\nSocket=12\r\n",
     kPlain, {{kShows, kSocket, "12"}, {kClick, kFills}, {kClick, IDOK}}, kWithLines,
     {"Level=3", "Socket=12", "HardwareFills=1"}, kStoreCopyUsed, "[Options]\r\nSocket=5\r\n"},
    // A compatibility mode changes what Windows says of itself, not where the game's file is:
    // the copy is shown and saved, through a copy renamed over it, as everywhere on NT.
    {"CompatibilityModeFor95ShowsAndSavesTheVirtualStoreCopy",
     "[Game]\r\nLevel=3\r\n[Options]\r\nSocket=12\r\n", kPlain,
     {{kShows, kSocket, "12"}, {kClick, kFills}, {kClick, IDOK}, {kExits, 0}, {kReplaced}},
     kWithLines, {"Level=3", "Socket=12", "HardwareFills=1"}, kStoreCopyAs95,
     "[Options]\r\nSocket=5\r\n"},
    {"CompatibilityModeForXpShowsAndSavesTheVirtualStoreCopy",
     "[Game]\r\nLevel=3\r\n[Options]\r\nSocket=12\r\n", kPlain,
     {{kShows, kSocket, "12"}, {kClick, kFills}, {kClick, IDOK}}, kWithLines,
     {"Level=3", "Socket=12", "HardwareFills=1"}, kStoreCopyAsXp, "[Options]\r\nSocket=5\r\n"},
    // TEMP=C:\ (an old DOS habit) puts every folder of C: in the temporary folder: a fresh
    // Halvern folder is no zip's, and the dialog opens at once.
    {"TemporaryFolderAtADrivesRootIsNoZipsFolder", nullptr, kPlain, {{kClick, IDOK}}, kExactly,
     kSavedDefaults, kTempAtRoot},
    {"FolderInPlaceOfTheFileIsRefusedThenSaved", nullptr, kFolderInItsPlace,
     {{kType, kSocket, "77"}, {kClick, IDOK}, {kAdvice, 0, kAdviceGeneral},
      {kAnswer, 0, kSaveFailedCaption}, {kUnchanged}, {kLetGo}, {kClick, IDOK}, {kExits, 0},
      {kValue, 0, "Socket=77"}},
     kWithLines, {}},
    {"ProgramWithoutItsDialogTemplateEndsWith1", nullptr, kPlain, {{kExits, 1}}, kAsBefore, {},
     kNoTemplate},
    // Damaged or odd files: the dialog opens, and OK saves the six keys and keeps the rest.
    {"BinaryGarbageGivesTheDefaults", BinaryGarbage, kPlain,
     Steps({{{kClick, IDOK}}, kDefaultsSaved}), kWithLines, {}},
    {"FiveMegabyteFileKeepsEverySection", FiveMegabytes, kPlain,
     {{kClick, IDOK}, {kExits, 0}, {kValue, 0, "Resolution=0"}, {kValue, 0, "Socket=42"},
      {kValue, 0, "DestNet=73.0F.2C.8A"}, {kCount, 52000, "[Section"}, {kKept, 0, "[Section"},
      {kKept, 0, "Other="}},
     kWithLines, {}},
    {"LineOf100000CharactersIsKept", LineOf100000, kPlain,
     {{kClick, IDOK}, {kExits, 0}, {kValue, 0, "Socket=7"}, {kKept, 0, "Big="}}, kWithLines,
     {}},
    // Too long for either field's rule: refused, never cut to something that passes.
    {"ValuesOf254CharactersAreRefused", LongValues<254>, kPlain,
     Steps({kLongValuesRefused, kDefaultsSaved}), kWithLines, {}},
    {"ValuesOf255CharactersAreRefused", LongValues<255>, kPlain,
     Steps({kLongValuesRefused, kDefaultsSaved}), kWithLines, {}},
    {"ValuesOf256CharactersAreRefused", LongValues<256>, kPlain,
     Steps({kLongValuesRefused, kDefaultsSaved}), kWithLines, {}},
    {"ValuesOf300CharactersAreRefused", LongValues<300>, kPlain,
     Steps({kLongValuesRefused, kDefaultsSaved}), kWithLines, {}},
    {"CrOnlyLineEndings", kLineEndingsCrOnly, kPlain, kLineEndingsRead, kWithLines, {}},
    {"LfOnlyLineEndings", kLineEndingsLfOnly, kPlain, kLineEndingsRead, kWithLines, {}},
    {"NoFinalLineEnding", kLineEndingsNoFinal, kPlain, kLineEndingsRead, kWithLines, {}},
    // The first section and the first key are the ones read, and the ones written.
    {"DuplicateSectionsAndKeysTheFirstCounts",
     "[Options]\r\nResolution=0\r\nResolution=1\r\nSocket=1\r\n[Other]\r\nX=1\r\n"
     "[Options]\r\nSocket=2\r\nCompatibility=1\r\n",
     kPlain,
     {{kClick, IDOK}, {kExits, 0}, {kValue, 0, "Resolution=0"}, {kValue, 0, "Socket=1"},
      {kValue, 0, "Compatibility=0"}, {kKept, 0, "[Other]"}, {kKept, 0, "X=1"},
      {kKept, 0, "Socket=2"}, {kKept, 0, "Compatibility=1"}},
     kWithLines, {}},
    {"OtherLetterCasesAndBlanksNameTheSameKeys",
     "[oPTIONS]\r\n  resolution =  0 \r\nVIDEOBACKBUFFER=1\r\nsocket = 99\r\n", kPlain,
     {{kClick, IDOK}, {kExits, 0}, {kValue, 0, "Resolution=0"}, {kValue, 0, "VideoBackBuffer=1"},
      {kValue, 0, "Socket=99"}, {kCount, 1, "[options]"}},
     kWithLines, {}},
    {"BytesAbove0x7FAreKept",
     "[Options]\r\nSocket=1\r\nDestNet=73.0F.2C.8\xc4\r\n[Player]\r\nName=J\xf6rg \xa9\x80\xff\r\n",
     kPlain,
     {{kClick, IDOK}, {kFix, kDestNet, kBadAddressCaption}, {kExits, 0}, {kValue, 0, "Socket=1"},
      {kValue, 0, "DestNet="}, {kKept, 0, "Name=J\xf6rg \xa9\x80\xff"}},
     kWithLines, {}, kOwnFolder, nullptr, L"", 1252},
    {"EmptyFileGetsTheSixKeys", "", kPlain, {{kClick, IDOK}}, kExactly, kSavedDefaults},
    // Installed deep: the settings path still fits the platform's limit, so it must save.
    {"ProgramPathOf100Characters", nullptr, kPlain,
     {{kType, kSocket, "77"}, {kClick, IDOK}, {kExits, 0}, {kValue, 0, "Socket=77"}},
     kWithLines, {}, kPathOf100},
    {"ProgramPathOf200Characters", nullptr, kPlain,
     {{kType, kSocket, "77"}, {kClick, IDOK}, {kExits, 0}, {kValue, 0, "Socket=77"}},
     kWithLines, {}, kPathOf200},
    {"ProgramPathOf259Characters", nullptr, kPlain,
     {{kType, kSocket, "77"}, {kClick, IDOK}, {kExits, 0}, {kValue, 0, "Socket=77"}},
     kWithLines, {}, kPathOf259},
};

// Rows are named by their name, not their bytes, in GoogleTest's messages.
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

// --- Files -----------------------------------------------------------------------------

// A folder name with spaces, Latin-1 letters and a sign, where the ANSI code page has no
// default character for them; otherwise one with spaces alone. Code page 932 gives
// look-alikes (A for Ä) without saying so: there the name is one it cannot spell, which the
// program must then name by its short name.
std::wstring ProgramFolderName() {
  const wchar_t latin[] = L"Halvern Spiele \u00c4\u00f6\u00e9 \u00a9";
  char ansi[64];
  BOOL lost = FALSE;
  if (WideCharToMultiByte(CP_ACP, 0, latin, -1, ansi, sizeof ansi, nullptr, &lost) > 0 && !lost) {
    return latin;
  }
  return L"Halvern Spiele";
}

// The bytes `text` takes in the ANSI code page, its terminating zero included.
int AnsiBytes(const std::wstring& text) {
  return WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
}

// True when the ANSI code page spells `text`: converted there and back it is the same text
// (a letter the code page lacks comes back as '?' or a look-alike).
bool SpeltInAnsi(const std::wstring& text) {
  std::string ansi(static_cast<size_t>(std::max(AnsiBytes(text), 1)), '\0');
  wchar_t back[MAX_PATH * 2] = L"";
  return WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &ansi[0],
                             static_cast<int>(ansi.size()), nullptr, nullptr) > 0 &&
         MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, back, MAX_PATH * 2) > 0 &&
         text == back;
}

// The name by which hvsetup's ANSI calls reach the existing folder of its `exe`: the folder's
// own where the code page spells the path within the 259 bytes those calls give whole, else
// its short name where the code page spells that within them; empty where neither.
std::wstring AnsiReachableFolder(const std::wstring& exe) {
  const std::wstring folder = FolderOf(exe);
  if (SpeltInAnsi(exe) && AnsiBytes(exe) <= MAX_PATH) return folder;
  wchar_t short_name[MAX_PATH];
  const DWORD n = GetShortPathNameW(folder.c_str(), short_name, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || !SpeltInAnsi(short_name) ||
      AnsiBytes(std::wstring(short_name) + L"hvsetup.exe") > MAX_PATH) {
    return std::wstring();
  }
  return short_name;
}

// Makes `link` a symbolic link to the file `target`. Empty when done; otherwise why not, for a
// skip: not every user may make one, and Wine reports links made that it never makes.
std::string MakeSymbolicLink(const std::wstring& link, const std::wstring& target) {
  // Windows 10 from 1703 lets a user in Developer Mode make one with this flag; older ones
  // refuse the flag, and then only an administrator may.
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), kUnprivileged) &&
      !(GetLastError() == ERROR_INVALID_PARAMETER &&
        CreateSymbolicLinkW(link.c_str(), target.c_str(), 0))) {
    return hvtest::Failed("CreateSymbolicLinkW") +
           ": making a symbolic link takes Developer Mode or an administrator";
  }
  if (hvtest::FileIndex(link) == 0 || hvtest::FileIndex(link) != hvtest::FileIndex(target)) {
    return "CreateSymbolicLinkW reported a link made, yet no file is found through it (Wine "
           "makes none; the test command's symbolic_links scenario makes a Unix one)";
  }
  return std::string();
}

std::wstring TemporaryFolder() {
  wchar_t path[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, path);
  return std::wstring(path, n <= MAX_PATH ? n : 0);
}

// Where Windows Vista to 11 keep the per-user copy of what an old program writes in `folder`:
// %LOCALAPPDATA%\VirtualStore\ and the folder without its drive. Empty, with the reason,
// where Windows keeps none: a folder on another drive than the Windows folder's.
std::wstring StoreFolder(const std::wstring& folder, std::string* why_not) {
  wchar_t local[MAX_PATH] = L"";
  wchar_t windows[MAX_PATH] = L"";
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    *why_not = "this Windows names no LOCALAPPDATA folder";
    return std::wstring();
  }
  GetWindowsDirectoryW(windows, MAX_PATH);
  if (folder.size() < 3 || folder[1] != L':' || towupper(folder[0]) != towupper(windows[0])) {
    *why_not = "the kit is not on the drive of the Windows folder, the only drive where "
               "Windows keeps VirtualStore copies: unzip it on drive " +
               Utf8(std::wstring(1, windows[0])) + ":";
    return std::wstring();
  }
  return std::wstring(local) + L"\\VirtualStore" + folder.substr(2);
}

// --- The running program ---------------------------------------------------------------

// The top-level window of process `process_id` captioned `caption`.
struct Found {
  DWORD process_id;
  const wchar_t* caption;
  HWND window;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lparam) {
  auto* found = reinterpret_cast<Found*>(lparam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t caption[128] = L"";
  if (owner != found->process_id || !IsWindowVisible(window)) return TRUE;
  GetWindowTextW(window, caption, 128);
  if (std::wstring(caption) != found->caption) return TRUE;
  found->window = window;
  return FALSE;
}

class Program {
 public:
  ~Program() {
    if (process_.hProcess != nullptr) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 99);
      }
      CloseHandle(process_.hThread);
      CloseHandle(process_.hProcess);
    }
  }

  // Empty once the program runs; otherwise why it did not start.
  std::string Start(const std::wstring& exe, const wchar_t* arguments,
                    const std::wstring& started_in) {
    GetSystemTimeAsFileTime(&clicked_);  // a row that only types has no click to time from
    return hvtest::StartProgram(exe, arguments, started_in, nullptr, &process_);
  }

  // Empty once the dialog is up and active; otherwise what happened instead.
  std::string WaitDialog() {
    const std::wstring caption(hvtest::kOptionsCaption,
                               hvtest::kOptionsCaption + std::strlen(hvtest::kOptionsCaption));
    dialog_ = WaitWindow(caption.c_str(), 30000);
    if (dialog_ == nullptr) {
      DWORD code = 0;
      if (Running()) return "no Options dialog within 30 s";
      GetExitCodeProcess(process_.hProcess, &code);
      return "the program ended with exit code " + std::to_string(code) +
             " before its dialog appeared";
    }
    // Wine activates a new window whenever X gives it the focus, and the dialog manager then
    // puts the focus back on the control that had it when the dialog was last active: a
    // focus the row gave meanwhile would be undone. So the dialog is brought to the front
    // now, as a click on it would, and the row acts only once it is there. Windows may
    // refuse that to a program in the background; then nothing activates the dialog behind
    // the row's back either, and the dialog is active for its own thread all the same.
    for (int asked = 0; GetForegroundWindow() != dialog_ && asked < 100; ++asked) {
      if (!SetForegroundWindow(dialog_)) break;
      Sleep(50);
    }
    Settle(0);
    return std::string();
  }

  HWND WaitWindow(const wchar_t* caption, DWORD milliseconds) {
    for (DWORD waited = 0; waited < milliseconds; waited += 50) {
      Found found = {process_.dwProcessId, caption, nullptr};
      EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&found));
      if (found.window != nullptr) return found.window;
      if (WaitForSingleObject(process_.hProcess, 50) != WAIT_TIMEOUT) return nullptr;
    }
    return nullptr;
  }

  // Gives the program time to handle the last `posted` messages: a thread answers what was
  // sent to it each time it asks for its next message, so each answer to a sent message
  // mostly follows one more posted message handled. The checks that matter wait for their
  // effect besides, since a thread may also answer while it looks ahead in its queue.
  void Settle(int posted) {
    for (int i = 0; i < posted + 2; ++i) {
      DWORD_PTR result = 0;
      if (!SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) return;
    }
  }

  HWND Control(int id) const { return GetDlgItem(dialog_, id); }

  // Where a program that should have ended stands, for a failure to show: how long it ran
  // after its start or its last click, its windows (a box's text too), the control with the focus, and
  // whether a save's copy is in `folder`.
  std::string State(const std::wstring& folder) const {
    WIN32_FILE_ATTRIBUTE_DATA copy;
    const bool copied = GetFileAttributesExW((folder + L"hvsetup.tmp").c_str(),
                                             GetFileExInfoStandard, &copy) != 0;
    return "it " + hvtest::RanSince(process_.hProcess, clicked_) +
           " its start or last click, showing" +
           hvtest::WindowsOfProcess(process_.dwProcessId) + "; the focus on control " +
           std::to_string(GetDlgCtrlID(Focus())) + "; hvsetup.tmp " +
           (copied ? "is there" : "is not there");
  }

  // Answers the box captioned `caption`: a click on its button `button`, or with 0 Enter,
  // which the box's dialog manager turns into its default button wherever its focus is.
  std::string Answer(const char* caption, int button) {
    const std::wstring wide(caption, caption + std::strlen(caption));
    HWND box = WaitWindow(wide.c_str(), 10000);
    if (box == nullptr) return std::string("no box \"") + caption + "\"";
    if (button != 0) {
      Click(GetDlgItem(box, button));
    } else {
      Key(box, VK_RETURN);
    }
    for (int waited = 0; IsWindow(box) && waited < 5000; waited += 50) Sleep(50);
    if (IsWindow(box)) return std::string("the box \"") + caption + "\" stayed";
    Settle(0);
    return std::string();
  }

  HWND Focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(process_.dwThreadId, &info) ? info.hwndFocus : nullptr;
  }

  // Waits until the focus is on `control`; the platform may report it a moment late.
  bool WaitFocus(HWND control, DWORD milliseconds) const {
    for (DWORD waited = 0; Focus() != control && waited < milliseconds; waited += 20) Sleep(20);
    return Focus() == control;
  }

  // Where a key goes: the focused control, or the dialog itself when the platform cannot
  // say (Enter, Escape and Tab reach the dialog manager either way).
  HWND KeyTarget() const {
    HWND focus = Focus();
    return focus != nullptr && IsChild(dialog_, focus) ? focus : dialog_;
  }

  // A click on a button, posted without waiting for the program to handle it (which, on
  // OK, is the save). The button handles it as a press and a let-go in one go, taking the
  // focus first: no activation between the two can undo it, as it may undo two messages.
  void Post(HWND button) {
    GetSystemTimeAsFileTime(&clicked_);
    PostMessageW(button, BM_CLICK, 0, 0);
  }

  void Click(HWND button) {
    Post(button);
    Settle(1);
  }

  // The dialog manager moves the focus to `control`, as Tab does.
  void FocusOn(HWND control) {
    PostMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    Settle(1);
  }

  void Key(HWND target, WPARAM key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    Settle(2);
  }

  // Into field `id`: the focus goes there as Tab takes it, then the keys.
  void Type(int id, const char* text) {
    HWND field = Control(id);
    FocusOn(field);
    Key(field, VK_END);
    const int length = static_cast<int>(SendMessageW(field, WM_GETTEXTLENGTH, 0, 0));
    for (int i = 0; i < length; ++i) PostMessageW(field, WM_CHAR, VK_BACK, 1);
    for (const char* c = text; *c != '\0'; ++c) PostMessageW(field, WM_CHAR, *c, 1);
    Settle(length + static_cast<int>(std::strlen(text)));
  }

  bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

  // The exit code, or -1 when the program has not ended within 20 seconds.
  int ExitCode() { return hvtest::ExitCodeWithin(process_.hProcess, 20000); }

  HWND dialog() const { return dialog_; }

 private:
  PROCESS_INFORMATION process_ = {};
  HWND dialog_ = nullptr;
  FILETIME clicked_ = {};
};

// --- The rows --------------------------------------------------------------------------

class ProgramRow : public testing::TestWithParam<Row> {};

// The folder, under `work`, whose program path ("...\hvsetup.exe") is `length` characters
// long: folders of up to 60 letters each. Empty when `work` is already too deep for it.
std::wstring FolderForPathOf(const std::wstring& work, size_t length) {
  const size_t exe_name = std::wcslen(L"hvsetup.exe");
  if (work.size() + exe_name + 2 > length) return std::wstring();
  std::wstring folder = work;
  for (size_t room = length - exe_name - work.size(); room > 0;) {
    size_t letters = std::min<size_t>(60, room - 1);
    if (room - (letters + 1) == 1) --letters;  // never leave room for a name of no letters
    folder += std::wstring(letters, L'd') + L"\\";
    room -= letters + 1;
  }
  return folder;
}

// The value the platform's reader finds for `key` in the first [Options] section: lines end
// at CR or LF, names compare without case, blanks around names and values are trimmed, and
// the first matching key wins. "(none)" where there is none.
std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string ProfileValue(const std::string& file, const std::string& key) {
  bool in_section = false;
  bool seen = false;
  for (const std::string& raw : SplitLines(file)) {
    const std::string line = Trimmed(raw);
    if (!line.empty() && line[0] == '[') {
      if (in_section) return "(none)";
      const std::string name = Trimmed(line.substr(1, line.find(']') - 1));
      in_section = !seen && Lower(name) == "options";
      seen = seen || in_section;
    } else if (in_section && line.find('=') != std::string::npos) {
      const size_t equals = line.find('=');
      if (Lower(Trimmed(line.substr(0, equals))) == Lower(key)) {
        return Trimmed(line.substr(equals + 1));
      }
    }
  }
  return "(none)";
}

// The first [Options] section of `file` gives the key of `key_value` ("Key=value") that value.
void ExpectValue(const std::string& file, const std::string& key_value) {
  const size_t equals = key_value.find('=');
  EXPECT_EQ(ProfileValue(file, key_value.substr(0, equals)), key_value.substr(equals + 1))
      << "the value of " << key_value.substr(0, equals);
}

// What a row stages outside its own work folder, removed whatever the row's outcome: the
// user's profile keeps nothing of the kit.
struct Staged {
  std::wstring store_root;  // %LOCALAPPDATA%\VirtualStore\ when a copy was staged below it
  std::wstring store;       // the copy's folder
  bool pretending = false;  // hvsetup is made to see another Windows version
  // Variables of this process set for the program (which inherits them), and their values
  // before; `had` false where there was none.
  struct Variable {
    std::wstring name, value;
    bool had;
  };
  std::vector<Variable> variables;

  void Set(const wchar_t* name, const std::wstring& value) {
    wchar_t old[MAX_PATH + 1] = L"";
    const DWORD n = GetEnvironmentVariableW(name, old, MAX_PATH + 1);
    variables.push_back({name, old, n > 0 && n <= MAX_PATH});
    SetEnvironmentVariableW(name, value.c_str());
  }

  ~Staged() {
    for (const Variable& v : variables) {
      SetEnvironmentVariableW(v.name.c_str(), v.had ? v.value.c_str() : nullptr);
    }
    if (!store.empty()) {
      RemoveTree(store);
      // Its parents up to VirtualStore itself, as far as they are empty (the rest is not ours).
      for (std::wstring f = store; f.size() > store_root.size();) {
        f = FolderOf(f.substr(0, f.size() - 1));
        if (!RemoveDirectoryW(f.c_str())) break;
      }
    }
    if (pretending) hvtest::StopPretending(L"hvsetup.exe");
  }
};

TEST_P(ProgramRow, Behaves) {
  const Row& row = GetParam();
  if (row.code_page != 0 && GetACP() != row.code_page) {
    GTEST_SKIP() << "the row's bytes mean what it expects in code page " << row.code_page
                 << " only; this Windows uses " << GetACP();
  }
  const std::wstring name(row.name, row.name + std::strlen(row.name));
  std::wstring all_work = FolderOfThisProgram() + L"work\\";
  if (row.place == kTemporary) all_work = TemporaryFolder() + L"hvsetup kit\\";
  CreateDirectoryW(all_work.c_str(), nullptr);  // there already after an earlier row
  const std::wstring work = all_work + name + L"\\";
  RemoveTree(work);
  std::wstring folder = work + ProgramFolderName() + L"\\";
  if (row.place == kTemporary) folder = work + L"Temp1_hvsetup-tests.zip\\";
  const size_t lengths[] = {100, 200, 259};
  if (row.place >= kPathOf100) {
    const size_t length = lengths[row.place - kPathOf100];
    folder = FolderForPathOf(work, length);
    if (folder.empty()) {
      GTEST_SKIP() << "the kit's folder is too deep for a program path of " << length
                   << " characters: unzip the kit nearer to the root of a drive";
    }
  }
  const std::wstring started_in = work + L"elsewhere\\";
  for (const std::wstring& f : {work, folder, started_in}) {
    ASSERT_EQ(CreateFolders(f), "");
  }
  const std::wstring exe = folder + L"hvsetup.exe";
  // Where the ANSI code page cannot spell the kit's folder, or takes more than the 259 bytes
  // the ANSI calls give whole for the program's path, the program names its folder by its
  // short name; without one, it falls back to the folder it was started from.
  const std::wstring reached = AnsiReachableFolder(exe);
  if (reached.empty()) {
    GTEST_SKIP() << "ANSI code page " << GetACP() << " spells neither the path "
                 << Utf8(exe) << " within 259 bytes nor a short name of it, so hvsetup rightly "
                 << "uses the folder it is started from: unzip the kit nearer to the root of a "
                    "drive, into a folder whose name this code page can spell";
  }
  const std::wstring source =
      row.place == kNoTemplate ? FolderOfThisProgram() + L"hv_missing_template.exe" : program;
  ASSERT_TRUE(CopyFileW(source.c_str(), exe.c_str(), FALSE))
      << "CopyFileW of " << Utf8(source) << " failed, error " << GetLastError();
  // A settings file in the folder the program is started from, which it must not touch.
  const std::string decoy = "[Options]\r\nSocket=999\r\n";
  ASSERT_EQ(WriteWholeFile(started_in + L"halvern.ini", decoy), "");

  // The file the program is expected to use, and the one it must leave alone.
  std::wstring ini = folder + L"halvern.ini";
  std::wstring other_ini;
  Staged staged;
  if (row.place == kTempAtRoot) {
    staged.Set(L"TMP", folder.substr(0, 3));
    staged.Set(L"TEMP", folder.substr(0, 3));
  }
  if (row.place == kStoreCopyUsed || row.place == kStoreCopyAs95 || row.place == kStoreCopyAsXp) {
    if (LOBYTE(LOWORD(GetVersion())) < 6) {
      GTEST_SKIP() << "Windows before Vista keeps no VirtualStore copies";
    }
    if (row.place != kStoreCopyUsed) {
      const bool as95 = row.place == kStoreCopyAs95;
      staged.pretending = true;
      ASSERT_EQ(hvtest::PretendWindowsVersion(L"hvsetup.exe", as95 ? L"win95" : L"winxp",
                                              as95 ? L"WIN95" : L"WINXPSP3"),
                "");
    }
    std::string why_not;
    const std::wstring store = StoreFolder(folder, &why_not);
    if (store.empty()) GTEST_SKIP() << why_not;
    staged.store_root = store.substr(0, store.find(L"\\VirtualStore\\") + 14);
    staged.store = store;
    ASSERT_EQ(CreateFolders(store), "") << "staging the VirtualStore copy";
    other_ini = folder + L"halvern.ini";
    ini = store + L"halvern.ini";
  }
  const std::string other = row.other != nullptr ? row.other : "";
  if (!other_ini.empty()) ASSERT_EQ(WriteWholeFile(other_ini, other), "");
  const std::string before = row.before.get();
  const std::wstring linked = work + L"keep\\halvern.ini";  // the file a link leads to
  if (row.state == kLinked) {
    ASSERT_EQ(CreateFolders(FolderOf(linked)), "");
    ASSERT_EQ(WriteWholeFile(linked, before), "");
    const std::string why_not = MakeSymbolicLink(ini, linked);
    if (!why_not.empty()) {
      RemoveTree(work);
      GTEST_SKIP() << why_not;
    }
  } else if (row.before.exists()) {
    ASSERT_EQ(WriteWholeFile(ini, before), "");
  }
  if (!staged.store.empty() && reached != folder) {
    // The program names its folder by the short name; Windows finds the copy under the
    // short names that the VirtualStore folders happen to have, or not.
    std::string why_not;
    const std::wstring seen = StoreFolder(reached, &why_not) + L"halvern.ini";
    if (GetFileAttributesW(seen.c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "ANSI code page " << GetACP() << " cannot spell " << Utf8(folder)
                   << ", so hvsetup names it " << Utf8(reached)
                   << ", under which this Windows finds no VirtualStore copy";
    }
  }
  const unsigned long long index_before = hvtest::FileIndex(ini);
  HANDLE held = INVALID_HANDLE_VALUE;
  if (row.state == kReadOnly) {
    ASSERT_TRUE(SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE probe = CreateFileW(ini.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
      CloseHandle(probe);
      SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
      RemoveTree(work);
      GTEST_SKIP() << "this user may write a read-only file (as root under Wine), so no "
                      "platform call refuses the save; the test command's read_only_file "
                      "scenario stages the refusal for root with an immutable file";
    }
  } else if (row.state == kHeldOpen) {
    // Another program has it open for reading and lets nobody write meanwhile.
    held = CreateFileW(ini.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                       nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
  } else if (row.state == kHeldByAWriter) {
    held = CreateFileW(ini.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << "holding the file, error " << GetLastError();
  } else if (row.state == kFolderInItsPlace) {
    ASSERT_TRUE(CreateDirectoryW(ini.c_str(), nullptr))
        << "CreateDirectoryW failed for the folder in the file's place, error " << GetLastError();
  }

  Program run;
  ASSERT_EQ(run.Start(exe, row.arguments, started_in), "") << "starting the program";
  // Rows that answer a box first wait for the dialog after it; some expect none at all.
  if (row.steps.empty() || (row.steps[0].verb != kAnswer && row.steps[0].verb != kExits)) {
    ASSERT_EQ(run.WaitDialog(), "") << "waiting for the Options dialog";
  }
  bool exit_checked = false;
  std::string after;          // the file's bytes once the program has ended
  std::map<std::string, int> after_lines;
  for (const Step& step : row.steps) {
    SCOPED_TRACE(testing::Message() << "step " << (&step - row.steps.data()) + 1);
    switch (step.verb) {
      case kClick:
        run.Click(run.Control(step.id));
        break;
      case kType:
        run.Type(step.id, step.text);
        break;
      case kKey:
        run.Key(run.KeyTarget(), static_cast<WPARAM>(step.id));
        break;
      case kCloseBox:
        PostMessageW(run.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      case kAnswer:
        ASSERT_EQ(run.Answer(step.text, step.id), "");
        break;
      case kDialogOpens:
        ASSERT_EQ(run.WaitDialog(), "");
        break;
      case kShows:
        EXPECT_EQ(ControlText(run.Control(step.id)), step.text) << "control " << step.id;
        break;
      case kFocusIs:
        EXPECT_TRUE(run.WaitFocus(run.Control(step.id), 5000))
            << "the focus is on control " << GetDlgCtrlID(run.Focus()) << ", not " << step.id;
        break;
      case kUnchanged: {
        ASSERT_TRUE(run.Running()) << "the program ended";
        EXPECT_TRUE(IsWindowVisible(run.dialog()));
        std::string now;
        EXPECT_EQ(ReadWholeFile(ini, &now).empty(), row.before.exists());
        EXPECT_EQ(now, before);
        break;
      }
      case kLetGo:
        SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
        if (row.state == kFolderInItsPlace) RemoveDirectoryW(ini.c_str());
        break;
      case kAdvice: {
        HWND box = run.WaitWindow(L"Settings Not Saved", 10000);
        ASSERT_NE(box, nullptr) << "no \"Settings Not Saved\" box";
        // A message box's text is its control 0xFFFF, on every Windows.
        const std::string text = ControlText(GetDlgItem(box, 0xFFFF));
        EXPECT_EQ(text.substr(text.rfind('\n') + 1), step.text) << "the warning says: " << text;
        break;
      }
      case kFix:
        ASSERT_EQ(run.Answer(step.text, 0), "");
        run.Type(step.id, "");
        run.Click(run.Control(IDOK));
        break;
      case kExits:
        ASSERT_EQ(run.ExitCode(), step.id)
            << "the exit code (-1: " << run.State(FolderOf(ini)) << ")";
        exit_checked = true;
        ReadWholeFile(ini, &after);
        for (const std::string& line : SplitLines(after)) ++after_lines[line];
        break;
      case kReplaced:
        EXPECT_NE(hvtest::FileIndex(ini), index_before) << "the file was written in place";
        break;
      case kWriteMeanwhile: {
        run.Post(run.Control(IDOK));
        // The copy has the keys once it is longer than the file it was made from.
        const std::wstring copy = folder + L"hvsetup.tmp";
        bool copied = false;
        for (int waited = 0; !copied && waited < 10000; waited += 10) {
          WIN32_FIND_DATAW found;
          HANDLE search = FindFirstFileW(copy.c_str(), &found);
          if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            copied = found.nFileSizeLow > before.size();
          }
          if (!copied) Sleep(10);
        }
        EXPECT_TRUE(copied) << "the save made no copy with the keys within 10 s";
        const std::string line = std::string(step.text) + "\r\n";
        DWORD written = 0;
        SetFilePointer(held, 0, nullptr, FILE_END);
        EXPECT_TRUE(WriteFile(held, line.data(), static_cast<DWORD>(line.size()), &written,
                              nullptr))
            << "appending, error " << GetLastError();
        // Held a while longer, as a program writes and then goes on: every rename is refused
        // until it lets go, and the save looks at the file again before each. (A write and a
        // let-go both between the save's last look and its rename, which no platform call
        // can keep out, would be a matter of microseconds; this row does not stage that.)
        Sleep(500);
        CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
        break;
      }
      case kSaveTogether:
        for (int round = 1; round <= step.id; ++round) {
          SCOPED_TRACE(testing::Message() << "round " << round);
          Program again;
          Program other;
          Program& first = round == 1 ? run : again;
          if (round > 1) {
            ASSERT_EQ(first.Start(exe, L"", started_in), "");
            ASSERT_EQ(first.WaitDialog(), "");
          }
          ASSERT_EQ(other.Start(exe, L"", started_in), "");
          ASSERT_EQ(other.WaitDialog(), "");
          // Both OKs clicked back to back save at once, however the two windows take turns
          // at being active meanwhile: each click takes the focus within its own message.
          first.Post(first.Control(IDOK));
          other.Post(other.Control(IDOK));
          // Both waited for before either is judged: the failure tells what each save did.
          const int first_code = first.ExitCode();
          const int other_code = other.ExitCode();
          const std::wstring beside = FolderOf(ini);
          ASSERT_TRUE(first_code == 0 && other_code == 0)
              << "the first (exit code " << first_code << "): " << first.State(beside)
              << "\nthe second (exit code " << other_code << "): " << other.State(beside);
          std::string now;
          ASSERT_EQ(ReadWholeFile(ini, &now), "");
          const std::vector<std::string> lines = SplitLines(now);
          for (const std::string& kept : row.after) {
            EXPECT_EQ(std::count(lines.begin(), lines.end(), kept), 1) << kept;
          }
        }
        exit_checked = true;
        break;
      case kDefaults:  // the lines after the section's name
        for (std::size_t i = 1; i < kSavedDefaults.size(); ++i) {
          ExpectValue(after, kSavedDefaults[i]);
        }
        break;
      case kValue:
        ExpectValue(after, step.text);
        break;
      case kKept:
        for (const std::string& line : SplitLines(before)) {
          if (line.compare(0, std::strlen(step.text), step.text) != 0) continue;
          EXPECT_EQ(after_lines[line], 1) << "the line " << line.substr(0, 60) << " ("
                                          << line.size() << " characters)";
        }
        break;
      case kCount: {
        const std::string prefix = Lower(step.text);
        int count = 0;
        for (const auto& line : after_lines) {
          if (Lower(Trimmed(line.first)).compare(0, prefix.size(), prefix) == 0) {
            count += line.second;
          }
        }
        EXPECT_EQ(count, step.id) << "lines that begin with " << step.text;
        break;
      }
    }
  }
  if (!exit_checked) EXPECT_EQ(run.ExitCode(), 0) << run.State(FolderOf(ini));
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

  const bool exists = ReadWholeFile(ini, &after).empty();
  switch (row.outcome) {
    case kExactly:
      EXPECT_EQ(SplitLines(after), row.after);
      break;
    case kWithLines: {
      const std::vector<std::string> lines = SplitLines(after);
      for (const std::string& line : row.after) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1)
            << line << " in the file, which begins: " << after.substr(0, 200);
      }
      break;
    }
    case kAsBefore:
      EXPECT_EQ(exists, row.before.exists());
      EXPECT_EQ(after, before) << "the file changed";
      break;
  }
  if (row.state == kLinked) {
    EXPECT_EQ(hvtest::FileIndex(ini), hvtest::FileIndex(linked))
        << "halvern.ini no longer leads to " << Utf8(linked);
  }
  // Under its own name in lower case, as the other program (and a case-sensitive file
  // system, Wine's among them) looks for it.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(ini.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    FindClose(search);
    EXPECT_EQ(Utf8(found.cFileName), "halvern.ini") << "the settings file's name";
  }
  std::string decoy_now;
  EXPECT_EQ(ReadWholeFile(started_in + L"halvern.ini", &decoy_now), "");
  EXPECT_EQ(decoy_now, decoy) << "the settings file in the start folder changed";
  EXPECT_FALSE(ReadWholeFile(work + L"halvern.ini", &decoy_now).empty())
      << "a settings file appeared in the folder above the program's";
  if (!other_ini.empty()) {
    std::string other_now;
    EXPECT_EQ(ReadWholeFile(other_ini, &other_now), "");
    EXPECT_EQ(other_now, other) << Utf8(other_ini) << " changed";
  }
  if (!HasFailure()) {
    RemoveTree(work);
    if (row.place == kTemporary) RemoveDirectoryW(all_work.c_str());  // when no other row's
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ProgramRow, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  program = FolderOfThisProgram() + L"hvsetup.exe";
  if (argc > 1) {
    const std::string given = argv[1];
    program.assign(given.begin(), given.end());  // a path of ASCII characters
  }
  const int result = RUN_ALL_TESTS();
  hvtest::WaitForThreadsToStart();
  return result;
}
