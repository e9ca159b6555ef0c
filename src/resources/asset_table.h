// A fixed table of named assets, each loaded once and shared: the shape of every library
// of loaded records (models, meshes, skins, clips). The table owns its entries.
#pragma once

#include <cstdint>
#include <cstring>

#include "resources/loading_error.h"

namespace yulo {

// Asset has a `char name[N]` member, the lookup key (exact bytes, letter case counts).
template <typename Asset, int Capacity>
class AssetTable {
 public:
  static constexpr int kCapacity = Capacity;
  static constexpr int kNameCapacity = static_cast<int>(sizeof(Asset::name));  // with the NUL

  AssetTable() = default;
  ~AssetTable() { Clear(); }
  AssetTable(const AssetTable&) = delete;
  AssetTable& operator=(const AssetTable&) = delete;

  // The entry named exactly name, or nullptr.
  Asset* Find(const char* name) const {
    for (int32_t i = 0; i < count; ++i)
      if (std::strcmp(entries[i]->name, name) == 0) return entries[i];
    return nullptr;
  }

  // Ends the program through LoadingError when name can't become a new entry: a name that
  // does not fit the record, or a full table ("More than <Capacity> <kind>").
  void CheckRoom(const char* name, const char* kind) const {
    if (std::strlen(name) >= static_cast<size_t>(kNameCapacity))
      LoadingError(name, "The name is longer than %d characters", kNameCapacity - 1);
    if (count >= Capacity) LoadingError(name, "More than %d %s", Capacity, kind);
  }

  // Names asset and appends it; the table owns it from now on. CheckRoom comes first.
  Asset* Add(Asset* asset, const char* name) {
    std::memcpy(asset->name, name, std::strlen(name) + 1);
    entries[count++] = asset;
    return asset;
  }

  // Destroys every entry; the table is empty afterwards.
  void Clear() {
    for (int32_t i = 0; i < count; ++i) {
      delete entries[i];
      entries[i] = nullptr;
    }
    count = 0;
  }

  int32_t count = 0;              // entries in use, in the order they were added
  Asset* entries[Capacity] = {};  // owned
};

}  // namespace yulo
