#include "scene_data/scene_data.h"

#include "formats/formats.h"

namespace yulo::test {

std::string TinyTga() {
  std::string t(18, '\0');
  t[2] = 2;   // uncompressed true colour
  t[12] = 2;  // width
  t[14] = 2;  // height
  t[16] = 32;
  t[17] = 0x28;  // top-left origin, 8 alpha bits
  for (int i = 0; i < 4; ++i) t += std::string("\x80\x90\xA0\xFF", 4);
  return t;
}

namespace {

// A square grid folded over two bones: bone 1 hangs off the root one unit up.
SkinFileData GridSkin(int n) {
  SkinFileData skin;
  skin.boneOffsets = {Vector3(0, 0, 0), Vector3(0, 0, 1)};
  skin.bones = {MakeBone("root", {1}), MakeBone("tip", {})};
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const float x = static_cast<float>(i);
      const float y = static_cast<float>(j);
      const float w = static_cast<float>(j) / static_cast<float>(n - 1);
      skin.vertices.push_back(
          MakeSkinVertex({{1.0f - w, 0, Vector3(x, y, 0)}, {w, 1, Vector3(x, y, -1)}}));
    }
  }
  for (int j = 0; j + 1 < n; ++j) {
    for (int i = 0; i + 1 < n; ++i) {
      const int a = j * n + i;
      for (int c : {a, a + 1, a + n, a + 1, a + n + 1, a + n}) {
        skin.corners.push_back(c);
        skin.texCoords.push_back(Vector2(static_cast<float>(c % n) / static_cast<float>(n),
                                         static_cast<float>(c / n) / static_cast<float>(n)));
      }
    }
  }
  return skin;
}

// The root stays at the origin, so a character's pose is identity; the bones turn.
ClipFileData TurningClip(float turn) {
  ClipFileData clip;
  clip.boneCount = 2;
  clip.frameDuration = kClipFrameMs;
  for (int f = 0; f < kClipFrames; ++f) clip.rootPositions.push_back(Vector3(0, 0, 0));
  for (int b = 0; b < 2; ++b) {
    for (int f = 0; f < kClipFrames; ++f) {
      clip.angles.push_back(Vector3(0, turn * static_cast<float>(b), turn * static_cast<float>(f)));
    }
  }
  return clip;
}

}  // namespace

std::string WriteSceneData(const std::string& dir, int gridSize) {
  struct File {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const std::string emptyModel = EncodeModelDescription(ModelDescription{});
  const std::string tga = TinyTga();
  const std::vector<uint8_t> modelBytes(emptyModel.begin(), emptyModel.end());
  const std::vector<uint8_t> tgaBytes(tga.begin(), tga.end());
  const std::vector<uint8_t> skin = EncodeSkinFile(GridSkin(gridSize < 2 ? 2 : gridSize));
  const File files[] = {
      {"sani.cgo", modelBytes},  // nummeshes=0: loads, draws nothing, sets no state
      {"sky.cgo", modelBytes},
      {"earth.cgo", modelBytes},
      {"snowflake.tga", tgaBytes},
      {"fir.tga", tgaBytes},
      {"fir2.tga", tgaBytes},
      {"particles.tga", tgaBytes},
      {"deer.tga", tgaBytes},
      {"yulo.tga", tgaBytes},
      {"deer.skn", skin},
      {"yulo.skn", skin},
      {"deer.chr", EncodeCharacterFile("deer.skn", "deer.tga")},
      {"yulo.chr", EncodeCharacterFile("yulo.skn", "yulo.tga")},
      {"deer.anm", EncodeClipFile(TurningClip(0.3f))},
      {"yulo.anm", EncodeClipFile(TurningClip(0.1f))},
      {"yulo_mah.anm", EncodeClipFile(TurningClip(-0.2f))},
  };
  for (const File& f : files) {
    if (!WriteWholeFile(dir + "/" + f.name, f.bytes)) return f.name;
  }
  return {};
}

}  // namespace yulo::test
