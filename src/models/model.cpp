#include "models/model.h"

#include <cstdio>
#include <cstring>

#include "models/libraries.h"
#include "models/mesh.h"
#include "render/renderer.h"
#include "resources/key_value.h"
#include "resources/loaded_file.h"
#include "resources/loading_error.h"
#include "resources/texture_manager.h"

namespace yulo {

namespace {

// Reads the file name under key: an absent key gives the empty name, which its loader then
// reports; an over-long value is fatal, since it can only end in loading the wrong file.
void ReadName(const char* path, const char* text, const char* key, size_t limit, char* out,
              size_t capacity) {
  GetValueString(out, capacity, text, key);
  if (std::strlen(out) > limit)
    LoadingError(path, "The value of %s is longer than %zu characters", key, limit);
}

int32_t ReadCount(const char* path, const char* text, const char* key, int32_t limit) {
  const int32_t n = GetValueInt(text, key);
  if (n < 0 || n > limit) LoadingError(path, "%s%d is outside 0..%d", key, n, limit);
  return n;
}

}  // namespace

bool Model::Load(const char* path) {
  int32_t size = 0;
  const uint8_t* data = LoadFile(path, &size, true);
  // The text ends before the file's final line-end byte. Only such a byte is dropped: a
  // description without a final line break keeps its last value whole.
  size_t length = static_cast<size_t>(size);
  if (length > 0 && (data[length - 1] == '\n' || data[length - 1] == '\r')) --length;
  std::vector<char> text(length + 1, '\0');
  std::memcpy(text.data(), data, length);
  const char* t = text.data();

  meshCount = ReadCount(path, t, "nummeshes=", kMaxModelMeshes);
  meshes.assign(static_cast<size_t>(meshCount), nullptr);
  textures.assign(static_cast<size_t>(meshCount), nullptr);
  char key[48];
  char value[256];
  for (int32_t i = 0; i < meshCount; ++i) {
    std::snprintf(key, sizeof(key), "mesh%d=", i);
    ReadName(path, t, key, kMeshNameCapacity - 1, value, sizeof(value));
    key[std::strlen(key) - 1] = '\0';  // a failure names the key without its '='
    SetLoadReferrer(path, key);
    meshes[static_cast<size_t>(i)] = models.meshLibrary.GetOrLoad(value);
    SetLoadReferrer(nullptr, nullptr);
    std::snprintf(key, sizeof(key), "texture%d=", i);
    ReadName(path, t, key, kTextureNameCapacity - 1, value, sizeof(value));
    key[std::strlen(key) - 1] = '\0';
    SetLoadReferrer(path, key);
    textures[static_cast<size_t>(i)] = GetTexture(value);
    SetLoadReferrer(nullptr, nullptr);
  }

  boundCount = ReadCount(path, t, "numbounds=", kMaxModelBounds);
  bounds.assign(static_cast<size_t>(boundCount), ModelBound{});
  for (int32_t i = 0; i < boundCount; ++i) {
    ModelBound& b = bounds[static_cast<size_t>(i)];
    auto k = [&](const char* field) {
      std::snprintf(key, sizeof(key), "bound%d.%s=", i, field);
      return key;
    };
    GetValueString(b.name, t, k("name"));
    b.isCircle = GetValueInt(t, k("b_circle")) != 0;
    b.centre.x = GetValueFloat(t, k("center.x"));
    b.centre.y = GetValueFloat(t, k("center.y"));
    b.centre.z = GetValueFloat(t, k("center.z"));
    if (b.isCircle) {
      b.radius = GetValueFloat(t, k("radius"));
    } else {
      b.extent1 = GetValueFloat(t, k("dx"));
      b.extent2 = GetValueFloat(t, k("dz"));
    }
  }
  FreeFileByName(path);
  return true;
}

void Model::Render() {
  for (int32_t i = 0; i < meshCount; ++i) {
    const Mesh* mesh = meshes[static_cast<size_t>(i)];
    const Texture* texture = textures[static_cast<size_t>(i)];
    const Matrix4 w = world * mesh->local;  // the mesh's placement first, then the model's
    SetWorldMatrix(&w);
    SetTexture(texture);
    const bool alpha = texture && texture->alphaTest;
    SetRenderState(D3DRS_ALPHATESTENABLE, alpha ? 1u : 0u);
    if (alpha) {
      SetRenderState(D3DRS_ALPHABLENDENABLE, 1u);
      SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
      SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    }
    mesh->Draw();
    SetRenderState(D3DRS_ALPHABLENDENABLE, 0u);
    SetRenderState(D3DRS_ALPHATESTENABLE, 0u);
  }
}

Model* ModelLibrary::GetOrLoad(const char* name) {
  if (Model* known = Find(name)) return known;
  if (!std::strstr(name, ".cgo")) LoadingError(name, "not a model description (.cgo)");
  CheckRoom(name, "models");
  Model* model = Add(new Model, name);
  model->Load(name);
  return model;
}

}  // namespace yulo
