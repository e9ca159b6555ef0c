// The value store of POSIX systems: one file per value (value_store_posix.h).
#include "shell/value_store_posix.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace yulo {

namespace {

class FileStore final : public ValueStore {
 public:
  bool Read(const char* keyPath, const char* valueName, void* buffer, uint32_t capacity,
            uint32_t* size) override;
  bool Write(const char* keyPath, const char* valueName, const void* bytes, uint32_t size) override;
  bool ExistsUnreadable(const char* keyPath, const char* valueName) override;
};

constexpr size_t kStorePathCapacity = 1024;

SettingsWriteProbe writeProbe = nullptr;

void Probe(int& step) {
  if (writeProbe != nullptr) writeProbe(step);
  ++step;
}

bool Append(char* out, size_t capacity, size_t* length, const char* text, size_t count) {
  if (*length + count >= capacity) return false;
  std::memcpy(out + *length, text, count);
  *length += count;
  out[*length] = '\0';
  return true;
}

// $XDG_CONFIG_HOME when it is an absolute path (relative ones are to be ignored), else
// ~/.config with the home folder from $HOME or, failing that, the password database.
bool ConfigHome(char* out, size_t capacity) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/')
    return std::snprintf(out, capacity, "%s", xdg) < static_cast<int>(capacity);
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    passwd* entry = getpwuid(getuid());
    home = entry != nullptr ? entry->pw_dir : nullptr;
  }
  if (home == nullptr || home[0] != '/') return false;
  return std::snprintf(out, capacity, "%s/.config", home) < static_cast<int>(capacity);
}

bool ValidValueName(const char* name) {
  return name[0] != '\0' && name[0] != '.' && std::strchr(name, '/') == nullptr &&
         std::strlen(name) < NAME_MAX - 16;
}

bool ValuePath(const char* keyPath, const char* valueName, char* out, size_t capacity) {
  if (!ValidValueName(valueName) || !SettingsKeyFolder(keyPath, out, capacity)) return false;
  size_t length = std::strlen(out);
  return Append(out, capacity, &length, "/", 1) &&
         Append(out, capacity, &length, valueName, std::strlen(valueName));
}

// mkdir -p of the key folder; only the parts below the configuration folder are made
// private to the user.
bool MakeFolders(char* path) {
  for (char* p = path + 1;; ++p) {
    if (*p != '/' && *p != '\0') continue;
    const char saved = *p;
    *p = '\0';
    const bool made = mkdir(path, 0700) == 0 || errno == EEXIST;
    *p = saved;
    if (!made) return false;
    if (saved == '\0') return true;
  }
}

bool WriteAll(int fd, const uint8_t* bytes, uint32_t size, int& step) {
  uint32_t done = 0;
  while (done < size) {
    const size_t piece = writeProbe != nullptr ? 1 : size - done;
    const ssize_t written = write(fd, bytes + done, piece);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<uint32_t>(written);
    Probe(step);
  }
  return true;
}

// Removes the temp files that writers of this value left when they were killed mid-write
// (their process is gone); a live writer's file is left alone.
void RemoveStaleTempFiles(const char* folder, const char* valueName) {
  DIR* dir = opendir(folder);
  if (dir == nullptr) return;
  const size_t nameLength = std::strlen(valueName);
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] != '.' || std::strncmp(name + 1, valueName, nameLength) != 0 ||
        name[1 + nameLength] != '.')
      continue;
    char* end = nullptr;
    const long pid = std::strtol(name + 2 + nameLength, &end, 10);
    if (end == name + 2 + nameLength || pid <= 0) continue;
    // .<value>.<pid>.tmp from older versions, .<value>.<pid>.<6 random>.tmp now.
    const bool random =
        std::strlen(end) == 11 && end[0] == '.' && std::strcmp(end + 7, ".tmp") == 0;
    if (std::strcmp(end, ".tmp") != 0 && !random) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    unlinkat(dirfd(dir), name, 0);
  }
  closedir(dir);
}

}  // namespace

bool SettingsKeyFolder(const char* keyPath, char* out, size_t capacity) {
  size_t length = 0;
  if (capacity == 0 || !ConfigHome(out, capacity)) return false;
  length = std::strlen(out);
  bool first = true;
  const char* part = keyPath;
  while (true) {
    const size_t partLength = std::strcspn(part, "\\/");
    const bool dots = (partLength == 1 && part[0] == '.') ||
                      (partLength == 2 && part[0] == '.' && part[1] == '.');
    if (partLength == 0 || dots) return false;
    const bool software = first && partLength == 8 && strncasecmp(part, "software", 8) == 0;
    if (!software) {
      if (!Append(out, capacity, &length, "/", 1)) return false;
      const size_t start = length;
      if (!Append(out, capacity, &length, part, partLength)) return false;
      for (size_t i = start; i < length; ++i)
        if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
    }
    first = false;
    if (part[partLength] == '\0') return true;
    part += partLength + 1;
  }
}

bool DefaultInstallDir(char* out, size_t capacity) {
  char exe[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length <= 0) return false;
  exe[length] = '\0';
  char* slash = std::strrchr(exe, '/');
  if (slash == nullptr) return false;
  *slash = '\0';
  return std::snprintf(out, capacity, "%s/../share/yulo", exe) < static_cast<int>(capacity);
}

bool FileStore::Read(const char* keyPath, const char* valueName, void* buffer, uint32_t capacity,
                     uint32_t* size) {
  char path[kStorePathCapacity];
  if (!ValuePath(keyPath, valueName, path, sizeof path)) return false;
  // Without waiting: a named pipe put there must not hang the program; it is refused below.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  // Read into a local buffer first: a value that changes size under us is not taken.
  uint8_t* staging = nullptr;
  uint32_t expected = 0;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
      static_cast<uint64_t>(info.st_size) <= capacity) {
    expected = static_cast<uint32_t>(info.st_size);
    staging = new (std::nothrow) uint8_t[size_t{expected} + 1];
  }
  bool ok = false;
  if (staging != nullptr) {
    uint32_t done = 0;
    while (done <= expected) {
      const ssize_t got = read(fd, staging + done, expected + 1 - done);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) break;
      done += static_cast<uint32_t>(got);
    }
    if (done == expected) {
      std::memcpy(buffer, staging, expected);
      *size = expected;
      ok = true;
    }
    delete[] staging;
  }
  close(fd);
  return ok;
}

bool FileStore::Write(const char* keyPath, const char* valueName, const void* source,
                      uint32_t size) {
  char folder[kStorePathCapacity];
  char path[kStorePathCapacity];
  char temp[kStorePathCapacity];
  if (!SettingsKeyFolder(keyPath, folder, sizeof folder) ||
      !ValuePath(keyPath, valueName, path, sizeof path))
    return false;
  // A value that is a link to a file of the user's (a folder of configuration files kept
  // elsewhere and linked in) is written where it points, so that the link stays a link.
  char target[kStorePathCapacity];
  struct stat info {};
  if (lstat(path, &info) == 0 && S_ISLNK(info.st_mode) && stat(path, &info) == 0 &&
      S_ISREG(info.st_mode)) {
    char* resolved = realpath(path, nullptr);
    const size_t length = resolved != nullptr ? std::strlen(resolved) : 0;
    char* slash = resolved != nullptr ? std::strrchr(resolved, '/') : nullptr;
    if (slash != nullptr && slash != resolved && length < sizeof path) {
      std::memcpy(path, resolved, length + 1);
      *slash = '\0';
      std::memcpy(folder, resolved, static_cast<size_t>(slash - resolved) + 1);
      std::snprintf(target, sizeof target, "%s", slash + 1);
      valueName = target;
    }
    std::free(resolved);
  }
  // The new value goes to a hidden file beside the old one and replaces it by rename,
  // which is atomic. The temp file is always a new file of ours (mkostemps: exclusive,
  // mode 0600, an unguessable name): whatever someone planted beside the value (a link
  // to another file) is never opened, written or made the value. Its name carries the
  // process id, so that a leftover from a crash can be recognised and removed.
  if (std::snprintf(temp, sizeof temp, "%s/.%s.%ld.XXXXXX.tmp", folder, valueName,
                    static_cast<long>(getpid())) >= static_cast<int>(sizeof temp))
    return false;
  if (!MakeFolders(folder)) return false;

  int step = 0;
  const int fd = mkostemps(temp, 4, O_CLOEXEC);
  if (fd < 0) return false;
  Probe(step);
  bool ok = WriteAll(fd, static_cast<const uint8_t*>(source), size, step);
  // The data must be on disk before the name points at it, or a power cut could leave
  // the new name on an empty file.
  ok = ok && fsync(fd) == 0;
  if (ok) Probe(step);
  ok = close(fd) == 0 && ok;
  if (ok) Probe(step);
  ok = ok && rename(temp, path) == 0;
  if (!ok) {
    unlink(temp);
    return false;
  }
  Probe(step);
  const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);  // makes the rename itself durable; the value is already consistent
    close(dir);
  }
  RemoveStaleTempFiles(folder, valueName);
  return true;
}

bool FileStore::ExistsUnreadable(const char* keyPath, const char* valueName) {
  char path[kStorePathCapacity];
  if (!ValuePath(keyPath, valueName, path, sizeof path)) return false;
  struct stat info {};
  if (stat(path, &info) != 0) return errno != ENOENT && errno != ENOTDIR;
  if (!S_ISREG(info.st_mode)) return true;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return true;
  close(fd);
  return false;
}

void SetSettingsWriteProbe(SettingsWriteProbe probe) {
  writeProbe = probe;
}

ValueStore& PlatformValueStore() {
  static FileStore store;
  return store;
}

bool EnterFolder(const char* path) {
  return chdir(path) == 0;
}

}  // namespace yulo
