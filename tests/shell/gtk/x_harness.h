// A private X server for the window tests, processes that run GTK code on it, and the
// input and screen reading the tests drive them with.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace yulo::test {

// Starts Xvfb on a free display for the life of the object (DISPLAY is set to it).
class XServer {
 public:
  XServer();
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  bool Running() const { return pid_ > 0; }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string previous_;
};

// Runs body in a child process (which may open GTK on the display) and ends the child with
// body's result. The parent never opens GTK itself, so children start from a clean slate.
class Child {
 public:
  explicit Child(const std::function<int()>& body);
  ~Child();
  // Waits up to timeoutMs for the end; the exit code, or -1 (killed, signal, timeout).
  int Wait(int timeoutMs = 20000);
  bool Alive();

 private:
  pid_t pid_ = -1;
};

// Runs a program with arguments and returns its standard output (trailing newline cut);
// *status receives its exit code when given.
std::string RunProgram(const std::vector<std::string>& args, int* status = nullptr);

// Waits for a file to appear (up to timeoutMs); true when it did.
bool WaitForFile(const std::string& path, int timeoutMs = 15000);

struct Rgb {
  int r, g, b;
};

// The screen's pixels in a rectangle, row by row.
std::vector<Rgb> ReadScreen(int x, int y, int width, int height);

// Pixels within tolerance of a colour.
int CountNear(const std::vector<Rgb>& pixels, Rgb colour, int tolerance);

// Pointer and keyboard, through the X test extension.
void MovePointer(int x, int y);
void Click(int x, int y);
void PressKeys(const std::vector<std::string>& keys);

// A plain mapped top-level window (to own a dialog), its removal, and the window a
// window is transient for (0 when none).
unsigned long CreatePlainWindow();
void DestroyPlainWindow(unsigned long window);
unsigned long TransientFor(unsigned long window);

// Polls condition every 50 ms until it holds (true) or timeoutMs has passed (false): the
// GTK child redraws in its own time.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Lets the GTK child redraw after input.
void Settle(int ms = 300);

}  // namespace yulo::test
