// Turning kry's two-voice tune into abcm2ps input. The melody voice goes
// through as written (transposed by abcm2ps when asked), but for its ABC 1.6
// chords in "+", which go in brackets; every tab-voice line becomes invisible
// chords pitched on the course lines, whose decorations print the fret
// numbers and, where the tune asks for them, rhythm flags. Field lines of the
// tune body reach the voices ABC means them for, continued lines are joined
// voice by voice, and every melody line is checked against its tab line for
// time; a line with no partner gets an empty staff, and a music line abcm2ps
// found too wide is broken at a bar line both staves share. Pure: text in,
// text and warnings out.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "typeset/clock.h"
#include "typeset/tabcode.h"
#include "typeset/tabline.h"

namespace kry::typeset {

struct Settings {
  int transpose = 0;       // half steps for the melody staff, up when positive
  double scale = 1.0;      // -s factor
  std::string inputName;   // for warnings
  std::map<int, int> crowded;  // input lines abcm2ps found too wide for a system, and how often
};

// Where a line of abcm2ps input came from: its input line, 0 when it is
// ours alone; a line joined from continued lines also has the column at
// which each later input line starts in it.
struct Origin {
  int line = 0;
  std::vector<std::pair<std::size_t, int>> joins;
};

// Something said about a line of the input: its number (0 for none) and
// the words, as they are said.
struct Said {
  int line = 0;
  std::string text;
};

// A tune as the PDF's outline names it.
struct TuneTitle {
  std::string number;  // of its X: field
  std::string title;   // its first T: line; empty for none
  int titletrim = 1;   // abcm2ps's %%titletrim for the tune, which changes how its title is printed
};

struct Translation {
  std::string abc;                    // the whole abcm2ps input
  std::vector<Said> warnings;         // in line order: things left out, out of time, unpaired
  std::vector<Origin> origin;         // per output line
  std::string bookTitle;              // the first T: line before the first tune
  int bookTitletrim = 1;              // the %%titletrim before the first tune
  std::vector<TuneTitle> titles;      // one per tune, in order: as many as there are tunes
  // Figures abcm2ps reads beside the tune, by name: the chord diagrams.
  std::vector<std::pair<std::string, std::string>> files;
};

Translation translate(std::string_view text, const Settings& settings);

// What one tab-voice line becomes, given the tune's running state.
struct TabState {
  const Layout* layout = &guitar();
  bool flags = true;                 // "%%tabrhstyle modern"
  Length last{1, 1};                 // the length an event without one takes
  std::optional<Length> pending;     // broken rhythm at the end of a line, for the next event
  std::optional<Length> heard;       // how long the last event shown sounds, in whole notes
  std::vector<int> held;             // per course, the fret a tie holds into the next event; -1 for none
  Clock clock;                       // the unit length, and the time of the line
};

struct TabLine {
  std::string dropped;       // what was left out, as written; empty when nothing
  std::string events;        // the line for abcm2ps without its voice and tuplet settings (tabText adds them)
  bool tuplets = false;      // the line holds a tuplet
  std::set<std::string> numbered;  // the flags with a tuplet's number drawn ("kq8t3")
};

// Reads one tab line; its time is left in state.clock.time.
TabLine tabLine(std::string_view body, TabState& state);

// The tab line for abcm2ps from the events of one or more joined lines.
std::string tabText(const std::string& events, bool tuplets);

}  // namespace kry::typeset
