// What the main pass keeps aside for later in the run, so that nothing is
// converted twice: where each line of the final tune came from (the tune and
// the line of the tune file), for placing the typesetter's messages; and what
// the fix-up pass changed, for giving back the converted tune when a run with
// option f stops. Each is written once, in order, and read back from its
// start; a large book's ledger goes out to a private scratch file in blocks,
// so the run's memory stays the same whatever the size of the book.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "convert/convert.h"
#include "convert/lines.h"
#include "fixup/fixup.h"
#include "run/platform.h"

namespace kry {

// How much of a ledger stays in memory before it goes to the scratch file.
inline constexpr std::size_t kLedgerBlock = 1 << 16;

// Bytes written in order and read back from the start: the last block in
// memory, the full ones in the scratch file when there is one (else all in
// memory). Numbers are written in seven-bit groups, small ones in one byte.
class Spill {
 public:
  explicit Spill(std::unique_ptr<ScratchFile> scratch = nullptr, std::size_t block = kLedgerBlock)
      : scratch_(std::move(scratch)), block_(block) {}

  // Up to kMostNumbers numbers; a text, its length first.
  static constexpr std::size_t kMostNumbers = 6;
  void numbers(std::initializer_list<std::uint64_t> ns);
  void number(std::uint64_t n) { numbers({n}); }
  void text(std::string_view text);
  // What `other` holds, after what this holds.
  void append(const Spill& other);
  bool empty() const { return spilled_ == 0 && tail_.empty(); }
  // Empties it; what is written after stays in memory.
  void clear() {
    scratch_.reset();
    tail_.clear();
    spilled_ = 0;
    full_ = false;
  }

  // Reads a spill from its start.
  class Reader {
   public:
    explicit Reader(const Spill& spill) : spill_(spill) {}
    bool number(std::uint64_t& n);  // false at the end
    bool text(std::string& text);

   private:
    bool byte(unsigned char& b);
    const Spill& spill_;
    std::uint64_t at_ = 0;  // bytes read
    std::string block_;     // a block read back from the scratch file
    std::uint64_t blockAt_ = 0;
  };

 private:
  void spillTail();

  std::unique_ptr<ScratchFile> scratch_;
  std::size_t block_;
  std::string tail_;
  std::uint64_t spilled_ = 0;  // bytes in the scratch file
  bool full_ = false;          // the scratch file took no more
};

// Where a line of the final tune came from: a line of the staged tune, and
// the tune it lies in (its number and first title; none before the first tune).
struct Origin {
  long line = 0;
  std::optional<TuneHeading> tune;
};

// Where the lines of the final tune came from, as the conversion tells it.
// Lines in a row mostly come from the same line of the staged tune or from
// the next, so they are kept as runs: a step, how many lines a step, how many
// steps.
class OriginLedger : public LineOrigins {
 public:
  explicit OriginLedger(std::unique_ptr<ScratchFile> scratch = nullptr, std::size_t block = kLedgerBlock)
      : spill_(std::move(scratch), block) {}

  void wrote(long from) override;
  void tune(long line, std::string_view number) override;
  void title(std::string_view title) override;
  // Takes the ledger of lines converted apart, whose lines are counted from
  // `offset`, and empties it.
  void append(OriginLedger& part, long offset);
  void clear();
  // Where each of `lines` of the final tune (numbered from 1) came from; a
  // line the ledger has not heard of is left out.
  std::map<long, Origin> find(const std::set<long>& lines);

 private:
  void closeGroup();
  void closeRun();
  void closeTune();
  void settle();     // writes out all that is pending
  void baseZero();   // after lines taken from elsewhere, the lines are counted from the start again

  Spill spill_;
  long base_ = 0;   // what the lines written are counted from
  long last_ = 0;   // the line the last group came from, from base_
  long from_ = 0;   // the group of lines from one line, being counted
  long count_ = 0;
  long step_ = 0, stepCount_ = 0, steps_ = 0;  // the run of groups, being counted
  std::optional<std::pair<long, TuneHeading>> tune_;  // its X: line and heading, until the next tune
};

// What the fix-up pass changed, tab-voice line by tab-voice line; and the
// converted tune given back from the fixed-up one.
class FixUpLedger : public FixUpRecord {
 public:
  explicit FixUpLedger(std::unique_ptr<ScratchFile> scratch = nullptr, std::size_t block = kLedgerBlock)
      : spill_(std::move(scratch), block) {}
  void changed(long tabLine, std::size_t blanks, std::size_t at, std::string_view length) override;
  // Writes to `out` the lines of `fixed` as they were before the fix-up pass.
  void giveBack(ByteSource& fixed, LineSink& out) const;

 private:
  Spill spill_;
  long last_ = 0;
};

}  // namespace kry
