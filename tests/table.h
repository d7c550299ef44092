// The rows of a table file in tests/tables/: one case a line, its fields
// separated by " => ", each field as written but for a "$" at its end, which
// marks where trailing blanks stop. Empty lines and lines that begin with "#"
// are comments. A row with the wrong number of fields fails the test.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "convert/pitch.h"

namespace kry_test {

using Row = std::vector<std::string>;

inline std::vector<Row> table(const std::string& name, std::size_t fields) {
  std::ifstream in(std::string(KRY_SOURCE_DIR) + "/tests/tables/" + name);
  std::vector<Row> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    Row row;
    for (std::size_t at = 0;;) {
      std::size_t end = line.find(" => ", at);
      row.push_back(line.substr(at, end - at));
      if (!row.back().empty() && row.back().back() == '$') row.back().pop_back();
      if (end == std::string::npos) break;
      at = end + 4;
    }
    if (row.size() == fields) rows.push_back(row);
    else ADD_FAILURE() << name << ": " << fields << " fields wanted: " << line;
  }
  if (rows.empty()) ADD_FAILURE() << "no rows in tests/tables/" << name;
  return rows;
}

// A fingerboard written "guitar", "mandolin" or the name of another instrument ("banjo", "uke"),
// then a transposition ("+2", "-1") and "b4" when given.
inline kry::Instrument fingerboard(const std::string& words) {
  std::istringstream in(words);
  kry::Instrument board;
  for (std::string word; in >> word;) {
    std::string upper;
    for (char c : word) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (const kry::NamedInstrument* named = kry::namedInstrument(upper)) {
      board.tuning = kry::readTuning(named->notes);
      if (named->shortFifth) board.tuning->nut[4] = kry::kBanjoNut;
    }
    if (word == "mandolin") board.mandolin = true;
    if (word == "b4") board.bOnThirdString = true;
    if (word[0] == '+' || word[0] == '-') board.transposition = std::stoi(word);
  }
  return board;
}

// A stop as the tables write it: STOP, its text unless a blank, then what was said, "\n" for each line end.
inline std::string stopText(const std::string& text, std::string said) {
  for (std::size_t at = 0; (at = said.find('\n', at)) != std::string::npos;) said.replace(at, 1, "\\n");
  return "STOP " + (text == " " ? "" : text) + said;
}

}  // namespace kry_test
