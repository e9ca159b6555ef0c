// Whole-file loading with a process-wide table of the files held in memory, keyed by
// their names without regard to letter case.
#pragma once

#include <cstddef>
#include <cstdint>

namespace yulo {

inline constexpr int kLoadedFileCapacity = 1024;
inline constexpr int kLoadedFileNameCapacity = 128;

struct LoadedFile {
  char name[kLoadedFileNameCapacity];  // the requested name, upper-cased (at most 127 bytes)
  int32_t size;                        // length of data in bytes
  uint8_t* data;                       // exactly size bytes, no terminator; owned
};

// Returns the file's bytes, from the table when the name was loaded before. When the file
// can't be read (or its name is longer than 127 characters): with fatal set, "Can't load
// <name>...\nProgram will now stop." under "Loading Error" and exit code 1; otherwise nullptr and
// *size untouched. size may be null. Only regular files are read, each kind up to its size
// limit (base/read_file.h: text, model or image, told by the name's ending); a file refused
// for either reason says so in a line of its own before "Program will now stop.".
uint8_t* LoadFile(const char* name, int32_t* size, bool fatal);

// Releases the record whose data is this pointer; false when there is none.
bool FreeFile(const void* data);
// Releases the record with this name (any letter case); false when there is none.
bool FreeFileByName(const char* name);
// The record with this name (any letter case), or nullptr.
LoadedFile* FindLoadedFile(const char* name);
// Appends a record that takes over data (allocated with new uint8_t[]). A full table is a
// fatal error rather than a write past its end.
LoadedFile* AddLoadedFile(const char* name, int32_t size, uint8_t* data);
// Upper-cases a-z and 0xE0..0xFF in place, up to the terminating zero.
void MakeUpperCase(char* text);

// Why the last LoadFile that failed did so, as one sentence ("It is not a regular file."),
// or the empty text when the file was simply missing or unreadable.
void DescribeLastLoadFailure(char* out, size_t capacity);

// Names the file and the key (or line) a loader read the next file's name from, so that
// a failure to load that file says where the name came from. nullptr clears it; loaders
// clear it once the named file is loaded.
void SetLoadReferrer(const char* file, const char* key);

// A file's name as loading errors show it: bytes outside printable ASCII escaped as \xNN,
// "(empty name)" for an empty one. Always terminated; cut to capacity.
void FormatLoadName(const char* name, char* out, size_t capacity);

// "Named in <file>, <key>." while a referrer is set, else the empty text: the note that
// loading errors add below their message. Always terminated; cut to capacity.
void DescribeLoadReferrer(char* out, size_t capacity);

// Number of records in the table (for tests and diagnostics).
int LoadedFileCount();
// The record at index i (0 <= i < LoadedFileCount()), in registration order.
const LoadedFile* LoadedFileAt(int i);

}  // namespace yulo
