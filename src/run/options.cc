#include "run/options.h"

#include <array>
#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "run/messages.h"
#include "base/stop.h"
#include "base/abc.h"
#include "base/contract.h"
#include "base/text.h"

namespace kry {
namespace {

// Number options are read from their first eight characters, like a field on a form.
constexpr std::size_t kNumberWidth = 8;
// The option key: the first six characters, upper-cased.
constexpr std::size_t kKeyWidth = 6;
// The largest scale the typesetter takes.
constexpr auto kLargestScale = static_cast<float>(contract::kLargestScale);


// Every character of a number option must be a digit, "-" or "."; "+" may only lead.
bool passesCharacterTest(const std::string& arg) {
  std::string_view used = trimRight(arg);
  char first = arg.empty() ? ' ' : arg[0];
  if (!(first == '-' || first == '+' || first == '.' || isDigit(first))) return false;
  for (std::size_t i = 1; i < used.size(); ++i)
    if (!(used[i] == '-' || used[i] == '.' || isDigit(used[i]))) return false;
  return true;
}

std::string illegalLines(const std::string& arg) {
  return " Illegal option " + fixedField(arg, kNumberWidth) + "\n" + kTypeForHelp + "\n";
}

[[noreturn]] void illegalOption(const std::string& arg) { throw Stop::refusal(illegalLines(arg)); }

[[noreturn]] void unreadable(const std::string& field) {
  throw Stop::ioError("cannot read the number in option \"" + field + "\"");
}

// An optional sign, then digits with at most one point, and at least one digit.
bool wellFormed(std::string_view text, bool decimal) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (isDigit(text[i]))
      digits = true;
    else if (text[i] == '.' && decimal && !point)
      point = true;
    else
      return false;
  }
  return digits;
}

// The first eight characters as one number field; blanks that pad it count for nothing.
std::string numberField(const std::string& arg, bool decimal) {
  std::string field(trimRight(fixedField(arg, kNumberWidth)));
  if (!wellFormed(field, decimal)) unreadable(field);
  return field;
}

float readDecimal(const std::string& arg) {
  std::string field = numberField(arg, true);
  return std::strtof(field.c_str(), nullptr);
}

long readInteger(const std::string& arg) {
  std::string field = numberField(arg, false);
  return std::strtol(field.c_str(), nullptr, 10);
}

// The tunings a player asks for by name, as ABC notes from the lowest course up.
struct NamedTuning {
  std::string_view word, notes, name;
};
constexpr std::array<NamedTuning, 4> kTunings{{
    {"DROPD", "D,A,DGBe", "Drop D (DADGBE)"},
    {"DADGAD", "D,A,DGAd", "DADGAD"},
    {"OPENG", "D,G,DGBd", "Open G (DGDGBD)"},
    {"OPEND", "D,A,D^FAd", "Open D (DADF#AD)"},
}};

// The letter names of a tuning's notes, lowest first: "G,DAd" gives "GDAD".
std::string letterNames(std::string_view notes) {
  std::string names;
  for (std::size_t i = 0; i < notes.size(); ++i) {
    char c = notes[i];
    if (isLetter(c)) names += static_cast<char>(c & ~0x20);
    if (i + 1 < notes.size() && (c == '^' || c == '_')) {
      names += static_cast<char>(notes[i + 1] & ~0x20);
      names += c == '^' ? '#' : 'b';
      ++i;
    }
  }
  return names;
}

void readTuningOption(const std::string& arg, std::string_view notes, std::string name, Options& options) {
  std::string fault;
  options.tuning = readTuning(notes, &fault);
  if (!options.tuning)
    refuseOption(arg, arg + ": " + fault + "; give four, five or six ABC notes from the last course (the bottom line "
                      "of the tab) to the first, for example tuning=E,A,DGBe (the standard guitar) or tuning=GCEA (the ukulele).");
  options.tuningName = name.empty() ? letterNames(notes) : std::move(name);
  options.instrumentName.clear();
  options.sound.reset();
}

// A named instrument (banjo, uke, bouzouki...): its tuning, the banjo's fifth
// string short, its name and its sound.
void readInstrument(const std::string& arg, const NamedInstrument& named, Options& options) {
  readTuningOption(arg, named.notes, std::string(named.title), options);
  if (named.shortFifth) options.tuning->nut[4] = kBanjoNut;
  options.instrumentName = named.player;
  options.sound = named.sound;
}

// banjo=NOTES: five ABC notes, the short fifth string first.
void readBanjo(const std::string& arg, Options& options) {
  std::string_view notes = std::string_view(arg).substr(6);
  std::optional<Tuning> tuning = readTuning(notes);
  if (!tuning || tuning->courses != 5)
    refuseOption(arg, arg + ": a banjo tuning is five ABC notes, the short fifth string first, for example banjo=gCGcd "
                      "(double C), banjo=aD^FAd (open D) or banjo=gDGcd (sawmill).");
  const NamedInstrument& banjo = *namedInstrument("BANJO");
  readInstrument(arg, NamedInstrument{banjo.word, notes, true, banjo.sound, banjo.player, ""}, options);
  options.tuningName = "5-string banjo (" + letterNames(notes) + ")";
}

// The fret after "capo=" or "pos=" (at `from`): a whole number from `least`
// to 12; `why` tells what it is, with an example.
int readFret(const std::string& arg, std::size_t from, int least, const std::string& why) {
  std::optional<long> fret = wholeNumber(std::string_view(arg).substr(from));
  if (!fret || *fret < least || *fret > 12) refuseOption(arg, arg + ": " + why);
  return static_cast<int>(*fret);
}

// A word for the capo other than capo=N ("capo 2", "capo3", "cap=2",
// "capo:2") is refused, not read as c<#>: the line says what to type, with
// the fret the player typed when there is one.
[[noreturn]] void refuseCapoWord(const std::string& arg) {
  std::size_t digit = arg.find_first_of("0123456789");
  std::string fret = digit == std::string::npos ? "2" : arg.substr(digit, arg.find_first_not_of("0123456789", digit) - digit);
  refuseOption(arg, arg + ": type capo=" + fret + " for a capo at fret " + fret + " (the tab counts its frets from it), or c" +
                        fret + " to print the line \"Capo " + fret + "\" alone.");
}

void readTuneList(const std::string& arg, Options& options) {
  std::string fault;
  options.tuneListText = arg.substr(2);
  options.tunes = TuneList::read(options.tuneListText, &fault);
  if (!options.tunes)
    refuseOption(arg, arg + ": " + fault + "; give tune numbers, ranges or words of a title, for example x=36, "
                      "x=4-9, x=4,7,12-15 or x=rakes.");
}

// out=NAME: the PostScript file NAME.ps; a ".ps" typed at its end is not doubled.
void readOutName(const std::string& arg, Options& options) {
  std::string name = arg.substr(4);
  if (name.size() > 3 && (name.ends_with(".ps") || name.ends_with(".PS"))) name.resize(name.size() - 3);
  std::string fault = name.empty() || name == ".ps" || name == ".PS" ? "it names no file"
                      : name.back() == '/'                           ? "a name that ends in / is a folder's"
                                                                     : "";
  if (!fault.empty())
    refuseOption(arg, arg + ": " + fault + "; give the name of the PostScript file, in a folder if you like, for "
                      "example out=jigs-mandolin or out=mandolin/jigs.");
  options.out = name;
}

// A number in a form the option reader does not take ("nan", "inf", "1e309",
// "1e2"), which a program would read as one.
bool otherNumberForm(const std::string& arg) {
  if (arg.empty() || std::isspace(static_cast<unsigned char>(arg[0]))) return false;
  char* end = nullptr;
  std::strtod(arg.c_str(), &end);
  return end == arg.c_str() + arg.size();
}

void readNumber(const std::string& arg, Options& options) {
  if (!passesCharacterTest(arg) && otherNumberForm(arg))
    refuseOption(arg, arg + ": a number option is written with digits, a leading sign and a point alone: a scale above "
                            "0 and at most 4 (0.8), a transposition (2, -3) or a bottom margin (-0.5).");
  if (!passesCharacterTest(arg)) illegalOption(arg);
  bool point = arg.find('.') != std::string::npos;
  bool minus = arg.find('-') != std::string::npos;
  if (point && minus) {
    options.bottomMargin = -readDecimal(arg);
  } else if (point) {
    options.scaleFactor = readDecimal(arg);
    // The typesetter takes a scale above 0 and at most 4: refused now, before anything is converted.
    if (!(options.scaleFactor > 0.0F && options.scaleFactor <= kLargestScale))
      refuseOption(arg, arg + ": a scale is above 0 and at most 4, for example 0.8.");
    options.scaleText = trimRight(fixedField(arg, kNumberWidth));
  } else {
    long steps = readInteger(arg);
    if (std::labs(steps) > contract::kMostHalfSteps) throw Stop(kCantTranspose, kExitStopped);
    options.transposition = static_cast<int>(steps);
  }
}

}  // namespace

void refuseOption(const std::string& arg, const std::string& why) {
  throw Stop::refusal(illegalLines(arg) + " " + why + "\n");
}

ConvertSettings Options::convertSettings() const {
  ConvertSettings settings;
  settings.capo = capo;
  settings.a4 = a4;
  settings.bottomMargin = bottomMargin;
  settings.rhythmFlags = rhythmFlags;
  settings.instrument.transposition = transposition;
  settings.instrument.octaves = octaves;
  settings.instrument.mandolin = mandolin;
  settings.instrument.bOnThirdString = bOnThirdString;
  settings.tunes = tunes;
  settings.skip = skip;
  settings.instrument.capo = capoFret;
  settings.hand = hand;
  settings.chords = chords;
  settings.voice = voice;
  settings.midi = midi;
  if (hand) settings.instrument.reach = kHandReach;
  // A tuning named as one of the standard two is that instrument as it is;
  // the tenor banjo, tuned as the mandolin, keeps its name and its sound.
  if ((tuning == kStandardGuitar || tuning == kStandardMandolin) && instrumentName.empty()) {
    settings.instrument.mandolin = tuning == kStandardMandolin;
  } else if (tuning) {
    settings.instrument.tuning = tuning;
    settings.instrument.mandolin = tuning->courses == 4;
    settings.instrument.name = instrumentName;
    settings.instrument.sound = sound;
    settings.tuningName = tuningName;
  }
  return settings;
}

// octave=N: the tab's notes moved by N octaves, -2 to 2.
static void readOctave(const std::string& arg, Options& options) {
  std::string_view number = std::string_view(arg).substr(7);
  bool down = !number.empty() && number[0] == '-';
  if (!number.empty() && (number[0] == '-' || number[0] == '+')) number.remove_prefix(1);
  std::optional<long> octaves = wholeNumber(number);
  if (octaves && down) *octaves = -*octaves;
  if (!octaves || *octaves < -2 || *octaves > 2)
    refuseOption(arg, arg + ": the tab moves by -2 to 2 octaves, for example octave=1 (an octave higher) or octave=-1.");
  options.octaves = static_cast<int>(*octaves);
}

// voice=ID: the voice of each tune that is tabbed.
static void readVoiceOption(const std::string& arg, Options& options) {
  options.voice = arg.substr(6);
  if (options.voice.empty())
    refuseOption(arg, arg + ": it names no voice; give a voice's id, its name or its number in the tune, for "
                      "example voice=2 or voice=Tenor.");
}

void readOptions(const std::vector<std::string>& args, Options& options) {
  for (const std::string& arg : args) {
    std::string key = fixedField(arg, kKeyWidth);
    upcase(key, static_cast<int>(kKeyWidth));
    std::string word(trimRight(key));
    std::string whole = arg;
    upcase(whole, static_cast<int>(whole.size()));
    const NamedTuning* named = nullptr;
    for (const NamedTuning& t : kTunings)
      if (whole == t.word) named = &t;
    if (word == "F") {
      options.fixUp = true;
    } else if (word == "M") {
      options.mandolin = true;
    } else if (word == "R") {
      options.rhythmFlags = false;
    } else if (word == "DEBUG") {
      options.debug = true;
    } else if (word == "A4") {
      options.a4 = true;
    } else if (word == "B4") {
      options.bOnThirdString = true;
    } else if (named != nullptr) {
      readTuningOption(arg, named->notes, std::string(named->name), options);
    } else if (const NamedInstrument* instrument = namedInstrument(whole)) {
      readInstrument(arg, *instrument, options);
    } else if (whole.rfind("BANJO=", 0) == 0) {
      readBanjo(arg, options);
    } else if (whole.rfind("OCTAVE=", 0) == 0) {
      readOctave(arg, options);
    } else if (whole.rfind("TUNING=", 0) == 0) {
      readTuningOption(arg, std::string_view(arg).substr(7), "", options);
    } else if (whole == "PDF") {
      options.pdf = true;
    } else if (word == "SKIP") {
      options.skip = true;
    } else if (whole.rfind("CAPO=", 0) == 0) {
      options.capoFret = readFret(arg, 5, 1, "a capo sits at a fret from 1 to 12, for example capo=2.");
    } else if (whole == "POS") {
      options.hand = 0;
    } else if (whole.rfind("POS=", 0) == 0) {
      options.hand = readFret(arg, 4, 0, "the hand starts at a fret from 0 to 12, for example pos=5; pos alone lets it start anywhere.");
    } else if (key.compare(0, 2, "X=") == 0) {
      readTuneList(arg, options);
    } else if (whole.rfind("OUT=", 0) == 0) {
      readOutName(arg, options);
    } else if (whole.rfind("VOICE=", 0) == 0) {
      readVoiceOption(arg, options);
    } else if (whole == "LIST") {
      options.list = true;
    } else if (whole == "CHORDS") {
      options.chords = true;
    } else if (whole == "MIDI") {
      options.midi = true;
    } else if (whole.rfind("CAP", 0) == 0) {
      refuseCapoWord(arg);
    } else if (whole == "C10" || whole == "C11" || whole == "C12") {
      options.capo = whole.substr(1);  // the frets a capo goes to that have two digits
    } else if (key[0] == 'C') {
      options.capo = key[1] == ' ' ? "" : std::string(1, key[1]);
    } else {
      readNumber(arg, options);
    }
  }
}

}  // namespace kry
