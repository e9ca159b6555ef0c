// The merging of user-memory draws and the program keys: CPU only, no GL context.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/gl/gl_batch.h"
#include "render/gl/gl_programs.h"

namespace yulo {
namespace {

// Vertices of stride 12 whose first float is their number.
std::vector<float> Numbered(int count, int first = 0) {
  std::vector<float> v;
  for (int i = 0; i < count; ++i) v.insert(v.end(), {float(first + i), 0.0f, 0.0f});
  return v;
}

std::vector<int> Order(const UserDrawBatch& batch) {
  std::vector<int> order;
  for (uint32_t i = 0; i < batch.Vertices(); ++i) {
    float f;
    std::memcpy(&f, batch.Bytes() + i * batch.Stride(), 4);
    order.push_back(int(f));
  }
  return order;
}

TEST(UserDrawBatch, StripsBecomeListsKeepingWindingAndFirstVertex) {
  UserDrawBatch batch(4096);
  const std::vector<float> list = Numbered(3, 10), strip = Numbered(5);
  batch.Append(D3DPT_TRIANGLELIST, 1, reinterpret_cast<const uint8_t*>(list.data()), 12, 2);
  ASSERT_TRUE(batch.Joins(D3DPT_TRIANGLESTRIP, 3, 12, 2));
  batch.Append(D3DPT_TRIANGLESTRIP, 3, reinterpret_cast<const uint8_t*>(strip.data()), 12, 2);
  EXPECT_EQ(batch.Type(), D3DPT_TRIANGLELIST);
  EXPECT_EQ(Order(batch), (std::vector<int>{10, 11, 12, 0, 1, 2, 1, 3, 2, 2, 3, 4}));
  batch.Clear();
  EXPECT_TRUE(batch.Empty());
}

TEST(UserDrawBatch, OnlyLikeDrawsThatFitJoin) {
  UserDrawBatch batch(10 * 12);
  EXPECT_FALSE(batch.Accepts(D3DPT_TRIANGLEFAN, 1, 12));
  EXPECT_FALSE(batch.Accepts(D3DPT_LINESTRIP, 1, 12));
  EXPECT_FALSE(batch.Accepts(D3DPT_POINTLIST, 11, 12));              // larger than the batch
  EXPECT_FALSE(batch.Accepts(D3DPT_TRIANGLELIST, 0x60000000u, 12));  // no wrap to small
  EXPECT_TRUE(batch.Accepts(D3DPT_POINTLIST, 10, 12));
  const std::vector<float> points = Numbered(6);
  batch.Append(D3DPT_POINTLIST, 6, reinterpret_cast<const uint8_t*>(points.data()), 12, 2);
  EXPECT_TRUE(batch.Joins(D3DPT_POINTLIST, 4, 12, 2));
  EXPECT_FALSE(batch.Joins(D3DPT_POINTLIST, 5, 12, 2));  // no room
  EXPECT_FALSE(batch.Joins(D3DPT_LINELIST, 1, 12, 2));
  EXPECT_FALSE(batch.Joins(D3DPT_POINTLIST, 1, 16, 2));
  EXPECT_FALSE(batch.Joins(D3DPT_POINTLIST, 1, 12, 0x42));
}

DeviceStateTable Defaults() {
  DeviceStateTable states;
  states.SetDefaults(64.0f);
  return states;
}

// Only alpha-tested programs discard: every other draw keeps early depth testing.
TEST(ProgramKey, OnlyTheAlphaTestDiscards) {
  struct Case {
    uint32_t enable, func;
    bool discards;
  };
  for (const Case c : {Case{0, D3DCMP_GREATEREQUAL, false}, Case{1, D3DCMP_ALWAYS, false},
                       Case{1, D3DCMP_GREATEREQUAL, true}, Case{1, D3DCMP_NEVER, true}}) {
    DeviceStateTable states = Defaults();
    states.render[D3DRS_ALPHATESTENABLE] = c.enable;
    states.render[D3DRS_ALPHAFUNC] = c.func;
    const ProgramKey key = MakeProgramKey(states, DrawInputs{0x142, false, true, false});
    char vertex[8192], fragment[8192];
    ASSERT_TRUE(WriteShaderSources(key, vertex, sizeof vertex, fragment, sizeof fragment));
    EXPECT_EQ(KeyDiscards(key), c.discards);
    // The discard sits under "#if ALPHA_FUNC": compiled in exactly when the test is on.
    EXPECT_EQ(std::string(fragment).find("#define ALPHA_FUNC 0\n") == std::string::npos,
              c.discards);
  }
}

// A test that every fragment passes needs no discard: the stage's alpha is one wherever
// an opaque texture meets an opaque diffuse colour.
TEST(ProgramKey, AnAlphaTestThatAlwaysPassesIsLeftOut) {
  struct Case {
    uint32_t fvf, lighting, func, ref;
    bool opaqueTexture, opaqueMaterial, discards;
  };
  constexpr uint32_t kMesh = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
  constexpr uint32_t kQuad = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
  for (const Case c : {Case{kMesh, 1, D3DCMP_GREATEREQUAL, 128, true, true, false},
                       Case{kMesh, 0, D3DCMP_GREATEREQUAL, 128, true, false, false},
                       Case{kMesh, 1, D3DCMP_GREATEREQUAL, 128, true, false, true},
                       Case{kMesh, 1, D3DCMP_GREATEREQUAL, 128, false, true, true},
                       Case{kQuad, 0, D3DCMP_GREATEREQUAL, 1, true, true, true},  // vertex alpha
                       Case{kMesh, 0, D3DCMP_LESS, 128, true, true, true},
                       Case{kMesh, 0, D3DCMP_NOTEQUAL, 255, true, true, true}}) {
    DeviceStateTable states = Defaults();
    states.render[D3DRS_LIGHTING] = c.lighting;
    states.render[D3DRS_ALPHATESTENABLE] = 1;
    states.render[D3DRS_ALPHAFUNC] = c.func;
    states.render[D3DRS_ALPHAREF] = c.ref;
    states.stage[0][D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
    DrawInputs draw{c.fvf, false, true, true};
    draw.textureOpaque = c.opaqueTexture;
    draw.materialAlphaOne = c.opaqueMaterial;
    EXPECT_EQ(KeyDiscards(MakeProgramKey(states, draw)), c.discards)
        << c.fvf << " " << c.lighting << " " << c.func << " " << c.ref;
  }
}

// States a draw can't depend on leave its key alone, so no program is built twice.
TEST(ProgramKey, StatesTheDrawIgnoresDoNotSplitPrograms) {
  const DrawInputs untexturedLines{D3DFVF_XYZ | D3DFVF_DIFFUSE, false, false, true};
  DeviceStateTable a = Defaults();
  a.render[D3DRS_LIGHTING] = 0;
  DeviceStateTable b = a;
  b.render[D3DRS_POINTSCALEENABLE] ^= 1;                    // no points drawn
  b.stage[0][D3DTSS_COLOROP] = D3DTOP_ADD;                  // no texture bound
  b.render[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_MATERIAL;  // lighting off
  b.render[D3DRS_ALPHAREF] = 7;                             // a uniform, not a program
  EXPECT_EQ(MakeProgramKey(a, untexturedLines), MakeProgramKey(b, untexturedLines));
  b.render[D3DRS_SHADEMODE] = D3DSHADE_FLAT;
  EXPECT_FALSE(MakeProgramKey(a, untexturedLines) == MakeProgramKey(b, untexturedLines));
}

// Blending is left to GL only where it can change a pixel: with source alpha one,
// SRCALPHA is one and INVSRCALPHA zero, and ONE, ZERO is the source itself.
TEST(ReduceBlend, OnlyBlendsThatCannotChangeAPixelAreDropped) {
  struct Case {
    uint32_t enable, src, dst, op;
    bool alphaOne;
    BlendUse want;
  };
  constexpr uint32_t kOne = D3DBLEND_ONE, kZero = D3DBLEND_ZERO, kSa = D3DBLEND_SRCALPHA;
  constexpr uint32_t kInvSa = D3DBLEND_INVSRCALPHA, kSc = D3DBLEND_SRCCOLOR;
  constexpr uint32_t kAdd = D3DBLENDOP_ADD;
  for (const Case c : {
           Case{0, kSa, kInvSa, kAdd, false, {false, kOne, kZero}},
           Case{1, kSa, kInvSa, kAdd, true, {false, kOne, kZero}},
           Case{1, kSa, kInvSa, D3DBLENDOP_SUBTRACT, true, {false, kOne, kZero}},
           Case{1, kSa, kInvSa, kAdd, false, {true, kSa, kInvSa}},
           Case{1, kSa, kInvSa, D3DBLENDOP_REVSUBTRACT, true, {true, kOne, kZero}},
           Case{1, kSa, kInvSa, D3DBLENDOP_MAX, true, {true, kOne, kZero}},
           Case{1, kOne, kZero, kAdd, false, {false, kOne, kZero}},
           Case{1, kZero, kInvSa, kAdd, true, {true, kZero, kZero}},
           Case{1, kSc, kOne, kAdd, true, {true, kSc, kOne}},
       }) {
    DeviceStateTable states = Defaults();
    states.render[D3DRS_ALPHABLENDENABLE] = c.enable;
    states.render[D3DRS_SRCBLEND] = c.src;
    states.render[D3DRS_DESTBLEND] = c.dst;
    states.render[D3DRS_BLENDOP] = c.op;
    const BlendUse got = ReduceBlend(states, c.alphaOne);
    SCOPED_TRACE(testing::Message()
                 << c.enable << " " << c.src << " " << c.dst << " " << c.op << " " << c.alphaOne);
    EXPECT_EQ(got.enabled, c.want.enabled);
    if (got.enabled) {
      EXPECT_EQ(got.src, c.want.src);
      EXPECT_EQ(got.dst, c.want.dst);
    }
  }
}

}  // namespace
}  // namespace yulo
