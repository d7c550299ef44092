// Chord symbols, their notes, and the shapes that play them: the tables of
// shapes players know checked against the notes, and the shapes kry gives
// in usual and other tunings.
#include "convert/chords.h"
#include "convert/shapes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/chordline.h"
#include "table.h"

namespace kry {
namespace {

std::string noteNames(const std::vector<int>& classes) {
  constexpr std::string_view kNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  std::string names;
  for (int pitch : classes) names += (names.empty() ? "" : " ") + std::string(kNames[pitch]);
  return names;
}

std::string shapeText(const Shape& frets) {
  std::string text;
  for (int fret : frets) text += (text.empty() ? "" : " ") + (fret == kMuted ? std::string("x") : std::to_string(fret));
  return text;
}

// Every note the shape sounds is the chord's, and it sounds every note of the
// chord, but the perfect fifth when `fifthMayGo`.
void expectHolds(const Shape& frets, const std::vector<ChordString>& strings, const Chord& chord, bool fifthMayGo) {
  std::vector<int> tones = chord.pitchClasses(), heard;
  for (int note : sounding(frets, strings)) heard.push_back(note % 12);
  for (int pitch : heard) EXPECT_NE(std::count(tones.begin(), tones.end(), pitch), 0) << "a note not in the chord";
  for (int pitch : tones)
    if (!fifthMayGo || pitch != (chord.root + 7) % 12) {
      EXPECT_NE(std::count(heard.begin(), heard.end(), pitch), 0) << "a note missing";
    }
}

TEST(ChordSymbol, ReadsAsTheTableHasIt) {
  for (const kry_test::Row& row : kry_test::table("chordsymbols.txt", 2)) {
    Symbol symbol = readch(row[0]);
    std::string got = symbol.kind == SymbolKind::kNone ? "none" : symbol.kind == SymbolKind::kUnknown ? "unknown" : "";
    if (symbol.kind == SymbolKind::kChord) {
      const Chord& chord = symbol.chord;
      std::vector<int> tones = chord.pitchClasses();
      if (chord.slash && std::count(chord.intervals.begin(), chord.intervals.end(), (chord.bass - chord.root + 12) % 12) == 0)
        tones.pop_back();  // the bass, named after the notes
      got = "chord: " + noteNames(tones) + (chord.slash ? ", bass " + noteNames({chord.bass}) : "");
    }
    EXPECT_EQ(got, row[1]) << row[0];
  }
}

TEST(ChordSymbol, TransposedKeepsItsSignOrTakesTheUsualName) {
  const std::vector<std::tuple<std::string, int, std::string>> rows = {
      {"G", 1, "Ab"},      {"G/B", 2, "A/C#"}, {"D/F#", 1, "Eb/G"}, {"Bbmaj7", 2, "Cmaj7"},
      {"F#m", 1, "Gm"},    {"F#m", 3, "Am"},   {"Ebm7", -1, "Dm7"}, {"C#", 2, "D#"},
      {"Amin", -2, "Gmin"}, {"(E7)", 12, "E7"}, {"Bb", 1, "B"},
      {"D/F#", 2, "E/G#"}, {"C/E", -1, "B/D#"}, {"A7/c+", 3, "C7/E"},
  };
  for (const auto& [symbol, steps, name] : rows)
    EXPECT_EQ(transposed(readch(symbol).chord, steps).name, name) << symbol << " " << steps;
}

TEST(ChordSymbol, QuotedTextsOfALineLeaveTheCommentOut) {
  EXPECT_EQ(quotedTexts("\"G\"GAB \"^fine\"c|\"D7\"d % \"Am\""), (std::vector<std::string_view>{"G", "^fine", "D7"}));
  EXPECT_EQ(quotedTexts("\"Em\"E \"unclosed"), (std::vector<std::string_view>{"Em"}));
}

// Every shape of the tables sounds only the chord's notes, and all of them
// but, at most, the perfect fifth; a movable one has no open string.
TEST(ShapeTables, SoundTheirChords) {
  for (const ShapeTable& table : shapeTables()) {
    std::vector<ChordString> strings = *readStrings(table.tuning);
    for (bool movable : {false, true}) {
      for (const ShapeRow& row : movable ? table.movable : table.open) {
        SCOPED_TRACE(std::string(table.instrument) + " " + std::string(row.chord) + " " + std::string(row.frets));
        Symbol symbol = readch(row.chord);
        std::optional<Shape> frets = readShape(row.frets);
        ASSERT_EQ(symbol.kind, SymbolKind::kChord);
        ASSERT_TRUE(frets);
        ASSERT_EQ(frets->size(), strings.size());
        expectHolds(*frets, strings, symbol.chord, true);
        if (movable) { EXPECT_EQ(std::count(frets->begin(), frets->end(), 0), 0); }
      }
    }
  }
}

TEST(Shape, AsTheTableHasIt) {
  for (const kry_test::Row& row : kry_test::table("voicings.txt", 3)) {
    std::optional<std::vector<ChordString>> strings = readStrings(row[0]);
    ASSERT_TRUE(strings) << row[0];
    std::optional<Shape> frets = shape(readch(row[1]).chord, *strings);
    EXPECT_EQ(frets ? shapeText(*frets) : "none", row[2]) << row[0] << " " << row[1];
  }
}

// Computed shapes in tunings of every kind: each sounds every note the chord
// needs and nothing else, within four frets, the short string nowhere below its nut.
TEST(Shape, ComputedOnesHoldTheChord) {
  const std::vector<std::string> tunings = {"E2 A2 D3 G3 B3 E4", "D2 A2 D3 G3 A3 D4", "D2 G2 D3 G3 B3 D4",
                                            "G3 D4 A4 E5",       "G4 C4 E4 A4",       "G4@5 D3 G3 B3 D4",
                                            "C3 G3 D4 A4",       "A4@5 D3 F#3 A3 D4"};
  const std::vector<std::string> chords = {"C", "Dm", "E7", "F#m7", "Gmaj7", "Ab", "Bbsus4", "Bdim7", "Caug", "D6", "Em/B"};
  for (const std::string& tuning : tunings) {
    std::vector<ChordString> strings = *readStrings(tuning);
    for (const std::string& name : chords) {
      SCOPED_TRACE(tuning + " " + name);
      Chord chord = readch(name).chord;
      std::optional<Shape> frets = voice(chord, strings);
      ASSERT_TRUE(frets);
      expectHolds(*frets, strings, chord, chord.pitchClasses().size() > strings.size());
      int low = 99, high = 0;
      for (std::size_t s = 0; s < frets->size(); ++s) {
        int fret = (*frets)[s];
        if (fret <= 0) continue;
        low = std::min(low, fret);
        high = std::max(high, fret);
        EXPECT_GT(fret, strings[s].nut);
      }
      EXPECT_LE(high - std::min(low, high), 3);
    }
  }
}

TEST(ChordLine, WritesAndReadsTheDirective) {
  ChordDiagram banjo{"C", {{0, 5}, {2, 0}, {0, 0}, {1, 0}, {2, 0}}};
  EXPECT_EQ(chordLine(banjo), "%%tabchord C 0@5 2 0 1 2");
  EXPECT_EQ(readChordLine("%%tabchord C 0@5 2 0 1 2"), banjo);
  EXPECT_EQ(readChordLine("%%tabchord  G/B\tx 2 0 0 0 3")->strings.front(), (DiagramString{-1, 0}));
  for (const char* bad : {"%%tabchord", "%%tabchord G", "%%tabchordG 0 0", "%%tabchord G 0 y", "%%tabchord G 1 2 3 4 5 6 7",
                          "%%tabchord G 0@ 0", "%%tabchord G 99 0", "%%tab G 0"})
    EXPECT_FALSE(readChordLine(bad)) << bad;
}

}  // namespace
}  // namespace kry
