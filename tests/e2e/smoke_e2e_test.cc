// The road of one tune: a reel in G through a whole run with no options.
#include <gtest/gtest.h>

#include "harness.h"

namespace kry_test {
namespace {

TEST(RoadOfOneTune, ConvertsTypesetsAndCleansUp) {
  Sandbox box;
  box.write("reel.abc", "X:1\nT:Reel\nM:4/4\nL:1/8\nK:G\n|:G2 AB [D2G2B2] ~c|\n");
  RunResult result = box.run({"reel"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "STOP  \n");
  EXPECT_NE(result.out.find("\n REEL.ABC processed.\n abctab2ps temp.abc -1 -O reel\n\n"),
            std::string::npos)
      << result.out;
  ASSERT_TRUE(box.typesetterArgs());
  EXPECT_EQ(*box.typesetterArgs(),
            (std::vector<std::string>{box.path("bin/abctab2ps"), "TEMP.ABC", "-1", "-O", "reel"}));
  EXPECT_EQ(box.typesetterTune(),
            crlf({"", "X:1", "T:Reel", "M:4/4", "L:1/8", "K:G", "%%pageheight 11in", "V:M clef=treble",
                  "%", "%", "V:G clef=guitartab", "%%staffsep 2cm", "%%tabrhstyle modern", "%",
                  "[V:M] |:G2 AB [D2G2B2] ~c|", "[V:G] |:,,a2  ,,c1 ,a  [,aaa2]  ,b1 |"}));
  EXPECT_EQ(box.files(), (std::vector<std::string>{"reel.abc"}));
}

}  // namespace
}  // namespace kry_test
