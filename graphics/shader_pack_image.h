#pragma once
// The shader pack embedded in the program: an archive image holding QlShaderPack.bin, coded
// as one LZ block. Made at build time by tools/shaderasm from graphics/shaders.
#include <cstdint>

namespace quelt {

extern const uint8_t EmbeddedShaderPackImage[];
extern const uint32_t EmbeddedShaderPackImageSize;

}  // namespace quelt
