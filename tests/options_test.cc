// The option reader: words, capo, numbers by their form, and the refusals.
#include "run/options.h"

#include <gtest/gtest.h>

#include <sstream>

#include "run/stop.h"

namespace kry {
namespace {

Options read(const std::vector<std::string>& args, std::string* out = nullptr) {
  Options options;
  std::ostringstream messages;
  try {
    readOptions(args, options, messages);
  } catch (const Stop&) {
    if (out != nullptr) *out = messages.str();
    throw;
  }
  if (out != nullptr) *out = messages.str();
  return options;
}

TEST(Options, DefaultsWithNoOptions) {
  Options options = read({});
  EXPECT_EQ(options.transposition, 0);
  EXPECT_EQ(options.scaleFactor, 1.0F);
  EXPECT_EQ(options.scaleText, "");
  EXPECT_EQ(options.bottomMargin, 0.0F);
  EXPECT_EQ(options.capo, ' ');
  EXPECT_FALSE(options.mandolin || options.fixUp || options.debug || options.a4 || options.bOnThirdString);
  EXPECT_TRUE(options.rhythmFlags);
}

TEST(Options, WordsInEitherCase) {
  for (std::string arg : {"m", "M"}) EXPECT_TRUE(read({arg}).mandolin);
  for (std::string arg : {"r", "R"}) EXPECT_FALSE(read({arg}).rhythmFlags);
  for (std::string arg : {"f", "F"}) EXPECT_TRUE(read({arg}).fixUp);
  for (std::string arg : {"debug", "DEBUG", "Debug"}) EXPECT_TRUE(read({arg}).debug);
  for (std::string arg : {"a4", "A4"}) EXPECT_TRUE(read({arg}).a4);
  for (std::string arg : {"b4", "B4"}) EXPECT_TRUE(read({arg}).bOnThirdString);
}

TEST(Options, CapoTakesTheSecondCharacter) {
  const std::vector<std::pair<std::string, char>> rows{
      {"c3", '3'}, {"C5", '5'}, {"c10", '1'}, {"cb", 'B'}, {"capo", 'A'}, {"c", ' '}};
  for (const auto& [arg, capo] : rows) EXPECT_EQ(read({arg}).capo, capo) << arg;
  EXPECT_EQ(read({"c3", "c5"}).capo, '5');
}

TEST(Options, NumbersByTheirForm) {
  EXPECT_EQ(read({"3"}).transposition, 3);
  EXPECT_EQ(read({"+3"}).transposition, 3);
  EXPECT_EQ(read({"-3"}).transposition, -3);
  EXPECT_EQ(read({"11"}).transposition, 11);
  EXPECT_EQ(read({"-11"}).transposition, -11);
  EXPECT_EQ(read({"2", "5"}).transposition, 5);
  Options scaled = read({"0.8"});
  EXPECT_FLOAT_EQ(scaled.scaleFactor, 0.8F);
  EXPECT_EQ(scaled.scaleText, "0.8");
  EXPECT_EQ(read({"1.0"}).scaleFactor, 1.0F);
  EXPECT_FLOAT_EQ(read({".5"}).scaleFactor, 0.5F);
  EXPECT_FLOAT_EQ(read({"2."}).scaleFactor, 2.0F);
  Options cut = read({"0.123456789"});
  EXPECT_EQ(cut.scaleText, "0.123456");
  EXPECT_FLOAT_EQ(cut.scaleFactor, 0.123456F);
  EXPECT_FLOAT_EQ(read({"-0.5"}).bottomMargin, 0.5F);
  EXPECT_FLOAT_EQ(read({"-.75"}).bottomMargin, 0.75F);
  EXPECT_EQ(read({"-0.0"}).bottomMargin, 0.0F);
}

TEST(Options, TranspositionPastElevenStops) {
  for (std::string arg : {"12", "-12", "123456789"}) {
    try {
      read({arg});
      ADD_FAILURE() << arg;
    } catch (const Stop& stop) {
      EXPECT_EQ(stop.text(), "Can't transpose more than 11 steps.");
      EXPECT_EQ(stop.status(), kExitStopped);
    }
  }
}

TEST(Options, IllegalOptionsGetTheTwoLineMessage) {
  const std::vector<std::pair<std::string, std::string>> rows{
      {"x", "x       "},        {"abcdefghij", "abcdefgh"}, {"mandolin", "mandolin"},
      {"rr", "rr      "},      {"a4x", "a4x     "},        {"", "        "},
      {"1 2", "1 2     "},      {"1+2", "1+2     "},        {"debugx", "debugx  "},
  };
  for (const auto& [arg, shown] : rows) {
    std::string out;
    try {
      read({arg}, &out);
      ADD_FAILURE() << arg;
    } catch (const Stop& stop) {
      EXPECT_EQ(stop.text(), " ");
      EXPECT_EQ(stop.status(), kExitStopped);
    }
    EXPECT_EQ(out, " Illegal option " + shown + "\n Type  kry/?  to get list of options.\n");
  }
}

TEST(Options, OptionsBeforeAnIllegalOneAreSet) {
  Options options;
  std::ostringstream messages;
  EXPECT_THROW(readOptions({"m", "x", "f"}, options, messages), Stop);
  EXPECT_TRUE(options.mandolin);
  EXPECT_FALSE(options.fixUp);
}

TEST(Options, NumbersThatCannotBeReadAreInputFailures) {
  for (std::string arg : {"1-2", "1.2.3", "--5", "-", ".", "5-"}) {
    try {
      read({arg});
      ADD_FAILURE() << arg;
    } catch (const Stop& stop) {
      EXPECT_TRUE(stop.isIoError()) << arg;
      EXPECT_EQ(stop.status(), kExitIoError);
    }
  }
}

TEST(Options, SettingsForTheConversion) {
  ConvertSettings settings = read({"m", "-2", "b4", "c2", "a4", "r", "-0.5"}).convertSettings();
  EXPECT_TRUE(settings.board.mandolin);
  EXPECT_EQ(settings.board.transposition, -2);
  EXPECT_TRUE(settings.board.bOnThirdString);
  EXPECT_EQ(settings.capo, '2');
  EXPECT_TRUE(settings.a4);
  EXPECT_FALSE(settings.rhythmFlags);
  EXPECT_FLOAT_EQ(settings.bottomMargin, 0.5F);
}

}  // namespace
}  // namespace kry
