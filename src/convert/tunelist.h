// Choosing tunes from a collection by their numbers: the list of option x=
// ("36", "4-9", "4,7,12-15") and the number a tune's X: field gives it.
#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace kry {

class TuneList {
 public:
  // The list as typed after "x=", or nothing when it is not one.
  static std::optional<TuneList> read(std::string_view text);
  bool has(long number) const;

 private:
  std::vector<std::pair<long, long>> ranges_;  // first and last number, both chosen
};

// The number of the tune whose X: field line is `line`: the field's text
// without blanks, as a whole number; nothing when that is no number.
std::optional<long> tuneNumber(std::string_view line);

}  // namespace kry
