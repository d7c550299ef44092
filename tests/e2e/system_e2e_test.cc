// Whole runs that need more than a case file: hostile bytes and file system
// states, and two runs in one directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
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
  while (mega.size() + 10 <= (1U << 20)) mega += "GABc d2B2|";
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
      {"a line over a megabyte", tune("X:1\nT:Long\nK:G\n" + mega + "GABc d2B2|\n"), 1,
       "STOP A line longer than 1 MiB is no line of a tune; break it into lines.\n", "", false},
      {"a line over a megabyte with no line end at all", tune("X:1\nK:G\n" + mega + mega), 1,
       "STOP A line longer than 1 MiB is no line of a tune; break it into lines.\n", "", false},
      {"NUL bytes and bad UTF-8", tune("X:1\nK:C\n" + std::string("C\0D\xff\xfe|\xc3(E\x80", 11) + "\n"), 0, "STOP  \n",
       "[V:G] ,,,,d1 ,,,a |(,,,c \r\n", false},
      {"a named pipe as the tune file", [](const Sandbox& box) { ::mkfifo(box.path("tune.abc").c_str(), 0644); }, 1,
       "STOP  tune.abc is a pipe (FIFO), not a tune file.\n", "", false},
      {"a link to no file as the tune file", [](const Sandbox& box) { fs::create_symlink("gone.abc", box.path("tune.abc")); }, 1,
       "STOP  tune.abc is a link to a file that is not there.\n", "", false},
      {"a device as the tune file", [](const Sandbox& box) { fs::create_symlink("/dev/zero", box.path("tune.abc")); }, 1,
       "STOP  tune.abc is a device, not a tune file.\n", "", false},
      {"an unreadable tune file", fixed(fs::perms::none, fs::perms::all), 1,
       "STOP  tune.abc can't be read: permission denied.\n", "", true},
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

// A NUL byte is named at its own line and tune, and left out of both staves.
TEST(HostileInput, ANulByteIsNamedWhereItIs) {
  std::string book;
  for (int k = 1; k <= 20; ++k) book += "X:" + std::to_string(k) + "\nT:Tune " + std::to_string(k) + "\nK:G\nGABc|\n\n";
  book += "X:21\nT:Last\nK:G\nGA" + std::string(1, '\0') + "Bc|\n";
  Sandbox box;
  box.write("book.abc", book);
  RunResult result = box.run({"book"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find(" Line 104, tune 21 (Last): a NUL byte (character code 0) is left out of the line\n"),
            std::string::npos) << result.out;
  EXPECT_NE(box.typesetterTune().find("[V:M] GABc|\r\n"), std::string::npos);
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

// ---- output that can't be written, and runs ended from outside ----

// A run whose standard output or error stream is on a full disk fails.
TEST(Output, AFailedWriteIsAFailedRun) {
  for (const std::string stream : {"", "2"}) {
    SCOPED_TRACE(stream + ">/dev/full");
    Sandbox box;
    box.write("tune.abc", kTune);
    int in = -1;
    pid_t pid = box.start({"tune"}, in, {"/bin/sh", "-c", "exec \"$0\" \"$@\" " + stream + ">/dev/full"});
    ::close(in);
    RunResult result = box.wait(pid);
    EXPECT_EQ(result.status, 2);
    if (stream.empty()) { EXPECT_TRUE(result.err.ends_with("\nkry: cannot write standard output\n")) << result.err; }
  }
}

// GCC says it builds with the address sanitizer one way, clang another.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KRY_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KRY_ADDRESS_SANITIZER 1
#endif

// Too little memory for a long line is a clear message and status 2, not an abort.
TEST(Output, OutOfMemoryIsAClearEnd) {
#if defined(KRY_ADDRESS_SANITIZER)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit gives";
#endif
  if (!fs::exists("/usr/bin/prlimit")) GTEST_SKIP() << "no prlimit";
  std::string line;
  while (line.size() + 10 <= (1U << 20)) line += "GABc d2B2|";
  Sandbox box;
  box.write("tune.abc", "X:1\nK:G\n" + line + "\n");
  int in = -1;
  pid_t pid = box.start({"tune"}, in, {"/usr/bin/prlimit", "--as=16000000"});
  ::close(in);
  RunResult result = box.wait(pid);
  EXPECT_EQ(result.status, 2) << result.err;
  EXPECT_EQ(result.err, "kry: out of memory: the tune file is too large to convert with the memory this machine has\n");
}

// The names in a folder.
Words folderHolds(const std::string& folder) {
  Words names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return names;
}

// Waits up to 10 s for a folder to be empty, or to hold something; true when it came to be so.
bool waitForFolder(const std::string& folder, bool empty) {
  for (int tries = 0; tries < 2000; ++tries) {
    if (folderHolds(folder).empty() == empty) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// A book for our own typesetter, with abcm2ps replaced by a stand-in that
// runs `engraver` (a shell script's body); TMPDIR is tmp/ in the sandbox.
struct Typesetting {
  Sandbox box;
  std::string tmp = box.path("tmp");
  explicit Typesetting(const std::string& engraver) {
    fs::create_directories(tmp);
    box.write("book.abc", readFile(sourceDir() + "/tests/corpus/morris.abc"));
    box.useTypesetter(ABCTAB2PS_BINARY);
    box.write("bin/abcm2ps", "#!/bin/sh\n" + engraver + "\n");
    fs::permissions(box.path("bin/abcm2ps"), fs::perms::owner_all);
  }
};

// kry ended by a signal while its typesetter runs ends the typesetter, and
// the typesetter's temporary folder goes with it.
TEST(Signals, EndingKryEndsTheTypesetterAndLeavesNothingInTmp) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    Typesetting set("exec sleep 30");
    int in = -1;
    pid_t pid = set.box.start({"book", "x=1-3"}, in, {"/usr/bin/env", "TMPDIR=" + set.tmp});
    ::close(in);
    ASSERT_TRUE(waitForFolder(set.tmp, false));  // the typesetter has made its folder
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(pid, sig);
    EXPECT_EQ(set.box.wait(pid).status, 128 + sig);
    EXPECT_EQ(folderHolds(set.tmp), Words{});
    EXPECT_FALSE(fs::exists(set.box.path("KRY97.LCK")));
  }
}

// The output of `kry book skip 2>&1` read by a reader that stops early (the
// typesetting command's line, as `| head` stops): kry and the typesetter are
// ended by SIGPIPE, and nothing is left in TMPDIR.
TEST(Signals, AClosedOutputPipeLeavesNothingInTmp) {
  Typesetting set("sleep 1\nexec /usr/bin/abcm2ps \"$@\"");
  int in = -1;
  pid_t pid = set.box.start({"book", "skip", "x=1-3"}, in,
                            {"/usr/bin/env", "TMPDIR=" + set.tmp, "/bin/sh", "-c", "\"$0\" \"$@\" 2>&1 | sed '/abctab2ps temp.abc/q'"});
  ::close(in);
  RunResult result = set.box.wait(pid);
  EXPECT_NE(result.out.find(" abctab2ps temp.abc -1 -O book"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("wrote book.ps"), std::string::npos) << result.out;  // the reader stopped before
  EXPECT_TRUE(waitForFolder(set.tmp, true)) << folderHolds(set.tmp).front();
}

// ---- the PDF ----

// Whether a program is on PATH, for a test that needs it.
bool onPath(const std::string& name) {
  return std::system(("command -v " + name + " > /dev/null 2>&1").c_str()) == 0;
}

// Every font of the PDF is embedded, as pdffonts lists them: the frets and
// the TAB mark print the same on any machine.
TEST(Pdf, EmbedsEveryFont) {
  for (const char* program : {"gs", "pdffonts", "abcm2ps"})
    if (!onPath(program)) GTEST_SKIP() << program << " is not installed";
  Sandbox box;
  box.useTypesetter(ABCTAB2PS_BINARY);
  box.write("tune.abc", "X:1\nT:Fonts\nC:Trad.\nM:4/4\nL:1/8\nK:G\n\"G\"GABc d2B2|\"D\"A4 G4|]\nW:words\n");
  RunResult result = box.run({"tune", "pdf"});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  std::string listing;
  if (FILE* pipe = ::popen(("pdffonts " + box.path("tune.pdf")).c_str(), "r")) {
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;) listing.append(block, got);
    ::pclose(pipe);
  }
  std::vector<std::string> rows = lines(listing);
  ASSERT_GT(rows.size(), 2U) << listing;  // a heading, a rule, and a font at least
  std::size_t emb = rows[0].find("emb");
  ASSERT_NE(emb, std::string::npos) << listing;
  for (std::size_t k = 2; k < rows.size(); ++k) EXPECT_EQ(rows[k].substr(emb, 3), "yes") << rows[k];
}

// With the temporary folder on another file system, the PDF and the PostScript
// file are copied beside their names and renamed; a link of the PDF's
// in-between name stops the run, naming it, and its target is kept.
TEST(Pdf, FromAnotherFileSystem) {
  for (const char* program : {"gs", "abcm2ps"})
    if (!onPath(program)) GTEST_SKIP() << program << " is not installed";
  struct stat shm {}, here {};
  Sandbox box;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(box.dir().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
    GTEST_SKIP() << "no other file system at /dev/shm";
  std::string tmp = "/dev/shm/kry-e2e-XXXXXX";
  ASSERT_NE(::mkdtemp(tmp.data()), nullptr);
  box.useTypesetter(ABCTAB2PS_BINARY);
  box.write("tune.abc", kTune);
  box.write("other/victim.txt", "precious");
  for (bool linked : {false, true}) {
    SCOPED_TRACE(linked ? "a link of the in-between name" : "nothing in the way");
    if (linked) fs::create_symlink("other/victim.txt", box.path("tune.pdf.part"));
    int in = -1;
    pid_t pid = box.start({"tune", "pdf"}, in, {"/usr/bin/env", "TMPDIR=" + tmp});
    ::close(in);
    RunResult result = box.wait(pid);
    EXPECT_EQ(result.status, linked ? 2 : 0) << result.out << result.err;
    EXPECT_EQ(box.read("tune.ps").substr(0, 4), "%!PS");
    if (!linked) { EXPECT_EQ(box.files(), (Words{"other", "tune.abc", "tune.pdf", "tune.ps"})); }
    if (!linked) { EXPECT_EQ(box.read("tune.pdf").substr(0, 4), "%PDF"); }
    if (linked) { EXPECT_NE(result.err.find("kry: tune.pdf.part is a symbolic link"), std::string::npos) << result.err; }
    EXPECT_EQ(box.read("other/victim.txt"), "precious");
    EXPECT_EQ(folderHolds(tmp), Words{});
  }
  fs::remove_all(tmp);
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
