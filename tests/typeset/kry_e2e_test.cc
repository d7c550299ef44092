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

#define NEED_ALL()                                                               \
  if (!have("abcm2ps") || !have("gs")) GTEST_SKIP() << "abcm2ps or gs missing"; \
  if (!std::filesystem::exists(kKry)) GTEST_SKIP() << "kry not built"

int tunes(const std::string& text) {
  int n = 0;
  for (std::size_t at = 0; (at = text.find("X:", at)) != std::string::npos; ++at) {
    if (at == 0 || text[at - 1] == '\n') ++n;
  }
  return n;
}

// Runs kry on a tune file with the debug option (so TEMP.ABC stays for
// the comparison) and checks the PostScript file it leads to.
void check(const std::string& source, const std::string& options) {
  Scratch s;
  s.run("cp " + quote(source) + " tune.abc");
  // kry asks no question in a fresh directory; the timeout guards the suite.
  const Ran r = s.run("timeout 60 " + quote(kKry) + " tune.abc debug " + options);
  ASSERT_TRUE(s.exists("tune.ps")) << source << "\n" << r.out << r.err;
  ASSERT_TRUE(s.exists("TEMP.ABC"));
  const std::string temp = s.read("TEMP.ABC");
  EXPECT_TRUE(gsrenders(s.path("tune.ps"))) << source;
  EXPECT_EQ(gspages(s.path("tune.ps")), tunes(temp)) << source;
  const auto want = firstbar(temp);
  const auto got = firstfrets(s.path("tune.ps"));
  ASSERT_GE(got.size(), want.size()) << source;
  EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + want.size()), want) << source;
}

TEST(KryAndAbctab2ps, TheReelExample) {
  NEED_ALL();
  check(kData + "/reel-input.abc", "");
}

TEST(KryAndAbctab2ps, TheReelExampleMandolinTransposedNoFlags) {
  NEED_ALL();
  check(kData + "/reel-input.abc", "m r 2");
}

class Corpus : public ::testing::TestWithParam<const char*> {};

TEST_P(Corpus, ConvertsToPostScript) {
  NEED_ALL();
  check(kCorpus + "/" + GetParam(), "");
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
