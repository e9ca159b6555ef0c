#include <cerrno>

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
  // An existing folder is as good as a new one: checked below.
  const int error = mkdir(path, 0777) == 0 ? 0 : errno;
  struct stat info {};
  if (stat(path, &info) != 0) {
    if (error != 0) errno = error;  // mkdir's reason rather than stat's
    return false;
  }
  if (S_ISDIR(info.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

}  // namespace yulo
