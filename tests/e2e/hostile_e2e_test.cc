// Hostile input, each case a whole kry run: empty and blank files, binary
// junk, odd line ends, a megabyte on one line, names that are no readable
// file, a directory kry may not write in, a TEMP.ABC that is a directory.
// Every case ends with a clear message and the exit status of its kind, the
// user's tune file byte for byte as it was, and no TEMP.ABC replaced without
// the user's consent.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "harness.h"
#include "texts.h"

namespace kry_test {
namespace {

namespace fs = std::filesystem;

const std::string kNormalEnd = "STOP  \n";
const std::string kNoSuchFile = "STOP  No such input file.\n";
const std::string kOlderFinal = "an older final tune, kept until the user agrees\r\n";

// Who runs kry. File permissions don't stop root, so the cases about them run
// kry as an unprivileged user when the tests run as root.
enum class User { kSame, kUnprivileged };

struct Hostile {
  std::string name;
  std::function<void(Sandbox&)> setUp;  // makes the tune file (or what stands for it)
  std::vector<std::string> args;
  std::optional<std::string> input;
  int status;
  std::string err;     // the whole error stream
  std::string outHas;  // a piece standard output must hold
  bool typeset;        // whether the typesetter ran
  User user;
  // What the typesetter must have been handed, or a part of it; empty: not checked.
  std::string tuneHas;
};

// Test names and failure reports show a case by its name.
void PrintTo(const Hostile& hostile, std::ostream* out) { *out << hostile.name; }

std::function<void(Sandbox&)> tuneFile(const std::string& content) {
  return [content](Sandbox& box) { box.write("tune.abc", content); };
}

// Every byte value once, in order, on music lines: the double quote (34)
// opens an annotation that hides every letter after it.
std::string everyByte() {
  std::string bytes = "X:1\nK:C\n";
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes + "\n";
}

// The bytes 128 to 255, then notes, a rest and a letter that is no note.
std::string highBytesThenNoNote() {
  std::string bytes = "X:1\nK:C\n";
  for (int b = 128; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes + "GAz y\n";
}

std::string megabyteLine() {
  std::string line;
  while (line.size() < (1U << 20)) line += "GABc d2B2|";
  return line;
}

const std::string kJunkLine = std::string("C\0D\xff\xfe|\xc3(E\x80", 11);

std::vector<Hostile> cases() {
  return {
      {"EmptyFile", tuneFile(""), {"tune"}, std::nullopt, 0, kNormalEnd, " TUNE.ABC processed.", true, User::kSame, ""},
      {"OnlyBlankLines", tuneFile("\n\n   \r\n\r\r\n"), {"tune"}, std::nullopt, 0, kNormalEnd,
       " TUNE.ABC processed.", true, User::kSame, ""},
      {"NoTuneNumberNoKey", tuneFile("GABc|cBAG|\n"), {"tune"}, std::nullopt, 0, kNormalEnd,
       " TUNE.ABC processed.", true, User::kSame, "[V:M] GABc|cBAG|\r\n[V:G] "},
      {"CarriageReturnLineEnds", tuneFile("X:1\rT:Returns\rK:G\rGABc|\r"), {"tune"}, std::nullopt, 0,
       kNormalEnd, " TUNE.ABC processed.", true, User::kSame,
       "\r\nX:1\r\nT:Returns\r\nK:G\r\n"},
      {"MegabyteOnOneLine", tuneFile("X:1\nK:G\n" + megabyteLine() + "\n"), {"tune"}, std::nullopt, 0,
       kNormalEnd, " TUNE.ABC processed.", true, User::kSame, "[V:M] " + megabyteLine() + "\r\n"},
      {"NulBytesAndInvalidUtf8", tuneFile("X:1\nK:C\n" + kJunkLine + "\n"), {"tune"}, std::nullopt, 0,
       kNormalEnd, " TUNE.ABC processed.", true, User::kSame, "[V:M] " + kJunkLine + "\r\n"},
      {"EveryByteValue", tuneFile(everyByte()), {"tune"}, std::nullopt, 0, kNormalEnd,
       " TUNE.ABC processed.", true, User::kSame, "\r\n[V:M] \x0e\x0f"},
      {"HighBytesThenALetterThatIsNoNote", tuneFile(highBytesThenNoNote()), {"tune"}, std::nullopt, 1,
       kNormalEnd, "\n Note not available:  0 y  \n", false, User::kSame, ""},
      {"AccidentalEndsTheLine", tuneFile("X:1\nK:C\nCDE^\n"), {"tune"}, std::nullopt, 1,
       "STOP Bad accidental\n", "", false, User::kSame, ""},
      {"ChordNeverCloses", tuneFile("X:1\nK:C\n[]CEG\n"), {"tune"}, std::nullopt, 1,
       "STOP Incomplete chord\n", "", false, User::kSame, ""},
      {"DirectoryAsTuneFile", [](Sandbox& box) { fs::create_directory(box.path("tune.abc")); }, {"tune"},
       std::nullopt, 1, kNoSuchFile, "", false, User::kSame, ""},
      {"NamedPipeAsTuneFile", [](Sandbox& box) { ::mkfifo(box.path("tune.abc").c_str(), 0644); }, {"tune"},
       std::nullopt, 1, kNoSuchFile, "", false, User::kSame, ""},
      {"TuneFileNamedLikeAWorkFile", [](Sandbox& box) { box.write("TMPIN.TMP", "X:1\nK:G\nGABc|\n"); },
       {"TMPIN.TMP"}, std::nullopt, 1,
       "STOP  The tune file can't be named TMPIN.TMP, kry's own work file.\n", "", false, User::kSame, ""},
      {"UnreadableTuneFile",
       [](Sandbox& box) {
         box.write("tune.abc", "X:1\nK:G\nGABc|\n");
         fs::permissions(box.path("tune.abc"), fs::perms::none);
         fs::permissions(box.dir(), fs::perms::all);
       },
       {"tune"}, std::nullopt, 1, kNoSuchFile, "", false, User::kUnprivileged, ""},
      {"ReadOnlyCurrentDirectory",
       [](Sandbox& box) {
         box.write("tune.abc", "X:1\nK:G\nGABc|\n");
         fs::permissions(box.path("tune.abc"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         fs::permissions(box.dir(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
       },
       {"tune"}, std::nullopt, 2,
       "kry: cannot create work files in the current directory: Permission denied\n", "", false,
       User::kUnprivileged, ""},
      {"FinalTuneIsADirectoryNoReply",
       [](Sandbox& box) {
         box.write("tune.abc", "X:1\nK:G\nGABc|\n");
         fs::create_directory(box.path("TEMP.ABC"));
       },
       {"tune"}, std::nullopt, 2,
       "kry: no reply to the overwrite question: standard input is at its end\n",
       " The file TEMP.ABC   \n already exists.", false, User::kSame, ""},
      {"FinalTuneIsADirectoryAgreed",
       [](Sandbox& box) {
         box.write("tune.abc", "X:1\nK:G\nGABc|\n");
         fs::create_directory(box.path("TEMP.ABC"));
       },
       {"tune"}, std::string("c\n"), 2, "kry: cannot write TEMP.ABC\n", " The file TEMP.ABC   \n", false, User::kSame, ""},
      {"FinalTuneIsADirectoryFixUpAgreed",
       [](Sandbox& box) {
         box.write("tune.abc", "X:1\nK:G\nGABc|\n");
         fs::create_directory(box.path("TEMP.ABC"));
       },
       {"tune", "f"}, std::string("c\n"), 2, "kry: cannot create TEMP.ABC\n", " The file TEMP.ABC   \n", false, User::kSame, ""},
  };
}

// The prefix that runs kry as user nobody, when the tests run as root.
std::optional<std::vector<std::string>> unprivilegedPrefix() {
  if (::geteuid() != 0) return std::vector<std::string>{};
  if (::access("/usr/bin/setpriv", X_OK) != 0) return std::nullopt;
  return std::vector<std::string>{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
}

RunResult runCase(Sandbox& box, const Hostile& c) {
  if (c.user == User::kSame) return box.run(c.args, c.input);
  std::unique_ptr<StartedRun> run = box.start(c.args, *unprivilegedPrefix());
  if (c.input) run->send(*c.input);  // a run that stops early never reads it
  run->closeInput();
  return run->wait();
}

// What lies at the tune file's place, byte for byte; "" for no plain file.
std::string tuneBytes(const Sandbox& box, const std::string& name) {
  std::error_code ec;
  return fs::is_regular_file(box.path(name), ec) ? box.read(name) : std::string();
}

std::string tuneName(const Hostile& c) { return c.args[0].find('.') == std::string::npos ? c.args[0] + ".abc" : c.args[0]; }

class HostileInput : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileInput, EndsClearlyWithItsStatusAndLeavesTheTuneFileAlone) {
  const Hostile& c = GetParam();
  if (c.user == User::kUnprivileged && !unprivilegedPrefix()) GTEST_SKIP() << "no way to run as another user";
  Sandbox box;
  c.setUp(box);
  std::string name = tuneName(c);
  std::string before = tuneBytes(box, name);

  RunResult result = runCase(box, c);

  EXPECT_EQ(result.status, c.status) << result.out << result.err;
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.out.rfind(banner(), 0), 0U) << result.out;
  EXPECT_NE(result.out.find(c.outHas), std::string::npos) << result.out;
  EXPECT_EQ(tuneBytes(box, name), before);
  EXPECT_EQ(box.typesetterArgs().has_value(), c.typeset);
  if (!c.tuneHas.empty()) {
    EXPECT_NE(box.typesetterTune().find(c.tuneHas), std::string::npos);
  }
  EXPECT_FALSE(box.exists("KRY97.LCK"));
  if (c.status == 0) {
    EXPECT_EQ(box.files(), (std::vector<std::string>{name}));
  }
}

// The same input with an older TEMP.ABC in the directory and a reply that
// refuses: the older TEMP.ABC stays as it was, whatever the input did.
class OlderFinalTune : public ::testing::TestWithParam<Hostile> {};

TEST_P(OlderFinalTune, SurvivesARefusal) {
  const Hostile& c = GetParam();
  if (c.user == User::kUnprivileged && !unprivilegedPrefix()) GTEST_SKIP() << "no way to run as another user";
  Sandbox box;
  box.write("TEMP.ABC", kOlderFinal);  // before the case may make the directory read-only
  c.setUp(box);
  Hostile refusing = c;
  refusing.input = "n\n";

  RunResult result = runCase(box, refusing);

  EXPECT_EQ(box.read("TEMP.ABC"), kOlderFinal);
  if (c.status == 0) {
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "STOP Processing halted!\n");
  } else {
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.err, c.err);
  }
  EXPECT_FALSE(box.typesetterArgs());
}

std::string caseName(const ::testing::TestParamInfo<Hostile>& info) { return info.param.name; }

// The cases where TEMP.ABC is not itself the hostile input.
std::vector<Hostile> casesWithAFinalTuneFree() {
  std::vector<Hostile> free;
  for (const Hostile& c : cases())
    if (c.name.rfind("FinalTuneIsADirectory", 0) != 0) free.push_back(c);
  return free;
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileInput, ::testing::ValuesIn(cases()), caseName);
INSTANTIATE_TEST_SUITE_P(Cases, OlderFinalTune, ::testing::ValuesIn(casesWithAFinalTuneFree()), caseName);

}  // namespace
}  // namespace kry_test
