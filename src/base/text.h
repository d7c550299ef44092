// Small text helpers every part of kry shares: the program's own
// upper-casing and the trimming of blank-padded fields.
#pragma once

#include <string>
#include <string_view>

namespace kry {

// upcase: turns the first `count` characters of `text` from a..z into A..Z.
void upcase(std::string& text, int count);

// The text without its trailing blanks (tabs and other characters stay).
// Every line written goes through it, so it is inline.
inline std::string_view trimRight(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return end == 0 ? std::string_view{} : text.substr(0, end);
}

// The text without its leading blanks.
inline std::string_view trimLeft(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  return start == text.size() ? std::string_view{} : text.substr(start);
}

// The name of a file written for a base name, such as the PostScript file:
// "tune" and "tune." both give "tune.ps" for the kind "ps".
std::string outputName(const std::string& base, const std::string& kind);

// `text` cut or padded with blanks to exactly `width` characters.
std::string fixedField(std::string_view text, std::size_t width);

constexpr bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool isLengthChar(char c) { return (c >= '1' && c <= '9') || c == '/'; }
constexpr bool isAccidental(char c) { return c == '^' || c == '=' || c == '_'; }
constexpr bool isOctaveMark(char c) { return c == ',' || c == '\''; }

}  // namespace kry
