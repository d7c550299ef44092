// abctab2ps as a command, alone and run by kry, each run in a scratch
// directory; the PostScript is read back through Ghostscript.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace {

namespace fs = std::filesystem;
const std::string kBin = ABCTAB2PS_BINARY, kKry = KRY_BINARY, kTests = TESTS_DIR;

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The tools a test needs: without one it fails, naming it.
#define NEED(...) for (const std::string tool : std::initializer_list<std::string>{__VA_ARGS__}) \
  ASSERT_EQ(std::system(("command -v '" + tool + "' >/dev/null").c_str()), 0) << tool << " is missing; scripts/setup.sh --tests installs abcm2ps and gs"

using kry_test::RunResult;
using kry_test::Sandbox;

// The first n fret numbers of the first tab staff on page 1, left to right and top course
// first: the runs of Helvetica-Bold digits nearest the top that Ghostscript finds.
std::vector<std::string> firstfrets(const Sandbox& s, const std::string& ps, std::size_t n) {
  const std::string xml = s.shell("gs -q -dSAFER -dLastPage=1 -sDEVICE=txtwrite -dTextFormat=0 -o - " + ps).out;
  const std::regex span(R"re(<span bbox="(\d+) (\d+) (\d+) \d+" font="Helvetica-Bold"[^>]*>\s*((<char [^>]*c="\d"/>\s*)+)</span>)re");
  struct Num { int x, y; std::string digits; };
  std::vector<Num> nums;
  for (std::sregex_iterator m(xml.begin(), xml.end(), span), end; m != end; ++m) {
    const std::string digits = std::regex_replace((*m)[4].str(), std::regex(R"re(<char [^>]*c="(\d)"/>\s*)re"), "$1");
    nums.push_back({(std::stoi((*m)[1]) + std::stoi((*m)[3])) / 2, std::stoi((*m)[2]), digits});
  }
  const int top = nums.empty() ? 0 : std::ranges::min_element(nums, {}, &Num::y)->y;
  std::erase_if(nums, [top](const Num& d) { return d.y > top + 35; });
  std::stable_sort(nums.begin(), nums.end(), [](const Num& a, const Num& b) { return std::abs(a.x - b.x) > 2 ? a.x < b.x : a.y < b.y; });
  std::vector<std::string> out;
  for (std::size_t i = 0; i < n && i < nums.size(); ++i) out.push_back(nums[i].digits);
  return out;
}

// The tab staffs on page 1 and the sizes of the first one's TAB mark and meter, as
// "2 T 9.0675 4 15.6000": the Helvetica-Bold T's, the lowest of the Times-Bold digits.
std::string marks(const Sandbox& s, const std::string& ps) {
  const std::string xml = s.shell("gs -q -dSAFER -dLastPage=1 -sDEVICE=txtwrite -dTextFormat=0 -o - " + ps).out;
  const std::regex span(R"re(<span bbox="\d+ (\d+) [^"]*" font="(Helvetica-Bold|Times-Bold)" size="([\d.]+)">\s*<char [^>]*c="([T\d])"/>)re");
  std::string tab, meter;
  int lowest = -1, staffs = 0;
  for (std::sregex_iterator m(xml.begin(), xml.end(), span), end; m != end; ++m) {
    if ((*m)[2] == "Helvetica-Bold" && (*m)[4] == "T" && staffs++ == 0) tab = "T " + (*m)[3].str();
    if ((*m)[2] == "Times-Bold" && std::stoi((*m)[1]) > lowest) lowest = std::stoi((*m)[1]), meter = (*m)[4].str() + " " + (*m)[3].str();
  }
  return std::to_string(staffs) + " " + tab + " " + meter;
}

// Tunes written by hand the way kry writes them, one file or more: the pages, the
// first bar's frets, the tab staffs on page 1 and the sizes of the TAB mark and the
// meter on the tab staff (on four courses sized to them) of the PostScript file
// abctab2ps writes, and nothing else. A tune that fits on a page is never split.
TEST(Abctab2ps, EngravesTabStaffs) {
  NEED("abcm2ps", "gs");
  const struct { const char *tune, *args, *ps; std::vector<std::string> frets; int pages; const char* marks; } rows[] = {
      {"reel.abc", "TEMP.ABC -1 -O reel.", "reel.ps", {"0", "2", "0", "0", "0", "0", "1"}, 1, "2 T 9.0675 4 15.6000"},
      {"jig.abc", "TEMP.ABC -1 -O jig -t _2 -s 1.2", "jig.ps", {"0", "4", "2", "4", "0"}, 1, "1 T 6.5286 8 14.0400"},  // mandolin
      {"reel.abc reel.abc", "-1 TEMP.ABC", "Out.ps", {"0", "2", "0", "0", "0", "0", "1"}, 2, "2 T 9.0675 4 15.6000"},
      {"six.abc", "TEMP.ABC -1", "Out.ps", {"0", "2", "0", "0", "0", "0", "1"}, 1, "6 T 9.0675 4 15.6000"},  // fits on its page to the margin
      {"reel.abc six.abc", "TEMP.ABC", "Out.ps", {"0", "2", "0", "0", "0", "0", "1"}, 2, "2 T 9.0675 4 15.6000"},  // six moves whole to page 2
  };
  for (const auto& r : rows) {
    Sandbox s;
    s.useTypesetter(kBin);
    s.shell("cd '" + kTests + "/typeset/data' && cat " + r.tune + " >'" + s.path("TEMP.ABC") + "'");
    const RunResult ran = s.shell(std::string("abctab2ps ") + r.args), box = s.shell(std::string("gs -q -dSAFER -sDEVICE=bbox -o - ") + r.ps);
    EXPECT_EQ(ran.status, 0) << r.tune << ran.err;
    EXPECT_EQ(s.files(), (std::string(r.ps) < "TEMP.ABC" ? std::vector<std::string>{r.ps, "TEMP.ABC"}
                                                          : std::vector<std::string>{"TEMP.ABC", r.ps})) << r.tune;  // and nothing else
    EXPECT_EQ(box.status, 0) << r.tune;  // Ghostscript reads it to the end without an error
    EXPECT_EQ(count(box.err, "%%HiResBoundingBox"), r.pages) << r.tune;
    EXPECT_EQ(firstfrets(s, r.ps, r.frets.size()), r.frets) << r.tune;
    EXPECT_EQ(marks(s, r.ps), r.marks) << r.tune;
  }
}

// What only a real run shows (typeset_test.cc has every way a run ends): the
// temporary directory really gone after a failure and after an interrupt,
// both output streams of abcm2ps read, and an abcm2ps killed seen as killed.
TEST(Abctab2ps, FailuresAndInterruptsLeaveNothing) {
  const struct { std::string abcm2ps; int status; const char* says; } rows[] = {
      {"echo half > tune.ps; echo broken; echo badly >&2; exit 2", 1, "abcm2ps: broken\nabcm2ps: badly\nabctab2ps: abcm2ps failed"},
      {"kill -9 $$", 1, "abctab2ps: abcm2ps failed (killed or not started)"},
      {"echo half > tune.ps; kill -TERM $PPID", 128 + 15, ""},  // the user interrupts
  };
  for (const auto& r : rows) {
    Sandbox s;
    s.useTypesetter(kBin);
    s.write("TEMP.ABC", "X:1\r\nK:C\r\n");
    s.write("bin/abcm2ps", "#!/bin/sh\n" + r.abcm2ps + "\n");
    fs::permissions(s.path("bin/abcm2ps"), fs::perms::owner_all);
    fs::create_directory(s.path("tmp"));
    const RunResult ran = s.shell("PATH=bin:\"$PATH\" TMPDIR=tmp abctab2ps TEMP.ABC -1 -O x");
    EXPECT_EQ(ran.status, r.status) << r.abcm2ps << "\n" << ran.err;
    EXPECT_NE(ran.err.find(r.says), std::string::npos) << r.abcm2ps << "\n" << ran.err;
    EXPECT_EQ(s.files(), (std::vector<std::string>{"TEMP.ABC", "tmp"})) << r.abcm2ps;
    EXPECT_TRUE(fs::is_empty(s.path("tmp"))) << r.abcm2ps;
  }
}

// The text Ghostscript finds on a page, each line trimmed and its blanks made one, lines joined by " / ".
std::string pagetext(const Sandbox& s, const std::string& ps) {
  std::istringstream text(s.shell("gs -q -dSAFER -sDEVICE=txtwrite -dTextFormat=3 -o - " + ps).out);
  std::string out;
  for (std::string line; std::getline(text, line);) {
    line = std::regex_replace(std::regex_replace(line, std::regex("[ \\r]+"), " "), std::regex("^ | $"), "");
    if (!line.empty()) out += (out.empty() ? "" : " / ") + line;
  }
  return out;
}

// The systems whose staves have their bar lines at different places, read
// from the PostScript: abcm2ps draws a bar line as "HEIGHT X Y bar" (or
// thbar, dbar...), a staff's at its Y, and starts a system with the line at
// X 0 that joins its staves. In a system of two staves both have the same X.
int misalignedBars(const std::string& ps) {
  const std::regex bar("(-?[0-9.]+) (-?[0-9.]+) (-?[0-9.]+) [a-z]*bar\\b");
  std::map<std::string, std::set<long>> system;  // per staff: the bar lines, in tenths of a point
  int misaligned = 0;
  auto check = [&] {
    if (system.size() == 2 && system.begin()->second != system.rbegin()->second) ++misaligned;
    system.clear();
  };
  for (auto it = std::sregex_iterator(ps.begin(), ps.end(), bar); it != std::sregex_iterator(); ++it) {
    const double x = std::stod((*it)[2]);
    if (x == 0) check();
    else system[(*it)[3]].insert(std::lround(x * 10));
  }
  check();
  return misaligned;
}

// data/found.txt: small tunes through kry and abctab2ps; for each, the tab lines kry
// writes and every message of the typesetter as kry passes it on, text on its page,
// and procedures its PostScript must not call.
TEST(KryAndAbctab2psOn, WhatWasFound) {
  NEED("abcm2ps", "gs", kKry);
  std::istringstream in(kry_test::readFile(kTests + "/typeset/data/found.txt") + "==\n");
  std::string options, tune, said;
  std::vector<std::string> page, absent;
  for (std::string line; std::getline(in, line);) {
    const std::string kind = line.substr(0, line.find(' ') + 1), rest = line.substr(kind.size());
    if (kind == "tab " || kind == "err ") said += line + "\n";
    else if (kind == "page ") page.push_back(rest);
    else if (kind == "not ") absent.push_back(rest);
    else if (line.rfind("==", 0) != 0 && line[0] != '#') tune += line + "\n";
    if (line.rfind("==", 0) != 0) continue;
    if (tune.find_first_not_of('\n') != std::string::npos) {
      Sandbox s;
      s.useTypesetter(kBin);
      s.write("tune.abc", tune);
      const RunResult r = s.shell(kKry + " tune debug" + options);
      std::string got;
      std::istringstream temp(kry_test::readFile(s.path("TEMP.ABC"))), out(r.out), err(r.err);
      for (std::string l; std::getline(temp, l);) if (l.rfind("[V:G]", 0) == 0) got += "tab " + l.substr(0, l.find('\r')) + "\n";
      for (std::string l; std::getline(out, l);) if (l.rfind(" tune.abc", 0) == 0 || l.find(" from the typesetter") != std::string::npos) got += "err " + l + "\n";
      for (std::string l; std::getline(err, l);) if (l.rfind("abctab2ps:", 0) == 0 || l.rfind("abcm2ps:", 0) == 0) got += "err " + l + "\n";
      EXPECT_EQ(got, said) << tune;
      const std::string text = pagetext(s, "tune.ps"), ps = kry_test::readFile(s.path("tune.ps"));
      for (const std::string& p : page) EXPECT_NE(text.find(p), std::string::npos) << p << " not on the page of\n" << tune << text;
      EXPECT_EQ(misalignedBars(ps), 0) << "bar lines out of line on the page of\n" << tune;
      for (const std::string& a : absent) EXPECT_EQ(ps.find(" " + a), std::string::npos) << a << " called in the PostScript of\n" << tune;
      if (options.find("pdf") != std::string::npos) { EXPECT_EQ(s.shell("gs -q -dNODISPLAY -dNOSAFER -c \"(tune.pdf) (r) file runpdfbegin pdfpagecount = quit\"").out, std::to_string(count(ps, "%%Page: ")) + "\n"); }
    }
    options = line.substr(2), tune.clear(), said.clear(), page.clear(), absent.clear();
  }
}

// Every book of the corpus, the example and our reel, each converted whole by kry
// under an option set (with skip, leaving out a tune that can't be placed) and
// typeset by our abctab2ps: no tab staff runs longer or shorter than its melody
// line, each tune starts a page of its own and leaves no system alone on its
// last page, and the tab numbers every tuplet the melody has. (The frets on the page are read
// back from the tunes written by hand above and from data/found.txt.)
class KryAndAbctab2ps : public ::testing::TestWithParam<std::string> {};

// The tuplets of the melody lines kry wrote: "(" and a digit, outside chord
// symbols, annotations and comments.
int melodyTuplets(const std::string& tune) {
  std::istringstream in(tune);
  const std::regex tuplet("\\([0-9]");
  int n = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("[V:M]", 0) != 0) continue;
    line = std::regex_replace(line.substr(0, line.find('%')), std::regex("\"[^\"]*\""), "");
    n += static_cast<int>(std::distance(std::sregex_iterator(line.begin(), line.end(), tuplet), std::sregex_iterator()));
  }
  return n;
}

// The pages that hold one system alone, the last of a tune that began on a
// page before: a page is "%%Page:", a tune starts at "% --- xref", and a
// system's tab staff begins with its TAB mark, "pclef".
int lonePages(const std::string& ps) {
  std::istringstream in(ps);
  std::vector<int> systems;       // per page
  std::vector<std::size_t> first;  // per tune, the page it starts on
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("%%Page: ", 0) == 0) systems.push_back(0);
    else if (!systems.empty() && line.rfind("% --- xref ", 0) == 0) first.push_back(systems.size() - 1);
    else if (!systems.empty() && line.ends_with(" pclef")) ++systems.back();
  }
  int lone = 0;
  for (std::size_t k = 0; k < first.size(); ++k) {
    const std::size_t last = k + 1 < first.size() ? first[k + 1] - 1 : systems.size() - 1;
    lone += last > first[k] && systems[last] == 1;
  }
  return lone;
}

// The tuplet numbers drawn on the tab staff: a rhythm flag called with its
// number, "(3)x y kq8t", or the number alone, "(3)x y kt"; over the arc of
// a hammer-on or pull-off on the top course, "kuq8t" or "kut".
int tabTuplets(const std::string& ps) {
  const std::regex flag("\\([0-9]+\\)[-0-9. ]+ ku?([qr][0-9d]+)?t\n");
  return static_cast<int>(std::distance(std::sregex_iterator(ps.begin(), ps.end(), flag), std::sregex_iterator()));
}

TEST_P(KryAndAbctab2ps, EngraveEveryBookInTime) {
  NEED("abcm2ps", "gs", kKry);
  std::vector<std::string> books{kTests + "/typeset/data/reel-input.abc"};
  for (const std::string& dir : {kTests + "/corpus", kTests + "/../examples"})
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().extension() == ".abc") books.push_back(entry.path().string());
  int kept = 0;
  for (const std::string& book : books) {
    Sandbox s;
    s.useTypesetter(kBin);
    fs::copy_file(book, s.path("book.abc"));
    const RunResult r = s.shell(kKry + " book debug skip " + GetParam()), box = s.shell("gs -q -dSAFER -sDEVICE=bbox -o - book.ps");
    const std::string tune = kry_test::readFile(s.path("TEMP.ABC"));
    const int tunes = count(tune, "\nX:") + count(tune, "\nx:");  // a tune number may be written with a small x
    const std::string want = "wrote book.ps (" + std::to_string(tunes) + " tune";
    kept += tunes;
    EXPECT_NE(r.out.find(want), std::string::npos) << book << "\n" << r.out << r.err;
    EXPECT_EQ(count(r.out + r.err, " runs "), 0) << book << "\n" << r.out << r.err;
    EXPECT_EQ(box.status, 0) << book;
    EXPECT_EQ(count(kry_test::readFile(s.path("book.ps")), "\n% --- xref "), tunes) << book;
    EXPECT_GE(count(box.err, "%%HiResBoundingBox"), tunes) << book;
    const std::string ps = s.read("book.ps");
    // Every bar line and repeat stands at the same place on both staves.
    EXPECT_EQ(misalignedBars(ps), 0) << book;
    // No tune leaves a single system alone on its last page.
    // (But in a tune in several voices written one line a voice, which abcm2ps breaks into systems itself.)
    if (!book.ends_with("voices.abc")) {
      EXPECT_EQ(lonePages(ps), 0) << book;
    }
    // Every tuplet of the melody has its number on the tab staff too.
    EXPECT_EQ(tabTuplets(ps), melodyTuplets(tune)) << book;
  }
  EXPECT_GE(kept, 570) << "a few tunes hold notes out of reach or a second voice";
}

INSTANTIATE_TEST_SUITE_P(OptionSets, KryAndAbctab2ps, ::testing::Values("", "f", "m r -2", "m -2 f", "a4"));

// Tunes in several voices, typeset in time: the jigs book whole, without
// skip (Goat on the Hill is a duet in part C), and the voices book with its
// first voice tabbed and with its second.
TEST(KryAndAbctab2ps, TunesInSeveralVoicesInTime) {
  NEED("abcm2ps", "gs", kKry);
  const struct { const char *book, *options; int tunes; } runs[] = {
      {"jigs.abc", "", 340}, {"voices.abc", "", 8}, {"voices.abc", " voice=1", 8}, {"voices.abc", " voice=2 skip", 6}};
  for (const auto& [book, options, tunes] : runs) {
    Sandbox s;
    s.useTypesetter(kBin);
    fs::copy_file(kTests + "/corpus/" + book, s.path("book.abc"));
    const RunResult r = s.shell(kKry + " book debug" + options);
    const std::string tune = kry_test::readFile(s.path("TEMP.ABC"));
    EXPECT_NE(r.out.find("wrote book.ps (" + std::to_string(tunes) + " tune"), std::string::npos) << book << options;
    EXPECT_EQ(count(r.out + r.err, " runs "), 0) << book << options << "\n" << r.out;
    EXPECT_EQ(count(tune, "\nX:"), tunes) << book << options;
  }
}

}  // namespace
