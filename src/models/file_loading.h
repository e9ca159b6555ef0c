// Reading one binary model file through the loaded-file table and its format reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "models/model_files.h"
#include "resources/loaded_file.h"
#include "resources/loading_error.h"

namespace yulo {

// Loads path whole (LoadFile) and reads it into *view with read, one of the Read*File
// functions. A missing or malformed file ends the program through LoadingError, with the
// reader's reason. Returns the file's bytes, which the view points into; the caller frees
// them (FreeFile) once it has built its records.
template <typename View>
const uint8_t* LoadValidFile(const char* path,
                             bool (*read)(const uint8_t*, size_t, View*, FileError*), View* view) {
  int32_t size = 0;
  const uint8_t* data = LoadFile(path, &size, true);
  FileError error;
  if (!read(data, static_cast<size_t>(size), view, &error)) LoadingError(path, "%s", error.text);
  return data;
}

// The entry of table (an AssetTable) named name, loading it on first request: the file is
// read with read (fatal when missing or malformed), a new entry named name is made from it
// with build, and the file's bytes are released. kind names the table's contents in the
// message of a full table ("meshes").
template <typename Table, typename View, typename Build>
auto* GetOrLoadFromFile(Table& table, const char* name, const char* kind,
                        bool (*read)(const uint8_t*, size_t, View*, FileError*), Build build) {
  using Asset = std::remove_pointer_t<decltype(table.Find(name))>;
  if (Asset* known = table.Find(name)) return known;
  table.CheckRoom(name, kind);
  View view;
  const uint8_t* data = LoadValidFile(name, read, &view);
  Asset* asset = table.Add(new Asset, name);
  build(view, asset);
  FreeFile(data);
  return asset;
}

}  // namespace yulo
