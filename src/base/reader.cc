#include "base/reader.h"

#include <array>
#include <utility>

namespace kry {
namespace {

// The blocks whose lines are not ABC, and the directive that ends each.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kBlocks{{
    {"%%beginps", "%%endps"},
    {"%%begintext", "%%endtext"},
    {"%%beginsvg", "%%endsvg"},
}};

}  // namespace

LineKind LineReader::classify(std::string_view line) {
  if (inBlock()) {
    if (line.starts_with(blockEnd_)) blockEnd_ = {};
    return LineKind::kBlock;
  }
  if (line.empty()) return LineKind::kBlank;
  if (line.starts_with("%%")) {
    for (const auto& [begin, end] : kBlocks)
      if (line.starts_with(begin) && (line.size() == begin.size() || line[begin.size()] == ' ')) {
        blockEnd_ = end;
        return LineKind::kBlock;
      }
    return LineKind::kDirective;
  }
  if (line[0] == '%') return LineKind::kComment;
  return isFieldLine(line) ? LineKind::kField : LineKind::kMusic;
}

bool MusicLine::read(Item& item) {
  const std::size_t i = at_;
  const char c = line_[i];
  const char next = i + 1 < line_.size() ? line_[i + 1] : '\0';
  item = {ItemKind::kOther, static_cast<std::uint32_t>(i), {}, 0, 0};
  auto as = [&](ItemKind kind, std::size_t end) {
    item.kind = kind;
    return finish(item, end);
  };
  auto runOf = [&](std::string_view chars) {
    std::size_t end = i + 1;
    while (end < line_.size() && chars.find(line_[end]) != std::string_view::npos) ++end;
    return end;
  };
  if (isNoteLetter(c)) return note(item, i);
  if (isAccidental(c)) {
    std::size_t letter = i + accidentalSize(line_, i);
    if (letter < line_.size() && isLetter(line_[letter])) return note(item, i);
    return as(ItemKind::kAccidental, i + 1);
  }
  switch (c) {
    case 'z': case 'x': case 'Z': case 'X':
      item.length = 1;
      return as(ItemKind::kRest, lengthEnd(line_, i + 1));
    case 'y':
      item.length = 1;
      return as(ItemKind::kSpacer, lengthEnd(line_, i + 1));
    case '.':
      return as(ItemKind::kDecoration, i + 1);
    case '!': {
      Mark mark = markAt(line_, i, symbols_);
      return mark.kind == MarkKind::kLone ? as(ItemKind::kOther, i + 1) : as(ItemKind::kDecoration, mark.close + 1);
    }
    case '+': {
      if (line_.find('+', i + 1) == std::string_view::npos) return as(ItemKind::kOther, i + 1);  // opens nothing
      Mark mark = markAt(line_, i, symbols_);
      if (mark.kind != MarkKind::kChord) return as(ItemKind::kDecoration, mark.close + 1);
      item.length = static_cast<std::uint16_t>(mark.close + 1 - i);
      return as(ItemKind::kChord, lengthEnd(line_, mark.close + 1));
    }
    case '"': return span(item, ItemKind::kText, '"');
    case '{': return span(item, ItemKind::kGrace, '}');
    case '%': return as(ItemKind::kComment, line_.size());
    case '[': return bracket(item);
    case '|': case ':': return bar(item);
    case '(': {
      if (!isDigit(next)) return as(ItemKind::kSlurOpen, i + 1);
      std::size_t end = i + 1;  // "(p", "(p:q", "(p:q:r"
      for (int part = 0; part < 3; ++part) {
        if (part > 0) {
          if (end >= line_.size() || line_[end] != ':') break;
          ++end;
        }
        while (end < line_.size() && isDigit(line_[end])) ++end;
      }
      return as(ItemKind::kTuplet, end);
    }
    case ')': return as(ItemKind::kSlurClose, i + 1);
    case '-': return as(ItemKind::kTie, i + 1);
    case '<': case '>': return as(ItemKind::kBroken, runOf("<>"));
    case '`': return as(ItemKind::kIgnored, i + 1);
    case '&': return as(ItemKind::kOverlay, i + 1);
    case ' ': case '\t': return as(ItemKind::kBlank, runOf(" \t"));
    case '\\': return as(ItemKind::kContinuation, i + 1);
    default: break;
  }
  if (isShorthand(c) || (isLetter(c) && symbols_.marks(c))) return as(ItemKind::kDecoration, i + 1);
  if (isLetter(c)) return note(item, i);  // a letter that is no note: read as one, to be refused as one
  if (c >= '1' && c <= '9' && i > 0 && line_[i - 1] == '|') return as(ItemKind::kEnding, endingsEnd(line_, i));
  return as(ItemKind::kOther, i + 1);
}

// A note from `at`: its accidental(s), its letter, its octave marks, its length.
bool MusicLine::note(Item& item, std::size_t at) {
  std::size_t letter = at + accidentalSize(line_, at);
  std::size_t end = letter + 1;
  while (end < line_.size() && isOctaveMark(line_[end])) ++end;
  item.kind = ItemKind::kNote;
  item.letter = static_cast<std::uint16_t>(letter - at);
  item.length = static_cast<std::uint16_t>(end - at);
  return finish(item, lengthEnd(line_, end));
}

// A bar line: "|", "||", "|]", "[|", ":|", "|:", "::", ":|:"...
bool MusicLine::bar(Item& item) {
  std::size_t end = at_ + (line_[at_] == '[' ? 1 : 0);
  while (end < line_.size() &&
         (line_[end] == '|' || line_[end] == ':' || (line_[end] == ']' && line_[end - 1] == '|')))
    ++end;
  item.kind = ItemKind::kBar;
  return finish(item, end);
}

// What a "[" opens: an inline field or voice change, a bar line "[|", an
// ending "[1", or a chord.
bool MusicLine::bracket(Item& item) {
  const std::size_t i = at_;
  const char next = i + 1 < line_.size() ? line_[i + 1] : '\0';
  if (next == '|') return bar(item);
  if (next >= '1' && next <= '9') {
    item.kind = ItemKind::kEnding;
    return finish(item, endingsEnd(line_, i + 1));
  }
  std::size_t close = line_.find(']', i + 1);
  if (close == std::string_view::npos || close == i + 1) {
    item.kind = ItemKind::kIncomplete;
    return finish(item, close == std::string_view::npos ? line_.size() : close + 1);
  }
  if (isFieldLine(line_.substr(i + 1))) {
    item.kind = next == 'V' ? ItemKind::kVoice : ItemKind::kField;
    return finish(item, close + 1);
  }
  item.kind = ItemKind::kChord;
  item.length = static_cast<std::uint16_t>(close + 1 - i);
  return finish(item, lengthEnd(line_, close + 1));
}

// Text up to its partner ("\"G7\"", "{ag}"), or to the end of the line without one.
bool MusicLine::span(Item& item, ItemKind kind, char partner) {
  std::size_t close = line_.find(partner, at_ + 1);
  item.kind = kind;
  return finish(item, close == std::string_view::npos ? line_.size() : close + 1);
}

bool ChordNotes::next(Item& note, bool& tied) {
  at_ = chordMarkEnd(inside_, at_, symbols_);
  if (at_ >= inside_.size()) return false;
  std::size_t start = at_;
  std::size_t letter = start + accidentalSize(inside_, start);
  if (letter >= inside_.size() && letter > start) {
    badAccidental_ = true;
    return false;
  }
  if (!isLetter(inside_[letter])) return false;  // the chord's notes end here
  std::size_t end = letter + 1;
  while (end < inside_.size() && isOctaveMark(inside_[end])) ++end;
  note = {ItemKind::kNote, static_cast<std::uint32_t>(start), {}, static_cast<std::uint16_t>(letter - start),
          static_cast<std::uint16_t>(end - start)};
  at_ = lengthEnd(inside_, end);
  note.text = inside_.substr(start, at_ - start);
  tied = at_ < inside_.size() && inside_[at_] == '-';
  return true;
}

}  // namespace kry
