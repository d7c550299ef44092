// A tiny MIDI reader for the tests: the notes a MIDI file plays, as note
// numbers in the order they start, whatever its tracks; nothing for bytes
// that are no MIDI file.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kry_test {

inline std::optional<std::vector<int>> midiNotes(const std::string& bytes) {
  std::size_t at = 0;
  auto byte = [&]() -> unsigned { return at < bytes.size() ? static_cast<unsigned char>(bytes[at++]) : 0x100; };
  auto number = [&](int size) {
    unsigned long n = 0;
    while (size-- > 0) n = n << 8 | (byte() & 0xFF);
    return n;
  };
  auto varying = [&] {
    unsigned long n = 0;
    for (unsigned b = 0x80; b & 0x80;) n = n << 7 | ((b = byte()) & 0x7F);
    return n;
  };
  if (bytes.compare(0, 4, "MThd") != 0) return std::nullopt;
  at = 10;
  unsigned long tracks = number(2);
  at = 14;
  std::vector<std::pair<unsigned long, int>> starts;  // tick, note
  for (unsigned long k = 0; k < tracks; ++k) {
    if (bytes.compare(at, 4, "MTrk") != 0) return std::nullopt;
    at += 4;
    unsigned long size = number(4);
    std::size_t end = at + size;
    unsigned long tick = 0;
    unsigned status = 0;
    while (at < end && at < bytes.size()) {
      tick += varying();
      unsigned b = byte();
      if (b == 0xFF || b == 0xF0 || b == 0xF7) {
        if (b == 0xFF) byte();
        at += varying();
        continue;
      }
      if (b < 0x80) --at; else status = b;
      unsigned first = byte(), second = (status & 0xE0) == 0xC0 ? 0 : byte();
      if ((status & 0xF0) == 0x90 && second > 0) starts.emplace_back(tick, static_cast<int>(first));
    }
    if (at != end) return std::nullopt;
  }
  std::stable_sort(starts.begin(), starts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<int> notes;
  for (const auto& start : starts) notes.push_back(start.second);
  return notes;
}

}  // namespace kry_test
