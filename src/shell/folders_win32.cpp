#include <windows.h>

#include <cerrno>

#include "shell/folders.h"

namespace yulo {

char PathSeparator() {
  return '\\';
}

bool CurrentFolder(char* out, size_t capacity) {
  const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(capacity), out);
  return length > 0 && length < capacity;
}

bool IsAbsolutePath(const char* path) {
  // "C:\..." or "C:/...", and "\\server\share\..." names.
  const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                     path[1] == ':' && IsPathSeparator(path[2]);
  return drive || (IsPathSeparator(path[0]) && IsPathSeparator(path[1]));
}

bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

bool MakeFolder(const char* path) {
  // An existing folder is as good as a new one: checked below.
  const DWORD error = CreateDirectoryA(path, nullptr) ? ERROR_SUCCESS : GetLastError();
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return true;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    errno = ENOTDIR;
  } else if (error == ERROR_ACCESS_DENIED) {
    errno = EACCES;
  } else if (error == ERROR_FILENAME_EXCED_RANGE) {
    errno = ENAMETOOLONG;
  } else {
    errno = ENOENT;
  }
  return false;
}

}  // namespace yulo
