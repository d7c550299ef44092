#include "convert/chords.h"

#include <algorithm>
#include <array>

#include "base/text.h"

namespace kry {
namespace {

// The kinds of chord, as the letters after the root name them, and their
// notes in half steps above the root (a ninth is 14, above the octave). The
// longest name that fits is taken, so "m7b5" is not read as "m7".
struct Kind {
  std::string_view name;
  std::array<int, 6> notes;  // the root, then the others; -1 ends them
};
constexpr std::array<Kind, 41> kKinds{{
    {"", {0, 4, 7, -1}},         {"maj", {0, 4, 7, -1}},       {"M", {0, 4, 7, -1}},
    {"m", {0, 3, 7, -1}},        {"min", {0, 3, 7, -1}},       {"-", {0, 3, 7, -1}},
    {"5", {0, 7, -1}},
    {"6", {0, 4, 7, 9, -1}},     {"m6", {0, 3, 7, 9, -1}},     {"min6", {0, 3, 7, 9, -1}},
    {"7", {0, 4, 7, 10, -1}},    {"m7", {0, 3, 7, 10, -1}},    {"min7", {0, 3, 7, 10, -1}},
    {"-7", {0, 3, 7, 10, -1}},
    {"maj7", {0, 4, 7, 11, -1}}, {"M7", {0, 4, 7, 11, -1}},    {"Maj7", {0, 4, 7, 11, -1}},
    {"mmaj7", {0, 3, 7, 11, -1}}, {"mM7", {0, 3, 7, 11, -1}},
    {"dim", {0, 3, 6, -1}},      {"o", {0, 3, 6, -1}},
    {"dim7", {0, 3, 6, 9, -1}},  {"o7", {0, 3, 6, 9, -1}},
    {"m7b5", {0, 3, 6, 10, -1}}, {"m7-5", {0, 3, 6, 10, -1}},
    {"aug", {0, 4, 8, -1}},      {"+", {0, 4, 8, -1}},
    {"7#5", {0, 4, 8, 10, -1}},  {"aug7", {0, 4, 8, 10, -1}},  {"+7", {0, 4, 8, 10, -1}},
    {"sus2", {0, 2, 7, -1}},     {"sus4", {0, 5, 7, -1}},      {"sus", {0, 5, 7, -1}},
    {"7sus4", {0, 5, 7, 10, -1}},
    {"9", {0, 4, 7, 10, 14, -1}}, {"m9", {0, 3, 7, 10, 14, -1}}, {"maj9", {0, 4, 7, 11, 14, -1}},
    {"add9", {0, 4, 7, 14, -1}}, {"madd9", {0, 3, 7, 14, -1}},
    {"7b9", {0, 4, 7, 10, 13, -1}}, {"7#9", {0, 4, 7, 10, 15, -1}},
}};

// The pitch class of a note letter, either case: C is 0.
int letterClass(char letter) {
  constexpr std::array<int, 7> kFromA = {9, 11, 0, 2, 4, 5, 7};
  return kFromA[static_cast<std::size_t>((letter | 0x20) - 'a')];
}

bool isChordLetter(char c) { return (c >= 'A' && c <= 'G') || (c >= 'a' && c <= 'g'); }

// A note name at `at`: its letter and a sharp or flat after it ("+" is a
// sharp in old books' bass notes, "D/f+"). The pitch class, and `at` moved
// past it; nothing when no letter stands there.
std::optional<int> noteAt(std::string_view text, std::size_t& at, char* sign, bool plusIsSharp) {
  if (at >= text.size() || !isChordLetter(text[at])) return std::nullopt;
  int pitch = letterClass(text[at++]);
  *sign = ' ';
  if (at < text.size() && (text[at] == '#' || (plusIsSharp && text[at] == '+'))) {
    *sign = '#';
    ++at;
    ++pitch;
  } else if (at < text.size() && text[at] == 'b') {
    *sign = 'b';
    ++at;
    --pitch;
  }
  return (pitch + 12) % 12;
}

// The kind whose name is the longest that `text` starts with.
const Kind* kindAt(std::string_view text) {
  const Kind* best = nullptr;
  for (const Kind& kind : kKinds)
    if (text.starts_with(kind.name) && (best == nullptr || kind.name.size() > best->name.size())) best = &kind;
  return best;
}

// A pitch class as a name: with flats, with sharps, or as players usually name it.
std::string className(int pitch, char sign) {
  constexpr std::array<std::string_view, 12> kSharps = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  constexpr std::array<std::string_view, 12> kFlats = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};
  constexpr std::array<std::string_view, 12> kUsual = {"C", "C#", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"};
  std::size_t k = static_cast<std::size_t>(pitch);
  return std::string(sign == '#' ? kSharps[k] : sign == 'b' ? kFlats[k] : kUsual[k]);
}

}  // namespace

std::vector<int> Chord::pitchClasses() const {
  std::vector<int> classes;
  for (int interval : intervals) {
    int pitch = (root + interval) % 12;
    if (std::find(classes.begin(), classes.end(), pitch) == classes.end()) classes.push_back(pitch);
  }
  if (std::find(classes.begin(), classes.end(), bass) == classes.end()) classes.push_back(bass);
  return classes;
}

bool Chord::fifthOptional() const {
  return std::find(intervals.begin(), intervals.end(), 7) != intervals.end() && (root + 7) % 12 != bass;
}

Symbol readch(std::string_view text) {
  text = trim(text);
  if (text.size() > 2 && text.front() == '(' && text.back() == ')') text = trim(text.substr(1, text.size() - 2));
  Symbol none;
  if (text.empty() || std::string_view("^_<>@").find(text[0]) != std::string_view::npos) return none;
  if (text == "N.C." || text == "NC" || text == "N.C") return none;
  Symbol unknown{SymbolKind::kUnknown, {}};
  unknown.chord.name = text;
  std::size_t at = 0;
  Chord chord;
  std::optional<int> root = noteAt(text, at, &chord.spelling, false);
  if (!root) return unknown;
  // Old books write a bass note alone in lower case, "e" or "f#", under a walking bass.
  if (text[0] >= 'a' && at == text.size()) return none;
  std::size_t slash = text.find('/', at);
  const Kind* kind = kindAt(text.substr(at, slash == std::string_view::npos ? text.npos : slash - at));
  if (kind == nullptr || at + kind->name.size() != std::min(slash, text.size())) return unknown;
  chord.name = text;
  chord.root = *root;
  chord.kindLength = kind->name.size();
  for (int note : kind->notes) {
    if (note < 0) break;
    chord.intervals.push_back(note);
  }
  chord.bass = chord.root;
  if (slash != std::string_view::npos) {
    std::size_t after = slash + 1;
    char sign = ' ';
    std::optional<int> bass = noteAt(text, after, &sign, true);
    if (!bass || after != text.size()) return unknown;
    chord.bass = *bass;
    chord.slash = true;
    chord.bassLetter = static_cast<char>(text[slash + 1] & ~0x20);
  }
  return {SymbolKind::kChord, chord};
}

Chord transposed(const Chord& chord, int steps) {
  if (steps % 12 == 0) return chord;
  Chord moved = chord;
  moved.root = ((chord.root + steps) % 12 + 12) % 12;
  moved.bass = ((chord.bass + steps) % 12 + 12) % 12;
  std::string root = className(moved.root, chord.spelling);
  moved.spelling = root.size() > 1 ? root[1] : ' ';
  std::size_t rootLength = chord.spelling == ' ' ? 1 : 2;
  moved.name = root + chord.name.substr(rootLength, chord.kindLength);
  if (chord.slash) {
    constexpr std::string_view kLetters = "CDEFGAB";
    std::size_t letters = (kLetters.find(chord.bassLetter) + 7 - kLetters.find(static_cast<char>(chord.name[0] & ~0x20))) % 7;
    char letter = kLetters[(kLetters.find(root[0]) + letters) % 7];
    int off = (moved.bass - letterClass(letter) + 12) % 12;
    moved.bassLetter = letter;
    // Piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on a literal plus a temporary string.
    moved.name += '/';
    if (off == 0 || off == 1 || off == 11) {
      moved.name += letter;
      if (off != 0) moved.name += off == 1 ? '#' : 'b';
    } else {
      moved.name += className(moved.bass, ' ');
    }
  }
  return moved;
}

std::vector<std::string_view> quotedTexts(std::string_view line) {
  std::vector<std::string_view> texts;
  for (std::size_t at = 0; at < line.size() && line[at] != '%'; ++at) {
    if (line[at] != '"') continue;
    std::size_t close = line.find('"', at + 1);
    if (close == std::string_view::npos) break;  // an unclosed quote holds no symbol
    texts.push_back(line.substr(at + 1, close - at - 1));
    at = close;
  }
  return texts;
}

}  // namespace kry
