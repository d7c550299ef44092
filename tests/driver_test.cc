// A whole run in-process, on a platform kept in memory: the ways a run meets
// a file system or a program that fails it, which a real directory can't be
// made to do on demand. Whole runs of the binary are in tests/e2e/.
#include "run/driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "base/stop.h"
#include "fuzz/fuzz_support.h"

namespace kry {
namespace {

// Files in a map; programs that succeed, fail or can't be started as told
// (Ghostscript writing its PDF when it succeeds); no reply to a question.
class FakePlatform : public Platform {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> refused;             // names that can't be created, shared or renamed to
  std::map<std::string, int> statusOf;       // a program's exit status; kNotStarted for none
  bool busy = false;
  std::map<std::string, FileKind> kinds;     // names that are not regular files

  bool exists(const std::string& name) override { return files.contains(name) || kinds.contains(name); }
  FileKind kindOf(const std::string& name, bool) override {
    return kinds.contains(name) ? kinds[name] : files.contains(name) ? FileKind::kRegular : FileKind::kMissing;
  }
  bool copy(const std::string& from, const std::string& to) override {
    if (!files.contains(from) || refused.contains(to)) return false;
    files[to] = files[from];
    return true;
  }
  bool sameFile(const std::string& a, const std::string& b) override { return a == b; }
  void remove(const std::string& name) override { files.erase(name); }
  std::unique_ptr<ByteSource> openRead(const std::string& name) override {
    if (!files.contains(name)) return nullptr;
    return std::make_unique<kry_fuzz::Trickle>(files[name]);
  }
  std::unique_ptr<LineSink> create(const std::string& name) override {
    if (refused.contains(name)) return nullptr;
    files[name].clear();
    return std::make_unique<Sink>(files[name]);
  }
  bool isFolder(const std::string& name) override { return name == "."; }
  // The typesetter writes the PostScript file when it succeeds.
  int runProgram(const std::vector<std::string>& args, const ErrorLineTaker&) override {
    int status = statusOf.contains(args[0]) ? statusOf[args[0]] : 0;
    if (status == 0 && args[0] == "abctab2ps") files[args[4] + ".ps"] = "%!PS";
    return status;
  }
  std::optional<std::string> makeTempFolder() override { return "tmp"; }
  void removeFolder(const std::string& folder) override {
    std::erase_if(files, [&](const auto& file) { return file.first.starts_with(folder + "/"); });
  }
  // Ghostscript writes what `pdf` holds when it succeeds.
  int runProgramIn(const std::vector<std::string>& args, const std::string& folder, const std::string&) override {
    int status = runProgram(args, nullptr);
    if (status == 0 && args[0] == "gs") files[folder + "/pages.pdf"] = pdf;
    return status;
  }
  std::string pdf = "%PDF-1.7";
  bool rename(const std::string& from, const std::string& to) override {
    if (!files.contains(from) || refused.contains(to)) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  std::optional<std::string> readReply() override { return std::nullopt; }
  void lockDirectory() override {
    if (busy) throw Stop("busy", kExitStopped);
  }
  void unlockDirectory() override {}

 private:
  struct Sink : LineSink {
    explicit Sink(std::string& text) : text(text) {}
    void put(std::string_view head, std::string_view tail) override { text.append(head).append(tail).append("\r\n"); }
    std::string& text;
  };
};

// The end of a run in a few words: the stop line, or "done"; the files left, sorted.
std::string runOn(FakePlatform& platform, const std::vector<std::string>& args, std::string& said) {
  std::ostringstream out;
  std::string end = "done";
  try {
    run(args, platform, out);
  } catch (const Stop& stop) {
    out << stop.said();
    end = stop.errorLine();
  }
  said = out.str();
  for (const auto& [name, text] : platform.files) end += " " + name;
  return end;
}

TEST(Run, MeetsAFailingPlatformWithAClearEnd) {
  const std::string reel = "X:1\nT:Reel\nK:G\nGABc|\n";
  struct Row {
    std::string what;
    std::vector<std::string> args;
    std::function<void(FakePlatform&)> setUp;
    std::string end, said;  // how it ended, with the files left; a piece of what it said
  };
  const std::vector<Row> rows = {
      {"the converted tune can't be made", {"reel"}, [](FakePlatform& p) { p.refused.insert("KRY97.ABC"); },
       "kry: cannot create KRY97.ABC TMPIN.TMP reel.abc", ""},
      {"the fixed-up tune can't be made", {"reel", "f"}, [](FakePlatform& p) { p.refused.insert("KRY97.FIX"); },
       "kry: cannot create KRY97.FIX TMPIN.TMP reel.abc", ""},
      {"another run holds the directory", {"reel"}, [](FakePlatform& p) { p.busy = true; }, "STOP busy reel.abc", ""},
      {"the PDF made but not named: no half PDF", {"reel", "pdf"}, [](FakePlatform& p) { p.refused.insert("reel.pdf"); },
       "STOP No PDF written: the PDF could not be named reel.pdf. reel.abc reel.ps", "reel.ps is kept"},
      {"no Ghostscript", {"reel", "pdf"}, [](FakePlatform& p) { p.statusOf["gs"] = kNotStarted; },
       "STOP No PDF written: Ghostscript (gs) could not be started; install the package ghostscript. reel.abc reel.ps",
       " Ghostscript (gs) could not be started; install the package ghostscript; the PostScript file reel.ps is kept.\n"},
      {"Ghostscript succeeds but writes no PDF", {"reel", "pdf"}, [](FakePlatform& p) { p.pdf = "<html>"; },
       "STOP No PDF written: gs wrote no PDF. reel.abc reel.ps", "reel.ps is kept"},
      {"Ghostscript fails: what it wrote is not moved into place", {"reel", "pdf"},
       [](FakePlatform& p) { p.statusOf["gs"] = 1; }, "STOP No PDF written: gs failed with exit status 1. reel.abc reel.ps", ""},
      {"a work file that is a link stops the run before anything is written", {"reel"},
       [](FakePlatform& p) { p.kinds["KRY97.ABC"] = FileKind::kLink; },
       "kry: KRY97.ABC is a symbolic link, not a work file of kry's own; nothing was written through it. Remove it, "
       "or run kry in another folder. reel.abc", ""},
      {"a final tune that is a folder stops the run before anything is written", {"reel"},
       [](FakePlatform& p) { p.kinds["TEMP.ABC"] = FileKind::kFolder; },
       "kry: TEMP.ABC is a folder, not a work file of kry's own; nothing was written through it. Remove it, "
       "or run kry in another folder. reel.abc", ""},
      {"a tune file that is a folder", {"reel"}, [](FakePlatform& p) { p.files.erase("reel.abc"); p.kinds["reel.abc"] = FileKind::kFolder; },
       "STOP  reel.abc is a folder, not a tune file.", ""},
  };
  for (const Row& row : rows) {
    FakePlatform platform;
    platform.files["reel.abc"] = reel;
    row.setUp(platform);
    std::string said;
    EXPECT_EQ(runOn(platform, row.args, said), row.end) << row.what;
    EXPECT_NE(said.find(row.said), std::string::npos) << row.what << "\n" << said;
    if (!platform.kinds.contains("reel.abc")) { EXPECT_EQ(platform.files["reel.abc"], reel) << row.what; }
  }
}

}  // namespace
}  // namespace kry
