// Real tunes through whole runs: every tune file of the corpus, whole and
// split one tune per file, with no option, with "f" and with "m -2". Each run
// converts, or stops with one of the conversion's own messages; none crashes.
// The test prints how many tunes convert under each set of options and why
// the others stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <iostream>
#include <map>
#include <thread>

#include "harness.h"

namespace kry_test {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using Files = std::vector<std::string>;

const std::vector<Args> kOptionSets = {{}, {"f"}, {"m", "-2"}};

std::string describe(const Args& options) {
  if (options.empty()) return "no option";
  std::string text;
  for (const std::string& option : options) text += (text.empty() ? "" : " ") + option;
  return "\"" + text + "\"";
}

struct Tune {
  std::string source;  // "jigs.abc X: 12"
  std::string text;
};

std::vector<std::string> corpusFiles() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(corpusDir()))
    if (entry.path().extension() == ".abc") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Splits a tune file at each X: line; lines before the first X: go with the first tune.
std::vector<Tune> splitTunes(const std::string& file) {
  std::vector<Tune> tunes;
  std::string before;
  for (const std::string& line : lines(readFile(corpusDir() + "/" + file))) {
    if (line.rfind("X:", 0) == 0) tunes.push_back({file + " " + line, tunes.empty() ? before : ""});
    if (tunes.empty())
      before += line + "\n";
    else
      tunes.back().text += line + "\n";
  }
  return tunes;
}

struct Outcome {
  bool converted = false;
  std::string reason;   // why it stopped
  std::string problem;  // what is wrong with the run, or ""
};

// The last line of a work file, without its line end.
std::string lastLine(const std::string& text) {
  std::vector<std::string> all = lines(text);
  if (all.empty()) return "";
  std::string last = all.back();
  if (!last.empty() && last.back() == '\r') last.pop_back();
  return last;
}

// A run that stopped: one of the conversion's stops, with the melody line of
// the line that stopped it last in KRY97.ABC.
Outcome judgeStop(const Sandbox& box, const RunResult& result) {
  Outcome outcome;
  if (result.err == "STOP Bad accidental\n" || result.err == "STOP Incomplete chord\n") {
    outcome.reason = result.err.substr(5, result.err.size() - 6);
  } else if (result.err == "STOP  \n") {
    std::vector<std::string> out = lines(result.out);
    const std::string prefix = " Note not available: ";
    if (out.empty() || out.back().rfind(prefix, 0) != 0 || out.back().size() < prefix.size() + 6)
      outcome.problem = "stop with no message: " + result.out;
    else
      outcome.reason = "Note not available:" + out.back().substr(prefix.size() - 1);
  } else {
    outcome.problem = "unknown stop: " + result.err;
  }
  if (box.files() != Files{"KRY97.ABC", "TMPIN.TMP", "tune.abc"})
    outcome.problem += " work files left: " + testing::PrintToString(box.files());
  if (lastLine(box.read("KRY97.ABC")).rfind("[V:M] ", 0) != 0)
    outcome.problem += " KRY97.ABC does not end with the melody line";
  return outcome;
}

// Every melody line is followed by its tab line; with the fix-up pass no line keeps a trailing blank.
std::string checkReceivedTune(const std::string& tune, bool fixedUp) {
  std::vector<std::string> all = lines(tune);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::string& line = all[i];
    if (line.empty() || line.back() != '\r') return "line " + std::to_string(i + 1) + " has no CR LF";
    if (fixedUp && line.size() > 1 && line[line.size() - 2] == ' ')
      return "line " + std::to_string(i + 1) + " keeps a trailing blank";
    bool melody = line.rfind("[V:M] ", 0) == 0;
    bool tab = line.rfind("[V:G] ", 0) == 0;
    bool afterMelody = i > 0 && all[i - 1].rfind("[V:M] ", 0) == 0;
    if (tab != afterMelody) return "line " + std::to_string(i + 1) + " breaks the melody and tab pairs";
    if (melody && i + 1 == all.size()) return "the last melody line has no tab line";
  }
  return "";
}

// A typesetter that does nothing but succeed, made once and never written
// again: the many runs of the split corpus share it, and stay fast.
class QuickTypesetter {
 public:
  QuickTypesetter() {
    home_.write("bin/quick", "#!/bin/sh\nexit 0\n");
    fs::permissions(home_.path("bin/quick"), fs::perms::owner_all);
  }
  std::string path() const { return home_.path("bin/quick"); }

 private:
  Sandbox home_;
};

// Runs one tune file through kry, with the quick typesetter when one is given
// (the tune it is handed is then not kept) or else with the recording fake.
Outcome runTune(const std::string& text, const Args& options, const QuickTypesetter* quick) {
  Sandbox box;
  bool quickTypesetter = quick != nullptr;
  if (quickTypesetter) {
    box.removeTypesetter();
    fs::create_symlink(quick->path(), box.path("bin/abctab2ps"));
  }
  box.write("tune.abc", text);
  Args args{"tune"};
  args.insert(args.end(), options.begin(), options.end());
  RunResult result = box.run(args);

  if (result.status == 1) return judgeStop(box, result);
  Outcome outcome;
  if (result.status != 0) {
    outcome.problem = "exit status " + std::to_string(result.status) + ": " + result.err;
    return outcome;
  }
  outcome.converted = true;
  std::string shown = " abctab2ps temp.abc -1 -O tune" + std::string(options.size() == 2 ? " -t _2" : "");
  std::string tail = "\n TUNE.ABC processed.\n" + shown + "\n\n" + (quickTypesetter ? "" : " fake abctab2ps ran\n");
  if (result.out.size() < tail.size() || result.out.compare(result.out.size() - tail.size(), tail.size(), tail) != 0)
    outcome.problem += "unexpected output: " + result.out;
  if (result.err != "STOP  \n") outcome.problem += " stop line: " + result.err;
  if (box.files() != Files{"tune.abc"}) outcome.problem += " files left: " + testing::PrintToString(box.files());
  if (!quickTypesetter) outcome.problem += checkReceivedTune(box.typesetterTune(), options == Args{"f"});
  return outcome;
}

// Runs `count` jobs on `threads` threads; each job runs in its own directory.
template <typename Job>
void runAll(std::size_t count, unsigned threads, Job job) {
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t)
    pool.emplace_back([&] {
      for (std::size_t i = next++; i < count; i = next++) job(i);
    });
  for (std::thread& thread : pool) thread.join();
}

TEST(Corpus, EveryTuneFileConvertsOrStopsWithItsMessage) {
  std::vector<std::string> files = corpusFiles();
  ASSERT_FALSE(files.empty()) << "no tune files in " << corpusDir();
  std::vector<Outcome> outcomes(files.size() * kOptionSets.size());
  // One at a time: a run started while another thread writes its fake
  // typesetter would hold that script open and keep it from being started.
  runAll(outcomes.size(), 1, [&](std::size_t i) {
    const std::string& file = files[i / kOptionSets.size()];
    outcomes[i] = runTune(readFile(corpusDir() + "/" + file), kOptionSets[i % kOptionSets.size()], nullptr);
  });

  std::cout << "\nWhole tune files of the corpus:\n";
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const std::string& file = files[i / kOptionSets.size()];
    const Args& options = kOptionSets[i % kOptionSets.size()];
    EXPECT_EQ(outcomes[i].problem, "") << file << " with " << describe(options);
    std::cout << "  " << file << " with " << describe(options) << ": "
              << (outcomes[i].converted ? "converts" : "stops: " + outcomes[i].reason) << "\n";
  }
}

TEST(Corpus, EachTuneConvertsOrStopsWithItsMessage) {
  std::vector<Tune> tunes;
  for (const std::string& file : corpusFiles())
    for (Tune& tune : splitTunes(file)) tunes.push_back(std::move(tune));
  ASSERT_GT(tunes.size(), 100U);

  std::vector<Outcome> outcomes(tunes.size() * kOptionSets.size());
  QuickTypesetter quick;
  unsigned threads = std::clamp(std::thread::hardware_concurrency(), 2U, 8U);
  runAll(outcomes.size(), threads, [&](std::size_t i) {
    outcomes[i] = runTune(tunes[i / kOptionSets.size()].text, kOptionSets[i % kOptionSets.size()], &quick);
  });

  std::cout << "\nThe corpus split one tune per file: " << tunes.size() << " tunes.\n";
  for (std::size_t set = 0; set < kOptionSets.size(); ++set) {
    std::size_t converted = 0;
    std::map<std::string, std::vector<std::string>> stops;  // reason -> tunes
    for (std::size_t t = 0; t < tunes.size(); ++t) {
      const Outcome& outcome = outcomes[t * kOptionSets.size() + set];
      EXPECT_EQ(outcome.problem, "") << tunes[t].source << " with " << describe(kOptionSets[set]);
      if (outcome.converted)
        ++converted;
      else
        stops[outcome.reason].push_back(tunes[t].source);
    }
    std::cout << "  With " << describe(kOptionSets[set]) << ": " << converted << " of " << tunes.size()
              << " convert, " << tunes.size() - converted << " stop:\n";
    std::vector<std::pair<std::string, std::vector<std::string>>> byCount(stops.begin(), stops.end());
    std::stable_sort(byCount.begin(), byCount.end(),
                     [](const auto& a, const auto& b) { return a.second.size() > b.second.size(); });
    for (const auto& [reason, where] : byCount) {
      std::cout << "    " << where.size() << " x " << reason << " (";
      for (std::size_t k = 0; k < where.size() && k < 3; ++k) std::cout << (k ? ", " : "") << where[k];
      std::cout << (where.size() > 3 ? ", ..." : "") << ")\n";
    }
  }
}

}  // namespace
}  // namespace kry_test
