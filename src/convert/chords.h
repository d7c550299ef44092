// Chord symbols: what a player reads in the quoted text over the melody
// ("G", "Am", "D7", "G/B", "F#m7b5", "Bbmaj7"): the root, the kind of chord
// and the note wanted in the bass, and from them the chord's notes as pitch
// classes. Pure: text in, chords out.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kry {

// A chord as its symbol names it. Pitch classes count half steps from C (0)
// to B (11); the chord's notes are written as intervals above the root, the
// root (0) first.
struct Chord {
  std::string name;            // the symbol, without blanks or the parentheses of an optional chord
  int root = 0;                // pitch class
  std::vector<int> intervals;  // half steps above the root, in the order the kind lists them
  int bass = 0;                // the pitch class wanted lowest: the root, or the note after "/"
  bool slash = false;          // the bass was named after "/"
  char bassLetter = ' ';       // the letter the bass was written with, upper case
  char spelling = ' ';         // how the root was written: '#', 'b', or ' ' for a natural
  std::size_t kindLength = 0;  // the letters of the kind in `name`, after the root

  // The chord's notes, the bass among them, each pitch class once.
  std::vector<int> pitchClasses() const;
  // Whether the perfect fifth is one of the notes a player may leave out when
  // the strings are too few: it is there, and it is not the bass.
  bool fifthOptional() const;
  // The same chord, notes and bass alike, whatever its spelling.
  bool sameAs(const Chord& other) const {
    return root == other.root && intervals == other.intervals && bass == other.bass;
  }
};

// What a quoted text over the melody is to the accompanist.
enum class SymbolKind {
  kChord,    // a chord: it gets a diagram
  kNone,     // no chord: an annotation ("^fine", "<(", "_text", ">x", "@5,10 text"),
             // "N.C.", a bass note alone ("e", "f#": old books' walking bass), nothing at all
  kUnknown,  // it reads as no chord kry knows ("H7", "Gzz"): said once a tune
};

struct Symbol {
  SymbolKind kind = SymbolKind::kNone;
  Chord chord;  // for kChord
};

// readch: reads a chord symbol, the text between its quotes. A chord in
// parentheses ("(G)", an optional chord) reads as that chord.
Symbol readch(std::string_view text);

// The chord moved by `steps` half steps, its name spelled anew: a root
// written with a flat or a sharp keeps that sign, a natural one takes the
// usual name (C# Eb F# Ab Bb); the bass keeps its letter's distance from the
// root ("D/F#" two up is "E/G#").
Chord transposed(const Chord& chord, int steps);

// The quoted texts of a music line, in order: chord symbols and annotations
// alike, a comment ("%" outside quotes) left out.
std::vector<std::string_view> quotedTexts(std::string_view line);

}  // namespace kry
