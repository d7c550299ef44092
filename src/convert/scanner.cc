#include "convert/scanner.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/abc.h"
#include "base/stop.h"
#include "convert/keysig.h"
#include "convert/overlay.h"

namespace kry {
namespace {

const char* const kBadAccidental = "Bad accidental";
const char* const kIncompleteChord = "Incomplete chord";

// What a character of a music line is to the scanner.
enum Kind : unsigned char {
  kLeftOut,     // what carries no music (a stray octave mark, a non-breaking space, "*"...),
                // and the letters that mark a note rather than play one (H L M O P S T u v J, the roll "~")
  kCopied,      // blanks, slurs, ties, broken rhythm, bar-line brackets...: into the tab line as it is
  kBar,         // "|": ends the bar, so its accidentals
  kColon,       // ":", a repeat's; "::" is a bar line
  kGrace,       // "{": grace notes, up to "}", stay out of the tab
  kQuote,       // a chord symbol or annotation, up to the next double quote
  kComment,     // "%": the rest of the line is the melody's alone
  kDecoration,  // "!" or "+": a decoration, a lone "!", or a chord in "+"
  kBracket,     // "[": a chord, an inline field, or "[|" and "[1" copied
  kAccidental,  // "^", "=", "_"
  kLetter,      // a note or a rest
  kOtherLetter, // a letter that is none: a symbol of a U: field, or one that goes to `note` like a note
  kSpacer,      // "y", with the width it may be given
  kDigit,       // 1..9: copied, but for the numbers of repeat endings after a bar line
  kOverlay,     // "&": a second voice on the melody staff, to the end of the bar
};

constexpr std::array<Kind, 256> kKinds = [] {
  std::array<Kind, 256> kinds{};  // kLeftOut
  auto set = [&](std::string_view chars, Kind kind) {
    for (char c : chars) kinds[static_cast<unsigned char>(c)] = kind;
  };
  set(" \t]0()-.`<>/\\", kCopied);
  set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", kOtherLetter);
  set("ABCDEFGabcdefgzx", kLetter);
  for (int c = 0; c < 256; ++c)
    if (isShorthand(static_cast<char>(c))) kinds[static_cast<std::size_t>(c)] = kLeftOut;
  set("y", kSpacer);
  set("|", kBar);
  set(":", kColon);
  set("{", kGrace);
  set("\"", kQuote);
  set("%", kComment);
  set("!+", kDecoration);
  set("[", kBracket);
  set("^=_", kAccidental);
  set("123456789", kDigit);
  set("&", kOverlay);
  return kinds;
}();

Kind kindOf(char c) { return kKinds[static_cast<unsigned char>(c)]; }
char charAt(std::string_view line, std::size_t pos) { return pos < line.size() ? line[pos] : ' '; }

// The most a character of a music line adds to the tab line: a note letter
// becomes the commas of five courses and its fret letter, the length "1" and
// a blank; a chord's brackets and blank come with at least two characters.
constexpr std::size_t kMostPerCharacter = 8;

// Where the scan stands: its position on the music line, and the end of the
// tab line written so far, in room made at the start for the longest the tab
// line can grow to. The rules take it and give it back by value: a member
// would be fetched again after every character written, since a char may be
// written over anything, and the scan would take twice as long.
struct Cursor {
  std::size_t i;
  char* out;

  void put(char c) { *out++ = c; }
  void put(std::string_view text) {
    for (char c : text) *out++ = c;
  }
  // A note's tab text: all six characters are copied, at once, and the end
  // moves past the ones that count; the room is there.
  void put(const Place& place) {
    std::memcpy(out, place.text.data(), place.text.size());
    out += place.size;
  }
};

class Scanner {
 public:
  Scanner(TuneState& state, const Fretboard& board, LeftOut& leftOut, TuneFingering* fingering)
      : state_(state), board_(board), leftOut_(leftOut), fingering_(fingering) {}

  // Writes the tab line of `line` into `room`, which only ever grows; the
  // tab line's text.
  std::string_view run(std::string_view line, std::string& room) {
    room.resize(std::max(room.size(), kMostPerCharacter * (line.size() + 2)));
    Cursor at{0, room.data()};
    markBar(at);
    barStart_ = 0;
    if (state_.overlay) {  // an overlay goes on from the line before
      at = overlay(line, 0, at);
      ++at.i;
    }
    for (; at.i < line.size(); ++at.i) {
      char c = line[at.i];
      if (kindOf(c) == kCopied)  // blanks, slurs, broken rhythm: most of a line but its notes
        at.put(c);
      else if (kindOf(c) == kLetter)
        at = note(line, at.i, at);
      else
        at = step(line, at);
    }
    return {room.data(), static_cast<std::size_t>(at.out - room.data())};
  }

 private:
  // One step of the scan at position i; a rule may move i forward itself.
  Cursor step(std::string_view line, Cursor at) {
    char c = line[at.i];
    switch (kindOf(c)) {
      case kLeftOut:
        return at;
      case kCopied:
        at.put(c);
        return at;
      case kBar:
        state_.accidentals.clear();
        if (fingering_ != nullptr) ++fingering_->bar;
        at.put(c);
        markBar(at);
        return at;
      case kColon:
        at.put(c);
        if (charAt(line, at.i + 1) == ':') {  // "::" ends a bar
          state_.accidentals.clear();
          if (fingering_ != nullptr) ++fingering_->bar;
          markBar(at);
        }
        return at;
      case kGrace:
        return skipTo(line, at, '}');
      case kQuote:
        return skipTo(line, at, '"');
      case kComment:
        at.i = line.size();
        return at;
      case kDecoration: {
        // A decoration, and a lone "!", add nothing; a chord in "+" is a chord.
        Mark mark = markAt(line, at.i, state_.symbols);
        if (mark.kind == MarkKind::kChord) return chord(line, at, mark.close);
        at.i = mark.close;
        return at;
      }
      case kBracket: {
        char next = charAt(line, at.i + 1);
        if (isFieldLine(line.substr(at.i + 1))) return inlineField(line, at);
        if (next == '|') {
          at.put(c);
        } else if (next >= '1' && next <= '9') {  // "[1", "[1,2": an ending, kept whole
          std::size_t end = endingsEnd(line, at.i + 1);
          at.put(line.substr(at.i, end - at.i));
          at.i = end - 1;
        } else {
          std::size_t close = line.find(']', at.i + 1);
          if (close == std::string_view::npos || close == at.i + 1) throw Stop(kIncompleteChord, kExitStopped);
          return chord(line, at, close);
        }
        return at;
      }
      case kAccidental:
        return accidental(line, at);
      case kLetter:
        return note(line, at.i, at);
      case kOtherLetter:
        if (state_.symbols.marks(c)) return at;  // a decoration of the tune's own
        return note(line, at.i, at);
      case kSpacer:
        readLength(line, at);  // a spacer's width has no place on the tab staff
        return at;
      case kDigit:
        // The numbers of the repeat endings after a bar line ("|1", ":|2",
        // "|1,2", "|1-3") are the melody's.
        if (at.i > 0 && line[at.i - 1] == '|')
          at.i = endingsEnd(line, at.i) - 1;
        else
          at.put(c);
        return at;
      case kOverlay:
        return overlaid(line, at);
    }
    return at;
  }

  // Moves to the partner of the character at i; with none, the rest of the line goes.
  static Cursor skipTo(std::string_view line, Cursor at, char partner) {
    at.i = std::min(line.find(partner, at.i + 1), line.size());
    return at;
  }

  // An accidental holds for its note to the end of the bar; with no note
  // after it, it adds nothing and the character after it is read as it is.
  Cursor accidental(std::string_view line, Cursor at) {
    std::size_t start = at.i++;
    if (at.i >= line.size()) throw Stop(kBadAccidental, kExitStopped);
    if (isLetter(line[at.i])) return note(line, start, at);
    if (isAccidental(line[at.i])) {  // a second one: read in its turn
      at.i = start;
      return at;
    }
    return step(line, at);
  }

  // Where a bar starts: on the line, in the tab line, and what the notes
  // before it leave to it.
  void markBar(const Cursor& at) {
    barStart_ = at.i + 1;
    barOut_ = at.out;
    barAccidentals_ = state_.accidentals;
    barLength_ = state_.lastLength;
  }

  // "&" at i: the layers of the bar, merged into the tab in place of the
  // first one's, when they can be; else the tab follows the first layer.
  Cursor overlaid(std::string_view line, Cursor at) {
    std::size_t end = overlayEnd(line, at.i);
    if (!endsOverlay(line, end)) return overlay(line, at.i, at);
    AccidentalTable first = state_.accidentals;
    std::vector<std::vector<LayerItem>> layers;
    for (std::size_t from = barStart_, to = at.i;; from = to + 1, to = layerEnd(line, from, end)) {
      state_.accidentals = barAccidentals_;  // each layer starts from the bar's accidentals
      std::optional<std::vector<LayerItem>> layer = layerItems(line, from, to);
      if (!layer) break;
      layers.push_back(std::move(*layer));
      if (to == end) break;
    }
    state_.accidentals = first;
    std::optional<std::vector<MergedEvent>> events = layers.empty() ? std::nullopt : mergeLayers(layers);
    std::string text, length = barLength_;
    if (events) text = mergedText(*events, length);
    // The room holds the most a character of the line may add: the bar's characters bound its events.
    if (!events || text.size() > kMostPerCharacter * (end - barStart_)) return overlay(line, at.i, at);
    at.out = barOut_;
    at.put(text);
    state_.lastLength = length;
    at.i = end - 1;
    return at;
  }

  // The next "&" of the bar from `from`, or its end.
  static std::size_t layerEnd(std::string_view line, std::size_t from, std::size_t end) {
    for (std::size_t i = from; i < end; ++i) {
      if (line[i] == '&') return i;
      if (line[i] == '"') i = std::min(line.find('"', i + 1), end);
    }
    return end;
  }

  // The notes, chords and rests of one layer of an overlaid bar, from
  // `from` to `to`, with their lengths; nothing when it holds what the
  // merge does not read: a tuplet, an inline field, a chord in "+", broken
  // rhythm with no note after it in the layer, a letter that is no note.
  std::optional<std::vector<LayerItem>> layerItems(std::string_view line, std::size_t from, std::size_t to) {
    std::vector<LayerItem> items;
    Length next{1, 1};     // broken rhythm: what the next item's length is multiplied by
    bool broken = false;  // broken rhythm waits for its second note
    auto add = [&](LayerItem item, std::string_view length) {
      std::optional<Length> l = length.empty() ? Length{1, 1} : kry::readLength(length);
      if (!l) return false;
      item.length = Length{l->num * next.num, l->den * next.den};
      next = {1, 1};
      broken = false;
      items.push_back(std::move(item));
      return true;
    };
    for (std::size_t i = from; i < to; ++i) {
      const char c = line[i];
      if (c == '"' || c == '{') {
        i = line.find(c == '"' ? '"' : '}', i + 1);
        if (i >= to) return std::nullopt;
      } else if (c == '!' || c == '+') {
        Mark mark = markAt(line, i, state_.symbols);
        if (mark.kind == MarkKind::kChord || mark.close >= to) return std::nullopt;
        i = mark.close;
      } else if (c == '>' || c == '<') {
        std::size_t last = i;
        while (last + 1 < to && line[last + 1] == c) ++last;
        if (items.empty() || broken) return std::nullopt;
        long part = 1L << (last - i + 1);  // ">" takes a half from the next note, ">>" three quarters
        Length small{1, part}, large{2 * part - 1, part};
        Length& before = items.back().length;
        before = c == '>' ? Length{before.num * large.num, before.den * large.den} : Length{before.num, before.den * part};
        next = c == '>' ? small : large;
        broken = true;
        i = last;
      } else if (c == '[') {
        if (isFieldLine(line.substr(i + 1)) || (!isLetter(charAt(line, i + 1)) && !isAccidental(charAt(line, i + 1))))
          return std::nullopt;
        std::size_t close = line.find(']', i);
        if (close >= to) return std::nullopt;
        std::optional<std::size_t> last = chordItem(line, i, close, items, add);
        if (!last) return std::nullopt;
        i = *last;
      } else if (c == 'z' || c == 'x') {
        std::size_t end = lengthEnd(line, i + 1);
        if (!add(LayerItem{{}, {}, c}, line.substr(i + 1, end - i - 1))) return std::nullopt;
        i = end - 1;
      } else if (isAccidental(c) || isNoteLetter(c)) {
        std::size_t letter = i;
        while (letter < to && isAccidental(line[letter])) ++letter;
        if (letter >= to || !isNoteLetter(line[letter]) || letter > i + 1) return std::nullopt;
        std::size_t last = letter;
        while (last + 1 < to && isOctaveMark(line[last + 1])) ++last;
        std::size_t end = lengthEnd(line, last + 1);
        LayerItem item{{}, {{&place(line, i, letter, last), line.substr(i, last + 1 - i)}}};
        if (!add(std::move(item), line.substr(last + 1, end - last - 1))) return std::nullopt;
        i = end - 1;
      } else if (c == 'y') {
        i = lengthEnd(line, i + 1) - 1;
      } else if (isLetter(c) && !isShorthand(c) && !state_.symbols.marks(c)) {
        return std::nullopt;
      } else if (!isShorthand(c) && std::string_view(" \t()-.`").find(c) == std::string_view::npos) {
        return std::nullopt;
      }
    }
    if (broken) return std::nullopt;
    return items;
  }

  // A chord of a layer, "[" at `open` and "]" at `close`: its notes, and
  // the length of its first note or the one written after it. Where it
  // ends on the line; nothing when it can't be read.
  template <typename Add>
  std::optional<std::size_t> chordItem(std::string_view line, std::size_t open, std::size_t close,
                                       std::vector<LayerItem>&, Add& add) {
    std::size_t inside = open + 1;
    std::string_view text = line.substr(inside, close - inside);
    LayerItem item;
    std::string_view first;
    bool lengthInside = false;
    for (std::size_t k = chordMarkEnd(text, 0, state_.symbols); k < text.size(); k = chordMarkEnd(text, k, state_.symbols)) {
      std::size_t start = k;
      if (isAccidental(text[k]) && ++k >= text.size()) return std::nullopt;
      if (!isNoteLetter(text[k])) return std::nullopt;
      std::size_t letter = k;
      while (k + 1 < text.size() && isOctaveMark(text[k + 1])) ++k;
      item.notes.push_back({&place(line, inside + start, inside + letter, inside + k), text.substr(start, k + 1 - start)});
      std::size_t length = ++k;
      k = lengthEnd(text, k);
      if (item.notes.size() == 1) first = text.substr(length, k - length);
      lengthInside = lengthInside || k > length;
    }
    if (item.notes.empty()) return std::nullopt;
    std::size_t end = lengthInside ? close + 1 : lengthEnd(line, close + 1);
    if (!add(std::move(item), lengthInside ? first : line.substr(close + 1, end - close - 1))) return std::nullopt;
    return end - 1;
  }

  // The tab of a merged bar: each event's tab code, a chord for notes that
  // start together, its length where it changes (`length`, the one written
  // last, is kept up), and a blank.
  std::string mergedText(const std::vector<MergedEvent>& events, std::string& length) {
    std::string text;
    for (const MergedEvent& event : events) {
      std::string tabCode;
      if (event.notes.size() == 1 && fingering_ == nullptr) {
        tabCode = event.notes[0].place->shown();
      } else if (!event.notes.empty()) {  // with option pos, each event takes the place the whole tune gave it
        std::vector<ChordNote> voices;
        for (const LayerNote& note : event.notes) voices.push_back({note.place, note.written});
        tabCode = fingering_ == nullptr ? voice(voices) : fingered(voices);
        tabCode.erase(tabCode.find_last_not_of(',') + 1);
        if (!tabCode.empty() && event.notes.size() > 1) tabCode = "[" + tabCode;
      }
      text += event.notes.empty() ? std::string(1, event.rest) : tabCode.empty() ? std::string("x") : tabCode;
      std::string written = lengthWritten(event.length);
      if (written != length) text += length = written;
      text += tabCode.starts_with('[') ? "] " : " ";
    }
    return text;
  }

  // A voice overlay from `from` ("&", or the start of a line that goes on
  // with one) to the bar line that ends it: the notes of the second voice
  // are left out of the tab, which follows the first.
  Cursor overlay(std::string_view line, std::size_t from, Cursor at) {
    std::size_t end = overlayEnd(line, from);
    state_.overlay = !endsOverlay(line, end);
    ++leftOut_.overlaid;
    at.i = end - 1;
    return at;
  }

  // A note or rest from `start` (its accidental, if any) to the letter at i:
  // its tab text, then its length and a blank.
  Cursor note(std::string_view line, std::size_t start, Cursor at) {
    std::size_t letter = at.i;
    while (isOctaveMark(charAt(line, at.i + 1))) ++at.i;
    char c = line[letter];
    if (start == letter && letter == at.i && (c == 'z' || c == 'x')) {
      at.put(c);  // a rest; "x" is one that shows nothing
    } else {  // the fret letter after the commas of the courses above; an "x" where no course plays it
      const Place& place = this->place(line, start, letter, at.i);
      if (place.spot.course == 0) ++leftOut_.belowLowest;
      if (fingering_ == nullptr)
        at.put(place);
      else
        at = placedByHand(line.substr(start, at.i + 1 - start), place, at);
    }
    std::string_view length = readLength(line, at);  // moves past the length: before `at` is handed on
    at = writeLength(at, length);
    if (fingering_ != nullptr) noteTie(line, at.i);
    if (at.i + 1 < line.size()) at.put(' ');
    return at;
  }

  // A single note with option pos: its place on the course the whole tune gave it.
  Cursor placedByHand(std::string_view written, const Place& place, Cursor at) {
    std::vector<ChordNote> voices{{&place, written}};
    std::string tabCode = fingered(voices);
    std::size_t played = tabCode.find_first_not_of(',');
    at.put(played == std::string::npos ? std::string_view("x") : std::string_view(tabCode).substr(0, played + 1));
    return at;
  }

  // A tie after a note or a chord: the next one is held, not played again.
  void noteTie(std::string_view line, std::size_t last) {
    if (charAt(line, last + 1) == '-') fingering_->tiePending = true;
  }

  // Where the note written from `start` (its accidental, if any) over its
  // letter to `last` (its octave mark, if any) is played; a note with no place
  // stops the run. A written accidental holds for the note in its octave to
  // the end of the bar.
  const Place& place(std::string_view line, std::size_t start, std::size_t letter, std::size_t last) {
    if (start == letter && last == letter && state_.octave == 0 && !state_.accidentals.any() && isNoteLetter(line[letter]))
      if (const Place* plain = board_.plain(state_.keyIndex, line[letter])) return *plain;
    std::string_view written = line.substr(letter, last + 1 - letter);
    char accidental = start < letter ? line[start] : fixacc(state_.accidentals, written);
    if (start < letter) acdntl(state_.accidentals, accidental, written);
    return kry::note(state_.keyIndex, accidental, written, board_, state_.octave);
  }

  // The length written after i, moving i past it.
  static std::string_view readLength(std::string_view line, Cursor& at) {
    std::size_t start = at.i + 1;
    std::size_t end = lengthEnd(line, start);
    at.i = end - 1;
    return line.substr(start, end - start);
  }

  // A length is written only when it differs from the one written last; a
  // note with none written lasts one unit.
  Cursor writeLength(Cursor at, std::string_view length) {
    if (length.empty()) length = "1";
    return std::ranges::equal(length, state_.lastLength) ? at : newLength(at, length);
  }
  Cursor newLength(Cursor at, std::string_view length) {
    state_.lastLength = length;
    at.put(length);
    return at;
  }

  // An inline field such as [K:D] or [L:1/16]. A key change respells the notes
  // after it; a unit length or a meter goes into the tab line too, so both
  // voices keep the same time; every other field is the melody's alone.
  Cursor inlineField(std::string_view line, Cursor at) {
    std::size_t close = line.find(']', at.i + 1);
    if (close == std::string_view::npos) throw Stop(kIncompleteChord, kExitStopped);
    std::string_view field = line.substr(at.i, close - at.i + 1);
    if (field[1] == 'K') {
      state_.keyIndex = getkey(keyCodeOf(field.substr(1, field.size() - 2)));
      state_.octave = octaveOf(field.substr(3, field.size() - 4)).value_or(state_.octave);
    }
    if (field[1] == 'L' || field[1] == 'M') at.put(field);
    at.i = close;
    return at;
  }

  // A chord, "[CEG]" or "+CEG+" with its last character at `close`: all its
  // notes in one tab code, in brackets, with one length: the length of its
  // first note, or, when no note in it has one, the length written after it
  // ([CEG]2). Decorations, slurs and ties between its notes are left out; a
  // tie in it ties the whole chord. A chord no course plays keeps its time as
  // an invisible rest.
  Cursor chord(std::string_view line, Cursor at, std::size_t close) {
    std::size_t inside = at.i + 1;
    std::string_view text = line.substr(inside, close - inside);
    at.i = close;

    std::vector<ChordNote> voices;
    std::string_view first;  // the first note's length
    bool lengthInside = false;
    for (std::size_t k = chordMarkEnd(text, 0, state_.symbols); k < text.size(); k = chordMarkEnd(text, k, state_.symbols)) {
      std::size_t start = k;
      if (isAccidental(text[k]) && ++k >= text.size()) throw Stop(kBadAccidental, kExitStopped);
      if (!isLetter(text[k])) break;  // the chord's notes end here
      std::size_t letter = k;
      while (k + 1 < text.size() && isOctaveMark(text[k + 1])) ++k;
      voices.push_back({&place(line, inside + start, inside + letter, inside + k), text.substr(start, k + 1 - start)});
      std::size_t length = ++k;
      k = lengthEnd(text, k);
      if (voices.size() == 1) first = text.substr(length, k - length);
      lengthInside = lengthInside || k > length;
    }
    for (const ChordNote& v : voices) leftOut_.belowLowest += v.place->spot.course == 0 ? 1 : 0;  // with or without pos
    std::string tabCode = fingering_ == nullptr ? voice(voices) : fingered(voices);
    if (fingering_ != nullptr && text.find('-') != std::string_view::npos) fingering_->tiePending = true;
    std::string_view length = lengthInside ? first : readLength(line, at);
    tabCode.erase(tabCode.find_last_not_of(',') + 1);
    if (tabCode.empty()) {
      at.put('x');
      at = writeLength(at, length);
      at.put(' ');
      return at;
    }
    at.put('[');
    at.put(tabCode);
    at = writeLength(at, length);
    if (fingering_ != nullptr) noteTie(line, at.i);
    at.put("] ");
    return at;
  }

  // A note of a chord: where it is played alone, and as written.
  struct ChordNote {
    const Place* place;
    std::string_view written;
  };

  // The tab code of a chord, course 1 first, a comma for a course not played.
  // The notes take their courses from the highest-sounding down: each its own
  // course when that is free, else the nearest lower course that is free and
  // plays it; a note no free course plays is left out.
  std::string voice(std::vector<ChordNote>& voices) {
    std::string tabCode(6, ',');
    std::stable_sort(voices.begin(), voices.end(),
                     [](const ChordNote& a, const ChordNote& b) { return a.place->pitch > b.place->pitch; });
    for (const ChordNote& v : voices) {
      Spot spot = v.place->spot;
      if (spot.course == 0) continue;  // below the lowest course
      while (spot.course <= 6 && tabCode[static_cast<std::size_t>(spot.course - 1)] != ',') {
        ++spot.course;  // taken: the next lower course, if it plays the note
        std::optional<int> fret = board_.fretOn(spot.course, v.place->pitch);
        spot.fret = fret.value_or(-1);
        if (!fret) spot.course = 7;
      }
      if (spot.course > 6) {
        bool crowded = tabCode.find(',') >= static_cast<std::size_t>(board_.courses());  // every course plays a note
        leftOut_.chordNotes.push_back({std::string(v.written), crowded ? Crowded::kMoreNotesThanCourses : Crowded::kCoursesTaken});
        continue;
      }
      tabCode[static_cast<std::size_t>(spot.course - 1)] = fretLetter(spot.fret);
    }
    return tabCode;
  }

  // With option pos: the event is written down for the whole tune, or takes
  // the place it was given. Notes below the lowest course have none.
  std::string fingered(const std::vector<ChordNote>& voices) {
    std::string tabCode(6, ',');
    if (!fingering_->placing) {
      Event event;
      for (const ChordNote& v : voices) {
        if (v.place->spot.course == 0) continue;
        event.pitches.push_back(v.place->pitch);
        event.written.emplace_back(v.written);
      }
      const std::vector<Event>& events = fingering_->events;
      event.tied = fingering_->tiePending && !events.empty() && events.back().pitches == event.pitches;
      event.bar = fingering_->bar;
      fingering_->tiePending = false;
      fingering_->events.push_back(std::move(event));
      return tabCode;
    }
    const Voicing& voicing = fingering_->voicings.at(fingering_->next++);
    for (std::size_t course = 0; course < tabCode.size(); ++course)
      if (voicing.frets[course] >= 0) tabCode[course] = fretLetter(voicing.frets[course]);
    for (const LeftOutNote& note : voicing.leftOut) leftOut_.chordNotes.push_back(note);
    return tabCode;
  }

  TuneState& state_;
  const Fretboard& board_;
  LeftOut& leftOut_;
  TuneFingering* fingering_;  // with option pos
  // The bar the scan is in: where it starts on the line and in the tab
  // line, the accidentals and the length written before it.
  std::size_t barStart_ = 0;
  char* barOut_ = nullptr;
  AccidentalTable barAccidentals_;
  std::string barLength_;
};

}  // namespace

std::string_view scanLine(std::string_view line, TuneState& state, const Fretboard& board, std::string& room,
                          LeftOut& leftOut, TuneFingering* fingering) {
  return Scanner(state, board, leftOut, fingering).run(line, room);
}

}  // namespace kry
