// Reading ABC and kry's tab: the rules kry and abctab2ps both follow, so the
// melody staff and the tab staff read a tune alike. Characters, lines and
// field lines, numbers, note lengths, decorations and the symbols of U:
// fields, chords, voice overlays, the numbers of repeat endings, octave=,
// and the fret letters of the tab.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kry {

// The longest line of a tune file kry and abctab2ps read: a longer one is no
// line of music or of a header, and is refused with its place, so memory
// stays bounded whatever the file holds.
inline constexpr std::size_t kLongestLine = std::size_t{1} << 20;

// ---- characters ----
constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool isNoteLetter(char c) { return (c >= 'A' && c <= 'G') || (c >= 'a' && c <= 'g'); }
constexpr bool isAccidental(char c) { return c == '^' || c == '=' || c == '_'; }
// A note's accidental as one character: "^", "=", "_" as written, and a code
// each for the double sharp "^^" and the double flat "__"; blank for none.
inline constexpr char kDoubleSharp = '#';
inline constexpr char kDoubleFlat = 'b';
constexpr char accidentalCode(std::string_view written) {
  if (written.empty()) return ' ';
  if (written.size() == 2) return written[0] == '^' ? kDoubleSharp : kDoubleFlat;
  return written[0];
}
// The accidental as written: "^^" for the double sharp's code.
constexpr std::string_view accidentalText(char code) {
  switch (code) {
    case kDoubleSharp: return "^^";
    case kDoubleFlat: return "__";
    case '^': return "^";
    case '=': return "=";
    case '_': return "_";
    default: return "";
  }
}
constexpr bool isOctaveMark(char c) { return c == ',' || c == '\''; }
// What a note's length starts with after it: a digit 1 to 9 or "/".
constexpr bool isLengthChar(char c) { return (c >= '1' && c <= '9') || c == '/'; }
// The letters that mark a note rather than play one: the shorthand
// decorations H L M O P S T u v, the roll "~", and J, an old slide mark.
constexpr bool isShorthand(char c) { return std::string_view("HLMOPSTuvJ~").find(c) != std::string_view::npos; }

// ---- lines ----
// The lines of a text: a line ends at LF, CR or CR LF, and a last line with
// no line end still counts.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text), cr_(text.find('\r')) {}
  // The next line without its line end; false at the end of the text.
  bool next(std::string_view& line);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t cr_;  // the first CR at or after pos_, or npos: most texts have none
};

// A field line ("T:Title", "K:G"), or an inline field after its "[": a
// letter and a colon.
constexpr bool isFieldLine(std::string_view line) { return line.size() > 1 && line[1] == ':' && isLetter(line[0]); }

// ---- numbers ----
// The whole number written with the digits at `i`, moving `i` past them;
// nothing when no digit stands there or the number is too large to hold.
std::optional<long> readNumber(std::string_view text, std::size_t& i);
// The whole number that `digits` is, and nothing else.
std::optional<long> wholeNumber(std::string_view digits);

// ---- note lengths ----
// A note length as a fraction of the unit note length (L:).
struct Length {
  long num = 1;
  long den = 1;
};
// Where the length written at `i` after a note ends: a length is a digit 1
// to 9 or "/", then any digits and "/" ("2", "/2", "3/2", "//", "10", "30");
// `i` itself when none is written there ("0" begins none).
constexpr std::size_t lengthEnd(std::string_view text, std::size_t i) {
  if (i >= text.size() || !isLengthChar(text[i])) return i;
  for (++i; i < text.size() && (isDigit(text[i]) || text[i] == '/');) ++i;
  return i;
}
// The length written at `i`, moving `i` past it; empty when none is.
std::string_view lengthRun(std::string_view text, std::size_t& i);
// How much of such a run abcm2ps reads as a length: digits, then "/" and a
// divisor or more "/". Of "/4/" it reads "/4".
std::size_t readablePrefix(std::string_view run);
// The value of a length as written, in lowest terms: "2", "3/2", "/", "//",
// "3/"; nothing when it is none (or absurdly large).
std::optional<Length> readLength(std::string_view text);

// ---- decorations, the symbols of U: fields, and chords in "+" ----
// Where the decoration opened at `open` ("!trill!", "+trill+") closes: its
// partner must follow on the line with no blank and no bar line in between.
// npos when the character at `open` opens none. What a "+" starts in a
// melody line as abcm2ps reads it is markAt's to say.
std::size_t decorationEnd(std::string_view line, std::size_t open);

// The symbols U: fields define ("U:s = !staccato!", "U: w = +upbow+"): a
// letter H to W, h to w, or "~", that stands for a decoration wherever it is
// written, and the name of that decoration. Those of the file's header hold
// for every tune; a tune's own hold to its end.
class Symbols {
 public:
  // Reads the value of a U: field, after its colon.
  void define(std::string_view value);
  // Whether `c` is a letter defined as a decoration.
  bool marks(char c) const { return letters_.find(c) != std::string::npos; }
  // Whether `name` is a decoration: one of ABC 2.1's ("trill", "fermata",
  // "D.C.", "mf", ...) or the few more abcm2ps knows, or one defined here.
  bool isDecoration(std::string_view name) const;
  bool operator==(const Symbols&) const = default;

 private:
  std::string letters_;
  std::vector<std::string> names_;
};

// What a "!" or a "+" at `open` on a music line starts, and where it ends:
// - "!": a decoration when decorationEnd finds its partner; else a lone "!",
//   the old mark for a line break, which carries no music;
// - "+": abcm2ps reads to the next "+", or to the end of the line. A
//   decoration when what stands between is a decoration name; an ABC 1.6
//   chord ("+GB+", "+E3 c3 +") when it holds note letters and nothing but
//   notes, lengths, ties and blanks; any other text is a decoration too,
//   one abcm2ps does not know.
enum class MarkKind { kLone, kDecoration, kChord };
struct Mark {
  MarkKind kind;
  std::size_t close;  // the partner; `open` for a lone "!", the last character for a "+" with none
};
Mark markAt(std::string_view line, std::size_t open, const Symbols& symbols);

// Past what marks the notes of a chord at `i` without being one: a
// decoration ("!tenuto!", "+trill+", ".", "~", "H", a letter of U:), a slur,
// a tie or a blank; `i` itself when anything else stands there.
std::size_t chordMarkEnd(std::string_view chord, std::size_t i, const Symbols& symbols);

// ---- fields ----
// The octaves written in "octave=N" among the words of a K: or V: field
// ("K:G octave=1", "V:1 clef=treble octave=-1"): the notes sound N octaves
// above what is written; nothing when the field does not say.
std::optional<int> octaveOf(std::string_view field);
// The half steps written in "transpose=N" ("K:Bb transpose=-2"): the notes
// sound N half steps above what is written, which abcm2ps draws as it is;
// nothing when the field does not say.
std::optional<int> transposeOf(std::string_view field);

// ---- endings ----
// Past the numbers of repeat endings at `i` ("1", "1,2", "1-3"); they belong
// to the melody staff. A comma with no digit after it is no list.
std::size_t endingsEnd(std::string_view text, std::size_t i);

// ---- the tab ----
// Fret letters: "a" is the open course, then one letter a fret, to fret 15;
// there is no "j".
inline constexpr std::string_view kFretLetters = "abcdefghiklmnopq";
constexpr char fretLetter(int fret) { return kFretLetters[static_cast<std::size_t>(fret)]; }
// The fret a letter stands for; nothing for a letter that is none.
constexpr std::optional<int> fretOf(char letter) {
  std::size_t at = kFretLetters.find(letter);
  if (at == std::string_view::npos) return std::nullopt;
  return static_cast<int>(at);
}

}  // namespace kry
