#include "convert/pitch.h"

#include <array>
#include <iomanip>
#include <string_view>

#include "run/stop.h"

namespace kry {
namespace {

// ---- note texts as small numbers ----
// A note text that can have a position is an optional accidental, a letter
// A..G or a..g and at most one octave mark; each such text gets a code so the
// tables below can be looked up directly.
constexpr std::string_view kAccidentals = " ^=_";
constexpr std::string_view kLetters = "ABCDEFGabcdefg";
constexpr std::string_view kMarks = " ,'";
constexpr int kCodes = 4 * 14 * 3;

// Each character's place in one of the strings above (-1: not there), as a
// table indexed by the character, since `note` looks up every note of a tune.
using CharIndex = std::array<signed char, 256>;
constexpr CharIndex indexOf(std::string_view chars) {
  CharIndex index{};
  index.fill(-1);
  for (std::size_t k = 0; k < chars.size(); ++k)
    if (chars[k] != ' ') index[static_cast<unsigned char>(chars[k])] = static_cast<signed char>(k);
  return index;
}
constexpr CharIndex kAccidentalIndex = indexOf(kAccidentals);
constexpr CharIndex kLetterIndex = indexOf(kLetters);
constexpr CharIndex kMarkIndex = indexOf(kMarks);

constexpr int at(const CharIndex& index, char c) { return index[static_cast<unsigned char>(c)]; }

constexpr int encode(std::string_view text) {
  std::size_t i = 0;
  int accidental = 0;
  if (i < text.size() && at(kAccidentalIndex, text[i]) >= 0) accidental = at(kAccidentalIndex, text[i++]);
  if (i >= text.size()) return -1;
  int letter = at(kLetterIndex, text[i++]);
  if (letter < 0) return -1;
  int mark = 0;
  if (i < text.size()) {
    mark = at(kMarkIndex, text[i++]);
    if (mark < 0) return -1;
  }
  if (i != text.size()) return -1;
  return (accidental * 14 + letter) * 3 + mark;
}

std::string decode(int code) {
  std::string text;
  int mark = code % 3;
  int letter = (code / 3) % 14;
  int accidental = code / 42;
  if (accidental != 0) text += kAccidentals[static_cast<std::size_t>(accidental)];
  text += kLetters[static_cast<std::size_t>(letter)];
  if (mark != 0) text += kMarks[static_cast<std::size_t>(mark)];
  return text;
}

// ---- the position table: every note text with a place in the compass ----
// Position 1 is "E," (the E below middle C), one half step a row, up to "d'".
struct PositionRow {
  int position;
  std::array<std::string_view, 3> texts;
};
constexpr std::array<PositionRow, 36> kPositions{{
    {1, {"E,", "=E,", "_F,"}},   {2, {"^E,", "F,", "=F,"}},  {3, {"^F,", "_G,", ""}},
    {4, {"G,", "=G,", ""}},          {5, {"^G,", "_A,", ""}},        {6, {"A,", "=A,", ""}},
    {7, {"^A,", "_B,", ""}},         {8, {"B,", "=B,", "_C"}},   {9, {"^B,", "C", "=C"}},
    {10, {"^C", "_D", ""}},          {11, {"D", "=D", ""}},          {12, {"^D", "_E", ""}},
    {13, {"E", "=E", "_F"}},     {14, {"^E", "F", "=F"}},    {15, {"^F", "_G", ""}},
    {16, {"G", "=G", ""}},           {17, {"^G", "_A", ""}},         {18, {"A", "=A", ""}},
    {19, {"^A", "_B", ""}},          {20, {"B", "=B", "_c"}},    {21, {"^B", "c", "=c"}},
    {22, {"^c", "_d", ""}},          {23, {"d", "=d", ""}},          {24, {"^d", "_e", ""}},
    {25, {"e", "=e", "_f"}},     {26, {"^e", "f", "=f"}},    {27, {"^f", "_g", ""}},
    {28, {"g", "=g", ""}},           {29, {"^g", "_a", ""}},         {30, {"a", "=a", ""}},
    {31, {"^a", "_b", ""}},          {32, {"b", "=b", "_c'"}},   {33, {"^b", "c'", "=c'"}},
    {34, {"^c'", "_d'", ""}},        {35, {"d'", "=d'", ""}},
    // One above the compass: reached only from a D sharp key's d', and placed
    // only when the music is transposed down.
    {36, {"^d'", "", ""}},
}};

// ---- the key-signature table: what each accidental of a signature respells ----
// Sharps come in the order F C G D A E B, flats in the order B E A D G C F;
// the key with k sharps (index k) or k flats (index 7 + k) uses the first k rows.
struct Rewrite {
  std::string_view from;
  std::string_view to;
};
struct SignatureRow {
  int firstKey;
  int lastKey;
  std::array<Rewrite, 4> rewrites;
};
constexpr std::array<SignatureRow, 14> kSignature{{
    {1, 7, {{{"F,", "^F,"}, {"F", "^F"}, {"f", "^f"}, {"", ""}}}},                    // F sharp
    {2, 7, {{{"C,", "^C,"}, {"C", "^C"}, {"c", "^c"}, {"c'", "^c'"}}}},     // C sharp
    {3, 7, {{{"G,", "^G,"}, {"G", "^G"}, {"g", "^g"}, {"", ""}}}},                    // G sharp
    {4, 7, {{{"D,", "^D,"}, {"D", "^D"}, {"d", "^d"}, {"d'", "^d'"}}}},     // D sharp
    {5, 7, {{{"A,", "^A,"}, {"A", "^A"}, {"a", "^a"}, {"", ""}}}},                    // A sharp
    {6, 7, {{{"E,", "F,"}, {"E", "F"}, {"e", "f"}, {"", ""}}}},                       // E sharp
    {7, 7, {{{"B,", "C"}, {"B", "c"}, {"b", "c'"}, {"", ""}}}},                       // B sharp
    {8, 14, {{{"B,", "_B,"}, {"B", "_B"}, {"b", "_b"}, {"", ""}}}},                   // B flat
    {9, 14, {{{"E,", "_E,"}, {"E", "_E"}, {"e", "_e"}, {"", ""}}}},                   // E flat
    {10, 14, {{{"A,", "_A,"}, {"A", "_A"}, {"a", "_a"}, {"", ""}}}},                  // A flat
    {11, 14, {{{"D,", "_D,"}, {"D", "_D"}, {"d", "_d"}, {"d'", "_d'"}}}},   // D flat
    {12, 14, {{{"G,", "_G,"}, {"G", "_G"}, {"g", "_g"}, {"", ""}}}},                  // G flat
    {13, 14, {{{"C", "B,"}, {"c", "B"}, {"c'", "b"}, {"", ""}}}},                     // C flat
    {14, 14, {{{"F,", "E,"}, {"F", "E"}, {"f", "e"}, {"", ""}}}},                     // F flat
}};

// ---- the courses: which positions each course covers ----
struct Course {
  int course;  // 1 is the highest-sounding
  int open;    // position of the open course
  int first;   // lowest position played on it
  int last;    // highest position played on it
};
// Guitar in standard tuning, E A D G B E. Position 20 (the B) is played open
// on course 2, or at the fourth fret of course 3 with the b4 option.
constexpr std::array<Course, 6> kGuitar{{
    {6, 1, 1, 5}, {5, 6, 6, 10}, {4, 11, 11, 15}, {3, 16, 16, 19}, {2, 20, 20, 24}, {1, 25, 25, 35},
}};
// Mandolin, G D A E; the E, F and F sharp below its G have no course.
constexpr std::array<Course, 4> kMandolin{{
    {4, 4, 4, 10}, {3, 11, 11, 17}, {2, 18, 18, 24}, {1, 25, 25, 35},
}};
// Fret letters for frets 0 to 10; "j" is never used.
constexpr std::string_view kFretLetters = "abcdefghikl";

constexpr int kLowest = 1;
constexpr int kHighest = 35;

constexpr auto kPositionByCode = [] {
  std::array<int, kCodes> byCode{};
  for (const PositionRow& row : kPositions)
    for (std::string_view text : row.texts)
      if (!text.empty()) byCode[static_cast<std::size_t>(encode(text))] = row.position;
  return byCode;
}();

// For each key index, the code each plain note text is respelled to.
constexpr auto kSpellingByKey = [] {
  std::array<std::array<int, kCodes>, 15> spelling{};
  for (int key = 0; key < 15; ++key) {
    for (int code = 0; code < kCodes; ++code) spelling[key][code] = code;
    for (const SignatureRow& row : kSignature) {
      if (key < row.firstKey || key > row.lastKey) continue;
      for (const Rewrite& rewrite : row.rewrites)
        if (!rewrite.from.empty())
          spelling[key][static_cast<std::size_t>(encode(rewrite.from))] = encode(rewrite.to);
    }
  }
  return spelling;
}();

// Where each position is played: course and fret letter, for one instrument.
struct Place {
  int course = 0;  // 0: no course plays it
  char letter = ' ';
};
template <std::size_t N>
constexpr std::array<Place, kHighest + 1> placesOn(const std::array<Course, N>& courses) {
  std::array<Place, kHighest + 1> places{};
  for (const Course& course : courses)
    for (int position = course.first; position <= course.last; ++position)
      places[static_cast<std::size_t>(position)] = {
          course.course, kFretLetters[static_cast<std::size_t>(position - course.open)]};
  return places;
}
constexpr auto kGuitarPlaces = placesOn(kGuitar);
constexpr auto kMandolinPlaces = placesOn(kMandolin);

// The code of the note text a key signature spells `code` as.
int spelledCode(int keyIndex, int code) {
  if (code < 0 || keyIndex < 1 || keyIndex > 14) return code;
  return kSpellingByKey[static_cast<std::size_t>(keyIndex)][static_cast<std::size_t>(code)];
}

// The pitch position of a coded note text; 0 when the table has none.
int positionOf(int code) { return code < 0 ? 0 : kPositionByCode[static_cast<std::size_t>(code)]; }

// Where the coded (already spelled) note is played after the transposition:
// course -1 when it falls outside the compass or the table has no position for it.
FingerChart::Spot spotOf(int code, const Fingerboard& board) {
  int position = positionOf(code);
  int sum = position + board.transposition;
  // A text the table does not hold is never placed, whatever the transposition.
  if (position == 0 || sum < kLowest || sum > kHighest) return {-1, ' '};
  if (!board.mandolin && board.bOnThirdString && sum == 20) return {3, kFretLetters[20 - 16]};
  const Place& place = (board.mandolin ? kMandolinPlaces : kGuitarPlaces)[static_cast<std::size_t>(sum)];
  return {place.course, place.letter};
}

// The not-available message: the position right-aligned in two columns.
void reportUnplaceable(int sum, const std::string& text, std::ostream& messages) {
  messages << " Note not available: ";
  if (sum < -9 || sum > 99)
    messages << "**";
  else
    messages << std::setw(2) << sum;
  std::string shown = text;
  if (shown.size() < 3) shown.resize(3, ' ');
  messages << ' ' << shown << '\n';
}

}  // namespace

int pitchPosition(const std::string& noteText) { return positionOf(encode(noteText)); }

std::string keySpelling(int keyIndex, const std::string& noteText) {
  int code = encode(noteText);
  int spelled = spelledCode(keyIndex, code);
  return spelled == code ? noteText : decode(spelled);
}

int noteCode(char accidental, std::string_view written) {
  if (accidental == ' ') return encode(written);
  if (written.size() > 2) return -1;
  char text[3] = {accidental, written[0], written.size() > 1 ? written[1] : '\0'};
  return encode(std::string_view(text, written.size() + 1));
}

void FingerChart::forget(const Fingerboard& board) {
  board_ = board;
  ready_.fill(false);
}

void FingerChart::prepare(int keyIndex) {
  for (int code = 0; code < kCodes; ++code)
    spots_[static_cast<std::size_t>(keyIndex)][static_cast<std::size_t>(code)] =
        spotOf(spelledCode(keyIndex, code), board_);
  ready_[static_cast<std::size_t>(keyIndex)] = true;
}

void note(int keyIndex, std::string& noteText, std::string& tabCode, const Fingerboard& board,
          std::ostream& messages) {
  int code = encode(noteText);
  int spelled = spelledCode(keyIndex, code);
  if (spelled != code) noteText = decode(spelled);
  FingerChart::Spot spot = spotOf(spelled, board);
  if (spot.course < 0) {
    reportUnplaceable(positionOf(spelled) + board.transposition, noteText, messages);
    throw Stop(" ", kExitStopped);
  }
  if (spot.course > 0) tabCode[static_cast<std::size_t>(spot.course - 1)] = spot.letter;
}

}  // namespace kry
