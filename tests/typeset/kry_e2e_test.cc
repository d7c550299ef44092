// kry and our abctab2ps together: kry writes TEMP.ABC and runs abctab2ps,
// which it finds first on PATH.
#include <gtest/gtest.h>

#include <filesystem>

#include "harness.h"

namespace e2e {
namespace {

const std::string kKry = KRY_BINARY;
const std::string kData = std::string(TYPESET_TEST_DIR) + "/data";
const std::string kCorpus = TYPESET_CORPUS_DIR;
const std::string kExamples = TYPESET_EXAMPLES_DIR;

#define NEED_ALL()                                                               \
  if (!have("abcm2ps") || !have("gs")) GTEST_FAIL() << "abcm2ps or gs (Ghostscript) is missing: scripts/setup.sh --tests installs them"; \
  if (!std::filesystem::exists(kKry)) GTEST_FAIL() << "kry is not built: " << kKry

int tunes(const std::string& text) {
  int n = 0;
  for (std::size_t at = 0; (at = text.find("X:", at)) != std::string::npos; ++at) {
    if (at == 0 || text[at - 1] == '\n') ++n;
  }
  return n;
}

// Pages on which abcm2ps starts a tune; a tune too long for one page
// goes on over the next, which starts none.
int tunepages(const std::string& ps) {
  int n = 0;
  for (std::size_t at = 0; (at = ps.find("\n% --- xref ", at)) != std::string::npos; ++at) ++n;
  return n;
}

// Runs kry on a tune file with the debug option (so TEMP.ABC stays for
// the comparison) and checks the PostScript file it leads to.
void check(const std::string& text, const std::string& options, const std::string& what) {
  Scratch s;
  s.write("tune.abc", text);
  // kry asks no question in a fresh directory; the timeout guards the suite.
  const Ran r = s.run("timeout 60 " + quote(kKry) + " tune.abc debug " + options);
  ASSERT_TRUE(s.exists("tune.ps")) << what << "\n" << r.out << r.err;
  ASSERT_TRUE(s.exists("TEMP.ABC"));
  const std::string temp = s.read("TEMP.ABC");
  const std::string ps = s.read("tune.ps");
  EXPECT_TRUE(gsrenders(s.path("tune.ps"))) << what;
  EXPECT_EQ(tunepages(ps), tunes(temp)) << what;
  EXPECT_GE(gspages(s.path("tune.ps")), tunes(temp)) << what;
  const auto want = firstbar(temp);
  const auto got = firstfrets(s.path("tune.ps"));
  ASSERT_FALSE(want.empty()) << what;
  ASSERT_GE(got.size(), want.size()) << what;
  EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + want.size()), want) << what;
}

std::string slurp(const std::string& path) {
  Scratch s;
  return s.run("cat " + quote(path)).out;
}

// The tunes of a file, each from its X: line to the next.
std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> out;
  std::size_t at = text.rfind("X:", 0) == 0 ? 0 : text.find("\nX:");
  while (at != std::string::npos) {
    if (text[at] == '\n') ++at;
    const auto next = text.find("\nX:", at);
    out.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next + 1 - at));
    at = next;
  }
  return out;
}

// The first few tunes of a corpus file that kry converts (some reach
// notes no guitar course has, and kry stops on them), found with a
// typesetter that does nothing.
std::string convertible(const std::string& file, std::size_t limit) {
  Scratch s;
  s.run("mkdir stub && printf '#!/bin/sh\\nexit 0\\n' > stub/abctab2ps && chmod +x stub/abctab2ps");
  std::string kept;
  std::size_t n = 0;
  for (const std::string& tune : split(slurp(file))) {
    if (n == limit) break;
    s.write("tune.abc", tune);
    s.run("rm -f TEMP.ABC; PATH=stub:\"$PATH\" timeout 20 " + quote(kKry) + " tune.abc debug");
    if (s.exists("TEMP.ABC")) {
      kept += tune + "\n";
      ++n;
    }
  }
  return kept;
}

TEST(KryAndAbctab2ps, TheReelExample) {
  NEED_ALL();
  check(slurp(kData + "/reel-input.abc"), "", "reel");
}

TEST(KryAndAbctab2ps, TheReelExampleMandolinTransposedNoFlags) {
  NEED_ALL();
  check(slurp(kData + "/reel-input.abc"), "m r 2", "reel, mandolin");
}

TEST(KryAndAbctab2ps, TheExampleTune) {
  NEED_ALL();
  check(slurp(kExamples + "/leaving-the-harbour.abc"), "", "leaving the harbour");
}

class Corpus : public ::testing::TestWithParam<const char*> {};

TEST_P(Corpus, ConvertsToPostScript) {
  NEED_ALL();
  const std::string tunes = convertible(kCorpus + "/" + GetParam(), 6);
  ASSERT_FALSE(tunes.empty()) << "no tune of " << GetParam() << " converts";
  check(tunes, "", GetParam());
}

INSTANTIATE_TEST_SUITE_P(Tunes, Corpus,
                         ::testing::Values("jigs.abc", "hpps.abc", "morris.abc", "slip.abc",
                                           "waltzes.abc", "xmas.abc", "ashover.abc",
                                           "playford.abc"),
                         [](const auto& info) {
                           std::string n = info.param;
                           return n.substr(0, n.find('.'));
                         });

}  // namespace
}  // namespace e2e
