#pragma once
// Masked drawing: 512 mask handles, the mask screen (a byte map, and on the software path
// a copy of the draw target) and the hooks every drawing front end calls before and after
// its work. Nothing in this program creates a mask or asks for the mask screen, so the
// hooks normally return at once.
#include <array>
#include <cstdint>

#include "core/engine_handle.h"
#include "softrender/memimg.h"

namespace quelt {

inline constexpr int32_t MaskCapacity = 512;

struct MaskRecord {
  int32_t checkId;
  void* buffer;  // owned
  int32_t words[3];
  int32_t inUse;
  int32_t extra;
};

using MaskTable =
    InlineHandleTable<MaskRecord, MaskCapacity, HandleKind::Mask, &MaskRecord::inUse, &MaskRecord::checkId>;

struct MaskStateRecord {
  MaskTable masks;
  uint8_t* map;  // a byte per screen pixel
  int32_t mapPitch, mapWidth, mapHeight;
  int32_t MaskWanted;
  MEMIMG memImg;
  int32_t memImgExists;
  int32_t textureWidth, textureHeight;
  void* imageTexture;
  void* screenTexture;
  void* screenSurface;
  void* savedTarget;
  int32_t reverse;
};
extern MaskStateRecord MaskState;

int DeleteMask(int32_t handle);
int DeleteAllMasks();
int CreateMaskScreen(int32_t wanted);
int ReleaseMaskScreen();
// Only the Direct3D textures of the mask screen (a device reset); the byte map stays.
int ReleaseMaskDeviceSurfaces();
int RestoreMaskScreen();
int EndMasks();
int SetMaskDrawFlag(int32_t flag);
int GetMaskDrawFlag();
int MaskPreDraw(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int MaskPostDraw(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

}  // namespace quelt
