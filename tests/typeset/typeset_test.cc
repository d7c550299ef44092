// What abctab2ps makes of kry's tunes before abcm2ps sees them: lengths and
// rhythm flags, tab-voice lines, whole tunes, abcm2ps's messages, the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "typeset/cmdline.h"
#include "typeset/run.h"
#include "typeset/translate.h"

namespace kry::typeset {
namespace {

// Lengths as ABC writes them after a fret letter, in lowest terms; "-": none.
TEST(Lengths, ReadAsAbcWritesThem) {
  const std::pair<const char*, const char*> rows[] = {
      {"1", "1/1"}, {"12", "12/1"}, {"3/2", "3/2"}, {"/", "1/2"}, {"//", "1/4"}, {"/4", "1/4"}, {"3/", "3/2"},
      {"6/4", "3/2"}, {"", "-"}, {"0", "-"}, {"2/0", "-"}, {"a", "-"}, {"2/3/", "-"}, {"/999999", "-"},
      {"//////////////////////////////////////////////////////////////////////", "-"}};
  for (const auto& [text, want] : rows) {
    const auto l = readLength(text);
    EXPECT_EQ(l ? std::to_string(l->num) + "/" + std::to_string(l->den) : "-", want) << text;
  }
}

// The rhythm flag over a fret shows the note value: length times the tune's L:.
TEST(Tabcode, FlagsShowNoteValues) {
  const struct { Length length, unit; const char* kind; } rows[] = {
      {{1, 1}, {1, 8}, "8"}, {{2, 1}, {1, 8}, "4"}, {{3, 1}, {1, 8}, "4d"}, {{3, 2}, {1, 8}, "8d"},
      {{1, 2}, {1, 8}, "16"}, {{8, 1}, {1, 8}, "1"}, {{4, 1}, {1, 8}, "2"}, {{6, 1}, {1, 8}, "2d"},
      {{1, 1}, {1, 4}, "4"}, {{7, 4}, {1, 4}, "4dd"}, {{1, 1}, {1, 16}, "16"}, {{5, 1}, {1, 8}, "-"}};
  for (const auto& r : rows) EXPECT_EQ(flagKind(r.length, r.unit).value_or("-"), r.kind) << lengthText(r.length);
}

// A table in data/: every line of it is kept, and after each that make() reads
// come what it makes of it, on lines that start "=> " or "left out: ".
void transcript(const std::string& name, const std::function<std::string(const std::string&)>& make) {
  std::ostringstream want, got;
  want << std::ifstream(TESTS_DIR "/typeset/data/" + name).rdbuf();
  ASSERT_NE(want.str().find("\n=> "), std::string::npos) << name;
  std::istringstream in(want.str());
  for (std::string line; std::getline(in, line);)
    if (line.rfind("=> ", 0) != 0 && line.rfind("left out: ", 0) != 0) got << line << "\n" << make(line);
  EXPECT_EQ(got.str(), want.str());
}

// data/tablines.txt: tab-voice lines, each with what abcm2ps gets and what is left out.
TEST(TabLine, AsTheTableHasThem) {
  TabState st;
  transcript("tablines.txt", [&st](const std::string& line) -> std::string {
    if (line.empty()) st = TabState{};
    if (line == "mandolin") st.layout = &mandolin();
    if (line == "%%tabrhstyle none") st.flags = false;
    if (line.rfind("[V:G]", 0) != 0) return "";
    const TabLine tl = tabLine(line.substr(5), st);
    return "=> " + tl.abc + "\n" + (tl.dropped.empty() ? "" : "left out: " + tl.dropped + "\n");
  });
}

// data/times.txt: melody and tab lines, each with the time it lasts.
TEST(Clock, TimesAsTheTableHasThem) {
  Clock melody;
  TabState st;
  transcript("times.txt", [&](const std::string& line) -> std::string {
    if (line.empty()) melody = Clock{}, st = TabState{};
    if (line.rfind("[V:M]", 0) == 0) melody.time = {0, 1}, melodyTime(line.substr(5), melody);
    if (line.rfind("[V:G]", 0) == 0) tabLine(line.substr(5), st);
    return line.rfind("[V:", 0) == 0 ? "=> " + lengthText(line[3] == 'M' ? melody.time : st.clock.time) + "\n" : "";
  });
}

// A whole tune as kry writes it, with CR LF line ends.
const char* const kReel =
    "\r\nX:1\r\nT:Reel\r\nM:4/4\r\nL:1/8\r\nP: Capo 3\r\nK:G\r\n%%pageheight 11in\r\n%%botmargin 0.50in\r\n"
    "V:M clef=treble\r\n%\r\n%\r\nV:G clef=guitartab\r\n%%staffsep 2cm\r\n%%tabrhstyle modern\r\n%\r\n"
    "[V:M] |:G2 AB [D2G2B2] ~c|\r\n[V:G] |:,,a2  ,,c1 ,a  [,aaa2]  ,b1 |\r\nw:la la\r\n";

// Each row: a tune, -t and -s, and runs of whole lines the abcm2ps input holds.
// Paper is A4 unless the tune gives a page height.
TEST(Translate, PaperScaleAndTransposition) {
  const struct { const char* tune; int transpose; double scale; std::vector<std::string> has; } rows[] = {
      {kReel, 0, 1, {"\n%%pagewidth 8.5in\n%%pageheight 11in\n%%botmargin 0.50in\n%%staffnonote 2\n", "\n/kscale 0.750 def", "\nX:1\n"
        "%%postscript /ktabmid 15 def\nT:Reel\nM:4/4\nL:1/8\nP: Capo 3\nK:G\nV:M clef=treble\n%\n%\nV:G clef=perc3 stafflines=6 staffscale=1.3\n"
        "K:none\n%%staffsep 2cm\n%\n[V:M] |:G2 AB [D2G2B2] ~c|\nw:la la\n[V:G] |: !kq4!!invisible![!head-kf0!d]2 !kq8!!invisible![!head-kf2!d]1 "
        "!invisible![!head-kf0!f]1 !kq4!!invisible![!head-kf0!f!head-kf0!d!head-kf0!B]2 !kq8!!invisible![!head-kf1!f]1 |\n"}},
      {"X:1\n%%pageheight\nK:C\nV:G clef=spanish4tab\n", 0, 1, {"\n%%pagewidth 21cm\n%%pageheight 29.7cm\n"}},
      {kReel, -3, 0.8, {"\n%%scale 0.600\n", "\n/kscale 0.600 def", "\nV:M clef=treble\n%%transpose -3\n%\n%\nV:G clef=perc3"}},
  };
  for (const auto& r : rows) {
    const Translation tr = translate(r.tune, Settings{r.transpose, r.scale, "TEMP.ABC"});
    for (const std::string& has : r.has) EXPECT_NE(tr.abc.find(has), std::string::npos) << has << " not in\n" << tr.abc;
  }
}

// data/tunes.txt: whole tunes, each with the abcm2ps input made of it after
// the prolog and the warnings.
TEST(Translate, TunesAsTheTableHasThem) {
  std::ostringstream want, got;
  want << std::ifstream(TESTS_DIR "/typeset/data/tunes.txt").rdbuf();
  std::istringstream in(want.str());
  std::string tune;
  auto made = [&] {
    if (tune.find_first_not_of('\n') != std::string::npos) {
      const Translation tr = translate(tune, Settings{0, 1, "TEMP.ABC"});
      std::istringstream abc(tr.abc.substr(tr.abc.find("\n\n") + 2));
      for (std::string line; std::getline(abc, line);) got << "=> " << line << "\n";
      for (const std::string& w : tr.warnings) got << "warning: " << w << "\n";
    }
    tune.clear();
  };
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("=> ", 0) == 0 || line.rfind("warning: ", 0) == 0) continue;
    if (line[0] == '#') made();
    else tune += line + "\n";
    got << line << "\n";
  }
  made();
  EXPECT_EQ(got.str(), want.str());
}

// abcm2ps reads our translation, not the tune: its messages must name the
// tune's own lines, the piece of a joined line included, and its banner,
// source echo and underfull lines go. Its pages are counted where a line
// starts "%%Page: ".
TEST(Run, WhatAbcm2psSaysAndWrites) {
  const Translation tr = translate("X:1\nK:C\n[V:M] ab\\\n[V:G] a b \\\n[V:M] cd\n[V:G] c d\n", Settings{});
  const std::string m = std::to_string(std::count(tr.abc.begin(), tr.abc.begin() + tr.abc.find("[V:M] abcd"), '\n') + 1);
  const std::string log = "abcm2ps-8.14.14 (2022-12-19)\nFile tune.abc\ntune.abc:" + m + ":7: error: Not a note\n   4 [V:M] ab&\n"
                          "         ^\ntune.abc:" + m + ":9: error: Bad tie\nLine " + m + ": No %%end after %%begin\n"
                          "tune.abc:3:0: warning: Line underfull (505pt of 682pt)\ntune.abc:1:0: warning: odd\n";
  EXPECT_EQ(mapMessages(log, "TEMP.ABC", tr.origin), "abcm2ps: TEMP.ABC:3: error: Not a note\nabcm2ps: TEMP.ABC:5: error: Bad tie\n"
            "abcm2ps: TEMP.ABC:3: No %%end after %%begin\nabcm2ps: TEMP.ABC: warning: odd\n");
  EXPECT_EQ(pageCount("%!PS\n%%Page: 1 1\nx %%Page: 2 2\n%%Page: 2 2\n%%Pages: 2\n"), 2);
}

// data/cmdlines.txt: command lines, each with what is read from it or why it is refused.
TEST(ReadCmd, AsTheTableHasThem) {
  transcript("cmdlines.txt", [](const std::string& line) -> std::string {
    if (line.rfind("abctab2ps", 0) != 0) return "";
    std::istringstream words(line.substr(9));
    std::vector<std::string> args;
    for (std::string w; words >> w;) args.push_back(w == "''" ? "" : w);
    const Parsed p = readCommand(args);
    if (!p.command) return "=> " + p.refusal + "\n";
    std::ostringstream read;
    read << "=> " << p.command->input << " " << p.command->output << " " << p.command->transpose << " " << p.command->scale;
    return read.str() + (p.command->onePerPage ? " -1\n" : "\n");
  });
}

}  // namespace
}  // namespace kry::typeset
