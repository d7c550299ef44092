#include "convert/keysig.h"

#include <array>
#include <cctype>

#include "base/abc.h"
#include "base/text.h"

namespace kry {
namespace {

struct KeyRow {
  int index;
  std::string_view major;
  std::string_view minor;
};

// The key table, as a musician writes the circle of fifths. C major and
// A minor have no row: every code not found here is a key without sharps or flats.
constexpr std::array<KeyRow, 14> kKeys{{
    {1, "G", "Em"},    //  1 sharp
    {2, "D", "Bm"},    //  2 sharps
    {3, "A", "F#m"},   //  3 sharps
    {4, "E", "C#m"},   //  4 sharps
    {5, "B", "G#m"},   //  5 sharps
    {6, "F#", "D#m"},  //  6 sharps
    {7, "C#", "A#m"},  //  7 sharps
    {8, "F", "Dm"},    //  1 flat
    {9, "Bb", "Gm"},   //  2 flats
    {10, "Eb", "Cm"},  //  3 flats
    {11, "Ab", "Fm"},  //  4 flats
    {12, "Db", "Bbm"}, //  5 flats
    {13, "Gb", "Ebm"}, //  6 flats
    {14, "Cb", "Abm"}, //  7 flats
}};

// Major keys by their signature, -7 (seven flats) to 7 (seven sharps).
constexpr std::array<std::string_view, 15> kMajorBySignature{
    "Cb", "Gb", "Db", "Ab", "Eb", "Bb", "F", "C", "G", "D", "A", "E", "B", "F#", "C#"};

// Sharps in the major key of each natural tonic (flats negative).
int naturalMajorSharps(char tonic) {
  switch (tonic) {
    case 'C': return 0;
    case 'G': return 1;
    case 'D': return 2;
    case 'A': return 3;
    case 'E': return 4;
    case 'B': return 5;
    case 'F': return -1;
    default: return 99;
  }
}

// How many fifths a mode lies from major on the same tonic: D dorian has the
// signature of C major, two fifths below D major.
struct Mode {
  std::string_view word;
  int fifths;
  bool minor;  // read as the minor key code itself
};
constexpr std::array<Mode, 9> kModes{{
    {"maj", 0, false}, {"ion", 0, false}, {"min", -3, true}, {"aeo", -3, true},
    {"mix", -1, false}, {"dor", -2, false}, {"phr", -4, false}, {"lyd", 1, false},
    {"loc", -5, false},
}};

char at(std::string_view text, std::size_t pos) { return pos < text.size() ? text[pos] : ' '; }

std::string lower3(std::string_view text, std::size_t pos) {
  std::string word;
  while (word.size() < 3 && pos < text.size() && isLetter(text[pos]))
    word += static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos++])));
  return word;
}

}  // namespace

int getkey(std::string_view keyCode) {
  std::string_view code = trimRight(keyCode);
  int index = 0;
  for (const KeyRow& row : kKeys)
    if (code == row.major || code == row.minor) index = row.index;
  return index;
}

std::string keyCodeOf(std::string_view line) {
  // The tonic is the first non-blank among characters 3 to 80; with none, the ":".
  std::size_t p = 1;
  for (std::size_t i = 2; i < 80 && i < line.size(); ++i)
    if (line[i] != ' ') {
      p = i;
      break;
    }
  std::string tonic(1, line[p]);
  std::size_t after = p + 1;
  if (at(line, after) == 'b' || at(line, after) == '#') tonic += line[after++];

  // The mode word, after any blanks, read by its first three letters in any case.
  std::size_t w = after;
  while (w < line.size() && line[w] == ' ') ++w;
  std::string word = lower3(line, w);
  const Mode* mode = nullptr;
  if (word.empty()) {
    mode = &kModes[0];
  } else if (word == "m") {
    mode = &kModes[2];
  } else {
    for (const Mode& m : kModes)
      if (word == m.word) mode = &m;
  }
  if (mode == nullptr)  // an unknown word: a lower-case m right after the tonic means minor
    return at(line, after) == 'm' ? tonic + "m" : tonic;
  if (mode->minor) return tonic + "m";
  if (mode->fifths == 0) return tonic;

  // Another mode: the major key with the same signature.
  int sharps = naturalMajorSharps(tonic[0]);
  if (sharps == 99) return tonic;  // not a tonic the table knows: key index 0
  if (tonic.size() == 2) sharps += tonic[1] == '#' ? 7 : -7;
  sharps += mode->fifths;
  if (sharps < -7 || sharps > 7) return tonic + "?";  // no such signature: key index 0
  return std::string(kMajorBySignature[static_cast<std::size_t>(sharps + 7)]);
}

}  // namespace kry
