#include "convert/shapes.h"

#include <algorithm>
#include <array>
#include <tuple>

#include "base/abc.h"

namespace kry {
namespace {

// ---- the shapes players know, strings left to right as a diagram shows them ----

// The guitar in standard tuning, E A D G B E.
constexpr ShapeRow kGuitarOpen[] = {
    {"C", "x 3 2 0 1 0"},      {"D", "x x 0 2 3 2"},      {"E", "0 2 2 1 0 0"},      {"G", "3 2 0 0 0 3"},
    {"A", "x 0 2 2 2 0"},      {"Eb", "x x 1 3 4 3"},
    {"Am", "x 0 2 2 1 0"},     {"Dm", "x x 0 2 3 1"},     {"Em", "0 2 2 0 0 0"},     {"Ebm", "x x 1 3 4 2"},
    {"A7", "x 0 2 0 2 0"},     {"B7", "x 2 1 2 0 2"},     {"C7", "x 3 2 3 1 0"},     {"D7", "x x 0 2 1 2"},
    {"E7", "0 2 0 1 0 0"},     {"G7", "3 2 0 0 0 1"},
    {"Am7", "x 0 2 0 1 0"},    {"Bm7", "x 2 0 2 0 2"},    {"Dm7", "x x 0 2 1 1"},    {"Em7", "0 2 0 0 0 0"},
    {"Amaj7", "x 0 2 1 2 0"},  {"Cmaj7", "x 3 2 0 0 0"},  {"Dmaj7", "x x 0 2 2 2"},  {"Emaj7", "0 2 1 1 0 0"},
    {"Fmaj7", "x x 3 2 1 0"},  {"Gmaj7", "3 2 0 0 0 2"},
    {"A6", "x 0 2 2 2 2"},     {"C6", "x 3 2 2 1 0"},     {"D6", "x x 0 2 0 2"},     {"E6", "0 2 2 1 2 0"},
    {"G6", "3 2 0 0 0 0"},
    {"Am6", "x 0 2 2 1 2"},    {"Dm6", "x x 0 2 0 1"},    {"Em6", "0 2 2 0 2 0"},
    {"Asus4", "x 0 2 2 3 0"},  {"Csus4", "x 3 3 0 1 1"},  {"Dsus4", "x x 0 2 3 3"},  {"Esus4", "0 2 2 2 0 0"},
    {"Gsus4", "3 3 0 0 1 3"},
    {"Asus2", "x 0 2 2 0 0"},  {"Csus2", "x 3 0 0 1 3"},  {"Dsus2", "x x 0 2 3 0"},  {"Esus2", "0 2 4 4 0 0"},
    {"Gsus2", "3 0 0 2 3 3"},
    {"A7sus4", "x 0 2 0 3 0"}, {"D7sus4", "x x 0 2 1 3"}, {"E7sus4", "0 2 0 2 0 0"},
    {"Adim", "x 0 1 2 1 x"},   {"Ddim", "x x 0 1 3 1"},   {"Edim", "0 1 2 0 x x"},
    {"Adim7", "x 0 1 2 1 2"},  {"Ddim7", "x x 0 1 0 1"},  {"Edim7", "0 1 2 0 2 0"},
    {"Caug", "x 3 2 1 1 0"},   {"Daug", "x x 0 3 3 2"},   {"Eaug", "0 3 2 1 1 0"},   {"Gaug", "3 2 1 0 0 3"},
    {"Aaug", "x 0 3 2 2 1"},
    {"A9", "x 0 2 4 2 3"},     {"E9", "0 2 0 1 0 2"},     {"G9", "3 x 0 2 0 1"},
    {"Aadd9", "x 0 2 4 2 0"},  {"Cadd9", "x 3 2 0 3 0"},  {"Eadd9", "0 2 4 1 0 0"},  {"Gadd9", "3 2 0 2 0 3"},
    {"Am7b5", "x 0 1 0 1 x"},  {"Dm7b5", "x x 0 1 1 1"},  {"Em7b5", "0 1 2 0 3 0"},  {"Fm7b5", "1 x 1 1 0 x"},
    {"E7#9", "0 2 0 1 3 3"},   {"E7b9", "0 2 0 1 0 1"},
    {"E5", "0 2 2 x x x"},     {"A5", "x 0 2 2 x x"},
};
// Barre chords and other closed shapes: the root on the sixth string (the E
// form), on the fifth (the A form), or within.
constexpr ShapeRow kGuitarMovable[] = {
    {"F", "1 3 3 2 1 1"},      {"Fm", "1 3 3 1 1 1"},     {"F7", "1 3 1 2 1 1"},     {"Fm7", "1 3 1 1 1 1"},
    {"Fmaj7", "1 x 2 2 1 x"},  {"Fsus4", "1 3 3 3 1 1"},  {"F7sus4", "1 3 1 3 1 1"},  {"F5", "1 3 3 x x x"},
    {"Bb", "x 1 3 3 3 1"},     {"Bbm", "x 1 3 3 2 1"},    {"Bb7", "x 1 3 1 3 1"},    {"Bbm7", "x 1 3 1 2 1"},
    {"Bbmaj7", "x 1 3 2 3 1"}, {"Bbsus4", "x 1 3 3 4 1"}, {"Bbsus2", "x 1 3 3 1 1"}, {"Bb6", "x 1 3 3 3 3"},
    {"Bb7sus4", "x 1 3 1 4 1"},
    {"C9", "x 3 2 3 3 3"},     {"Cm9", "x 3 1 3 3 x"},    {"Cmaj9", "x 3 2 4 3 x"},  {"Bm7b5", "x 2 3 2 3 x"},
    {"D#dim7", "x x 1 2 1 2"}, {"Bdim", "x 2 3 4 3 x"},   {"Caug", "x 3 2 1 1 x"},   {"B7#9", "x 2 1 2 3 x"},
    {"C7b9", "x 3 2 3 2 x"},   {"Cm7b5", "x 3 4 3 4 x"},  {"F#m7b5", "2 x 2 2 1 x"},  {"C7#5", "x 3 x 3 5 4"},
};

// The mandolin, G D A E.
constexpr ShapeRow kMandolinOpen[] = {
    {"G", "0 0 2 3"},    {"C", "0 2 3 0"},    {"D", "2 0 0 2"},    {"A", "2 2 4 0"},    {"E", "1 2 2 0"},
    {"F", "5 3 0 1"},    {"Bb", "3 0 1 1"},   {"B", "4 1 2 2"},
    {"Am", "2 2 3 0"},   {"Em", "0 2 2 0"},   {"Dm", "2 0 0 1"},   {"Bm", "4 0 2 2"},   {"Gm", "0 0 1 3"},
    {"Cm", "0 1 3 3"},   {"F#m", "2 4 4 2"},
    {"A7", "2 2 4 3"},   {"D7", "2 0 3 2"},   {"E7", "1 0 2 0"},   {"G7", "0 0 2 1"},   {"B7", "4 1 0 2"},
    {"C7", "3 2 3 0"},
    {"Am7", "2 2 3 3"},  {"Em7", "0 0 2 0"},  {"Dm7", "2 0 3 1"},
    {"Gmaj7", "0 0 2 2"}, {"Cmaj7", "4 2 3 0"}, {"Dmaj7", "2 0 4 2"},
    {"Dsus4", "2 0 0 3"}, {"Asus4", "2 2 5 0"}, {"Dsus2", "2 0 0 0"}, {"Asus2", "2 2 2 0"},
};
// The chop chords of bluegrass, no string open.
constexpr ShapeRow kMandolinMovable[] = {
    {"D", "2 4 5 2"},
    {"Dm", "2 3 5 1"},
};

// The ukulele, g C E A: re-entrant, its g above the C.
constexpr ShapeRow kUkuleleOpen[] = {
    {"C", "0 0 0 3"},    {"D", "2 2 2 0"},    {"E", "1 4 0 2"},    {"F", "2 0 1 0"},    {"G", "0 2 3 2"},
    {"A", "2 1 0 0"},    {"Bb", "3 2 1 1"},   {"B", "4 3 2 2"},
    {"Am", "2 0 0 0"},   {"Dm", "2 2 1 0"},   {"Em", "0 4 3 2"},   {"Gm", "0 2 3 1"},   {"Bm", "4 2 2 2"},
    {"Cm", "0 3 3 3"},   {"F#m", "2 1 2 0"},
    {"A7", "0 1 0 0"},   {"B7", "2 3 2 2"},   {"C7", "0 0 0 1"},   {"D7", "2 2 2 3"},   {"E7", "1 2 0 2"},
    {"G7", "0 2 1 2"},   {"F7", "2 3 1 3"},
    {"Am7", "0 0 0 0"},  {"Dm7", "2 2 1 3"},  {"Em7", "0 2 0 2"},  {"Gm7", "0 2 1 1"},
    {"Cmaj7", "0 0 0 2"}, {"Fmaj7", "2 4 1 0"}, {"Gmaj7", "0 2 2 2"},
    {"Csus4", "0 0 1 3"}, {"Dsus4", "0 2 3 0"}, {"Asus4", "2 2 0 0"}, {"Csus2", "0 2 3 3"},
    {"Cdim7", "2 3 2 3"}, {"Caug", "1 0 0 3"},
};

// The 5-string banjo in open G, g D G B d: the short fifth string on the left.
constexpr ShapeRow kBanjoOpen[] = {
    {"G", "0 0 0 0 0"},  {"C", "0 2 0 1 2"},  {"D", "x 0 2 3 4"},  {"F", "x 3 2 1 3"},  {"A", "x 2 2 2 2"},
    {"E", "x 2 1 0 2"},  {"Bb", "x 3 3 3 3"},
    {"Em", "0 2 0 0 2"}, {"Am", "x 2 2 1 2"}, {"Dm", "x 0 2 3 3"}, {"Bm", "x 0 4 3 4"},
    {"D7", "x 4 2 1 0"}, {"G7", "0 0 0 0 3"}, {"A7", "0 2 2 2 2"}, {"E7", "x 0 1 0 2"}, {"C7", "x 2 3 1 2"},
    {"Em7", "0 2 0 0 0"},
};

constexpr ShapeTable kTables[] = {
    {"guitar", "E2 A2 D3 G3 B3 E4", kGuitarOpen, kGuitarMovable},
    {"mandolin", "G3 D4 A4 E5", kMandolinOpen, kMandolinMovable},
    {"ukulele", "G4 C4 E4 A4", kUkuleleOpen, {}},
    {"banjo", "G4@5 D3 G3 B3 D4", kBanjoOpen, {}},
};

// The highest fret a shape may reach, and how many frets the hand spans.
constexpr int kHighestFret = 15;
constexpr int kSpan = 4;
// The positions a player looks in first for a chord: the hand from the first fret to the third.
constexpr int kFirstPositions = 3;

// The note a string sounds stopped at `fret`, or open; nothing when it can't be stopped there.
std::optional<int> noteOn(const ChordString& string, int fret) {
  if (fret == 0) return string.open;
  if (fret <= string.nut) return std::nullopt;
  return string.open + fret - string.nut;
}

int pitchClass(int note) { return ((note % 12) + 12) % 12; }

bool holds(const std::vector<int>& classes, int pitch) {
  return std::find(classes.begin(), classes.end(), pitchClass(pitch)) != classes.end();
}

// The notes a chord needs: all of them, or without the perfect fifth when
// there are more notes than strings.
std::vector<int> needed(const Chord& chord, std::size_t strings) {
  std::vector<int> classes = chord.pitchClasses();
  if (classes.size() > strings && chord.fifthOptional()) std::erase(classes, (chord.root + 7) % 12);
  return classes;
}

// How a shape sounds to a player, better first when compared: the chord's
// notes it holds; whether it is whole (the bass lowest, and four strings
// sounding or all of fewer); the bass lowest; no string left out between two
// that sound; more strings sounding, more of them open; fewer fingers; lower
// frets.
using Merit = std::tuple<int, bool, bool, int, int, int, int, int>;

// The strings a whole chord sounds: four, or all of fewer.
constexpr std::size_t kWhole = 4;

// The fingers a shape takes: one a stopped note, but the notes at its lowest
// fret make one barre when no open string lies between them. Nothing when the
// shape can't be played: more than four fingers, or a stretch past the span.
std::optional<int> fingers(const Shape& frets) {
  int lowest = kHighestFret + 1, highest = 0, stopped = 0;
  for (int fret : frets)
    if (fret > 0) {
      lowest = std::min(lowest, fret);
      highest = std::max(highest, fret);
      ++stopped;
    }
  if (stopped == 0) return 0;
  if (highest - lowest >= kSpan) return std::nullopt;
  auto first = std::find(frets.begin(), frets.end(), lowest);
  auto last = std::find(frets.rbegin(), frets.rend(), lowest).base() - 1;
  int atLowest = static_cast<int>(std::count(first, last + 1, lowest));
  bool barre = atLowest > 1 && std::find(first, last + 1, 0) == last + 1;
  int count = barre ? stopped - atLowest + 1 : stopped;
  if (count > 4) return std::nullopt;
  return count;
}

std::optional<Merit> merit(const Shape& frets, std::span<const ChordString> strings, const Chord& chord,
                           const std::vector<int>& classes) {
  std::optional<int> hand = fingers(frets);
  if (!hand) return std::nullopt;
  std::vector<int> notes = sounding(frets, strings);
  if (notes.empty()) return std::nullopt;
  int held = 0;
  for (int pitch : classes)
    if (std::any_of(notes.begin(), notes.end(), [pitch](int note) { return pitchClass(note) == pitch; })) ++held;
  bool bassLowest = pitchClass(*std::min_element(notes.begin(), notes.end())) == chord.bass;
  auto first = std::find_if(frets.begin(), frets.end(), [](int fret) { return fret != kMuted; });
  auto last = std::find_if(frets.rbegin(), frets.rend(), [](int fret) { return fret != kMuted; }).base();
  int gaps = static_cast<int>(std::count(first, last, kMuted));
  int open = static_cast<int>(std::count(frets.begin(), frets.end(), 0));
  int sum = 0;
  for (int fret : frets) sum += std::max(fret, 0);
  bool whole = bassLowest && notes.size() >= std::min(kWhole, strings.size());
  return Merit{held, whole, bassLowest, -gaps, static_cast<int>(notes.size()), open, -*hand, -sum};
}

// Every shape whose stopped frets lie from `low` to `low` + 3, each string
// muted, open or stopped on a chord tone; the best of them.
std::optional<std::pair<Merit, Shape>> bestFrom(int low, std::span<const ChordString> strings, const Chord& chord,
                                                const std::vector<int>& classes) {
  std::vector<int> tones = chord.pitchClasses();
  std::vector<std::vector<int>> choices(strings.size());
  for (std::size_t s = 0; s < strings.size(); ++s) {
    choices[s].push_back(kMuted);
    for (int fret = 0; fret < low + kSpan; fret = fret == 0 ? low : fret + 1) {
      std::optional<int> note = noteOn(strings[s], fret);
      if (note && holds(tones, *note)) choices[s].push_back(fret);
    }
  }
  std::optional<std::pair<Merit, Shape>> best;
  Shape frets(strings.size(), kMuted);
  auto walk = [&](auto&& self, std::size_t s) -> void {
    if (s == strings.size()) {
      std::optional<Merit> m = merit(frets, strings, chord, classes);
      if (m && (!best || *m > best->first)) best.emplace(*m, frets);
      return;
    }
    for (int fret : choices[s]) {
      frets[s] = fret;
      self(self, s + 1);
    }
  };
  walk(walk, 0);
  return best;
}

// Whether strings are those of a table's tuning, in any octave.
bool sameTuning(std::span<const ChordString> strings, const std::vector<ChordString>& table) {
  if (strings.size() != table.size() || strings.empty()) return false;
  int shift = strings[0].open - table[0].open;
  if (pitchClass(shift) != 0) return false;
  for (std::size_t s = 0; s < strings.size(); ++s)
    if (strings[s].open - table[s].open != shift || strings[s].nut != table[s].nut) return false;
  return true;
}

// A table's shape for the chord, not minding its bass: the chord's own row,
// else the lowest place of a movable shape of its kind.
std::optional<Shape> fromTable(const ShapeTable& table, const Chord& chord) {
  for (const ShapeRow& row : table.open) {
    Symbol known = readch(row.chord);
    if (known.chord.root == chord.root && known.chord.intervals == chord.intervals) return readShape(row.frets);
  }
  // A movable shape has no open string: the shift moves every string it plays.
  std::optional<Shape> lowest;
  int lowestFret = 99;
  for (const ShapeRow& row : table.movable) {
    Symbol known = readch(row.chord);
    if (known.chord.intervals != chord.intervals) continue;
    Shape frets = *readShape(row.frets);
    int shift = pitchClass(chord.root - known.chord.root);
    int first = *std::min_element(frets.begin(), frets.end(), [](int a, int b) { return (a < 0 ? 99 : a) < (b < 0 ? 99 : b); });
    for (int& fret : frets)
      if (fret != kMuted) fret += shift;
    if (!lowest || first + shift < lowestFret) {
      lowest = frets;
      lowestFret = first + shift;
    }
  }
  return lowest;
}

// A slash chord from its chord's shape: the bass note goes on a string, open
// or within the shape's frets, every string sounding lower is left out, and
// a string not played that sounds a chord tone open above the bass rings.
// Nothing when that loses a note the chord needs.
std::optional<Shape> withBass(const Shape& plain, std::span<const ChordString> strings, const Chord& chord) {
  std::vector<int> notes = sounding(plain, strings);
  if (!notes.empty() && pitchClass(*std::min_element(notes.begin(), notes.end())) == chord.bass) return plain;
  int low = kHighestFret;
  for (int fret : plain)
    if (fret > 0) low = std::min(low, fret);
  if (low > kHighestFret - kSpan) low = 1;
  std::vector<int> classes = needed(chord, strings.size());
  std::optional<std::pair<Merit, Shape>> best;
  for (std::size_t s = 0; s < strings.size(); ++s) {
    for (int fret = 0; fret < low + kSpan; fret = fret == 0 ? low : fret + 1) {
      std::optional<int> bass = noteOn(strings[s], fret);
      if (!bass || pitchClass(*bass) != chord.bass) continue;
      Shape frets = plain;
      frets[s] = fret;
      for (std::size_t other = 0; other < strings.size(); ++other) {
        std::optional<int> note = frets[other] == kMuted ? std::nullopt : noteOn(strings[other], frets[other]);
        if (note && *note < *bass) frets[other] = kMuted;
        if (!note && other != s && strings[other].open > *bass && holds(classes, strings[other].open)) frets[other] = 0;
      }
      std::optional<Merit> m = merit(frets, strings, chord, classes);
      if (m && std::get<0>(*m) == static_cast<int>(classes.size()) && (!best || *m > best->first)) best.emplace(*m, frets);
    }
  }
  if (!best) return std::nullopt;
  return best->second;
}

}  // namespace

std::vector<int> sounding(const Shape& frets, std::span<const ChordString> strings) {
  std::vector<int> notes;
  for (std::size_t s = 0; s < frets.size() && s < strings.size(); ++s) {
    if (frets[s] == kMuted) continue;
    if (std::optional<int> note = noteOn(strings[s], frets[s])) notes.push_back(*note);
  }
  return notes;
}

std::optional<Shape> voice(const Chord& chord, std::span<const ChordString> strings) {
  std::vector<int> classes = needed(chord, strings.size());
  // The lowest place that gives the chord whole, else the lowest that holds
  // all its notes: first in the first positions, where a player looks for a
  // chord, then higher up the neck.
  auto lowest = [&](int from, int to) -> std::optional<Shape> {
    std::optional<Shape> all;
    for (int low = from; low <= to; ++low) {
      std::optional<std::pair<Merit, Shape>> here = bestFrom(low, strings, chord, classes);
      if (!here || std::get<0>(here->first) < static_cast<int>(classes.size())) continue;
      if (std::get<1>(here->first)) return here->second;
      if (!all) all = here->second;
    }
    return all;
  };
  if (std::optional<Shape> low = lowest(1, kFirstPositions)) return low;
  return lowest(kFirstPositions + 1, kHighestFret - kSpan + 1);
}

std::optional<Shape> shape(const Chord& chord, std::span<const ChordString> strings) {
  for (const ShapeTable& table : kTables) {
    if (!sameTuning(strings, *readStrings(table.tuning))) continue;
    std::optional<Shape> plain = fromTable(table, chord);
    if (!plain) break;
    if (!chord.slash) return plain;
    if (std::optional<Shape> slash = withBass(*plain, strings, chord)) return slash;
    break;
  }
  return voice(chord, strings);
}

std::span<const ShapeTable> shapeTables() { return kTables; }

std::optional<std::vector<ChordString>> readStrings(std::string_view notes) {
  constexpr std::array<int, 7> kFromC = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  std::vector<ChordString> strings;
  for (std::size_t at = 0; at < notes.size();) {
    if (notes[at] == ' ') {
      ++at;
      continue;
    }
    if (notes[at] < 'A' || notes[at] > 'G') return std::nullopt;
    int pitch = kFromC[static_cast<std::size_t>(notes[at++] - 'A')];
    if (at < notes.size() && (notes[at] == '#' || notes[at] == 'b')) pitch += notes[at++] == '#' ? 1 : -1;
    if (at >= notes.size() || notes[at] < '0' || notes[at] > '9') return std::nullopt;
    ChordString string{12 * (notes[at++] - '0' + 1) + pitch, 0};
    if (at < notes.size() && notes[at] == '@') {
      std::size_t end = notes.find(' ', ++at);
      std::optional<long> nut = wholeNumber(notes.substr(at, end == std::string_view::npos ? notes.npos : end - at));
      if (!nut || *nut > kHighestFret) return std::nullopt;
      string.nut = static_cast<int>(*nut);
      at = end == std::string_view::npos ? notes.size() : end;
    }
    strings.push_back(string);
  }
  return strings;
}

std::optional<Shape> readShape(std::string_view frets) {
  Shape shape;
  for (std::size_t at = 0; at < frets.size();) {
    std::size_t end = std::min(frets.find(' ', at), frets.size());
    std::string_view word = frets.substr(at, end - at);
    at = end + 1;
    if (word.empty()) continue;
    if (word == "x") {
      shape.push_back(kMuted);
      continue;
    }
    std::optional<long> fret = wholeNumber(word);
    if (!fret || *fret > kHighestFret) return std::nullopt;
    shape.push_back(static_cast<int>(*fret));
  }
  return shape;
}

}  // namespace kry
