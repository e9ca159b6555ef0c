#include "models/character.h"

#include <cmath>
#include <cstring>

#include "base/fatal.h"
#include "base/shell_state.h"
#include "models/file_loading.h"
#include "models/frame_matrices.h"
#include "models/libraries.h"
#include "models/mesh_vertex.h"
#include "models/model_files.h"
#include "models/skin.h"
#include "models/skinning.h"
#include "render/renderer.h"
#include "resources/loaded_file.h"
#include "resources/loading_error.h"
#include "resources/texture_manager.h"

namespace yulo {

Character::Character() = default;

Character::~Character() {
  if (vertexBuffer) vertexBuffer->Release();
}

void Character::Reset() {
  if (vertexBuffer) vertexBuffer->Release();
  vertexBuffer = nullptr;
  pose.SetIdentity();
  placement.SetIdentity();
  renderVertexCount = 0;
  renderToSkin = nullptr;
  skinnedPositions.clear();
  normals.clear();
  faceNormals.clear();
  skin = nullptr;
  texture = nullptr;
  currentClip = nullptr;
  nextClip = nullptr;
  bonePositions.clear();
  boneRotations.clear();
  fadeWeight = 0.0f;
  frameFraction = 0.0f;
  frameIndex = 0;
  clipTime = 0.0f;
  fading = false;
  fadeTime = 300.0f;
  fadeDuration = kCrossFadeDuration;
  rootPosition = Vector3();
  playbackSpeed = 1.0f;
}

bool Character::Load(const char* path) {
  Reset();
  CharacterFileView file;
  LoadValidFile(path, ReadCharacterFile, &file);
  SetLoadReferrer(path, "skin");
  skin = models.skinLibrary.GetOrLoad(file.skinName);
  SetLoadReferrer(path, "texture");
  texture = GetTexture(file.textureName);
  SetLoadReferrer(nullptr, nullptr);

  renderVertexCount = skin->renderVertexCount;
  renderToSkin = skin->renderToSkin.data();
  if (Device* device = GetDevice(); device && renderVertexCount > 0) {
    vertexBuffer =
        device->CreateVertexBuffer(static_cast<uint32_t>(renderVertexCount) * kMeshVertexStride,
                                   D3DUSAGE_WRITEONLY, kMeshVertexFvf, D3DPOOL_MANAGED);
    uint8_t* bytes = nullptr;
    if (vertexBuffer && vertexBuffer->Lock(0, 0, &bytes, 0) == D3D_OK) {
      for (int32_t r = 0; r < renderVertexCount; ++r) {
        MeshVertex v;
        v.u = skin->renderTexCoords[static_cast<size_t>(r)].x;
        v.v = skin->renderTexCoords[static_cast<size_t>(r)].y;
        std::memcpy(bytes + static_cast<size_t>(r) * kMeshVertexStride, &v, sizeof(v));
      }
      vertexBuffer->Unlock();
    }
  }
  skinnedPositions.assign(static_cast<size_t>(skin->vertexCount), Vector3());
  normals.assign(static_cast<size_t>(skin->vertexCount), Vector3());
  faceNormals.assign(static_cast<size_t>(skin->faceCount), PaddedNormal{});
  bonePositions.assign(static_cast<size_t>(skin->boneCount), Vector3());
  boneRotations.assign(static_cast<size_t>(skin->boneCount), Matrix4());
  return true;
}

void Character::CheckClip(const AnimationClip* clip) const {
  // A clip for a smaller skeleton would be read past its rotations.
  if (skin && clip->boneCount < skin->boneCount) {
    FatalErrorF(kLoadingErrorCaption, 1,
                "Can't play %s on %s: the clip animates %d bones, the skin has %d.\n"
                "Program will now stop.",
                clip->name, skin->name, clip->boneCount, skin->boneCount);
  }
}

void Character::CrossFadeTo(AnimationClip* clip) {
  if (clip) CheckClip(clip);
  nextClip = clip;
  fadeDuration = kCrossFadeDuration;
  fadeTime = 0.0f;
  fading = clip != nullptr;
}

void Character::Update() {
  if (!currentClip || !skin) return;
  const float dt = frameTiming.elapsedTime * playbackSpeed;

  // Fade clock: the blend ends on the first Update that finds the fade complete, and the
  // new clip starts at the time the fade ran over.
  if (fading) {
    if (fadeTime >= fadeDuration) {
      clipTime = fadeTime - fadeDuration;
      currentClip = nextClip;
      fading = false;
    } else {
      fadeTime += dt;
      // The frame that completes the fade carries the blend past its end (a weight over
      // one). Past twice the fade, which only a stall or a machine waking up can reach, the
      // pose lands on the new clip instead of extrapolating far beyond it.
      fadeWeight = fadeTime / fadeDuration;
      if (!(fadeWeight <= kMaxFadeOvershoot)) fadeWeight = 1.0f;
    }
  }
  CheckClip(currentClip);

  // Clip clock, wrapped by the remainder so that any step keeps it inside the clip.
  const AnimationClip& clip = *currentClip;
  const float duration = static_cast<float>(clip.duration);
  clipTime += dt;
  if (clipTime >= duration || clipTime < 0.0f) {
    clipTime = std::fmod(clipTime, duration);
    if (clipTime < 0.0f) clipTime += duration;
  }
  if (!(clipTime >= 0.0f && clipTime < duration)) clipTime = 0.0f;  // NaN, or rounding
  frameIndex = static_cast<int32_t>(clipTime) / clip.frameDuration;
  if (frameIndex >= clip.frameCount) frameIndex = clip.frameCount - 1;
  frameFraction =
      clipTime / static_cast<float>(clip.frameDuration) - static_cast<float>(frameIndex);

  PoseBone(0, 0);

  SkinVertices(skin->weighted, boneRotations, bonePositions, skinnedPositions);

  const int32_t next = frameIndex + 1 == clip.frameCount ? 0 : frameIndex + 1;
  rootPosition = clip.rootPositions[static_cast<size_t>(frameIndex)].Lerp(
      clip.rootPositions[static_cast<size_t>(next)], frameFraction);
  if (fading) rootPosition = rootPosition.Lerp(nextClip->rootPositions[0], fadeWeight);
  pose.SetIdentity();
  pose.m[3][0] = rootPosition.x;
  pose.m[3][1] = rootPosition.y;
  pose.m[3][2] = rootPosition.z;

  RebuildNormals(skin->corners, skinnedPositions, skin->vertexTriangles, faceNormals, normals);

  uint8_t* bytes = nullptr;
  if (vertexBuffer && vertexBuffer->Lock(0, 0, &bytes, 0) == D3D_OK) {
    WriteRenderVertices({renderToSkin, static_cast<size_t>(renderVertexCount)}, skinnedPositions,
                        normals, bytes);
    vertexBuffer->Unlock();
  }
}

void Character::PoseBone(int32_t bone, int32_t parent) {
  const AnimationClip& clip = *currentClip;
  const size_t n = static_cast<size_t>(clip.frameCount);
  const size_t f = static_cast<size_t>(frameIndex);
  const size_t f2 = f + 1 == n ? 0 : f + 1;
  const size_t base = static_cast<size_t>(bone) * n;
  Quaternion q = clip.rotations[base + f].Slerp(clip.rotations[base + f2], frameFraction);
  if (fading) {
    q = q.Slerp(
        nextClip->rotations[static_cast<size_t>(bone) * static_cast<size_t>(nextClip->frameCount)],
        fadeWeight);
  }
  Matrix4 local;
  q.ToMatrix(local);
  const size_t a = static_cast<size_t>(bone);
  if (bone != 0) {
    const Matrix4& up = boneRotations[static_cast<size_t>(parent)];
    boneRotations[a] = up * local;  // the bone's own turn first, then its parent's
    bonePositions[a] =
        skin->boneOffsets[a].Transform(up) + bonePositions[static_cast<size_t>(parent)];
  } else {
    bonePositions[0] = Vector3();
    boneRotations[0] = local;
  }
  const BoneRecord& record = skin->bones[a];
  for (int32_t i = 0; i < record.childCount; ++i) PoseBone(record.children[i], bone);
}

void Character::Render() {
  if (!skin) return;
  // pose, then placement, then the sleigh (Matrix4's a * b applies b first).
  const Matrix4 w = frameMatrices.sleighMatrix * (placement * pose);
  SetWorldMatrix(&w);
  SetTexture(texture);
  Device* device = GetDevice();
  if (!device || !vertexBuffer || !skin->indexBuffer) return;
  device->SetStreamSource(0, vertexBuffer, kMeshVertexStride);
  device->SetVertexShader(kMeshVertexFvf);
  device->SetIndices(skin->indexBuffer, 0);
  device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<uint32_t>(renderVertexCount), 0,
                               static_cast<uint32_t>(skin->faceCount));
}

}  // namespace yulo
