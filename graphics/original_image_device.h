#pragma once
// The texture and surface calls that original images and pixel transfers make, as a table
// of functions over opaque objects. The Windows build forwards them to Direct3D 9; tests
// install a table over memory. Results are HRESULT-like: 0 or above success.
#include <cstdint>

#include "image/pixel_convert.h"

namespace quelt {

struct LockedArea {
  uint8_t* bits;  // first byte of the locked rectangle
  int32_t pitch;
};

struct TextureDeviceOps {
  int32_t (*createTexture)(void* device, int32_t width, int32_t height, int32_t levels,
                           int32_t renderTarget, uint32_t format, int32_t defaultPool,
                           void** texture);
  int32_t (*getSurfaceLevel)(void* texture, int32_t level, void** surface);
  int32_t (*release)(void* object);
  // rect null = the whole level.
  int32_t (*lockTexture)(void* texture, int32_t level, const PixelRect* rect, int32_t discard,
                         LockedArea* out);
  int32_t (*unlockTexture)(void* texture, int32_t level);
  int32_t (*lockSurface)(void* surface, const PixelRect* rect, int32_t readOnly, LockedArea* out);
  int32_t (*unlockSurface)(void* surface);
  // rect null = the whole surface; ARGB colour.
  int32_t (*colourFill)(void* device, void* surface, const PixelRect* rect, uint32_t argb);
  int32_t (*createSystemSurface)(void* device, int32_t width, int32_t height, uint32_t format,
                                 void** surface);
  int32_t (*createRenderTarget)(void* device, int32_t width, int32_t height, uint32_t format,
                                void** surface);
  int32_t (*updateSurface)(void* device, void* source, const PixelRect* sourceRect,
                           void* dest, int32_t destX, int32_t destY);
  int32_t (*stretchRect)(void* device, void* source, const PixelRect* sourceRect, void* dest,
                         const PixelRect* destRect);
  int32_t (*getRenderTargetData)(void* device, void* renderTarget, void* systemSurface);
  // The D3DFORMAT of a surface, 0 when unknown.
  uint32_t (*surfaceFormat)(void* surface);
  // A GDI bitmap as bits: width, height, pitch (rounded up to 4) and the first row. -1
  // when the handle is no bitmap with bits.
  int32_t (*readBitmap)(void* bitmap, int32_t* width, int32_t* height, int32_t* pitch,
                        uint8_t** bits);
};

// The table of the platform (Direct3D 9 on Windows, null natively).
extern const TextureDeviceOps* PlatformTextureOps;
// Tests set this to run the Direct3D road over their own table; null in the product.
extern const TextureDeviceOps* TextureOpsOverride;

// The table to use while a device exists, else null.
const TextureDeviceOps* CurrentTextureOps();

}  // namespace quelt
