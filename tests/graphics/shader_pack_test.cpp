// The shader assembler, the pack layout and its loader, and the shader side of the state
// cache (indices, constants, declarations) over recording devices.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/log.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/shader_pack.h"
#include "graphics/shader_pack_image.h"
#include "graphics/shader_state.h"
#include "tests/graphics/recording_sink.h"
#include "tests/support/test_paths.h"
#include "tools/qla_writer/archive_writer.h"
#include "tools/qla_writer/lz_encode.h"
#include "tools/shaderasm/shader_assembler.h"
#include "tools/shaderasm/shader_pack_builder.h"

namespace {

using namespace quelt;
using quelt_tools::AssembleShader;
using quelt_tools::ShaderDefine;

std::vector<uint32_t> Assemble(const std::string& text, const std::vector<ShaderDefine>& defines = {}) {
  std::vector<uint32_t> tokens;
  std::string error;
  EXPECT_TRUE(AssembleShader(text, defines, &tokens, &error)) << error;
  return tokens;
}

std::string AssembleError(const std::string& text) {
  std::vector<uint32_t> tokens;
  std::string error;
  EXPECT_FALSE(AssembleShader(text, {}, &tokens, &error));
  return error;
}

// --- Assembler ---------------------------------------------------------------------------------

TEST(ShaderAssembler, EncodesTheDirect3D9TokenLayout) {
  // Version, instruction tokens with their parameter counts, destination masks and
  // modifiers, source swizzles and negation, register types split over two fields, end.
  const std::vector<uint32_t> vs = Assemble(
      "vs_2_0\n"
      "dcl_position v0\n"
      "dcl_texcoord1 v5\n"
      "def c95, 1.0, -0.5, 0, 2.7182817\n"
      "mov oPos, v0\n"
      "mad_sat r1.xz, -c3.w, r2.yx, v5\n"
      "mov oFog, r1.x\n"
      "mov oD1, r1\n"
      "mov oT0.xy, v5\n");
  const std::vector<uint32_t> expected{
      0xFFFE0200,
      0x0200001F, 0x80000000, 0x900F0000,                      // dcl_position v0
      0x0200001F, 0x80010005, 0x900F0005,                      // dcl_texcoord1 v5
      0x05000051, 0xA00F005F, 0x3F800000, 0xBF000000, 0x00000000, std::bit_cast<uint32_t>(2.7182817f),
      0x02000001, 0xC00F0000, 0x90E40000,                      // mov oPos, v0
      0x04000004, 0x80150001, 0xA1FF0003, 0x80010002, 0x90E40005,  // mad_sat
      0x02000001, 0xC00F0001, 0x80000001,                      // mov oFog, r1.x
      0x02000001, 0xD00F0001, 0x80E40001,                      // oD1
      0x02000001, 0xE0030000, 0x90E40005,                      // oT0.xy
      0x0000FFFF};
  EXPECT_EQ(vs, expected);

  const std::vector<uint32_t> ps = Assemble(
      "ps_2_0\n"
      "dcl t0\n"
      "dcl_2d s0\n"
      "texld r0, t0, s0\n"
      "mov oC0, r0\n");
  const std::vector<uint32_t> expectedPs{0xFFFF0200, 0x0200001F, 0x80000000, 0xB00F0000,
                                         0x0200001F, 0x90000000, 0xA00F0800,  // s0: type 10 split
                                         0x03000042, 0x800F0000, 0xB0E40000, 0xA0E40800,
                                         0x02000001, 0x800F0800, 0x80E40000,  // oC0: type 8
                                         0x0000FFFF};
  EXPECT_EQ(ps, expectedPs);
}

TEST(ShaderAssembler, RefusesWhatIsOutsideTheSubset) {
  EXPECT_NE(AssembleError("vs_3_0\nmov oPos, v0\n").find("line 1"), std::string::npos);
  EXPECT_NE(AssembleError("vs_2_0\n\nfrob r0, r1\n").find("line 3: unknown instruction"), std::string::npos);
  EXPECT_NE(AssembleError("vs_2_0\nmov r0\n").find("operand count"), std::string::npos);
  EXPECT_NE(AssembleError("vs_2_0\nmov r0.yx, r1\n").find("write mask"), std::string::npos);
  EXPECT_NE(AssembleError("vs_2_0\nmov r0, r1.xq\n").find("swizzle"), std::string::npos);
  EXPECT_NE(AssembleError("vs_2_0\nmov oC0, r1\n").find("not in this model"), std::string::npos);
  EXPECT_NE(AssembleError("ps_2_0\nmov oPos, r1\n").find("not in this model"), std::string::npos);
  EXPECT_NE(AssembleError("vs_2_0\ntexld r0, t0, s0\n").find("texld in a vertex shader"), std::string::npos);
  EXPECT_NE(AssembleError("vs_2_0\ndef c0, 1, 2, x, 4\n").find("bad value"), std::string::npos);
  EXPECT_NE(AssembleError("vs_2_0\nmov r99999, r0\n").find("bad register"), std::string::npos);
}

TEST(ShaderAssembler, PreprocessorPicksTheVariant) {
  const std::string text =
      "vs_2_0\n"
      "#if LIGHTING && (LIGHT0 == 2 || LIGHT0 >= 3)\n"
      "mov r0, c1\n"
      "#elif !LIGHTING\n"
      "mov r0, c2\n"
      "#else\n"
      "mov r0, c3\n"
      "#if FOG != 0\n"
      "mov r1, c4\n"
      "#endif\n"
      "#endif\n";
  auto constOf = [&](const std::vector<ShaderDefine>& d) { return Assemble(text, d)[3] & 0x7FF; };
  EXPECT_EQ(constOf({{"LIGHTING", 1}, {"LIGHT0", 2}}), 1u);
  EXPECT_EQ(constOf({{"LIGHTING", 1}, {"LIGHT0", 3}}), 1u);
  EXPECT_EQ(constOf({}), 2u);  // undefined names are 0
  EXPECT_EQ(Assemble(text, {{"LIGHTING", 1}, {"LIGHT0", 1}}).size(), 1u + 3u + 1u);
  EXPECT_EQ(Assemble(text, {{"LIGHTING", 1}, {"LIGHT0", 1}, {"FOG", 3}}).size(), 1u + 6u + 1u);

  std::string out, error;
  EXPECT_FALSE(quelt_tools::PreprocessShaderText("#if A\n", {}, &out, &error));
  EXPECT_FALSE(quelt_tools::PreprocessShaderText("#endif\n", {}, &out, &error));
  EXPECT_FALSE(quelt_tools::PreprocessShaderText("#if (A\n#endif\n", {}, &out, &error));
  EXPECT_FALSE(quelt_tools::PreprocessShaderText("#define A 1\n", {}, &out, &error));
}

// --- Pack layout and loading -------------------------------------------------------------------

TEST(ShaderPackLayout, EveryIndexTheSchemeCanProduceIsFilled) {
  std::set<int32_t> vertex, pixel;
  for (const auto& v : quelt_tools::ShaderPackVariants()) (v.pixel ? pixel : vertex).insert(v.slot);
  for (int32_t l = 0; l < 2; ++l)
    for (int32_t any = 0; any < 2; ++any)
      for (int32_t t0 = 0; t0 < 4; ++t0)
        for (int32_t t1 = 0; t1 < 4; ++t1)
          for (int32_t t2 = 0; t2 < 4; ++t2) {
            for (int32_t fog = 0; fog < 4; ++fog)
              EXPECT_TRUE(vertex.count(VertexShaderIndex(t0, t1, t2, fog, any, l)));
            EXPECT_TRUE(pixel.count(PixelShaderIndex(t0, t1, t2, any, l)));
          }
  EXPECT_TRUE(vertex.count(TestVertexShaderSlot));
  EXPECT_TRUE(pixel.count(TestPixelShaderSlot));
  EXPECT_EQ(vertex.size(), 1025u);
  EXPECT_EQ(pixel.size(), 109u);
  // The scheme's worked values: the low three bits stay clear.
  EXPECT_EQ(VertexShaderIndex(3, 0, 1, 3, 1, 1), 8 * (1 + 48 + 192 + 512 + 3072));
  EXPECT_EQ(PixelShaderIndex(3, 0, 1, 1, 1), 8 * (1 + 18 + 54 + 216));
}

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) { return b; }

TEST(ShaderPackLayout, AnEmptySlotLeavesTheFollowingOffsetsAlone) {
  std::vector<std::vector<uint8_t>> vertex(VertexShaderSlotCount), pixel(PixelShaderSlotCount);
  vertex[3] = Bytes({1, 2, 3, 4});
  vertex[4] = {};
  vertex[5] = Bytes({5, 6, 7, 8, 9, 10, 11, 12});
  pixel[0] = Bytes({13, 14, 15, 16});
  const std::vector<uint8_t> pack = quelt_tools::LayOutShaderPack(vertex, pixel);
  ASSERT_EQ(pack.size(), ShaderPackCodeOffset + 16);
  std::array<const uint8_t*, VertexShaderSlotCount> vc{};
  std::array<const uint8_t*, PixelShaderSlotCount> pc{};
  ASSERT_TRUE(IndexShaderPack(pack.data(), static_cast<uint32_t>(pack.size()), &vc, &pc));
  EXPECT_EQ(vc[3], pack.data() + ShaderPackCodeOffset);
  EXPECT_EQ(vc[4], nullptr);
  EXPECT_EQ(vc[5], pack.data() + ShaderPackCodeOffset + 4);
  EXPECT_EQ(pc[0], pack.data() + ShaderPackCodeOffset + 12);
  EXPECT_EQ(*pc[0], 13);
  EXPECT_EQ(std::count_if(vc.begin(), vc.end(), [](const uint8_t* p) { return p != nullptr; }), 2);
}

TEST(ShaderPackLayout, SizeTablesThatDoNotAddUpAreRefused) {
  std::vector<std::vector<uint8_t>> vertex(VertexShaderSlotCount), pixel(PixelShaderSlotCount);
  vertex[0] = Bytes({1, 2, 3, 4});
  pixel[PixelShaderSlotCount - 1] = Bytes({5, 6, 7, 8});
  std::vector<uint8_t> pack = quelt_tools::LayOutShaderPack(vertex, pixel);
  std::array<const uint8_t*, VertexShaderSlotCount> vc{};
  std::array<const uint8_t*, PixelShaderSlotCount> pc{};
  ASSERT_TRUE(IndexShaderPack(pack.data(), static_cast<uint32_t>(pack.size()), &vc, &pc));
  // A size that reaches past the end.
  std::vector<uint8_t> damaged = pack;
  damaged[VertexShaderSlotCount * 2 - 2] = 0xFF;
  EXPECT_FALSE(IndexShaderPack(damaged.data(), static_cast<uint32_t>(damaged.size()), &vc, &pc));
  EXPECT_EQ(vc[0], nullptr);
  EXPECT_EQ(pc[PixelShaderSlotCount - 1], nullptr);
  // Sizes that fall short of the code, a table cut short, no pack.
  damaged = pack;
  damaged[0] = 0;
  EXPECT_FALSE(IndexShaderPack(damaged.data(), static_cast<uint32_t>(damaged.size()), &vc, &pc));
  EXPECT_FALSE(IndexShaderPack(pack.data(), ShaderPackCodeOffset - 2, &vc, &pc));
  EXPECT_FALSE(IndexShaderPack(nullptr, 0, &vc, &pc));
}

class ShaderPackLoad : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeShaderPack();
    ShaderPackSource = {EmbeddedShaderPackImage, EmbeddedShaderPackImageSize};
  }
};

TEST_F(ShaderPackLoad, TheEmbeddedPackLoadsOnceAndFreesItsBlocks) {
  ASSERT_EQ(LoadShaderPack(), 1);
  const uint8_t* pack = ShaderPack.pack;
  EXPECT_EQ(LoadShaderPack(), 1);
  EXPECT_EQ(ShaderPack.pack, pack);  // loaded already
  ASSERT_NE(ShaderPack.vertexCode[TestVertexShaderSlot], nullptr);
  ASSERT_NE(ShaderPack.pixelCode[TestPixelShaderSlot], nullptr);
  uint32_t version = 0;
  std::memcpy(&version, ShaderPack.vertexCode[TestVertexShaderSlot], 4);
  EXPECT_EQ(version, 0xFFFE0200u);
  std::memcpy(&version, ShaderPack.pixelCode[TestPixelShaderSlot], 4);
  EXPECT_EQ(version, 0xFFFF0200u);
  EXPECT_GT(ShaderCodeSize(0, TestVertexShaderSlot), 0u);
  EXPECT_EQ(ShaderCodeSize(0, 1), 0u);
  EXPECT_EQ(ShaderPack.vertexCode[1], nullptr);
  FreeShaderPack();
  EXPECT_EQ(ShaderPack.pack, nullptr);
  EXPECT_EQ(ShaderPack.archiveImage, nullptr);
  EXPECT_EQ(ShaderPack.vertexCode[TestVertexShaderSlot], nullptr);
}

TEST_F(ShaderPackLoad, TheEmbeddedPackMatchesTheShaderTexts) {
  std::vector<uint8_t> built;
  std::string error;
  const auto read = [](const std::string& name) { return quelt_test::ReadSourceFile("graphics/shaders/" + name); };
  ASSERT_TRUE(quelt_tools::BuildShaderPack(read("transform_light_fog.vsh"), read("combine.psh"), &built, &error)) << error;
  ASSERT_EQ(LoadShaderPack(), 1);
  ASSERT_EQ(ShaderPack.packSize, built.size());
  EXPECT_TRUE(std::equal(built.begin(), built.end(), ShaderPack.pack));
}

std::vector<uint8_t> ImageOf(const std::vector<uint8_t>& pack) {
  std::vector<uint8_t> image;
  std::string error;
  EXPECT_TRUE(quelt_tools::BuildShaderPackImage(pack, &image, &error)) << error;
  return image;
}

TEST_F(ShaderPackLoad, DamagedPacksCountAsNoPack) {
  std::vector<std::vector<uint8_t>> vertex(VertexShaderSlotCount), pixel(PixelShaderSlotCount);
  vertex[TestVertexShaderSlot] = Bytes({0, 2, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0});
  pixel[TestPixelShaderSlot] = Bytes({0, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0});
  const std::vector<uint8_t> pack = quelt_tools::LayOutShaderPack(vertex, pixel);
  std::vector<uint8_t> good = ImageOf(pack);
  ShaderPackSource = {good.data(), static_cast<uint32_t>(good.size())};
  ASSERT_EQ(LoadShaderPack(), 1);
  FreeShaderPack();

  // The size table claims more code than the pack holds.
  std::vector<uint8_t> damaged = pack;
  damaged[TestVertexShaderSlot * 2] = 0x40;
  std::vector<uint8_t> image = ImageOf(damaged);
  ShaderPackSource = {image.data(), static_cast<uint32_t>(image.size())};
  EXPECT_EQ(LoadShaderPack(), 0);
  EXPECT_EQ(ShaderPack.pack, nullptr);
  EXPECT_EQ(ShaderPack.archiveImage, nullptr);
  EXPECT_EQ(ShaderPack.vertexCode[TestVertexShaderSlot], nullptr);

  // Truncated and scribbled images, an archive without the pack, no image.
  image = good;
  image.resize(image.size() / 2);
  ShaderPackSource = {image.data(), static_cast<uint32_t>(image.size())};
  EXPECT_EQ(LoadShaderPack(), 0);
  image = good;
  for (size_t i = 9; i < image.size(); i += 7) image[i] ^= 0x5A;
  ShaderPackSource = {image.data(), static_cast<uint32_t>(image.size())};
  EXPECT_EQ(LoadShaderPack(), 0);
  quelt_tools::PackEntry root;
  root.directory = true;
  quelt_tools::PackEntry other;
  other.name = "Other.bin";
  other.data = pack;
  root.children.push_back(other);
  const std::vector<uint8_t> archive = quelt_tools::WriteArchive(root, {});
  image = quelt_tools::EncodeLzBlock(archive.data(), archive.size());
  ShaderPackSource = {image.data(), static_cast<uint32_t>(image.size())};
  EXPECT_EQ(LoadShaderPack(), 0);
  ShaderPackSource = {nullptr, 0};
  EXPECT_EQ(LoadShaderPack(), 0);
  EXPECT_EQ(ShaderPack.archiveImage, nullptr);
}

// --- Shader state over recording devices -------------------------------------------------------

struct ConstantWrite {
  char kind;  // 'v', 'p', 'b'
  uint32_t start;
  std::vector<float> values;
  std::vector<int32_t> bools;
};

struct ShaderRecorder {
  std::vector<ConstantWrite> writes;
  int vertexCreated = 0, pixelCreated = 0, declarations = 0, released = 0;
  int failVertex = 0;
  std::vector<std::vector<VertexElement>> declarationElements;
  std::map<uint32_t, std::vector<float>> vertexConstants, pixelConstants;
  std::map<uint32_t, int32_t> bools;
};
ShaderRecorder* Recorder = nullptr;
int Tokens[1];

int32_t CreateVs(void*, const void*, void** out) {
  if (Recorder->failVertex) return -1;
  ++Recorder->vertexCreated;
  *out = &Tokens[0];
  return 0;
}
int32_t CreatePs(void*, const void*, void** out) {
  ++Recorder->pixelCreated;
  *out = &Tokens[0];
  return 0;
}
int32_t CreateDecl(void*, const VertexElement* e, void** out) {
  std::vector<VertexElement> list;
  for (; e->stream != 0xFF; ++e) list.push_back(*e);
  list.push_back(*e);
  Recorder->declarationElements.push_back(list);
  ++Recorder->declarations;
  *out = &Tokens[0];
  return 0;
}
void Release(void*) { ++Recorder->released; }
int32_t SetVf(void*, uint32_t start, const float* v, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) Recorder->vertexConstants[start + i].assign(v + 4 * i, v + 4 * i + 4);
  Recorder->writes.push_back({'v', start, std::vector<float>(v, v + 4 * count), {}});
  return 0;
}
int32_t SetPf(void*, uint32_t start, const float* v, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) Recorder->pixelConstants[start + i].assign(v + 4 * i, v + 4 * i + 4);
  Recorder->writes.push_back({'p', start, std::vector<float>(v, v + 4 * count), {}});
  return 0;
}
int32_t SetB(void*, uint32_t start, const int32_t* v, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) Recorder->bools[start + i] = v[i];
  return 0;
}
const ShaderSink RecordingShaderSink{CreateVs, CreatePs, CreateDecl, Release, SetVf, SetPf, SetB};

class ShaderStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Recorder = &shaders;
    ActiveShaderSink = &RecordingShaderSink;
    InitDeviceDrawState();
    GraphicsDevice.facts.vertexShader20 = GraphicsDevice.facts.pixelShader20 = 1;
  }
  void TearDown() override {
    ReleaseVertexDeclarations();
    ReleaseShaders();
    ShaderState.inUse = 0;
    FreeShaderPack();
    ShaderPackSource = {EmbeddedShaderPackImage, EmbeddedShaderPackImageSize};
    GraphicsDevice.facts = DeviceFacts{};
    ActiveShaderSink = nullptr;
    Recorder = nullptr;
  }
  std::vector<float> V(uint32_t c) { return shaders.vertexConstants[c]; }
  std::vector<float> P(uint32_t c) { return shaders.pixelConstants[c]; }

  quelt_test::RecordingDevice device;
  quelt_test::RecordingDeviceScope scope{&device};
  ShaderRecorder shaders;
};

TEST_F(ShaderStateTest, SetupTestCreatesOneShaderOfEachKind) {
  ASSERT_EQ(SetupShaders(), 0);
  EXPECT_TRUE(ShadersInUse());
  EXPECT_EQ(shaders.vertexCreated, 1);
  EXPECT_EQ(shaders.pixelCreated, 1);
  EXPECT_NE(ShaderState.vertexShaders[TestVertexShaderSlot], nullptr);
  EXPECT_EQ(V(0), (std::vector<float>{0, 1, 0, 0}));
  EXPECT_EQ(P(0), (std::vector<float>{0, 0.5f, 1, 2}));
  // Further objects come on first use; empty slots give none.
  EXPECT_NE(GetVertexShaderObject(0), nullptr);
  EXPECT_EQ(GetVertexShaderObject(1), nullptr);
  EXPECT_EQ(GetVertexShaderObject(VertexShaderSlotCount), nullptr);
  EXPECT_EQ(shaders.vertexCreated, 2);
  ReleaseShaders();
  EXPECT_EQ(shaders.released, 3);
  EXPECT_EQ(ShaderState.vertexShaders[0], nullptr);
}

TEST_F(ShaderStateTest, NoShadersWithoutModel2OrAPackOrACreatedShader) {
  GraphicsDevice.facts.pixelShader20 = 0;
  SetupShaders();
  EXPECT_FALSE(ShadersInUse());
  EXPECT_EQ(shaders.vertexCreated, 0);

  GraphicsDevice.facts.pixelShader20 = 1;
  shaders.failVertex = 1;
  SetupShaders();
  EXPECT_FALSE(ShadersInUse());
  shaders.failVertex = 0;

  FreeShaderPack();
  ShaderPackSource = {nullptr, 0};
  SetupShaders();
  EXPECT_FALSE(ShadersInUse());
  // Constants and indices stay untouched without shaders.
  const size_t writes = shaders.writes.size();
  SetFogStartEnd(10.0f, 20.0f);
  SetLighting(1);
  EXPECT_EQ(shaders.writes.size(), writes);
}

TEST_F(ShaderStateTest, IndicesFollowLightsLightingAndFog) {
  ASSERT_EQ(SetupShaders(), 0);
  ASSERT_TRUE(ShadersInUse());
  SetLighting(0);
  SetFogEnable(0);
  EXPECT_EQ(ShaderState.vertexIndex, 0);
  EXPECT_EQ(ShaderState.pixelIndex, 0);
  DeviceLight directional{};
  directional.type = 3;
  directional.direction = {0, 0, 1};
  DeviceLight spot = directional;
  spot.type = 2;
  SetLight(&directional, 0);
  SetLight(&spot, 2);
  EnableLight(0, 1);
  EnableLight(2, 1);
  // Lighting off: the types do not count, the enabled lights do.
  EXPECT_EQ(ShaderState.vertexIndex, VertexShaderIndex(0, 0, 0, 0, 1, 0));
  SetLighting(1);
  EXPECT_EQ(ShaderState.vertexIndex, VertexShaderIndex(3, 0, 2, 0, 1, 1));
  EXPECT_EQ(ShaderState.pixelIndex, PixelShaderIndex(3, 0, 2, 1, 1));
  SetFogMode(2);
  EXPECT_EQ(ShaderState.vertexIndex, VertexShaderIndex(3, 0, 2, 0, 1, 1));  // fog still off
  SetFogEnable(1);
  EXPECT_EQ(ShaderState.vertexIndex, VertexShaderIndex(3, 0, 2, 2, 1, 1));
  EXPECT_EQ(shaders.bools[0], 1);
  EXPECT_EQ(shaders.bools[2], 1);
  EXPECT_EQ(shaders.bools[3], 0);
  EnableLight(0, 0);
  EXPECT_EQ(ShaderState.vertexIndex, VertexShaderIndex(0, 0, 2, 2, 1, 1));
  EXPECT_EQ(shaders.bools[4], 0);
  EXPECT_EQ(shaders.bools[10], 1);  // light 2 enabled
  EXPECT_EQ(shaders.bools[11], 1);  // point or spot
  EXPECT_EQ(shaders.bools[12], 1);  // spot
  // Every index the state can reach has code in the embedded pack.
  EXPECT_NE(ShaderPack.vertexCode[ShaderState.vertexIndex], nullptr);
  EXPECT_NE(ShaderPack.pixelCode[ShaderState.pixelIndex], nullptr);
}

TEST_F(ShaderStateTest, ConstantsFollowTheCachedStates) {
  ASSERT_EQ(SetupShaders(), 0);
  SetFogDensity(0.5f);
  SetFogStartEnd(100.0f, 300.0f);
  EXPECT_EQ(V(10), (std::vector<float>{1.5f, -1.0f / 200.0f, 0.5f, 2.7182817f}));

  DeviceMaterial material{};
  material.diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
  material.ambient = {0.5f, 0.5f, 0.5f, 1.0f};
  material.specular = {1, 1, 1, 1};
  material.emissive = {0.125f, 0, 0, 0};
  material.power = 8.0f;
  SetMaterial(&material);
  SetAmbientColour(0xFF804000u);
  EXPECT_EQ(V(11), (std::vector<float>{0.5f, 0.25f, 1.0f, 1.0f}));
  EXPECT_EQ(V(13), (std::vector<float>{8.0f, 0, 0, 0}));
  EXPECT_EQ(P(2), V(11));
  const float red = 128 / 255.0f;
  EXPECT_FLOAT_EQ(V(1)[0], red * 0.5f + 0.125f);
  EXPECT_FLOAT_EQ(V(1)[1], 64 / 255.0f * 0.5f);
  EXPECT_EQ(P(1), V(1));

  // A light under a view that moves everything by (0, 0, 10).
  Matrix4 view{};
  for (int i = 0; i < 4; ++i) view.m[i][i] = 1.0f;
  view.m[3][2] = 10.0f;
  SetViewMatrix(&view);
  EXPECT_EQ(V(8), (std::vector<float>{0, 0, 1, 10}));  // the view's third column
  DeviceLight point{};
  point.type = 1;
  point.position = {1, 2, 3};
  point.diffuse = {1, 0.5f, 0, 1};
  point.ambient = {0.5f, 1, 1, 1};
  point.range = 4.0f;
  point.attenuation0 = 1.0f;
  point.attenuation2 = 0.25f;
  SetLight(&point, 1);
  const uint32_t base = 14 + 7;
  EXPECT_EQ(V(base), (std::vector<float>{1, 2, 13, 1}));
  EXPECT_EQ(V(base + 2), (std::vector<float>{1, 0.5f, 0, 1}));
  EXPECT_EQ(V(base + 4), (std::vector<float>{0.25f, 0.5f, 0.5f, 1}));  // light x material ambient
  EXPECT_EQ(V(base + 5), (std::vector<float>{16, 0, 1, 0}));
  EXPECT_EQ(P(6 + 3), V(base + 2));
  EXPECT_EQ(P(6 + 5), V(base + 4));
  // A new view moves the light's view-space position with it.
  view.m[3][2] = 20.0f;
  SetViewMatrix(&view);
  EXPECT_EQ(V(base), (std::vector<float>{1, 2, 23, 1}));
  // A new material changes the light's ambient product.
  material.ambient = {1, 1, 1, 1};
  SetMaterial(&material);
  EXPECT_EQ(V(base + 4), (std::vector<float>{0.5f, 1, 1, 1}));

  Matrix4 projection{};
  projection.m[0][1] = 7.0f;
  projection.m[3][0] = 5.0f;
  UploadProjectionTransform(&projection);
  EXPECT_EQ(V(2), (std::vector<float>{0, 0, 0, 5}));
  EXPECT_EQ(V(3), (std::vector<float>{7, 0, 0, 0}));
}

TEST_F(ShaderStateTest, FiftyFourDeclarationsInTheirLayouts) {
  ASSERT_EQ(SetupShaders(), 0);
  CreateVertexDeclarations();
  ASSERT_EQ(shaders.declarations, VertexDeclarationCount);
  for (void* d : ShaderState.declarations) EXPECT_NE(d, nullptr);
  // Group 0, layout 0, no texture coordinates: position, normal, two colours, end.
  const auto& first = shaders.declarationElements[0];
  ASSERT_EQ(first.size(), 5u);
  EXPECT_EQ(first[0].type, 2);
  EXPECT_EQ(first[1].offset, 12);
  EXPECT_EQ(first[1].usage, 3);
  EXPECT_EQ(first[3].offset, 28);
  EXPECT_EQ(first[3].usageIndex, 1);
  EXPECT_EQ(first[4].stream, 0xFF);
  EXPECT_EQ(first[4].type, 17);
  // Group 1, layout 2 with eight texture coordinates: the last one at 96 + 56.
  const auto& last = shaders.declarationElements[53];
  ASSERT_EQ(last.size(), 1u + 9u + 8u + 1u);
  EXPECT_EQ(last[9].offset, 92);
  EXPECT_EQ(last[17].offset, 96 + 56);
  EXPECT_EQ(last[17].usage, 5);
  EXPECT_EQ(last[17].usageIndex, 7);
  // Slot = (group x 3 + layout) x 9 + count.
  EXPECT_EQ(shaders.declarationElements[(1 * 3 + 1) * 9 + 2][9].offset, 76 + 8);
  ReleaseVertexDeclarations();
  EXPECT_EQ(shaders.released, VertexDeclarationCount);
  for (void* d : ShaderState.declarations) EXPECT_EQ(d, nullptr);
}

}  // namespace
