// Animation clips: validate, then convert every angle triple.
#include <cstddef>
#include <cstdint>

#include "models/model_files.h"
#include "models/skin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  yulo::ClipFileView file;
  yulo::FileError error;
  if (!yulo::ReadClipFile(data, size, &file, &error)) return 0;
  yulo::AnimationClip clip;
  yulo::BuildClip(file, &clip);
  if (clip.duration < 1 || clip.rotations.size() != size_t(clip.boneCount) * clip.frameCount) {
    __builtin_trap();
  }
  return 0;
}
