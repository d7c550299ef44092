// Small text helpers every part of kry shares: the program's own
// upper-casing and the trimming of blank-padded fields.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace kry {

// upcase: turns the first `count` characters of `text` from a..z into A..Z.
void upcase(std::string& text, int count);

// The text without the blanks at its end, at its start, or at both. kry's
// lines and fields are padded with " " alone: a tab is no blank to them;
// abctab2ps reads a field's value as abcm2ps does, with tabs as blanks.
inline constexpr std::string_view kBlanksAndTabs = " \t";
inline std::string_view trimRight(std::string_view text, std::string_view blanks = " ") {
  return text.substr(0, text.find_last_not_of(blanks) + 1);
}
inline std::string_view trimLeft(std::string_view text, std::string_view blanks = " ") {
  return text.substr(std::min(text.find_first_not_of(blanks), text.size()));
}
inline std::string_view trim(std::string_view text, std::string_view blanks = " ") {
  return trimLeft(trimRight(text, blanks), blanks);
}

// The name of a file written for a base name, such as the PostScript file:
// "tune" and "tune." both give "tune.ps" for the kind "ps".
std::string outputName(const std::string& base, const std::string& kind);

// `text` cut or padded with blanks to exactly `width` characters.
std::string fixedField(std::string_view text, std::size_t width);
}  // namespace kry
