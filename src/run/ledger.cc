#include "run/ledger.h"

#include <algorithm>
#include <vector>

#include "run/chunks.h"

namespace kry {
namespace {

// The kinds of entry in an origin ledger.
enum Entry : std::uint64_t {
  kRun = 0,   // steps, each a step from the line before and that many lines from its line
  kTune = 1,  // a tune's X: line, its number and its first title
  kBase = 2,  // the lines after are counted from this line
};

// A signed number as an unsigned one, small either way: 0, -1, 1, -2 ... as 0, 1, 2, 3 ...
std::uint64_t zigzag(long n) {
  return n < 0 ? (static_cast<std::uint64_t>(-(n + 1)) << 1) | 1 : static_cast<std::uint64_t>(n) << 1;
}
long unzigzag(std::uint64_t n) { return (n & 1) != 0 ? -static_cast<long>(n >> 1) - 1 : static_cast<long>(n >> 1); }

}  // namespace

// Writes `n` at `to` in seven-bit groups, the lowest first, each but the last
// with its top bit set; past it.
char* putNumber(char* to, std::uint64_t n) {
  for (; n >= 0x80; n >>= 7) *to++ = static_cast<char>((n & 0x7F) | 0x80);
  *to++ = static_cast<char>(n);
  return to;
}

void Spill::numbers(std::initializer_list<std::uint64_t> ns) {
  char bytes[kMostNumbers * 10];
  char* end = bytes;
  for (std::uint64_t n : ns) end = putNumber(end, n);
  tail_.append(bytes, static_cast<std::size_t>(end - bytes));
  if (tail_.size() >= block_) spillTail();
}

void Spill::text(std::string_view text) {
  numbers({text.size()});
  tail_.append(text);
  if (tail_.size() >= block_) spillTail();
}

void Spill::append(const Spill& other) {
  std::string block(block_, '\0');
  for (std::uint64_t at = 0; at < other.spilled_;) {
    std::size_t got = other.scratch_->readAt(at, block.data(), std::min<std::uint64_t>(block.size(), other.spilled_ - at));
    if (got == 0) break;
    tail_.append(block, 0, got);
    at += got;
    spillTail();
  }
  tail_.append(other.tail_);
  spillTail();
}

// A full block goes to the scratch file; when that can't take it, it and all
// after it stay in memory.
void Spill::spillTail() {
  if (tail_.size() < block_ || !scratch_ || full_) return;
  if (!scratch_->write(tail_)) {
    full_ = true;
    return;
  }
  spilled_ += tail_.size();
  tail_.clear();
}

bool Spill::Reader::byte(unsigned char& b) {
  if (at_ < spill_.spilled_) {
    if (at_ < blockAt_ || at_ >= blockAt_ + block_.size()) {
      block_.resize(spill_.block_);
      std::size_t got = spill_.scratch_->readAt(at_, block_.data(), block_.size());
      block_.resize(got);
      blockAt_ = at_;
      if (got == 0) return false;
    }
    b = static_cast<unsigned char>(block_[at_++ - blockAt_]);
    return true;
  }
  std::uint64_t k = at_ - spill_.spilled_;
  if (k >= spill_.tail_.size()) return false;
  b = static_cast<unsigned char>(spill_.tail_[k]);
  ++at_;
  return true;
}

bool Spill::Reader::number(std::uint64_t& n) {
  n = 0;
  unsigned char b = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    if (!byte(b)) return false;
    n |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

bool Spill::Reader::text(std::string& text) {
  std::uint64_t size = 0;
  if (!number(size)) return false;
  text.clear();
  for (unsigned char b = 0; text.size() < size && byte(b);) text.push_back(static_cast<char>(b));
  return text.size() == size;
}

void OriginLedger::wrote(long from) {
  if (base_ != 0) baseZero();
  if (count_ > 0 && from == from_) {
    ++count_;
    return;
  }
  closeGroup();
  from_ = from;
  count_ = 1;
}

void OriginLedger::tune(long line, std::string_view number) {
  if (base_ != 0) baseZero();
  closeTune();
  tune_.emplace(line, TuneHeading{std::string(number), {}});
}

void OriginLedger::title(std::string_view title) {
  if (tune_ && tune_->second.titles.empty()) tune_->second.titles.emplace_back(title);
}

void OriginLedger::closeGroup() {
  if (count_ == 0) return;
  long step = from_ - last_;
  last_ = from_;
  if (steps_ > 0 && step == step_ && count_ == stepCount_) {
    ++steps_;
  } else {
    closeRun();
    step_ = step;
    stepCount_ = count_;
    steps_ = 1;
  }
  count_ = 0;
}

void OriginLedger::closeRun() {
  if (steps_ == 0) return;
  spill_.numbers({kRun, zigzag(step_), static_cast<std::uint64_t>(stepCount_), static_cast<std::uint64_t>(steps_)});
  steps_ = 0;
}

void OriginLedger::closeTune() {
  if (!tune_) return;
  spill_.number(kTune);
  spill_.number(static_cast<std::uint64_t>(tune_->first));
  spill_.text(tune_->second.number);
  spill_.number(tune_->second.titles.size());
  spill_.text(tune_->second.titles.empty() ? "" : tune_->second.titles[0]);
  tune_.reset();
}

void OriginLedger::settle() {
  closeGroup();
  closeRun();
  closeTune();
}

void OriginLedger::baseZero() {
  settle();
  spill_.number(kBase);
  spill_.number(0);
  base_ = last_ = 0;
}

void OriginLedger::append(OriginLedger& part, long offset) {
  part.settle();
  if (part.spill_.empty()) return;
  settle();
  spill_.number(kBase);
  spill_.number(static_cast<std::uint64_t>(offset));
  spill_.append(part.spill_);
  base_ = offset;
  last_ = part.last_;
  part.clear();
}

void OriginLedger::clear() {
  spill_.clear();
  base_ = last_ = from_ = count_ = step_ = stepCount_ = steps_ = 0;
  tune_.reset();
}

std::map<long, Origin> OriginLedger::find(const std::set<long>& lines) {
  settle();
  std::map<long, Origin> found;
  // The staged line of each final line: the runs read in order, final lines counted.
  long base = 0, last = 0, out = 0;
  auto want = lines.begin();
  Spill::Reader runs(spill_);
  std::string skipped;
  for (std::uint64_t kind = 0, a = 0, b = 0, c = 0; want != lines.end() && runs.number(kind);) {
    if (kind == kBase && runs.number(a)) base = static_cast<long>(a), last = 0;
    if (kind == kTune) runs.number(a), runs.text(skipped), runs.number(b), runs.text(skipped);
    if (kind != kRun || !runs.number(a) || !runs.number(b) || !runs.number(c)) continue;
    long step = unzigzag(a), count = static_cast<long>(b), steps = static_cast<long>(c);
    for (; want != lines.end() && *want <= out + count * steps; ++want)
      if (*want > out) found[*want].line = base + last + step * ((*want - out - 1) / count + 1);
    last += step * steps;
    out += count * steps;
  }
  // The tune of each: the last whose X: line is at or before it.
  std::vector<std::pair<long, Origin*>> staged;
  for (auto& [final, origin] : found) staged.emplace_back(origin.line, &origin);
  std::sort(staged.begin(), staged.end());
  auto next = staged.begin();
  std::optional<TuneHeading> current;
  Spill::Reader tunes(spill_);
  base = 0;
  for (std::uint64_t kind = 0, a = 0, b = 0, c = 0; next != staged.end() && tunes.number(kind);) {
    if (kind == kBase && tunes.number(a)) base = static_cast<long>(a);
    if (kind == kRun) tunes.number(a), tunes.number(b), tunes.number(c);
    if (kind != kTune || !tunes.number(a)) continue;
    TuneHeading heading;
    std::string title;
    tunes.text(heading.number), tunes.number(b), tunes.text(title);
    if (b > 0) heading.titles.push_back(title);
    for (; next != staged.end() && next->first < base + static_cast<long>(a); ++next) next->second->tune = current;
    current = std::move(heading);
  }
  for (; next != staged.end(); ++next) next->second->tune = current;
  return found;
}

void FixUpLedger::changed(long tabLine, std::size_t blanks, std::size_t at, std::string_view length) {
  spill_.numbers({static_cast<std::uint64_t>(tabLine - last_), blanks, at == std::string_view::npos ? 0 : at + 1});
  spill_.text(length);
  last_ = tabLine;
}

void FixUpLedger::giveBack(ByteSource& fixed, LineSink& out) const {
  Spill::Reader changes(spill_);
  std::uint64_t step = 0, blanks = 0, at = 0;
  std::string length;
  long tabLine = 0, next = 0;  // the tab-voice line of the next change; -1 for none
  auto readNext = [&] {
    bool more = changes.number(step) && changes.number(blanks) && changes.number(at) && changes.text(length);
    next = more ? next + static_cast<long>(step) : -1;
  };
  readNext();
  eachLine(fixed, [&](std::string_view line) {
    if (!line.starts_with("[V:G]")) return out.put(line);
    if (tabLine++ != next) return out.put(line);
    out.put(unfix(line, blanks, at == 0 ? std::string::npos : at - 1, length.size()));
    readNext();
  });
}

}  // namespace kry
