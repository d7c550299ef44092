#include "typeset/tabcode.h"

#include <gtest/gtest.h>

namespace typeset {
namespace {

TEST(FretLetters, EachLetterIsItsFret) {
  const struct {
    char letter;
    int fret;
  } rows[] = {{'a', 0}, {'b', 1}, {'c', 2}, {'d', 3}, {'e', 4}, {'f', 5},
              {'g', 6}, {'h', 7}, {'i', 8}, {'k', 9}, {'l', 10}};
  for (const auto& r : rows) {
    ASSERT_TRUE(fretno(r.letter).has_value()) << r.letter;
    EXPECT_EQ(*fretno(r.letter), r.fret) << r.letter;
  }
}

TEST(FretLetters, NoJAndNothingElse) {
  for (char c : {'j', 'm', 'z', 'A', ',', '1', ' '}) EXPECT_FALSE(fretno(c).has_value()) << c;
  EXPECT_TRUE(iscourse(','));
  EXPECT_FALSE(iscourse('z'));
}

TEST(Layouts, CourseOneIsTheTopLine) {
  EXPECT_EQ(guitar().courses, 6);
  EXPECT_STREQ(guitar().pitch[0], "a");
  EXPECT_STREQ(guitar().pitch[5], "E");
  EXPECT_EQ(mandolin().courses, 4);
  EXPECT_STREQ(mandolin().pitch[0], "f");
  EXPECT_STREQ(mandolin().pitch[3], "G");
  EXPECT_EQ(layout("guitartab"), &guitar());
  EXPECT_EQ(layout("spanish4tab"), &mandolin());
  EXPECT_EQ(layout("banjotab"), nullptr);
}

TEST(Lengths, ReadAsAbcWritesThem) {
  const struct {
    const char* text;
    long num, den;
  } rows[] = {{"1", 1, 1}, {"2", 2, 1}, {"12", 12, 1}, {"3/2", 3, 2}, {"/", 1, 2},
              {"//", 1, 4}, {"/4", 1, 4}, {"3/", 3, 2}, {"6/4", 3, 2}};
  for (const auto& r : rows) {
    const auto l = lread(r.text);
    ASSERT_TRUE(l.has_value()) << r.text;
    EXPECT_EQ(l->num, r.num) << r.text;
    EXPECT_EQ(l->den, r.den) << r.text;
  }
  for (const char* bad : {"", "0", "2/0", "a", "2/3/"}) EXPECT_FALSE(lread(bad).has_value()) << bad;
  EXPECT_EQ(ltext({3, 2}), "3/2");
  EXPECT_EQ(ltext({4, 2}), "2");
}

TEST(Flags, NoteValuesFromLengthAndUnit) {
  const struct {
    Length length, unit;
    const char* kind;
  } rows[] = {
      {{1, 1}, {1, 8}, "8"},  {{2, 1}, {1, 8}, "4"},   {{3, 1}, {1, 8}, "4d"},
      {{3, 2}, {1, 8}, "8d"}, {{1, 2}, {1, 8}, "16"},  {{8, 1}, {1, 8}, "1"},
      {{4, 1}, {1, 8}, "2"},  {{6, 1}, {1, 8}, "2d"},  {{1, 1}, {1, 4}, "4"},
      {{7, 4}, {1, 4}, "4dd"}, {{1, 1}, {1, 16}, "16"},
  };
  for (const auto& r : rows) {
    const auto kind = flagkind(r.length, r.unit);
    ASSERT_TRUE(kind.has_value()) << ltext(r.length);
    EXPECT_EQ(*kind, r.kind) << ltext(r.length);
  }
  EXPECT_FALSE(flagkind({5, 1}, {1, 8}).has_value());  // five eighths: no single note
}

}  // namespace
}  // namespace typeset
