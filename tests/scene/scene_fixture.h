// One scene for the whole test program: the data folder is written once, the trace device
// installed once and Init run once; each test starts from the first frame again.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/trace/trace_device.h"

namespace yulo::test {

// The trace device the scene was initialised on (recording on).
TraceDevice& SceneDevice();

// What the scene's Init issued on the device, recorded once when the suite started.
const std::vector<TraceRecord>& InitRecords();

// Back to the start of the show: clocks and camera at 0, characters on their first clips,
// particles and sprites cleared, snow and trees re-placed from seed 7, records cleared.
void RestartScene();

// One frame as the main loop runs it: BeginScene, Render, EndScene, with this time step.
void RunSceneFrame(uint32_t ms);

class WinterSceneTest : public ::testing::Test {
 protected:
  void SetUp() override { RestartScene(); }
  TraceDevice& device = SceneDevice();
};

}  // namespace yulo::test
