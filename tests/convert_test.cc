// The conversion pass: which lines are copied, dropped and answered, and the
// block of directives and voice definitions after each tune's first key field.
#include "convert/convert.h"

#include <gtest/gtest.h>

#include "base/stop.h"
#include "table.h"

namespace kry {
namespace {

// The converted tune's lines joined by "\n".
struct Joined : LineSink {
  void put(std::string_view head, std::string_view tail) override {
    out += (out.empty() && !started ? "" : "\\n") + std::string(head) + std::string(tail);
    started = true;
  }
  std::string out;
  bool started = false;
};

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
      if (word.rfind("capo=", 0) == 0) s.capo = word[5];
      if (word.rfind("margin=", 0) == 0) s.bottomMargin = std::stof(word.substr(7));
      if (word.rfind("pos", 0) == 0) s.hand = word.size() > 4 ? std::stoi(word.substr(4)) : 0, s.board.reach = 15;
      if (word.rfind("fret=", 0) == 0) s.board.capo = std::stoi(word.substr(5));
      s.a4 = s.a4 || word == "a4";
      s.board.mandolin = s.board.mandolin || word == "mandolin";
      s.rhythmFlags = s.rhythmFlags && word != "r";
    }
    Joined lines;
    std::ostringstream messages;
    try {
      Conversion conversion(s, lines, messages);
      std::string in = row[1] + "\\n";
      for (std::size_t at = 0, end; (end = in.find("\\n", at)) != std::string::npos; at = end + 2)
        conversion.line(std::string_view(in).substr(at, end - at));
      conversion.finish();
    } catch (const Stop& stop) {
      lines.out += "\\nSTOP " + stop.text();
    }
    std::string want = row[2];
    std::string block = "%%pageheight 11in\\nV:M clef=treble\\n%\\n%\\nV:G clef=guitartab\\n%%staffsep 2cm\\n%%tabrhstyle modern\\n%";
    for (std::size_t at; (at = want.find("BLOCK")) != std::string::npos;) want.replace(at, 5, block);
    EXPECT_EQ(lines.out, want) << row[1];
  }
}

}  // namespace
}  // namespace kry
