// The option reader: words, the capo, numbers by their form, and the three
// ways an option ends the run.
#include "run/options.h"

#include <gtest/gtest.h>

#include <iomanip>

#include "base/stop.h"
#include "table.h"

namespace kry {
namespace {

// The quoted words of a table field: "m" "1 2" ""; (none) for none.
std::vector<std::string> quoted(const std::string& field) {
  std::vector<std::string> words;
  std::istringstream in(field == "(none)" ? "" : field);
  for (std::string word; in >> std::quoted(word);) words.push_back(word);
  return words;
}

// The option state in a few words, or how the reading ended.
std::string readAll(const std::vector<std::string>& args) {
  Options o;
  std::ostringstream words;
  try {
    readOptions(args, o);
  } catch (const Stop& stop) {
    std::string said = stop.said();
    std::string hint = " Type  kry/?  to get list of options.";
    if (std::size_t at = said.find(hint); at != std::string::npos) said.replace(at, hint.size(), "HINT");
    return kry_test::stopText("", said).substr(5) + "STOP " + std::to_string(stop.status()) + " " + stop.text();
  }
  if (o.transposition != 0) words << " t" << o.transposition;
  if (o.scaleFactor != 1.0F) words << " s" << o.scaleFactor << "=" << o.scaleText;
  if (o.bottomMargin != 0.0F) words << " margin" << o.bottomMargin;
  if (!o.capo.empty()) words << " capo" << o.capo;
  for (auto [on, name] : {std::pair{o.mandolin, "m"}, {!o.rhythmFlags, "r"}, {o.fixUp, "f"}, {o.debug, "debug"},
                          {o.a4, "a4"}, {o.bOnThirdString, "b4"}})
    if (on) words << " " << name;
  if (o.tunes) words << " x=" << o.tuneListText;
  if (o.tuning) words << " tuning " << o.tuningName;
  if (o.octaves != 0) words << " octave=" << o.octaves;
  if (o.pdf) words << " pdf";
  if (o.skip) words << " skip";
  if (!o.out.empty()) words << " out=" << o.out;
  if (o.list) words << " list";
  if (o.chords) words << " chords";
  if (o.midi) words << " midi";
  if (o.capoFret != 0) words << " capo=" << o.capoFret;
  if (o.hand) words << " pos=" << *o.hand;
  return words.str().empty() ? "defaults" : words.str().substr(1);
}

TEST(Options, SetTheStateOrEndTheRun) {
  for (const kry_test::Row& row : kry_test::table("options.txt", 2)) EXPECT_EQ(readAll(quoted(row[0])), row[1]) << row[0];
}

// Every pitch from one below the table's bottom up to d' on each fingerboard an option gives.
TEST(Tunings, PlaceEachPitchByOneRule) {
  const std::vector<std::string> chromatic = quoted("B,, C, ^C, D, ^D, E, F, ^F, G, ^G, A, ^A, B, C ^C D ^D E F ^F G ^G A ^A B "
                                                   "c ^c d ^d e f ^f g ^g a ^a b c' ^c' d'");
  for (const kry_test::Row& row : kry_test::table("tunings.txt", 3)) {
    Options options;
    std::vector<std::string> args;
    for (const std::string& word : quoted(row[0]))
      if (word != "guitar") args.push_back(word == "mandolin" ? "m" : word);
    readOptions(args, options);
    const Fretboard board(options.convertSettings().instrument);
    std::string got;
    for (int position = std::stoi(row[1]) - 1; position <= 35; ++position) {
      std::string_view text = chromatic.at(static_cast<std::size_t>(position + 4));
      bool sharp = text[0] == '^';
      try {
        Spot spot = note(0, sharp ? '^' : ' ', text.substr(sharp ? 1 : 0), board).spot;
        got += ' ';  // piece by piece: GCC 12 warns falsely of overlapping copies on a sum of strings
        if (spot.course == 0) {
          got += 'x';
        } else {
          got += std::to_string(spot.course);
          got += fretLetter(spot.fret);
        }
      } catch (const Stop&) {
        got += " -";
      }
    }
    EXPECT_EQ(got.substr(1), row[2]) << row[0];
  }
}

TEST(TuneList, ChoosesTunesByNumberAndTitle) {
  // Tunes 0 to 20 with no title, then three with titles.
  std::vector<TuneHeading> tunes;
  for (long n = 0; n <= 20; ++n) tunes.push_back(TuneHeading{std::to_string(n), {}});
  tunes.insert(tunes.end(), {{"101", {"The Rakes of Mallow"}}, {"102", {"Rakes of Kildare", "Kildare"}}, {"103", {"MALLOW LASS"}}});
  for (const kry_test::Row& row : kry_test::table("tunelist.txt", 2)) {
    std::optional<TuneList> list = TuneList::read(row[0]);
    std::string chosen;
    for (const TuneHeading& tune : tunes)
      if (list && list->chooses(tune)) {
        if (!chosen.empty()) chosen += ' ';
        chosen += tune.number;
      }
    EXPECT_EQ(list ? (chosen.empty() ? "none" : chosen) : "not a list", row[1]) << row[0];
  }
  EXPECT_EQ(tuneNumber("X: 1 2"), 12);  // blanks don't count
  EXPECT_EQ(tuneNumber("X:12a"), std::nullopt);
  EXPECT_EQ(tuneNumber("X:"), std::nullopt);
}

}  // namespace
}  // namespace kry
