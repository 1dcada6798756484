// The shader pack under Wine: the project's assembler against the reference assembler of
// d3dcompiler_47.dll, every shader of the pack on Wine's device, and the fixed-function road
// when the pack is damaged.
#include <windows.h>
#include <d3d9.h>
#include <d3dcommon.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <vector>

#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "graphics/shader_pack.h"
#include "graphics/shader_pack_image.h"
#include "graphics/shader_state.h"
#include "tests/graphics/engine_session.h"
#include "tests/support/test_paths.h"
#include "tools/shaderasm/shader_pack_builder.h"

namespace {

using namespace quelt;
using quelt_test::ReadEngineLog;
using quelt_test::StartEngineSession;
using quelt_test::StopEngineSession;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string ReadShaderText(const char* name) { return quelt_test::ReadSourceFile(std::string("graphics/shaders/") + name); }

struct ShaderMacro {
  const char* name;
  const char* definition;
};
using AssembleFn = HRESULT(WINAPI*)(const void* data, SIZE_T size, const char* fileName, const ShaderMacro* defines,
                                    void* include, UINT flags, ID3DBlob** shader, ID3DBlob** errors);

TEST(ShaderAssemblerOracle, EveryPackVariantMatchesTheReferenceAssembler) {
  HMODULE module = LoadLibraryA("d3dcompiler_47.dll");
  ASSERT_NE(module, nullptr);
  const auto assemble =
      reinterpret_cast<AssembleFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "D3DAssemble")));
  ASSERT_NE(assemble, nullptr);
  const std::string vertexText = ReadShaderText("transform_light_fog.vsh");
  const std::string pixelText = ReadShaderText("combine.psh");
  ASSERT_FALSE(vertexText.empty());
  ASSERT_FALSE(pixelText.empty());

  int compared = 0;
  for (const quelt_tools::ShaderVariant& v : quelt_tools::ShaderPackVariants()) {
    const std::string& text = v.pixel ? pixelText : vertexText;
    std::vector<uint32_t> ours;
    std::string error;
    ASSERT_TRUE(quelt_tools::AssembleShader(text, v.defines, &ours, &error)) << error;

    std::vector<std::string> values;
    for (const auto& d : v.defines) values.push_back(std::to_string(d.value));
    std::vector<ShaderMacro> macros;
    for (size_t i = 0; i < v.defines.size(); ++i) macros.push_back({v.defines[i].name.c_str(), values[i].c_str()});
    macros.push_back({nullptr, nullptr});
    ID3DBlob* blob = nullptr;
    ID3DBlob* errors = nullptr;
    const HRESULT hr = assemble(text.data(), text.size(), nullptr, macros.data(), nullptr, 0, &blob, &errors);
    std::string message;
    if (errors != nullptr) {
      message.assign(static_cast<const char*>(errors->GetBufferPointer()), errors->GetBufferSize());
      errors->Release();
    }
    ASSERT_TRUE(SUCCEEDED(hr) && blob != nullptr) << "slot " << v.slot << ": " << message;
    const auto* tokens = static_cast<const uint32_t*>(blob->GetBufferPointer());
    const std::vector<uint32_t> reference(tokens, tokens + blob->GetBufferSize() / 4);
    blob->Release();
    ASSERT_EQ(ours.size(), reference.size()) << (v.pixel ? "pixel" : "vertex") << " slot " << v.slot;
    for (size_t i = 0; i < ours.size(); ++i)
      ASSERT_EQ(ours[i], reference[i]) << (v.pixel ? "pixel" : "vertex") << " slot " << v.slot << " token " << i;
    ++compared;
  }
  EXPECT_EQ(compared, 1025 + 109);
  FreeLibrary(module);
}

class ShaderDevice : public ::testing::Test {
 protected:
  void TearDown() override {
    ShaderPackSource = {EmbeddedShaderPackImage, EmbeddedShaderPackImageSize};
  }
};

TEST_F(ShaderDevice, EveryShaderOfThePackCreatesAndTheTestSlotsTurnShadersOn) {
  ASSERT_EQ(StartEngineSession({"quelt shader pack"}), 0);
  ASSERT_EQ(ScreenState.hardware, 1);
  EXPECT_TRUE(ShadersInUse());
  int vertex = 0, pixel = 0;
  for (int32_t slot = 0; slot < VertexShaderSlotCount; ++slot) {
    if (ShaderPack.vertexCode[slot] == nullptr) continue;
    EXPECT_NE(GetVertexShaderObject(slot), nullptr) << "vertex slot " << slot;
    ++vertex;
  }
  for (int32_t slot = 0; slot < PixelShaderSlotCount; ++slot) {
    if (ShaderPack.pixelCode[slot] == nullptr) continue;
    EXPECT_NE(GetPixelShaderObject(slot), nullptr) << "pixel slot " << slot;
    ++pixel;
  }
  EXPECT_EQ(vertex, 1025);
  EXPECT_EQ(pixel, 109);
  for (void* declaration : ShaderState.declarations) EXPECT_NE(declaration, nullptr);
  // No draw path binds them.
  EXPECT_EQ(DeviceStateCache.vertexShader, nullptr);
  StopEngineSession();
  // The device's end gave every object back; the shutdown freed the pack.
  EXPECT_EQ(ShaderState.vertexShaders[TestVertexShaderSlot], nullptr);
  EXPECT_EQ(ShaderState.declarations[0], nullptr);
  EXPECT_EQ(ShaderPack.pack, nullptr);
  const std::string log = ReadEngineLog();
  EXPECT_TRUE(Contains(log, "プログラマブルシェーダーを使用します"));
  EXPECT_FALSE(Contains(log, "プログラマブルシェーダーを使用しません"));
}

TEST_F(ShaderDevice, APackWithADamagedSizeTableFallsBackToFixedFunction) {
  std::vector<uint8_t> pack;
  std::string error;
  ASSERT_TRUE(quelt_tools::BuildShaderPack(ReadShaderText("transform_light_fog.vsh"), ReadShaderText("combine.psh"),
                                           &pack, &error))
      << error;
  pack[TestVertexShaderSlot * 2 + 1] ^= 0x10;  // the test slot claims 4 KiB more or less
  std::vector<uint8_t> image;
  ASSERT_TRUE(quelt_tools::BuildShaderPackImage(pack, &image, &error)) << error;
  ShaderPackSource = {image.data(), static_cast<uint32_t>(image.size())};

  ASSERT_EQ(StartEngineSession({"quelt shader pack damaged"}), 0);
  EXPECT_EQ(ScreenState.hardware, 1);
  EXPECT_FALSE(ShadersInUse());
  EXPECT_EQ(ShaderPack.pack, nullptr);
  for (void* declaration : ShaderState.declarations) EXPECT_EQ(declaration, nullptr);
  int32_t width = 0, height = 0;
  const std::vector<uint32_t> pixels = quelt_test::ErasePresentAndReadBack(0x3060C0, &width, &height);
  ASSERT_FALSE(pixels.empty());
  EXPECT_EQ(pixels[300 * 600 + 300] & 0xFFFFFF, 0x3060C0u);
  StopEngineSession();
  const std::string log = ReadEngineLog();
  EXPECT_TRUE(Contains(log, "シェーダーコードを展開するメモリ領域の確保に失敗しました"));
  EXPECT_TRUE(Contains(log, "プログラマブルシェーダーを使用しません"));
  EXPECT_FALSE(Contains(log, "プログラマブルシェーダーを使用します"));
}

// --- The shaders against the fixed-function road ------------------------------------------

// The vertex of declaration 0 and of the FVF XYZ | NORMAL | DIFFUSE | SPECULAR alike.
struct MeshVertex {
  float x, y, z, nx, ny, nz;
  uint32_t diffuse, specular;
};
static_assert(sizeof(MeshVertex) == 32);

// A bumpy surface over pixels 150..450 at depth about 0, facing the engine's 2-D camera.
std::vector<MeshVertex> BumpyMesh() {
  constexpr int n = 16;
  auto at = [](int i, int j) {
    const float x = 150.0f + 300.0f * static_cast<float>(i) / n;
    const float y = 150.0f + 300.0f * static_cast<float>(j) / n;
    const float z = 40.0f * std::sin(x / 45.0f) * std::cos(y / 60.0f);
    const float dx = 40.0f / 45.0f * std::cos(x / 45.0f) * std::cos(y / 60.0f);
    const float dy = -40.0f / 60.0f * std::sin(x / 45.0f) * std::sin(y / 60.0f);
    const float len = std::sqrt(dx * dx + dy * dy + 1.0f);
    const uint32_t r = static_cast<uint32_t>(i * 15), g = static_cast<uint32_t>(j * 15);
    return MeshVertex{x, y, z, dx / len, dy / len, -1.0f / len, 0xFF000000u | r << 16 | g << 8 | 0x80u, 0xFF101010u};
  };
  std::vector<MeshVertex> v;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      v.push_back(at(i, j));
      v.push_back(at(i + 1, j));
      v.push_back(at(i, j + 1));
      v.push_back(at(i + 1, j));
      v.push_back(at(i + 1, j + 1));
      v.push_back(at(i, j + 1));
    }
  return v;
}

struct Scene {
  int32_t lighting;
  int32_t fogMode;  // 0: fog off
  std::vector<DeviceLight> lights;
};

class ShaderDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(StartEngineSession({"quelt shader drawing"}), 0);
    ASSERT_TRUE(ShadersInUse());
    SelectDrawScreen(DrawScreenBack);
    device = static_cast<IDirect3DDevice9*>(GraphicsDevice.device);
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &white, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(white->LockRect(0, &locked, nullptr, 0), D3D_OK);
    *static_cast<uint32_t*>(locked.pBits) = 0xFFFFFFFF;
    white->UnlockRect(0);
  }
  void TearDown() override {
    if (white != nullptr) white->Release();
    if (device != nullptr) {
      device->SetTexture(0, nullptr);
      device->SetVertexShader(nullptr);
      device->SetPixelShader(nullptr);
    }
    StopEngineSession();
  }

  // The scene's states through the engine's cached setters (which also send the shader
  // constants), and the stage and raster states both roads share.
  void Apply(const Scene& scene) {
    DeviceMaterial material{};
    material.diffuse = {0.9f, 0.8f, 0.7f, 1.0f};
    material.ambient = {0.6f, 0.6f, 0.8f, 1.0f};
    material.specular = {0.7f, 0.7f, 0.5f, 1.0f};
    material.emissive = {0.05f, 0.0f, 0.1f, 0.0f};
    material.power = 12.0f;
    SetMaterial(&material);
    SetAmbientColour(0xFF303848u);
    SetDiffuseMaterialSource(0);
    SetSpecularMaterialSource(0);
    SetSpecularEnable(1);
    for (int32_t i = 0; i < 3; ++i) {
      if (i < static_cast<int32_t>(scene.lights.size())) {
        SetLight(&scene.lights[static_cast<size_t>(i)], i);
        EnableLight(i, 1);
      } else {
        EnableLight(i, 0);
      }
    }
    SetLighting(scene.lighting);
    SetFogColour(0xFF204060u);
    SetFogStartEnd(420.0f, 620.0f);
    SetFogDensity(0.0022f);
    SetFogMode(scene.fogMode);
    SetFogEnable(scene.fogMode != 0);
    Matrix4 identity{};
    for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
    SetWorldMatrix(&identity);
    EndSceneIfOpen();
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    device->SetRenderState(D3DRS_RANGEFOGENABLE, FALSE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, FALSE);
    device->SetRenderState(D3DRS_LOCALVIEWER, TRUE);
    device->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetTexture(0, white);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  }

  std::vector<uint32_t> Draw(bool shaders) {
    const std::vector<MeshVertex> mesh = BumpyMesh();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    if (shaders) {
      device->SetVertexDeclaration(static_cast<IDirect3DVertexDeclaration9*>(ShaderState.declarations[0]));
      device->SetVertexShader(static_cast<IDirect3DVertexShader9*>(GetVertexShaderObject(ShaderState.vertexIndex)));
      device->SetPixelShader(static_cast<IDirect3DPixelShader9*>(GetPixelShaderObject(ShaderState.pixelIndex)));
    } else {
      device->SetVertexShader(nullptr);
      device->SetPixelShader(nullptr);
      device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    }
    device->BeginScene();
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(mesh.size() / 3), mesh.data(), sizeof(MeshVertex));
    device->EndScene();
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    std::vector<uint32_t> pixels(600 * 600);
    if (ReadBackDrawScreen(pixels.data(), 600, 600) < 0) pixels.clear();
    return pixels;
  }

  // Both roads draw the scene; the largest channel difference, and how many distinct
  // colours the fixed-function picture has (a flat picture would prove nothing).
  void Compare(const Scene& scene, int* worst, size_t* colours) {
    Apply(scene);
    const std::vector<uint32_t> fixed = Draw(false);
    Apply(scene);
    const std::vector<uint32_t> shaded = Draw(true);
    ASSERT_EQ(fixed.size(), shaded.size());
    ASSERT_FALSE(fixed.empty());
    *worst = 0;
    std::vector<uint32_t> seen;
    for (size_t i = 0; i < fixed.size(); ++i) {
      for (int shift = 0; shift < 24; shift += 8) {
        const int a = static_cast<int>((fixed[i] >> shift) & 0xFF), b = static_cast<int>((shaded[i] >> shift) & 0xFF);
        *worst = std::max(*worst, std::abs(a - b));
      }
      if (i % 37 == 0) seen.push_back(fixed[i] & 0xFFFFFF);
    }
    std::sort(seen.begin(), seen.end());
    *colours = static_cast<size_t>(std::unique(seen.begin(), seen.end()) - seen.begin());
  }

  IDirect3DDevice9* device = nullptr;
  IDirect3DTexture9* white = nullptr;
};

DeviceLight MakeLight(uint32_t type) {
  DeviceLight l{};
  l.type = type;
  l.diffuse = {0.8f, 0.7f, 0.6f, 1.0f};
  l.specular = {0.9f, 0.9f, 0.9f, 1.0f};
  l.ambient = {0.2f, 0.1f, 0.1f, 1.0f};
  l.range = 1500.0f;
  l.attenuation0 = 0.6f;
  l.attenuation1 = 0.0008f;
  l.attenuation2 = 0.000001f;
  l.falloff = 1.5f;
  l.theta = 0.4f;
  l.phi = 0.9f;
  return l;
}

TEST_F(ShaderDrawing, LightsAndFogMatchTheFixedFunctionRoad) {
  DeviceLight directional = MakeLight(3);
  directional.direction = {0.4f, 0.3f, 1.0f};
  DeviceLight point = MakeLight(1);
  point.position = {260.0f, 220.0f, -150.0f};
  point.diffuse = {0.3f, 0.6f, 0.9f, 1.0f};
  DeviceLight spot = MakeLight(2);
  spot.position = {380.0f, 380.0f, -260.0f};
  spot.direction = {-0.2f, -0.2f, 1.0f};
  spot.diffuse = {1.0f, 0.4f, 0.2f, 1.0f};
  const std::vector<Scene> scenes{
      {1, 3, {directional, point, spot}},  // three kinds of light, linear fog
      {1, 1, {point}},                     // exponential fog
      {1, 0, {spot, directional}},         // no fog
      {0, 2, {point}},                     // vertex colours, squared exponential fog
  };
  for (size_t k = 0; k < scenes.size(); ++k) {
    int worst = 0;
    size_t colours = 0;
    Compare(scenes[k], &worst, &colours);
    EXPECT_LE(worst, 3) << "scene " << k;
    EXPECT_GT(colours, 40u) << "scene " << k;
  }
}

}  // namespace
