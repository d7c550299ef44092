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
    MusicLine items(line, state_.symbols);
    Item item;
    bool more = state_.overlay ? overlay(items, item) : items.next(item);  // an overlay goes on from the line before
    for (; more; more = items.next(item)) {
      if (item.kind == ItemKind::kBlank)  // blanks and notes: most of a line
        at.put(item.text);
      else if (item.kind == ItemKind::kNote)
        at = note(item, line, at);
      else
        at = step(item, items, at);
    }
    return {room.data(), static_cast<std::size_t>(at.out - room.data())};
  }

 private:
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
          if (item.text[k] == '|' || (item.text[k] == ':' && k + 1 < item.text.size() && item.text[k + 1] == ':')) {
            state_.accidentals.clear();  // a bar line ends the bar's accidentals
            if (fingering_ != nullptr) ++fingering_->bar;
          }
        at.put(item.text);
        return at;
      case ItemKind::kEnding:  // "[1" kept whole; the numbers after a bar line are the melody's
        if (item.text[0] == '[') at.put(item.text);
        return at;
      case ItemKind::kDecoration:  // the staccato dot stays beside its fret; other marks are the melody's
        if (item.text == ".") at.put('.');
        return at;
      case ItemKind::kField:
        return inlineField(item, at);
      case ItemKind::kVoice:
        // After music in no named voice, as on a line's start, that music is the first voice, "1".
        if (state_.keyCode.empty()) return at;
        if (item.column > 0 && state_.voice.empty()) state_.voice = "1";
        voiceNamed(state_, voiceId(item.text.substr(3)));
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
        Item ender;
        return overlay(items, ender) ? step(ender, items, at) : at;
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
  bool overlay(MusicLine& items, Item& ender) {
    ++leftOut_.overlaid;
    const bool ended = items.passOverlay(ender);
    state_.overlay = !ended;
    return ended || ender.kind == ItemKind::kComment;
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
    if (std::ranges::all_of(voices, &ChordNote::tied)) at.put('-');  // held into the next chord, as "[FA]-" is
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
};

}  // namespace

std::string_view voiceId(std::string_view value) {
  value = trimLeft(value);
  return value.substr(0, value.find_first_of(" ]"));
}

void voiceNamed(TuneState& state, std::string_view id) {
  std::string& voice = state.voice;
  if (voice.empty()) voice = id;
  if (id == voice) return;
  throw Stop::refusal(" A second voice starts here (V:" + std::string(id) + ", after V:" + voice +
                      "): kry writes tab for tunes of one voice only.\n");
}

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
