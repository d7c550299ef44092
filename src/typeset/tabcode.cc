#include "typeset/tabcode.h"

#include <array>
#include <numeric>

#include "base/contract.h"

namespace kry::typeset {

namespace {

// Pitches of the staff lines, from course 1 (top line) down. With the
// percussion clef on line 3 a six-line staff reads E G B d f a from the
// bottom; on line 2 a four-line staff reads G B d f; on line 3 a five-line
// staff, the banjo's, reads E G B d f, its short fifth string at the bottom.
constexpr const char* kGuitarLines[] = {"a", "f", "d", "B", "G", "E"};
constexpr const char* kBanjoLines[] = {"f", "d", "B", "G", "E"};
constexpr const char* kMandolinLines[] = {"f", "d", "B", "G"};

constexpr Layout kGuitar{contract::kSixCourseClef, 6, "perc3", kGuitarLines};
constexpr Layout kBanjo{contract::kFiveCourseClef, 5, "perc3", kBanjoLines};
constexpr Layout kMandolin{contract::kFourCourseClef, 4, "perc2", kMandolinLines};

// Note values a flag can show, as fractions of a whole note, with their
// decoration suffix: base value, then one dot, then two dots.
struct Flag {
  long num, den;
  const char* kind;
};
constexpr std::array<Flag, 21> kFlags{{
    {1, 1, "1"},     {3, 2, "1d"},    {7, 4, "1dd"},
    {1, 2, "2"},     {3, 4, "2d"},    {7, 8, "2dd"},
    {1, 4, "4"},     {3, 8, "4d"},    {7, 16, "4dd"},
    {1, 8, "8"},     {3, 16, "8d"},   {7, 32, "8dd"},
    {1, 16, "16"},   {3, 32, "16d"},  {7, 64, "16dd"},
    {1, 32, "32"},   {3, 64, "32d"},  {7, 128, "32dd"},
    {1, 64, "64"},   {3, 128, "64d"}, {7, 256, "64dd"},
}};

}  // namespace

Length reduced(Length l) {
  if (l.den < 0) {
    l.num = -l.num;
    l.den = -l.den;
  }
  const long g = std::gcd(l.num, l.den);
  if (g > 1) {
    l.num /= g;
    l.den /= g;
  }
  return l;
}

// Lengths in a tune stay small fractions; a product or sum past what a
// long holds (only a tune written to break us gets there) counts as 0.
// What they make is in lowest terms, as what they are given mostly is.
Length product(Length a, Length b) {
  const long g1 = std::gcd(a.num, b.den), g2 = std::gcd(b.num, a.den);  // denominators are above 0
  Length out;
  if (__builtin_mul_overflow(a.num / g1, b.num / g2, &out.num) ||
      __builtin_mul_overflow(a.den / g2, b.den / g1, &out.den)) {
    return {0, 1};
  }
  return reduced(out);
}

Length sum(Length a, Length b) {
  const long g = std::gcd(a.den, b.den);
  long an, bn;
  Length out;
  if (__builtin_mul_overflow(a.num, b.den / g, &an) || __builtin_mul_overflow(b.num, a.den / g, &bn) ||
      __builtin_add_overflow(an, bn, &out.num) || __builtin_mul_overflow(a.den / g, b.den, &out.den)) {
    return {0, 1};
  }
  return reduced(out);
}

Length difference(Length a, Length b) { return sum(a, {-b.num, b.den}); }

bool sameLength(Length a, Length b) {
  long ab, ba;
  if (!__builtin_mul_overflow(a.num, b.den, &ab) && !__builtin_mul_overflow(b.num, a.den, &ba)) return ab == ba;
  a = reduced(a), b = reduced(b);
  return a.num == b.num && a.den == b.den;
}

std::string lengthText(Length l) {
  l = reduced(l);
  if (l.den == 1) return std::to_string(l.num);
  return std::to_string(l.num) + "/" + std::to_string(l.den);
}

bool isCourse(char c) { return c == ',' || fretOf(c).has_value(); }

const Layout& guitar() { return kGuitar; }
const Layout& mandolin() { return kMandolin; }

const Layout* layout(std::string_view clefName) {
  if (clefName == kGuitar.name) return &kGuitar;
  if (clefName == kMandolin.name) return &kMandolin;
  if (clefName == kBanjo.name) return &kBanjo;
  return nullptr;
}

std::optional<std::string> flagKind(Length length, Length unit) {
  const Length value = product(length, unit);  // in lowest terms, as the table is
  for (const Flag& f : kFlags) {
    if (value.num == f.num && value.den == f.den) return std::string(f.kind);
  }
  return std::nullopt;
}

}  // namespace kry::typeset
