#include "convert/scanner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

#include "base/abc.h"
#include "base/reader.h"
#include "base/stop.h"
#include "base/text.h"
#include "convert/keysig.h"
#include "convert/overlay.h"

namespace kry {
namespace {

const char* const kBadAccidental = "Bad accidental";
const char* const kIncompleteChord = "Incomplete chord";

// The most a character of a music line adds to the tab line: a note letter
// becomes the commas of five courses and its fret letter, the length "1" and
// a blank; a chord's brackets, ties and blank come with at least two characters.
constexpr std::size_t kMostPerCharacter = 8;

// The characters the tab line keeps where the melody has them though they
// make no item of music: digits, and what a fret letter's neighbours need.
constexpr bool keptAsItIs(char c) { return isDigit(c) || c == ']' || c == '/'; }

// Where the scan stands: the end of the tab line written so far, in room
// made at the start for the longest the tab line can grow to. The rules take
// it and give it back by value: a member would be fetched again after every
// character written, since a char may be written over anything, and the scan
// would take twice as long.
struct Cursor {
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
    Cursor at{room.data()};
    markBar(0, at);
    MusicLine items(line, state_.symbols);
    Item item;
    bool more = state_.overlay ? overlay(items, item) : items.next(item);  // an overlay goes on from the line before
    for (; more; more = items.next(item)) {
      if (item.kind == ItemKind::kBlank) {  // blanks and notes: most of a line
        if (item.text.size() == 1)
          at.put(item.text[0]);
        else
          at.put(item.text);
      } else if (item.kind == ItemKind::kText) {  // a chord symbol or an annotation: the melody staff's
        continue;
      } else if (item.kind == ItemKind::kBar && item.text.size() == 1 && item.text[0] == '|') {
        barLine();
        at.put('|');
      } else if (item.kind != ItemKind::kNote) {
        at = step(item, items, at);
      } else if (const Place* plain = plainNote(item)) {
        at.put(*plain);
        at = writeLength(at, item.lengthText());
        if (item.column + item.text.size() < line.size()) at.put(' ');
      } else {
        at = note(item, line, at);
      }
    }
    return {room.data(), static_cast<std::size_t>(at.out - room.data())};
  }

 private:
  // A bar line ends the bar's accidentals.
  void barLine() {
    state_.accidentals.clear();
    if (fingering_ != nullptr) ++fingering_->bar;
  }

  // The plain note, most of a line: a letter with no accidental and no
  // octave mark, in a bar with none before it, not tied from the note
  // before, untransposed, on a course, without pos;
  // its place is looked up at once. Nothing for any other note.
  const Place* plainNote(const Item& item) const {
    if (item.length != 1 || fingering_ != nullptr || state_.octave != 0 || state_.transpose != 0 ||
        state_.accidentals.any() || !state_.tied.empty() || !isNoteLetter(item.text[0]))
      return nullptr;
    const Place* plain = board_.plain(state_.keyIndex, item.text[0]);
    return plain != nullptr && plain->spot.course != 0 ? plain : nullptr;
  }

  // One item of the line.
  Cursor step(const Item& item, MusicLine& items, Cursor at) {
    std::string_view line = items.line();
    switch (item.kind) {
      case ItemKind::kNote:
        return note(item, line, at);
      case ItemKind::kRest:
        if (item.text[0] == 'Z' || item.text[0] == 'X') return note(item, line, at);  // no rest the tab knows
        at.put(item.text[0]);  // "x" is a rest that shows nothing
        return noteEnd(item, line, at);
      case ItemKind::kChord:
        return chord(item, line, at);
      case ItemKind::kBar:
        for (std::size_t k = 0; k < item.text.size(); ++k)
          if (item.text[k] == '|' || (item.text[k] == ':' && k + 1 < item.text.size() && item.text[k + 1] == ':'))
            barLine();
        at.put(item.text);
        markBar(item.column + item.text.size(), at);
        return at;
      case ItemKind::kEnding:  // "[1" kept whole; the numbers after a bar line are the melody's
        if (item.text[0] == '[') at.put(item.text);
        return at;
      case ItemKind::kDecoration:
        // The staccato dot stays beside its fret, and a slide is drawn into
        // the fret it slides to; other marks are the melody's.
        if (item.text == ".") at.put('.');
        if (item.text == "!slide!" || item.text == "+slide+") at.put("!slide!");
        return at;
      case ItemKind::kField:
        return inlineField(item, at);
      case ItemKind::kVoice:  // the conversion gives the scanner the tabbed voice's music alone
        return at;
      case ItemKind::kTuplet:
      case ItemKind::kBroken:
      case ItemKind::kTie:
      case ItemKind::kSlurOpen:
      case ItemKind::kSlurClose:
      case ItemKind::kBlank:
      case ItemKind::kContinuation:
        at.put(item.text);
        return at;
      case ItemKind::kOverlay: {
        std::optional<Cursor> merged = overlaid(item, line, at);
        Item ender;
        return overlay(items, ender, !merged) ? step(ender, items, merged.value_or(at)) : merged.value_or(at);
      }
      case ItemKind::kAccidental:  // one that marks no note adds nothing; none may end the line
        if (item.column + 1 == line.size()) throw Stop(kBadAccidental, kExitStopped);
        return at;
      case ItemKind::kIncomplete:
        throw Stop(kIncompleteChord, kExitStopped);
      case ItemKind::kOther:
        if (keptAsItIs(item.text[0])) at.put(item.text[0]);
        return at;
      case ItemKind::kSpacer:  // a spacer's width has no place on the tab staff
      case ItemKind::kText:
      case ItemKind::kGrace:
      case ItemKind::kComment:
      case ItemKind::kIgnored:
        return at;
    }
    return at;
  }

  // A voice overlay, from "&" or from the start of a line that goes on with
  // one, to the bar line that ends it, which `ender` then holds: the notes
  // of the second voice are left out of the tab, which follows the first.
  // False when the overlay goes on past the line.
  bool overlay(MusicLine& items, Item& ender, bool leftOut = true) {
    if (leftOut) ++leftOut_.overlaid;
    const bool ended = items.passOverlay(ender);
    state_.overlay = !ended;
    return ended || ender.kind == ItemKind::kComment;
  }

  // Where a bar starts: on the line, in the tab line, and what the notes
  // before it leave to it.
  void markBar(std::size_t column, const Cursor& at) {
    barStart_ = column;
    barOut_ = at.out;
    barAccidentals_ = state_.accidentals;
    barLength_ = state_.lastLength;
  }

  // "&" (the item `amp`): the layers of its bar, merged into the tab in
  // place of the first one's, when the bar line that ends them is on the
  // line and they last alike; else nothing, and the tab follows the first.
  std::optional<Cursor> overlaid(const Item& amp, std::string_view line, Cursor at) {
    std::vector<std::string_view> texts{line.substr(barStart_, amp.column - barStart_)};
    MusicLine rest(line.substr(amp.column + 1), state_.symbols);
    std::size_t start = 0;  // of the layer being read, in `rest`
    Item item;
    bool ended = false;
    while (!ended && rest.next(item)) {
      if (item.kind == ItemKind::kComment) return std::nullopt;  // the overlay goes on past the line
      ended = item.kind == ItemKind::kBar && MusicLine::endsOverlayBar(item.text);
      if (ended || item.kind == ItemKind::kOverlay) {
        texts.push_back(rest.line().substr(start, item.column - start));
        start = item.column + 1;
      }
    }
    if (!ended) return std::nullopt;
    AccidentalTable first = state_.accidentals;
    std::vector<std::vector<LayerItem>> layers;
    for (std::string_view text : texts) {
      state_.accidentals = barAccidentals_;  // each layer starts from the bar's accidentals
      std::optional<std::vector<LayerItem>> layer = layerItems(text);
      if (!layer) break;
      layers.push_back(std::move(*layer));
    }
    state_.accidentals = first;
    std::optional<std::vector<MergedEvent>> events = layers.size() == texts.size() ? mergeLayers(layers) : std::nullopt;
    if (!events) return std::nullopt;
    std::string length = barLength_;
    std::string text = mergedText(*events, length);
    // The room holds the most a character of the line may add: the bar's characters bound its events.
    if (text.size() > kMostPerCharacter * (amp.column + 1 + item.column - barStart_)) return std::nullopt;
    at.out = barOut_;
    at.put(text);
    state_.lastLength = length;
    return at;
  }

  // The notes, chords and rests of one layer of an overlaid bar, with their
  // lengths; nothing when it holds what the merge does not read: a tuplet,
  // an inline field, a chord in "+", a letter that is no note, broken rhythm
  // with no note after it in the layer.
  std::optional<std::vector<LayerItem>> layerItems(std::string_view text) {
    std::vector<LayerItem> items;
    Length next{1, 1};     // broken rhythm: what the next item's length is multiplied by
    bool broken = false;  // broken rhythm waits for its second note
    auto add = [&](LayerItem layered, std::string_view length) {
      std::optional<Length> l = length.empty() ? Length{1, 1} : readLength(length);
      if (!l) return false;
      layered.length = Length{l->num * next.num, l->den * next.den};
      next = {1, 1};
      broken = false;
      items.push_back(std::move(layered));
      return true;
    };
    MusicLine line(text, state_.symbols);
    for (Item item; line.next(item);) {
      switch (item.kind) {
        case ItemKind::kNote:
          if (!isNoteLetter(item.pitch()[0]) || !add({{}, {{&place(item), item.text.substr(0, item.length)}}}, item.lengthText()))
            return std::nullopt;
          break;
        case ItemKind::kRest:
          if ((item.text[0] != 'z' && item.text[0] != 'x') || !add({{}, {}, item.text[0]}, item.lengthText())) return std::nullopt;
          break;
        case ItemKind::kChord:
          if (item.text[0] != '[' || !add(chordLayered(item), chordLength(item))) return std::nullopt;
          if (items.back().notes.empty()) return std::nullopt;
          break;
        case ItemKind::kBroken: {
          // Up to three signs, as abcm2ps reads them; a longer run is not merged.
          if (items.empty() || broken || item.text.size() > 3) return std::nullopt;
          const long part = 1L << item.text.size();  // ">" takes a half from the next note, ">>" three quarters
          const Length small{1, part}, large{2 * part - 1, part};
          Length& before = items.back().length;
          const Length by = item.text[0] == '>' ? large : small;
          before = {before.num * by.num, before.den * by.den};
          next = item.text[0] == '>' ? small : large;
          broken = true;
          break;
        }
        case ItemKind::kBlank:
        case ItemKind::kTie:
        case ItemKind::kSlurOpen:
        case ItemKind::kSlurClose:
        case ItemKind::kDecoration:
        case ItemKind::kText:
        case ItemKind::kGrace:
        case ItemKind::kSpacer:
        case ItemKind::kIgnored:
          break;
        default:
          return std::nullopt;
      }
    }
    if (broken) return std::nullopt;
    return items;
  }

  // A chord of a layer: its notes, where each is played alone; none when it can't be read.
  LayerItem chordLayered(const Item& item) {
    LayerItem chord;
    ChordNotes notes(item.inside(), state_.symbols);
    Item n;
    for (bool tied = false; notes.next(n, tied);) {
      if (!isNoteLetter(n.pitch()[0])) return {};
      chord.notes.push_back({&place(n), n.text.substr(0, n.length)});
    }
    if (notes.badAccidental()) return {};
    return chord;
  }

  // A chord's length: its first note's, or, when no note in it has one, the one after it.
  std::string_view chordLength(const Item& item) {
    ChordNotes notes(item.inside(), state_.symbols);
    Item n;
    std::optional<std::string_view> first;
    for (bool tied = false; notes.next(n, tied);) {
      if (!first) first = n.lengthText();
      if (!n.lengthText().empty()) return *first;
    }
    return item.lengthText();
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
        for (const LayerNote& note : event.notes) voices.push_back({note.place, note.written, false});
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

  // A note: its tab text, then its length and a blank. A note below the
  // lowest course is a rest in the melody as the tab plays it.
  Cursor note(const Item& item, std::string_view line, Cursor at) {
    const Place& place = this->place(item);
    const std::size_t end = item.column + item.text.size();
    state_.tied.clear();
    if (end < line.size() && line[end] == '-') state_.tied.emplace_back(item.pitch(), accidental_);
    if (place.spot.course == 0) {
      ++leftOut_.belowLowest;
      leftOut_.silenced.push_back({item.column, item.column + item.length, "z"});
    }
    if (fingering_ == nullptr)
      at.put(place);
    else
      at = placedByHand(item.text.substr(0, item.length), place, at);
    return noteEnd(item, line, at);
  }

  // After a note or rest: its length where it changes, and a blank unless the line ends.
  Cursor noteEnd(const Item& item, std::string_view line, Cursor at) {
    at = writeLength(at, item.lengthText());
    std::size_t end = item.column + item.text.size();
    if (fingering_ != nullptr) noteTie(line, end);
    if (end < line.size()) at.put(' ');
    return at;
  }

  // A single note with option pos: its place on the course the whole tune gave it.
  Cursor placedByHand(std::string_view written, const Place& place, Cursor at) {
    std::vector<ChordNote> voices{{&place, written, false}};
    std::string tabCode = fingered(voices);
    std::size_t played = tabCode.find_first_not_of(',');
    at.put(played == std::string::npos ? std::string_view("x") : std::string_view(tabCode).substr(0, played + 1));
    return at;
  }

  // A tie after a note or a chord: the next one is held, not played again.
  void noteTie(std::string_view line, std::size_t after) {
    if (after < line.size() && line[after] == '-') fingering_->tiePending = true;
  }

  // Where a note (its accidental, letter, octave marks) is played; a note
  // with no place stops the run. A written accidental holds for the note in
  // its octave to the end of the bar.
  // A note tied from one of the same letter and octave sounds as that one,
  // also past a bar line that ended its accidental (^G2-|G2).
  const Place& place(const Item& item) {
    std::string_view written = item.pitch();
    const auto from = std::ranges::find_if(state_.tied, [&](const auto& t) { return t.first == written; });
    const bool tied = item.letter == 0 && from != state_.tied.end();
    accidental_ = ' ';
    if (!tied && item.letter == 0 && written.size() == 1 && state_.octave == 0 && state_.transpose == 0 &&
        !state_.accidentals.any() && isNoteLetter(written[0]))
      if (const Place* plain = board_.plain(state_.keyIndex, written[0])) return *plain;
    accidental_ = tied ? from->second : item.letter > 0 ? accidentalCode(item.accidental()) : fixacc(state_.accidentals, written);
    if (item.letter > 0) acdntl(state_.accidentals, accidental_, written);
    return kry::note(state_.keyIndex, accidental_, written, board_, state_.octave, state_.transpose);
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
  Cursor inlineField(const Item& item, Cursor at) {
    std::string_view field = item.text;
    if (field[1] == 'K') {
      state_.keyIndex = getkey(keyCodeOf(field.substr(1, field.size() - 2)));
      state_.octave = octaveOf(field.substr(3, field.size() - 4)).value_or(state_.octave);
      state_.transpose = transposeOf(field.substr(3, field.size() - 4)).value_or(state_.transpose);
    }
    if (field[1] == 'L' || field[1] == 'M') at.put(field);
    return at;
  }

  // A chord, "[CEG]" or "+CEG+": all its notes in one tab code, in brackets,
  // with one length: the length of its first note, or, when no note in it
  // has one, the length written after it ([CEG]2). Decorations and slurs
  // between its notes are left out; a chord whose notes are all tied
  // ([F-A-]) is tied whole. A chord no course plays keeps its time as an
  // invisible rest.
  Cursor chord(const Item& item, std::string_view line, Cursor at) {
    std::vector<ChordNote> voices;
    std::vector<Span> spans;  // of each note on the line, its length inside included
    std::string_view first;  // the first note's length
    bool lengthInside = false;
    const std::size_t inside = item.column + 1u;  // where the chord's notes start on the line
    ChordNotes notes(item.inside(), state_.symbols);
    Item n;
    const std::size_t end = item.column + item.text.size();
    const bool tiedWhole = end < line.size() && line[end] == '-';  // [FA]- ties every note
    std::vector<std::pair<std::string, char>> ties;
    for (bool tied = false; notes.next(n, tied);) {
      voices.push_back({&place(n), n.text.substr(0, n.length), tied});
      if (tied || tiedWhole) ties.emplace_back(n.pitch(), accidental_);
      if (voices.size() == 1) first = n.lengthText();
      lengthInside = lengthInside || !n.lengthText().empty();
      spans.push_back({inside + n.column, inside + n.column + n.text.size(), n.lengthText()});
    }
    if (notes.badAccidental()) throw Stop(kBadAccidental, kExitStopped);
    state_.tied = std::move(ties);
    std::size_t below = 0;
    for (const ChordNote& v : voices) below += v.place->spot.course == 0 ? 1 : 0;  // with or without pos
    leftOut_.belowLowest += static_cast<int>(below);
    silence(voices, spans, below, item.column, item.column + item.length - 1u);
    std::string tabCode = fingering_ == nullptr ? voice(voices) : fingered(voices);
    if (fingering_ != nullptr && item.inside().find('-') != std::string_view::npos) fingering_->tiePending = true;
    std::string both;  // [C2E2]3/2: the first note's length times the one after the chord
    if (lengthInside && !item.lengthText().empty()) both = timesLength(first, item.lengthText());
    std::string_view length = !both.empty() ? std::string_view(both) : lengthInside ? first : item.lengthText();
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
    if (fingering_ != nullptr) noteTie(line, item.column + item.text.size());
    at.put("] ");
    // Held into the next chord, as "[FA]-" is; once, when such a tie follows too.
    const std::size_t after = item.column + item.text.size();
    if (std::ranges::all_of(voices, &ChordNote::tied) && (after >= line.size() || line[after] != '-')) at.put('-');
    return at;
  }

  // One length times another, written as a length ("2" and "3/2" give "3");
  // empty when either is none.
  static std::string timesLength(std::string_view length, std::string_view times) {
    const std::optional<Length> a = readLength(length), b = readLength(times);
    if (!a || !b) return "";
    long num = a->num * b->num, den = a->den * b->den;
    const long common = std::gcd(num, den);
    num /= common, den /= common;
    return std::to_string(num) + (den == 1 ? "" : "/" + std::to_string(den));
  }

  // A note of a chord: where it is played alone, and as written.
  struct ChordNote {
    const Place* place;
    std::string_view written;
    bool tied = false;
  };

  // Where a note of a chord stands on the line, its length inside included.
  struct Span {
    std::size_t from, to;
    std::string_view length;
  };

  // The notes of a chord below the lowest course, for the melody as the tab
  // plays it: a chord with no other note becomes a rest of its length; else
  // they are left out of it, but for a first note whose length, the chord's,
  // the first note that stays does not have.
  void silence(const std::vector<ChordNote>& voices, const std::vector<Span>& spans, std::size_t below, std::size_t open,
               std::size_t close) {
    if (below == 0) return;
    if (below == voices.size()) {
      leftOut_.silenced.push_back({open, close + 1, "z" + std::string(spans[0].length)});
      return;
    }
    std::size_t stays = 0;
    while (voices[stays].place->spot.course == 0) ++stays;
    for (std::size_t k = 0; k < voices.size(); ++k) {
      if (voices[k].place->spot.course != 0) continue;
      if (k == 0 && spans[stays].length != spans[0].length) continue;
      leftOut_.silenced.push_back({spans[k].from, spans[k].to, ""});
    }
  }

  // The tab code of a chord, course 1 first, a comma for a course not played.
  // The notes take their courses from the highest-sounding down: each its own
  // course when that is free, else the free course that plays it at the
  // lowest fret (on a tuning whose courses rise, the nearest lower one); a
  // note no free course plays is left out.
  std::string voice(std::vector<ChordNote>& voices) {
    std::string tabCode(6, ',');
    std::stable_sort(voices.begin(), voices.end(),
                     [](const ChordNote& a, const ChordNote& b) { return a.place->pitch > b.place->pitch; });
    for (const ChordNote& v : voices) {
      Spot spot = v.place->spot;
      if (spot.course == 0) continue;  // below the lowest course
      if (tabCode[static_cast<std::size_t>(spot.course - 1)] != ',') {
        Spot taken = spot;
        spot.course = 7;  // taken: another free course, if one plays the note
        for (int course = 1; course <= board_.courses(); ++course) {
          std::optional<int> fret = board_.fretOn(course, v.place->pitch);
          if (course == taken.course || !fret || tabCode[static_cast<std::size_t>(course - 1)] != ',') continue;
          if (spot.course > 6 || *fret < spot.fret) spot = {course, *fret};
        }
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
  char accidental_ = ' ';  // the accidental the note placed last sounds with, blank for the key's
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

std::string asPlayed(std::string_view line, const std::vector<Silenced>& silenced) {
  std::string played;
  std::size_t at = 0;
  for (const Silenced& s : silenced) {
    if (s.from < at || s.to > line.size()) continue;
    played.append(line.substr(at, s.from - at)).append(s.with);
    at = s.to;
  }
  return played.append(line.substr(at));
}

std::string_view scanLine(std::string_view line, TuneState& state, const Fretboard& board, std::string& room,
                          LeftOut& leftOut, TuneFingering* fingering) {
  return Scanner(state, board, leftOut, fingering).run(line, room);
}

}  // namespace kry
