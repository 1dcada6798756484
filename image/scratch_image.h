#pragma once
// Soft images: ScratchImageHandles of kind 14, each owning a RasterImage. The engine keeps
// their table and deletes them; no engine operation creates one.
#include <cstdint>

#include "core/engine_handle.h"
#include "image/raster_image.h"

namespace quelt {

struct ScratchImage {
  RasterImage image;
  int32_t checkId;
};

inline constexpr int32_t kScratchImageCapacity = 8192;
using ScratchImageTableType = HandleTable<ScratchImage, kScratchImageCapacity, HandleKind::ScratchImage,
                                          SlotChoice::HighWater, &ScratchImage::checkId>;
extern ScratchImageTableType ScratchImageTable;

// Frees the record's image and the record: 0, or -1 for an invalid handle.
int DeleteScratchImage(EngineHandle handle);
// Deletes every live record (shutdown). 0.
int DeleteAllScratchImages();

}  // namespace quelt
