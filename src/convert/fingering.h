// Where a player's hand goes (option pos): the notes of a whole tune placed
// together, so that the fretting hand stays in one four-fret position as long
// as it can, shifts rarely and by little, keeps low, and takes an open
// string where it costs no shift. Chords go on distinct courses, every note
// the courses can take at once, within one four-fret span (open strings are
// free) or, where no such span holds them, the narrowest that does; the
// highest note, the melody's, is the last one left out. A tied note keeps the
// place of the note it is tied from, and a note played again in the same
// bar keeps its place unless the hand moves anyway.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "convert/pitch.h"

namespace kry {

// A note or a chord of the tune, as the scanner meets it.
struct Event {
  std::vector<int> pitches;         // the pitches its notes sound at, as written
  std::vector<std::string> written;   // its notes as written, for the notes left out
  bool tied = false;                  // tied from the event before: the same notes, held
  long bar = 0;                       // the bar it stands in, counted over the tune
};

// Why a chord note has no place in the tab: every course that plays it is
// taken by the chord's other notes, or the chord has more notes than the
// instrument has courses.
enum class Crowded { kCoursesTaken, kMoreNotesThanCourses };
struct LeftOutNote {
  std::string written;
  Crowded why = Crowded::kCoursesTaken;
};

// Where an event is played: the fret on each course, course 1 first, -1 for
// a course not played; and its notes that no course could take.
struct Voicing {
  std::array<int, 6> frets{-1, -1, -1, -1, -1, -1};
  std::vector<LeftOutNote> leftOut;
};

// The voicings of a tune's events, in order. The hand starts at fret `start`
// and is drawn back there (0: it starts wherever suits the tune).
std::vector<Voicing> placeTune(const std::vector<Event>& events, const Fretboard& board, int start);

// A note or chord of a tune written down for the hand to place, and the
// places it was given: how the scanner takes part in placing a whole tune.
struct TuneFingering {
  bool placing = false;          // false: the events are written down; true: their places are taken
  std::vector<Event> events;
  std::vector<Voicing> voicings;
  std::size_t next = 0;          // the next event whose place is taken
  bool tiePending = false;       // the event written down last ends with a tie
  long bar = 0;                  // the bar the scan stands in: one more at every bar line
};

}  // namespace kry
