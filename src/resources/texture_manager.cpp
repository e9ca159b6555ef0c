#include "resources/texture_manager.h"

#include <cstring>

#include "base/fatal.h"
#include "render/renderer.h"
#include "resources/image_decoder.h"
#include "resources/loaded_file.h"

namespace yulo {

TextureManager textureManager;

Texture* GetTexture(const char* name) {
  return textureManager.GetTexture(name);
}

TextureManager::~TextureManager() {
  ReleaseAll();
}

void TextureManager::ReleaseAll() {
  for (int i = 0; i < count_; ++i) {
    if (textures_[i]->texture != nullptr) textures_[i]->texture->Release();
    delete textures_[i];
    textures_[i] = nullptr;
  }
  count_ = 0;
}

Texture* TextureManager::GetTexture(const char* name) {
  return LoadTexture(name, true);
}

Texture* TextureManager::FindTexture(const char* name) const {
  for (int i = 0; i < count_; ++i) {
    if (std::strcmp(textures_[i]->name, name) == 0) return textures_[i];
  }
  return nullptr;
}

Texture* TextureManager::AddTexture(const char* name) {
  if (count_ >= kTextureCapacity - 1) return nullptr;
  // A longer name would be stored cut and never found again under the name asked for.
  if (std::strlen(name) >= sizeof(Texture::name)) return nullptr;
  auto* texture = new Texture{};
  std::strcpy(texture->name, name);
  textures_[count_++] = texture;
  return texture;
}

Texture* TextureManager::LoadTexture(const char* name, bool fatal) {
  if (Texture* known = FindTexture(name)) return known;

  // Each step that can fail falls through to the one failure path below, so nothing is
  // half-made: no record without a texture, no texture without a record.
  Texture* record = nullptr;
  int32_t size = 0;
  const uint8_t* bytes = LoadFile(name, &size, false);
  Device* device = GetDevice();
  if (bytes != nullptr && size > 0 && device != nullptr) {
    DecodedImage image;
    if (DecodeImage(bytes, static_cast<size_t>(size), &image)) {
      DeviceTexture* created = device->CreateTexture(image.width, image.height, image.rgba.data());
      if (created != nullptr) {
        record = AddTexture(name);
        if (record != nullptr) {
          record->texture = created;
          record->width = created->Width();
          record->height = created->Height();
          record->alphaTest =
              std::strstr(name, ".tga") != nullptr || std::strstr(name, ".TGA") != nullptr;
        } else {
          created->Release();
        }
      }
    }
  }
  if (record == nullptr && fatal) {
    char shown[512];
    FormatLoadName(name, shown, sizeof shown);
    char reason[128] = "";
    if (bytes == nullptr) DescribeLastLoadFailure(reason, sizeof reason);
    char note[400];
    DescribeLoadReferrer(note, sizeof note);
    FatalErrorF("Loading error", 1, "Couldn't load texture: %s%s%s%s%s", shown,
                reason[0] != '\0' ? "\n" : "", reason, note[0] != '\0' ? "\n\n" : "", note);
  }
  return record;
}

}  // namespace yulo
