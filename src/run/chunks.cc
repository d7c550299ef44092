#include "run/chunks.h"

#include <algorithm>
#include <cstring>

#include "base/abc.h"

namespace kry {

bool TuneChunks::next(Chunk& chunk) {
  while (pending_.size() < std::max<std::size_t>(size_, 2) && fill()) {
  }
  while (lastTune_ == 0 && pending_.size() < 4 * size_ && fill()) {
  }
  std::size_t cut = lastTune_ > 0 ? lastTune_ : lastLine_;
  // A file with no line end for long: read no more of the unfinished line
  // than a line kry takes and a little, and hand it out, for the conversion
  // to refuse as too long.
  if (cut == 0) {
    std::size_t lineStart = pending_.find_last_of("\r\n");
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    while (cut == 0 && pending_.size() - lineStart <= kLongestLine && fill()) cut = lastTune_ > 0 ? lastTune_ : lastLine_;
  }
  if (pending_.empty()) return false;
  if (atEnd_ && pending_.size() < 2 * size_) cut = 0;  // the rest is too little to share out
  // Every cut is made at the start of a line: the first chunk, and one that
  // starts with an X: field, start where nothing before them is needed.
  chunk.apart = !handedOut_ || pending_.starts_with("X:");
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
  // The last line end: an LF, or a CR that no LF follows (a CR before the
  // block's last byte, so that a CR LF is never cut in two).
  for (std::size_t at = end; at > had; --at) {
    if (text[at - 1] == '\n' || (text[at - 1] == '\r' && at < end && text[at] != '\n')) {
      lastLine_ = at;
      break;
    }
  }
  return !atEnd_;
}

void eachLine(ByteSource& in, const std::function<void(std::string_view line)>& take) {
  TuneChunks chunks(in, kChunkSize);
  for (Chunk chunk; chunks.next(chunk);) {
    Lines lines(chunk.text);
    for (std::string_view line; lines.next(line);) take(line);
  }
}

}  // namespace kry
