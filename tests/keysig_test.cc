// Key fields to key indexes: the key table and the reading of K: lines.
#include "convert/keysig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kry {
namespace {

struct KeyCase {
  std::string line;
  int index;
};

TEST(GetKey, FollowsTheKeyTableExactly) {
  const std::vector<std::pair<std::string, int>> rows{
      {"G", 1},  {"Em", 1},  {"D", 2},   {"Bm", 2},  {"A", 3},   {"F#m", 3}, {"E", 4},
      {"C#m", 4}, {"B", 5},   {"G#m", 5}, {"F#", 6},  {"D#m", 6}, {"C#", 7},  {"A#m", 7},
      {"F", 8},  {"Dm", 8},  {"Bb", 9},  {"Gm", 9},  {"Eb", 10}, {"Cm", 10}, {"Ab", 11},
      {"Fm", 11}, {"Db", 12}, {"Bbm", 12}, {"Gb", 13}, {"Ebm", 13}, {"Cb", 14}, {"Abm", 14},
      {"C", 0},  {"Am", 0},  {"G#", 0},  {"g", 0},   {":", 0},   {"", 0},    {"G  ", 1},
  };
  for (const auto& [code, index] : rows) EXPECT_EQ(getkey(code), index) << "key code " << code;
}

TEST(KeyField, ReadsTonicSignAndMinor) {
  const std::vector<KeyCase> cases{
      {"K:G", 1},       {"K:Em", 1},     {"K:F#m", 3},    {"K:F#", 6},     {"K:Bb", 9},
      {"K:Bbm", 12},    {"K:Cb", 14},    {"K:Abm", 14},   {"K:C", 0},      {"K:Am", 0},
      {"K:none", 0},    {"K:", 0},       {"K:   D", 2},   {"K:g", 0},      {"K:bb", 0},
      {"K:G#", 0},      {"K:G#m", 5},    {"K:B", 5},      {"K:Emin", 1},   {"K:Amin", 0},
      {"k:D", 2},       {"K:Bbm", 12},   {"K:Em7", 1},
  };
  for (const KeyCase& c : cases) EXPECT_EQ(getkey(keyCodeOf(c.line)), c.index) << c.line;
}

TEST(KeyField, ModeWordsGiveTheSignatureTheyHave) {
  const std::vector<KeyCase> cases{
      {"K:Dmix", 1},     {"K:Ador", 1},      {"K:Edor", 2},      {"K:Gmaj", 1},
      {"K:G major", 1},  {"K:AMin", 0},      {"K:A minor", 0},   {"K:E minor", 1},
      {"K:Fdor", 10},    {"K:Bloc", 0},      {"K:Gion", 1},      {"K:Eaeo", 1},
      {"K:Ephr", 0},     {"K:Flyd", 0},      {"K:Clyd", 1},      {"K:DMIX", 1},
      {"K:E m", 1},      {"K:F#dor", 4},     {"K:Bbmix", 10},    {"K:C#loc", 2},
  };
  for (const KeyCase& c : cases) EXPECT_EQ(getkey(keyCodeOf(c.line)), c.index) << c.line;
}

TEST(KeyField, UnknownWordsKeepTheOldReading) {
  const std::vector<KeyCase> cases{
      {"K:D mi", 2},          // a blank before the word: major
      {"K:Dmi", 8},           // a lower-case m right after the tonic: D minor
      {"K:G clef=treble", 1}, // a clef is no mode
      {"K:Hp", 0},            // the highland pipes have no row
  };
  for (const KeyCase& c : cases) EXPECT_EQ(getkey(keyCodeOf(c.line)), c.index) << c.line;
}

TEST(KeyField, TonicIsSoughtOnlyUpToColumn80) {
  EXPECT_EQ(getkey(keyCodeOf("K:" + std::string(77, ' ') + "D")), 2);  // column 80
  EXPECT_EQ(getkey(keyCodeOf("K:" + std::string(78, ' ') + "D")), 0);  // column 81
}

}  // namespace
}  // namespace kry
