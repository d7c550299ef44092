// The typesetter's messages about lines of the final tune, passed on with
// their places in the player's own file. The typesetter reads TEMP.ABC, which
// the run deletes; kry wrote it, and the conversion kept in a ledger where
// each of its lines came from: the tune and the line of the tune file.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "run/ledger.h"

namespace kry {

// A message of the typesetter about a line of the final tune:
// "abctab2ps: TEMP.ABC line 337: left out of the tab staff: $" (its own), or
// "abcm2ps: TEMP.ABC:1032: error: Bad tie" (abcm2ps's, passed on).
struct TypesetterMessage {
  long line = 0;        // the line of the final tune, from 1
  std::string program;  // "abctab2ps" or "abcm2ps"
  std::string text;     // what it says after the place, as written
};

class TypesetterMessages {
 public:
  // Takes a line of the typesetter's error stream when it is a message about a line of the final tune.
  bool take(std::string_view line);
  // Writes each message after its place in `file`, the player's tune file,
  // as `origins` has it, then a line that counts them.
  void passOn(std::ostream& out, const std::string& file, OriginLedger& origins) const;

 private:
  std::vector<TypesetterMessage> messages_;
};

}  // namespace kry
