// The texture and surface calls of original images and pixel transfers on Direct3D 9.
#include <windows.h>
#include <d3d9.h>

#include "graphics/original_image_device.h"

namespace quelt {

namespace {

IDirect3DDevice9* Device(void* device) { return static_cast<IDirect3DDevice9*>(device); }
IDirect3DTexture9* Texture(void* texture) { return static_cast<IDirect3DTexture9*>(texture); }
IDirect3DSurface9* Surface(void* surface) { return static_cast<IDirect3DSurface9*>(surface); }

RECT ToRect(const PixelRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

int32_t Result(HRESULT hr) { return FAILED(hr) ? -1 : 0; }

int32_t CreateTexture(void* device, int32_t width, int32_t height, int32_t levels, int32_t renderTarget,
                      uint32_t format, int32_t defaultPool, void** texture) {
  IDirect3DTexture9* created = nullptr;
  const HRESULT hr = Device(device)->CreateTexture(
      static_cast<UINT>(width), static_cast<UINT>(height), static_cast<UINT>(levels),
      renderTarget ? D3DUSAGE_RENDERTARGET : 0, static_cast<D3DFORMAT>(format),
      defaultPool ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED, &created, nullptr);
  *texture = SUCCEEDED(hr) ? created : nullptr;
  return Result(hr);
}

int32_t GetSurfaceLevel(void* texture, int32_t level, void** surface) {
  IDirect3DSurface9* got = nullptr;
  const HRESULT hr = Texture(texture)->GetSurfaceLevel(static_cast<UINT>(level), &got);
  *surface = SUCCEEDED(hr) ? got : nullptr;
  return Result(hr);
}

int32_t ReleaseObject(void* object) {
  if (object != nullptr) static_cast<IUnknown*>(object)->Release();
  return 0;
}

int32_t LockTexture(void* texture, int32_t level, const PixelRect* rect, int32_t discard, LockedArea* out) {
  D3DLOCKED_RECT locked{};
  RECT r{};
  if (rect != nullptr) r = ToRect(*rect);
  const HRESULT hr = Texture(texture)->LockRect(static_cast<UINT>(level), &locked, rect != nullptr ? &r : nullptr,
                                                discard ? D3DLOCK_DISCARD : 0);
  if (FAILED(hr)) return -1;
  out->bits = static_cast<uint8_t*>(locked.pBits);
  out->pitch = locked.Pitch;
  return 0;
}

int32_t UnlockTexture(void* texture, int32_t level) {
  return Result(Texture(texture)->UnlockRect(static_cast<UINT>(level)));
}

int32_t LockSurface(void* surface, const PixelRect* rect, int32_t readOnly, LockedArea* out) {
  D3DLOCKED_RECT locked{};
  RECT r{};
  if (rect != nullptr) r = ToRect(*rect);
  const HRESULT hr = Surface(surface)->LockRect(&locked, rect != nullptr ? &r : nullptr,
                                                readOnly ? D3DLOCK_READONLY : 0);
  if (FAILED(hr)) return -1;
  out->bits = static_cast<uint8_t*>(locked.pBits);
  out->pitch = locked.Pitch;
  return 0;
}

int32_t UnlockSurface(void* surface) { return Result(Surface(surface)->UnlockRect()); }

int32_t ColourFill(void* device, void* surface, const PixelRect* rect, uint32_t argb) {
  RECT r{};
  if (rect != nullptr) r = ToRect(*rect);
  return Result(Device(device)->ColorFill(Surface(surface), rect != nullptr ? &r : nullptr, argb));
}

int32_t CreateSystemSurface(void* device, int32_t width, int32_t height, uint32_t format, void** surface) {
  IDirect3DSurface9* created = nullptr;
  const HRESULT hr = Device(device)->CreateOffscreenPlainSurface(static_cast<UINT>(width), static_cast<UINT>(height),
                                                                 static_cast<D3DFORMAT>(format), D3DPOOL_SYSTEMMEM,
                                                                 &created, nullptr);
  *surface = SUCCEEDED(hr) ? created : nullptr;
  return Result(hr);
}

int32_t CreateRenderTarget(void* device, int32_t width, int32_t height, uint32_t format, void** surface) {
  IDirect3DSurface9* created = nullptr;
  const HRESULT hr = Device(device)->CreateRenderTarget(static_cast<UINT>(width), static_cast<UINT>(height),
                                                        static_cast<D3DFORMAT>(format), D3DMULTISAMPLE_NONE, 0,
                                                        FALSE, &created, nullptr);
  *surface = SUCCEEDED(hr) ? created : nullptr;
  return Result(hr);
}

int32_t UpdateSurface(void* device, void* source, const PixelRect* sourceRect, void* dest, int32_t destX,
                      int32_t destY) {
  RECT r{};
  if (sourceRect != nullptr) r = ToRect(*sourceRect);
  POINT point{destX, destY};
  return Result(Device(device)->UpdateSurface(Surface(source), sourceRect != nullptr ? &r : nullptr, Surface(dest),
                                              &point));
}

int32_t StretchRect(void* device, void* source, const PixelRect* sourceRect, void* dest, const PixelRect* destRect) {
  RECT s{};
  RECT d{};
  if (sourceRect != nullptr) s = ToRect(*sourceRect);
  if (destRect != nullptr) d = ToRect(*destRect);
  return Result(Device(device)->StretchRect(Surface(source), sourceRect != nullptr ? &s : nullptr, Surface(dest),
                                            destRect != nullptr ? &d : nullptr, D3DTEXF_NONE));
}

int32_t GetRenderTargetData(void* device, void* renderTarget, void* systemSurface) {
  return Result(Device(device)->GetRenderTargetData(Surface(renderTarget), Surface(systemSurface)));
}

uint32_t SurfaceFormat(void* surface) {
  D3DSURFACE_DESC desc{};
  if (surface == nullptr || FAILED(Surface(surface)->GetDesc(&desc))) return 0;
  return static_cast<uint32_t>(desc.Format);
}

int32_t ReadBitmap(void* bitmap, int32_t* width, int32_t* height, int32_t* pitch, uint8_t** bits) {
  BITMAP info{};
  if (GetObjectA(static_cast<HBITMAP>(bitmap), sizeof info, &info) == 0 || info.bmBits == nullptr) return -1;
  *width = info.bmWidth;
  *height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  *pitch = (info.bmWidthBytes + 3) / 4 * 4;
  *bits = static_cast<uint8_t*>(info.bmBits);
  return 0;
}

constexpr TextureDeviceOps Direct3DTextureOps{
    CreateTexture,       GetSurfaceLevel, ReleaseObject,       LockTexture,   UnlockTexture, LockSurface,
    UnlockSurface,       ColourFill,      CreateSystemSurface, CreateRenderTarget, UpdateSurface, StretchRect,
    GetRenderTargetData, SurfaceFormat,   ReadBitmap};

}  // namespace

const TextureDeviceOps* PlatformTextureOps = &Direct3DTextureOps;

}  // namespace quelt
