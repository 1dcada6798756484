#pragma once
// Original images: the pixels of a graph and its sub graphs, as Direct3D textures cut into
// power-of-two pieces or as one MEMIMG; the draw information of each graph over them; the
// release and re-creation of all textures around a device reset.
#include <cstdint>

#include "graphics/graph_record.h"

namespace quelt {

// mipCount -1 = take MipLevelSetting. 0, or -1 after deleting the graph.
int CreateOriginalImage(int32_t handle, int32_t width, int32_t height, int32_t alpha,
                        int32_t palette, int32_t dxtKind, int32_t mipCount);
int CreateOriginalImageTextures(OriginalImage* image);
int ReleaseOriginalImageTextures(OriginalImage* image);
int ReleaseGraphImageExtras(OriginalImage* image);
int ReleaseAllGraphTextures();
int RecreateAllGraphTextures();
// Rebuilds the draw information of a graph; the record may move (fetch it again).
int BuildGraphDrawInfo(int32_t handle);
// Frees an image whose last graph has gone (textures, memory images, the block).
void FreeOriginalImage(OriginalImage* image);
// Draws the pending vertices when they read one of the image's textures: called before its
// pixels change, so draws queued earlier show the old pixels.
void FlushDrawsOfImage(const OriginalImage* image);

// The mip level count of an image of that size for a setting (-1 full chain, 0 one).
int32_t MipLevelsForSetting(int32_t setting, int32_t width, int32_t height);

}  // namespace quelt
