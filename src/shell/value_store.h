// Where the settings live: small named values under keys. Each platform has one store:
// files under the user's configuration folder (value_store_posix.cpp) or the registry
// (value_store_win32.cpp). The settings record, the install folder and the links are read
// through it by settings.cpp, which knows nothing of either.
//
// What a platform provides: PlatformValueStore, DefaultInstallDir, EnterFolder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yulo {

class ValueStore {
 public:
  virtual ~ValueStore() = default;
  // Reads value valueName of key keyPath into buffer when it holds at most capacity
  // bytes, and its size into *size. False when it is absent, unreadable or larger; the
  // buffer is then left as it was.
  virtual bool Read(const char* keyPath, const char* valueName, void* buffer, uint32_t capacity,
                    uint32_t* size) = 0;
  // Creates the key when needed and replaces the value whole. False on failure.
  virtual bool Write(const char* keyPath, const char* valueName, const void* bytes,
                     uint32_t size) = 0;
  // True when the value is there but can't be read (no right to, not a plain value, an
  // error): defaults used in its place must never be written over it.
  virtual bool ExistsUnreadable(const char* /*keyPath*/, const char* /*valueName*/) {
    return false;
  }
};

// The store of this platform, alive for the whole process.
ValueStore& PlatformValueStore();

// The install folder used when the store names none, in out; false when it does not fit.
// POSIX: <folder of the running program>/../share/yulo; Windows: the program's folder.
bool DefaultInstallDir(char* out, size_t capacity);

// Makes path the current folder; false (nothing changed) when it cannot.
bool EnterFolder(const char* path);

}  // namespace yulo
