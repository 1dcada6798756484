// The 3-D model tables' vertex and index buffers on Direct3D 9.
#include <windows.h>
#include <d3d9.h>

#include "graphics/graphics_start.h"
#include "graphics/model_table.h"
#include "graphics/shader_state.h"

namespace quelt {

namespace {

int32_t CreateVertexBuffer(uint32_t length, uint32_t fvf, void** buffer) {
  *buffer = CreateDeviceVertexBuffer(length, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED);
  return *buffer != nullptr ? 0 : -1;
}

int32_t CreateIndexBuffer(uint32_t length, void** buffer) {
  *buffer = CreateDeviceIndexBuffer(length, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED);
  return *buffer != nullptr ? 0 : -1;
}

int32_t LockVertexBuffer(void* buffer, void** bits) {
  return FAILED(static_cast<IDirect3DVertexBuffer9*>(buffer)->Lock(0, 0, bits, 0)) ? -1 : 0;
}

int32_t UnlockVertexBuffer(void* buffer) {
  return FAILED(static_cast<IDirect3DVertexBuffer9*>(buffer)->Unlock()) ? -1 : 0;
}

int32_t LockIndexBuffer(void* buffer, void** bits) {
  return FAILED(static_cast<IDirect3DIndexBuffer9*>(buffer)->Lock(0, 0, bits, 0)) ? -1 : 0;
}

int32_t UnlockIndexBuffer(void* buffer) {
  return FAILED(static_cast<IDirect3DIndexBuffer9*>(buffer)->Unlock()) ? -1 : 0;
}

int32_t ReleaseObject(void* object) {
  if (object != nullptr) static_cast<IUnknown*>(object)->Release();
  return 0;
}

int32_t ShadersInUseNow() { return ShadersInUse() ? 1 : 0; }

constexpr ModelBufferOps Direct3DModelBufferOps{CreateVertexBuffer, CreateIndexBuffer, LockVertexBuffer,
                                                UnlockVertexBuffer, LockIndexBuffer,    UnlockIndexBuffer,
                                                ReleaseObject,      ShadersInUseNow};

}  // namespace

const ModelBufferOps* PlatformModelBufferOps = &Direct3DModelBufferOps;

}  // namespace quelt
