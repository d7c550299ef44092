// Two runs in one directory: a run holds KRY97.LCK for its whole length, a
// second run that cannot take it is refused at once and touches no work
// file, and the lock file goes on every way a run ends but SIGKILL, whose
// leftover file blocks no later run.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <gtest/gtest.h>

#include "harness.h"
#include "texts.h"

namespace kry_test {
namespace {

const std::string kBusyLine =
    "STOP Another kry run is using this directory; try again when it has finished.\n";
const std::string kQuestionEnd = "Enter anything else to stop:  ";
const std::string kFirstTune = "X:1\nT:First\nK:G\nGABc|\n";
const std::string kSecondTune = "X:2\nT:Second\nK:D\nDEFG|\n";

// The lock taken by this test process, as another kry would take it.
class HeldLock {
 public:
  explicit HeldLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {}
  ~HeldLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  // Takes the lock without waiting; false when someone else holds it.
  bool tryLock() const { return fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }

 private:
  int fd_;
};

TEST(DirectoryLock, HeldLockRefusesTheRunBeforeAnyWorkFileIsTouched) {
  Sandbox box;
  box.write("tune.abc", kFirstTune);
  box.write("TMPIN.TMP", "staged by the other run\r\n");
  box.write("KRY97.ABC", "converted by the other run\r\n");
  box.write("TEMP.ABC", "final tune of the other run\r\n");
  HeldLock other(box.path("KRY97.LCK"));
  ASSERT_TRUE(other.tryLock());

  RunResult result = box.run({"tune", "m"});

  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, kBusyLine);
  EXPECT_EQ(result.out, banner());
  EXPECT_EQ(box.read("TMPIN.TMP"), "staged by the other run\r\n");
  EXPECT_EQ(box.read("KRY97.ABC"), "converted by the other run\r\n");
  EXPECT_EQ(box.read("TEMP.ABC"), "final tune of the other run\r\n");
  EXPECT_EQ(box.read("tune.abc"), kFirstTune);
  EXPECT_TRUE(box.exists("KRY97.LCK")) << "the lock file of the run holding it was removed";
  EXPECT_FALSE(box.typesetterArgs());
}

TEST(DirectoryLock, RunWaitingAtTheOverwriteQuestionKeepsASecondRunOut) {
  Sandbox box;
  box.write("first.abc", kFirstTune);
  box.write("second.abc", kSecondTune);
  box.write("TEMP.ABC", "an older final tune\r\n");

  std::unique_ptr<StartedRun> first = box.start({"first"});
  ASSERT_TRUE(first->waitForOutput(kQuestionEnd)) << "the first run never asked";
  ASSERT_TRUE(box.exists("KRY97.LCK"));
  EXPECT_FALSE(HeldLock(box.path("KRY97.LCK")).tryLock()) << "the waiting run does not hold the lock";
  std::string converted = box.read("KRY97.ABC");
  ASSERT_NE(converted.find("T:First"), std::string::npos);

  RunResult second = box.run({"second"});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.err, kBusyLine);
  EXPECT_EQ(second.out, banner());
  EXPECT_EQ(box.read("TMPIN.TMP"), kFirstTune);
  EXPECT_EQ(box.read("KRY97.ABC"), converted);
  EXPECT_EQ(box.read("TEMP.ABC"), "an older final tune\r\n");

  ASSERT_TRUE(first->send("c\n"));
  RunResult done = first->wait();
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(done.err, "STOP  \n");
  EXPECT_NE(box.typesetterTune().find("T:First"), std::string::npos);
  EXPECT_EQ(box.typesetterTune().find("T:Second"), std::string::npos);
  EXPECT_EQ(box.files(), (std::vector<std::string>{"first.abc", "second.abc"}));
}

class LockOnSignal : public ::testing::TestWithParam<int> {};

TEST_P(LockOnSignal, RunEndedBySignalRemovesTheLockFile) {
  int sig = GetParam();
  Sandbox box;
  box.write("tune.abc", kFirstTune);
  box.write("TEMP.ABC", "an older final tune\r\n");

  std::unique_ptr<StartedRun> run = box.start({"tune"});
  ASSERT_TRUE(run->waitForOutput(kQuestionEnd));
  ASSERT_TRUE(box.exists("KRY97.LCK"));
  run->signal(sig);
  RunResult ended = run->wait();

  EXPECT_EQ(ended.status, 128 + sig);
  EXPECT_FALSE(box.exists("KRY97.LCK"));
  EXPECT_EQ(box.read("TEMP.ABC"), "an older final tune\r\n");
  EXPECT_EQ(box.read("tune.abc"), kFirstTune);

  RunResult next = box.run({"tune"}, "c\n");
  EXPECT_EQ(next.status, 0) << next.err;
}

INSTANTIATE_TEST_SUITE_P(Signals, LockOnSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(sigabbrev_np(info.param));
                         });

TEST(DirectoryLock, LockFileLeftByAKilledRunDoesNotBlockTheNext) {
  Sandbox box;
  box.write("tune.abc", kFirstTune);
  box.write("TEMP.ABC", "an older final tune\r\n");

  std::unique_ptr<StartedRun> killed = box.start({"tune"});
  ASSERT_TRUE(killed->waitForOutput(kQuestionEnd));
  killed->signal(SIGKILL);
  EXPECT_EQ(killed->wait().status, 128 + SIGKILL);
  ASSERT_TRUE(box.exists("KRY97.LCK")) << "nothing can remove it after SIGKILL: the case to test";

  RunResult next = box.run({"tune"}, "c\n");
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(next.err, "STOP  \n");
  EXPECT_EQ(box.files(), (std::vector<std::string>{"tune.abc"}));
}

TEST(DirectoryLock, StaleLockFileWithContentDoesNotBlockAndIsRemoved) {
  Sandbox box;
  box.write("tune.abc", kFirstTune);
  box.write("KRY97.LCK", "left here long ago\n");
  RunResult result = box.run({"tune"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(box.files(), (std::vector<std::string>{"tune.abc"}));
}

struct Ending {
  const char* name;
  std::vector<std::string> args;
  std::optional<std::string> input;
  bool finalTuneThere;
  int status;
};

class LockOnEveryEnding : public ::testing::TestWithParam<Ending> {};

TEST_P(LockOnEveryEnding, LockFileIsGone) {
  const Ending& ending = GetParam();
  Sandbox box;
  box.write("tune.abc", kFirstTune);
  if (ending.finalTuneThere) box.write("TEMP.ABC", "an older final tune\r\n");
  RunResult result = box.run(ending.args, ending.input);
  EXPECT_EQ(result.status, ending.status) << result.err;
  EXPECT_FALSE(box.exists("KRY97.LCK"));
}

INSTANTIATE_TEST_SUITE_P(
    Endings, LockOnEveryEnding,
    ::testing::Values(Ending{"NormalEnd", {"tune"}, std::nullopt, false, 0},
                      Ending{"DebugEnd", {"tune", "debug"}, std::nullopt, false, 0},
                      Ending{"MissingFile", {"nothing"}, std::nullopt, false, 1},
                      Ending{"IllegalOption", {"tune", "x"}, std::nullopt, false, 1},
                      Ending{"TooFarTransposed", {"tune", "12"}, std::nullopt, false, 1},
                      Ending{"UnreadableNumber", {"tune", "1-2"}, std::nullopt, false, 2},
                      Ending{"RefusedOverwrite", {"tune"}, std::string("n\n"), true, 1},
                      Ending{"NoReply", {"tune"}, std::nullopt, true, 2},
                      Ending{"FixUpRefused", {"tune", "f"}, std::string("y\n"), true, 1}),
    [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kry_test
