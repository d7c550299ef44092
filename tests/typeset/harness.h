// Helpers for the end-to-end tests of abctab2ps: a scratch directory per
// test, running commands in it, and reading the PostScript back through
// Ghostscript.
#ifndef KRY_TESTS_TYPESET_HARNESS_H
#define KRY_TESTS_TYPESET_HARNESS_H

#include <string>
#include <vector>

namespace e2e {

struct Ran {
  int status = -1;
  std::string out, err;
};

// A fresh directory, removed with everything in it when the object goes.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void write(const std::string& name, const std::string& text) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  std::vector<std::string> files() const;
  // Runs a shell command line in the directory, stdin from /dev/null, with
  // the abctab2ps directory first on PATH.
  Ran run(const std::string& cmdline) const;

 private:
  std::string dir_;
};

bool have(const std::string& program);
std::string quote(const std::string& s);

// Ghostscript: renders without error; number of pages; the fret numbers of
// the first tab staff of page 1, left to right, top course first.
bool gsrenders(const std::string& ps);
int gspages(const std::string& ps);
std::vector<std::string> firstfrets(const std::string& ps);

// The fret numbers of the first bar of the first tab-voice line of a tune
// as kry writes it, in order, course 1 first within a chord.
std::vector<std::string> firstbar(const std::string& tune);

}  // namespace e2e

#endif
