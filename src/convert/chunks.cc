#include "convert/chunks.h"

#include <algorithm>
#include <cstring>

namespace kry {

bool TextLines::next(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  // Where the next CR stands is looked for once, not for every line: most
  // files have none.
  if (!crKnown_ || cr_ < pos_) {
    const void* cr = std::memchr(text_.data() + pos_, '\r', text_.size() - pos_);
    cr_ = cr != nullptr ? static_cast<std::size_t>(static_cast<const char*>(cr) - text_.data()) : text_.size();
    crKnown_ = true;
  }
  const char* start = text_.data() + pos_;
  const void* lf = std::memchr(start, '\n', cr_ - pos_);
  std::size_t size = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) : cr_ - pos_;
  line = std::string_view(start, size);
  pos_ += size + 1;
  if (lf == nullptr && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;  // the LF of a CR LF
  return true;
}

char* TextSink::grow(std::size_t most) {
  std::size_t capacity = std::max(2 * capacity_, size_ + most);
  auto grown = std::make_unique_for_overwrite<char[]>(capacity);
  if (size_ > 0) std::memcpy(grown.get(), buf_.get(), size_);
  buf_ = std::move(grown);
  capacity_ = capacity;
  return buf_.get() + size_;
}

bool TuneChunks::next(Chunk& chunk) {
  while (pending_.size() < std::max<std::size_t>(size_, 2) && fill()) {
  }
  while (lastTune_ == 0 && pending_.size() < 4 * size_ && fill()) {
  }
  std::size_t cut = lastTune_ > 0 ? lastTune_ : lastLine_;
  while (cut == 0 && fill()) cut = lastTune_ > 0 ? lastTune_ : lastLine_;  // a file with no LF at all
  if (pending_.empty()) return false;
  if (atEnd_ && pending_.size() < 2 * size_) cut = 0;  // the rest is too little to share out
  // Every cut is made at the start of a line: after the first chunk, one
  // that starts with an X: field starts with a tune.
  chunk.atTune = handedOut_ && pending_.starts_with("X:");
  handedOut_ = true;
  if (cut == 0) {
    chunk.text.swap(pending_);
    pending_.clear();
  } else {
    chunk.text.assign(pending_, 0, cut);
    pending_.erase(0, cut);
  }
  lastTune_ = lastLine_ = 0;
  return true;
}

bool TuneChunks::fill() {
  if (atEnd_) return false;
  std::size_t block = std::min<std::size_t>(std::max<std::size_t>(size_, 1), 1 << 16);
  std::size_t had = pending_.size();
  pending_.resize(had + block);
  std::size_t got = in_.read(pending_.data() + had, block);
  pending_.resize(had + got);
  atEnd_ = got == 0;
  // Only what was just read is searched: "X:" right after a CR or an LF (the
  // "X" of the last block seen again, its ":" may have come now).
  const char* text = pending_.data();
  std::size_t end = pending_.size();
  for (std::size_t at = had > 1 ? had - 1 : 1; at + 1 < end; ++at) {
    const void* x = std::memchr(text + at, 'X', end - 1 - at);
    if (x == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(x) - text);
    if (text[at + 1] == ':' && (text[at - 1] == '\n' || text[at - 1] == '\r')) lastTune_ = at;
  }
  for (std::size_t at = end; at > had; --at) {
    if (text[at - 1] == '\n') {
      lastLine_ = at;
      break;
    }
  }
  return !atEnd_;
}

}  // namespace kry
