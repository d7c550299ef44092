#include "harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kry_test {
namespace fs = std::filesystem;

namespace {

const char* const kFakeTypesetter =
    "#!/bin/sh\n"
    "here=$(dirname \"$0\")\n"
    "{ printf '%s\\n' \"$0\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$here/args.txt\"\n"
    "cp \"$1\" \"$here/received.abc\" 2>/dev/null\n"
    "echo ' fake abctab2ps ran'\n"
    "exit $(cat \"$here/status\" 2>/dev/null || echo 0)\n";

// The environment of a run: the sandbox's bin/ (the fake typesetter) first on PATH.
std::vector<std::string> environment(const std::string& dir) {
  std::vector<std::string> strings{"PATH=" + dir + "/bin:/usr/bin:/bin"};
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("PATH=", 0) != 0) strings.emplace_back(*e);
  return strings;
}

}  // namespace

std::string kryBinary() { return KRY_BINARY; }
std::string corpusDir() { return KRY_CORPUS_DIR; }
std::string sourceDir() { return KRY_SOURCE_DIR; }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) result.push_back(line);
  return result;
}

std::string crlf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

Sandbox::Sandbox() : binary_(kryBinary()) {
  std::string pattern = (fs::temp_directory_path() / "kry-e2e-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  fs::create_directory(dir_ + "/bin");
  write("bin/abctab2ps", kFakeTypesetter);
  fs::permissions(path("bin/abctab2ps"), fs::perms::owner_all);
}

Sandbox::~Sandbox() {
  std::error_code ec;
  // A test may have made the directory read-only.
  fs::permissions(dir_, fs::perms::owner_all, ec);
  fs::remove_all(dir_, ec);
}

void Sandbox::write(const std::string& name, const std::string& content) const {
  std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
  out << content;
}

std::string Sandbox::read(const std::string& name) const { return readFile(path(name)); }

bool Sandbox::exists(const std::string& name) const { return fs::exists(path(name)); }

std::vector<std::string> Sandbox::files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_))
    if (entry.path().filename() != "bin") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void Sandbox::setTypesetterStatus(int status) const { write("bin/status", std::to_string(status) + "\n"); }

void Sandbox::removeTypesetter() const { fs::remove(path("bin/abctab2ps")); }

std::optional<std::vector<std::string>> Sandbox::typesetterArgs() const {
  if (!exists("bin/args.txt")) return std::nullopt;
  return lines(read("bin/args.txt"));
}

RunResult Sandbox::run(const std::vector<std::string>& args,
                       const std::optional<std::string>& input) const {
  write("bin/stdin", input.value_or(""));
  std::string outPath = path("bin/stdout");
  std::string errPath = path("bin/stderr");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, path("bin/stdin").c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

  // The fake typesetter comes first on PATH.
  std::vector<std::string> envStrings = environment(dir_);
  std::vector<char*> env;
  for (std::string& s : envStrings) env.push_back(s.data());
  env.push_back(nullptr);

  std::string binary = binary_;
  std::vector<std::string> argStrings{binary};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
  pid_t pid = 0;
  int rc = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start kry");

  int status = 0;
  waitpid(pid, &status, 0);
  RunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

}  // namespace kry_test

// ---- runs started without waiting ----
namespace kry_test {

std::unique_ptr<StartedRun> Sandbox::start(const std::vector<std::string>& args,
                                           const std::vector<std::string>& prefix) const {
  static int started = 0;
  ++started;
  std::string outPath = path("bin/started-" + std::to_string(started) + ".out");
  std::string errPath = path("bin/started-" + std::to_string(started) + ".err");

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());

  std::vector<std::string> envStrings = environment(dir_);
  std::vector<char*> env;
  for (std::string& s : envStrings) env.push_back(s.data());
  env.push_back(nullptr);

  std::vector<std::string> argStrings(prefix);
  argStrings.push_back(kryBinary());
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, argStrings[0].c_str(), &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[0]);
  if (rc != 0) {
    ::close(pipeFds[1]);
    throw std::runtime_error("cannot start kry");
  }
  return std::make_unique<StartedRun>(pid, pipeFds[1], outPath, errPath);
}

StartedRun::StartedRun(pid_t pid, int input, std::string outPath, std::string errPath)
    : pid_(pid), input_(input), outPath_(std::move(outPath)), errPath_(std::move(errPath)) {}

StartedRun::~StartedRun() {
  closeInput();
  if (!done_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

bool StartedRun::send(const std::string& text) const {
  // A run that has ended, or never reads, closes the pipe: that is no failure of the test.
  ::signal(SIGPIPE, SIG_IGN);
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t put = ::write(input_, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

void StartedRun::closeInput() {
  if (input_ < 0) return;
  ::close(input_);
  input_ = -1;
}

bool StartedRun::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
  auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (readFile(outPath_).find(text) != std::string::npos) return true;
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0)
      return false;  // ended without writing it
    if (std::chrono::steady_clock::now() > until) return false;
    ::usleep(5000);
  }
}

void StartedRun::signal(int sig) const { ::kill(pid_, sig); }

RunResult StartedRun::wait() {
  if (!done_) {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    done_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  RunResult result;
  result.status = status_;
  result.out = readFile(outPath_);
  result.err = readFile(errPath_);
  return result;
}

}  // namespace kry_test
