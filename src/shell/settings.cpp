#include "shell/settings.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "base/fatal.h"
#include "base/shell_state.h"
#include "resources/key_value.h"
#include "resources/loaded_file.h"

namespace yulo {

char link1[kLinkCapacity] = {};
char link2[kLinkCapacity] = {};

namespace {

constexpr size_t kStorePathCapacity = 1024;
// The install-folder value is read into a buffer of this size, terminator included.
constexpr size_t kInstallDirValueCapacity = 255;

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

// Reads a text value of at most capacity - 1 bytes; a value that does not fit counts as
// unreadable. One trailing line end (left by a hand edit) is dropped.
bool ReadSettingsString(const char* keyPath, const char* valueName, char* out, size_t capacity) {
  char path[kStorePathCapacity];
  if (!ValuePath(keyPath, valueName, path, sizeof path)) return false;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  const size_t length = std::fread(out, 1, capacity, file);
  const bool whole = std::ferror(file) == 0 && length < capacity;
  std::fclose(file);
  if (!whole) {
    out[0] = '\0';
    return false;
  }
  out[length] = '\0';
  size_t end = std::strlen(out);  // a value ends at its first zero byte, as a string does
  if (end > 0 && out[end - 1] == '\n') out[--end] = '\0';
  if (end > 0 && out[end - 1] == '\r') out[--end] = '\0';
  return true;
}

// link1= and link2= values end at a carriage return; a file saved with bare line feeds
// would otherwise run one link into the next line.
void ReadLink(char (&out)[kLinkCapacity], const char* text, const char* key) {
  GetValueString(out, sizeof out, text, key);
  out[std::strcspn(out, "\n")] = '\0';
}

void PutInt32(uint8_t* out, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t GetInt32(const uint8_t* in) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(in[i]) << (8 * i);
  return static_cast<int32_t>(bits);
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
    if (end == name + 2 + nameLength || std::strcmp(end, ".tmp") != 0 || pid <= 0) continue;
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

void ReadSettingsValue(const char* keyPath, const char* valueName, void* destination,
                       uint32_t* size) {
  const uint32_t wanted = *size;
  *size = 0;
  char path[kStorePathCapacity];
  if (!ValuePath(keyPath, valueName, path, sizeof path)) return;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {};
  // Read into a local buffer first: a value that changes size under us is not taken.
  uint8_t* buffer = nullptr;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<uint64_t>(info.st_size) == wanted)
    buffer = new (std::nothrow) uint8_t[wanted + 1];
  if (buffer != nullptr) {
    uint32_t done = 0;
    while (done <= wanted) {
      const ssize_t got = read(fd, buffer + done, wanted + 1 - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<uint32_t>(got);
    }
    if (done == wanted) {
      std::memcpy(destination, buffer, wanted);
      *size = wanted;
    }
    delete[] buffer;
  }
  close(fd);
}

bool WriteSettingsValue(const char* keyPath, const char* valueName, const void* source,
                        uint32_t size) {
  char folder[kStorePathCapacity];
  char path[kStorePathCapacity];
  char temp[kStorePathCapacity];
  if (!SettingsKeyFolder(keyPath, folder, sizeof folder) ||
      !ValuePath(keyPath, valueName, path, sizeof path))
    return false;
  // The new value goes to a hidden file beside the old one and replaces it by rename,
  // which is atomic; the temp name carries the process id so that two savers never share
  // one, and a leftover from a crash is never read as the value.
  if (std::snprintf(temp, sizeof temp, "%s/.%s.%ld.tmp", folder, valueName,
                    static_cast<long>(getpid())) >= static_cast<int>(sizeof temp))
    return false;
  if (!MakeFolders(folder)) return false;

  int step = 0;
  const int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
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

void SetSettingsWriteProbe(SettingsWriteProbe probe) {
  writeProbe = probe;
}

void LoadSettings() {
  uint8_t record[sizeof(Settings)];
  uint32_t size = sizeof record;
  ReadSettingsValue(kSettingsKey, kSettingsValue, record, &size);
  if (size == sizeof record) {
    settings.musicVolume = GetInt32(record);
    std::memcpy(settings.reserved, record + 4, sizeof settings.reserved);
  } else {
    settings.musicVolume = kDefaultMusicVolume;
    std::memset(settings.reserved, 0, sizeof settings.reserved);
  }

  char folder[kInstallDirValueCapacity];
  if (!ReadSettingsString(kSettingsKey, kInstallDirValue, folder, sizeof folder) ||
      folder[0] == '\0') {
    if (!DefaultInstallDir(folder, sizeof folder)) std::snprintf(folder, sizeof folder, ".");
  }
  std::snprintf(installDir, sizeof installDir, "%s", folder);
  // A missing folder leaves the current one, where links.txt is then looked for.
  const int changed = chdir(installDir);
  (void)changed;

  int32_t length = 0;
  uint8_t* data = LoadFile(kLinksFileName, &length, true);
  // The reader needs a terminated text; the file has no terminator of its own.
  std::unique_ptr<char[]> text(new char[static_cast<size_t>(length) + 1]);
  std::memcpy(text.get(), data, static_cast<size_t>(length));
  text[static_cast<size_t>(length)] = '\0';
  FreeFile(data);
  ReadLink(link1, text.get(), "link1=");
  ReadLink(link2, text.get(), "link2=");
}

bool SaveSettings() {
  uint8_t record[sizeof(Settings)];
  PutInt32(record, settings.musicVolume);
  std::memcpy(record + 4, settings.reserved, sizeof settings.reserved);
  return WriteSettingsValue(kSettingsKey, kSettingsValue, record, sizeof record);
}

}  // namespace yulo
