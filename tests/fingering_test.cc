// Where the hand places a whole tune (option pos): chords keep every note the
// courses can take, the melody's top note first; a note played again in its
// bar stays where it was.
#include "convert/fingering.h"

#include <gtest/gtest.h>

#include <sstream>

#include "table.h"

namespace kry {
namespace {

// The events of `notes`: ABC notes in the key of C, "[fd]" a chord, "|" a bar line.
std::vector<Event> eventsOf(const std::string& notes, const Fretboard& board) {
  std::vector<Event> events;
  long bar = 0;
  std::istringstream words(notes);
  for (std::string word; words >> word;) {
    if (word == "|") {
      ++bar;
      continue;
    }
    Event event;
    event.bar = bar;
    std::string inside = word[0] == '[' ? word.substr(1, word.size() - 2) : word;
    for (std::size_t at = 0; at < inside.size();) {
      std::size_t end = at + 1;
      while (end < inside.size() && isOctaveMark(inside[end])) ++end;
      event.written.push_back(inside.substr(at, end - at));
      event.pitches.push_back(*notePitch(0, ' ', event.written.back()) + board.instrument().transposition);
      at = end;
    }
    events.push_back(event);
  }
  return events;
}

// Each voicing as the tab writes it (course 1 first, the courses below the
// last one played left off), and the notes left out after a "-": "G" when no
// free course plays it, "G+" when every course plays another note.
std::string shown(const std::vector<Voicing>& voicings) {
  std::string out;
  for (const Voicing& v : voicings) {
    std::string code;
    for (int fret : v.frets) code += fret < 0 ? ',' : fretLetter(fret);
    code.erase(code.find_last_not_of(',') + 1);
    for (const LeftOutNote& note : v.leftOut)
      code += "-" + note.written + (note.why == Crowded::kMoreNotesThanCourses ? "+" : "");
    out += (out.empty() ? "" : " ") + code;
  }
  return out;
}

TEST(Fingering, KeepsEveryChordNoteAndRepeatedNotesInPlace) {
  struct Row {
    const char* instrument;
    const char* notes;
    const char* voicings;
  };
  const Row rows[] = {
      // No four frets hold D sharp and C together on the mandolin: the table's
      // own six to ten is the narrowest span.
      {"mandolin -2", "[fd]", ",gl"},
      // E, C, G sharp, and the table's span three to nine.
      {"mandolin", "[EGc]", ",dfk"},
      // Within four frets where one holds them.
      {"guitar", "[GBd]", ",def"},
      // F, and E, only on the sixth course: the top note stays.
      {"guitar", "[E,F,]", ",,,,,b-E,"},
      // Five notes on four courses: the top one plays, a lower one is left out.
      {"mandolin", "[GBdga]", "ffkn-g+"},
      // The g of the bar keeps its place at the first fret while the hand
      // reaches up to the fifth and back.
      {"mandolin -2", "g b g a g e e | d B A G F G A B", "b f b d b ,f ,f ,d ,a ,,f ,,d ,,b ,,d ,,f ,a"},
      // The banjo's short fifth string plays its open g between the first string's notes.
      {"banjo", "d e g e d B G", "a c ,,,,a c a ,a ,,a"},
      // High on the banjo: the fifth string, stopped above its nut, is no better than the first.
      {"banjo", "a b c' b a", "h k l k h"},
      // The ukulele's re-entrant g, open, among the notes of its C and E strings.
      {"uke", "C E G A G E", ",,a ,a ,,,a a ,,,a ,a"},
  };
  for (const Row& row : rows) {
    Instrument instrument = kry_test::fingerboard(row.instrument);
    instrument.reach = kHandReach;
    Fretboard board(instrument);
    EXPECT_EQ(shown(placeTune(eventsOf(row.notes, board), board, 0)), row.voicings) << row.notes;
  }
}

}  // namespace
}  // namespace kry
