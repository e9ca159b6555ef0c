#include "model_fixture.h"

#include "math/scalar.h"
#include "models/libraries.h"
#include "models/mesh.h"
#include "models/model.h"
#include "models/skin.h"
#include "render/renderer.h"
#include "resources/loaded_file.h"
#include "resources/texture_manager.h"

namespace yulo::test {

void ModelFilesTest::SetUp() {
  BuildSqrtTable();
  SetDevice(&device);
}

void ModelFilesTest::TearDown() {
  models.modelLibrary.Clear();
  models.meshLibrary.Clear();
  models.skinLibrary.Clear();
  models.animationLibrary.Clear();
  textureManager.ReleaseAll();
  // Character files stay in the loaded-file table; drop them so the next test rereads.
  while (LoadedFileCount() > 0) FreeFileByName(LoadedFileAt(0)->name);
  SetDevice(nullptr);
}

void ModelFilesTest::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  dir.Write(name, std::string(bytes.begin(), bytes.end()));
}

void ModelFilesTest::Write(const std::string& name, const std::string& text) const {
  dir.Write(name, text);
}

void ModelFilesTest::WriteTga(const std::string& name) const {
  std::string tga(18, '\0');
  tga[2] = 2;  // uncompressed true colour
  tga[12] = 2;
  tga[14] = 2;
  tga[16] = 32;
  tga[17] = 0x28;  // top-left origin, 8 alpha bits
  for (int i = 0; i < 4; ++i) tga += std::string("\x40\x80\xC0\xFF", 4);
  dir.Write(name, tga);
}

void ModelFilesTest::WriteBmp(const std::string& name) const {
  auto le32 = [](std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
  };
  std::string bmp = "BM";
  le32(bmp, 54 + 16);
  le32(bmp, 0);
  le32(bmp, 54);
  le32(bmp, 40);
  le32(bmp, 2);
  le32(bmp, 2);
  bmp += std::string("\x01\x00\x18\x00", 4);  // one plane, 24 bits
  for (int i = 0; i < 6; ++i) le32(bmp, 0);
  for (int row = 0; row < 2; ++row) bmp += std::string("\x10\x20\x30\x10\x20\x30\x00\x00", 8);
  dir.Write(name, bmp);
}

}  // namespace yulo::test
