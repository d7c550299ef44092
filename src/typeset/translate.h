// Turning kry's two-voice tune into abcm2ps input. The melody voice goes
// through as written (transposed by abcm2ps when asked); every tab-voice line
// becomes invisible chords pitched on the course lines, whose decorations
// print the fret numbers and, where the tune asks for them, rhythm flags.
// Pure: text in, text and warnings out.
#ifndef KRY_TYPESET_TRANSLATE_H
#define KRY_TYPESET_TRANSLATE_H

#include <string>
#include <string_view>
#include <vector>

#include "typeset/tabcode.h"
#include "typeset/tabline.h"

namespace typeset {

struct Settings {
  int transpose = 0;       // half steps for the melody staff, up when positive
  double scale = 1.0;      // -s factor
  std::string inputname;   // for warnings
};

struct Translation {
  std::string abc;                    // the whole abcm2ps input
  std::vector<std::string> warnings;  // one per line with something left out
  std::vector<int> origin;            // per output line: input line number, 0 if made up
  int tunes = 0;
};

Translation translate(std::string_view text, const Settings& settings);

// What one tab-voice line becomes, given the tune's running state.
struct TabState {
  const Layout* layout = &guitar();
  bool flags = true;         // "%%tabrhstyle modern"
  Length last{1, 1};         // the length an event without one takes
  Length unit{1, 8};         // the tune's L:
};

struct TabLine {
  std::string abc;           // "[V:G] ..." for abcm2ps
  std::string dropped;       // what was left out, as written; empty when nothing
};

TabLine tabline(std::string_view body, TabState& state);

}  // namespace typeset

#endif
