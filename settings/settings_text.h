// The settings file's text as a save changes it: the values of the six keys of the first
// [Options] section, and the keys or the section it lacks. Every other byte stays as it was
// (blank lines, blanks, comments, other sections and keys, line endings, bytes no code page
// decodes), because the game and the tools around it own them. Pure: the platform hands the
// bytes over and carries out the moves, so the rule is tested natively, and it is one rule
// whether the save writes a copy that it renames over the file or the file in place.
//
// The rule:
// - Lines end at CR, LF or CR LF. In ANSI text a lead byte of the code page and the byte
//   after it are one character, whatever that byte is, as the platform's reader takes them:
//   '[', ']', '=' and line ends count only where a character starts. A UTF-8 mark (EF BB BF)
//   starts UTF-8 text, which has no lead bytes; a UTF-16 mark (FF FE, or FE FF) starts text
//   of 16-bit units in that order, and what the save writes there is written in such units.
// - A section line starts, after blanks, with '[' and holds a ']'; its name lies between the
//   '[' and its last ']', blanks around it aside. The first section named Options, in any
//   letter case, is the save's; the next section line ends it.
// - A key line is any other line with a '='; its name is what stands before the first '=',
//   blanks around it aside. In the save's section the first line of each of the six keys
//   (the name in any letter case) keeps everything up to and including that '=' and its line
//   ending; what lies between them becomes the new value.
// - The keys the section lacks follow its last key line (the section line where it has
//   none) as "Key=value" lines, in the order of the six; without the section, "[Options]"
//   and all six follow the file's last line. Each line the save adds ends with the line
//   ending of the line it follows, or where that one has none (the file's last line) with the
//   last ending before it, or CR LF in a file that has none; and there a line ending is put
//   first, so that the new line is a line of its own. After a lead byte that ends the file
//   a blank goes first of all, for the lead byte to take as its second byte: it stands for
//   one character as it did, and the line ending stays one.
// - Blanks are spaces, tabs, vertical tabs, form feeds and the DOS end-of-file mark (1A).
#pragma once

#include <cstddef>

#include "settings/setting_rules.h"
#include "shell/code_page.h"

using TextOffset = unsigned long;
// A longer settings file is not edited.
constexpr TextOffset kLongestText = 0x7FFFFFFF;

// One change: at `at`, `skip` old bytes give way to the text of `what` (a key's new value, or
// with kSavedKeyCount the lines added).
struct TextSplice {
  TextOffset at;
  TextOffset skip;
  std::size_t what;
};

// What the scan knows of the line it reads; all zero where a line starts. (Flags and small
// counts are bytes: a byte is set by a shorter instruction.)
struct TextLine {
  TextOffset start;
  TextOffset content_end;  // where its line ending starts
  TextOffset equals;       // just after its first '=', 0 for none
  unsigned char kind;
  unsigned char closed;         // a ']' seen
  unsigned char section_named;  // the name before the last ']' is the save's section's
  unsigned char blank_after_name;
  unsigned char key;  // 1 + the one of the six keys the name before '=' is; 0 for none
  unsigned char name_length;
  unsigned char name[16];
};

// One pass over the file's bytes, in order, in pieces of any size; its fields are the scan's
// own until EndTextScan. (The fields used most come first: nearer the start, the program
// reaches them by shorter instructions.)
struct TextScan {
  TextOffset position;  // bytes scanned
  TextOffset mark;      // the bytes of the mark, which start no line
  unsigned pending;     // a unit's first byte or a lead byte, plus 1; 0 for none
  unsigned char wide;        // UTF-16: units of two bytes
  unsigned char big_endian;  // the high byte first
  unsigned char too_long;
  unsigned char after_cr;
  unsigned char last_ending;  // 1 CR, 2 LF, 3 CR LF (also where none has ended yet)
  unsigned char in_section;
  unsigned char done;  // the save's section has ended: nothing after it changes
  // What the save changes, once the scan has ended.
  unsigned char insert_ending;  // the line ending the missing keys take
  unsigned char insert_break;   // a line ending goes first
  unsigned char insert_blank;   // and a blank before it, for a lead byte that ends the file
  unsigned found;               // one bit for each of the six keys found
  TextOffset insert_at;         // where the missing keys (or the section) go
  std::size_t splice_count;
  TextLine line;
  LeadByteRanges lead;
  // In the order they stand in the file: made from the last to the first, each leaves the
  // offsets of those before it as the scan found them.
  TextSplice splices[kSavedKeyCount + 1];
};

// `first`: the file's first bytes (the first piece read), where a mark would be.
void BeginTextScan(TextScan* scan, const LeadByteRanges& lead, const unsigned char* first,
                   std::size_t count);
// Every byte from the start of the file on, the mark's included.
void ScanText(TextScan* scan, const unsigned char* bytes, std::size_t count);
void EndTextScan(TextScan* scan);

// The most bytes a splice's text may take: all six lines and the section, in UTF-16.
constexpr std::size_t kSpliceTextCapacity = 512;

// Writes the text of `what` into `out` (`capacity` bytes) and returns its length; beyond the
// capacity, bytes are counted, not written.
std::size_t SpliceText(const TextScan& scan, const OptionValues& values, std::size_t what,
                       unsigned char* out, std::size_t capacity);
