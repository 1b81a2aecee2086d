// Finding the six keys' lines in the settings file's text, and the changes that give them
// their new values.
#include "settings/settings_text.h"

#include <cstddef>

#include "settings/setting_rules.h"
#include "shell/code_page.h"

namespace {

// Where in its line the scan is.
enum LineKind {
  kLineStart,  // blanks so far
  kKeyName,    // the name before a '='
  kBracket,    // a line that starts with '['
  kRest,       // after a key line's '=': its value, which the scan passes over
};

// A unit of text that is no ASCII character: a lead byte and its second byte, say.
constexpr unsigned kWideCharacter = 0x100;

unsigned Folded(unsigned c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

// 1 when the line's name so far is `text`, letter case aside.
int NameIs(const TextLine& line, const char* text) {
  std::size_t i = 0;
  while (i < line.name_length && text[i] != '\0' &&
         line.name[i] == Folded(static_cast<unsigned char>(text[i]))) {
    ++i;
  }
  return i == line.name_length && text[i] == '\0';
}

// The missing lines go at `at`, ending as the line before them ends, after a line ending
// first where `line_break`.
void NoteInsertion(TextScan& scan, TextOffset at, int line_break) {
  scan.insert_at = at;
  scan.insert_ending = scan.last_ending;
  scan.insert_break = line_break;
}

// The line ends with `ending` (0 for none: the end of the text) at `line_end`.
void EndLine(TextScan& scan, int ending, TextOffset line_end) {
  TextLine& line = scan.line;
  if (ending != 0) scan.last_ending = ending;
  const int section_line = line.kind == kBracket && line.closed;
  if (scan.done) {
  } else if (section_line && scan.in_section) {
    scan.done = 1;
  } else if (section_line ? line.section_named : scan.in_section && line.equals != 0) {
    // The section's line, or a key line in it: the missing lines would follow it.
    scan.in_section = 1;
    const std::size_t key = line.key - 1;
    if (!section_line && line.key != 0 && (scan.found >> key & 1) == 0) {
      scan.found |= 1u << key;
      scan.splices[scan.splice_count++] = {line.equals, line.content_end - line.equals, key};
    }
    NoteInsertion(scan, line_end, ending == 0);
  }
  line = TextLine{};
  line.start = line_end;
}

// One character `c` that starts at `start`; the scan's position is just after it.
void ScanCharacter(TextScan& scan, unsigned c, TextOffset start) {
  TextLine& line = scan.line;
  if (scan.after_cr) {
    scan.after_cr = 0;
    if (c == '\n') {
      EndLine(scan, 3, scan.position);
      return;
    }
    EndLine(scan, 1, start);
  }
  if (c == '\r' || c == '\n') {
    line.content_end = start;
    scan.after_cr = c == '\r';
    if (c == '\n') EndLine(scan, 2, scan.position);
    return;
  }
  const int blank = c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A;
  if (line.kind == kRest || (line.kind == kLineStart && blank)) return;
  if (line.kind == kLineStart) {
    line.kind = c == '[' ? kBracket : kKeyName;
    if (c == '[') return;
  }
  if (c == '=' && line.equals == 0) {
    line.equals = scan.position;
    if (line.kind == kKeyName) {
      line.kind = kRest;
      for (std::size_t key = 0; key < kSavedKeyCount; ++key) {
        if (NameIs(line, SavedKey(key))) line.key = key + 1;
      }
      return;
    }
  }
  // A section's name is what stands before its last ']': the name so far is looked at at
  // each ']', which then joins the name, so that a later one finds no section's name.
  if (c == ']' && line.kind == kBracket) {
    line.closed = 1;
    line.section_named = NameIs(line, kOptionsSection);
  }
  // The name, letters folded, without the blanks around it; one with a blank or a byte
  // above 0x7F inside, or longer than any key's, is no name the scan looks for.
  if (blank) {
    line.blank_after_name = line.name_length != 0;
  } else if (line.blank_after_name || line.name_length == sizeof line.name || c >= 0x80) {
    line.name_length = sizeof line.name;
  } else {
    line.name[line.name_length++] = static_cast<unsigned char>(Folded(c));
  }
}

void ScanByte(TextScan& scan, unsigned char byte) {
  const TextOffset at = scan.position++;
  if (scan.position > kLongestText) scan.too_long = 1;
  if (at < scan.mark || scan.done) return;
  const unsigned first = scan.pending;
  scan.pending = 0;
  if (first == 0 && (scan.wide || IsLeadByte(byte, scan.lead))) {
    scan.pending = byte + 1u;
  } else if (first == 0) {
    ScanCharacter(scan, byte, at);
  } else {
    // The unit's two bytes, in their order; a lead byte and its second byte are no ASCII
    // character, whatever they make.
    const unsigned shift = scan.big_endian ? 8 : 0;
    ScanCharacter(scan, scan.wide ? (first - 1) << shift | byte << (8 - shift) : kWideCharacter,
                  at - 1);
  }
}

// Writes a splice's text unit by unit, counting what does not fit.
struct TextWriter {
  const TextScan* scan;
  unsigned char* out;
  std::size_t capacity;
  std::size_t length;
};

void PutByte(TextWriter& w, unsigned byte) {
  if (w.length < w.capacity) w.out[w.length] = static_cast<unsigned char>(byte);
  ++w.length;
}

// In UTF-16 the character's high byte, 0, goes first in big-endian order, second otherwise.
void Put(TextWriter& w, unsigned char c) {
  for (int i = 0; i <= w.scan->wide; ++i) PutByte(w, i == w.scan->big_endian ? c : 0);
}

void PutText(TextWriter& w, const char* text) {
  for (; *text != '\0'; ++text) Put(w, static_cast<unsigned char>(*text));
}

void PutEnding(TextWriter& w) {
  if (w.scan->insert_ending & 1) Put(w, '\r');
  if (w.scan->insert_ending & 2) Put(w, '\n');
}

}  // namespace

void BeginTextScan(TextScan* scan, const LeadByteRanges& lead, const unsigned char* first,
                   std::size_t count) {
  *scan = TextScan{};
  scan->lead = lead;
  if (count >= 3 && first[0] == 0xEF && first[1] == 0xBB && first[2] == 0xBF) {
    scan->mark = 3;
    scan->lead = kSingleByteCodePage;
  } else if (count >= 2 && (first[0] | 1) == 0xFF && (first[0] ^ first[1]) == 1) {
    scan->mark = 2;
    scan->wide = 1;
    scan->big_endian = first[0] == 0xFE;
  }
  scan->line.start = scan->mark;
  scan->last_ending = 3;  // CR LF where no line has ended yet
}

void ScanText(TextScan* scan, const unsigned char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) ScanByte(*scan, bytes[i]);
}

void EndTextScan(TextScan* scan) {
  // A lead byte at the very end stands alone. Half a unit is no character: the text ends
  // before it, and what the save adds at the end goes there, in step with the units.
  TextOffset end = scan->position;
  const int lone_lead = scan->pending != 0 && !scan->wide;
  if (lone_lead) ScanCharacter(*scan, kWideCharacter, end - 1);
  if (scan->pending != 0 && scan->wide) --end;
  const int open = end > scan->line.start;
  const int ending = scan->after_cr;
  scan->after_cr = 0;
  if (!ending) scan->line.content_end = end;
  if (open) EndLine(*scan, ending, end);
  if (!scan->in_section && !scan->done) NoteInsertion(*scan, end, open && !ending);
  // Lines added after a lead byte that ends the file, and stays (it is not in a value the
  // save replaces), start with a blank: the lead byte takes it as its second byte, and still
  // stands for one character, rather than take the line ending that has to follow it.
  scan->insert_blank = lone_lead && scan->insert_at == end;
  if (scan->splice_count != 0) {
    const TextSplice& last = scan->splices[scan->splice_count - 1];
    if (last.skip != 0 && last.at + last.skip == end) scan->insert_blank = 0;
  }
  if (scan->found != (1u << kSavedKeyCount) - 1) {
    scan->splices[scan->splice_count++] = {scan->insert_at, 0, kSavedKeyCount};
  }
}

std::size_t SpliceText(const TextScan& scan, const OptionValues& values, std::size_t what,
                       unsigned char* out, std::size_t capacity) {
  TextWriter w = {&scan, out, capacity, 0};
  if (what < kSavedKeyCount) {
    PutText(w, SavedValue(values, what));
    return w.length;
  }
  if (scan.insert_blank) Put(w, ' ');
  if (scan.insert_break) PutEnding(w);
  if (!scan.in_section && !scan.done) {
    PutText(w, "[Options]");
    PutEnding(w);
  }
  for (std::size_t key = 0; key < kSavedKeyCount; ++key) {
    if (scan.found >> key & 1) continue;
    PutText(w, SavedKey(key));
    Put(w, '=');
    PutText(w, SavedValue(values, key));
    PutEnding(w);
  }
  return w.length;
}
