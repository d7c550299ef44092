// Converting a collection in chunks of whole tunes on worker threads: the
// lines read from memory, the cuts made only where a tune starts, and a
// converted tune, messages and stop the same as a pass line by line.
#include "run/chunks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fuzz/fuzz_support.h"

namespace kry {
namespace {

TEST(Lines, EndALineAtLfCrOrCrLf) {
  struct {
    std::string text, lines;  // the lines joined by "|"
  } rows[] = {
      {"", ""},           {"a\nb", "a|b|"},       {"a\r\nb\r\n", "a|b|"},  {"a\rb\r", "a|b|"},
      {"\n\n", "||"},     {"a\r\r\nb", "a||b|"},  {"a\n\rb", "a||b|"}, {"a\rb\nc\r\nd", "a|b|c|d|"},
  };
  for (const auto& row : rows) {
    Lines lines(row.text);
    std::string got;
    for (std::string_view line; lines.next(line);) got += std::string(line) + "|";
    EXPECT_EQ(got, row.lines) << row.text;
  }
}

// With chunks of one byte: a cut ("|") before every X: field line, where a
// tune may be converted apart, and within a tune ("/") only after an LF.
TEST(TuneChunks, CutWhereATuneStartsAndLoseNothing) {
  const std::string text = "H:head\nX:1\nK:G\nfX:2\nX 3\nf\rX:3\r\nK:D\rg\r\nX:4";
  kry_test::Trickle in(text);
  TuneChunks chunks(in, 1);
  std::string cuts;
  for (Chunk chunk; chunks.next(chunk);) cuts += (chunk.apart ? "|" : "/") + chunk.text;
  EXPECT_EQ(cuts, "|H:head\n|X:1\n/K:G\n/fX:2\n/X 3\n/f\r|X:3\r\n/K:D\rg\r\n|X:4");
}

// Tunes that lean on the lines before them: music before the key field (the
// key of the tune before is in force), an accidental carried past the end of
// a tune into the next, a decoration named by a U: field of the file's
// header (else "+bead+" is a chord), rhythm lengths for option f, a tune that
// can't be placed in the middle, a file ended by CR alone.
const char kLeaning[] =
    "%%header\nL:1/4\nU:W = !bead!\n"
    "X:1\nT:One\nK:D\nf2 g|a>b c'2|\n^c d\n"
    "X:2\nT:Two\nd e f|\nK:G\nc d|e2 f/2|\ng a b\nc4|]\n"
    "X:3\nT:High\nK:C\nc d e'''|\nX:4\nT:Four\nM:6/8\nK:Am\nA3 +bead+c/2B/2|(3ABc d2|\n"
    "X:five\nK:E\nE,2 G,|B c\nX:6\nL:1/8\nK:F\nB2 b|=B B|\n";

TEST(ConvertInChunks, GivesWhatAPassLineByLineGives) {
  // An X: in a text or PostScript block starts no tune, wherever a chunk is cut.
  std::vector<std::string> texts = {kLeaning,
                                    "X:1\nT:One\nK:D\n%%begintext\nX:7 a line of text\nT:no title\nso a line\n%%endtext\n"
                                    "f2 g|\nX:2\nK:G\n%%beginps\n/x 1 def\nX:9\n%%endps\nc d|\n"};
  std::string crOnly = kLeaning;
  std::replace(crOnly.begin(), crOnly.end(), '\n', '\r');
  texts.push_back(crOnly);
  for (const auto& entry : std::filesystem::directory_iterator(std::string(KRY_SOURCE_DIR) + "/tests/corpus")) {
    if (entry.path().extension() != ".abc") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    texts.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  ASSERT_GE(texts.size(), 6U) << "the corpus in tests/corpus is missing";

  ConvertSettings plain, skip, chosen, mandolin;
  skip.skip = true;
  chosen.tunes = TuneList::read("2,4-6,high,rakes of");  // by number and by title
  chosen.skip = true;
  mandolin.instrument.mandolin = true;
  mandolin.instrument.transposition = -2;
  const std::pair<const ConvertSettings&, bool> passes[] = {{plain, false}, {plain, true}, {skip, false},
                                                           {skip, true},  {chosen, true}, {mandolin, true}};
  for (const std::string& text : texts) {
    for (const auto& [settings, fixUp] : passes) {
      std::string inOrder = kry_fuzz::inChunks(text, settings, fixUp, 0, 1);
      if (fixUp) {  // given back from the fixed-up tune: the tune converted without the fix-up pass
        std::string unfixed = kry_fuzz::inChunks(text, settings, false, 0, 1);
        EXPECT_EQ(inOrder.substr(inOrder.find("\n--given back--\n") + 16), unfixed.substr(0, unfixed.find("\n--said--\n")));
      }
      for (std::size_t chunkSize : {1, 40, 900})
        EXPECT_EQ(kry_fuzz::inChunks(text, settings, fixUp, 3, chunkSize), inOrder)
            << text.substr(0, 40) << "\nf: " << fixUp << ", chunks of " << chunkSize;
    }
  }
}

// Where lines of the converted tune came from, the chunks converted apart
// among them: a line before any tune, a title line, music before the key
// field, a tune after one left out, a tune with no title.
TEST(ConvertInChunks, TellsWhereEachLineCameFrom) {
  ConvertSettings skip;
  skip.skip = true;
  std::string got = kry_fuzz::inChunks(kLeaning, skip, false, 3, 40);
  for (const char* line : {"\n3 from 3\n", "\n6 from 5 in 1 One\n", "\n24 from 11 in 2 Two\n",
                           "\n40 from 20 in 4 Four\n", "\n56 from 25 in five -\n"})
    EXPECT_NE(got.find(line), std::string::npos) << line << got.substr(got.find("--end--"));
}

}  // namespace
}  // namespace kry
