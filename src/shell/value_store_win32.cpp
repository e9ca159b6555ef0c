// The value store of Windows: the registry. A value is read from HKEY_CURRENT_USER and,
// when the user has none, from HKEY_LOCAL_MACHINE, where an installer for every user puts
// the install folder. Values are written to HKEY_CURRENT_USER only: writing the machine's
// part needs administrator rights, and a screensaver runs without them.
#include <windows.h>

#include <cstring>
#include <new>

#include "shell/value_store.h"

namespace yulo {

namespace {

constexpr size_t kKeyPathCapacity = 512;

// Key paths may use '/' like the other stores; in the registry '/' would be part of a
// key's name, so it becomes '\'.
bool RegistryKeyPath(const char* keyPath, char* out, size_t capacity) {
  const size_t length = std::strlen(keyPath);
  if (length == 0 || length >= capacity) return false;
  for (size_t i = 0; i <= length; ++i) out[i] = keyPath[i] == '/' ? '\\' : keyPath[i];
  return true;
}

enum class Found { kNone, kUnusable, kRead };

// kNone: no such key or value; kUnusable: the value is there but larger than capacity
// or could not be read.
Found ReadFrom(HKEY root, const char* keyPath, const char* valueName, void* buffer,
               uint32_t capacity, uint32_t* size) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return Found::kNone;
  }
  Found found = Found::kUnusable;
  DWORD bytes = 0;
  const LONG query = RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &bytes);
  if (query == ERROR_FILE_NOT_FOUND) found = Found::kNone;
  if (query == ERROR_SUCCESS && bytes <= capacity) {
    // The call writes its buffer even when it fails (a value that grew meanwhile), so it
    // reads into one of its own.
    BYTE* staging = new (std::nothrow) BYTE[bytes + 1];
    DWORD got = bytes;
    if (staging != nullptr &&
        RegQueryValueExA(key, valueName, nullptr, nullptr, staging, &got) == ERROR_SUCCESS &&
        got <= capacity) {
      std::memcpy(buffer, staging, got);
      *size = got;
      found = Found::kRead;
    }
    delete[] staging;
  }
  RegCloseKey(key);
  return found;
}

class RegistryStore final : public ValueStore {
 public:
  bool Read(const char* keyPath, const char* valueName, void* buffer, uint32_t capacity,
            uint32_t* size) override {
    char path[kKeyPathCapacity];
    if (!RegistryKeyPath(keyPath, path, sizeof path)) return false;
    // A value of the user's that can't be used (a record of the wrong size) still hides
    // the machine's: it reads as absent, and the next save replaces it.
    Found found = ReadFrom(HKEY_CURRENT_USER, path, valueName, buffer, capacity, size);
    if (found == Found::kNone) {
      found = ReadFrom(HKEY_LOCAL_MACHINE, path, valueName, buffer, capacity, size);
    }
    return found == Found::kRead;
  }

  // One RegSetValueEx replaces a value whole: readers see the old bytes or the new ones.
  bool Write(const char* keyPath, const char* valueName, const void* bytes,
             uint32_t size) override {
    char path[kKeyPathCapacity];
    if (!RegistryKeyPath(keyPath, path, sizeof path)) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
      return false;
    const bool ok = RegSetValueExA(key, valueName, 0, REG_BINARY, static_cast<const BYTE*>(bytes),
                                   size) == ERROR_SUCCESS;
    return RegCloseKey(key) == ERROR_SUCCESS && ok;
  }
};

}  // namespace

ValueStore& PlatformValueStore() {
  static RegistryStore store;
  return store;
}

// The folder of the running .scr, with its trailing '\': the install folder's files sit
// beside the program, in the zip, in the installed copy and in the build folder alike.
bool DefaultInstallDir(char* out, size_t capacity) {
  char path[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return false;
  char* slash = std::strrchr(path, '\\');
  if (slash == nullptr) return false;
  slash[1] = '\0';
  const size_t folderLength = static_cast<size_t>(slash + 1 - path);
  if (folderLength >= capacity) return false;
  std::memcpy(out, path, folderLength + 1);
  return true;
}

bool EnterFolder(const char* path) {
  return SetCurrentDirectoryA(path) != 0;
}

}  // namespace yulo
