#include "graphics/shader_pack.h"

#include "core/tracked_alloc.h"
#include "file/lz_decode.h"
#include "graphics/shader_pack_image.h"

namespace quelt {

ShaderPackRecord ShaderPack{};
ShaderPackImageSource ShaderPackSource{EmbeddedShaderPackImage, EmbeddedShaderPackImageSize};

namespace {

uint32_t ReadSize(const uint8_t* table, int32_t slot) {
  return static_cast<uint32_t>(table[slot * 2]) | static_cast<uint32_t>(table[slot * 2 + 1]) << 8;
}

uint8_t* DecodeBlock(const uint8_t* block, uint32_t blockSize, uint32_t* decodedSize) {
  const int32_t size = DecodeLzBlock(block, blockSize, nullptr, 0);
  if (size <= 0) return nullptr;
  auto* out = static_cast<uint8_t*>(TrackedAlloc(size, __FILE__, __LINE__));
  if (out == nullptr) return nullptr;
  if (DecodeLzBlock(block, blockSize, out, static_cast<uint32_t>(size)) != size) {
    TrackedFree(out);
    return nullptr;
  }
  *decodedSize = static_cast<uint32_t>(size);
  return out;
}

}  // namespace

bool IndexShaderPack(const uint8_t* pack, uint32_t size, std::array<const uint8_t*, VertexShaderSlotCount>* vertexCode,
                     std::array<const uint8_t*, PixelShaderSlotCount>* pixelCode) {
  vertexCode->fill(nullptr);
  pixelCode->fill(nullptr);
  if (pack == nullptr || size < ShaderPackCodeOffset) return false;
  // The sizes must add up to the code area exactly before any pointer is handed out.
  uint64_t sum = 0;
  for (int32_t i = 0; i < VertexShaderSlotCount + PixelShaderSlotCount; ++i) sum += ReadSize(pack, i);
  if (sum != size - ShaderPackCodeOffset) return false;
  uint32_t cursor = ShaderPackCodeOffset;
  for (int32_t i = 0; i < VertexShaderSlotCount; ++i) {
    const uint32_t n = ReadSize(pack, i);
    if (n == 0) continue;
    (*vertexCode)[i] = pack + cursor;
    cursor += n;
  }
  const uint8_t* pixelTable = pack + VertexShaderSlotCount * 2;
  for (int32_t i = 0; i < PixelShaderSlotCount; ++i) {
    const uint32_t n = ReadSize(pixelTable, i);
    if (n == 0) continue;
    (*pixelCode)[i] = pack + cursor;
    cursor += n;
  }
  return true;
}

void FreeShaderPack() {
  ShaderPackRecord& p = ShaderPack;
  if (p.archiveOpen) ReleaseArchive(&p.archive);
  p.archiveOpen = 0;
  if (p.archiveImage != nullptr) TrackedFree(p.archiveImage);
  if (p.pack != nullptr) TrackedFree(p.pack);
  p.archiveImage = p.pack = nullptr;
  p.archiveImageSize = p.packSize = 0;
  p.vertexCode.fill(nullptr);
  p.pixelCode.fill(nullptr);
}

int LoadShaderPack() {
  ShaderPackRecord& p = ShaderPack;
  if (p.pack != nullptr) return 1;
  FreeShaderPack();
  const ShaderPackImageSource source = ShaderPackSource;
  if (source.image == nullptr) return 0;
  p.archiveImage = DecodeBlock(source.image, source.size, &p.archiveImageSize);
  if (p.archiveImage == nullptr) return 0;
  ResetArchiveRecord(&p.archive);
  if (OpenArchiveImage(&p.archive, p.archiveImage, p.archiveImageSize, nullptr) < 0) {
    FreeShaderPack();
    return 0;
  }
  p.archiveOpen = 1;
  const ArchiveFileEntry* entry = FindArchiveEntry(ShaderPackFileName, &p.archive);
  if (entry == nullptr || ArchiveEntryIsDirectory(entry) || entry->size == 0 || entry->size > 0x7FFFFFFFu) {
    FreeShaderPack();
    return 0;
  }
  // The table checks of the archive keep the entry's data inside the image.
  const uint8_t* data = p.archive.image + p.archive.header.dataOffset + entry->dataOffset;
  uint8_t* pack = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(entry->size), __FILE__, __LINE__));
  if (pack == nullptr) {
    FreeShaderPack();
    return 0;
  }
  p.pack = pack;
  p.packSize = entry->size;
  bool decoded;
  if (ArchiveEntryIsCompressed(p.archive, entry)) {
    decoded = DecodeArchiveEntry(p.archive, entry, data, pack) == 0;
  } else {
    for (uint32_t i = 0; i < entry->size; ++i) pack[i] = data[i];
    decoded = true;
  }
  // A pack whose size table does not match its code counts as no pack.
  if (!decoded || !IndexShaderPack(p.pack, p.packSize, &p.vertexCode, &p.pixelCode)) {
    FreeShaderPack();
    return 0;
  }
  return p.pack != nullptr ? 1 : 0;
}

uint32_t ShaderCodeSize(int32_t pixel, int32_t slot) {
  const ShaderPackRecord& p = ShaderPack;
  if (p.pack == nullptr || slot < 0) return 0;
  if (pixel) return slot < PixelShaderSlotCount ? ReadSize(p.pack + VertexShaderSlotCount * 2, slot) : 0;
  return slot < VertexShaderSlotCount ? ReadSize(p.pack, slot) : 0;
}

}  // namespace quelt
