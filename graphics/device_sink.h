#pragma once
// The device calls the state cache, the vertex batch and the draw-screen code make, as a
// table of functions over an opaque device. The Windows build forwards them to an
// IDirect3DDevice9; tests install a recording table. Results are HRESULT-like: 0 or above
// success, negative failure.
#include <cstdint>

#include "graphics/math3d.h"
#include "softrender/clip_rect.h"

namespace quelt {

// Layouts of D3DVIEWPORT9, D3DCOLORVALUE, D3DLIGHT9 and D3DMATERIAL9 (checked against
// <d3d9types.h> in the Windows build).
struct DeviceViewport {
  uint32_t x, y, width, height;
  float minZ, maxZ;
};
static_assert(sizeof(DeviceViewport) == 24);

struct DeviceColour {
  float r, g, b, a;
};

struct DeviceLight {
  uint32_t type;  // 1 point, 2 spot, 3 directional
  DeviceColour diffuse, specular, ambient;
  Vector3 position, direction;
  float range, falloff, attenuation0, attenuation1, attenuation2, theta, phi;
};
static_assert(sizeof(DeviceLight) == 104);

struct DeviceMaterial {
  DeviceColour diffuse, ambient, specular, emissive;
  float power;
};
static_assert(sizeof(DeviceMaterial) == 68);

struct DeviceSink {
  int32_t (*setRenderState)(void* device, uint32_t state, uint32_t value);
  int32_t (*setSamplerState)(void* device, uint32_t stage, uint32_t type, uint32_t value);
  int32_t (*setTextureStageState)(void* device, uint32_t stage, uint32_t type, uint32_t value);
  int32_t (*setTexture)(void* device, uint32_t stage, void* texture);
  int32_t (*setTransform)(void* device, uint32_t type, const Matrix4* matrix);
  int32_t (*setViewport)(void* device, const DeviceViewport* viewport);
  int32_t (*setScissorRect)(void* device, const IntRect* rect);
  int32_t (*setRenderTarget)(void* device, void* surface);
  int32_t (*setFvf)(void* device, uint32_t fvf);
  int32_t (*drawPrimitiveUp)(void* device, uint32_t type, uint32_t count, const void* vertices,
                             uint32_t stride);
  // 16-bit indices into `vertexCount` vertices.
  int32_t (*drawIndexedPrimitiveUp)(void* device, uint32_t type, uint32_t vertexCount,
                                    uint32_t primitiveCount, const uint16_t* indices,
                                    const void* vertices, uint32_t stride);
  int32_t (*beginScene)(void* device);
  int32_t (*endScene)(void* device);
  int32_t (*setLight)(void* device, uint32_t index, const DeviceLight* light);
  int32_t (*lightEnable)(void* device, uint32_t index, int32_t on);
  int32_t (*setMaterial)(void* device, const DeviceMaterial* material);
  int32_t (*unsetShaders)(void* device);
  // Fills a rectangle of the surface (null: all of it) with an ARGB colour.
  int32_t (*colourFill)(void* device, void* surface, const IntRect* rect, uint32_t argb);
  // Clears the bound depth surface to 1.0.
  int32_t (*clearDepth)(void* device);
  // Width and height of a surface.
  int32_t (*surfaceSize)(void* surface, int32_t* width, int32_t* height);
};

}  // namespace quelt
