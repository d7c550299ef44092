// The conversion pass: which lines are copied, dropped and answered, and the
// block of directives and voice definitions after each tune's first key field.
#include "convert/convert.h"

#include <gtest/gtest.h>

#include "base/stop.h"
#include "table.h"

namespace kry {
namespace {

// The staged tune and the converted tune in one: lines in from a text, lines out joined by "\n".
class Lines : public LineSource, public LineSink {
 public:
  explicit Lines(const std::string& text) : in_(text + "\\n") {}
  bool next(std::string_view& line) override {
    std::size_t end = in_.find("\\n", at_);
    if (end == std::string::npos) return false;
    line = std::string_view(in_).substr(at_, end - at_);
    at_ = end + 2;
    return true;
  }
  void put(std::string_view head, std::string_view tail) override {
    out += (put_++ == 0 ? "" : "\\n") + std::string(head) + std::string(tail);
  }
  std::string out;

 private:
  std::string in_;
  std::size_t at_ = 0, put_ = 0;
};

TEST(Conversion, CopiesDropsAndAnswersEachLine) {
  std::vector<kry_test::Row> rows = kry_test::table("convert.txt", 3);
  rows.push_back({"none", "T:" + std::string(5000, 'x'), "T:" + std::string(5000, 'x')});
  for (const kry_test::Row& row : rows) {
    ConvertSettings s;
    std::istringstream words(row[0]);
    for (std::string word; words >> word;) {
      if (word.rfind("capo=", 0) == 0) s.capo = word[5];
      if (word.rfind("margin=", 0) == 0) s.bottomMargin = std::stof(word.substr(7));
      s.a4 = s.a4 || word == "a4";
      s.board.mandolin = s.board.mandolin || word == "mandolin";
      s.rhythmFlags = s.rhythmFlags && word != "r";
    }
    Lines lines(row[1]);
    std::ostringstream messages;
    try {
      convert(lines, lines, s, messages);
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
