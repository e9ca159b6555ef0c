// Entry point of the screensaver.
#include <cstdio>

int main() {
  std::puts("Yulo: the shell is not built yet.");
  return 0;
}
