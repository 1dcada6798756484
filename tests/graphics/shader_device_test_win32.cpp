// The shader pack under Wine: the project's assembler against the reference assembler of
// d3dcompiler_47.dll, every shader of the pack on Wine's device, and the fixed-function road
// when the pack is damaged.
#include <windows.h>
#include <d3d9.h>
#include <d3dcommon.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "graphics/device_state.h"
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

std::string ReadShaderText(const char* name) {
  std::string text;
  FILE* f = std::fopen((quelt_test::SourceDir() + "/graphics/shaders/" + name).c_str(), "rb");
  if (f == nullptr) return text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

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

}  // namespace
