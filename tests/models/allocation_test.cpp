// Counts heap allocations made by the character's per-frame work: there must be none.
#include <gtest/gtest.h>

#include "base/shell_state.h"
#include "model_fixture.h"
#include "models/character.h"
#include "models/libraries.h"
#include "models/skin.h"
#include "sample_files.h"
#include "support/allocation/allocation_counter.h"

namespace yulo {
namespace {

class CharacterAllocationTest : public test::ModelFilesTest {};

TEST_F(CharacterAllocationTest, UpdateAndRenderAllocateNothing) {
  Write("chain.skn", EncodeSkinFile(test::ChainSkin()));
  WriteTga("deer.tga");
  Write("deer.chr", EncodeCharacterFile("chain.skn", "deer.tga"));
  Write("walk.anm", EncodeClipFile(test::ChainClip(30, 33)));
  Write("turn.anm", EncodeClipFile(test::ChainClip(5, 50)));
  Character c;
  c.Load("deer.chr");
  c.currentClip = models.animationLibrary.GetOrLoad("walk.anm");
  AnimationClip* turn = models.animationLibrary.GetOrLoad("turn.anm");
  device.SetRecording(false);  // the recorder itself keeps records on the heap
  frameTiming.elapsedTime = 16.0f;
  c.Update();
  const long before = test::AllocationCount();
  ASSERT_GT(before, 0);  // the counter sees the loading
  for (int frame = 0; frame < 200; ++frame) {
    if (frame == 50) c.CrossFadeTo(turn);
    c.Update();
    c.Render();
  }
  EXPECT_EQ(test::AllocationCount() - before, 0);
  EXPECT_EQ(c.currentClip, turn);
  frameTiming.elapsedTime = 0.0f;
}

}  // namespace
}  // namespace yulo
