#include "x_harness.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace yulo::test {

XServer::XServer() {
  const char* previous = std::getenv("DISPLAY");
  previous_ = previous != nullptr ? previous : "";
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    const std::string fd = std::to_string(fds[1]);
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
           "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  // Xvfb picks a free display and writes its number once it accepts connections.
  char number[32] = {};
  ssize_t got = 0;
  while (got < static_cast<ssize_t>(sizeof number) - 1) {
    const ssize_t n = read(fds[0], number + got, sizeof number - 1 - static_cast<size_t>(got));
    if (n <= 0) break;
    got += n;
    if (std::strchr(number, '\n') != nullptr) break;
  }
  close(fds[0]);
  if (got <= 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return;
  }
  display_ = ":" + std::to_string(std::atoi(number));
  setenv("DISPLAY", display_.c_str(), 1);
  setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus on a bare server
  setenv("GDK_BACKEND", "x11", 1);
}

XServer::~XServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (previous_.empty())
    unsetenv("DISPLAY");
  else
    setenv("DISPLAY", previous_.c_str(), 1);
}

Child::Child(const std::function<int()>& body) {
  std::fflush(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    const int result = body();
    std::fflush(nullptr);
    _exit(result);
  }
}

Child::~Child() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

int Child::Wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  int status = 0;
  for (int waited = 0;; waited += 20) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (waited >= timeoutMs) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Child::Alive() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

std::string RunProgram(const std::vector<std::string>& args, int* status) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], 1);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    out.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int result = 0;
  waitpid(pid, &result, 0);
  if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

bool WaitForFile(const std::string& path, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 20) {
    if (access(path.c_str(), F_OK) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::vector<Rgb> ReadScreen(int x, int y, int width, int height) {
  std::vector<Rgb> pixels;
  ::Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return pixels;
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image != nullptr) {
    pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int row = 0; row < height; ++row)
      for (int column = 0; column < width; ++column) {
        const unsigned long pixel = XGetPixel(image, column, row);
        pixels.push_back({static_cast<int>((pixel >> 16) & 0xFF),
                          static_cast<int>((pixel >> 8) & 0xFF), static_cast<int>(pixel & 0xFF)});
      }
    XDestroyImage(image);
  }
  XCloseDisplay(display);
  return pixels;
}

int CountNear(const std::vector<Rgb>& pixels, Rgb colour, int tolerance) {
  int count = 0;
  for (const Rgb& p : pixels)
    if (std::abs(p.r - colour.r) <= tolerance && std::abs(p.g - colour.g) <= tolerance &&
        std::abs(p.b - colour.b) <= tolerance)
      ++count;
  return count;
}

namespace {
// One connection for the plain windows: they live as long as it does.
::Display* plainDisplay = nullptr;
}  // namespace

unsigned long CreatePlainWindow() {
  if (plainDisplay == nullptr) plainDisplay = XOpenDisplay(nullptr);
  if (plainDisplay == nullptr) return 0;
  const Window window =
      XCreateSimpleWindow(plainDisplay, DefaultRootWindow(plainDisplay), 0, 0, 300, 200, 0, 0, 0);
  XMapWindow(plainDisplay, window);
  XSync(plainDisplay, False);
  return window;
}

void DestroyPlainWindow(unsigned long window) {
  if (plainDisplay == nullptr) return;
  XDestroyWindow(plainDisplay, window);
  XCloseDisplay(plainDisplay);
  plainDisplay = nullptr;
}

unsigned long TransientFor(unsigned long window) {
  ::Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 0;
  Window owner = 0;
  if (!XGetTransientForHint(display, window, &owner)) owner = 0;
  XCloseDisplay(display);
  return owner;
}

void MovePointer(int x, int y) {
  RunProgram({"xdotool", "mousemove", std::to_string(x), std::to_string(y)});
  Settle(50);
}

void Click(int x, int y) {
  MovePointer(x, y);
  Settle(100);
  RunProgram({"xdotool", "click", "1"});
}

void PressKeys(const std::vector<std::string>& keys) {
  std::vector<std::string> args = {"xdotool", "key", "--delay", "30"};
  args.insert(args.end(), keys.begin(), keys.end());
  RunProgram(args);
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  for (int waited = 0;; waited += 50) {
    if (condition()) return true;
    if (waited >= timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void Settle(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace yulo::test
