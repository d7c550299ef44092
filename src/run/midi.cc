#include "run/midi.h"

#include <algorithm>
#include <array>

#include "base/abc.h"
#include "base/contract.h"
#include "base/reader.h"
#include "base/text.h"
#include "convert/lines.h"
#include "run/messages.h"

namespace kry {
namespace {

// The sound of an instrument kry writes tab for, when it has no name, by its
// number of courses. General MIDI has no mandolin: of its plucked
// instruments the steel-string guitar comes closest to the mandolin's bright,
// short notes on steel strings (the banjo, 105, twangs too much, the harp and
// the koto are soft). The guitar is the steel-string one of folk music, not
// the classical nylon one; its music is written an octave above its sound,
// the mandolin's as it sounds. Five courses make a banjo, whose music is
// written as the guitar's.
struct CourseSound {
  int courses;
  Sound sound;
};
constexpr std::array<CourseSound, 3> kSounds{{
    {6, {25, 1}},   // acoustic guitar (steel)
    {5, {105, 1}},  // banjo
    {4, {25, 0}},   // the mandolin and other four-course instruments
}};

// The beats of rest between two tunes of the file.
constexpr long kPauseBeats = 2;

bool starts(std::string_view line, std::string_view head) { return line.substr(0, head.size()) == head; }

// A melody line as abc2midi reads it: an old chord in "+" ("+GB+", "+E3 c3 +"),
// which it takes for a decoration, goes in brackets without its blanks. The
// typesetter does the same for abcm2ps.
std::string bracketed(std::string_view line, const Symbols& symbols) {
  std::string out;
  out.reserve(line.size());
  MusicLine items(line, symbols);
  for (Item item; items.next(item);) {
    if (item.kind != ItemKind::kChord || item.text[0] != '+') {
      out += item.text;
      continue;
    }
    out += '[';
    for (char c : item.inside())
      if (c != ' ') out += c;
    out += ']';
    out += item.lengthText();
  }
  return out;
}

// ---- MIDI files ----

// A MIDI file as one list of events in time: the tick of each, from the
// file's start, and its bytes, the status byte written out.
struct Event {
  long tick;
  std::string bytes;
};
struct Midi {
  long division = 0;  // ticks a beat
  long end = 0;       // the tick its last track ends at
  std::vector<Event> events;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool left(std::size_t count) const { return at_ + count <= bytes_.size(); }
  unsigned byte() { return static_cast<unsigned char>(bytes_[at_++]); }
  unsigned long number(int size) {
    unsigned long n = 0;
    for (int k = 0; k < size; ++k) n = n << 8 | byte();
    return n;
  }
  std::optional<unsigned long> varying() {
    unsigned long n = 0;
    for (int k = 0; k < 4 && left(1); ++k) {
      unsigned b = byte();
      n = n << 7 | (b & 0x7F);
      if ((b & 0x80) == 0) return n;
    }
    return std::nullopt;
  }
  std::string_view take(std::size_t count) {
    std::string_view piece = bytes_.substr(at_, count);
    at_ += count;
    return piece;
  }
  std::size_t at() const { return at_; }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

// The bytes a channel message takes after its status: two, or one for a program or a channel pressure.
std::size_t dataBytes(unsigned status) { return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2; }

bool readTrack(std::string_view track, Midi& midi) {
  Reader in(track);
  long tick = 0;
  unsigned running = 0;
  while (in.left(1)) {
    std::optional<unsigned long> delta = in.varying();
    if (!delta || !in.left(1)) return false;
    tick += static_cast<long>(*delta);
    unsigned status = in.byte();
    std::string bytes;
    if (status == 0xFF || status == 0xF0 || status == 0xF7) {
      std::size_t from = in.at() - 1;
      if (status == 0xFF && !in.left(1)) return false;
      unsigned type = status == 0xFF ? in.byte() : 0;
      std::optional<unsigned long> size = in.varying();
      if (!size || !in.left(*size)) return false;
      in.take(*size);
      if (status == 0xFF && type == 0x2F) break;  // the end of the track: the joined file has one end
      bytes = std::string(track.substr(from, in.at() - from));
    } else {
      bool repeated = status < 0x80;  // running status: the status of the message before
      if (repeated) status = running;
      if (status < 0x80) return false;
      running = status;
      std::size_t size = dataBytes(status) - (repeated ? 1 : 0);
      if (!in.left(size)) return false;
      bytes = std::string(1, static_cast<char>(status));
      if (repeated) bytes += track[in.at() - 1];
      bytes += in.take(size);
    }
    midi.events.push_back({tick, std::move(bytes)});
  }
  midi.end = std::max(midi.end, tick);
  return true;
}

std::optional<Midi> readMidi(std::string_view bytes, std::string* fault) {
  Reader in(bytes);
  if (!in.left(14) || in.take(4) != "MThd" || in.number(4) != 6) return *fault = "no MIDI file", std::nullopt;
  in.number(2);
  unsigned long tracks = in.number(2), division = in.number(2);
  if (division == 0 || (division & 0x8000) != 0) return *fault = "a MIDI file timed in frames", std::nullopt;
  Midi midi;
  midi.division = static_cast<long>(division);
  for (unsigned long k = 0; k < tracks; ++k) {
    if (!in.left(8) || in.take(4) != "MTrk") return *fault = "a MIDI file cut short", std::nullopt;
    unsigned long size = in.number(4);
    if (!in.left(size)) return *fault = "a MIDI file cut short", std::nullopt;
    if (!readTrack(in.take(size), midi)) return *fault = "a MIDI track that can't be read", std::nullopt;
  }
  // The tracks play together: their events in the order of time, track by track at the same tick.
  std::stable_sort(midi.events.begin(), midi.events.end(), [](const Event& a, const Event& b) { return a.tick < b.tick; });
  return midi;
}

std::string bigEndian(unsigned long n, int size) {
  std::string bytes;
  for (int k = size - 1; k >= 0; --k) bytes += static_cast<char>((n >> (8 * k)) & 0xFF);
  return bytes;
}

std::string varying(unsigned long n) {
  std::string bytes(1, static_cast<char>(n & 0x7F));
  for (n >>= 7; n > 0; n >>= 7) bytes.insert(bytes.begin(), static_cast<char>(0x80 | (n & 0x7F)));
  return bytes;
}

// Reads a file of the temporary folder whole; nothing when it isn't there.
std::optional<std::string> readWhole(Platform& platform, const std::string& name) {
  std::unique_ptr<ByteSource> file = platform.openRead(name);
  if (!file) return std::nullopt;
  std::string bytes;
  char block[1 << 14];
  for (std::size_t got; (got = file->read(block, sizeof block)) > 0;) bytes.append(block, got);
  return bytes;
}

}  // namespace

MidiVoice midiVoice(const Instrument& instrument) {
  const int courses = instrument.courses().courses;
  Sound sound = kSounds[0].sound;
  for (const CourseSound& s : kSounds)
    if (s.courses == courses) sound = s.sound;
  sound = instrument.sound.value_or(sound);
  return {sound.program, instrument.shift() - 12 * sound.octavesBelow};
}

std::string midiTune(std::string_view finalTune, const MidiVoice& voice, int* tunes) {
  std::string out;
  Symbols fileSymbols, symbols;
  bool inTune = false;
  std::string_view held;  // a P: line, until it is known whether it is kry's capo and tuning line before the key field
  std::size_t melodyAt = 0;  // where the last melody line starts in `out`
  *tunes = 0;
  Lines lines(finalTune);
  for (std::string_view line; lines.next(line);) {
    bool key = isFieldLine(line) && line[0] == 'K';
    // kry's line is "P: Capo 3", "P: Tuning: ..." or "P: Tab an octave up"; a tune's own parts line stays.
    bool capo = starts(held, "P: Capo ") && held.size() > 8 && isDigit(held[8]);
    if (!held.empty() && !(key && (capo || starts(held, "P: Tuning: ") || starts(held, "P: Tab "))))
      out.append(held).append("\n");
    held = {};
    if (isFieldLine(line) && line[0] == 'P') {
      held = line;
      continue;
    }
    if (isFieldLine(line) && line[0] == 'X') {
      inTune = true;
      symbols = fileSymbols;
      out += "X:" + std::to_string(++*tunes) + "\n%%MIDI program " + std::to_string(voice.program) + "\n";
      if (voice.shift != 0) out += "%%MIDI transpose " + std::to_string(voice.shift) + "\n";
      out += "%%MIDI gchordoff\n";  // the tab plays the melody alone
      continue;
    }
    if (starts(line, contract::kTabLine) || starts(line, contract::kTabLine.substr(1, 3)) || starts(line, "%%MIDI")) continue;
    if (isFieldLine(line) && line[0] == 'U') {
      symbols.define(line.substr(2));
      if (!inTune) fileSymbols.define(line.substr(2));
    }
    // The melody as the tab plays it stands in for the line before, written as the melody staff shows it.
    if (starts(line, kAsPlayed)) {
      out.resize(melodyAt);
      line = line.substr(kAsPlayed.size());
      out += bracketed(std::string(contract::kMelodyLineStart) + std::string(line), symbols) + '\n';
      continue;
    }
    if (starts(line, contract::kMelodyLine)) melodyAt = out.size();
    out += starts(line, contract::kMelodyLine) ? bracketed(line, symbols) : std::string(line);
    out += '\n';
  }
  if (!held.empty()) out.append(held).append("\n");
  return out;
}

std::optional<std::string> joinMidi(const std::vector<std::string>& files, std::string* fault) {
  std::string track;
  long division = 0, start = 0, last = 0, end = 0;
  for (std::size_t k = 0; k < files.size(); ++k) {
    std::optional<Midi> midi = readMidi(files[k], fault);
    if (!midi) return std::nullopt;
    if (division == 0) division = midi->division;
    auto scaled = [&](long tick) { return tick * division / midi->division; };
    if (k > 0) start = end + kPauseBeats * division;
    for (const Event& event : midi->events) {
      long tick = start + scaled(event.tick);
      track += varying(static_cast<unsigned long>(tick - last)) + event.bytes;
      last = tick;
    }
    end = std::max(last, start + scaled(midi->end));
  }
  track += varying(static_cast<unsigned long>(end - last)) + std::string("\xFF\x2F\0", 3);
  return std::string("MThd") + bigEndian(6, 4) + bigEndian(0, 2) + bigEndian(1, 2) +
         bigEndian(static_cast<unsigned long>(division == 0 ? 480 : division), 2) + "MTrk" + bigEndian(track.size(), 4) + track;
}

std::optional<Stop> writeMidi(const std::string& base, const Instrument& instrument, Platform& platform,
                              std::ostream& out) {
  const std::string mid = outputName(base, "mid");
  auto failed = [&](const std::string& why) {
    out << ' ' << why << "; no MIDI file written.\n";
    out.flush();
    return Stop("No MIDI file written: " + why + ".", kExitStopped);
  };
  std::optional<std::string> tune = readWhole(platform, kFinalTune);
  if (!tune) return failed(std::string("cannot read ") + kFinalTune);
  int tunes = 0;
  std::string abc = midiTune(*tune, midiVoice(instrument), &tunes);
  if (tunes == 0) return failed("no tune to play (no X: line)");
  std::optional<std::string> made = platform.makeTempFolder();
  if (!made) return failed("cannot make a temporary folder");
  const TempFolder folder(platform, *made);
  std::unique_ptr<LineSink> file = platform.create(folder.file(kMidiTune));
  if (!file) return failed("cannot write the tune for " + std::string(kMidiProgram));
  file->putLines(abc);
  file->close();
  // Quietly, with no comment of the tune in the file, and a tempo for a tune with no Q:.
  std::vector<std::string> args{kMidiProgram, kMidiTune, "-silent", "-NCOM", "-Q", kMidiTempo};
  out << ' ' << kMidiProgram << " writes " << mid << ": the tunes as the tab plays them\n\n";
  out.flush();
  int status = platform.runProgramIn(args, folder.path(), folder.file(kMidiLog));
  if (status == kNotStarted) return failed(std::string(kMidiProgram) + " could not be started; install the package abcmidi");
  if (status != 0) return failed(std::string(kMidiProgram) + " failed with exit status " + std::to_string(status));
  std::vector<std::string> files;
  std::string stem(kMidiTune);
  stem.resize(stem.size() - 4);  // abc2midi names each tune's file after the tune file and the tune's number
  for (int k = 1; k <= tunes; ++k) {
    std::optional<std::string> bytes = readWhole(platform, folder.file(stem + std::to_string(k) + ".mid"));
    if (!bytes) return failed(std::string(kMidiProgram) + " wrote no MIDI file for tune " + std::to_string(k) + " of " + std::to_string(tunes));
    files.push_back(std::move(*bytes));
  }
  std::string fault;
  std::optional<std::string> joined = joinMidi(files, &fault);
  if (!joined) return failed(std::string(kMidiProgram) + " wrote " + fault);
  // Written whole in the folder, then moved into place.
  const std::string joinedFile = folder.file(kMidiJoined);
  if (!platform.writeBytes(joinedFile, *joined) || !platform.moveInto(joinedFile, mid)) return failed("cannot write " + mid);
  return std::nullopt;
}

}  // namespace kry
