// The PDF's title and outline, written into the PostScript file as pdfmark
// lines: a PDF made of it (kry's option pdf, or any ps2pdf) has the book's
// title and one outline entry per tune that leads to the page where the tune
// starts; a PostScript printer ignores them. Pure: text in, text out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kry::typeset {

// `ps` as abcm2ps wrote it, with its DSC title made `title` and the marks
// added to its setup: the document's title, the outline shown when the PDF
// opens, and an entry for each of `entries` (one a tune, in order), leading
// to the page where abcm2ps started that tune. A file with no setup and no
// page is left as it is.
std::string markOutline(std::string_view ps, const std::string& title, const std::vector<std::string>& entries);

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
