// Runs the real program (and the X tools) as child processes for whole-program tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace yulo::test {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (searched in PATH) with argv; env entries "NAME=value" are added to
  // (or replace) this process's environment; "NAME" alone removes NAME. stdout and stderr
  // go to a file that Output() reads.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
  // True while the child has not exited.
  bool Running();
  // Waits up to timeoutMs for the exit; true with *code = the exit status (128 + signal
  // number when it was killed).
  bool Wait(int timeoutMs, int* code);
  // Ends the child with SIGKILL (when it still runs) and reaps it.
  void Kill();
  std::string Output() const;
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
  std::string outputPath_;
};

// Runs a command to its end (at most timeoutMs); its exit code, -1 on timeout.
int RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               int timeoutMs, std::string* output);

// True when program is found in PATH.
bool HaveProgram(const std::string& program);

// An Xvfb server on a free display number of its own choosing.
class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Starts a server with one screen of width x height x 24; true when it accepts clients.
  bool Start(int width, int height);
  // The same with one X screen per size (with xinerama: one screen, a head per size).
  bool Start(const std::vector<std::pair<int, int>>& screens, bool xinerama);
  // ":N"
  const std::string& Display() const { return display_; }
  // Ends the server (as the destructor does).
  void Stop();

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace yulo::test
