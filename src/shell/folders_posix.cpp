#include <sys/stat.h>
#include <unistd.h>

#include "shell/folders.h"

namespace yulo {

char PathSeparator() {
  return '/';
}

bool CurrentFolder(char* out, size_t capacity) {
  return getcwd(out, capacity) != nullptr;
}

bool IsAbsolutePath(const char* path) {
  return path[0] == '/';
}

bool IsPathSeparator(char c) {
  return c == '/';
}

bool MakeFolder(const char* path) {
  mkdir(path, 0777);  // an existing folder is as good as a new one: checked below
  struct stat info {};
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace yulo
