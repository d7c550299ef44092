#include "typeset/cmdline.h"

#include <gtest/gtest.h>

namespace typeset {
namespace {

TEST(OutName, BaseWithAndWithoutDot) {
  const struct {
    const char* base;
    const char* name;
  } rows[] = {{"tune.", "tune.ps"}, {"tune", "tune.ps"}, {"my.", "my.ps"}, {".", ".ps"}, {"a.b", "a.b.ps"}};
  for (const auto& r : rows) EXPECT_EQ(outname(r.base), r.name) << r.base;
}

TEST(ReadCmd, TheFormsKryWrites) {
  const struct {
    std::vector<std::string> args;
    const char* input;
    const char* output;
    int transpose;
    double scale;
  } rows[] = {
      {{"TEMP.ABC", "-1", "-O", "tune"}, "TEMP.ABC", "tune.ps", 0, 1.0},
      {{"TEMP.ABC", "-1", "-O", "tune.", "-t", "_3", "-s", "0.8"}, "TEMP.ABC", "tune.ps", -3, 0.8},
      {{"TEMP.ABC", "-1", "-O", "song", "-t", "11"}, "TEMP.ABC", "song.ps", 11, 1.0},
      {{"-1", "-O", "song", "TEMP.ABC"}, "TEMP.ABC", "song.ps", 0, 1.0},
      {{"-1", "x.abc"}, "x.abc", "Out.ps", 0, 1.0},
  };
  for (const auto& r : rows) {
    const Parsed p = readcmd(r.args);
    ASSERT_TRUE(p.command.has_value()) << p.refusal;
    EXPECT_EQ(p.command->input, r.input);
    EXPECT_EQ(p.command->output, r.output);
    EXPECT_EQ(p.command->transpose, r.transpose);
    EXPECT_DOUBLE_EQ(p.command->scale, r.scale);
  }
}

TEST(ReadCmd, Refusals) {
  const struct {
    std::vector<std::string> args;
    const char* refusal;
  } rows[] = {
      {{}, "no input file"},
      {{"-1", "-O", "x"}, "no input file"},
      {{"a.abc", "-x"}, "unknown option -x"},
      {{"a.abc", "-O"}, "option -O needs a value"},
      {{"a.abc", "-t", "12"}, "bad transposition \"12\": give 0 to 11, or _1 to _11 for down"},
      {{"a.abc", "-t", "-3"}, "bad transposition \"-3\": give 0 to 11, or _1 to _11 for down"},
      {{"a.abc", "-s", "0"}, "bad scale factor \"0\": give a number above 0, at most 4"},
      {{"a.abc", "-s", "x"}, "bad scale factor \"x\": give a number above 0, at most 4"},
      {{"a.abc", "b.abc"}, "more than one input file: a.abc and b.abc"},
  };
  for (const auto& r : rows) {
    const Parsed p = readcmd(r.args);
    EXPECT_FALSE(p.command.has_value());
    EXPECT_EQ(p.refusal, r.refusal);
  }
}

}  // namespace
}  // namespace typeset
