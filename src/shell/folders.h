// The file-system facts the shell needs that differ between systems.
//
// What a platform provides: CurrentFolder, IsAbsolutePath, IsPathSeparator, MakeFolder
// (folders_posix.cpp, folders_win32.cpp).
#pragma once

#include <cstddef>

namespace yulo {

// The separator the platform writes between folder names: '/' or '\'.
char PathSeparator();

// The current folder in out; false when it does not fit.
bool CurrentFolder(char* out, size_t capacity);

// Whether path names a place without reference to the current folder.
bool IsAbsolutePath(const char* path);

// Whether c separates folder names ('/'; on Windows '\' as well).
bool IsPathSeparator(char c);

// Creates the one folder path (its parent must exist); true when path is a folder after it.
// On false errno tells why (ENOTDIR when something else has the name).
bool MakeFolder(const char* path);

}  // namespace yulo
