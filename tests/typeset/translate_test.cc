#include "typeset/translate.h"

#include <gtest/gtest.h>

namespace typeset {
namespace {

TEST(TabLine, FretsOnTheRightLines) {
  const struct {
    const Layout* layout;
    const char* body;
    const char* abc;
  } rows[] = {
      // guitar: courses 1..6 on a f d B G E
      {&guitar(), " a1", "[V:G] !kq8!!invisible![!head-kf0!a]1"},
      {&guitar(), " ,b1", "[V:G] !kq8!!invisible![!head-kf1!f]1"},
      {&guitar(), " ,,c1", "[V:G] !kq8!!invisible![!head-kf2!d]1"},
      {&guitar(), " ,,,d1", "[V:G] !kq8!!invisible![!head-kf3!B]1"},
      {&guitar(), " ,,,,e1", "[V:G] !kq8!!invisible![!head-kf4!G]1"},
      {&guitar(), " ,,,,,l1", "[V:G] !kq8!!invisible![!head-kf10!E]1"},
      {&guitar(), " ,,,,,k1", "[V:G] !kq8!!invisible![!head-kf9!E]1"},
      // mandolin: courses 1..4 on f d B G
      {&mandolin(), " i1", "[V:G] !kq8!!invisible![!head-kf8!f]1"},
      {&mandolin(), " ,,,a1", "[V:G] !kq8!!invisible![!head-kf0!G]1"},
  };
  for (const auto& r : rows) {
    TabState st;
    st.layout = r.layout;
    EXPECT_EQ(tabline(r.body, st).abc, r.abc) << r.body;
  }
}

TEST(TabLine, FretsBeyondTheCoursesAreLeftOut) {
  TabState st;
  st.layout = &mandolin();
  const TabLine tl = tabline(" ,,,,a1", st);
  EXPECT_EQ(tl.abc, "[V:G] !kq8!x1");
  EXPECT_EQ(tl.dropped, "a fret on course 5");
}

TEST(TabLine, LengthsAreInherited) {
  const struct {
    const char* body;
    const char* abc;
  } rows[] = {
      {" a2 a a1 a", "[V:G] !kq4!!invisible![!head-kf0!a]2 !invisible![!head-kf0!a]2 "
                     "!kq8!!invisible![!head-kf0!a]1 !invisible![!head-kf0!a]1"},
      {" a", "[V:G] !invisible![!head-kf0!a]1"},  // the first event of a tune: 1
      {" a/ b", "[V:G] !kq16!!invisible![!head-kf0!a]1/2 !invisible![!head-kf1!a]1/2"},
  };
  for (const auto& r : rows) {
    TabState st;
    EXPECT_EQ(tabline(r.body, st).abc, r.abc) << r.body;
  }
}

TEST(TabLine, LengthsCarryAcrossLines) {
  TabState st;
  tabline(" a3 b", st);
  EXPECT_EQ(tabline(" c |", st).abc, "[V:G] !invisible![!head-kf2!a]3 |");
  EXPECT_EQ(tabline(" d2 |", st).abc, "[V:G] !kq4!!invisible![!head-kf3!a]2 |");
  EXPECT_EQ(tabline(" e", st).abc, "[V:G] !invisible![!head-kf4!a]2");
}

TEST(TabLine, FlagsOnlyOverExplicitLengthsAndOnlyWhenAsked) {
  TabState modern;
  EXPECT_EQ(tabline(" a2 b", modern).abc,
            "[V:G] !kq4!!invisible![!head-kf0!a]2 !invisible![!head-kf1!a]2");
  TabState none;
  none.flags = false;
  EXPECT_EQ(tabline(" a2 b", none).abc,
            "[V:G] !invisible![!head-kf0!a]2 !invisible![!head-kf1!a]2");
}

TEST(TabLine, Rests) {
  const struct {
    bool flags;
    const char* body;
    const char* abc;
  } rows[] = {
      {true, " z2 z", "[V:G] !kr4!x2 x2"},    // a rest sign only with a length
      {false, " z2 z", "[V:G] x2 x2"},
      {true, " a2 z3", "[V:G] !kq4!!invisible![!head-kf0!a]2 !kr4d!x3"},
  };
  for (const auto& r : rows) {
    TabState st;
    st.flags = r.flags;
    EXPECT_EQ(tabline(r.body, st).abc, r.abc) << r.body;
  }
}

TEST(TabLine, Chords) {
  const struct {
    const char* body;
    const char* abc;
  } rows[] = {
      {" [,aaa2]", "[V:G] !kq4!!invisible![!head-kf0!f!head-kf0!d!head-kf0!B]2"},
      {" [dcaaad]", "[V:G] !invisible![!head-kf3!a!head-kf2!f!head-kf0!d!head-kf0!B"
                    "!head-kf0!G!head-kf3!E]1"},
      // "[CEG]2": the chord's own length times the one after it; the next
      // event still takes the chord's own length
      {" [,aaa] 2 ,b", "[V:G] !kq4!!invisible![!head-kf0!f!head-kf0!d!head-kf0!B]2 "
                       "!invisible![!head-kf1!f]1"},
  };
  for (const auto& r : rows) {
    TabState st;
    EXPECT_EQ(tabline(r.body, st).abc, r.abc) << r.body;
  }
}

TEST(TabLine, BarsRepeatsAndContinuation) {
  const struct {
    const char* body;
    const char* abc;
  } rows[] = {
      {" |:a :| [|a || a |]", "[V:G] |: !invisible![!head-kf0!a]1 :| [| "
                              "!invisible![!head-kf0!a]1 || !invisible![!head-kf0!a]1 |]"},
      {" ::a |1 a :|2 a", "[V:G] :: !invisible![!head-kf0!a]1 | !invisible![!head-kf0!a]1 :| "
                          "!invisible![!head-kf0!a]1"},
      {" a |\\", "[V:G] !invisible![!head-kf0!a]1 | \\"},
  };
  for (const auto& r : rows) {
    TabState st;
    st.flags = false;
    EXPECT_EQ(tabline(r.body, st).abc, r.abc) << r.body;
  }
}

TEST(TabLine, BrokenRhythmAndTriplets) {
  TabState st;
  st.flags = false;
  EXPECT_EQ(tabline(" a >b a2<b", st).abc,
            "[V:G] !invisible![!head-kf0!a]3/2 !invisible![!head-kf1!a]1/2 "
            "!invisible![!head-kf0!a]1 !invisible![!head-kf1!a]3");
  TabState t;
  t.flags = false;
  EXPECT_EQ(tabline(" (3a b c", t).abc,
            "[V:G] [I:tuplets 1 0 2] (3!invisible![!head-kf0!a]1 !invisible![!head-kf1!a]1 "
            "!invisible![!head-kf2!a]1 [I:tuplets 0 0 0]");
}

TEST(TabLine, UnknownContentIsLeftOut) {
  TabState st;
  st.flags = false;
  const TabLine tl = tabline(" !trill!a & b", st);
  EXPECT_EQ(tl.abc, "[V:G] !invisible![!head-kf0!a]1 !invisible![!head-kf1!a]1");
  EXPECT_EQ(tl.dropped, "!trill! &");
}

// The whole tune as kry writes it.
const char* const kReel =
    "\r\nX:1\r\nT:Reel\r\nM:4/4\r\nL:1/8\r\nP: Capo 3\r\nK:G\r\n%%pageheight 11in\r\n"
    "%%botmargin 0.50in\r\nV:M clef=treble\r\n%\r\n%\r\nV:G clef=guitartab\r\n"
    "%%staffsep 2cm\r\n%%tabrhstyle modern\r\n%\r\n"
    "[V:M] |:G2 AB [D2G2B2] ~c|\r\n[V:G] |:,,a2  ,,c1 ,a  [,aaa2]  ,b1 |\r\nw:la la\r\n";

bool has(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(Translate, HeaderAndVoices) {
  Settings s;
  s.inputname = "TEMP.ABC";
  const Translation tr = translate(kReel, s);
  EXPECT_EQ(tr.tunes, 1);
  EXPECT_TRUE(has(tr.abc, "%%pagewidth 8.5in"));
  EXPECT_TRUE(has(tr.abc, "%%pageheight 11in"));
  EXPECT_TRUE(has(tr.abc, "%%botmargin 0.50in"));
  EXPECT_TRUE(has(tr.abc, "%%staffsep 2cm"));
  EXPECT_TRUE(has(tr.abc, "P: Capo 3"));
  EXPECT_TRUE(has(tr.abc, "V:M clef=treble"));
  EXPECT_TRUE(has(tr.abc, "V:G clef=perc3 stafflines=6 staffscale=1.3"));
  EXPECT_TRUE(has(tr.abc, "K:none"));
  EXPECT_TRUE(has(tr.abc, "[V:M] |:G2 AB [D2G2B2] ~c|"));
  EXPECT_EQ(tr.abc.find("tabrhstyle"), std::string::npos);
  EXPECT_EQ(tr.abc.find("%%transpose"), std::string::npos);
  EXPECT_TRUE(tr.warnings.empty());
  // lyrics go under the melody line
  EXPECT_LT(tr.abc.find("w:la la"), tr.abc.find("[V:G] |:"));
  EXPECT_GT(tr.abc.find("w:la la"), tr.abc.find("[V:M] |:"));
}

TEST(Translate, A4WithoutPageHeight) {
  const Translation tr = translate("X:1\nK:C\nV:G clef=spanish4tab\n", Settings{});
  EXPECT_TRUE(has(tr.abc, "%%pagewidth 21cm"));
  EXPECT_TRUE(has(tr.abc, "%%pageheight 29.7cm"));
  EXPECT_TRUE(has(tr.abc, "V:G clef=perc2 stafflines=4 staffscale=1.3"));
}

TEST(Translate, TransposesTheMelodyVoiceOnly) {
  Settings s;
  s.transpose = -3;
  const Translation tr = translate(kReel, s);
  EXPECT_TRUE(has(tr.abc, "V:M clef=treble\n%%transpose -3"));
  EXPECT_EQ(tr.abc.find("%%transpose", tr.abc.find("V:G clef")), std::string::npos);
}

TEST(Translate, ScaleFromTheBaseSize) {
  Settings s;
  s.scale = 0.8;
  EXPECT_TRUE(has(translate(kReel, s).abc, "%%scale 0.600"));
}

TEST(Translate, RhythmStyleNoneAndLengthsResetPerTune) {
  const Translation tr = translate(
      "X:1\nL:1/8\nK:C\nV:G clef=guitartab\n%%tabrhstyle none\n[V:G] a2\n"
      "X:2\nL:1/8\nK:C\nV:G clef=guitartab\n%%tabrhstyle modern\n[V:G] a\n",
      Settings{});
  EXPECT_TRUE(has(tr.abc, "[V:G] !invisible![!head-kf0!a]2"));
  EXPECT_TRUE(has(tr.abc, "[V:G] !invisible![!head-kf0!a]1"));  // not 2: a new tune
  EXPECT_EQ(tr.tunes, 2);
}

TEST(Translate, WarningNamesTheLine) {
  Settings s;
  s.inputname = "TEMP.ABC";
  const Translation tr = translate("X:1\nK:C\nV:G clef=guitartab\n[V:G] a & b\n", s);
  ASSERT_EQ(tr.warnings.size(), 1u);
  EXPECT_EQ(tr.warnings[0], "TEMP.ABC line 4: left out of the tab staff: &  (in: [V:G] a & b)");
}

TEST(Translate, OriginMapsOutputLinesToInputLines) {
  const Translation tr = translate("X:1\nK:C\n[V:G] a\n", Settings{});
  ASSERT_GE(tr.origin.size(), 3u);
  EXPECT_EQ(tr.origin[tr.origin.size() - 1], 3);
  EXPECT_EQ(tr.origin[tr.origin.size() - 3], 1);
  EXPECT_EQ(tr.origin[0], 0);
}

}  // namespace
}  // namespace typeset
