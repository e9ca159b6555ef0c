#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace yulo::test {

namespace {

int ExitCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& env) {
  std::vector<std::string> merged;
  for (char** e = environ; *e != nullptr; ++e) merged.push_back(*e);
  for (const std::string& entry : env) {
    const size_t equals = entry.find('=');
    const std::string name = entry.substr(0, equals);
    for (size_t i = 0; i < merged.size(); ++i) {
      if (merged[i].compare(0, name.size() + 1, name + "=") == 0) {
        merged.erase(merged.begin() + static_cast<long>(i));
        break;
      }
    }
    if (equals != std::string::npos) merged.push_back(entry);
  }
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ChildProcess::~ChildProcess() {
  Kill();
  if (!outputPath_.empty()) unlink(outputPath_.c_str());
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env) {
  char pattern[] = "/tmp/yulo-child-XXXXXX";
  const int out = mkstemp(pattern);
  if (out < 0) return false;
  outputPath_ = pattern;
  std::vector<std::string> args = argv;
  std::vector<std::string> environment = MergedEnvironment(env);
  std::vector<char*> argp = Pointers(args);
  std::vector<char*> envp = Pointers(environment);
  pid_ = fork();
  if (pid_ < 0) {
    close(out);
    return false;
  }
  if (pid_ == 0) {
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    setpgid(0, 0);  // its own process group, so that the test's terminal signals miss it
    // As started from a terminal: a runner that ignores SIGINT (a background job) would
    // hand that on through exec.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    execvpe(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  close(out);
  exited_ = false;
  return true;
}

bool ChildProcess::Running() {
  if (pid_ < 0 || exited_) return false;
  if (waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
  return !exited_;
}

bool ChildProcess::Wait(int timeoutMs, int* code) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (pid_ < 0) return false;
  *code = ExitCode(status_);
  return true;
}

void ChildProcess::Kill() {
  if (Running()) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    exited_ = true;
  }
}

std::string ChildProcess::Output() const {
  std::ifstream in(outputPath_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               int timeoutMs, std::string* output) {
  ChildProcess child;
  if (!child.Start(argv, env)) return -1;
  int code = -1;
  if (!child.Wait(timeoutMs, &code)) {
    child.Kill();
    code = -1;
  }
  if (output != nullptr) *output = child.Output();
  return code;
}

bool HaveProgram(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

XvfbServer::~XvfbServer() {
  Stop();
}

void XvfbServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (waitpid(pid_, &status, WNOHANG) == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

bool XvfbServer::Start(int width, int height) {
  return Start({{width, height}}, false);
}

bool XvfbServer::Start(const std::vector<std::pair<int, int>>& screens, bool xinerama) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const std::string fd = std::to_string(fds[1]);
  std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-nolisten", "tcp", "-noreset"};
  if (xinerama) args.push_back("+xinerama");
  for (size_t i = 0; i < screens.size(); ++i) {
    args.insert(args.end(), {"-screen", std::to_string(i),
                             std::to_string(screens[i].first) + "x" +
                                 std::to_string(screens[i].second) + "x24"});
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    close(fds[0]);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    setpgid(0, 0);
    execvp("Xvfb", argv.data());
    _exit(127);
  }
  close(fds[1]);
  // The server writes its display number once it accepts connections.
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (poll(&p, 1, 10000) > 0) {
    char c = 0;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) return false;
  display_ = ":" + number;
  return true;
}

}  // namespace yulo::test
