#include "models/model_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sample_files.h"

namespace yulo {
namespace {

using test::ChainClip;
using test::ChainSkin;
using test::QuadMesh;

template <typename View>
using Reader = bool (*)(const uint8_t*, size_t, View*, FileError*);

// Reads bytes that must be rejected; returns the reason given.
template <typename View>
std::string Rejection(Reader<View> read, const std::vector<uint8_t>& bytes) {
  View view;
  FileError error;
  EXPECT_FALSE(read(bytes.data(), bytes.size(), &view, &error));
  return error.text;
}

// Every proper prefix of a valid file is rejected (and read without overrun under ASan).
template <typename View>
void ExpectEveryPrefixRejected(Reader<View> read, const std::vector<uint8_t>& bytes) {
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + long(n));
    View view;
    FileError error;
    EXPECT_FALSE(read(prefix.data(), prefix.size(), &view, &error)) << n << " bytes";
    EXPECT_NE(error.text[0], '\0') << n << " bytes";
  }
}

void PutInt32(std::vector<uint8_t>& bytes, size_t offset, int32_t v) {
  std::memcpy(bytes.data() + offset, &v, 4);
}

// >>section mesh
TEST(MeshFileValidity, WrittenMeshReadsBack) {
  MeshFileData data = QuadMesh(true);
  data.translation = {1, 2, 3};
  data.angles = {0.5f, 0, -1};
  const std::vector<uint8_t> bytes = EncodeMeshFile(data);
  ASSERT_EQ(bytes.size(), kMeshHeaderSize + 12 * 5 + 12 * 2 + 24 * 2);
  MeshFileView m;
  FileError error;
  ASSERT_TRUE(ReadMeshFile(bytes.data(), bytes.size(), &m, &error)) << error.text;
  EXPECT_TRUE(m.smooth);
  EXPECT_EQ(m.positionCount, 5);
  EXPECT_EQ(m.faceCount, 2);
  EXPECT_FLOAT_EQ(m.translation.z, 3.0f);
  EXPECT_FLOAT_EQ(m.angles.x, 0.5f);
  EXPECT_EQ(m.Corner(5), 3);
  EXPECT_FLOAT_EQ(m.Position(2).x, 1.0f);
  EXPECT_FLOAT_EQ(m.V(1), 1.0f);
}

TEST(MeshFileValidity, TrailingBytesAreIgnored) {
  std::vector<uint8_t> bytes = EncodeMeshFile(QuadMesh(false));
  bytes.resize(bytes.size() + 7, 0xEE);
  MeshFileView m;
  FileError error;
  EXPECT_TRUE(ReadMeshFile(bytes.data(), bytes.size(), &m, &error)) << error.text;
}

TEST(MeshFileValidity, ShortFilesAreRejected) {
  ExpectEveryPrefixRejected<MeshFileView>(ReadMeshFile, EncodeMeshFile(QuadMesh(true)));
}

TEST(MeshFileValidity, BadCountsAndIndicesAreRejected) {
  const std::vector<uint8_t> good = EncodeMeshFile(QuadMesh(true));
  std::vector<uint8_t> bytes = good;
  PutInt32(bytes, 29, -1);
  EXPECT_NE(Rejection<MeshFileView>(ReadMeshFile, bytes).find("negative position count"),
            std::string::npos);
  bytes = good;
  PutInt32(bytes, 33, 0x7FFFFFFF);  // a count far beyond the data
  EXPECT_NE(Rejection<MeshFileView>(ReadMeshFile, bytes).find("file ends inside"),
            std::string::npos);
  bytes = good;
  PutInt32(bytes, kMeshHeaderSize + 12 * 5 + 4 * 4, 5);  // triangle 1 corner 1 -> position 5
  EXPECT_EQ(Rejection<MeshFileView>(ReadMeshFile, bytes),
            "triangle 1 corner 1 names position 5, but there are 5");
  bytes = good;
  PutInt32(bytes, kMeshHeaderSize + 12 * 5, -3);
  EXPECT_NE(Rejection<MeshFileView>(ReadMeshFile, bytes).find("position -3"), std::string::npos);
}

// >>section character
TEST(CharacterFileValidity, NamesReadBack) {
  const std::vector<uint8_t> bytes = EncodeCharacterFile("deer.skn", "deer.tga");
  ASSERT_EQ(bytes.size(), 32u + 9u);
  CharacterFileView v;
  FileError error;
  ASSERT_TRUE(ReadCharacterFile(bytes.data(), bytes.size(), &v, &error)) << error.text;
  EXPECT_STREQ(v.skinName, "deer.skn");
  EXPECT_STREQ(v.textureName, "deer.tga");
  // A texture name that runs to the end of the file without its NUL is still whole.
  CharacterFileView w;
  ASSERT_TRUE(ReadCharacterFile(bytes.data(), bytes.size() - 1, &w, &error)) << error.text;
  EXPECT_STREQ(w.textureName, "deer.tga");
}

TEST(CharacterFileValidity, MalformedNamesAreRejected) {
  std::vector<uint8_t> bytes = EncodeCharacterFile("deer.skn", "deer.tga");
  EXPECT_NE(Rejection<CharacterFileView>(ReadCharacterFile, {bytes.begin(), bytes.begin() + 20})
                .find("skin name"),
            std::string::npos);
  EXPECT_EQ(Rejection<CharacterFileView>(ReadCharacterFile, {bytes.begin(), bytes.begin() + 32}),
            "texture name is empty");
  std::vector<uint8_t> unterminated = bytes;
  std::memset(unterminated.data(), 'a', 32);
  EXPECT_EQ(Rejection<CharacterFileView>(ReadCharacterFile, unterminated),
            "skin name is not terminated within its 32 bytes");
  EXPECT_EQ(Rejection<CharacterFileView>(ReadCharacterFile, EncodeCharacterFile("", "x.tga")),
            "skin name is empty");
  EXPECT_NE(Rejection<CharacterFileView>(ReadCharacterFile,
                                         EncodeCharacterFile("a", std::string(300, 't')))
                .find("longer than"),
            std::string::npos);
}

// >>section skin
constexpr size_t kChainVertexBlock = 8 + 12 * 3;                // start of the vertices
constexpr size_t kChainBoneBlock = kChainVertexBlock + 60 * 4;  // start of the bones
constexpr size_t kChainCornerBlock = kChainBoneBlock + 56 * 3 + 4;

TEST(SkinFileValidity, WrittenSkinReadsBack) {
  const std::vector<uint8_t> bytes = EncodeSkinFile(ChainSkin());
  ASSERT_EQ(bytes.size(), kChainCornerBlock + 12 * 2 + 24 * 2);
  SkinFileView s;
  FileError error;
  ASSERT_TRUE(ReadSkinFile(bytes.data(), bytes.size(), &s, &error)) << error.text;
  EXPECT_EQ(s.vertexCount, 4);
  EXPECT_EQ(s.boneCount, 3);
  EXPECT_EQ(s.faceCount, 2);
  EXPECT_FLOAT_EQ(s.BoneOffset(2).y, 1.0f);
  EXPECT_EQ(s.Bone(1).childCount, 1);
  EXPECT_EQ(s.Bone(1).children[0], 2);
  EXPECT_STREQ(s.Bone(2).name, "Bip01 Head");
  EXPECT_EQ(s.Vertex(3).influences[1].bone, 2);
  EXPECT_FLOAT_EQ(s.V(3), 0.25f);
}

TEST(SkinFileValidity, ShortFilesAreRejected) {
  ExpectEveryPrefixRejected<SkinFileView>(ReadSkinFile, EncodeSkinFile(ChainSkin()));
}

TEST(SkinFileValidity, BadBonesAndIndicesAreRejected) {
  const std::vector<uint8_t> good = EncodeSkinFile(ChainSkin());
  auto rejected = [](const std::vector<uint8_t>& b) {
    return Rejection<SkinFileView>(ReadSkinFile, b);
  };
  std::vector<uint8_t> bytes = good;
  PutInt32(bytes, 4, 0);
  EXPECT_EQ(rejected(bytes), "bone count 0 is outside 1..256");
  bytes = good;
  PutInt32(bytes, 4, 100000);
  EXPECT_EQ(rejected(bytes), "bone count 100000 is outside 1..256");
  bytes = good;
  PutInt32(bytes, 0, -2);
  EXPECT_EQ(rejected(bytes), "negative vertex count -2");
  bytes = good;
  PutInt32(bytes, kChainVertexBlock + 60 + 4, 3);  // vertex 1, influence 0 -> bone 3
  EXPECT_EQ(rejected(bytes), "vertex 1 influence 0 names bone 3, but there are 3");
  bytes = good;
  PutInt32(bytes, kChainBoneBlock + 56, 6);  // bone 1 claims six children
  EXPECT_EQ(rejected(bytes), "bone 1 has 6 children (at most 5)");
  bytes = good;
  PutInt32(bytes, kChainBoneBlock + 56 + 4, 3);  // bone 1's child is bone 3
  EXPECT_EQ(rejected(bytes), "bone 1 child 0 is bone 3, outside 1..2");
  bytes = good;
  PutInt32(bytes, kChainBoneBlock + 56 + 4, 0);  // the root as a child: a cycle
  EXPECT_EQ(rejected(bytes), "bone 1 child 0 is bone 0, outside 1..2");
  bytes = good;
  PutInt32(bytes, kChainBoneBlock + 56 * 2, 1);  // bone 2 -> bone 1 -> bone 2
  PutInt32(bytes, kChainBoneBlock + 56 * 2 + 4, 1);
  EXPECT_EQ(rejected(bytes), "bone 1 has more than one parent");
  bytes = good;
  PutInt32(bytes, kChainCornerBlock + 4 * 5, 4);
  EXPECT_EQ(rejected(bytes), "triangle 1 corner 2 names skin vertex 4, but there are 4");
  bytes = good;
  PutInt32(bytes, kChainCornerBlock - 4, 1 << 28);
  EXPECT_NE(rejected(bytes).find("file ends inside the triangles"), std::string::npos);
}

// >>section clip
TEST(ClipFileValidity, WrittenClipReadsBackBoneMajor) {
  const std::vector<uint8_t> bytes = EncodeClipFile(ChainClip(4, 33));
  ASSERT_EQ(bytes.size(), 12u + 12 * 4 + 12 * 3 * 4);
  ClipFileView c;
  FileError error;
  ASSERT_TRUE(ReadClipFile(bytes.data(), bytes.size(), &c, &error)) << error.text;
  EXPECT_EQ(c.boneCount, 3);
  EXPECT_EQ(c.frameDuration, 33);
  EXPECT_EQ(c.frameCount, 4);
  EXPECT_FLOAT_EQ(c.RootPosition(3).x, 3.0f);
  EXPECT_FLOAT_EQ(c.Angles(1, 0).z, 0.0f);
  EXPECT_FLOAT_EQ(c.Angles(1, 3).z, 0.1f * 3 * 2);
  EXPECT_FLOAT_EQ(c.Angles(2, 1).z, 0.1f * 1 * 3);
}

TEST(ClipFileValidity, ShortFilesAndBadHeadersAreRejected) {
  const std::vector<uint8_t> good = EncodeClipFile(ChainClip(3, 40));
  ExpectEveryPrefixRejected<ClipFileView>(ReadClipFile, good);
  auto rejected = [](const std::vector<uint8_t>& b) {
    return Rejection<ClipFileView>(ReadClipFile, b);
  };
  std::vector<uint8_t> bytes = good;
  PutInt32(bytes, 4, 0);
  EXPECT_EQ(rejected(bytes), "frame duration 0 ms is not positive");
  bytes = good;
  PutInt32(bytes, 8, 0);
  EXPECT_EQ(rejected(bytes), "frame count 0 is not positive");
  bytes = good;
  PutInt32(bytes, 0, -1);
  EXPECT_EQ(rejected(bytes), "bone count -1 is outside 1..256");
  bytes = good;
  PutInt32(bytes, 4, 1 << 20);
  PutInt32(bytes, 8, 1 << 12);
  EXPECT_EQ(rejected(bytes), "4096 frames of 1048576 ms overflow the clip length");
}

}  // namespace
}  // namespace yulo
