// The conversion pass: which lines are copied, dropped and answered, and the
// block of directives and voice definitions after each tune's first key field.
#include "convert/convert.h"

#include <gtest/gtest.h>

#include <sstream>

#include "fake_lines.h"
#include "run/stop.h"

namespace kry {
namespace {

using Lines = std::vector<std::string>;

Lines convertLines(const Lines& in, const ConvertSettings& settings = {}) {
  kry_test::StringLines source(in);
  kry_test::CollectLines sink;
  std::ostringstream messages;
  convert(source, sink, settings, messages);
  return sink.lines;
}

const Lines kBlock{"%%pageheight 11in", "V:M clef=treble", "%", "%", "V:G clef=guitartab",
                   "%%staffsep 2cm", "%%tabrhstyle modern", "%"};

Lines concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(Conversion, HeaderOfOneTune) {
  Lines out = convertLines({"X:1", "T:Reel", "F:reel.abc", "M:4/4", "L:1/8", "K:G", "B"});
  EXPECT_EQ(out, concat({{"", "X:1", "T:Reel", "M:4/4", "L:1/8", "K:G"}, kBlock, {"[V:M] B", "[V:G] ,a"}}));
}

TEST(Conversion, LinesAreTrimmedAndBlankLinesDropped) {
  Lines out = convertLines({"   T:Title   ", "", "    ", "% a comment  ", "%%directive", "  B  ", "f:x", "x:2"});
  EXPECT_EQ(out, (Lines{"T:Title", "% a comment", "%%directive", "[V:M] B", "[V:G] ,a", "", "x:2"}));
}

TEST(Conversion, TabCharacterIsNoBlank) {
  Lines out = convertLines({"\tB"});
  EXPECT_EQ(out[0], "[V:M] \tB");
}

TEST(Conversion, KeyChangeInsideATune) {
  Lines out = convertLines({"X:1", "K:G", "F", "k:D", "C"});
  EXPECT_EQ(out, concat({{"", "X:1", "K:G"}, kBlock,
                         {"[V:M] F", "[V:G] ,,,e", "V:M clef=treble", "k:D", "[V:M] C", "[V:G] ,,,,e"}}));
}

TEST(Conversion, EachTuneGetsItsOwnBlockAndLengths) {
  Lines out = convertLines({"X:1", "K:G", "B2 B", "X:2", "K:G", "B2 B"});
  Lines tune = concat({{"K:G"}, kBlock, {"[V:M] B2 B", "[V:G] ,a2  ,a"}});
  EXPECT_EQ(out, concat({{"", "X:1"}, tune, {"", "X:2"}, tune}));
}

TEST(Conversion, KeyIndexIsZeroBeforeTheFirstKeyFieldAndKeptAcrossTunes) {
  Lines out = convertLines({"F", "X:1", "K:G", "X:2", "F", "K:C", "F"});
  EXPECT_EQ(out[1], "[V:G] ,,,d");  // before any key: no sharps
  EXPECT_EQ(out[16], "[V:G] ,,,e");  // X: does not reset the key index
  EXPECT_EQ(out.back(), "[V:G] ,,,d");
}

TEST(Conversion, EmptyKeyFieldStillGetsTheBlock) {
  Lines out = convertLines({"K:", "F"});
  EXPECT_EQ(out, concat({{"K:"}, kBlock, {"[V:M] F", "[V:G] ,,,d"}}));
}

TEST(Conversion, OptionsShapeTheBlock) {
  ConvertSettings settings;
  settings.capo = '3';
  settings.a4 = true;
  settings.bottomMargin = 0.75F;
  settings.board.mandolin = true;
  settings.rhythmFlags = false;
  EXPECT_EQ(convertLines({"K:G"}, settings),
            (Lines{"P: Capo 3", "K:G", "%%botmargin 0.75in", "V:M clef=treble", "%", "%",
                   "V:G clef=spanish4tab", "%%staffsep 2cm", "%%tabrhstyle none", "%"}));
  settings.a4 = false;
  EXPECT_EQ(convertLines({"K:G"}, settings)[2], "%%pageheight 11in");
  EXPECT_EQ(convertLines({"K:G"}, settings)[3], "%%botmargin 0.75in");
}

TEST(Conversion, MarginField) {
  const std::vector<std::pair<float, std::string>> rows{
      {0.5F, "0.50"}, {1.25F, "1.25"}, {9.99F, "9.99"}, {10.0F, "****"}, {0.004F, "0.00"}};
  for (const auto& [inches, field] : rows) EXPECT_EQ(marginField(inches), field) << inches;
}

TEST(Conversion, AStopLeavesTheMelodyLineWritten) {
  kry_test::StringLines source({"K:C", "B", "B ^", "C"});
  kry_test::CollectLines sink;
  std::ostringstream messages;
  EXPECT_THROW(convert(source, sink, {}, messages), Stop);
  ASSERT_GE(sink.lines.size(), 2U);
  EXPECT_EQ(sink.lines.back(), "[V:M] B ^");
  EXPECT_EQ(sink.lines[sink.lines.size() - 2], "[V:G] ,a");
}

TEST(Conversion, VeryLongLinesAreKeptWhole) {
  std::string melody = "T:" + std::string(5000, 'x');
  EXPECT_EQ(convertLines({melody}), (Lines{melody}));
}

}  // namespace
}  // namespace kry
