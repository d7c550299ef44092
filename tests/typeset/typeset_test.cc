// What abctab2ps makes of kry's tunes before abcm2ps sees them: lengths,
// tab-voice lines and their rhythm flags, whole tunes, the command line; and
// whole runs, the world outside kept in memory, abcm2ps's messages among them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "typeset/book.h"
#include "typeset/cmdline.h"
#include "typeset/diagrams.h"
#include "typeset/outline.h"
#include "typeset/pages.h"
#include "typeset/run.h"
#include "typeset/translate.h"

namespace kry::typeset {
namespace {

// A table in data/: every line of it is kept, and after each that make() reads
// come what it makes of it, on lines that start "=> ", "left out: " or "warning: ".
void transcript(const std::string& name, const std::function<std::string(const std::string&)>& make) {
  std::ostringstream want, got;
  want << std::ifstream(TESTS_DIR "/typeset/data/" + name).rdbuf();
  ASSERT_NE(want.str().find("\n=> "), std::string::npos) << name;
  std::istringstream in(want.str());
  for (std::string line; std::getline(in, line);)
    if (line.rfind("=> ", 0) != 0 && line.rfind("left out: ", 0) != 0 && line.rfind("warning: ", 0) != 0) got << line << "\n" << make(line);
  EXPECT_EQ(got.str(), want.str());
}

// data/lengths.txt: lengths after a fret letter, each with its value.
TEST(Lengths, AsTheTableHasThem) {
  transcript("lengths.txt", [](const std::string& line) -> std::string {
    if (line[0] == '#') return "";
    const std::optional<Length> l = readLength(line == "''" ? "" : line);
    return "=> " + (l ? std::to_string(l->num) + "/" + std::to_string(l->den) : "none") + "\n";
  });
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
    return "=> " + tabText(tl.events, tl.tuplets) + "\n" + (tl.dropped.empty() ? "" : "left out: " + tl.dropped + "\n");
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

// Whole tunes, each ended by a blank line, under the -t and -s of a line before
// it and "crowded: LINE N" (abcm2ps found the music line at LINE too wide N
// times, "Line too much shrunk"), "closer: N" (the tune set closer N times) and
// "page before: N" (a new page before its system N), each with the abcm2ps input made of it: the
// lines that start with one of `only`, or all after the prolog and the warnings.
void tunes(const std::string& name, const std::vector<std::string>& only) {
  Settings settings{0, 1, "TEMP.ABC", {}, {}, {}};
  std::string tune;
  transcript(name, [&](const std::string& line) -> std::string {
    if (std::sscanf(line.c_str(), "-t %d -s %lf", &settings.transpose, &settings.scale) == 2) return "";
    if (int at, n; std::sscanf(line.c_str(), "crowded: %d %d", &at, &n) == 2) return settings.crowded[at] = n, "";
    if (int n; std::sscanf(line.c_str(), "closer: %d", &n) == 1) return settings.tighter[1] = n, "";
    if (int n; std::sscanf(line.c_str(), "page before: %d", &n) == 1) return settings.pageBefore[1] = n, "";
    if (!line.empty() && line[0] != '#') tune += line + "\n";
    if (!line.empty() || tune.empty()) return "";
    const Translation tr = translate(tune, settings);
    std::istringstream abc(only.empty() ? tr.abc.substr(tr.abc.find("\n\n") + 2) : tr.abc);
    std::string made;
    for (std::string l; std::getline(abc, l);) {
      auto starts = [&l](const std::string& start) { return l.starts_with(start); };
      if (only.empty() || std::ranges::any_of(only, starts)) made += "=> " + l + "\n";
    }
    if (only.empty())
      for (const Said& w : tr.warnings) made += "warning: " + w.text + "\n";
    tune.clear(), settings = Settings{0, 1, "TEMP.ABC", {}, {}, {}};
    return made;
  });
}

// data/paper.txt: the lines that set the paper, the margin, the scale and the transposition, and the voices.
TEST(Translate, PaperScaleAndTranspositionAsTheTableHasThem) {
  tunes("paper.txt", {"%%page", "%%botmargin", "%%scale", "%%staffnonote", "/kscale", "%%transpose", "V:"});
}

// data/tunes.txt: the whole abcm2ps input of each tune after the prolog, and the warnings.
TEST(Translate, TunesAsTheTableHasThem) { tunes("tunes.txt", {}); }

// data/cmdlines.txt: command lines, each with what is read from it or why it is refused.
// Titles as abcm2ps 8.14 prints them, under its %%titletrim setting.
TEST(Outline, TitlesAsThePageShowsThem) {
  struct Row {
    const char* title;
    int titletrim;
    const char* shown;
  };
  const Row rows[] = {
      {"Kesh, The", 1, "The Kesh"},
      {"Clair de Lune, Au", 1, "Au Clair de Lune"},
      {"A, B, The", 1, "The A, B"},
      {"Kesh, L'Air", 1, "L'Air Kesh"},
      {"Kesh, Abcdef", 1, "Kesh, Abcdef"},  // six letters are too many
      {"Kesh, A B", 1, "Kesh, A B"},        // and so is a second word
      {"Kesh, the", 1, "Kesh, the"},
      {"Kesh,The", 1, "Kesh,The"},
      {"Kesh, 2", 1, "Kesh, 2"},
      {"Kesh, The", 0, "Kesh, The"},
      {"Kesh, Tho", 7, "Tho Kesh"},
      {"Kesh, Thee", 7, "Kesh, Thee"},
      {"Kesh, The Old", 30, "The Old Kesh"},
  };
  for (const Row& row : rows) EXPECT_EQ(shownTitle(row.title, row.titletrim), row.shown) << row.title;
}

// A book read in blocks is split into the lines the whole text has, wherever
// a block ends: LF, CR and CR LF end a line, a last line needs no end.
TEST(LineFeed, TheLinesOfTheWholeTextWhereverABlockEnds) {
  const std::string texts[] = {"", "a", "a\n", "a\nb", "a\r\nb\r\n", "a\rb\r", "\r\n\r\n", "a\n\nb", "ab\r\r\ncd", "X:1\r\nK:C\n\rx"};
  for (const std::string& text : texts) {
    std::vector<std::string> whole, fed;
    Lines lines(text);
    for (std::string_view line; lines.next(line);) whole.emplace_back(line);
    for (std::size_t size = 1; size <= 4; ++size) {
      fed.clear();
      LineFeed feed;
      auto keep = [&](std::string_view line) { fed.emplace_back(line); };
      for (std::size_t at = 0; at < text.size(); at += size) feed.feed(std::string_view(text).substr(at, size), keep);
      feed.end(keep);
      EXPECT_EQ(fed, whole) << "blocks of " << size << " in \"" << text << "\"";
    }
  }
}

// The tunes whose last page holds one system alone, read from abcm2ps's
// PostScript: "P" a page, "X" a tune's start, "S" a system (its TAB mark).
TEST(SystemScan, TheTunesThatLeaveOneSystemAlone) {
  const struct { std::string pages; std::vector<SystemScan::Alone> alone; } rows[] = {
      {"P X S S S", {}},                 // one page
      {"P X S S S P S", {{1, 4}}},       // 3 + 1
      {"P X S S S P S S", {}},           // 3 + 2
      {"P X S S P S P X S", {{1, 3}}},   // the next tune on a page of its own
      {"P X S S P S X S", {}},           // the next tune on the same page
      {"S P X S P S S P S", {{1, 4}}},   // what comes before the first page is the prolog
  };
  for (const auto& r : rows) {
    SystemScan scan;
    std::istringstream in(r.pages);
    for (std::string w; in >> w;) scan.line(w == "P" ? "%%Page: 1 1" : w == "X" ? "% --- xref 1" : "scst1 9.2 12.0  pclef");
    EXPECT_EQ(scan.alone(), r.alone) << r.pages;
  }
}

// The origins of the lines given back as they were put in, after the
// prolog's: a line of ours (0), the next, the same, a jump back or far ahead,
// a line joined from others, over more lines than kept whole.
TEST(Origins, EveryLineAsItWasPut) {
  std::vector<Origin> put;
  const int lines[] = {0, 1, 2, 2, 3, 0, 500, 129, 1, 1000000, 999999, 0};
  for (int round = 0; round < 60; ++round)
    for (int line : lines) put.push_back(Origin{line + round, {}});
  put[7].joins = {{12, 130}, {40, 131}};
  put[600].joins = {{5, 7}};
  Origins origins;
  origins.lead(3);
  for (const Origin& o : put) origins.push(o);
  ASSERT_EQ(origins.size(), put.size() + 3);
  EXPECT_EQ(origins.at(1).line, 0);
  for (std::size_t n = 0; n < put.size(); ++n) {
    EXPECT_EQ(origins.at(n + 3).line, put[n].line) << n;
    EXPECT_EQ(origins.at(n + 3).joins, put[n].joins) << n;
  }
  EXPECT_EQ(origins.at(put.size() + 3).line, 0);
}

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

// kry's chord lines: each tune's lines in a row make one figure, set with
// %%EPS where they stand; a line that can't be read is said and left out.
TEST(Translate, ChordLinesBecomeOneFigureATune) {
  const std::string text =
      "X:1\nT:One\nK:G\nV:M clef=treble\nV:G clef=guitartab\n%%tabchord G 3 2 0 0 0 3\n%%tabchord D7 x x 0 2 1 2\n"
      "X:2\nT:Two\nK:G\nV:M clef=treble\nV:G clef=guitartab\n%%tabchord C 0@5 2 0 1 2\n"
      "%%tabchord H 1 y\n";
  const Translation tr = translate(text, Settings{0, 1, "TEMP.ABC", {}, {}, {}});
  const std::string body = tr.abc.substr(tr.abc.find("\n\n") + 2);
  EXPECT_NE(body.find("K:none\n%%EPS kchords1.eps\nX:2"), std::string::npos) << body;
  EXPECT_TRUE(body.ends_with("K:none\n%%EPS kchords2.eps\n")) << body;
  ASSERT_EQ(tr.files.size(), 2U);
  EXPECT_EQ(tr.files[0].first, "kchords1.eps");
  EXPECT_TRUE(tr.files[0].second.starts_with("%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 658 "));
  EXPECT_NE(tr.files[0].second.find("(D7)"), std::string::npos);
  EXPECT_NE(tr.files[1].second.find("setdash"), std::string::npos);  // the banjo's short string, dashed above its nut
  ASSERT_EQ(tr.warnings.size(), 1U);
  EXPECT_EQ(tr.warnings[0].text, "TEMP.ABC line 14: a chord diagram that can't be read, left out: %%tabchord H 1 y");
}

// A diagram shows four frets from the nut while the shape lies within them,
// else from its lowest stopped fret, with as many frets as the shape spans.
TEST(Diagram, FretsShownFromTheNutOrTheShape) {
  const struct { std::vector<DiagramString> strings; int first, rows; } rows[] = {
      {{{-1, 0}, {3, 0}, {2, 0}, {0, 0}, {1, 0}, {0, 0}}, 1, 4},
      {{{2, 0}, {4, 0}, {4, 0}, {2, 0}}, 1, 4},
      {{{3, 0}, {5, 0}, {5, 0}, {3, 0}}, 3, 4},
      {{{7, 5}, {0, 0}, {3, 0}}, 3, 5},
      {{{0, 5}, {0, 0}}, 1, 4},
  };
  for (const auto& r : rows) {
    const Frets shown = fretsShown(ChordDiagram{"X", r.strings});
    EXPECT_EQ(shown.first, r.first);
    EXPECT_EQ(shown.rows, r.rows);
  }
}

struct Abcm2ps { int status; std::string ps, log = ""; };  // a stand-in: exit status (-1: killed), PostScript written (if any), log

// The world abctab2ps sees, in memory: files in a map, a directory being a name
// ending in "/"; abcm2ps, unless missing, does as its row says; the abcm2ps command
// and all that is said, each call marked with its stream, are kept.
struct FakePlatform : Platform {
  std::map<std::string, std::string> files{{"TEMP.ABC", "X:1\r\nK:C\r\n[V:M] a|b\\\r\n[V:G] a | b & \\\r\n[V:M] cd\r\n[V:G] c d\r\n"}};
  std::optional<Abcm2ps> abcm2ps;
  bool temps = true;  // a temporary directory can be made
  std::string said;

  std::optional<std::string> readFile(const std::string& path) override { return files.contains(path) ? std::optional(files[path]) : std::nullopt; }
  std::optional<std::string> readEnd(const std::string& path, std::size_t bytes) override {
    const std::optional<std::string> text = readFile(path);
    return text ? std::optional(text->substr(text->size() - std::min(bytes, text->size()))) : std::nullopt;
  }
  bool writeFile(const std::string& path, const std::string& text) override {
    const bool inDir = path.find('/') == std::string::npos || files.contains(path.substr(0, path.rfind('/') + 1));
    if (inDir) files[path] = text;
    return inDir;
  }
  // In blocks of three bytes: a line end, CR LF too, is split between blocks.
  bool readBlocks(const std::string& path, const std::function<void(std::string_view)>& block) override {
    const std::optional<std::string> text = readFile(path);
    for (std::size_t at = 0; text && at < text->size(); at += 3) block(std::string_view(*text).substr(at, 3));
    return text.has_value();
  }
  bool appendFile(const std::string& path, std::string_view text) override {
    return files.contains(path) && (files[path] += text, true);
  }
  std::optional<std::string> findProgram(const std::string& name) override { return abcm2ps ? std::optional(name) : std::nullopt; }
  std::optional<std::string> makeTemp() override {
    if (temps) files["tmp/"] = "";
    return temps ? std::optional<std::string>("tmp") : std::nullopt;
  }
  void removeTemp(const std::string& dir) override { std::erase_if(files, [&](const auto& file) { return file.first.starts_with(dir + "/"); }); }
  int run(const std::vector<std::string>& args, const std::string& dir, const std::string& log) override {
    EXPECT_TRUE(files.contains(dir + "/" + args.back())) << "no tune for abcm2ps";
    for (const std::string& word : args) said += word + (&word == &args.back() ? "\n" : " ");
    writeFile(log, abcm2ps->log);
    if (!abcm2ps->ps.empty()) writeFile(dir + "/" + kTempPs, abcm2ps->ps);
    return abcm2ps->status;
  }
  bool install(const std::string& from, const std::string& to) override {
    const std::optional<std::string> text = readFile(from);
    return text && writeFile(to, *text) && files.erase(from);
  }
  void say(const std::string& line) override { said += "out: " + line + "\n"; }
  void warn(const std::string& line) override { said += "err: " + line + "\n"; }
};

// Each way a run ends: its exit status, all it says, the files it leaves (nothing
// in the temporary directory, no half PostScript file). abcm2ps's messages about
// notes (exit status 1, every page still written) name the tune's own lines, the
// piece of a joined line included, and come in line order with ours; its banner,
// echo and underfull lines go.
TEST(Typeset, EachWayARunEnds) {
  const Translation tr = translate(FakePlatform().files["TEMP.ABC"], Settings{});
  const std::string m = std::to_string(std::count(tr.abc.begin(), tr.abc.begin() + tr.abc.find("[V:M] a|bcd"), '\n') + 1);
  const std::string whole = "%!PS\n%%Page: 1 1\n%%Trailer\n%%Pages: 1\n", half = "%!PS\n%%Page: 1 1\n",
                    ran = "abcm2ps -q -1 -O tune.ps tune.abc\n", failed = "err: abctab2ps: abcm2ps failed",
                    ours = "err: abctab2ps: TEMP.ABC line 4: left out of the tab staff: &  (in: [V:G] a | b & \\)\n";
  const struct { std::vector<std::string> args; std::optional<Abcm2ps> abcm2ps; bool temps; int status; std::string said; std::vector<std::string> left = {"TEMP.ABC"}; } rows[] = {
      {{"TEMP.ABC", "-1", "-q"}, Abcm2ps{0, whole}, true, 2, "err: abctab2ps: unknown option -q\nerr: " + std::string(kUsage)},
      {{"NONE.ABC"}, Abcm2ps{0, whole}, true, 1, "err: abctab2ps: cannot read the input file NONE.ABC\n"},
      {{"TEMP.ABC"}, std::nullopt, true, 1, "err: abctab2ps: abcm2ps, the engraver we typeset with, is not on the PATH; "
                                            "install the package abcm2ps (apt-get install abcm2ps)\n"},
      {{"TEMP.ABC"}, Abcm2ps{0, whole}, false, 1, "err: abctab2ps: cannot make a temporary directory\n"},
      {{"TEMP.ABC", "-1"}, Abcm2ps{2, half, "broken\n"}, true, 1, ran + ours + "err: abcm2ps: broken\n" + failed + " (exit status 2); no PostScript file written\n"},
      {{"TEMP.ABC", "-1"}, Abcm2ps{-1, whole}, true, 1, ran + ours + failed + " (killed or not started); no PostScript file written\n"},
      {{"TEMP.ABC", "-1"}, Abcm2ps{0, half}, true, 1, ran + ours + failed + " (exit status 0); no PostScript file written\n"},
      {{"TEMP.ABC", "-1", "-O", "nodir/x"}, Abcm2ps{0, whole}, true, 1, ran + ours + "err: abctab2ps: cannot write nodir/x.ps\n"},
      {{"TEMP.ABC", "-1", "-O", "x"}, Abcm2ps{1, half + "%%Page: 2 2\n%%Trailer\n%%Pages: 2\n%EOF\n",
        "abcm2ps-8.14.14 (2022-12-19)\nFile tune.abc\ntune.abc:" + m + ":7: error: Not a note\n   4 [V:M] ab&\n         ^\ntune.abc:" + m +
        ":9: error: Bad tie\nLine " + m + ": No %%end after %%begin\ntune.abc:3:0: warning: Line underfull (505pt of 682pt)\ntune.abc:1:0: warning: odd\n"},
       true, 0, ran + "err: abcm2ps: TEMP.ABC:3: error: Not a note\nerr: abcm2ps: TEMP.ABC:3: No %%end after %%begin\n" + ours +
       "err: abcm2ps: TEMP.ABC:5: error: Bad tie\nerr: abcm2ps: TEMP.ABC: warning: odd\nout: abctab2ps: wrote x.ps (1 tune, 2 pages)\n", {"TEMP.ABC", "x.ps"}},
      {{"TEMP.ABC"}, Abcm2ps{0, whole}, true, 0, "abcm2ps -q -O tune.ps tune.abc\n" + ours + "out: abctab2ps: wrote Out.ps (1 tune, 1 page)\n", {"Out.ps", "TEMP.ABC"}},
      // A line too wide, broken at its bar line: one tune a page, the tune is engraved again
      // apart, then the whole book once more.
      {{"TEMP.ABC", "-1"}, Abcm2ps{0, whole, "tune.abc:" + m + ":3: error: Line too much shrunk (682/790pt of 682pt)\n"}, true, 0,
       ran + "abcm2ps -q -1 -O some.ps some.abc\n" + ran +
       "err: abcm2ps: TEMP.ABC:3: error: Line too much shrunk (682/790pt of 682pt)\n" + ours + "out: abctab2ps: wrote Out.ps (1 tune, 1 page)\n", {"Out.ps", "TEMP.ABC"}},
      // Tunes that share pages: the whole book again, until no bar line is left to break at.
      {{"TEMP.ABC"}, Abcm2ps{0, whole, "tune.abc:" + m + ":3: error: Line too much shrunk (682/790pt of 682pt)\n"}, true, 0,
       "abcm2ps -q -O tune.ps tune.abc\nabcm2ps -q -O tune.ps tune.abc\n"
       "err: abcm2ps: TEMP.ABC:3: error: Line too much shrunk (682/790pt of 682pt)\n" + ours + "out: abctab2ps: wrote Out.ps (1 tune, 1 page)\n", {"Out.ps", "TEMP.ABC"}},
  };
  for (const auto& r : rows) {
    FakePlatform world;
    world.abcm2ps = r.abcm2ps, world.temps = r.temps;
    EXPECT_EQ(typeset(r.args, world), r.status) << r.said;
    EXPECT_EQ(world.said, r.said);
    std::vector<std::string> names;
    for (const auto& [name, text] : world.files) names.push_back(name);
    EXPECT_EQ(names, r.left) << r.said;
  }
}

// A few tunes of a book engraved apart keep the lines outside the tunes (the
// page's set-up, the book's own lines), and point back at the input lines.
TEST(Book, SomeTunesCutFromTheWhole) {
  const std::string whole = "%%pageheight 11in\nT:Book\n\nX:1\nK:C\nab\n\n%%staffsep 40\nX:2\nK:D\ncd\n\nX:3\nK:G\nef\n";
  const struct { std::vector<int> wanted; std::string some; std::vector<int> from; } rows[] = {
      {{1}, "%%pageheight 11in\nT:Book\n\nX:1\nK:C\nab\n\n%%staffsep 40\n\n", {0, 1, 2, 3, 4, 5, 6, 7, 11}},
      {{2, 3}, "%%pageheight 11in\nT:Book\n\n\n%%staffsep 40\nX:2\nK:D\ncd\n\nX:3\nK:G\nef\n", {0, 1, 2, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
      {{}, "%%pageheight 11in\nT:Book\n\n\n%%staffsep 40\n\n", {0, 1, 2, 6, 7, 11}},
  };
  Origins origin;  // the first line ours, the others from input lines 1, 2, ...
  for (int line = 0; line < 15; ++line) origin.push({line, {}});
  for (const auto& r : rows) {
    FakePlatform world;
    world.files["tmp/"] = "", world.files["tmp/tune.abc"] = whole;
    Origins some;
    ASSERT_TRUE(someTunes(world, "tmp", origin, r.wanted, some));
    EXPECT_EQ(world.files["tmp/some.abc"], r.some);
    std::vector<int> from;
    for (std::size_t n = 0; n < some.size(); ++n) from.push_back(some.at(n).line);
    EXPECT_EQ(from, r.from) << r.some;
    EXPECT_EQ(tuneLines(world, "tmp", origin), (std::vector<int>{3, 8, 12}));
  }
}

}  // namespace
}  // namespace kry::typeset
