// Tunes in several voices, as kry and abctab2ps both read them: what a V:
// field says (its id, its name, the rest), where a music line changes voice
// with an inline [V:id], and how a %%score or %%staves line is rewritten so
// that the tab staff stands directly under the voice it plays.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kry {

// The value of a V: field ("1 name=\"Fiddle 1\" clef=treble"): the voice's id,
// its first word; its name= (or nm=), without quotes; and what follows the id.
struct VoiceField {
  std::string_view id;
  std::string_view name;
  std::string_view rest;  // the words after the id, blanks at the ends trimmed
};
VoiceField readVoice(std::string_view value);

// A piece of a music line in one voice: the whole line, or the music after
// an inline voice change "[V:2]". `voice` is empty for the music before the
// line's first change, which goes on in the voice the line starts in.
struct VoicePiece {
  std::string_view voice;   // the id the inline field names
  std::string_view field;   // the inline field as written, "[V:2 clef=bass]"; empty for none
  std::string_view music;   // the music after it, leading blanks left out
};
// The pieces of a music line, cut at every inline [V:] outside chord
// symbols, annotations and the comment. A line with no voice change is one
// piece; a line that starts with one has no piece before it.
std::vector<VoicePiece> voicePieces(std::string_view line);

// The voices a %%score or %%staves line lists, in order.
std::vector<std::string_view> scoreVoices(std::string_view value);

// The value of a %%score or %%staves line ("{1 | 2}", "(1 2) 3") with the
// voice `tabbed` written as `melody`, and `tab` after it within the same
// brace or bracket: after the voice itself, or after the parentheses that
// put it on one staff with others.
std::string scoreWithTab(std::string_view value, std::string_view tabbed, std::string_view melody,
                         std::string_view tab);

}  // namespace kry
