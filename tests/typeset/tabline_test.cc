#include "typeset/tabline.h"

#include <gtest/gtest.h>

namespace typeset {
namespace {

// A compact picture of the items: E(frets;len) R(len) B(text) T(text) >(text) \ ?(text)
std::string show(std::string_view body) {
  std::string out;
  for (const TabItem& it : scantab(body)) {
    if (!out.empty()) out += " ";
    switch (it.kind) {
      case Item::kEvent:
        out += it.chord ? "C(" : "E(";
        for (std::size_t k = 0; k < it.frets.size(); ++k) {
          if (k) out += ",";
          out += it.frets[k] < 0 ? "-" : std::to_string(it.frets[k]);
        }
        if (it.length) out += ";" + ltext(*it.length);
        if (it.times) out += "*" + ltext(*it.times);
        out += ")";
        break;
      case Item::kRest:
        out += "R(" + (it.length ? ltext(*it.length) : std::string()) + ")";
        break;
      case Item::kBar: out += "B(" + it.text + ")"; break;
      case Item::kTuplet: out += "T(" + it.text + ")"; break;
      case Item::kBroken: out += ">(" + it.text + ")"; break;
      case Item::kContinue: out += "\\"; break;
      case Item::kUnknown: out += "?(" + it.text + ")"; break;
    }
  }
  return out;
}

TEST(ScanTab, Items) {
  const struct {
    const char* body;
    const char* items;
  } rows[] = {
      // the example line kry writes for |:G2 AB [D2G2B2] ~c|
      {" |:,,a2  ,,c1 ,a  [,aaa2]  ,b1 |",
       "B(|:) E(-,-,0;2) E(-,-,2;1) E(-,0) C(-,0,0,0;2) E(-,1;1) B(|)"},
      {" ,,,,,l ,k3/2 ,,i/", "E(-,-,-,-,-,10) E(-,9;3/2) E(-,-,8;1/2)"},
      {" z2 z ,a", "R(2) R() E(-,0)"},
      {" [,aaa] 2 ,a", "C(-,0,0,0*2) E(-,0)"},
      {" [,a1aa]", "C(-,0,0,0;1)"},  // a flag digit after the first fret letter
      {" :|,a ::,a |],a [|,a ||", "B(:|) E(-,0) B(::) E(-,0) B(|]) E(-,0) B([|) E(-,0) B(||)"},
      {" [1,a |2 ,b", "E(-,0) B(|) E(-,1)"},
      {" (3,,c1 ,a ,b", "T((3) E(-,-,2;1) E(-,0) E(-,1)"},
      {" ,,c >,a ,a<<,b", "E(-,-,2) >(>) E(-,0) E(-,0) >(<<) E(-,1)"},
      {" (,a -,a) .,a", "E(-,0) E(-,0) E(-,0)"},
      {" ,a |\\", "E(-,0) B(|) \\"},
      {" ,a \\ ,b", "E(-,0) ?(\\) E(-,1)"},
      {" !trill!,a", "?(!trill!) E(-,0)"},
      {" ,a1 0 &", "E(-,0;1) ?(0&)"},
      {" 2 ,a", "E(;2) E(-,0)"},  // a note that found no course
      {" [,a", "?([) E(-,0)"},
  };
  for (const auto& r : rows) EXPECT_EQ(show(r.body), r.items) << r.body;
}

}  // namespace
}  // namespace typeset
