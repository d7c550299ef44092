// Reading tunes in several voices: V: fields, inline voice changes, %%score
// lines rewritten for the tab staff, and the voices of a tune read ahead.
#include "base/voices.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "convert/tunevoices.h"
#include "table.h"

namespace kry {
namespace {

TEST(Voices, AsTheTableHasThem) {
  for (const kry_test::Row& row : kry_test::table("voices.txt", 3)) {
    std::string got;
    if (row[0] == "field") {
      VoiceField field = readVoice(row[1]);
      got = std::string(field.id) + "|" + std::string(field.name) + "|" + std::string(field.rest);
    } else if (row[0] == "pieces") {
      for (const VoicePiece& piece : voicePieces(row[1]))
        got += (got.empty() ? "" : ";") + std::string(piece.voice) + "|" + std::string(piece.field) + "|" + std::string(piece.music);
    } else if (row[0] == "score") {
      got = scoreWithTab(row[1], "1", "M", "G");
    } else {
      std::size_t choice = row[1].find(" ? ");
      TuneVoices voices;
      std::string lines = row[1].substr(0, choice) + "\\n";
      for (std::size_t at = 0, end; (end = lines.find("\\n", at)) != std::string::npos; at = end + 2)
        voices.line(lines.substr(at, end - at));
      std::optional<TuneVoice> found = voices.find(row[1].substr(choice + 3));
      got = (found ? found->id : "none") + " / " + voices.text();
    }
    EXPECT_EQ(got, row[2]) << row[0] << ": " << row[1];
  }
}

}  // namespace
}  // namespace kry
