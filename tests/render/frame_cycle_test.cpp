#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fatal.h"
#include "render/renderer.h"
#include "render/trace/trace_device.h"

namespace yulo {
namespace {

// Changes one field of the options the renderer keeps.
template <typename T, typename V>
void SetRendererOption(T RendererOptions::*field, V value) {
  RendererOptions options = GetRendererOptions();
  options.*field = static_cast<T>(value);
  SetRendererOptions(options);
}

// >>section mode choice over made-up adapters

AdapterMode Mode(uint32_t w, uint32_t h, uint32_t hz, Format f = D3DFMT_X8R8G8B8) {
  return AdapterMode{w, h, hz, f};
}

class ModeChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetRendererOptions(RendererOptions{});
    SetRendererOption(&RendererOptions::fullScreen, true);
  }
  void Choose() {
    EnumerateDisplayModes(adapter);
    SelectDisplayMode();
  }
  TraceAdapter adapter;
};

TEST_F(ModeChoiceTest, TrueColour800x600WinsOverSixteenBit) {
  adapter.modes = {Mode(800, 600, 60, D3DFMT_R5G6B5), Mode(640, 480, 60),
                   Mode(800, 600, 75, D3DFMT_X8R8G8B8)};
  Choose();
  EXPECT_EQ(CurrentDisplayMode().width, 800u);
  EXPECT_EQ(CurrentDisplayMode().height, 600u);
  EXPECT_EQ(CurrentDisplayMode().bitsPerPixel, 32u);
  EXPECT_EQ(CurrentDisplayMode().format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(CurrentDisplayMode().refreshRate, 75u);
}

TEST_F(ModeChoiceTest, WithoutTheWantedModeTheFirstUsableOneIsTaken) {
  adapter.modes = {Mode(1280, 800, 60), Mode(1024, 768, 60, D3DFMT_R5G6B5),
                   Mode(800, 600, 60, D3DFMT_R5G6B5), Mode(1024, 768, 60)};
  Choose();
  EXPECT_EQ(CurrentDisplayMode().width, 1024u);
  EXPECT_EQ(CurrentDisplayMode().bitsPerPixel, 16u);

  // Now 800 x 600 at 16 bits is wanted and exists.
  SetRendererOption(&RendererOptions::preferTrueColor, false);
  SelectDisplayMode();
  EXPECT_EQ(CurrentDisplayMode().width, 800u);
  EXPECT_EQ(CurrentDisplayMode().bitsPerPixel, 16u);
}

TEST_F(ModeChoiceTest, OnlyFourByThreeModesOfAtLeast640x480InKnownFormatsAreKept) {
  adapter.modes = {Mode(1680, 1050, 60), Mode(1920, 1080, 60), Mode(1280, 1024, 60),
                   Mode(320, 240, 60),   Mode(512, 384, 60),   Mode(800, 600, 60, D3DFMT_A8R8G8B8),
                   Mode(1152, 864, 60),  Mode(640, 480, 60)};
  Choose();
  ASSERT_EQ(DisplayModeCount(), 2);
  EXPECT_EQ(DisplayModeAt(0).width, 1152u);
  EXPECT_EQ(DisplayModeAt(1).width, 640u);
  EXPECT_EQ(CurrentDisplayMode().width, 1152u);
}

TEST_F(ModeChoiceTest, TheHighestRefreshRateIsKeptInEitherOrder) {
  for (bool fastFirst : {false, true}) {
    adapter.modes = {Mode(800, 600, fastFirst ? 85u : 60u), Mode(800, 600, fastFirst ? 60u : 85u)};
    Choose();
    ASSERT_EQ(DisplayModeCount(), 1);
    EXPECT_EQ(DisplayModeAt(0).refreshRate, 85u);
  }
}

TEST_F(ModeChoiceTest, DepthFormatsAreTriedWithD16RightAfterD32) {
  DisplayMode mode{800, 600, 32, 60, D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN};
  adapter.depthFormats = {D3DFMT_D24S8, D3DFMT_D16, D3DFMT_D32};
  adapter.matchingDepthFormats = {D3DFMT_D24S8, D3DFMT_D16, D3DFMT_D32};
  ChooseSurfaceFormats(adapter, mode);
  EXPECT_EQ(mode.depthFormat, D3DFMT_D32);
  adapter.depthFormats = {D3DFMT_D24S8, D3DFMT_D16};
  ChooseSurfaceFormats(adapter, mode);
  EXPECT_EQ(mode.depthFormat, D3DFMT_D16);
  // A format must pass both checks.
  adapter.matchingDepthFormats = {D3DFMT_D24S8, D3DFMT_D24X8};
  adapter.depthFormats = {D3DFMT_D16, D3DFMT_D24X8};
  ChooseSurfaceFormats(adapter, mode);
  EXPECT_EQ(mode.depthFormat, D3DFMT_D24X8);
  adapter.depthFormats = {};
  ChooseSurfaceFormats(adapter, mode);
  EXPECT_EQ(mode.depthFormat, D3DFMT_UNKNOWN);
}

// Only 16-bit display formats have a depth format here: the 32-bit modes are left out,
// and the first usable record is a 16-bit one.
class SixteenBitDepthAdapter : public TraceAdapter {
 public:
  HResult CheckDepthStencilMatch(uint32_t, DeviceType, Format adapterFormat, Format,
                                 Format depthFormat) override {
    return adapterFormat == D3DFMT_R5G6B5 && depthFormat == D3DFMT_D16 ? D3D_OK
                                                                       : D3DERR_NOTAVAILABLE;
  }
};

TEST_F(ModeChoiceTest, ModesWithoutAnyDepthFormatAreLeftOut) {
  SixteenBitDepthAdapter sixteen;
  sixteen.modes = {Mode(1024, 768, 60), Mode(800, 600, 60), Mode(640, 480, 60, D3DFMT_R5G6B5)};
  EnumerateDisplayModes(sixteen);
  SelectDisplayMode();
  ASSERT_EQ(DisplayModeCount(), 1);
  EXPECT_EQ(CurrentDisplayMode().width, 640u);
  EXPECT_EQ(CurrentDisplayMode().depthFormat, D3DFMT_D16);
}

TEST_F(ModeChoiceTest, AnEmptyTableSelectsAnAllZeroRecord) {
  adapter.modes = {Mode(640, 480, 60)};
  Choose();  // a non-empty choice first, which the empty one must not leave behind
  ASSERT_EQ(CurrentDisplayMode().width, 640u);
  adapter.modes = {Mode(1920, 1080, 60)};
  Choose();
  EXPECT_EQ(DisplayModeCount(), 0);
  EXPECT_EQ(CurrentDisplayMode().width, 0u);
  EXPECT_EQ(CurrentDisplayMode().format, D3DFMT_UNKNOWN);
  EXPECT_EQ(CurrentDisplayMode().depthFormat, D3DFMT_UNKNOWN);
}

TEST_F(ModeChoiceTest, MoreThanTheTableHoldsIsDroppedNotOverrun) {
  for (uint32_t i = 0; i < 300; ++i) adapter.modes.push_back(Mode(640 + 4 * i, 480 + 3 * i, 60));
  Choose();
  EXPECT_EQ(DisplayModeCount(), kDisplayModeCapacity);
  EXPECT_EQ(DisplayModeAt(kDisplayModeCapacity - 1).width, 640u + 4 * 255);
}

// >>section device creation, presentation and reset

std::vector<std::string> shownMessages;
void CaptureMessage(const char* caption, const char* text) {
  shownMessages.push_back(std::string(caption) + "|" + text);
}

TraceAdapter* nextAdapter = nullptr;
Adapter* MakeNextAdapter() {
  Adapter* a = nextAdapter;
  nextAdapter = nullptr;
  return a;
}

class FrameCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shownMessages.clear();
    SetMessageBoxHook(CaptureMessage);
    SetRendererOptions(RendererOptions{});
    adapter = new TraceAdapter;
    adapter->modes = {Mode(640, 480, 60), Mode(800, 600, 60), Mode(800, 600, 60, D3DFMT_R5G6B5)};
    nextAdapter = adapter;
  }
  void TearDown() override {
    ReleaseRenderer();
    delete nextAdapter;  // not handed out
    nextAdapter = nullptr;
    SetWindowPlacementHook(nullptr);
    SetMessageBoxHook(nullptr);
  }
  TraceDevice& Device() { return *static_cast<TraceDevice*>(GetDevice()); }
  TraceAdapter* adapter = nullptr;  // owned by the renderer once created
  int window = 0;
};

TEST_F(FrameCycleTest, FullScreenDeviceUsesTheChosenModeAndVSync) {
  SetRendererOption(&RendererOptions::fullScreen, true);
  ASSERT_TRUE(CreateRenderer(MakeNextAdapter(), &window));
  const PresentParameters& p = adapter->createdWith;
  EXPECT_EQ(p.backBufferWidth, 800u);
  EXPECT_EQ(p.backBufferHeight, 600u);
  EXPECT_EQ(p.backBufferFormat, D3DFMT_X8R8G8B8);
  EXPECT_EQ(p.windowed, 0);
  EXPECT_EQ(p.enableAutoDepthStencil, 1);
  EXPECT_EQ(p.autoDepthStencilFormat, D3DFMT_D16);  // D16 is tried before D24S8
  EXPECT_EQ(p.swapEffect, D3DSWAPEFFECT_DISCARD);
  EXPECT_EQ(p.flags, D3DPRESENTFLAG_LOCKABLE_BACKBUFFER);
  EXPECT_EQ(p.fullScreenPresentationInterval, D3DPRESENT_INTERVAL_ONE);
  EXPECT_EQ(p.deviceWindow, &window);
  EXPECT_EQ(adapter->createdForWindow, &window);
  EXPECT_EQ(adapter->createdBehaviorFlags, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
  // The default states are installed right after creation.
  EXPECT_EQ(Device().RenderState(D3DRS_ALPHAREF), 128u);
  EXPECT_EQ(Device().RenderState(D3DRS_LIGHTING), 0u);
  EXPECT_TRUE(shownMessages.empty());

  ReleaseRenderer();
  SetRendererOption(&RendererOptions::waitForVSync, false);
  adapter = new TraceAdapter;
  adapter->modes = {Mode(800, 600, 60)};
  nextAdapter = adapter;
  ASSERT_TRUE(CreateRenderer(MakeNextAdapter(), &window));
  EXPECT_EQ(adapter->createdWith.fullScreenPresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
}

TEST_F(FrameCycleTest, WindowedDeviceTakesTheDesktopFormatAndClientSize) {
  SetRendererOption(&RendererOptions::fullScreen, false);
  SetRendererOption(&RendererOptions::windowWidth, 152);
  SetRendererOption(&RendererOptions::windowHeight, 112);
  adapter->desktop = Mode(1920, 1080, 60, D3DFMT_R5G6B5);
  adapter->depthFormats = {D3DFMT_D16};
  adapter->matchingDepthFormats = {D3DFMT_D16};
  ASSERT_TRUE(CreateRenderer(MakeNextAdapter(), &window));
  const PresentParameters& p = adapter->createdWith;
  EXPECT_EQ(p.windowed, 1);
  EXPECT_EQ(p.backBufferWidth, 0u);
  EXPECT_EQ(p.backBufferHeight, 0u);
  EXPECT_EQ(p.backBufferFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(CurrentDisplayMode().format, D3DFMT_R5G6B5);
  EXPECT_EQ(p.fullScreenPresentationInterval, 0u);
  // The depth format is the one found for the first usable full-screen mode.
  EXPECT_EQ(CurrentDisplayMode().width, 640u);
  EXPECT_EQ(p.autoDepthStencilFormat, D3DFMT_D16);
}

TEST_F(FrameCycleTest, FailedCreationShowsTheInitialisationMessage) {
  adapter->failCreateDevice = true;
  EXPECT_FALSE(CreateRenderer(MakeNextAdapter(), &window));
  ASSERT_EQ(shownMessages.size(), 1u);
  EXPECT_EQ(shownMessages[0], "Initialization failed|Can't init Direct3D");
  EXPECT_EQ(GetDevice(), nullptr);
}

TEST_F(FrameCycleTest, WithoutAUsableModeOnlyAWindowGetsADevice) {
  // A preview or a window takes the depth format found for the desktop's format.
  adapter->modes = {Mode(1920, 1080, 60)};
  adapter->desktop = Mode(1920, 1080, 60);
  adapter->depthFormats = {D3DFMT_D24S8};
  adapter->matchingDepthFormats = {D3DFMT_D24S8};
  ASSERT_TRUE(CreateRenderer(MakeNextAdapter(), &window));
  EXPECT_EQ(adapter->createdWith.autoDepthStencilFormat, D3DFMT_D24S8);
  EXPECT_TRUE(shownMessages.empty());

  // Full screen has no mode to switch to.
  nextAdapter = adapter = new TraceAdapter;
  adapter->modes = {Mode(1920, 1080, 60)};
  SetRendererOption(&RendererOptions::fullScreen, true);
  EXPECT_FALSE(CreateRenderer(MakeNextAdapter(), &window));
  EXPECT_EQ(adapter->createdWith.autoDepthStencilFormat, D3DFMT_UNKNOWN);
  EXPECT_EQ(shownMessages.size(), 1u);
}

TEST_F(FrameCycleTest, NoGraphicsSystemFailsSilently) {
  delete adapter;
  nextAdapter = nullptr;
  EXPECT_FALSE(CreateRenderer(MakeNextAdapter(), &window));
  EXPECT_TRUE(shownMessages.empty());
}

struct Placement {
  void* window;
  int32_t width;
  int32_t height;
  int calls;
};
Placement placement;
void RecordPlacement(void* w, int32_t width, int32_t height) {
  placement = Placement{w, width, height, placement.calls + 1};
}

TEST_F(FrameCycleTest, LostDeviceIsResetOnlyOnceItCanBe) {
  SetRendererOption(&RendererOptions::fullScreen, true);
  placement = Placement{};
  SetWindowPlacementHook(RecordPlacement);
  ASSERT_TRUE(CreateRenderer(MakeNextAdapter(), &window));
  TraceDevice& device = Device();
  Light light{};
  light.type = D3DLIGHT_DIRECTIONAL;
  device.SetLight(0, light);
  device.LightEnable(0, true);
  SetRenderState(D3DRS_ALPHAREF, 7);

  device.SetCooperativeLevel(D3DERR_DEVICELOST);
  device.ClearRecords();
  PresentFrame();
  EXPECT_EQ(device.RecordsOf(TraceKind::Reset).size(), 0u);
  EXPECT_EQ(placement.calls, 0);
  EXPECT_TRUE(DeviceLost());  // the shell slows its frames down meanwhile

  device.SetCooperativeLevel(D3DERR_DEVICENOTRESET);
  device.ClearRecords();
  PresentFrame();
  const auto& r = device.Records();
  ASSERT_GE(r.size(), 4u);
  EXPECT_EQ(r[0].kind, TraceKind::Present);
  EXPECT_EQ(r[1].kind, TraceKind::TestCooperativeLevel);
  EXPECT_EQ(r[2].kind, TraceKind::Reset);
  EXPECT_EQ(r[3].kind, TraceKind::SetRenderState);
  EXPECT_EQ(r.size(), 3u + 22u);  // the reset, then every default state again
  EXPECT_EQ(placement.calls, 1);
  EXPECT_EQ(placement.window, &window);
  EXPECT_EQ(placement.width, 800);
  EXPECT_EQ(placement.height, 600);
  EXPECT_FALSE(DeviceLost());
  // Default states are back; the light set before the loss is not.
  EXPECT_EQ(device.RenderState(D3DRS_ALPHAREF), 128u);
  EXPECT_FALSE(device.LightEnabled());
  EXPECT_FALSE(device.LightSet());
}

TEST_F(FrameCycleTest, ReleasingTheRendererLeavesResourcesSafeToRelease) {
  ASSERT_TRUE(CreateRenderer(MakeNextAdapter(), &window));
  const uint8_t texel[4] = {};
  DeviceTexture* texture = GetDevice()->CreateTexture(1, 1, texel);
  VertexBuffer* buffer =
      GetDevice()->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0x112, D3DPOOL_MANAGED);
  ReleaseRenderer();
  EXPECT_EQ(GetDevice(), nullptr);
  EXPECT_EQ(texture->Owner(), nullptr);
  texture->Release();  // after the device, as at process exit
  buffer->Release();
}

}  // namespace
}  // namespace yulo
