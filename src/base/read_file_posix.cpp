#ifndef _WIN32
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "base/read_file.h"

namespace yulo {

namespace {

// Opens without waiting: a named pipe with no writer would otherwise block the open for
// ever. Only a regular file within the limit is kept open; *fd is -1 otherwise.
ReadFileResult OpenRegular(const char* path, uint32_t limit, int* fd, uint32_t* size) {
  *fd = -1;
  const int opened = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
