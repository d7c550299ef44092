// The voices of one tune, in the order they appear: each V: field's id and
// name, whether it defines the voice in the header, changes to it in the
// body, or starts it inline with [V:id]. Music before the first V: belongs
// to the tune's first voice. Read ahead of the conversion to choose the
// voice whose tab is written (option voice=) and to list a tune's voices.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/reader.h"

namespace kry {

struct TuneVoice {
  std::string id;    // empty for a tune that names no voice
  std::string name;  // its name=, if any
};

class TuneVoices {
 public:
  // Takes the next line of the tune, trimmed.
  void line(std::string_view line);
  // The voices, in order; one without an id for a tune with music and no V:.
  std::vector<TuneVoice> voices() const;
  // The voice `choice` names: its id, its name (in any case), or its number
  // in order, from 1; nothing when it names none.
  std::optional<TuneVoice> find(std::string_view choice) const;
  // "1 (Fiddle 1), 2": the voices with their names, for a message or a list.
  std::string text() const;

 private:
  void add(std::string_view id, std::string_view name);
  std::vector<TuneVoice> voices_;
  bool music_ = false;  // music was read
  LineReader kinds_;    // PostScript and text blocks name no voice
};

}  // namespace kry
