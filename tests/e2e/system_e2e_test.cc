// Whole runs that need more than a case file: hostile bytes and file system
// states, and two runs in one directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "support/sandbox.h"

namespace kry_test {
namespace {

using Words = std::vector<std::string>;

const std::string kTune = "X:1\nK:G\nGABc|\n";
const std::string kOlder = "an older final tune, kept until the user agrees\r\n";

// Runs kry on tune.abc, as user nobody when asked and the tests run as root (permissions don't stop root).
RunResult runTune(const Sandbox& box, bool nobody) {
  if (!nobody || ::geteuid() != 0) return box.run({"tune"});
  int in = -1;
  pid_t pid = box.start({"tune"}, in, {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  ::close(in);
  return box.wait(pid);
}

// Each ends with the status of its kind and leaves the tune file as it was.
TEST(HostileInput, EndsClearlyAndLosesNothing) {
  std::string mega;
  while (mega.size() < (1U << 20)) mega += "GABc d2B2|";
  struct Hostile {
    std::string name;
    std::function<void(const Sandbox&)> setUp;
    int status;
    std::string err, outHas;
    bool nobody;
  };
  auto tune = [](std::string text) { return [text](const Sandbox& box) { box.write("tune.abc", text); }; };
  auto fixed = [](fs::perms tuneFile, fs::perms dir) {
    return [=](const Sandbox& box) {
      box.write("tune.abc", kTune);
      fs::permissions(box.path("tune.abc"), tuneFile);
      fs::permissions(box.dir(), dir);
    };
  };
  const fs::perms rx = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec;
  const std::vector<Hostile> cases = {
      {"a megabyte on one line", tune("X:1\nK:G\n" + mega + "\n"), 0, "STOP  \n", "[V:M] " + mega + "\r\n", false},
      {"NUL bytes and bad UTF-8", tune("X:1\nK:C\n" + std::string("C\0D\xff\xfe|\xc3(E\x80", 11) + "\n"), 0, "STOP  \n",
       "[V:G] ,,,,d1 ,,,a |(,,,c \r\n", false},
      {"a named pipe as the tune file", [](const Sandbox& box) { ::mkfifo(box.path("tune.abc").c_str(), 0644); }, 1,
       "STOP  No such input file.\n", "", false},
      {"an unreadable tune file", fixed(fs::perms::none, fs::perms::all), 1, "STOP  No such input file.\n", "", true},
      {"a read-only directory", fixed(fs::perms::owner_read, rx), 2,
       "kry: cannot create work files in the current directory: Permission denied\n", "", true}};
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box;
    c.setUp(box);
    std::string before = fs::is_regular_file(box.path("tune.abc")) ? box.read("tune.abc") : "";
    RunResult result = runTune(box, c.nobody);
    EXPECT_EQ(fs::is_regular_file(box.path("tune.abc")) ? box.read("tune.abc") : "", before);
    EXPECT_EQ(box.typesetterArgs().has_value(), c.status == 0);
    EXPECT_EQ(result.status, c.status) << result.out << result.err;
    EXPECT_EQ(result.err, c.err);
    EXPECT_NE(box.typesetterTune().find(c.outHas), std::string::npos);
    if (c.status == 0) { EXPECT_EQ(box.files(), Words{"tune.abc"}); }
  }
}

// Lines end with CR LF, one pair split where the file is read in blocks (a CR as
// the 262144th byte): every line is counted once, as the place of a stop shows.
TEST(HostileInput, LineEndsSplitBetweenReadsCountOnce) {
  std::string tune = "X:1\r\nK:C\r\n%" + std::string(3125, 'x') + "\r\n";
  for (int j = 0; j < 40000; ++j) tune += "GABc|\r\n";
  ASSERT_EQ(tune.substr(262143, 2), "\r\n");
  Sandbox box;
  box.write("tune.abc", tune + "c''|\r\n");
  RunResult result = box.run({"tune"});
  EXPECT_NE(result.out.find(" Line 40004, tune 1:\n Note not available: 45 c''\n"), std::string::npos) << result.out;
}

// ---- two runs in one directory ----

const std::string kBusy = "STOP Another kry run is using this directory; try again when it has finished.\n";
const std::string kAsked = "Enter anything else to stop:  ";

// A second run is refused while the first waits at the overwrite question, and
// touches none of its work files. A signal removes the lock; SIGKILL can't, and
// its leftover blocks no later run.
TEST(DirectoryLock, OneRunAtATimeAndNoneBlockedByOneEndedBySignal) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(sig);
    Sandbox box;
    box.write("first.abc", "X:1\nT:First\nK:G\nGABc|\n");
    box.write("second.abc", "X:2\nT:Second\nK:D\nDEFG|\n");
    box.write("TEMP.ABC", kOlder);
    int in = -1;
    pid_t first = box.start({"first"}, in);
    ASSERT_TRUE(box.waitForOutput(first, kAsked));
    RunResult second = box.run({"second"});
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, kBusy);  // refused before it touched any work file, the lock file of the other run included
    EXPECT_TRUE(fs::exists(box.path("KRY97.LCK")));
    EXPECT_NE(box.read("TMPIN.TMP").find("T:First"), std::string::npos);
    ::kill(first, sig);
    EXPECT_EQ(box.wait(first).status, 128 + sig);
    ::close(in);
    EXPECT_EQ(fs::exists(box.path("KRY97.LCK")), sig == SIGKILL);
    EXPECT_EQ(box.read("TEMP.ABC"), kOlder);
    EXPECT_EQ(box.run({"second"}, "c\n").status, 0);
    EXPECT_NE(box.typesetterTune().find("T:Second"), std::string::npos);
    EXPECT_EQ(box.files(), (Words{"first.abc", "second.abc"}));
  }
}

}  // namespace
}  // namespace kry_test
