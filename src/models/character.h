// An animated, skinned figure: plays a clip on its skin's skeleton, cross-fades to
// another clip on request, deforms the skin on the processor each Update and draws it
// with one indexed call. Characters may share skins and clips; time, pose and vertex
// buffer are their own.
#pragma once

#include <cstdint>
#include <vector>

#include "math/matrix.h"
#include "math/vector.h"
#include "models/skinning.h"

namespace yulo {

struct AnimationClip;
struct CharacterSkin;
struct Texture;
class VertexBuffer;

inline constexpr float kCrossFadeDuration = 200.0f;  // ms
// The largest blend weight a fade carries past its end; beyond it the new clip is shown.
inline constexpr float kMaxFadeOvershoot = 2.0f;

class Character {
 public:
  Character();
  // Releases the vertex buffer. Virtual, so that a character of a derived class (one that
  // poses its bones its own way) is destroyed whole through a Character pointer.
  virtual ~Character();
  Character(const Character&) = delete;
  Character& operator=(const Character&) = delete;

  // Resets the character, reads the .chr file path, takes its skin and texture from the
  // libraries (fatal when missing or malformed) and sizes every per-frame array and the
  // vertex buffer. Returns true.
  virtual bool Load(const char* path);
  // Advances the clocks by elapsedTime * playbackSpeed, poses the skeleton, skins the
  // vertices, moves the root, rebuilds the normals and refreshes the vertex buffer. Once
  // per frame, before any Render of that frame. Does nothing before a clip is set.
  virtual void Update();
  // Draws the current pose at pose x placement x sleighMatrix. Inside a scene; lighting
  // and material are the caller's; changes transform, texture and stream, no states.
  virtual void Render();
  // Poses bone and, recursively, its children; parent is ignored for the root (bone 0).
  virtual void PoseBone(int32_t bone, int32_t parent);

  // Starts a 200 ms blend from the current pose towards frame 0 of clip; the current clip
  // keeps playing underneath. Called during a fade, restarts it towards the newer clip.
  void CrossFadeTo(AnimationClip* clip);
  // Identity pose and placement, clocks at rest, no skin, clips or buffers.
  void Reset();

  Matrix4 pose;                           // rebuilt by every Update: translation by rootPosition
  Matrix4 placement;                      // written by the owner before Render
  VertexBuffer* vertexBuffer = nullptr;   // R 32-byte vertices; owned
  int32_t renderVertexCount = 0;          // R
  const int32_t* renderToSkin = nullptr;  // the skin's map, R entries
  std::vector<Vector3> skinnedPositions;  // V
  std::vector<Vector3> normals;           // V
  std::vector<PaddedNormal> faceNormals;  // F, scratch of RebuildNormals
  CharacterSkin* skin = nullptr;          // shared
  const Texture* texture = nullptr;       // shared
  AnimationClip* currentClip = nullptr;   // set by the owner
  AnimationClip* nextClip = nullptr;      // being faded to
  std::vector<Vector3> bonePositions;     // B, model space
  std::vector<Matrix4> boneRotations;     // B, model space, translation row zero
  float fadeWeight = 0.0f;                // 0..1 weight of nextClip during a fade
  float frameFraction = 0.0f;             // between frameIndex and the next frame, 0..1
  int32_t frameIndex = 0;                 // current frame of currentClip
  float clipTime = 0.0f;                  // ms into currentClip; the owner may set it
  bool fading = false;
  float fadeTime = 300.0f;  // ms since the fade started
  float fadeDuration = kCrossFadeDuration;
  Vector3 rootPosition;        // root translation of the current frame
  float playbackSpeed = 1.0f;  // multiplies elapsedTime

 private:
  void CheckClip(const AnimationClip* clip) const;
};

}  // namespace yulo
