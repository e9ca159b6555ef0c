#include "resources/loaded_file.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

#include "base/letter_case.h"
#include "base/read_file.h"
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

ReadFileResult lastFailure = ReadFileResult::Ok;
uint32_t lastFailureLimit = 0;

bool EndsWithNoCase(const char* text, const char* suffix) {
  const size_t length = std::strlen(text);
  const size_t suffixLength = std::strlen(suffix);
  if (length < suffixLength) return false;
  for (size_t i = 0; i < suffixLength; ++i) {
    char c = text[length - suffixLength + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

// The size limit of a file by its kind, told by its name's ending; pictures, which any
// decoder format may name, are the default.
uint32_t SizeLimitFor(const char* name) {
  for (const char* text : {".cgo", ".chr", ".txt"})
    if (EndsWithNoCase(name, text)) return kTextFileSizeLimit;
  for (const char* model : {".msh_s", ".skn", ".anm"})
    if (EndsWithNoCase(name, model)) return kModelFileSizeLimit;
  return kImageFileSizeLimit;
}

const char* referrerFile = nullptr;
const char* referrerKey = nullptr;

// Appends text, escaped when escape is set, to out[*length]; stops at capacity - 1.
void AppendShown(char* out, size_t capacity, size_t* length, const char* text, bool escape) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    char piece[5] = {static_cast<char>(*p), 0};
    if (escape && (*p < 0x20 || *p >= 0x7F)) std::snprintf(piece, sizeof piece, "\\x%02X", *p);
    const size_t pieceLength = std::strlen(piece);
    if (*length + pieceLength >= capacity) return;
    std::memcpy(out + *length, piece, pieceLength + 1);
    *length += pieceLength;
  }
}

[[noreturn]] void CannotLoad(const char* name) {
  char shown[512];
  FormatLoadName(name, shown, sizeof shown);
  char reason[128];
  DescribeReadFailure(lastFailure, lastFailureLimit, reason, sizeof reason);
  if (reason[0] == '\0') LoadingError(shown);
  const size_t length = std::strlen(reason);
  if (reason[length - 1] == '.') reason[length - 1] = '\0';  // LoadingError ends the sentence
  LoadingError(shown, "%s", reason);
}

}  // namespace

void MakeUpperCase(char* text) {
  for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p != 0; ++p)
    *p = UpperCaseByte(*p);
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
  uint32_t length = 0;
  uint8_t* data = nullptr;
  const uint32_t limit = SizeLimitFor(name);
  lastFailure =
      NameFits(name) ? ReadRegularFile(name, limit, &data, &length) : ReadFileResult::CannotOpen;
  lastFailureLimit = limit;
  if (lastFailure != ReadFileResult::Ok) {
    if (fatal) CannotLoad(name);
    return nullptr;
  }
  if (size != nullptr) *size = static_cast<int32_t>(length);
  AddLoadedFile(name, static_cast<int32_t>(length), data);
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

void SetLoadReferrer(const char* file, const char* key) {
  referrerFile = file;
  referrerKey = key;
}

void FormatLoadName(const char* name, char* out, size_t capacity) {
  if (capacity == 0) return;
  out[0] = '\0';
  size_t length = 0;
  AppendShown(out, capacity, &length, name[0] == '\0' ? "(empty name)" : name, name[0] != '\0');
}

void DescribeLoadReferrer(char* out, size_t capacity) {
  if (capacity == 0) return;
  out[0] = '\0';
  if (referrerFile == nullptr) return;
  size_t length = 0;
  AppendShown(out, capacity, &length, "Named in ", false);
  AppendShown(out, capacity, &length, referrerFile, true);
  if (referrerKey != nullptr) {
    AppendShown(out, capacity, &length, ", ", false);
    AppendShown(out, capacity, &length, referrerKey, true);
  }
  AppendShown(out, capacity, &length, ".", false);
}

void DescribeLastLoadFailure(char* out, size_t capacity) {
  DescribeReadFailure(lastFailure, lastFailureLimit, out, capacity);
}

int LoadedFileCount() {
  return loadedFileCount;
}

const LoadedFile* LoadedFileAt(int i) {
  return i >= 0 && i < loadedFileCount ? loadedFiles[i] : nullptr;
}

}  // namespace yulo
