// The conversion pass: which lines are copied, dropped and answered, and the
// block of directives and voice definitions after each tune's first key field.
#include "convert/convert.h"

#include <gtest/gtest.h>

#include "base/stop.h"
#include "table.h"

namespace kry {
namespace {

TEST(Conversion, CopiesDropsAndAnswersEachLine) {
  std::vector<kry_test::Row> rows = kry_test::table("convert.txt", 3);
  // Long lines: a title, and a music line whose tab line outgrows any fixed room.
  rows.push_back({"none", "T:" + std::string(5000, 'x'), "T:" + std::string(5000, 'x')});
  std::string notes, tab;
  for (int i = 0; i < 400; ++i) notes += "B ", tab += i == 0 ? ",a1  " : ",a  ";
  rows.push_back({"none", "K:C\\n" + notes + "c", "K:C\\nBLOCK\\n[V:M] " + notes + "c\\n[V:G] " + tab + ",b"});
  for (const kry_test::Row& row : rows) {
    ConvertSettings s;
    std::istringstream words(row[0]);
    for (std::string word; words >> word;) {
      if (word.rfind("capo=", 0) == 0) s.capo = word.substr(5);
      if (word.rfind("margin=", 0) == 0) s.bottomMargin = std::stof(word.substr(7));
      if (word.rfind("pos", 0) == 0) s.hand = word.size() > 4 ? std::stoi(word.substr(4)) : 0, s.instrument.reach = 15;
      if (word.rfind("fret=", 0) == 0) s.instrument.capo = std::stoi(word.substr(5));
      s.a4 = s.a4 || word == "a4";
      s.instrument.mandolin = s.instrument.mandolin || word == "mandolin";
      s.rhythmFlags = s.rhythmFlags && word != "r";
    }
    TextSink lines;
    std::ostringstream messages;
    std::string stopped;
    try {
      Conversion conversion(s, lines, messages);
      std::string in = row[1] + "\\n";
      for (std::size_t at = 0, end; (end = in.find("\\n", at)) != std::string::npos; at = end + 2)
        conversion.line(std::string_view(in).substr(at, end - at));
      conversion.finish();
    } catch (const Stop& stop) {
      stopped = "\\nSTOP " + stop.text();
    }
    std::string got = lines.text();  // its lines joined by "\n", as the table writes them
    for (std::size_t at; (at = got.find("\r\n")) != std::string::npos;) got.replace(at, 2, "\\n");
    got = got.substr(0, got.size() - std::min<std::size_t>(got.size(), 2)) + stopped;
    std::string want = row[2];
    std::string block = "%%pageheight 11in\\nV:M clef=treble\\n%\\n%\\nV:G clef=guitartab\\n%%staffsep 2cm\\n%%tabrhstyle modern\\n%";
    for (std::size_t at; (at = want.find("BLOCK")) != std::string::npos;) want.replace(at, 5, block);
    EXPECT_EQ(got, want) << row[1];
  }
}

}  // namespace
}  // namespace kry
