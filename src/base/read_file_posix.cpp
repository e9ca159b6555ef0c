#ifndef _WIN32
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "base/letter_case.h"
#include "base/read_file.h"

namespace yulo {

namespace {

// Data files name each other as on Windows, where letter case does not count and a
// backslash separates folders; names match as the loaded-file table matches them.
bool SameFolded(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (UpperCaseByte(static_cast<unsigned char>(a[i])) !=
        UpperCaseByte(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return b[length] == '\0';
}

// The entry of folder that matches name but for letter case; of several, the smallest in
// byte order, so that the choice does not depend on the order the folder lists them in.
bool FindCaseless(const char* folder, const char* name, char* found, size_t capacity) {
  DIR* dir = opendir(folder);
  if (dir == nullptr) return false;
  const size_t length = std::strlen(name);
  bool any = false;
  while (const dirent* entry = readdir(dir)) {
    if (!SameFolded(name, entry->d_name, length)) continue;
    if (std::strlen(entry->d_name) >= capacity) continue;
    if (!any || std::strcmp(entry->d_name, found) < 0) std::strcpy(found, entry->d_name);
    any = true;
  }
  closedir(dir);
  return any;
}

// Appends part to the folder path out[0..used), with a '/' between them unless the folder
// is the current one or ends in '/'. False when out has no room.
bool Append(char* out, size_t capacity, size_t* used, const char* part) {
  const size_t start = *used > 0 && out[*used - 1] != '/' ? *used + 1 : *used;
  const size_t length = std::strlen(part);
  if (start + length >= capacity) return false;
  if (start != *used) out[*used] = '/';
  std::memcpy(out + start, part, length + 1);
  *used = start + length;
  return true;
}

// Rewrites path into out with '/' between its parts and every part that does not exist as
// written replaced by the entry that matches it but for letter case. False when a part
// has no such entry or out has no room.
bool ResolveCaseless(const char* path, char* out, size_t capacity) {
  size_t used = 0;
  if (path[0] == '/') out[used++] = '/';
  out[used] = '\0';
  for (const char* part = path; *part != '\0';) {
    const size_t length = std::strcspn(part, "/\\");
    if (length == 0) {
      ++part;
      continue;
    }
    char name[256];
    if (length >= sizeof name) return false;
    std::memcpy(name, part, length);
    name[length] = '\0';
    part += length;
    const size_t folderEnd = used;
    if (!Append(out, capacity, &used, name)) return false;
    struct stat info {};
    if (lstat(out, &info) == 0) continue;
    used = folderEnd;
    out[used] = '\0';
    char entry[256];
    if (!FindCaseless(used == 0 ? "." : out, name, entry, sizeof entry)) return false;
    if (!Append(out, capacity, &used, entry)) return false;
  }
  return used > 0;
}

int OpenNonBlocking(const char* path) {
  return open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// Opens without waiting: a named pipe with no writer would otherwise block the open for
// ever. Only a regular file within the limit is kept open; *fd is -1 otherwise. A path
// that does not exist as written is looked for without regard to letter case, with
// backslashes as folder separators.
ReadFileResult OpenRegular(const char* path, uint32_t limit, int* fd, uint32_t* size) {
  *fd = -1;
  int opened = OpenNonBlocking(path);
  if (opened < 0 && (errno == ENOENT || errno == ENOTDIR)) {
    char resolved[4096];
    if (ResolveCaseless(path, resolved, sizeof resolved)) opened = OpenNonBlocking(resolved);
  }
  if (opened < 0) return ReadFileResult::CannotOpen;
  struct stat info {};
  ReadFileResult result = ReadFileResult::Ok;
  if (fstat(opened, &info) != 0)
    result = ReadFileResult::ReadFailed;
  else if (!S_ISREG(info.st_mode))
    result = ReadFileResult::NotRegularFile;
  else if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > limit)
    result = ReadFileResult::TooLarge;
  if (result != ReadFileResult::Ok) {
    close(opened);
    return result;
  }
  *fd = opened;
  *size = static_cast<uint32_t>(info.st_size);
  return result;
}

}  // namespace

ReadFileResult CheckRegularFile(const char* path, uint32_t limit, uint32_t* size) {
  int fd = -1;
  uint32_t length = 0;
  const ReadFileResult result = OpenRegular(path, limit, &fd, &length);
  if (fd >= 0) close(fd);
  if (result == ReadFileResult::Ok && size != nullptr) *size = length;
  return result;
}

ReadFileResult ReadRegularFile(const char* path, uint32_t limit, uint8_t** data, uint32_t* size) {
  int fd = -1;
  uint32_t length = 0;
  const ReadFileResult opened = OpenRegular(path, limit, &fd, &length);
  if (opened != ReadFileResult::Ok) return opened;
  // One spare byte: a terminator for text, and a distinct buffer for an empty file.
  uint8_t* bytes = new (std::nothrow) uint8_t[static_cast<size_t>(length) + 1];
  uint32_t done = 0;
  bool failed = bytes == nullptr;
  while (!failed && done <= length) {
    // Asks for one byte more than expected, so that a file that grew is noticed.
    const ssize_t got = read(fd, bytes + done, length + 1 - done);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got < 0) failed = true;
    if (got <= 0) break;
    done += static_cast<uint32_t>(got);
  }
  close(fd);
  if (failed || done != length) {
    delete[] bytes;
    return ReadFileResult::ReadFailed;
  }
  bytes[length] = 0;
  *data = bytes;
  *size = length;
  return ReadFileResult::Ok;
}

}  // namespace yulo
#endif  // !_WIN32
