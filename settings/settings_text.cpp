// Finding the six keys' lines in the settings file's text, and the moves that give them
// their new values in place.
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

// The match of a bracket line's name with "Options": 0 to 7 letters matched (0 also while
// blanks come first), then blanks after the name, the ']' after it, or no match.
constexpr int kNameEnded = 8;
constexpr int kSectionClosed = 9;
constexpr int kNoMatch = 10;

// A unit of text that is no ASCII character: a lead byte and its second byte.
constexpr unsigned kWideCharacter = 0x100;

unsigned Folded(unsigned c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

int IsBlank(unsigned c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A; }

// The one of the six keys the line's name is, or kSavedKeyCount.
std::size_t KeyOfName(const TextScan& scan) {
  for (std::size_t key = 0; key < kSavedKeyCount; ++key) {
    const char* name = SavedKey(key);
    std::size_t i = 0;
    while (i < scan.name_length && name[i] != '\0' &&
           scan.name[i] == Folded(static_cast<unsigned char>(name[i]))) {
      ++i;
    }
    if (i == scan.name_length && name[i] == '\0') return key;
  }
  return kSavedKeyCount;
}

// The missing lines go at `at`, ending as the line before them ends.
void NoteInsertion(TextScan& scan, TextOffset at, int line_break) {
  scan.insert_at = at;
  scan.insert_ending = scan.last_ending != 0 ? scan.last_ending : 3;
  scan.insert_break = line_break;
}

// The line ends with `ending` (0 for none: the end of the text) at `line_end`.
void EndLine(TextScan& scan, int ending, TextOffset line_end) {
  if (ending != 0) scan.last_ending = ending;
  if (scan.done) {
  } else if (scan.kind == kBracket && scan.closed) {
    if (scan.in_section) {
      scan.done = 1;
    } else if (scan.section_match == kSectionClosed) {
      scan.in_section = 1;
      scan.section_found = 1;
      NoteInsertion(scan, line_end, ending == 0);
    }
  } else if (scan.in_section && scan.equals != 0) {
    const std::size_t key = scan.kind == kBracket ? kSavedKeyCount : KeyOfName(scan);
    if (key < kSavedKeyCount && (scan.found >> key & 1) == 0) {
      scan.found |= 1u << key;
      scan.value_start[key] = scan.equals;
      scan.value_end[key] = scan.content_end;
    }
    NoteInsertion(scan, line_end, ending == 0);
  }
  scan.line_start = line_end;
  scan.equals = 0;
  scan.kind = kLineStart;
  scan.section_match = 0;
  scan.closed = 0;
  scan.blank_after_name = 0;
  scan.name_length = 0;
}

// One character `c` that starts at `start`; the scan's position is just after it.
void ScanCharacter(TextScan& scan, unsigned c, TextOffset start) {
  if (scan.after_cr) {
    scan.after_cr = 0;
    if (c == '\n') {
      EndLine(scan, 3, scan.position);
      return;
    }
    EndLine(scan, 1, start);
  }
  if (c == '\r' || c == '\n') {
    scan.content_end = start;
    scan.after_cr = c == '\r';
    if (c == '\n') EndLine(scan, 2, scan.position);
    return;
  }
  const int blank = IsBlank(c);
  switch (scan.kind) {
    case kLineStart:
      if (blank) return;
      if (c == '[') {
        scan.kind = kBracket;
        return;
      }
      scan.kind = kKeyName;
      [[fallthrough]];
    case kKeyName:
      if (c == '=') {
        scan.equals = scan.position;
        scan.kind = kRest;
      } else if (blank) {
        scan.blank_after_name = 1;
      } else if (scan.blank_after_name || scan.name_length == sizeof scan.name || c >= 0x80) {
        scan.name_length = sizeof scan.name;  // no key's name: too long, or not one word
      } else {
        scan.name[scan.name_length++] = static_cast<unsigned char>(Folded(c));
      }
      return;
    case kBracket: {
      // Without a ']' the line is a key line, whose first '=' counts.
      if (c == '=' && scan.equals == 0) scan.equals = scan.position;
      int& match = scan.section_match;
      if (c == ']') {
        scan.closed = 1;
        match = match == 7 || match == kNameEnded ? kSectionClosed : kNoMatch;
      } else if (match >= kSectionClosed) {
        // After the last ']' anything may follow; a later ']' makes the name longer.
      } else if (blank) {
        if (match == 7) match = kNameEnded;
        if (match != 0 && match != kNameEnded) match = kNoMatch;
      } else {
        match = match < 7 && Folded(c) == Folded(static_cast<unsigned char>(kOptionsSection[match]))
                    ? match + 1
                    : kNoMatch;
      }
      return;
    }
    default:
      return;
  }
}

void ScanByte(TextScan& scan, unsigned char byte) {
  const TextOffset at = scan.position++;
  if (scan.position > kLongestText) scan.too_long = 1;
  if (scan.done) return;
  const unsigned first = scan.pending;
  scan.pending = 0;
  if (scan.unit == 2) {
    if (first == 0) {
      scan.pending = byte + 1u;
    } else {
      ScanCharacter(scan, scan.big_endian ? (first - 1) << 8 | byte : (first - 1) | byte << 8,
                    at - 1);
    }
  } else if (first != 0) {
    ScanCharacter(scan, kWideCharacter, at - 1);
  } else if (IsLeadByte(byte, scan.lead)) {
    scan.pending = 1;
  } else {
    ScanCharacter(scan, byte, at);
  }
}

// Looks at the first bytes (up to three) for a mark, then scans what is not the mark.
void StartText(TextScan& scan) {
  const TextOffset seen = scan.position;
  const unsigned char* head = scan.head;
  TextOffset mark = 0;
  if (seen == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    mark = 3;
    scan.lead = kSingleByteCodePage;
  } else if (seen >= 2 && (head[0] == 0xFF || head[0] == 0xFE) && head[0] + head[1] == 0x1FD) {
    mark = 2;
    scan.unit = 2;
    scan.big_endian = head[0] == 0xFE;
  }
  scan.started = 1;
  scan.position = mark;
  scan.line_start = mark;
  for (TextOffset i = mark; i < seen; ++i) ScanByte(scan, head[i]);
}

}  // namespace

void BeginTextScan(TextScan* scan, const LeadByteRanges& lead) {
  *scan = TextScan{};
  scan->lead = lead;
  scan->unit = 1;
}

void ScanText(TextScan* scan, const unsigned char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (!scan->started) {
      scan->head[scan->position++] = bytes[i];
      if (scan->position == sizeof scan->head) StartText(*scan);
    } else {
      ScanByte(*scan, bytes[i]);
    }
  }
}

void EndTextScan(TextScan* scan) {
  if (!scan->started) StartText(*scan);
  // A lead byte at the very end stands alone. Half a unit is no character: the text ends
  // before it, and what the save adds at the end goes there, in step with the units.
  TextOffset end = scan->position;
  const int lone_lead = scan->pending != 0 && scan->unit == 1;
  if (scan->pending != 0 && scan->unit == 2) {
    --end;
  } else if (lone_lead && !scan->done) {
    ScanCharacter(*scan, kWideCharacter, end - 1);
  }
  const int open = end > scan->line_start;
  const int ending = scan->after_cr;
  scan->after_cr = 0;
  if (!ending) scan->content_end = end;
  if (open) EndLine(*scan, ending, end);
  if (!scan->section_found) NoteInsertion(*scan, end, open && !ending);
  // Lines added after a lead byte that ends the file, and stays (it is not in a value the
  // save replaces), start with a blank: the lead byte takes it as its second byte, and still
  // stands for one character, rather than take the line ending that has to follow it.
  scan->insert_blank = lone_lead && scan->insert_at == end;
  for (std::size_t key = 0; key < kSavedKeyCount; ++key) {
    if ((scan->found >> key & 1) && scan->value_start[key] < end && scan->value_end[key] == end) {
      scan->insert_blank = 0;
    }
  }
}

namespace {

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

void Put(TextWriter& w, unsigned char c) {
  if (w.scan->unit == 2 && w.scan->big_endian) PutByte(w, 0);
  PutByte(w, c);
  if (w.scan->unit == 2 && !w.scan->big_endian) PutByte(w, 0);
}

void PutText(TextWriter& w, const char* text) {
  for (; *text != '\0'; ++text) Put(w, static_cast<unsigned char>(*text));
}

void PutEnding(TextWriter& w) {
  if (w.scan->insert_ending & 1) Put(w, '\r');
  if (w.scan->insert_ending & 2) Put(w, '\n');
}

}  // namespace

std::size_t SpliceText(const TextEdit& edit, std::size_t index, unsigned char* out,
                       std::size_t capacity) {
  const TextScan& scan = edit.scan;
  TextWriter w = {&scan, out, capacity, 0};
  const std::size_t what = edit.splices[index].what;
  if (what < kSavedKeyCount) {
    PutText(w, SavedValue(*edit.values, what));
    return w.length;
  }
  if (scan.insert_blank) Put(w, ' ');
  if (scan.insert_break) PutEnding(w);
  if (!scan.section_found) {
    Put(w, '[');
    PutText(w, kOptionsSection);
    Put(w, ']');
    PutEnding(w);
  }
  for (std::size_t key = 0; key < kSavedKeyCount; ++key) {
    if (scan.found >> key & 1) continue;
    PutText(w, SavedKey(key));
    Put(w, '=');
    PutText(w, SavedValue(*edit.values, key));
    PutEnding(w);
  }
  return w.length;
}

int PlanTextEdit(TextEdit* edit, const OptionValues& values) {
  const TextScan& scan = edit->scan;
  edit->values = &values;
  // The found keys' values in the order they stand in, then the lines added, which follow
  // every one of them (also a value that ends where the file does).
  std::size_t count = 0;
  for (std::size_t key = 0; key < kSavedKeyCount; ++key) {
    if ((scan.found >> key & 1) == 0) continue;
    std::size_t i = count++;
    for (; i > 0 && edit->splices[i - 1].at > scan.value_start[key]; --i) {
      edit->splices[i] = edit->splices[i - 1];
    }
    edit->splices[i] = {scan.value_start[key], scan.value_end[key] - scan.value_start[key], 0, key};
  }
  if (scan.found != (1u << kSavedKeyCount) - 1) {
    edit->splices[count++] = {scan.insert_at, 0, 0, kSavedKeyCount};
  }
  edit->splice_count = count;
  // The old text between the splices, and where each piece goes.
  TextMove gaps[kMostSplices + 1];
  TextMove texts[kMostSplices];
  TextOffset from = 0;
  TextOffset to = 0;
  for (std::size_t i = 0; i <= count; ++i) {
    const TextOffset end = i < count ? edit->splices[i].at : scan.position;
    gaps[i] = {from, to, end - from, -1};
    to += end - from;
    if (i == count) break;
    TextSplice& splice = edit->splices[i];
    const std::size_t length = SpliceText(*edit, i, nullptr, 0);
    if (length > kSpliceTextCapacity) return 0;
    splice.length = static_cast<TextOffset>(length);
    texts[i] = {0, to, splice.length, static_cast<int>(i)};
    to += splice.length;
    from = splice.at + splice.skip;
  }
  if (scan.too_long || to > kLongestText) return 0;
  edit->new_size = to;
  std::size_t moves = 0;
  for (std::size_t i = 0; i <= count; ++i) {
    if (gaps[i].to < gaps[i].from && gaps[i].count != 0) edit->moves[moves++] = gaps[i];
  }
  for (std::size_t i = count + 1; i-- > 0;) {
    if (gaps[i].to > gaps[i].from && gaps[i].count != 0) edit->moves[moves++] = gaps[i];
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (texts[i].count != 0) edit->moves[moves++] = texts[i];
  }
  edit->move_count = moves;
  return 1;
}
