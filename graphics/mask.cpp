#include "graphics/mask.h"

#include <cstddef>
#include <cstring>

#include "core/engine_handle.h"
#include "core/fatal_exit.h"
#include "core/tracked_alloc.h"
#include "graphics/d3d_draw.h"
#include "graphics/d3d_values.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_table.h"
#include "graphics/original_image_device.h"
#include "graphics/screen_mode.h"
#include "graphics/texture_split.h"
#include "image/color_format.h"

namespace quelt {

MaskStateRecord MaskState{};

namespace {


bool OnDirect3D() { return ScreenState.hardware != 0; }

// The MEMIMG drawing lands in without masks: the draw-screen graph's own view (a sub
// graph's part of its image, as the draw screen selection uses it), or the screen's.
MEMIMG* RealTargetMemImg() {
  GraphRecord* g = DrawSettings.drawScreen >= 0 ? GetGraphRecord(DrawSettings.drawScreen) : nullptr;
  return g != nullptr && g->image != nullptr && g->image->softwareImage ? &g->memImg : &ScreenMemImg;
}

void* RealTargetSurface() {
  const GraphRecord* g = DrawSettings.drawScreen >= 0 ? GetGraphRecord(DrawSettings.drawScreen) : nullptr;
  if (g != nullptr && g->image != nullptr && g->image->targetSurface != nullptr)
    return g->image->targetSurface;
  return GraphicsDevice.subBackBuffer != nullptr ? GraphicsDevice.subBackBuffer : GraphicsDevice.backBuffer;
}

int32_t PixelBytes(const MEMIMG& img) { return img.base != nullptr ? MemImgBytesPerPixel(*img.base) : 0; }

int32_t Pitch(const MEMIMG& img) { return img.base->pitch; }

// The rectangle inside the draw area and inside the mask map: pixels outside the map have
// no mask byte, and the mask screen is no larger than the map.
bool ClipToMaskArea(IntRect& rect) {
  ClipRectangle(rect, DrawSettings.ClipRect);
  ClipRectangle(rect, IntRect{0, 0, MaskState.mapWidth, MaskState.mapHeight});
  // On Direct3D the rectangle also lies at the target origin inside the mask textures.
  if (OnDirect3D()) {
    const int32_t x = DeviceStateCache.targetOriginX, y = DeviceStateCache.targetOriginY;
    ClipRectangle(rect, IntRect{-x, -y, MaskState.textureWidth - x, MaskState.textureHeight - y});
  }
  return rect.x1 < rect.x2 && rect.y1 < rect.y2;
}

// A draw-screen rectangle where it lies on the render target (a sub graph's place in its
// parent's surface).
IntRect OnTarget(const IntRect& rect) {
  const int32_t x = DeviceStateCache.targetOriginX, y = DeviceStateCache.targetOriginY;
  return {rect.x1 + x, rect.y1 + y, rect.x2 + x, rect.y2 + y};
}

bool FitsMemImg(const IntRect& rect, const MEMIMG& img) { return rect.x2 <= img.width && rect.y2 <= img.height; }

// The mask map's rectangle into the mask image texture, which the combining stage reads:
// a protected pixel (non-zero byte) gets full alpha, an open one none, so both back ends
// make the same two-way choice. The texture holds it where the drawing lies on the target.
void UploadMaskMap(const IntRect& rect) {
  const TextureDeviceOps* ops = CurrentTextureOps();
  const ColorFormat* format = ColorFormatForD3DFormat(DeviceFormatTable[FormatAlphaTestScreen]);
  if (ops == nullptr || MaskState.imageTexture == nullptr || format == nullptr || format->alphaMask == 0) return;
  const int32_t bytes = format->bitDepth / 8;
  const uint32_t opaque = format->alphaMask;
  const IntRect at = OnTarget(rect);
  const PixelRect area{at.x1, at.y1, at.x2, at.y2};
  LockedArea locked{};
  if (ops->lockTexture(MaskState.imageTexture, 0, &area, 0, &locked) < 0 || locked.bits == nullptr) return;
  for (int32_t y = rect.y1; y < rect.y2; ++y) {
    const uint8_t* mapRow = MaskState.map + static_cast<ptrdiff_t>(y) * MaskState.mapPitch;
    uint8_t* row = locked.bits + static_cast<ptrdiff_t>(y - rect.y1) * locked.pitch;
    for (int32_t x = rect.x1; x < rect.x2; ++x) {
      const uint32_t value = mapRow[x] != 0 ? opaque : 0;
      std::memcpy(row + (x - rect.x1) * bytes, &value, static_cast<size_t>(bytes));
    }
  }
  ops->unlockTexture(MaskState.imageTexture, 0);
}

int32_t NextPowerOfTwo(int32_t v) {
  int32_t p = 1;
  while (p < v) p <<= 1;
  return p;
}

// The drawing on the mask screen goes back onto the real target weighted by the mask image:
// where the mask is 0 the new drawing shows (the software path's rule), elsewhere the
// target keeps what it had.
int CombineMaskScreenD3D(const IntRect& rect) {
  if (!HasDevice() || MaskState.savedTarget == nullptr || MaskState.screenTexture == nullptr) return 0;
  FlushVertexBatch();
  UploadMaskMap(rect);
  // The viewport the drawing had: a part draw narrows the draw area only for its own call,
  // so the next draw must not inherit that narrower area from here.
  const DeviceViewport drawViewport = DeviceStateCache.viewport;
  SetRenderTargetSurface(MaskState.savedTarget);
  const IntRect& clip = DrawSettings.ClipRect;
  ForceStateReapply = 1;
  SetViewportRect(clip.x1, clip.y1, clip.x2, clip.y2);
  ForceStateReapply = 0;
  DrawModeBlock block{};
  block.states = DeviceStateCache.applied.states;
  block.states[DmAlphaTestEnable] = 0;
  block.states[DmAlphaBlendEnable] = 1;
  block.states[DmSrcBlend] = d3d::BlendSrcAlpha;
  block.states[DmDestBlend] = d3d::BlendInvSrcAlpha;
  block.states[DmBlendOp] = d3d::BlendOpAdd;
  block.stageCount = 2;
  block.stages[0] = {MaskState.screenTexture, 0,
                     {d3d::TaTexture, d3d::TaCurrent, d3d::TopSelectArg1, d3d::TaTexture, d3d::TaCurrent,
                      d3d::TopSelectArg1}};
  const uint16_t maskAlpha = static_cast<uint16_t>(MaskState.reverse ? d3d::TaTexture : (d3d::TaTexture | d3d::TaComplement));
  block.stages[1] = {MaskState.imageTexture, 0,
                     {d3d::TaCurrent, maskAlpha, d3d::TopSelectArg2, d3d::TaCurrent, d3d::TaTexture,
                      d3d::TopSelectArg1}};
  DrawWithStageSetup(&block, 0, 0);
  const float tw = static_cast<float>(MaskState.textureWidth), th = static_cast<float>(MaskState.textureHeight);
  auto corner = [&](int32_t x, int32_t y) {
    return TexVertex2D{static_cast<float>(x) - 0.5f, static_cast<float>(y) - 0.5f, 0.0f, 1.0f, 0xFFFFFFFF,
                       static_cast<float>(x) / tw, static_cast<float>(y) / th};
  };
  const IntRect at = OnTarget(rect);
  const TexVertex2D strip[4] = {corner(at.x1, at.y1), corner(at.x2, at.y1), corner(at.x1, at.y2),
                                corner(at.x2, at.y2)};
  ActiveDeviceSink->setFvf(GraphicsDevice.device, VertexFormats[1].fvf);
  DeviceStateCache.fvf = VertexFormats[1].fvf;
  ActiveDeviceSink->drawPrimitiveUp(GraphicsDevice.device, d3d::TriangleStrip, 2, strip, sizeof(TexVertex2D));
  EndSceneIfOpen();
  BeginSceneIfNeeded();
  SetUserDrawModeBlock(nullptr, 0);
  SetRenderTargetSurface(MaskState.screenSurface);
  ForceStateReapply = 1;
  SetViewport(&drawViewport);
  ForceStateReapply = 0;
  return 0;
}

}  // namespace

int DeleteMask(int32_t handle) {
  MaskRecord* r = MaskState.masks.Find(handle);
  if (r == nullptr) return -1;
  if (r->buffer != nullptr) TrackedFree(r->buffer);
  return MaskState.masks.Release(handle);
}

int DeleteAllMasks() {
  for (int32_t slot = 0; slot < MaskCapacity; ++slot) {
    if (const EngineHandle handle = MaskState.masks.HandleOfSlot(slot); handle != NoHandle) DeleteMask(handle);
  }
  return 0;
}

int CreateMaskScreen(int32_t wanted) {
  if (wanted == 0) return 0;
  MaskState.MaskWanted = wanted;
  int32_t width = 0;
  int32_t height = 0;
  QueryScreenSizeOrDefault(&width, &height);
  if (MaskState.map == nullptr) {
    MaskState.mapPitch = (width + 3) & ~3;
    MaskState.mapWidth = width;
    MaskState.mapHeight = height;
    const size_t bytes = static_cast<size_t>(MaskState.mapPitch) * static_cast<size_t>(height);
    MaskState.map = static_cast<uint8_t*>(TrackedAlloc(bytes, __FILE__, __LINE__));
    if (MaskState.map == nullptr) FatalExit("マスク用 MEMIMG の作成に失敗しました");
    std::memset(MaskState.map, 0, bytes);
  }
  if (!OnDirect3D()) {
    if (!IsValidMemImg(&MaskState.memImg)) {
      if (CreateScreenMemImg(&MaskState.memImg, width, height, -1) < 0)
        FatalExit("マスク用 MEMIMG の作成に失敗しました");
    }
    MaskState.memImgExists = 1;
    return 0;
  }
  if (DeviceFormatTable[14] == 0)
    FatalExit("マスク描画用カラーバッファで使用できるテクスチャフォーマットがありませんでした");
  if (DeviceFormatTable[15] == 0)
    FatalExit("マスク描画用アルファチャンネルバッファで使用できるテクスチャフォーマットがありませんでした");
  MaskState.textureWidth = NextPowerOfTwo(width);
  MaskState.textureHeight = NextPowerOfTwo(height);
  const TextureDeviceOps* ops = CurrentTextureOps();
  if (ops == nullptr) return 0;
  void* device = GraphicsDevice.device;
  if (MaskState.imageTexture == nullptr) {
    if (ops->createTexture(device, MaskState.textureWidth, MaskState.textureHeight, 1, 0, DeviceFormatTable[15], 0,
                           &MaskState.imageTexture) < 0 ||
        MaskState.imageTexture == nullptr)
      FatalExit("マスク用イメージテクスチャの作成に失敗しました");
    LockedArea area{};
    if (ops->lockTexture(MaskState.imageTexture, 0, nullptr, 0, &area) >= 0 && area.bits != nullptr) {
      for (int32_t y = 0; y < height; ++y) std::memset(area.bits + y * area.pitch, 0, static_cast<size_t>(area.pitch));
      ops->unlockTexture(MaskState.imageTexture, 0);
    }
  }
  if (MaskState.screenTexture == nullptr) {
    if (ops->createTexture(device, MaskState.textureWidth, MaskState.textureHeight, 1, 1, GraphicsDevice.screenFormat, 1,
                           &MaskState.screenTexture) < 0 ||
        MaskState.screenTexture == nullptr)
      FatalExit("マスク用スクリーンテクスチャの作成に失敗しました");
    ops->getSurfaceLevel(MaskState.screenTexture, 0, &MaskState.screenSurface);
  }
  return 0;
}

int ReleaseMaskScreen() {
  if (MaskState.map != nullptr) TrackedFree(MaskState.map);
  MaskState.map = nullptr;
  if (MaskState.memImgExists && IsValidMemImg(&MaskState.memImg)) ReleaseMemImg(&MaskState.memImg);
  MaskState.memImgExists = 0;
  return ReleaseMaskDeviceSurfaces();
}

int ReleaseMaskDeviceSurfaces() {
  const TextureDeviceOps* ops = CurrentTextureOps();
  for (void** object : {&MaskState.screenSurface, &MaskState.screenTexture, &MaskState.imageTexture}) {
    if (*object != nullptr && ops != nullptr) ops->release(*object);
    *object = nullptr;
  }
  return 0;
}

int RestoreMaskScreen() {
  CreateMaskScreen(MaskState.MaskWanted);
  if (DrawSettings.maskDrawSetting) SetMaskDrawFlag(1);
  return 0;
}

int EndMasks() {
  if (DrawSettings.maskDrawSetting && MaskState.map != nullptr) SetMaskDrawFlag(0);
  ReleaseMaskScreen();
  MaskState.MaskWanted = 0;
  DrawSettings.maskActive = 0;
  return 0;
}

int SetMaskDrawFlag(int32_t flag) {
  if (MaskState.map == nullptr) return -1;
  DrawSettings.maskDrawSetting = flag;
  DrawSettings.maskActive = flag != 0 && MaskState.MaskWanted != 0 ? 1 : 0;
  if (!OnDirect3D()) {
    DrawScreenMemImg = DrawSettings.maskActive ? &MaskState.memImg : RealTargetMemImg();
    return 0;
  }
  FlushVertexBatch();
  void* target = DrawSettings.maskActive && MaskState.screenSurface != nullptr ? MaskState.screenSurface : RealTargetSurface();
  SetRenderTargetSurface(target);
  return 0;
}

int GetMaskDrawFlag() { return DrawSettings.maskDrawSetting; }

int MaskPreDraw(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  IntRect rect{x1, y1, x2, y2};
  if (DrawSettings.maskActive == 0 || MaskState.map == nullptr || !ClipToMaskArea(rect)) return 0;
  if (OnDirect3D()) {
    MaskState.savedTarget = RealTargetSurface();
    const TextureDeviceOps* ops = CurrentTextureOps();
    if (ops == nullptr || MaskState.savedTarget == nullptr || MaskState.screenSurface == nullptr) return 0;
    FlushVertexBatch();
    const IntRect at = OnTarget(rect);
    const PixelRect area{at.x1, at.y1, at.x2, at.y2};
    ops->stretchRect(GraphicsDevice.device, MaskState.savedTarget, &area, MaskState.screenSurface, &area);
    return 0;
  }
  // The mask image keeps the pixels under the draw, so the post-draw can put back those
  // the mask map protects.
  const MEMIMG* from = RealTargetMemImg();
  MEMIMG* to = &MaskState.memImg;
  if (!IsValidMemImg(from) || !IsValidMemImg(to) || PixelBytes(*from) != PixelBytes(*to)) return 0;
  ClipRectangle(rect, IntRect{0, 0, from->width, from->height});
  if (rect.x1 >= rect.x2 || rect.y1 >= rect.y2 || !FitsMemImg(rect, *to)) return 0;
  const int32_t bpp = PixelBytes(*from);
  for (int32_t y = rect.y1; y < rect.y2; ++y)
    std::memcpy(to->pixels + y * Pitch(*to) + rect.x1 * bpp, from->pixels + y * Pitch(*from) + rect.x1 * bpp,
                static_cast<size_t>((rect.x2 - rect.x1) * bpp));
  return 0;
}

int MaskPostDraw(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  IntRect rect{x1, y1, x2, y2};
  if (DrawSettings.maskActive == 0 || MaskState.map == nullptr || !ClipToMaskArea(rect)) return 0;
  if (OnDirect3D()) return CombineMaskScreenD3D(rect);
  MEMIMG* target = RealTargetMemImg();
  const MEMIMG* saved = &MaskState.memImg;
  if (!IsValidMemImg(target) || !IsValidMemImg(saved) || PixelBytes(*target) != PixelBytes(*saved)) return 0;
  ClipRectangle(rect, IntRect{0, 0, target->width, target->height});
  if (rect.x1 >= rect.x2 || rect.y1 >= rect.y2 || !FitsMemImg(rect, *saved)) return 0;
  const int32_t bpp = PixelBytes(*target);
  MarkMemImgChanged(target);
  for (int32_t y = rect.y1; y < rect.y2; ++y) {
    const uint8_t* mapRow = MaskState.map + y * MaskState.mapPitch;
    for (int32_t x = rect.x1; x < rect.x2; ++x) {
      const bool copyBack = MaskState.reverse ? mapRow[x] != 0 : mapRow[x] == 0;
      if (!copyBack) continue;
      std::memcpy(target->pixels + y * Pitch(*target) + x * bpp, saved->pixels + y * Pitch(*saved) + x * bpp,
                  static_cast<size_t>(bpp));
    }
  }
  return 0;
}

}  // namespace quelt
