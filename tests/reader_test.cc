// The reader of ABC lines: the kind of each line of a file, and the items of
// a music line with their columns.
#include "base/reader.h"

#include <gtest/gtest.h>

#include <array>

#include "table.h"

namespace kry {
namespace {

constexpr std::array<std::string_view, 24> kNames = {
    "note",  "rest",  "spacer", "chord", "bar",     "ending",  "deco",    "field",
    "voice", "tuplet", "broken", "tie",  "slur(",   "slur)",   "text",    "grace",
    "&",     "blank", "comment", "cont", "ignored", "acc",     "incomplete", "other"};

// An item as the table writes it: kind@column[text]; a note or rest shows its
// accidental, pitch and length apart, a chord its brackets, its length and its notes.
std::string shown(const Item& item, const Symbols& symbols) {
  std::string text = std::string(kNames[static_cast<std::size_t>(item.kind)]) + "@" + std::to_string(item.column) + "[";
  switch (item.kind) {
    case ItemKind::kNote:
    case ItemKind::kRest:
    case ItemKind::kSpacer:
      return text.append(item.accidental()).append("|").append(item.pitch()).append("|").append(item.lengthText()) + "]";
    case ItemKind::kChord: {
      text.append(item.text.substr(0, item.length)).append("|").append(item.lengthText()).append("]<");
      ChordNotes notes(item.inside(), symbols);
      Item note;
      bool tied = false;
      for (bool first = true; notes.next(note, tied); first = false)
        text.append(first ? "" : " ").append(note.text).append(tied ? "-" : "");
      return text + (notes.badAccidental() ? " BAD>" : ">");
    }
    default:
      return text.append(item.text) + "]";
  }
}

TEST(Reader, SplitsEachLineIntoItsItems) {
  for (const kry_test::Row& row : kry_test::table("reader.txt", 2)) {
    Symbols symbols;
    symbols.define("s = !staccato!");
    MusicLine line(row[0], symbols);
    std::string items;
    for (Item item; line.next(item);) items += (items.empty() ? "" : " ") + shown(item, symbols);
    EXPECT_EQ(items, row[1]) << row[0];
  }
}

TEST(Reader, TellsEachLineOfAFileItsKind) {
  for (const kry_test::Row& row : kry_test::table("reader-lines.txt", 2)) {
    LineReader reader;
    std::string kinds;
    constexpr std::array<std::string_view, 6> kKinds = {"blank", "field", "comment", "directive", "block", "music"};
    for (std::size_t at = 0;;) {
      std::size_t end = row[0].find(" / ", at);
      kinds += (kinds.empty() ? "" : " ") +
               std::string(kKinds[static_cast<std::size_t>(reader.classify(std::string_view(row[0]).substr(at, end - at)))]);
      if (end == std::string::npos) break;
      at = end + 3;
    }
    EXPECT_EQ(kinds, row[1]) << row[0];
  }
}

}  // namespace
}  // namespace kry
