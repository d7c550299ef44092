// A tune book turned into abcm2ps's input as it is read, tune by tune, and
// abcm2ps's PostScript marked with the PDF's outline a block at a time: what
// abctab2ps holds at once is one tune and a number a line of input, whatever
// the size of the book.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "typeset/pages.h"
#include "typeset/platform.h"
#include "typeset/translate.h"

namespace kry::typeset {

// Splits text given in blocks into lines as Lines does: a line ends at LF,
// CR or CR LF, and a last line needs no end.
class LineFeed {
 public:
  template <typename F>
  void feed(std::string_view block, F&& line) {
    std::size_t at = 0;
    if (cr_ && !block.empty()) {
      if (block[0] == '\n') at = 1;  // the LF of a CR LF split between blocks
      cr_ = false;
    }
    while (at < block.size()) {
      const std::size_t end = block.find_first_of("\r\n", at);
      if (end == std::string_view::npos) {
        text_.append(block.substr(at));
        return;
      }
      if (text_.empty()) {
        line(block.substr(at, end - at));
      } else {
        text_.append(block.substr(at, end - at));
        line(std::string_view(text_));
        text_.clear();
      }
      at = end + 1;
      if (block[end] == '\r') {
        if (at == block.size()) cr_ = true;
        else if (block[at] == '\n') ++at;
      }
    }
  }
  // After the last block: a last line without its end.
  template <typename F>
  void end(F&& line) {
    if (!text_.empty()) line(std::string_view(text_));
    text_.clear();
    cr_ = false;
  }

 private:
  std::string text_;  // a line begun in a block before
  bool cr_ = false;   // the block before ended with CR
};

// Translates the book `input` into `dir`/kTempTune, its chord figures
// beside it. `out` gets all but the text: warnings, titles and the origin
// of each line written; `digest` a hash of the text, to tell whether
// another translation changed it. False, with the reason, when a file can't
// be read or written.
bool translateBook(Platform& platform, const std::string& input, const std::string& dir, const Settings& settings,
                   Translation& out, std::uint64_t& digest, std::string* err);

// Writes `dir`/kTempPs with the PDF's title and outline, an
// entry a tune of `tunes`, to `dir`/kTempMarked. False when a file can't be
// read or written.
bool markBook(Platform& platform, const std::string& dir, const std::string& title, const std::vector<TuneTitle>& tunes);

// The tunes, counted from 1, whose last page in `dir`/`ps` holds a single
// system alone (SystemScan).
std::vector<SystemScan::Alone> loneSystems(Platform& platform, const std::string& dir, const char* ps);

// The input line of each tune's X: line in `dir`/kTempTune, whose lines
// came from `origin`, in the order of the book.
std::vector<int> tuneLines(Platform& platform, const std::string& dir, const Origins& origin);

// Writes `dir`/kTempSome: the tunes `wanted` of `dir`/kTempTune (counted
// from 1, in ascending order) with every line outside the tunes, the page's
// set-up and the book's own lines, so that they are engraved as in the whole
// book. `some` gets the origin of each line written. False when a file can't
// be read or written.
bool someTunes(Platform& platform, const std::string& dir, const Origins& origin, const std::vector<int>& wanted,
               Origins& some);

}  // namespace kry::typeset
