// Reading ABC and kry's tab: the rules kry and abctab2ps both follow, so the
// melody staff and the tab staff read a tune alike. Characters, lines and
// field lines, numbers, note lengths, decorations, the numbers of repeat
// endings, and the fret letters of the tab.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace kry {

// ---- characters ----
constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool isNoteLetter(char c) { return (c >= 'A' && c <= 'G') || (c >= 'a' && c <= 'g'); }
constexpr bool isAccidental(char c) { return c == '^' || c == '=' || c == '_'; }
constexpr bool isOctaveMark(char c) { return c == ',' || c == '\''; }
// What a note's length is written with after it: the digits 1 to 9 and "/".
constexpr bool isLengthChar(char c) { return (c >= '1' && c <= '9') || c == '/'; }

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
// The run of digits and "/" at `i` that follows a note, moving `i` past it.
std::string_view lengthRun(std::string_view text, std::size_t& i);
// How much of such a run abcm2ps reads as a length: digits, then "/" and a
// divisor or more "/". Of "/4/" it reads "/4".
std::size_t readablePrefix(std::string_view run);
// The value of a length as written, in lowest terms: "2", "3/2", "/", "//",
// "3/"; nothing when it is none (or absurdly large).
std::optional<Length> readLength(std::string_view text);

// ---- decorations and endings ----
// Where the decoration opened at `open` ("!trill!", "+fermata+") closes: its
// partner must follow on the line with no blank and no bar line in between.
// npos when the character at `open` opens none.
std::size_t decorationEnd(std::string_view line, std::size_t open);
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
