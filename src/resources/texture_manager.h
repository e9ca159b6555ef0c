// The texture manager: one Texture record per distinct name (letter case counts), created
// on first request from the file's bytes and kept until the program ends.
#pragma once

#include "render/texture.h"

namespace yulo {

inline constexpr int kTextureCapacity = 1024;  // slots; at most kTextureCapacity - 1 used

class TextureManager {
 public:
  TextureManager() = default;
  TextureManager(const TextureManager&) = delete;
  TextureManager& operator=(const TextureManager&) = delete;
  // Releases every record and its device texture.
  virtual ~TextureManager();

  // The record for name, loading it if needed; a failure is fatal ("Couldn't load texture:
  // <name>" under "Loading error", exit code 1).
  Texture* GetTexture(const char* name);
  // The record for name, loading it if needed. On failure: fatal as GetTexture when fatal
  // is set, otherwise nullptr with no record left behind (a later request tries again).
  Texture* LoadTexture(const char* name, bool fatal);
  // The record whose name equals name byte for byte, or nullptr.
  Texture* FindTexture(const char* name) const;
  // Appends a zero-filled record named name; nullptr when the table is full or the name
  // does not fit the record.
  Texture* AddTexture(const char* name);

  int Count() const { return count_; }
  Texture* At(int i) const { return i >= 0 && i < count_ ? textures_[i] : nullptr; }
  // Releases every record now (the destructor's work), leaving an empty table.
  void ReleaseAll();

 private:
  Texture* textures_[kTextureCapacity] = {};
  int count_ = 0;
};

// The one texture manager of the program.
extern TextureManager textureManager;

// textureManager.GetTexture(name).
Texture* GetTexture(const char* name);

}  // namespace yulo
