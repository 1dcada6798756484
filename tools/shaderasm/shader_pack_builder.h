#pragma once
// Fills the engine's shader pack: assembles the shader texts for every slot the index
// scheme can produce (and the two test slots), lays out QlShaderPack.bin and packs it into
// the LZ-compressed archive image the program embeds.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/shaderasm/shader_assembler.h"

namespace quelt_tools {

struct ShaderVariant {
  int32_t slot;
  bool pixel;
  std::vector<ShaderDefine> defines;
};

// Every filled slot with the defines its code is assembled with, vertex slots first, each
// kind in slot order.
std::vector<ShaderVariant> ShaderPackVariants();

// The pack's bytes from one code block per slot (empty: no shader in that slot). Empty
// when a code block does not fit the 16-bit size table.
std::vector<uint8_t> LayOutShaderPack(const std::vector<std::vector<uint8_t>>& vertexCode,
                                      const std::vector<std::vector<uint8_t>>& pixelCode);

// Assembles every variant of the two texts and lays out the pack.
bool BuildShaderPack(const std::string& vertexText, const std::string& pixelText, std::vector<uint8_t>* pack,
                     std::string* error);

// An archive holding the pack as its one file (LZ-compressed), the whole archive then
// coded as one LZ block: the image the engine embeds.
bool BuildShaderPackImage(const std::vector<uint8_t>& pack, std::vector<uint8_t>* image, std::string* error);

}  // namespace quelt_tools
