#pragma once
// The shader pack: the embedded archive image is decoded, QlShaderPack.bin found in it and
// decoded, and its size table turned into a code pointer per shader slot. Loaded on demand
// by SetupShaders; kept until graphics shut down.
#include <array>
#include <cstdint>

#include "file/archive.h"
#include "graphics/shader_indices.h"

namespace quelt {

struct ShaderPackRecord {
  Archive archive;               // over `archiveImage`, open while `archiveOpen`
  int32_t archiveOpen;
  uint8_t* archiveImage;         // the decoded archive image
  uint32_t archiveImageSize;
  uint8_t* pack;                 // the decoded QlShaderPack.bin
  uint32_t packSize;
  std::array<const uint8_t*, VertexShaderSlotCount> vertexCode;  // null: no shader
  std::array<const uint8_t*, PixelShaderSlotCount> pixelCode;
};
extern ShaderPackRecord ShaderPack;

// Where LoadShaderPack reads the image from: the embedded one unless a test sets another.
struct ShaderPackImageSource {
  const uint8_t* image;
  uint32_t size;
};
extern ShaderPackImageSource ShaderPackSource;

// 1 when the pack is (already) loaded, 0 otherwise (nothing kept).
int LoadShaderPack();
// Closes the archive and frees both decoded blocks; the next LoadShaderPack loads again.
void FreeShaderPack();
// Checks the size table of a decoded pack against its size (the code must fill exactly
// the bytes after the table) and places a code pointer per present slot. False for a pack
// that is too short or whose sizes do not add up; the tables are then all null.
bool IndexShaderPack(const uint8_t* pack, uint32_t size, std::array<const uint8_t*, VertexShaderSlotCount>* vertexCode,
                     std::array<const uint8_t*, PixelShaderSlotCount>* pixelCode);
// A slot's code size from the pack's table (0 = absent or no pack).
uint32_t ShaderCodeSize(int32_t pixel, int32_t slot);

}  // namespace quelt
