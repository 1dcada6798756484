// The Theora player's thread, sleeping and YUV surface over KERNEL32 and Direct3D 9.
#include <windows.h>
#include <d3d9.h>

#include "graphics/device_state.h"
#include "graphics/screen_mode.h"
#include "movie/theora_decoder.h"
#include "movie/theora_platform.h"

namespace quelt {

namespace {

DWORD WINAPI RunDecodeThread(void* parameter) {
  TheoraDecodeThread(static_cast<TheoraDecoder*>(parameter));
  return 0;
}

void* CreateSurface(int32_t width, int32_t height, uint32_t fourCC) {
  auto* device = static_cast<IDirect3DDevice9*>(GraphicsDevice.device);
  if (device == nullptr) return nullptr;
  IDirect3DSurface9* surface = nullptr;
  if (FAILED(device->CreateOffscreenPlainSurface(static_cast<UINT>(width), static_cast<UINT>(height),
                                                 static_cast<D3DFORMAT>(fourCC), D3DPOOL_DEFAULT, &surface,
                                                 nullptr))) {
    return nullptr;
  }
  return surface;
}

void ReleaseSurface(void* surface) { static_cast<IDirect3DSurface9*>(surface)->Release(); }

int LockSurface(void* surface, uint8_t** bits, int32_t* pitch) {
  D3DLOCKED_RECT locked{};
  if (FAILED(static_cast<IDirect3DSurface9*>(surface)->LockRect(&locked, nullptr, 0))) return -1;
  *bits = static_cast<uint8_t*>(locked.pBits);
  *pitch = locked.Pitch;
  return 0;
}

void UnlockSurface(void* surface) { static_cast<IDirect3DSurface9*>(surface)->UnlockRect(); }

int32_t DeviceInUse() { return ScreenState.hardware == 1 && GraphicsDevice.device != nullptr ? 1 : 0; }

}  // namespace

TheoraSurfaceOps TheoraSurface = {CreateSurface, ReleaseSurface, LockSurface, UnlockSurface};
int32_t (*TheoraSurfaceWanted)() = DeviceInUse;

int StartTheoraThread(TheoraDecoder* decoder, void** handle, uint32_t* id) {
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, RunDecodeThread, decoder, 0, &threadId);
  if (thread == nullptr) return -1;
  *handle = thread;
  *id = threadId;
  return 0;
}

int WaitTheoraThread(void* handle, int32_t ms) {
  return WaitForSingleObject(static_cast<HANDLE>(handle), static_cast<DWORD>(ms)) == WAIT_OBJECT_0 ? 0 : -1;
}

void CloseTheoraThread(void* handle) { CloseHandle(static_cast<HANDLE>(handle)); }

void SleepTheora(int32_t ms) { Sleep(static_cast<DWORD>(ms)); }

}  // namespace quelt
