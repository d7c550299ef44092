#include "convert/pitch.h"

#include <algorithm>
#include <array>
#include <iomanip>
#include <sstream>
#include <string_view>

#include "base/stop.h"
#include "base/abc.h"

namespace kry {
namespace {

// ---- note texts as small numbers ----
// A note text that can have a position is an optional accidental, a letter
// A..G or a..g and at most one octave mark; each such text gets a code (see
// Fretboard::codeOf) so the tables below can be looked up directly.
constexpr std::string_view kAccidentals = " ^=_";
constexpr std::string_view kLetters = "ABCDEFGabcdefg";
constexpr std::string_view kMarks = " ,'";
constexpr int kCodes = Fretboard::kCodes;
constexpr int codeOf(char accidental, char letter, std::string_view marks) { return Fretboard::codeOf(accidental, letter, marks); }

// The code of a note text: an accidental, a letter, at most one octave mark.
constexpr int encode(std::string_view text) {
  if (text.empty()) return -1;
  std::size_t i = text.size() > 1 && isAccidental(text[0]) ? 1 : 0;
  return codeOf(i == 1 ? text[0] : ' ', text[i], text.substr(i + 1));
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
constexpr std::array<PositionRow, 40> kPositions{{
    // Below the E of the guitar's sixth string: held only for tunings that reach down there.
    {-3, {"C,", "=C,", ""}},         {-2, {"^C,", "_D,", ""}},       {-1, {"D,", "=D,", ""}},
    {0, {"^D,", "_E,", ""}},
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

// ---- the courses ----
constexpr int kNoPosition = -99;  // a note text the table does not hold
constexpr int kHighest = 35;       // d', the top of the compass

constexpr auto kPositionByCode = [] {
  std::array<int, kCodes> byCode{};
  byCode.fill(kNoPosition);
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

// The lowest position the table holds for a tuning: the E of the guitar's
// sixth string, or the lowest open note when that lies lower.
int bottomOf(const Tuning& tuning) {
  int bottom = 1;
  for (int course = 0; course < tuning.courses; ++course) bottom = std::min(bottom, tuning.open[static_cast<std::size_t>(course)]);
  return bottom;
}

// Where a position is played: the course that covers it and the fret there;
// course 0 below the lowest open note, nothing above the highest course's
// tenth fret. The B on the third string goes to course 3 with b4 on the
// standard guitar.
std::optional<Spot> placeOn(int position, const Fingerboard& board) {
  const Tuning& tuning = board.courses();
  if (board.bOnThirdString && tuning == kStandardGuitar && position == 20) return Spot{3, 4};
  if (position > tuning.open[0] + 10) return std::nullopt;
  for (int course = 1; course <= tuning.courses; ++course) {
    int open = tuning.open[static_cast<std::size_t>(course - 1)];
    if (position >= open) return Spot{course, position - open};
  }
  return Spot{0, 0};
}

// The code of the note text a key signature spells `code` as.
int spelledCode(int keyIndex, int code) {
  if (code < 0 || keyIndex < 1 || keyIndex > 14) return code;
  return kSpellingByKey[static_cast<std::size_t>(keyIndex)][static_cast<std::size_t>(code)];
}

// The pitch position of a coded note text; kNoPosition when the table has none.
int positionOf(int code) { return code < 0 ? kNoPosition : kPositionByCode[static_cast<std::size_t>(code)]; }

// The not-available message: the position right-aligned in two columns,
// then the note as the key spells it, in three.
std::string notAvailable(int sum, const std::string& text) {
  std::ostringstream message;
  message << " Note not available: ";
  if (sum < -9 || sum > 99)
    message << "**";
  else
    message << std::setw(2) << sum;
  message << ' ' << text << std::string(text.size() < 3 ? 3 - text.size() : 0, ' ') << '\n';
  return message.str();
}

// Where a note is played: its position after the key signature, then the
// transposition, then the course that covers it. A note the position table
// does not hold is never placed, whatever the transposition.
std::optional<Spot> placeNote(int keyIndex, int code, const Fingerboard& board) {
  int position = positionOf(spelledCode(keyIndex, code));
  int sum = position + board.transposition;
  int bottom = bottomOf(board.courses());
  if (position < bottom || sum < bottom || sum > kHighest) return std::nullopt;
  return placeOn(sum, board);
}

}  // namespace

std::string keySpelling(int keyIndex, const std::string& noteText) {
  int code = encode(noteText);
  int spelled = spelledCode(keyIndex, code);
  return spelled == code ? noteText : decode(spelled);
}

Fretboard::Fretboard(const Fingerboard& board) : board_(board) {
  for (int key = 0; key < 15; ++key) {
    for (int code = 0; code < kCodes; ++code) {
      Place& at = places_[static_cast<std::size_t>(key)][static_cast<std::size_t>(code)];
      std::optional<Spot> spot = placeNote(key, code, board);
      if (!spot) continue;
      at.placed = true;
      at.spot = *spot;
      at.size = static_cast<unsigned char>(std::max(spot->course, 1));
      at.text.fill(',');
      at.text[at.size - 1u] = spot->course == 0 ? 'x' : fretLetter(spot->fret);
    }
  }
}

// The message gives 0 for a note written where no course of the board reaches.
void unavailable(int keyIndex, char accidental, std::string_view written, const Fingerboard& board) {
  std::string text = (accidental == ' ' ? "" : std::string(1, accidental)) + std::string(written);
  int position = positionOf(spelledCode(keyIndex, encode(text)));
  int held = position < bottomOf(board.courses()) ? 0 : position;
  throw Stop::refusal(notAvailable(held + board.transposition, keySpelling(keyIndex, text)));
}

std::optional<Tuning> readTuning(std::string_view notes) {
  Tuning tuning;
  std::array<int, 6> lowFirst{};
  for (std::size_t at = 0; at < notes.size();) {
    std::size_t end = at + (isAccidental(notes[at]) ? 2 : 1);
    if (end < notes.size() && isOctaveMark(notes[end])) ++end;
    int position = end <= notes.size() ? positionOf(encode(notes.substr(at, end - at))) : kNoPosition;
    if (position == kNoPosition || tuning.courses == 6 ||
        (tuning.courses > 0 && position <= lowFirst[static_cast<std::size_t>(tuning.courses - 1)]))
      return std::nullopt;
    lowFirst[static_cast<std::size_t>(tuning.courses++)] = position;
    at = end;
  }
  if (tuning.courses != 4 && tuning.courses != 6) return std::nullopt;
  for (int course = 0; course < tuning.courses; ++course)
    tuning.open[static_cast<std::size_t>(course)] = lowFirst[static_cast<std::size_t>(tuning.courses - 1 - course)];
  return tuning;
}

}  // namespace kry
