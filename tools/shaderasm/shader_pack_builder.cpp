#include "tools/shaderasm/shader_pack_builder.h"

#include <cstring>

#include "graphics/shader_indices.h"
#include "tools/qla_writer/archive_writer.h"
#include "tools/qla_writer/lz_encode.h"

namespace quelt_tools {

using quelt::PixelLightKind;
using quelt::PixelShaderIndex;
using quelt::PixelShaderSlotCount;
using quelt::VertexShaderIndex;
using quelt::VertexShaderSlotCount;

namespace {

std::vector<ShaderDefine> LightDefines(int32_t lighting, int32_t t0, int32_t t1, int32_t t2) {
  return {{"LIGHTING", lighting}, {"LIGHT0", t0}, {"LIGHT1", t1}, {"LIGHT2", t2}};
}

std::vector<uint8_t> TokenBytes(const std::vector<uint32_t>& tokens) {
  std::vector<uint8_t> bytes(tokens.size() * 4);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const uint32_t t = tokens[i];
    bytes[i * 4] = static_cast<uint8_t>(t);
    bytes[i * 4 + 1] = static_cast<uint8_t>(t >> 8);
    bytes[i * 4 + 2] = static_cast<uint8_t>(t >> 16);
    bytes[i * 4 + 3] = static_cast<uint8_t>(t >> 24);
  }
  return bytes;
}

}  // namespace

std::vector<ShaderVariant> ShaderPackVariants() {
  // The scheme reads the light types only while lighting is on, but "any" counts enabled
  // lights whatever their type: every combination is filled, so no state finds an empty slot.
  std::vector<ShaderVariant> vertex(VertexShaderSlotCount);
  std::vector<ShaderVariant> pixel(PixelShaderSlotCount);
  std::vector<bool> vertexUsed(VertexShaderSlotCount), pixelUsed(PixelShaderSlotCount);
  for (int32_t lighting = 0; lighting < 2; ++lighting)
    for (int32_t any = 0; any < 2; ++any)
      for (int32_t t0 = 0; t0 < 4; ++t0)
        for (int32_t t1 = 0; t1 < 4; ++t1)
          for (int32_t t2 = 0; t2 < 4; ++t2) {
            for (int32_t fog = 0; fog < 4; ++fog) {
              const int32_t v = VertexShaderIndex(t0, t1, t2, fog, any, lighting);
              std::vector<ShaderDefine> d = LightDefines(lighting, t0, t1, t2);
              d.push_back({"FOG", fog});
              vertex[v] = {v, false, std::move(d)};
              vertexUsed[v] = true;
            }
            const int32_t p = PixelShaderIndex(t0, t1, t2, any, lighting);
            pixel[p] = {p, true, LightDefines(lighting, PixelLightKind(t0), PixelLightKind(t1), PixelLightKind(t2))};
            pixelUsed[p] = true;
          }
  // The test slots hold the largest variants: three lights of every kind, linear fog.
  vertex[quelt::TestVertexShaderSlot] = {quelt::TestVertexShaderSlot, false, LightDefines(1, 3, 1, 2)};
  vertex[quelt::TestVertexShaderSlot].defines.push_back({"FOG", 3});
  vertexUsed[quelt::TestVertexShaderSlot] = true;
  pixel[quelt::TestPixelShaderSlot] = {quelt::TestPixelShaderSlot, true, LightDefines(1, 2, 1, 1)};
  pixelUsed[quelt::TestPixelShaderSlot] = true;

  std::vector<ShaderVariant> all;
  for (int32_t i = 0; i < VertexShaderSlotCount; ++i)
    if (vertexUsed[i]) all.push_back(std::move(vertex[i]));
  for (int32_t i = 0; i < PixelShaderSlotCount; ++i)
    if (pixelUsed[i]) all.push_back(std::move(pixel[i]));
  return all;
}

std::vector<uint8_t> LayOutShaderPack(const std::vector<std::vector<uint8_t>>& vertexCode,
                                      const std::vector<std::vector<uint8_t>>& pixelCode) {
  std::vector<uint8_t> pack(quelt::ShaderPackCodeOffset, 0);
  auto put = [&](const std::vector<std::vector<uint8_t>>& codes, size_t count, size_t tableAt) {
    for (size_t i = 0; i < count && i < codes.size(); ++i) {
      const size_t size = codes[i].size();
      if (size > 0xFFFF) return false;
      pack[tableAt + i * 2] = static_cast<uint8_t>(size);
      pack[tableAt + i * 2 + 1] = static_cast<uint8_t>(size >> 8);
    }
    return true;
  };
  if (!put(vertexCode, VertexShaderSlotCount, 0) ||
      !put(pixelCode, PixelShaderSlotCount, VertexShaderSlotCount * 2))
    return {};
  for (size_t i = 0; i < vertexCode.size() && i < static_cast<size_t>(VertexShaderSlotCount); ++i)
    pack.insert(pack.end(), vertexCode[i].begin(), vertexCode[i].end());
  for (size_t i = 0; i < pixelCode.size() && i < static_cast<size_t>(PixelShaderSlotCount); ++i)
    pack.insert(pack.end(), pixelCode[i].begin(), pixelCode[i].end());
  return pack;
}

bool BuildShaderPack(const std::string& vertexText, const std::string& pixelText, std::vector<uint8_t>* pack,
                     std::string* error) {
  std::vector<std::vector<uint8_t>> vertexCode(VertexShaderSlotCount), pixelCode(PixelShaderSlotCount);
  for (const ShaderVariant& v : ShaderPackVariants()) {
    std::vector<uint32_t> tokens;
    std::string why;
    if (!AssembleShader(v.pixel ? pixelText : vertexText, v.defines, &tokens, &why)) {
      if (error) *error = std::string(v.pixel ? "pixel" : "vertex") + " slot " + std::to_string(v.slot) + ": " + why;
      return false;
    }
    (v.pixel ? pixelCode : vertexCode)[static_cast<size_t>(v.slot)] = TokenBytes(tokens);
  }
  *pack = LayOutShaderPack(vertexCode, pixelCode);
  if (pack->empty()) {
    if (error) *error = "a shader is too large for the size table";
    return false;
  }
  return true;
}

bool BuildShaderPackImage(const std::vector<uint8_t>& pack, std::vector<uint8_t>* image, std::string* error) {
  PackEntry root;
  root.directory = true;
  PackEntry file;
  file.name = quelt::ShaderPackFileName;
  file.data = pack;
  root.children.push_back(std::move(file));
  PackOptions options;  // version 3, compressed, the primary key with no key string
  const std::vector<uint8_t> archive = WriteArchive(root, options, error);
  if (archive.empty()) return false;
  *image = EncodeLzBlock(archive.data(), archive.size());
  return !image->empty();
}

}  // namespace quelt_tools
