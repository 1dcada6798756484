// Draw settings, the draw screens' pure logic, the 2-D camera, lights, screen colour codes
// and the screen-mode rules, on the software back end (and a recording device where the
// Direct3D side matters).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/core_state.h"
#include "graphics/d3d_values.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_platform.h"
#include "graphics/screen_mode.h"
#include "image/color_format.h"
#include "softrender/clip_rect.h"
#include "softrender/memimg.h"
#include "softrender/soft_draw_state.h"
#include "tests/graphics/recording_sink.h"

namespace {

using namespace quelt;

int WaitCount = 0;
void CountWait() { ++WaitCount; }

class DrawSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteAllLights();
    ScreenState = ScreenStateRecord{};
    ScreenState.width = 640;
    ScreenState.height = 480;
    ScreenState.colourDepth = 32;
    ScreenState.started = 1;
    WindowActiveFlag = 1;
    GraphicsPlatform = GraphicsPlatformHooks{CountWait, nullptr};
    WaitCount = 0;
    ResetDrawSettings();
  }
  void TearDown() override {
    DeleteAllLights();
    ReleaseSoftwareScreen();
    GraphicsPlatform = GraphicsPlatformHooks{};
    ScreenState = ScreenStateRecord{};
  }
};

TEST_F(DrawSettingsTest, BlendModeClampsAndSkipsUnchangedCallsAfterClamping) {
  SelectBlendMode(1, 300);
  EXPECT_EQ(DrawSettings.BlendParam, 255);
  EXPECT_EQ(SoftDraw.BlendParam, 255);
  SelectBlendMode(1, -5);
  EXPECT_EQ(DrawSettings.BlendParam, 0);
  WindowActiveFlag = 0;
  SelectBlendMode(1, -9);  // clamps to the stored 0: nothing happens, not even the wait
  SelectBlendMode(1, 0);
  EXPECT_EQ(WaitCount, 0);
  SelectBlendMode(2, 0);
  EXPECT_EQ(WaitCount, 1);
  EXPECT_EQ(SoftDraw.BlendMode, 2);
}

TEST_F(DrawSettingsTest, BrightColourAndDiffuse) {
  SetDrawBright(300, -1, 128);
  EXPECT_EQ(DrawSettings.BrightColour, 0xFF0080u);
  EXPECT_EQ(SoftDraw.BrightColour, 0xFF0080u);
  SelectBlendMode(0, 100);
  EXPECT_EQ(BuildDrawDiffuse(), 0xFFFF0080u);
  SelectBlendMode(1, 100);
  EXPECT_EQ(BuildDrawDiffuse(), 0x64FF0080u);
  SetBrightColour(0x7F123456);
  EXPECT_EQ(DrawSettings.BrightColour, 0x123456u);
}

TEST_F(DrawSettingsTest, ClipRectangleIsOrderedClampedAndMayBeEmpty) {
  SetDrawClipRect(100, 50, 10, 5);
  EXPECT_EQ(DrawSettings.ClipRect.x1, 10);
  EXPECT_EQ(DrawSettings.ClipRect.y1, 5);
  EXPECT_EQ(DrawSettings.ClipRect.x2, 100);
  EXPECT_EQ(DrawSettings.ClipRect.y2, 50);
  EXPECT_EQ(RequestedDrawArea.x1, 100);
  SetDrawClipRect(-20, 0, 700, 600);
  EXPECT_EQ(DrawSettings.ClipRect.x2, 640);
  EXPECT_EQ(DrawSettings.ClipRect.y2, 480);
  EXPECT_EQ(SoftDraw.ClipRect.x2, 640);
  EXPECT_EQ(DrawSettings.ClipRectEmpty, 0);
  SetDrawClipRect(5, 5, 5, 100);
  EXPECT_EQ(DrawSettings.ClipRectEmpty, 1);
  EXPECT_FLOAT_EQ(DrawSettings.clipFloat[3], 100.0f);
}

TEST_F(DrawSettingsTest, ARefusedDrawTargetChangesNothing) {
  SetDrawClipRect(1, 2, 3, 4);
  DrawSettings.drawScreen = 0x08000005;  // no such graph
  EXPECT_EQ(SetDrawClipRect(10, 20, 30, 40), -1);
  EXPECT_EQ(RequestedDrawArea.x1, 1);
  EXPECT_EQ(DrawSettings.ClipRect.x2, 3);
  DrawSettings.drawScreen = DrawScreenBack;
  EXPECT_EQ(SetBlendImageGraph(0x08000005, 10, 10), -1);
  EXPECT_EQ(DrawSettings.blendGraph, -1);
}

TEST_F(DrawSettingsTest, ResetGivesTheDefaultsAndKeepsTheLightsAndSwitches) {
  DrawSettings.lightingOff = 1;
  DrawSettings.diffuseFromMaterial = 1;
  DrawSettings.emulation320 = 1;
  const int32_t light = CreateLightHandle();
  SetGraphRestoreHook(nullptr);
  SelectBlendMode(2, 77);
  SetDrawBright(1, 2, 3);
  DrawSettings.filterMode = 2;
  DrawSettings.addressU[3] = 1;
  ResetDrawSettings();
  const DrawSettingsRecord& d = DrawSettings;
  EXPECT_EQ(d.lightingOff, 1);
  EXPECT_EQ(d.diffuseFromMaterial, 1);
  EXPECT_EQ(d.emulation320, 1);
  EXPECT_EQ(HasGraphRestoreHook(), 1);
  EXPECT_NE(d.lightSlots[light & 0xFFFF], nullptr);
  EXPECT_EQ(d.BlendMode, 0);
  EXPECT_EQ(d.BlendParam, 0);
  EXPECT_EQ(d.BrightColour, 0xFFFFFFu);
  EXPECT_EQ(d.blendGraph, -1);
  EXPECT_EQ(d.filterMode, 0);
  EXPECT_EQ(d.maxAnisotropy, 1);
  for (int s = 0; s < 8; ++s) EXPECT_EQ(d.addressU[s], 3);
  EXPECT_EQ(d.depth2D[2], 4);
  EXPECT_EQ(d.fogMode, 3);
  EXPECT_EQ(d.fogColour, 0xFFFFFFFFu);
  EXPECT_FLOAT_EQ(d.fogEnd, 1500.0f);
  EXPECT_FLOAT_EQ(d.z2D, 0.2f);
  EXPECT_EQ(d.newGraphAlphaTest, 1);
  EXPECT_EQ(d.maskDrawSetting, 1);
  EXPECT_EQ(d.maskActive, 0);
  EXPECT_EQ(d.drawScreen, DrawScreenFront);
  EXPECT_EQ(d.ClipRect.x2, 640);
  EXPECT_EQ(d.ClipRect.y2, 480);
  EXPECT_EQ(d.presentCounter, 0u);
  EXPECT_FLOAT_EQ(d.cameraNear, 10.0f);
  EXPECT_FLOAT_EQ(d.cameraFar, 10000.0f);
  EXPECT_FLOAT_EQ(d.material.power, 20.0f);
  EXPECT_FLOAT_EQ(d.material.diffuse.r, 0.8f);
  EXPECT_EQ(d.materialChanged, 1);
  EXPECT_GE(d.defaultLight, 0);
  EXPECT_EQ(GetVSyncWait(), 1);
}

TEST(ClipRule, ExamplesOfTheOneRule) {
  IntRect bounds{0, 0, 640, 480};
  IntRect r{50, 50, 10, 10};
  ClipRectangle(r, bounds);
  EXPECT_EQ((std::vector<int32_t>{r.x1, r.y1, r.x2, r.y2}), (std::vector<int32_t>{50, 50, 50, 50}));
  r = {-20, 470, 30, 500};
  ClipRectangle(r, bounds);
  EXPECT_EQ((std::vector<int32_t>{r.x1, r.y1, r.x2, r.y2}), (std::vector<int32_t>{0, 470, 30, 480}));
  r = {700, 10, 800, 20};
  ClipRectangle(r, bounds);
  EXPECT_EQ((std::vector<int32_t>{r.x1, r.y1, r.x2, r.y2}), (std::vector<int32_t>{640, 10, 640, 20}));
}

TEST_F(DrawSettingsTest, DrawScreenSelection) {
  EXPECT_EQ(QueryGraphDimensions(-3, nullptr, nullptr), -1);
  int32_t w = 0;
  int32_t h = 0;
  EXPECT_EQ(QueryGraphDimensions(DrawScreenBack, &w, &h), 0);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);

  SetDrawClipRect(10, 10, 20, 20);
  ASSERT_EQ(SelectDrawScreen(DrawScreenFront), 0);
  EXPECT_EQ(DrawSettings.ClipRect.x2, 20);  // same size: the clip rectangle stays
  // -3 and -5 are the back screen, with its size and clip rectangle.
  ASSERT_EQ(SelectDrawScreen(-5), 0);
  EXPECT_EQ(QueryDrawScreen(), DrawScreenBack);
  EXPECT_EQ(SetDrawClipRect(0, 0, 1000, 1000), 0);
  EXPECT_EQ(DrawSettings.ClipRect.x2, 640);
  EXPECT_EQ(DrawScreenMemImg, &ScreenMemImg);

  EXPECT_EQ(SelectDrawScreen(0x08000003), -1);
  EXPECT_EQ(SelectDrawScreen(-1), -1);
  EXPECT_EQ(QueryDrawScreen(), DrawScreenBack);

  // A graph that is no draw target is refused; one that is becomes the target.
  OriginalImage image{};
  GraphRecord graph{};
  graph.checkId = 3;
  graph.image = &image;
  graph.width = 100;
  graph.height = 50;
  GraphTable.slots[7] = &graph;
  const int32_t handle = 7 | ((3 | 0x800) << 16);
  image.renderTarget = 1;  // every software image, drawable or not
  EXPECT_EQ(SelectDrawScreen(handle), -1);
  image.drawable = 1;
  ASSERT_EQ(SelectDrawScreen(handle), 0);
  EXPECT_EQ(DrawSettings.ClipRect.x2, 100);
  EXPECT_EQ(DrawSettings.ClipRect.y2, 50);
  EXPECT_EQ(DrawScreenMemImg, &graph.memImg);
  SelectDrawScreen(DrawScreenBack);
  GraphTable.slots[7] = nullptr;
}

TEST_F(DrawSettingsTest, EndedGraphicsRefuseDrawScreenCallsSafely) {
  ScreenState.started = 0;
  EXPECT_EQ(SelectDrawScreen(DrawScreenBack), -1);
  EXPECT_EQ(EraseDrawScreen(), -1);
}

TEST_F(DrawSettingsTest, SoftwareScreenErasesToTheBackgroundColour) {
  BackgroundColour = 0x336699;
  for (int32_t depth : {32, 16}) {
    SCOPED_TRACE(depth);
    ScreenState.colourDepth = depth;
    StartSoftwareScreen();
    SelectDrawScreen(DrawScreenBack);
    ASSERT_TRUE(IsValidMemImg(&ScreenMemImg));
    EXPECT_EQ(EraseDrawScreen(), 0);
    const MemImgBase& base = *ScreenMemImg.base;
    uint32_t pixel = 0;
    std::memcpy(&pixel, ScreenMemImg.pixels + 479 * base.pitch + 639 * MemImgBytesPerPixel(base),
                static_cast<size_t>(MemImgBytesPerPixel(base)));
    int r = 0;
    int g = 0;
    int b = 0;
    UnpackPixelToColor(base.format, pixel, &r, &g, &b, nullptr);
    EXPECT_NEAR(r, 0x33, depth == 16 ? 8 : 0);
    EXPECT_NEAR(g, 0x66, depth == 16 ? 4 : 0);
    EXPECT_NEAR(b, 0x99, depth == 16 ? 8 : 0);
    ReleaseSoftwareScreen();
  }
  BackgroundColour = 0;
}

// A point through world x view x projection x viewport, divided by w.
std::pair<float, float> ToScreen(const Matrix4& m, float x, float y, float z) {
  float out[4];
  for (int j = 0; j < 4; ++j) out[j] = x * m.m[0][j] + y * m.m[1][j] + z * m.m[2][j] + m.m[3][j];
  return {out[0] / out[3], out[1] / out[3]};
}

// A screen image that cannot be made fails the start (a mode change then falls back); it
// never ends the program.
TEST_F(DrawSettingsTest, SoftwareScreenTooLargeForMemoryFailsTheStart) {
  ScreenState.width = INT32_MAX;
  ScreenState.height = INT32_MAX;
  EXPECT_EQ(StartSoftwareScreen(), -1);
  EXPECT_FALSE(IsValidMemImg(&ScreenMemImg));
  ScreenState.width = 64;
  ScreenState.height = 48;
  EXPECT_EQ(StartSoftwareScreen(), 0);
  EXPECT_TRUE(IsValidMemImg(&ScreenMemImg));
}

TEST_F(DrawSettingsTest, TwoDimensionalCameraFitsTheScreen) {
  for (auto [width, height] : {std::pair{640, 480}, std::pair{600, 600}}) {
    SCOPED_TRACE(width);
    ScreenState.width = width;
    ScreenState.height = height;
    SelectDrawScreen(DrawScreenBack);
    const TransformBlock& t = DrawSettings.transforms;
    EXPECT_FLOAT_EQ(t.viewport.m[0][0], width * 0.5f);
    EXPECT_FLOAT_EQ(t.viewport.m[1][1], height * -0.5f);
    EXPECT_FLOAT_EQ(t.viewport.m[3][0], static_cast<float>(width / 2));
    const float d = static_cast<float>(height / 2) * 1.7320509f;
    EXPECT_NEAR(DrawSettings.cameraNear, d * 0.1f, 1e-3);
    EXPECT_NEAR(DrawSettings.cameraFar, d + 20000.0f, 1e-2);
    EXPECT_FLOAT_EQ(t.view.m[3][2], d);  // the eye sits d in front of the z = 0 plane
    UpdateCombinedMatrices();
    // The plane z = 0 lies on the screen pixel for pixel (the 3-D y axis points up).
    auto [cx, cy] = ToScreen(t.worldViewProjectionViewport, width * 0.5f, height * 0.5f, 0.0f);
    EXPECT_NEAR(cx, width * 0.5f, 1e-2);
    EXPECT_NEAR(cy, height * 0.5f, 1e-2);
    auto [x0, y0] = ToScreen(t.worldViewProjectionViewport, 0.0f, 0.0f, 0.0f);
    EXPECT_NEAR(x0, 0.0f, 0.05);
    EXPECT_NEAR(y0, static_cast<float>(height), 0.05);
    Matrix4 product;
    MultiplyMatrix(&product, &t.drawAreaViewport, &t.drawArea);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) EXPECT_NEAR(product.m[i][j], i == j ? 1.0f : 0.0f, 1e-5);
  }
}

TEST(Matrices, ProjectionsAndInverse) {
  Matrix4 m{};
  m.m[0][0] = 7.0f;
  EXPECT_EQ(MakePerspectiveMatrix(&m, 1.0f, 5.0f, 5.0f, 1.0f), -1);
  EXPECT_FLOAT_EQ(m.m[0][0], 7.0f);  // untouched
  EXPECT_EQ(MakeOrthoMatrix(&m, 2.0f, 1.0f, 1.0f, 1.0f), -1);
  ASSERT_EQ(MakePerspectiveMatrix(&m, 1.0471976f, 10.0f, 110.0f, 0.75f), 0);
  EXPECT_NEAR(m.m[1][1], 1.7320508f, 1e-5);
  EXPECT_NEAR(m.m[0][0], 1.7320508f * 0.75f, 1e-5);
  EXPECT_NEAR(m.m[2][2], 1.1f, 1e-5);
  EXPECT_NEAR(m.m[3][2], -11.0f, 1e-4);
  EXPECT_FLOAT_EQ(m.m[2][3], 1.0f);
  ASSERT_EQ(MakeOrthoMatrix(&m, 2.0f, 0.0f, 10.0f, 0.5f), 0);
  EXPECT_FLOAT_EQ(m.m[0][0], 0.5f);
  EXPECT_FLOAT_EQ(m.m[1][1], 1.0f);
  Matrix4 inv;
  Matrix4 product;
  MakeViewportMatrix(&m, 300.0f, 200.0f, 600.0f, 400.0f);
  InvertMatrix(&inv, &m);
  MultiplyMatrix(&product, &m, &inv);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(product.m[i][j], i == j ? 1.0f : 0.0f, 1e-5);
  const Vector3 p{1.0f, -1.0f, 0.0f};
  Vector3 out;
  TransformPoint(&out, &p, &m);
  EXPECT_FLOAT_EQ(out.x, 600.0f);
  EXPECT_FLOAT_EQ(out.y, 400.0f);
  TransformNormal(&out, &p, &m);
  EXPECT_FLOAT_EQ(out.x, 300.0f);
}

TEST_F(DrawSettingsTest, LightHandlesReuseSlotsAndRenumberOnTheDevice) {
  DeleteAllLights();
  const int32_t a = CreateLightHandle();
  const int32_t b = CreateLightHandle();
  EXPECT_EQ((a >> 27) & 0xF, 12);
  EXPECT_EQ(DeleteLightHandle(b), 0);
  EXPECT_EQ(DeleteLightHandle(b), -1);
  const int32_t c = CreateLightHandle();
  EXPECT_EQ(c & 0xFFFF, b & 0xFFFF);
  EXPECT_NE(c, b);

  quelt_test::RecordingDevice device;
  quelt_test::RecordingDeviceScope scope(&device);
  ApplyLights();
  EXPECT_EQ(device.lights, 2);
  DeleteLightHandle(a);
  device.Clear();
  ApplyLights();
  // The remaining light moves to device index 0 and index 1 is switched off.
  EXPECT_EQ(device.lights, 1);
  EXPECT_EQ(DrawSettings.lightSlots[c & 0xFFFF]->deviceIndex, 0);
  EXPECT_EQ(DeviceStateCache.lightEnabled[0], 1);
  EXPECT_EQ(DeviceStateCache.lightEnabled[1], 0);
  DeleteAllLights();
  EXPECT_EQ(DrawSettings.lightCount, 0);
  EXPECT_EQ(DrawSettings.lightHighWater, 0);
  EXPECT_EQ(DrawSettings.defaultLight, -1);
}

TEST_F(DrawSettingsTest, Direct3DPathHandsTheClipRectangleToTheDevice) {
  quelt_test::RecordingDevice device;
  quelt_test::RecordingDeviceScope scope(&device);
  ScreenState.hardware = 1;
  SetDrawClipRect(10, 20, 110, 70);
  ASSERT_FALSE(device.viewports.empty());
  EXPECT_EQ(device.viewports.back().x, 10u);
  EXPECT_EQ(device.viewports.back().width, 100u);
  ASSERT_FALSE(device.scissors.empty());
  EXPECT_EQ(device.scissors.back().y2, 70);
  EXPECT_FALSE(device.transforms.empty());
  const size_t sent = device.viewports.size();
  SetDrawClipRect(10, 20, 10, 70);  // empty: nothing is sent
  EXPECT_EQ(device.viewports.size(), sent);
  // Erasing fills the target with the background colour as ARGB and clears the depth.
  BackgroundColour = 0x102030;
  GraphicsDevice.zBuffer = &device;
  EXPECT_EQ(EraseDrawScreen(), 0);
  ASSERT_EQ(device.fills.size(), 1u);
  EXPECT_EQ(device.fills[0], 0xFF102030u);
  EXPECT_EQ(device.depthClears, 1);
  BackgroundColour = 0;
  ScreenState.hardware = 0;
}

TEST(ScreenColourCodes, PackAndSplitByTheScreenFormat) {
  ColorFormat rgb565{};
  SetMaskColorFormat(&rgb565, 16, 0xF800, 0x07E0, 0x001F, 0);
  ColorFormat xrgb{};
  SetXrgb32ColorFormat(&xrgb);
  EXPECT_EQ(MakeColourCode(rgb565, 255, 255, 255), 0xFFFFu);
  EXPECT_EQ(MakeColourCode(xrgb, 255, 255, 255), 0xFFFFFFFFu);
  EXPECT_EQ(MakeColourCode(xrgb, 0x12, 0x34, 0x56), 0xFF123456u);
  EXPECT_EQ(MakeColourCode(rgb565, 0xFF, 0, 0), 0xF800u);
  int32_t r = 0;
  int32_t g = 0;
  int32_t b = 0;
  SplitColourCode(rgb565, 0x07E0, &r, &g, &b);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g, 255);
  SplitColourCode(rgb565, 0x0010, &r, &g, &b);
  EXPECT_EQ(b, 16 * 255 / 31);
  ScreenState = ScreenStateRecord{};
  ScreenState.hardware = 1;
  ScreenState.colourDepth = 16;
  EXPECT_EQ(MakeScreenColourCode(255, 255, 255), 0xFFFFu);
  ScreenState.colourDepth = 32;
  EXPECT_EQ(MakeScreenColourCode(255, 255, 255), 0xFFFFFFFFu);
  ScreenState = ScreenStateRecord{};
}

TEST(ScreenModeRules, SizesNoDisplayCanHave) {
  EXPECT_TRUE(IsPossibleScreenSize(1, 1));
  EXPECT_TRUE(IsPossibleScreenSize(MaxScreenSide, MaxScreenSide));
  for (auto [w, h] : {std::pair{0, 480}, std::pair{640, 0}, std::pair{-640, 480}, std::pair{MaxScreenSide + 1, 1},
                      std::pair{1, MaxScreenSide + 1}, std::pair{100000, 100000}, std::pair{INT32_MAX, INT32_MAX},
                      std::pair{INT32_MIN, INT32_MIN}})
    EXPECT_FALSE(IsPossibleScreenSize(w, h)) << w << " x " << h;
}

TEST(ScreenModeRules, RequestResults) {
  const ScreenModeValues vga16{640, 480, 16, 0};
  EXPECT_EQ(ClassifyScreenModeResult({800, 600, 32, 0}, {640, 480, 32, 0}, {800, 600, 32, 0}), 0);
  EXPECT_EQ(ClassifyScreenModeResult({800, 600, 32, 0}, {1024, 768, 32, 0}, vga16), -2);
  EXPECT_EQ(ClassifyScreenModeResult({800, 600, 32, 0}, vga16, vga16), -1);
  EXPECT_EQ(ClassifyScreenModeResult({320, 240, 32, 0}, {1024, 768, 32, 0}, {640, 480, 32, 0}), -1);
  EXPECT_EQ(ClassifyScreenModeResult({800, 600, 32, 0}, {1024, 768, 32, 0}, {1024, 768, 32, 0}), -1);
}

std::vector<ScreenModeValues> Tried;
int AcceptedWidth = 0;
int FakeStart() {
  Tried.push_back({ScreenState.width, ScreenState.height, ScreenState.colourDepth, ScreenState.refreshRate});
  return ScreenState.width == AcceptedWidth ? 0 : -1;
}

TEST(ScreenModeRules, FallBackChain) {
  ScreenState = ScreenStateRecord{};
  DrawSettings.emulation320 = 0;
  const ScreenModeValues before{1024, 768, 32, 60};
  Tried.clear();
  AcceptedWidth = 640;
  EXPECT_EQ(StartScreenModeChain({320, 240, 32, 60}, before, FakeStart), 0);
  ASSERT_EQ(Tried.size(), 2u);
  EXPECT_EQ(Tried[1], (ScreenModeValues{640, 480, 32, 60}));
  EXPECT_EQ(GetEmulation320Flag(), 1);
  DrawSettings.emulation320 = 0;

  Tried.clear();
  AcceptedWidth = 1024;
  EXPECT_EQ(StartScreenModeChain({800, 600, 16, 0}, before, FakeStart), 0);
  EXPECT_EQ(Tried, (std::vector<ScreenModeValues>{{800, 600, 16, 0}, before}));

  Tried.clear();
  AcceptedWidth = 640;
  EXPECT_EQ(StartScreenModeChain({800, 600, 16, 0}, before, FakeStart), 0);
  EXPECT_EQ(Tried.back(), (ScreenModeValues{640, 480, 16, 0}));

  Tried.clear();
  AcceptedWidth = 1;
  EXPECT_EQ(StartScreenModeChain({800, 600, 16, 0}, before, FakeStart), -1);
  EXPECT_EQ(Tried.size(), 3u);
  ScreenState = ScreenStateRecord{};
}

// A display whose mode list grows between the two passes of the listing.
struct GrowingDisplay {
  int passes = 0;
};
bool EnumerateGrowing(void* context, int32_t index, DisplayModeEntry* out) {
  auto* display = static_cast<GrowingDisplay*>(context);
  if (index == 0) ++display->passes;
  const int32_t count = display->passes == 1 ? 3 : 6;
  if (index >= count) return false;
  *out = {640 + index, 480, index == 1 ? 8 : 32, 60};
  return true;
}
std::vector<DisplayModeEntry> Storage;
DisplayModeEntry* AllocateExact(int32_t count) {
  Storage.assign(static_cast<size_t>(count), DisplayModeEntry{});
  return Storage.data();
}

TEST(ScreenModeRules, DisplayModeListNeverOutgrowsItsFirstCount) {
  GrowingDisplay display;
  DisplayModeEntry* modes = nullptr;
  const int32_t count = CollectDisplayModes(EnumerateGrowing, &display, AllocateExact, &modes);
  EXPECT_EQ(count, 2);  // 8-bit modes are left out
  ASSERT_EQ(modes, Storage.data());
  EXPECT_EQ(modes[0].width, 640);
  EXPECT_EQ(modes[1].width, 642);
}

}  // namespace
