#ifdef _WIN32
#include <windows.h>

#include <new>

#include "base/read_file.h"

namespace yulo {

namespace {

// Only disk files are kept open: a pipe, a console or a device is refused at once.
ReadFileResult OpenRegular(const char* path, uint32_t limit, HANDLE* file, uint32_t* size) {
  *file = INVALID_HANDLE_VALUE;
  const HANDLE opened = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
               ? ReadFileResult::NotRegularFile
               : ReadFileResult::CannotOpen;
  }
  ReadFileResult result = ReadFileResult::Ok;
  LARGE_INTEGER length{};
  if (GetFileType(opened) != FILE_TYPE_DISK)
    result = ReadFileResult::NotRegularFile;
  else if (!GetFileSizeEx(opened, &length))
    result = ReadFileResult::ReadFailed;
  else if (length.QuadPart < 0 || static_cast<unsigned long long>(length.QuadPart) > limit)
    result = ReadFileResult::TooLarge;
  if (result != ReadFileResult::Ok) {
    CloseHandle(opened);
    return result;
  }
  *file = opened;
  *size = static_cast<uint32_t>(length.QuadPart);
  return result;
}

}  // namespace

ReadFileResult CheckRegularFile(const char* path, uint32_t limit, uint32_t* size) {
  HANDLE file = INVALID_HANDLE_VALUE;
  uint32_t length = 0;
  const ReadFileResult result = OpenRegular(path, limit, &file, &length);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (result == ReadFileResult::Ok && size != nullptr) *size = length;
  return result;
}

ReadFileResult ReadRegularFile(const char* path, uint32_t limit, uint8_t** data, uint32_t* size) {
  HANDLE file = INVALID_HANDLE_VALUE;
  uint32_t length = 0;
  const ReadFileResult opened = OpenRegular(path, limit, &file, &length);
  if (opened != ReadFileResult::Ok) return opened;
  uint8_t* bytes = new (std::nothrow) uint8_t[static_cast<size_t>(length) + 1];
  uint32_t done = 0;
  bool failed = bytes == nullptr;
  while (!failed && done <= length) {
    DWORD got = 0;
    if (!ReadFile(file, bytes + done, length + 1 - done, &got, nullptr)) failed = true;
    if (got == 0) break;
    done += got;
  }
  CloseHandle(file);
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
#endif  // _WIN32
