// Settings files of every shape the game and its tools write, each with the six values a
// save gives it and the bytes it must leave: the editor's table natively, and the whole
// save under Windows and Wine; and the editor carried out on bytes in memory, as the
// platform carries it out on a file. Pure, so that every test program can include it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "settings/setting_rules.h"
#include "settings/settings_text.h"

namespace hvtest {

using namespace std::string_literals;

struct SettingsShape {
  const char* name;
  std::string before;
  // Resolution, VideoBackBuffer, HardwareFills, Compatibility, Socket, DestNet.
  const char* values[6];
  std::string after;
  // Where a double-byte code page (0x81 a lead byte: 932, 936, 949, 950) reads the bytes
  // otherwise; empty where it reads them alike.
  std::string after_double_byte;
};

// `text` (ASCII) as UTF-16 with its mark, low or high byte first.
inline std::string Utf16(const std::string& text, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : text) out += big_endian ? "\0"s + c : std::string(1, c) + "\0"s;
  return out;
}

// The six keys as the values below give them, each line ended by `ending`.
inline std::string SixLines(const std::string& ending) {
  std::string out;
  for (const char* line : {"Resolution=0", "VideoBackBuffer=1", "HardwareFills=1",
                           "Compatibility=0", "Socket=213", "DestNet=73.0F.2C.8A"}) {
    out += line + ending;
  }
  return out;
}

#define HV_VALUES {"0", "1", "1", "0", "213", "73.0F.2C.8A"}
// Resolution, Socket there; the four others added after the last key line, in order.
#define HV_ADDED4 \
  "VideoBackBuffer=1\r\nHardwareFills=1\r\nCompatibility=0\r\nDestNet=73.0F.2C.8A\r\n"

inline const std::vector<SettingsShape>& SettingsShapes() {
  static const std::vector<SettingsShape> shapes = {
      {"blank lines and comments stay; keys added after the section's last key line",
       "; Halvern\r\n\r\n[Player]\r\nName=Ann\r\n\r\n[Options]\r\nResolution=1\r\n\r\n"
       "Socket=5\r\n; network\r\n\r\n[Network]\r\nModem=COM2\r\n",
       HV_VALUES,
       "; Halvern\r\n\r\n[Player]\r\nName=Ann\r\n\r\n[Options]\r\nResolution=0\r\n\r\n"
       "Socket=213\r\n" HV_ADDED4 "; network\r\n\r\n[Network]\r\nModem=COM2\r\n",
       ""},
      {"blanks and letter cases: each line keeps its name and what stands before its value",
       "[ Player ]\r\n  Name  =  Ann  \r\n[ oPTIONS ]  \r\n  resolution =  1 \r\n"
       "VIDEOBACKBUFFER\t=0\r\n  socket = 5\r\ndestnet=\r\nhardwarefills=0\r\n"
       "compatibility = 1\r\n",
       HV_VALUES,
       "[ Player ]\r\n  Name  =  Ann  \r\n[ oPTIONS ]  \r\n  resolution =0\r\n"
       "VIDEOBACKBUFFER\t=1\r\n  socket =213\r\ndestnet=73.0F.2C.8A\r\nhardwarefills=1\r\n"
       "compatibility =0\r\n",
       ""},
      {"lines without '=', duplicate keys and sections: the first of each is the one",
       "[Options]\r\nSocket=5\r\nJust a line\r\nSocket=6\r\nResolution=1\r\n[Options]\r\n"
       "DestNet=11\r\n[Game]\r\nLevel=3\r\n",
       HV_VALUES,
       "[Options]\r\nSocket=213\r\nJust a line\r\nSocket=6\r\nResolution=0\r\n" HV_ADDED4
       "[Options]\r\nDestNet=11\r\n[Game]\r\nLevel=3\r\n",
       ""},
      {"a section without keys: they follow its line",
       "[Options]\r\n\r\n[Game]\r\nLevel=3\r\n", HV_VALUES,
       "[Options]\r\n" + SixLines("\r\n") + "\r\n[Game]\r\nLevel=3\r\n", ""},
      {"LF line endings", "[Game]\nLevel=3\n\n[Options]\nSocket=5\n\n", HV_VALUES,
       "[Game]\nLevel=3\n\n[Options]\nSocket=213\nResolution=0\nVideoBackBuffer=1\n"
       "HardwareFills=1\nCompatibility=0\nDestNet=73.0F.2C.8A\n\n",
       ""},
      {"CR line endings", "[Game]\rLevel=3\r[Options]\rSocket=5\r", HV_VALUES,
       "[Game]\rLevel=3\r[Options]\rSocket=213\rResolution=0\rVideoBackBuffer=1\r"
       "HardwareFills=1\rCompatibility=0\rDestNet=73.0F.2C.8A\r",
       ""},
      {"mixed line endings: an added line ends as the line it follows",
       "[Game]\nLevel=3\r\n[Options]\rResolution=1\nSocket=5\r\n\n[Net]\r\nX=1\n", HV_VALUES,
       "[Game]\nLevel=3\r\n[Options]\rResolution=0\nSocket=213\r\n" HV_ADDED4
       "\n[Net]\r\nX=1\n",
       ""},
      {"no final line ending after a key of the six: one goes before the added lines",
       "[Game]\r\nLevel=3\r\n[Options]\r\nSocket=5", HV_VALUES,
       "[Game]\r\nLevel=3\r\n[Options]\r\nSocket=213\r\nResolution=0\r\n" HV_ADDED4, ""},
      {"no final line ending, nothing added: still none",
       "[Options]\r\nResolution=1\r\nVideoBackBuffer=0\r\nHardwareFills=0\r\nCompatibility=1\r\n"
       "Socket=5\r\nDestNet=",
       HV_VALUES,
       "[Options]\r\nResolution=0\r\nVideoBackBuffer=1\r\nHardwareFills=1\r\nCompatibility=0\r\n"
       "Socket=213\r\nDestNet=73.0F.2C.8A",
       ""},
      {"no section: added at the end, after a line ending", "[Game]\r\nLevel=3", HV_VALUES,
       "[Game]\r\nLevel=3\r\n[Options]\r\n" + SixLines("\r\n"), ""},
      {"an empty file", "", HV_VALUES, "[Options]\r\n" + SixLines("\r\n"), ""},
      {"empty values", "[Options]\r\nSocket=5\r\nDestNet=73.0F\r\n",
       {"1", "0", "0", "0", "", ""},
       "[Options]\r\nSocket=\r\nDestNet=\r\nResolution=1\r\nVideoBackBuffer=0\r\n"
       "HardwareFills=0\r\nCompatibility=0\r\n",
       ""},
      {"NUL bytes and bytes no code page decodes",
       "[Game]\r\nName=J\xf6rg\0\x81\xff\r\n\0\r\n[Options]\r\nSocket=5\r\n"s, HV_VALUES,
       "[Game]\r\nName=J\xf6rg\0\x81\xff\r\n\0\r\n[Options]\r\nSocket=213\r\nResolution=0\r\n"s
       HV_ADDED4,
       ""},
      {"a UTF-8 mark", "\xEF\xBB\xBF[Options]\r\nSocket=5\r\n[Spieler]\r\nName=J\xC3\xB6rg\r\n",
       HV_VALUES,
       "\xEF\xBB\xBF[Options]\r\nSocket=213\r\nResolution=0\r\n" HV_ADDED4
       "[Spieler]\r\nName=J\xC3\xB6rg\r\n",
       ""},
      {"UTF-16, low byte first", Utf16("[Options]\r\nSocket=5\r\n[Game]\r\nLevel=3\r\n", false),
       HV_VALUES,
       Utf16("[Options]\r\nSocket=213\r\nResolution=0\r\n" HV_ADDED4 "[Game]\r\nLevel=3\r\n",
             false),
       ""},
      {"UTF-16, high byte first", Utf16("[Game]\nLevel=3\n[Options]\nSocket=5", true), HV_VALUES,
       Utf16("[Game]\nLevel=3\n[Options]\nSocket=213\nResolution=0\nVideoBackBuffer=1\n"
             "HardwareFills=1\nCompatibility=0\nDestNet=73.0F.2C.8A\n",
             true),
       ""},
      // 81 5D and 81 3D are one character where 81 is a lead byte: no ']' and no '=' then.
      {"a second byte is never a ']' or a '='",
       "[Player]\r\nName=\x81]\r\n[Options]\x81]\r\nSocket=5\r\nX\x81=1\r\n\r\n", HV_VALUES,
       "[Player]\r\nName=\x81]\r\n[Options]\x81]\r\nSocket=5\r\nX\x81=1\r\n\r\n[Options]\r\n" +
           SixLines("\r\n"),
       "[Player]\r\nName=\x81]\r\n[Options]\x81]\r\nSocket=213\r\nResolution=0\r\n" HV_ADDED4
       "X\x81=1\r\n\r\n"},
      // A lead byte at the very end would take the line ending that follows it.
      {"a lead byte ends the file", "[Game]\r\nName=\x81", HV_VALUES,
       "[Game]\r\nName=\x81\r\n[Options]\r\n" + SixLines("\r\n"),
       "[Game]\r\nName=\x81 \r\n[Options]\r\n" + SixLines("\r\n")},
  };
  return shapes;
}

#undef HV_ADDED4
#undef HV_VALUES

// What a save takes from the dialog, for the six values in the order of the keys.
inline OptionValues ValuesOf(const char* const (&six)[6]) {
  OptionValues values = {};
  values.toggles[0] = six[0];
  values.toggles[1] = "";  // the second view of Resolution saves nothing
  for (int i = 0; i < 3; ++i) values.toggles[2 + i] = six[1 + i];
  for (int i = 0; i < 2; ++i) std::strncpy(values.texts[i], six[4 + i], kSettingValueCapacity - 1);
  return values;
}

// `before` as a save leaves it: its start handed over as the platform's first read, then
// scanned `piece` bytes at a time, each change made as the platform makes it in a file.
// "(refused)" where the scan refuses the file.
inline std::string EditedText(const std::string& before, const OptionValues& values,
                              const LeadByteRanges& lead, std::size_t piece) {
  TextScan scan;
  const auto* bytes = reinterpret_cast<const unsigned char*>(before.data());
  BeginTextScan(&scan, lead, bytes, before.size());
  for (std::size_t at = 0; at < before.size(); at += piece) {
    ScanText(&scan, bytes + at, std::min(piece, before.size() - at));
  }
  EndTextScan(&scan);
  if (scan.too_long) return "(refused)";
  std::string file = before;
  for (std::size_t i = scan.splice_count; i-- > 0;) {
    const TextSplice& splice = scan.splices[i];
    unsigned char text[kSpliceTextCapacity];
    const std::size_t n = SpliceText(scan, values, splice.what, text, sizeof text);
    if (n > sizeof text) return "(refused)";
    file.replace(splice.at, splice.skip, reinterpret_cast<const char*>(text), n);
  }
  return file;
}

}  // namespace hvtest
