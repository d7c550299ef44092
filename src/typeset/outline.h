// The PDF's title and outline, written into the PostScript file as pdfmark
// lines: a PDF made of it (kry's option pdf, or any ps2pdf) has the book's
// title and one outline entry per tune that leads to the page where the tune
// starts; a PostScript printer ignores them. Pure: text in, text out.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kry::typeset {

// What the PDF's title and outline need of a PostScript file, read a line at a time (a
// book's file need not be held whole): where its title line stands, where
// the marks go, and the page each tune starts on.
class OutlineScan {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  // The next line, without its LF, starting at byte `at` of the file.
  void line(std::string_view text, std::size_t at);
  // The marks to put at markAt.
  std::string marks(const std::string& title, const std::vector<std::string>& entries) const;
  // The same, written a piece at a time: `entry(k)` names tune k (from 0)
  // of `count`, and `write` takes each piece, so that a book's thousands of
  // entries need not be held at once.
  void writeMarks(const std::string& title, std::size_t count, const std::function<std::string(std::size_t)>& entry,
                  const std::function<void(std::string_view)>& write) const;

  std::size_t titleAt = npos, titleEnd = npos;  // the DSC title line, its end without the LF
  std::size_t markAt = npos;                    // before the end of the setup, or else before the first page
  std::vector<int> starts;                      // the page on which each tune starts

 private:
  int page_ = 0;
};

// The DSC title line that names `title`, on one line.
std::string titleLine(const std::string& title);

// A title as abcm2ps prints it under `titletrim` (its %%titletrim: 0 off, 1
// as it starts, N above 1 a longer limit): a last word after ", " that
// begins with a capital and is short enough, as "The" in "Kesh, The", is
// moved to the front, "The Kesh".
std::string shownTitle(std::string_view title, int titletrim);

// A text as a PostScript string for a pdfmark: "(Reel \(2\))" when it is
// plain ASCII, else its characters (UTF-8, or else Latin-1) in UTF-16 as a PDF
// text string: "<FEFF00C9...>".
std::string pdfText(std::string_view text);

}  // namespace kry::typeset
