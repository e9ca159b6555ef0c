#include "resources/loaded_file.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "resources/loading_error.h"

namespace yulo {

namespace {

LoadedFile* loadedFiles[kLoadedFileCapacity];
int loadedFileCount = 0;

bool NameFits(const char* name) {
  return std::strlen(name) < kLoadedFileNameCapacity;
}

// The name as stored: copied whole (NameFits) and upper-cased.
void NormaliseInto(char (&out)[kLoadedFileNameCapacity], const char* name) {
  std::snprintf(out, sizeof out, "%s", name);
  MakeUpperCase(out);
}

int IndexOfName(const char* name) {
  // A name too long to be stored can't be in the table; cutting it could match another.
  if (!NameFits(name)) return -1;
  char key[kLoadedFileNameCapacity];
  NormaliseInto(key, name);
  for (int i = 0; i < loadedFileCount; ++i)
    if (std::strcmp(loadedFiles[i]->name, key) == 0) return i;
  return -1;
}

void RemoveAt(int index) {
  delete[] loadedFiles[index]->data;
  delete loadedFiles[index];
  for (int i = index + 1; i < loadedFileCount; ++i) loadedFiles[i - 1] = loadedFiles[i];
  --loadedFileCount;
  loadedFiles[loadedFileCount] = nullptr;
}

// Reads the whole file; nullptr when it can't be opened or read completely.
uint8_t* ReadWholeFile(const char* name, int32_t* size) {
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return nullptr;
  uint8_t* data = nullptr;
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  if (length >= 0 && length <= 0x7FFFFFFF && std::fseek(file, 0, SEEK_SET) == 0) {
    // One spare byte so that an empty file still has a distinct, non-null buffer.
    data = new (std::nothrow) uint8_t[static_cast<size_t>(length) + 1];
    if (data != nullptr &&
        std::fread(data, 1, static_cast<size_t>(length), file) != static_cast<size_t>(length)) {
      delete[] data;
      data = nullptr;
    }
  }
  std::fclose(file);
  if (data != nullptr) *size = static_cast<int32_t>(length);
  return data;
}

}  // namespace

void MakeUpperCase(char* text) {
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p != 0; ++p)
    if ((*p >= 'a' && *p <= 'z') || *p >= 0xE0) *p = static_cast<unsigned char>(*p - 0x20);
}

LoadedFile* FindLoadedFile(const char* name) {
  const int index = IndexOfName(name);
  return index < 0 ? nullptr : loadedFiles[index];
}

LoadedFile* AddLoadedFile(const char* name, int32_t size, uint8_t* data) {
  if (loadedFileCount >= kLoadedFileCapacity)
    LoadingError(name, "Too many files are open (%d)", kLoadedFileCapacity);
  if (!NameFits(name))
    LoadingError(name, "The name is longer than %d characters", kLoadedFileNameCapacity - 1);
  LoadedFile* record = new LoadedFile;
  NormaliseInto(record->name, name);
  record->size = size;
  record->data = data;
  loadedFiles[loadedFileCount++] = record;
  return record;
}

uint8_t* LoadFile(const char* name, int32_t* size, bool fatal) {
  if (const LoadedFile* cached = FindLoadedFile(name)) {
    if (size != nullptr) *size = cached->size;
    return cached->data;
  }
  int32_t length = 0;
  uint8_t* data = NameFits(name) ? ReadWholeFile(name, &length) : nullptr;
  if (data == nullptr) {
    if (fatal) LoadingError(name);
    return nullptr;
  }
  if (size != nullptr) *size = length;
  AddLoadedFile(name, length, data);
  return data;
}

bool FreeFile(const void* data) {
  for (int i = 0; i < loadedFileCount; ++i) {
    if (loadedFiles[i]->data == data) {
      RemoveAt(i);
      return true;
    }
  }
  return false;
}

bool FreeFileByName(const char* name) {
  const int index = IndexOfName(name);
  if (index < 0) return false;
  RemoveAt(index);
  return true;
}

int LoadedFileCount() {
  return loadedFileCount;
}

const LoadedFile* LoadedFileAt(int i) {
  return i >= 0 && i < loadedFileCount ? loadedFiles[i] : nullptr;
}

}  // namespace yulo
