// The tune file line by line into abcm2ps input, each line to its voice:
// the melody voice goes through as written (transposed by abcm2ps when
// asked), but for its ABC 1.6 chords in "+", which go in brackets; every
// tab-voice line becomes the tab staff's music. Field lines of the tune
// body reach the voices ABC means them for, continued lines are joined
// voice by voice, and every melody line is checked against its tab line for
// time; a line with no partner gets an empty staff, and a music line abcm2ps
// found too wide is broken at a bar line both staves share.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/reader.h"
#include "typeset/diagrams.h"
#include "typeset/translate.h"

namespace kry::typeset {

// The body of the abcm2ps input, and what the page's set-up needs of it.
struct Routed {
  std::vector<std::string> body;   // the lines, after the prolog
  std::vector<Origin> origin;      // per line of the body
  std::set<std::string> numbered;  // the flags with a tuplet's number, for the prolog
  std::vector<Drawing> drawings;   // the chord diagrams of the tunes
};

class Translator;

// The lines of a tune file routed as they come, handed over a tune at a
// time: a tune's lines are held only until the next tune starts.
class VoiceRouter {
 public:
  // `take` gets the lines and figures of each tune (and of the file's
  // header before the first), once they are whole.
  VoiceRouter(const Settings& settings, Translation& out, std::function<void(Routed&)> take);
  ~VoiceRouter();
  VoiceRouter(const VoiceRouter&) = delete;
  VoiceRouter& operator=(const VoiceRouter&) = delete;

  void line(std::string_view line, int from);  // the next line, its number counted from 1
  void finish();                               // after the last line
  // The flags with a tuplet's number, of all the tunes so far.
  const std::set<std::string>& numbered() const;

 private:
  void handOver();
  std::unique_ptr<Translator> tr_;
  LineReader kinds_;  // a block's lines are no tune's
  std::function<void(Routed&)> take_;
};

// Routes the lines of the tune file; the warnings, titles and the book's
// title go into `out`.
Routed routeVoices(const std::vector<std::string_view>& lines, const Settings& settings, Translation& out);

}  // namespace kry::typeset
