#include "convert/pitch.h"

#include <algorithm>
#include <array>
#include <iomanip>
#include <sstream>
#include <string_view>
#include <vector>

#include "base/stop.h"
#include "base/abc.h"

namespace kry {
namespace {

// ---- note texts as small numbers ----
// The key signature respells a note text of an optional accidental, a letter
// A..G or a..g and at most one octave mark; each such text gets a code so the
// table below can be looked up directly.
constexpr std::string_view kAccidentals = " ^=_";
constexpr std::string_view kLetters = "ABCDEFGabcdefg";
constexpr std::string_view kMarks = " ,'";
constexpr int kCodes = 4 * 14 * 3;

constexpr int codeOf(char accidental, char letter, std::string_view marks) {
  std::size_t a = kAccidentals.find(accidental), l = kLetters.find(letter);
  std::size_t m = marks.empty() ? 0 : marks.size() > 1 ? std::string_view::npos : kMarks.find(marks[0]);
  if (a == std::string_view::npos || l == std::string_view::npos || m == std::string_view::npos || (m == 0 && !marks.empty()))
    return -1;
  return static_cast<int>(a * 42 + l * 3 + m);
}

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

// The code of the note text a key signature spells `code` as.
int spelledCode(int keyIndex, int code) {
  if (code < 0 || keyIndex < 1 || keyIndex > 14) return code;
  return kSpellingByKey[static_cast<std::size_t>(keyIndex)][static_cast<std::size_t>(code)];
}

// The top of the compass: d'.
constexpr int kHighest = 35;
// The lowest open note a tuning may have: C, (a tuning's notes lie from C, to one above d').
constexpr int kLowestOpen = -3;

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

}  // namespace

std::string keySpelling(int keyIndex, const std::string& noteText) {
  int code = encode(noteText);
  if (code >= 0 && spelledCode(keyIndex, code) != code) return decode(spelledCode(keyIndex, code));
  // A note in an octave the table does not spell takes the key's sharp or flat.
  int shift = isNoteLetter(noteText[0]) ? keyAccidental(keyIndex, noteText[0]) : 0;
  return shift == 0 ? noteText : (shift > 0 ? "^" : "_") + noteText;
}

Fretboard::Fretboard(const Instrument& board) : instrument_(board) {
  const Tuning& tuning = board.courses();
  int lowestOpen = *std::min_element(tuning.open.begin(), tuning.open.begin() + tuning.courses);
  lowest_ = std::min(1, lowestOpen);
  // Each course plays to its tenth fret, no higher than d', or over the
  // whole reach of the frets when the hand is placed by the whole tune.
  int top = 0;
  for (std::size_t k = 0; k < static_cast<std::size_t>(tuning.courses); ++k)
    top = std::max(top, tuning.open[k] + board.reach - tuning.nut[k]);
  int highest = (board.reach > 10 ? top : std::min(kHighest, top)) + board.capo;
  for (int pitch = lowest_; pitch <= highest; ++pitch) {
    Place place;
    place.pitch = pitch;
    place.spot = lowestFret(pitch);
    // With b4 the B of the open second string is played at the fourth fret of the third.
    if (board.bOnThirdString && tuning == kStandardGuitar && pitch == open(2)) place.spot = {3, 4};
    place.size = static_cast<unsigned char>(std::max(place.spot.course, 1));
    place.text.fill(',');
    place.text[place.size - 1u] = place.spot.course == 0 ? 'x' : fretLetter(place.spot.fret);
    places_.push_back(place);
  }
  for (int key = 0; key < 15; ++key) {
    for (char letter : std::string_view("ABCDEFGabcdefg")) {
      int sum = *notePitch(key, ' ', std::string_view(&letter, 1)) + board.shift();
      if (sum >= lowest_ && sum <= highest)
        plain_[static_cast<std::size_t>(key)][plainSlot(letter)] = &at(sum);
    }
  }
}

// The course that plays `pitch` at the lowest fret, at any fret (a course of
// a tuning with wide gaps plays on up to the next); of two alike the one
// nearer the top of the tab; course 0 when none plays it.
Spot Fretboard::lowestFret(int pitch) const {
  Spot best;
  for (int course = courses(); course >= 1; --course) {
    const int nut = instrument_.courses().nut[static_cast<std::size_t>(course - 1)];
    int fret = pitch - open(course) + nut;  // above a short course's nut only
    if (pitch == open(course))
      best = {course, 0};
    else if (fret > nut && (best.course == 0 || fret <= best.fret))
      best = {course, fret};
  }
  return best;
}

int Fretboard::open(int course) const {
  return instrument_.courses().open[static_cast<std::size_t>(course - 1)] + instrument_.capo;
}

std::optional<int> Fretboard::fretOn(int course, int pitch) const {
  if (course < 1 || course > courses()) return std::nullopt;
  const int nut = instrument_.courses().nut[static_cast<std::size_t>(course - 1)];
  if (pitch == open(course)) return 0;
  int fret = pitch - open(course) + nut;
  if (fret <= nut || fret > instrument_.reach) return std::nullopt;
  return fret;
}

NoteUnavailable::NoteUnavailable(int sum, std::string text)
    : Stop(" ", kExitStopped, notAvailable(sum, text)), sum(sum), text(std::move(text)) {}

void unavailable(int keyIndex, char accidental, std::string_view written, int sum) {
  std::string text = std::string(accidentalText(accidental)) + std::string(written);
  throw NoteUnavailable(sum, keySpelling(keyIndex, text));
}

std::string noteName(int pitch) {
  constexpr std::array<std::string_view, 12> kFromC = {"C", "^C", "D", "^D", "E", "F", "^F", "G", "^G", "A", "^A", "B"};
  int fromC = pitch - 9;  // 9 is the C below middle C, written "C"
  int octave = fromC >= 0 ? fromC / 12 : -((11 - fromC) / 12);
  std::string name(kFromC[static_cast<std::size_t>(fromC - 12 * octave)]);
  if (octave >= 1) name.back() = static_cast<char>(name.back() + 32);  // the octave from middle C is lower case
  name.append(static_cast<std::size_t>(std::max(octave - 1, 0)), '\'');
  name.append(static_cast<std::size_t>(std::max(-octave, 0)), ',');
  return name;
}

namespace {

// "1 half step", "3 half steps".
std::string halfSteps(int count) { return std::to_string(count) + (count == 1 ? " half step" : " half steps"); }

// The letter names of a tuning's open notes, lowest first: "DADGAD", "DADF#AD".
std::string openNotes(const Tuning& tuning) {
  std::string names;
  for (int course = tuning.courses; course >= 1; --course) {
    std::string name = noteName(tuning.open[static_cast<std::size_t>(course - 1)]);
    char letter = name[name[0] == '^' ? 1 : 0];
    names += static_cast<char>(letter >= 'a' ? letter - 32 : letter);
    if (name[0] == '^') names += '#';
  }
  return names;
}

// "the guitar in standard tuning", "the mandolin with a capo at fret 2", "the guitar tuned DADGAD",
// "the 5-string banjo tuned GDGBD".
std::string instrumentName(const Instrument& board) {
  constexpr std::array<std::string_view, 3> kCourses = {"the four-course instrument", "the five-course instrument", "the guitar"};
  std::string name = !board.tuning ? (board.mandolin ? "the mandolin" : "the guitar in standard tuning")
                     : !board.name.empty()
                         ? board.name + " tuned " + openNotes(*board.tuning)
                         : std::string(kCourses[static_cast<std::size_t>(board.tuning->courses - 4)]) + " tuned " + openNotes(*board.tuning);
  if (board.capo > 0) name += " with a capo at fret " + std::to_string(board.capo);
  return name;
}

// "option -2"; "option 1 instead of 3"; "no transposition instead of 3".
std::string transpositionOption(int wanted, int now) {
  std::string option = wanted == 0 ? "no transposition" : "option " + std::to_string(wanted);
  return now == 0 ? option : option + " instead of " + std::to_string(now);
}

}  // namespace

std::string reachAdvice(const Fretboard& fretboard, int sum, const std::string& text, bool skipping) {
  const Instrument& board = fretboard.instrument();
  std::vector<std::string> helps;
  std::string line = " " + text;
  std::size_t letter = !text.empty() && isAccidental(text[0]) ? 1 : 0;
  if (letter >= text.size() || !isNoteLetter(text[letter])) {
    line += " is no note: notes are written with the letters A to G and a to g";
  } else {
    bool above = sum > fretboard.highest();
    int steps = above ? sum - fretboard.highest() : fretboard.lowest() - sum;
    if (board.transposition != 0) line += " transposed by " + std::to_string(board.transposition);
    if (board.octaves != 0) line += (board.transposition != 0 ? " and" : "") + std::string(" moved by octave=") + std::to_string(board.octaves);
    if (board.shift() != 0) line += " to " + noteName(sum);
    line += " lies " + halfSteps(steps) + (above ? " above" : " below") + " the compass of " + instrumentName(board) + ", " +
            noteName(fretboard.lowest()) + " to " + noteName(fretboard.highest());
    int wanted = board.transposition + (above ? -steps : steps);
    if (wanted >= -11 && wanted <= 11)
      helps.push_back("transposing " + halfSteps(steps) + (above ? " lower (" : " higher (") +
                      transpositionOption(wanted, board.transposition) + ")");
    bool posReaches = false;
    for (int course = 1; course <= fretboard.courses(); ++course)
      posReaches = posReaches || (sum > fretboard.open(course) && sum - fretboard.open(course) + board.courses().nut[static_cast<std::size_t>(course - 1)] <= kHandReach);
    if (above && board.reach < kHandReach && posReaches)
      helps.push_back("option pos (frets up to " + std::to_string(kHandReach) + ")");
  }
  if (!skipping) helps.push_back("option skip to leave such a tune out");
  for (std::size_t k = 0; k < helps.size(); ++k)
    line += (k == 0 ? "; what helps: " : k + 1 == helps.size() ? " or " : ", ") + helps[k];
  return line + ".";
}

std::optional<Tuning> readTuning(std::string_view notes, std::string* fault) {
  auto refuse = [fault](std::string why) -> std::optional<Tuning> {
    if (fault != nullptr) *fault = std::move(why);
    return std::nullopt;
  };
  Tuning tuning;
  std::array<int, 6> lastFirst{};
  for (std::size_t at = 0; at < notes.size();) {
    std::size_t start = at;
    char accidental = isAccidental(notes[at]) ? notes[at++] : ' ';
    std::size_t end = at + 1;
    while (end < notes.size() && isOctaveMark(notes[end])) ++end;
    std::optional<int> pitch = at < notes.size() ? notePitch(0, accidental, notes.substr(at, end - at)) : std::nullopt;
    std::string written(notes.substr(start, std::min(end, notes.size()) - start));
    if (!pitch.has_value()) return refuse(written + " is no ABC note");
    const int sounds = pitch.value();
    if (sounds < kLowestOpen) return refuse(written + " is lower than a course may be tuned (" + noteName(kLowestOpen) + " at the lowest)");
    if (sounds > kHighest + 1) return refuse(written + " is higher than a course may be tuned (" + noteName(kHighest + 1) + " at the highest)");
    if (tuning.courses == 6) return refuse("it has more than six notes");
    lastFirst[static_cast<std::size_t>(tuning.courses++)] = sounds;
    at = end;
  }
  if (tuning.courses < 4)
    return refuse(tuning.courses == 0 ? "it has no notes" : "it has " + std::to_string(tuning.courses) + (tuning.courses == 1 ? " note" : " notes"));
  for (int course = 0; course < tuning.courses; ++course)
    tuning.open[static_cast<std::size_t>(course)] = lastFirst[static_cast<std::size_t>(tuning.courses - 1 - course)];
  return tuning;
}

namespace {

// The instruments a player names, each in the octave its music is written
// in: the banjos, the guitar-like baritone ukulele, the tenor banjo and the
// bouzouki an octave above their sound, as guitar music is; the ukulele and
// the mandola at pitch, as the mandolin. General MIDI has a banjo (105); the
// ukuleles come closest to its nylon-string guitar (24), the bouzouki and
// the mandola to its steel-string one (25).
constexpr NamedInstrument kInstruments[] = {
    {"BANJO", "gDGBd", true, {105, 1}, "the 5-string banjo", "5-string banjo, open G (gDGBD)"},
    {"UKE", "GCEA", false, {24, 0}, "the ukulele", "Ukulele (gCEA)"},
    {"UKE=LOW", "G,CEA", false, {24, 0}, "the ukulele", "Ukulele, low G (GCEA)"},
    {"BARITONE", "DGBe", false, {24, 1}, "the baritone ukulele", "Baritone ukulele (DGBE)"},
    {"TENORBANJO", "G,DAe", false, {105, 1}, "the tenor banjo", "Tenor banjo (GDAE)"},
    {"BOUZOUKI", "G,DAd", false, {25, 1}, "the bouzouki", "Bouzouki (GDAD)"},
    {"MANDOLA", "C,G,DA", false, {25, 0}, "the mandola", "Mandola (CGDA)"},
    // Other tunings of the 5-string banjo, by name.
    {"BANJO=DOUBLEC", "gCGcd", true, {105, 1}, "the 5-string banjo", "5-string banjo, double C (gCGCD)"},
    {"BANJO=OPEND", "aD^FAd", true, {105, 1}, "the 5-string banjo", "5-string banjo, open D (aDF#AD)"},
    {"BANJO=SAWMILL", "gDGcd", true, {105, 1}, "the 5-string banjo", "5-string banjo, sawmill (gDGCD)"},
};

}  // namespace


const NamedInstrument* namedInstrument(std::string_view word) {
  for (const NamedInstrument& instrument : kInstruments)
    if (instrument.word == word) return &instrument;
  return nullptr;
}

}  // namespace kry
