// Every book of the corpus, whole, under the option sets players use (the
// guitar, the mandolin, the banjo, the ukulele, the tenor banjo, the bouzouki): each
// converts, leaving out with skip as many tunes as tests/e2e/expected/corpus.txt
// says (those with a note no course reaches, or, with voice=2, in one voice);
// and every tab event sounds the tabbed voice's note (or chord) above it,
// checked by pitch: the fret plus its course's open note (and the capo; the
// frets of a short course, the banjo's fifth string, counted from the main
// nut, past its own) against the note as written, with the key, the
// accidentals of the bar and the transposition.
// Option pos places the notes by the hand: it sounds at least as many events
// whole (every note of the event a course reaches) as the fixed table does.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#include <thread>

#include "convert/keysig.h"
#include "support/sandbox.h"

namespace kry_test {
namespace {

using Words = std::vector<std::string>;
using Pitches = std::multiset<int>;  // an event's: a rest or a note no course plays has none

// The instrument of an option set: each course's open note (1 is E,), course 1 first,
// and where a short course's nut stands (the banjo's fifth string, at the fifth fret).
struct Strings {
  std::vector<int> open;
  int transposition = 0;
  std::vector<int> nut = {};
  // The note a course sounds at a fret: a short course's frets are counted from the main nut.
  int sounds(std::size_t course, int fret) const {
    int short_ = course < nut.size() ? nut[course] : 0;
    return open[course] + (fret == 0 ? 0 : fret - short_);
  }
};

// ---- the melody, read as ABC reads it ----

// 1 for a sharp, -1 for a flat of the key `k` (sharps 1..7, 7 + flats 8..14) on `letter`.
int keyShift(int k, char letter) {
  char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (k >= 1 && k <= 7) return std::string("FCGDAEB").substr(0, static_cast<std::size_t>(k)).find(upper) != std::string::npos;
  if (k >= 8) return -static_cast<int>(std::string("BEADGCF").substr(0, static_cast<std::size_t>(k - 7)).find(upper) != std::string::npos);
  return 0;
}

// The melody's notes and chords, in order, as sounding pitches.
class Melody {
 public:
  explicit Melody(int transposition) : transposition_(transposition) {}
  void key(const std::string& value) {
    key_ = kry::getkey(kry::keyCodeOf("K:" + value));
    voice(value);
  }
  // A K: or V: field's octave=N and transpose=N: the notes sound N octaves, N half
  // steps, above what is written.
  void voice(const std::string& value) {
    std::size_t at = value.find("octave=");
    if (at != std::string::npos) octaves_ = std::atoi(value.c_str() + at + 7);
    at = value.find("transpose=");
    if (at != std::string::npos) halfSteps_ = std::atoi(value.c_str() + at + 10);
  }

  std::vector<Pitches> events(const std::string& line) {
    std::vector<Pitches> out;
    for (std::size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (c == '%') break;
      if (c == '"' || c == '{') {
        i = std::min(line.find(c == '"' ? '"' : '}', i + 1), line.size());
      } else if (c == '!') {
        std::size_t close = line.find('!', i + 1);
        if (close != std::string::npos && line.substr(i, close - i).find_first_of(" |") == std::string::npos) i = close;
      } else if (c == '+') {  // +CE+ is a chord in older tunes, +trill+ a decoration
        std::size_t close = std::min(line.find('+', i + 1), line.size());
        std::string inside = line.substr(i + 1, close - i - 1);
        if (inside.find_first_not_of("^=_ABCDEFGabcdefg,'/0123456789- ") == std::string::npos &&
            inside.find_first_of("ABCDEFGabcdefg") != std::string::npos)
          out.push_back(chord(inside, false));
        i = close;
      } else if (c == '[' && i + 2 < line.size() && std::isalpha(static_cast<unsigned char>(line[i + 1])) && line[i + 2] == ':') {
        std::size_t close = std::min(line.find(']', i), line.size());
        if (line[i + 1] == 'K') key(line.substr(i + 3, close - i - 3));
        i = close;
      } else if (c == '[' && i + 1 < line.size() && line[i + 1] != '|' && !std::isdigit(static_cast<unsigned char>(line[i + 1]))) {
        std::size_t close = std::min(line.find(']', i), line.size());
        out.push_back(chord(line.substr(i + 1, close - i - 1), tiedAt(line, close + 1)));
        i = close;
      } else if (c == '|' || (c == ':' && i + 1 < line.size() && line[i + 1] == ':')) {
        bar_.clear();
      } else if (c == 'z' || c == 'x') {
        out.emplace_back();
      } else if (std::string("^=_ABCDEFGabcdefg").find(c) != std::string::npos) {
        if (std::optional<int> pitch = note(line, i)) out.push_back(Pitches{*pitch});
        if (tiedAt(line, i + 1)) pending_.insert(last_);
        if (depth_ == 0) ties_ = std::move(pending_), pending_.clear();
      }
    }
    return out;
  }

 private:
  // Whether a tie stands at `i`, after a length if one is written there.
  static bool tiedAt(const std::string& line, std::size_t i) {
    i = line.find_first_not_of("0123456789/", i);
    return i != std::string::npos && line[i] == '-';
  }

  // A chord's notes; `tiedWhole` when a tie follows it ([FA]-), which ties every note.
  Pitches chord(const std::string& text, bool tiedWhole) {
    Pitches pitches;
    chordNotes_.clear();
    ++depth_;
    for (const Pitches& note : events(text)) pitches.insert(note.begin(), note.end());
    --depth_;
    if (tiedWhole) pending_.insert(chordNotes_.begin(), chordNotes_.end());
    ties_ = std::move(pending_), pending_.clear();
    return pitches;
  }

  // The note whose accidentals start at i, moving i to its last octave mark.
  std::optional<int> note(const std::string& s, std::size_t& i) {
    int accidental = 0;
    bool written = false;
    for (; i < s.size() && std::string("^=_").find(s[i]) != std::string::npos; ++i) {
      accidental += s[i] == '^' ? 1 : s[i] == '_' ? -1 : 0;
      written = true;
    }
    if (i >= s.size() || std::string("ABCDEFGabcdefg").find(s[i]) == std::string::npos) return std::nullopt;
    char letter = s[i];
    int pitch = std::array<int, 7>{18, 20, 9, 11, 13, 14, 16}[static_cast<std::size_t>(std::toupper(letter) - 'A')] +
                (std::islower(static_cast<unsigned char>(letter)) ? 12 : 0);
    int octave = 0;
    while (i + 1 < s.size() && (s[i + 1] == '\'' || s[i + 1] == ',')) octave += s[++i] == '\'' ? 1 : -1;
    auto key = std::pair(static_cast<char>(std::toupper(letter)), octave + (std::islower(static_cast<unsigned char>(letter)) ? 1 : 0));
    if (written) bar_[key] = accidental;
    // A note tied from one of its letter and octave keeps that one's accidental past the bar line.
    int shift = written                           ? accidental
                : ties_.contains(key)           ? ties_.at(key)
                : bar_.contains(key)            ? bar_.at(key)
                                                : keyShift(key_, letter);
    last_ = {key, shift};
    if (depth_ > 0) chordNotes_.insert(last_);
    return pitch + 12 * (octave + octaves_) + halfSteps_ + shift + transposition_;
  }

  int transposition_;
  int key_ = 0;
  int octaves_ = 0;    // the octave= of the tune's key or voice
  int halfSteps_ = 0;  // its transpose=
  // Notes by letter and octave, with their accidentals: the note last read; those tied to
  // the event being read (pending) and those tied to it from the event before; a chord's.
  std::pair<std::pair<char, int>, int> last_;
  std::map<std::pair<char, int>, int> pending_, ties_, chordNotes_;
  int depth_ = 0;  // inside a chord
  std::map<std::pair<char, int>, int> bar_;  // the accidentals written in the bar, by letter and octave
};

// ---- the tab line ----

std::vector<Pitches> tabEvents(const std::string& line, const Strings& strings) {
  const std::string frets = "abcdefghiklmnopq";
  auto pitchesOf = [&](const std::string& courses) {
    Pitches p;
    for (std::size_t k = 0; k < courses.size() && k < strings.open.size(); ++k)
      if (courses[k] != ',') p.insert(strings.sounds(k, static_cast<int>(frets.find(courses[k]))));
    return p;
  };
  std::vector<Pitches> out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '!' && line.find('!', i + 1) != std::string::npos) {  // a mark the tab draws, such as !slide!
      i = line.find('!', i + 1);
    } else if (c == '[' && i + 2 < line.size() && std::isupper(static_cast<unsigned char>(line[i + 1])) && line[i + 2] == ':') {
      i = std::min(line.find(']', i), line.size());
    } else if (c == '[' && i + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[i + 1]))) {
      // [1,3 and [1-3 are endings: a comma or a dash with a digit after it is the list's
      for (++i; i + 1 < line.size() && (std::isdigit(static_cast<unsigned char>(line[i + 1])) ||
                                        (std::string(",-").find(line[i + 1]) != std::string::npos && i + 2 < line.size() &&
                                         std::isdigit(static_cast<unsigned char>(line[i + 2]))));)
        ++i;
    } else if (c == '[' && i + 1 < line.size() && line[i + 1] != '|') {
      std::size_t close = std::min(line.find(']', i), line.size());
      std::string courses;
      for (char k : line.substr(i + 1, close - i - 1))
        if (k == ',' || frets.find(k) != std::string::npos) courses += k;
      out.push_back(pitchesOf(courses));
      i = close;
    } else if (c == ',' || frets.find(c) != std::string::npos) {
      std::size_t end = i;
      while (end < line.size() && (line[end] == ',' || frets.find(line[end]) != std::string::npos)) ++end;
      out.push_back(pitchesOf(line.substr(i, end - i)));
      i = end - 1;
    } else if (c == 'x' || c == 'z') {
      out.emplace_back();
    }
  }
  return out;
}

// What is wrong with the tab of a converted book (TEMP.ABC), if anything;
// `whole` counts the events that sound every melody note a course reaches,
// `short` those that leave one out.
std::string checkPitches(const std::string& converted, const Strings& strings, long& whole, long& shortOf) {
  Melody melody(strings.transposition);
  std::vector<Pitches> wanted;
  std::string tune, problems, melodyLine;
  const int lowest = *std::min_element(strings.open.begin(), strings.open.end());
  bool tabbed = true;  // the lines go on in the tabbed voice, M, or its tab, G
  for (const std::string& raw : lines(converted)) {
    std::string line = raw.substr(0, raw.find('\r'));
    const bool tuneStart = line.rfind("X:", 0) == 0 || line.rfind("x:", 0) == 0;
    if (tuneStart) tune = line, tabbed = true;  // the key and the bar go on, as kry carries them
    if (tuneStart) melody.voice("octave=0 transpose=0");
    if (line.rfind("V:", 0) == 0 || line.rfind("[V:", 0) == 0) {
      std::size_t from = line[0] == '[' ? 3 : 2;
      std::string id = line.substr(from, line.find_first_of(" ]", from) - from);
      tabbed = id == "M" || id == "G";
      if (tabbed && line[0] == 'V') melody.voice(line.substr(2, line.find('%') - 2));  // not its comment's octave=
    }
    if (line.rfind("K:", 0) == 0 && tabbed) melody.key(line.substr(2));  // another voice's key is its own
    if (line.rfind("[V:M] ", 0) == 0) wanted = melody.events(line.substr(6)), melodyLine = line;
    if (line.rfind("[V:G] ", 0) != 0) continue;
    std::vector<Pitches> got = tabEvents(line.substr(6), strings);
    std::string wrong = got.size() == wanted.size() ? "" : "events " + std::to_string(got.size()) + " for " + std::to_string(wanted.size());
    for (std::size_t k = 0; wrong.empty() && k < got.size(); ++k) {
      Pitches reached;  // the melody's notes a course reaches: a chord may leave some out, never change one
      for (int p : wanted[k]) if (p >= lowest) reached.insert(p);
      (got[k] == reached ? whole : shortOf) += 1;
      if (!std::includes(reached.begin(), reached.end(), got[k].begin(), got[k].end()) ||
          (got[k].size() != reached.size() && wanted[k].size() == 1))
        wrong = "event " + std::to_string(k + 1) + ": " + testing::PrintToString(got[k]) + " for " + testing::PrintToString(wanted[k]);
    }
    if (!wrong.empty() && problems.size() < 2000) problems += tune + ": " + wrong + ":\n" + melodyLine + "\n" + line + "\n";
  }
  return problems;
}

// One book converted under one option set (skip on): what the run says, what
// is wrong with its tab, and how many events sound whole.
struct BookRun {
  std::string said, problems;
  long whole = 0, shortOf = 0;
};
BookRun convertBook(const std::string& book, const Words& options, const Strings& strings) {
  Sandbox box;
  box.useTypesetter("/bin/true");
  box.write("book.abc", readFile(book));
  Words args{"book", "debug", "skip"};
  args.insert(args.end(), options.begin(), options.end());
  RunResult r = box.run(args);
  std::string converted = box.read("TEMP.ABC"), what = fs::path(book).filename().string() + " [";
  for (const std::string& option : options) what += option + (&option == &options.back() ? "" : " ");
  std::size_t tunes = 0;
  for (const std::string& line : lines(converted)) tunes += line.rfind("X:", 0) == 0 || line.rfind("x:", 0) == 0 ? 1 : 0;
  BookRun run;
  run.said = what + "]: " + std::to_string(tunes) + " tunes converted; " + r.err.substr(0, r.err.find_last_not_of(" \n") + 1);
  std::string wrong = checkPitches(converted, strings, run.whole, run.shortOf);
  run.problems = wrong.empty() ? "" : what + "]: " + wrong;
  return run;
}

const std::vector<int> kGuitar{25, 20, 16, 11, 6, 1}, kMandolin{25, 18, 11, 4};
// The 5-string banjo (g D G B d, its fifth string short), the ukulele (g C E A, at pitch),
// the tenor banjo (written as the mandolin) and the bouzouki (G D A D, written an octave up).
const Strings kBanjo{{23, 20, 16, 11, 28}, 0, {0, 0, 0, 0, 5}}, kUke{{18, 13, 9, 16}}, kTenorBanjo{kMandolin},
    kBouzouki{{23, 18, 11, 4}};

// Every book under every option set, on four threads.
std::vector<BookRun> convertAll(const std::vector<std::string>& books, const std::vector<std::pair<Words, Strings>>& optionSets) {
  std::vector<BookRun> runs(books.size() * optionSets.size());
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i = next++; i < runs.size(); i = next++) {
      const auto& [options, strings] = optionSets[i % optionSets.size()];
      runs[i] = convertBook(books[i / optionSets.size()], options, strings);
    }
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < 4; ++t) pool.emplace_back(work);
  for (std::thread& thread : pool) thread.join();
  return runs;
}

// Of each pair of option sets that differ by pos alone (the set without it
// first, at `plain`, the set with it at `plain + 1`): the events each sounds
// whole and those that leave a note out, per book; pos sounds no fewer
// whole and leaves no more short.
std::string comparePos(const std::vector<std::string>& books, const std::vector<BookRun>& runs, std::size_t sets,
                       const std::vector<std::size_t>& plain) {
  std::string table;
  for (std::size_t b = 0; b < books.size(); ++b) {
    for (std::size_t k : plain) {
      const BookRun &without = runs[b * sets + k], &with = runs[b * sets + k + 1];
      table += with.said.substr(0, with.said.find(':')) + ": events whole " + std::to_string(with.whole) + ", short " +
               std::to_string(with.shortOf) + "; without pos " + std::to_string(without.whole) + ", short " +
               std::to_string(without.shortOf) + "\n";
      EXPECT_GE(with.whole, without.whole) << with.said;
      EXPECT_LE(with.shortOf, without.shortOf) << with.said;
    }
  }
  return table;
}

TEST(Corpus, EveryBookConvertsAndEveryTabEventSoundsItsMelody) {
  const std::vector<int> capo2{27, 22, 18, 13, 8, 3}, dadgad{23, 18, 16, 11, 6, -1};
  const std::vector<std::pair<Words, Strings>> optionSets = {
      {{}, {kGuitar}}, {{"pos"}, {kGuitar}}, {{"f"}, {kGuitar}}, {{"capo=2"}, {capo2}}, {{"m"}, {kMandolin}},
      {{"m", "-2"}, {kMandolin, -2}}, {{"m", "-2", "pos"}, {kMandolin, -2}}, {{"dadgad", "pos"}, {dadgad}},
      {{"5"}, {kGuitar, 5}}, {{"banjo"}, kBanjo}, {{"banjo", "pos"}, kBanjo}, {{"uke"}, kUke}, {{"uke", "pos"}, kUke},
      {{"tenorbanjo"}, kTenorBanjo}, {{"tenorbanjo", "pos"}, kTenorBanjo}, {{"bouzouki"}, kBouzouki},
      {{"bouzouki", "pos"}, kBouzouki}, {{"voice=1"}, {kGuitar}}, {{"voice=2"}, {kGuitar}}};
  std::vector<std::string> books;
  for (const auto& entry : fs::directory_iterator(sourceDir() + "/tests/corpus"))
    if (entry.path().extension() == ".abc") books.push_back(entry.path().string());
  std::sort(books.begin(), books.end());
  ASSERT_EQ(books.size(), 10U) << "the corpus in tests/corpus is missing";
  std::vector<BookRun> runs = convertAll(books, optionSets);
  std::string got;
  for (const BookRun& run : runs) {
    EXPECT_EQ(run.problems, "");
    got += run.said + "\n";
  }
  EXPECT_EQ(got, readFile(sourceDir() + "/tests/e2e/expected/corpus.txt"));  // how many tunes each run leaves out
  std::cout << comparePos(books, runs, optionSets.size(), {0, 5, 9, 11, 13, 15});
}

// The same comparison over other collections, to measure pos on books not
// kept here: the ABC files named in KRY_MORE_BOOKS, separated by ":".
TEST(Corpus, PosSoundsAsManyEventsInOtherBooks) {
  const char* more = std::getenv("KRY_MORE_BOOKS");
  if (more == nullptr) GTEST_SKIP() << "no KRY_MORE_BOOKS";
  std::vector<std::string> books;
  std::istringstream names(more);
  for (std::string name; std::getline(names, name, ':');)
    if (!name.empty()) books.push_back(name);
  const std::vector<std::pair<Words, Strings>> optionSets = {
      {{}, {kGuitar}}, {{"pos"}, {kGuitar}}, {{"m", "-2"}, {kMandolin, -2}}, {{"m", "-2", "pos"}, {kMandolin, -2}}};
  std::vector<BookRun> runs = convertAll(books, optionSets);
  for (const BookRun& run : runs) EXPECT_EQ(run.problems, "");
  std::cout << comparePos(books, runs, optionSets.size(), {0, 2});
}

}  // namespace
}  // namespace kry_test
