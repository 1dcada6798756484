// Format and capability choices over injected device answers: what Wine's device cannot
// vary (no DXT, no reverse subtract, square-only or small textures, no depth format).
#include <gtest/gtest.h>

#include <set>

#include "graphics/d3d_values.h"
#include "graphics/device_formats.h"

namespace {

using namespace quelt;

struct FakeDevice {
  std::set<uint32_t> textures, targets, depths;
};
bool Texture(void* c, uint32_t f) { return static_cast<FakeDevice*>(c)->textures.count(f) != 0; }
bool Target(void* c, uint32_t f) { return static_cast<FakeDevice*>(c)->targets.count(f) != 0; }
bool Depth(void* c, uint32_t f) { return static_cast<FakeDevice*>(c)->depths.count(f) != 0; }

FakeDevice FullDevice() {
  using namespace d3d;
  return {{FmtR5G6B5, FmtX1R5G5B5, FmtX8R8G8B8, FmtA4R4G4B4, FmtA8R8G8B8, FmtA1R5G5B5, FmtDxt1, FmtDxt2,
           FmtDxt3, FmtDxt4, FmtDxt5},
          {FmtR5G6B5, FmtX1R5G5B5, FmtX8R8G8B8, FmtA8R8G8B8, FmtA4R4G4B4},
          {FmtD16, FmtD24X8}};
}

DeviceFormatTableRecord Choose(FakeDevice& device, uint32_t screen, int32_t depth, int* result) {
  DeviceFormatTableRecord table{};
  *result = ChooseDeviceFormats({&device, Texture, Target, Depth}, screen, depth, &table);
  return table;
}

TEST(DeviceFormats, AFullDeviceGetsTheFirstChoices) {
  using namespace d3d;
  FakeDevice device = FullDevice();
  int result = 0;
  const auto t = Choose(device, FmtX8R8G8B8, 32, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(t[FormatDepth], FmtD16);
  EXPECT_EQ(t[FormatColour16], FmtR5G6B5);
  EXPECT_EQ(t[FormatColour32], FmtX8R8G8B8);
  EXPECT_EQ(t[FormatAlpha16], FmtA4R4G4B4);
  EXPECT_EQ(t[FormatAlpha32], FmtA8R8G8B8);
  EXPECT_EQ(t[FormatAlphaTest16], FmtA1R5G5B5);
  EXPECT_EQ(t[FormatAlphaTest32], FmtA8R8G8B8);
  EXPECT_EQ(t[FormatDxt1], FmtDxt1);
  EXPECT_EQ(t[FormatDxt5], FmtDxt5);
  EXPECT_EQ(t[FormatTarget16], FmtX1R5G5B5);  // the screen is not R5G6B5
  EXPECT_EQ(t[FormatTarget32], FmtX8R8G8B8);
  EXPECT_EQ(t[FormatTargetAlpha], FmtA8R8G8B8);
  EXPECT_EQ(t[FormatTargetScreen], FmtX8R8G8B8);
  EXPECT_EQ(t[FormatAlphaTestScreen], FmtA8R8G8B8);
  const auto t16 = Choose(device, FmtR5G6B5, 16, &result);
  EXPECT_EQ(t16[FormatTarget16], FmtR5G6B5);
  EXPECT_EQ(t16[FormatTargetScreen], FmtR5G6B5);
  EXPECT_EQ(t16[FormatAlphaTestScreen], FmtA1R5G5B5);
}

TEST(DeviceFormats, WithoutDxtTheSlotsHoldTheAlphaFormats) {
  using namespace d3d;
  FakeDevice device = FullDevice();
  for (uint32_t f : {FmtDxt1, FmtDxt2, FmtDxt3, FmtDxt4, FmtDxt5}) device.textures.erase(f);
  int result = 0;
  const auto t = Choose(device, FmtX8R8G8B8, 32, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(t[FormatDxt1], t[FormatAlphaTest16]);
  for (int slot = FormatDxt2; slot <= FormatDxt5; ++slot) EXPECT_EQ(t[slot], t[FormatAlpha32]);
}

TEST(DeviceFormats, FallBacksAndFailures) {
  using namespace d3d;
  FakeDevice device = FullDevice();
  device.textures.erase(FmtX8R8G8B8);
  device.textures.erase(FmtR5G6B5);
  device.depths = {FmtD32};
  int result = 0;
  auto t = Choose(device, FmtX8R8G8B8, 32, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(t[FormatColour16], FmtX1R5G5B5);
  EXPECT_EQ(t[FormatColour32], FmtX1R5G5B5);  // the 16-bit slot's value
  EXPECT_EQ(t[FormatDepth], FmtD32);

  // Render targets are optional: none leaves the slots at 0.
  device.targets.clear();
  t = Choose(device, FmtX8R8G8B8, 32, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(t[FormatTarget16], 0u);
  EXPECT_EQ(t[FormatTargetScreen], 0u);

  device.depths.clear();
  Choose(device, FmtX8R8G8B8, 32, &result);
  EXPECT_EQ(result, -1);
  device = FullDevice();
  device.textures.erase(FmtA8R8G8B8);
  device.textures.erase(FmtA4R4G4B4);
  Choose(device, FmtX8R8G8B8, 32, &result);
  EXPECT_EQ(result, -1);  // no alpha format at all
}

TEST(DeviceFacts, CapabilitiesBecomeTheEngineFlags) {
  DeviceCapsSubset caps{0xFFFE0300, 0xFFFF0300, d3d::PMiscCapsBlendOp, 0, 16384, 8192};
  DeviceFacts f = DeriveDeviceFacts(caps, 1);
  EXPECT_EQ(f.vertexShader20, 1);
  EXPECT_EQ(f.pixelShader20, 1);
  EXPECT_EQ(f.reverseSubtract, 1);
  EXPECT_EQ(f.squareTexturesOnly, 0);
  EXPECT_EQ(f.maxTextureSize, 8192);
  // Software vertex processing runs without shaders.
  f = DeriveDeviceFacts(caps, 0);
  EXPECT_EQ(f.vertexShader20 + f.pixelShader20, 0);
  // A small, square-only device without blend operations, and sizes reported as 0.
  caps = {0xFFFE0101, 0xFFFF0104, 0, d3d::PTextureCapsSquareOnly, 0, 512};
  f = DeriveDeviceFacts(caps, 1);
  EXPECT_EQ(f.vertexShader20, 0);
  EXPECT_EQ(f.reverseSubtract, 0);
  EXPECT_EQ(f.squareTexturesOnly, 1);
  EXPECT_EQ(f.maxTextureSize, 256);
}

}  // namespace
