// What kry and abctab2ps agree on: kry writes a tune of two voices for
// abctab2ps, and reads back the messages abctab2ps writes about its lines.
// Both programs take these from here, never as literals of their own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/abc.h"

namespace kry::contract {

// The typesetter's own name, as it signs its messages.
inline constexpr std::string_view kTypesetter = "abctab2ps";

// The two voices of every converted tune: the melody as written, and the tab under it.
inline constexpr std::string_view kMelodyVoice = "M";
inline constexpr std::string_view kTabVoice = "G";
// How a music line of each voice begins: "[V:M] GABc|", "[V:G] ,,a1 ...".
inline constexpr std::string_view kMelodyLine = "[V:M]";
inline constexpr std::string_view kTabLine = "[V:G]";
// As kry writes them, a blank after the voice.
inline constexpr std::string_view kMelodyLineStart = "[V:M] ";
inline constexpr std::string_view kTabLineStart = "[V:G] ";
// The voice fields that define them, with their clefs: the tab staff's has
// six lines for the guitar's six courses, five for the banjo's, four for a
// four-course instrument.
inline constexpr std::string_view kMelodyField = "V:M clef=treble";
// The melody voice named alone: where the tune goes on in it after another
// voice of the tune's own, or with words of its own after it ("V:M clef=bass").
inline constexpr std::string_view kMelodyVoiceField = "V:M";
inline constexpr std::string_view kTabFieldSixCourses = "V:G clef=guitartab";
inline constexpr std::string_view kTabFieldFiveCourses = "V:G clef=banjo5tab";
inline constexpr std::string_view kTabFieldFourCourses = "V:G clef=spanish4tab";
inline constexpr std::string_view kSixCourseClef = "guitartab";
inline constexpr std::string_view kFiveCourseClef = "banjo5tab";
inline constexpr std::string_view kFourCourseClef = "spanish4tab";

// The most half steps a tune is transposed, either way.
inline constexpr int kMostHalfSteps = 11;
// The largest scale of the printed page; a scale is above 0.
inline constexpr double kLargestScale = 4.0;

// A message of the typesetter's about a line of the tune it was handed:
// "abctab2ps: TEMP.ABC line 12: text", the file name as it was handed.
struct PlacedMessage {
  long line = 0;
  std::string_view text;
};
inline std::string placedMessage(std::string_view file, long line, std::string_view text) {
  return std::string(file) + " line " + std::to_string(line) + ": " + std::string(text);
}
// Reads such a message after the typesetter's name and ": "; nothing for any other text.
inline std::optional<PlacedMessage> readPlacedMessage(std::string_view message, std::string_view file) {
  const std::string head = std::string(file) + " line ";
  if (!message.starts_with(head)) return std::nullopt;
  std::size_t at = head.size();
  std::optional<long> number = readNumber(message, at);
  if (!number || *number < 1 || message.substr(at, 2) != ": ") return std::nullopt;
  return PlacedMessage{*number, message.substr(at + 2)};
}

}  // namespace kry::contract
