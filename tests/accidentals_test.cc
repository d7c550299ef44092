// Accidentals carried through a bar, in every octave and both cases.
#include "convert/accidentals.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kry {
namespace {

// The note text as the scanner hands it on: the carried accidental in front.
void complete(const AccidentalTable& table, std::string& text) {
  char carried = fixacc(table, text[0]);
  if (carried != ' ') text.insert(text.begin(), carried);
}

TEST(Accidentals, CarryToLaterNotesOfTheSameLetter) {
  AccidentalTable table;
  std::string text = "F";
  complete(table, text);
  EXPECT_EQ(text, "F");
  acdntl(table, '^', 'F');
  for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{
           {"F", "^F"}, {"f", "^f"}, {"F,", "^F,"}, {"G", "G"}, {"f'", "^f'"}}) {
    text = in;
    complete(table, text);
    EXPECT_EQ(text, out);
  }
}

TEST(Accidentals, ALaterAccidentalReplacesTheRecord) {
  AccidentalTable table;
  acdntl(table, '^', 'c');
  acdntl(table, '=', 'C');
  std::string text = "c";
  complete(table, text);
  EXPECT_EQ(text, "=c");
}

TEST(Accidentals, ClearForgetsEveryLetter) {
  AccidentalTable table;
  acdntl(table, '_', 'B');
  acdntl(table, '^', 'g');
  table.clear();
  for (std::string text : {"B", "g"}) {
    std::string before = text;
    complete(table, text);
    EXPECT_EQ(text, before);
  }
}

TEST(Accidentals, TheWholeNoteTextKeepsItsOctaveMarks) {
  AccidentalTable table;
  acdntl(table, '^', 'c');
  std::string high = "c''";
  complete(table, high);
  EXPECT_EQ(high, "^c''");  // not ^c', a note an octave lower
  acdntl(table, '^', 'C');
  std::string low = "C,,";
  complete(table, low);
  EXPECT_EQ(low, "^C,,");
}

TEST(Accidentals, CharactersThatAreNoNoteLetterAreLeftAlone) {
  AccidentalTable table;
  for (char c : {'^', 'z', 'x', ' ', '|', 'H'}) acdntl(table, '^', c);
  for (std::string text : {"A", "B", "C", "D", "E", "F", "G"}) {
    std::string before = text;
    complete(table, text);
    EXPECT_EQ(text, before);
  }
  acdntl(table, '^', 'A');
  for (std::string text : {"z", "x", "H"}) {
    std::string before = text;
    complete(table, text);
    EXPECT_EQ(text, before);
  }
}

}  // namespace
}  // namespace kry
