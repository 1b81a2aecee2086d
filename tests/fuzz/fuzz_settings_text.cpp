// Fuzzes the save's editor with arbitrary file bytes. Whatever the bytes, every byte outside
// the values of the six keys' lines stays, in order, and a reader written apart from the
// editor finds the six values in the first [Options] section. Input: one byte of choices
// (the code page, the values), then the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/settings_text.h"
#include "support/settings_shapes.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

const LeadByteRanges kCodePages[] = {
    kSingleByteCodePage,
    {{0x81, 0x9F, 0xE0, 0xFC}},  // 932
    {{0x81, 0xFE}},              // 936, 949, 950
    {{0x84, 0xD3, 0xD8, 0xDE, 0xE0, 0xF9}},  // 1361, Korean Johab: three ranges
};

// A unit of the text: its value (0x100 for a character of two bytes) and where it starts.
struct Unit {
  unsigned value;
  std::size_t start;
};

// The text's units, worked out on the whole file apart from the editor: after a mark, UTF-8
// (no lead bytes) or UTF-16 units; a lead byte and the byte after it are one, unless it is
// the last; a byte left over from a unit of two is none.
std::vector<Unit> Units(const std::string& file, const LeadByteRanges& lead) {
  auto byte = [&](std::size_t i) {
    return static_cast<unsigned>(static_cast<unsigned char>(file[i]));
  };
  std::vector<Unit> units;
  std::size_t i = 0;
  bool wide = false, big = false, utf8 = false;
  if (file.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    utf8 = true;
    i = 3;
  } else if (file.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) ||
                                  (byte(0) == 0xFE && byte(1) == 0xFF))) {
    wide = true;
    big = byte(0) == 0xFE;
    i = 2;
  }
  while (i < file.size()) {
    if (wide) {
      if (i + 1 == file.size()) break;
      units.push_back({big ? byte(i) << 8 | byte(i + 1) : byte(i) | byte(i + 1) << 8, i});
      i += 2;
      continue;
    }
    bool leads = false;
    for (std::size_t r = 0;
         !utf8 && r + 1 < sizeof lead.bytes && (lead.bytes[r] | lead.bytes[r + 1]); r += 2) {
      leads = leads || (byte(i) >= lead.bytes[r] && byte(i) <= lead.bytes[r + 1]);
    }
    units.push_back({leads ? 0x100u : byte(i), i});
    i += leads && i + 1 < file.size() ? 2 : 1;
  }
  return units;
}

bool Blank(unsigned c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A; }

// The units from `from` to `to` as lower-case ASCII with the blanks at either end left out;
// "\x01" for a unit that is no ASCII character.
std::string Name(const std::vector<Unit>& units, std::size_t from, std::size_t to) {
  while (from < to && Blank(units[from].value)) ++from;
  while (to > from && Blank(units[to - 1].value)) --to;
  std::string name;
  for (std::size_t i = from; i < to; ++i) {
    const unsigned c = units[i].value;
    name += c >= 0x80 ? '\x01' : static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  return name;
}

struct Found {
  bool there[6] = {};
  std::size_t start[6] = {}, end[6] = {};  // the value's bytes
};

// The first line of each key in the first [Options] section, line by line.
Found FindKeys(const std::string& file, const LeadByteRanges& lead) {
  const std::vector<Unit> units = Units(file, lead);
  const bool wide = file.compare(0, 2, "\xFF\xFE") == 0 || file.compare(0, 2, "\xFE\xFF") == 0;
  const std::size_t text_end = wide && file.size() % 2 == 1 ? file.size() - 1 : file.size();
  Found found;
  bool in_section = false;
  std::size_t line = 0;
  while (line < units.size()) {
    std::size_t end = line;
    while (end < units.size() && units[end].value != '\r' && units[end].value != '\n') ++end;
    std::size_t first = line;
    while (first < end && Blank(units[first].value)) ++first;
    std::size_t close = end, equals = end;
    for (std::size_t i = first; i < end; ++i) {
      if (units[i].value == ']') close = i;
      if (units[i].value == '=' && equals == end) equals = i;
    }
    const std::size_t line_end = end < units.size() ? units[end].start : text_end;
    if (first < end && units[first].value == '[' && close != end) {
      if (in_section) break;
      in_section = Name(units, first + 1, close) == "options";
    } else if (in_section && equals != end) {
      const std::string name = Name(units, line, equals);
      for (int k = 0; k < 6; ++k) {
        std::string key = SavedKey(static_cast<std::size_t>(k));
        for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (name == key && !found.there[k]) {
          found.there[k] = true;
          found.start[k] = equals + 1 < end ? units[equals + 1].start : line_end;
          found.end[k] = line_end;
        }
      }
    }
    // A line ends at CR, LF or CR LF.
    line = end + (end < units.size() && units[end].value == '\r' && end + 1 < units.size() &&
                          units[end + 1].value == '\n'
                      ? 2
                      : 1);
  }
  return found;
}

// A value's bytes as ASCII text: in UTF-16, each unit's non-zero byte.
std::string ValueText(const std::string& file, std::size_t start, std::size_t end, bool wide) {
  std::string text;
  for (std::size_t i = start; i < end; i += wide ? 2 : 1) {
    text += wide ? static_cast<char>(file[i] != '\0' ? file[i] : file[i + 1]) : file[i];
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned choice = data[0];
  const LeadByteRanges& lead = kCodePages[choice & 3];
  const char* sockets[] = {"", "0", "213", "16383"};
  const char* six[6] = {choice & 0x10 ? "1" : "0", choice & 0x20 ? "1" : "0",
                        choice & 0x40 ? "1" : "0", choice & 0x80 ? "1" : "0",
                        sockets[choice >> 2 & 3], choice & 0x10 ? "73.0F.2C.8A" : ""};
  const std::string before(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string after = hvtest::EditedText(before, hvtest::ValuesOf(six), lead, 7);

  // The new values, where a reader apart from the editor looks for them.
  const bool wide = before.size() >= 2 && (before.compare(0, 2, "\xFF\xFE") == 0 ||
                                           before.compare(0, 2, "\xFE\xFF") == 0);
  const Found now = FindKeys(after, lead);
  for (int k = 0; k < 6; ++k) {
    Require(now.there[k]);
    Require(ValueText(after, now.start[k], now.end[k], wide) == six[k]);
  }
  // Every other byte of the old file, in order: what stood outside the old values.
  const Found old = FindKeys(before, lead);
  std::size_t at = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    bool in_value = false;
    for (int k = 0; k < 6; ++k) {
      in_value = in_value || (old.there[k] && i >= old.start[k] && i < old.end[k]);
    }
    if (in_value) continue;
    while (at < after.size() && after[at] != before[i]) ++at;
    Require(at < after.size());
    ++at;
  }
  return 0;
}
