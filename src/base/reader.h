// Reading an ABC file line by line: what kind of line each is, and the items
// a music line is made of, each with its column. kry's scanner walks these
// items; what a line means is decided here once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/abc.h"

namespace kry {

// ---- lines ----
enum class LineKind : unsigned char {
  kBlank,      // nothing but blanks
  kField,      // "T:Title", "x:1": a letter of either case and a colon
  kComment,    // "% ...": a remark
  kDirective,  // "%%staffsep 2cm": a formatting instruction
  kBlock,      // a line of a "%%beginps", "%%begintext" or "%%beginsvg" block, its first and last included
  kMusic,      // notes, bar lines and the rest
};

// Classifies the lines of a file in order: a block runs from its begin
// directive to its end directive, and every line in it is the block's.
class LineReader {
 public:
  // The kind of `line`, blanks at its ends trimmed.
  LineKind classify(std::string_view line);
  bool inBlock() const { return !blockEnd_.empty(); }

 private:
  std::string_view blockEnd_;  // the directive that ends the block open, or empty
};

// Whether `line` starts a tune: an X: field, written "x:" too.
constexpr bool startsTune(std::string_view line) {
  return line.size() >= 2 && (line[0] == 'X' || line[0] == 'x') && line[1] == ':';
}

// ---- the items of a music line ----
enum class ItemKind : unsigned char {
  kNote,          // "^^c'2": accidental(s), a letter, octave marks, length; a letter that is no note too
  kRest,          // "z2", "x", "Z4", "X": a rest, one that shows nothing, a bar's rest
  kSpacer,        // "y", "y2": room on the staff, no time
  kChord,         // "[CEG]2", "+CEG+": notes sounded together, with the length after it
  kBar,           // "|", "||", "|:", ":|", "::", "[|", "|]"
  kEnding,        // the numbers of a repeat ending after a bar line ("1", "1,2") or "[1", "[1-3"
  kDecoration,    // "!trill!", "+fermata+", ".", "~", "H".."v", a letter of a U: field
  kField,         // "[K:D]", "[L:1/16]": an inline field, brackets included
  kVoice,         // "[V:2]": the music goes on in another voice
  kTuplet,        // "(3", "(3:2:3"
  kBroken,        // ">", "<<": broken rhythm
  kTie,           // "-"
  kSlurOpen,      // "("
  kSlurClose,     // ")"
  kText,          // "\"G7\"", "\"^fine\"": a chord symbol or an annotation, quotes included
  kGrace,         // "{ag}": grace notes, braces included
  kOverlay,       // "&": a second voice on the same staff, to the end of the bar
  kBlank,         // blanks and tabs
  kComment,       // "% ...", to the end of the line
  kContinuation,  // "\\": the music goes on on the next line
  kIgnored,       // "`": spaces beamed notes, nothing more
  kAccidental,    // an accidental that marks no note: followed by another, by no letter, or by the line's end
  kIncomplete,    // "[" with no partner, or "[]"
  kOther,         // any other character: "+" opening nothing, a lone "!", a stray digit or octave mark...
};

// One item: its kind, its column (0 for the line's first character) and its
// text, a view of the line. A note, rest, spacer or chord also tells where
// its letter (a chord's "[") and its length stand in its text.
struct Item {
  ItemKind kind = ItemKind::kOther;
  std::uint32_t column = 0;
  std::string_view text;
  std::uint16_t letter = 0;  // past the accidental(s)
  std::uint16_t length = 0;  // past the letter and octave marks, or the chord's closing bracket

  std::string_view accidental() const { return {text.data(), letter}; }
  // A note's letter and octave marks.
  std::string_view pitch() const { return {text.data() + letter, static_cast<std::size_t>(length - letter)}; }
  std::string_view lengthText() const { return {text.data() + length, text.size() - length}; }
  // A chord's notes and marks, between its brackets.
  std::string_view inside() const { return text.substr(1, length - 2u); }
};

// The items of a music line, one after another. The U: symbols tell which
// letters are decorations.
class MusicLine {
 public:
  MusicLine(std::string_view line, const Symbols& symbols) : line_(line), symbols_(symbols) {}
  // The next item; false at the end of the line. What most of a line is
  // made of, the plain note (a letter with a length or none), a single
  // blank, a single bar line and a chord symbol, is read at once.
  bool next(Item& item) {
    if (at_ >= line_.size()) return false;
    const char c = line_[at_];
    const std::size_t end = at_ + 1;
    const char after = end < line_.size() ? line_[end] : '\0';
    if (isNoteLetter(c) && !isOctaveMark(after)) {
      item = {ItemKind::kNote, static_cast<std::uint32_t>(at_), {}, 0, 1};
      return finish(item, lengthEnd(line_, end));
    }
    if (c == ' ' && after != ' ' && after != '\t') {
      item = {ItemKind::kBlank, static_cast<std::uint32_t>(at_), {}, 0, 0};
      return finish(item, end);
    }
    if (c == '|' && after != '|' && after != ':' && after != ']') {
      item = {ItemKind::kBar, static_cast<std::uint32_t>(at_), {}, 0, 0};
      return finish(item, end);
    }
    if (c == '"') {  // a chord symbol, as common as bar lines in a tune with chords
      item = {ItemKind::kText, static_cast<std::uint32_t>(at_), {}, 0, 0};
      const std::size_t close = line_.find('"', end);
      return finish(item, close == std::string_view::npos ? line_.size() : close + 1);
    }
    return read(item);
  }
  std::string_view line() const { return line_; }
  // Reads on from `column`, after a piece of the line read otherwise.
  void resume(std::size_t column) { at_ = column; }
  // Past the notes of a voice overlay, from its "&" (or from the line's
  // start, when one goes on from the line before) to the bar line that ends
  // it, which `ender` then holds: any bar line with a "|" in its first two
  // characters, or "::". False when the overlay goes on past the line: its
  // end or a comment comes first (`ender` then holds the comment, if any).
  // Whether a bar line ends a voice overlay: any with a "|" in its first two
  // characters, or "::".
  static bool endsOverlayBar(std::string_view bar) {
    return bar[0] == '|' || (bar.size() > 1 && (bar[1] == '|' || bar[1] == ':'));
  }
  bool passOverlay(Item& ender) {
    while (next(ender))
      if (ender.kind == ItemKind::kComment || (ender.kind == ItemKind::kBar && endsOverlayBar(ender.text)))
        return ender.kind == ItemKind::kBar;
    ender.kind = ItemKind::kBlank;
    return false;
  }


 private:
  bool read(Item& item);
  bool finish(Item& item, std::size_t end) {
    item.text = {line_.data() + item.column, end - item.column};
    at_ = end;
    return true;
  }
  bool note(Item& item, std::size_t letter);
  bool bar(Item& item);
  bool bracket(Item& item);
  bool span(Item& item, ItemKind kind, char partner);

  std::string_view line_;
  const Symbols& symbols_;
  std::size_t at_ = 0;
};

// The notes of a chord's inside, one after another, passing over the marks
// between them; stops at the first character that begins no note.
class ChordNotes {
 public:
  ChordNotes(std::string_view inside, const Symbols& symbols) : inside_(inside), symbols_(symbols) {}
  // The next note; `tied` tells whether a tie follows it.
  bool next(Item& note, bool& tied);
  // Whether an accidental ended the chord with no letter after it.
  bool badAccidental() const { return badAccidental_; }

 private:
  std::string_view inside_;
  const Symbols& symbols_;
  std::size_t at_ = 0;
  bool badAccidental_ = false;
};

// The length of a double accidental ("^^", "__") or a single one at `at`; 0 for none.
constexpr std::size_t accidentalSize(std::string_view text, std::size_t at) {
  if (at >= text.size() || !isAccidental(text[at])) return 0;
  if (text[at] != '=' && at + 1 < text.size() && text[at + 1] == text[at]) return 2;
  return 1;
}

}  // namespace kry
