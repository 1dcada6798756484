// Frame fetch: the current frame's picture out of the stock, into the YUV surface and the
// 32-bit frame image.
#include "movie/theora_decoder.h"
#include "movie/theora_platform.h"
#include "movie/theora_stock.h"
#include "movie/yuv_layouts.h"

namespace quelt {

namespace {

constexpr int32_t SurfaceLockAttempts = 3;

YuvPlanes PlanesOf(const TheoraStockEntry& e) {
  return {e.y, e.u, e.v, e.yWidth, e.yHeight, e.yStride, e.uvWidth, e.uvHeight, e.uvStride};
}

// The stock entry of the current frame, claimed; null when the thread has ended, the end of
// the file came first, or it does not arrive in time.
TheoraStockEntry* WaitForCurrentEntry(TheoraDecoder* d) {
  const int32_t start = TheoraMilliseconds();
  for (;;) {
    const bool overdue = TheoraMilliseconds() - start > TheoraWaitLimitMs;
    const int32_t state = d->threadState.load(std::memory_order_acquire);
    if (state == TheoraThreadEnded) return nullptr;
    // A seek clears the stock when it is done: nothing is taken out before that.
    if (state == TheoraSeeking || d->seekRequest.load(std::memory_order_acquire) != 0) {
      if (overdue) return nullptr;
      SleepTheora(1);
      continue;
    }
    TheoraStockEntry* e = ClaimTheoraEntry(d, d->currentFrame.load(std::memory_order_relaxed));
    if (e != nullptr) return e;
    if (d->endFlag.load(std::memory_order_acquire) != 0 || overdue) return nullptr;
    SleepTheora(0);
  }
}

// A YUV surface takes 4:2:0 pictures whose chroma samples cover whole 2 x 2 blocks of the
// picture and whose chroma planes have even sizes: the device reads a YV12 surface of a
// width or height of 2 mod 4 with its chroma rows and columns misplaced. Any other picture
// goes through the frame image (the RGB road).
bool SurfaceCarriesPicture(const TheoraDecoder* d) {
  const bool even = ((d->pictureX | d->pictureY) & 1) == 0;
  const bool evenChroma = ((d->pictureWidth | d->pictureHeight) & 3) == 0;
  return d->info.pixelformat == OC_PF_420 && even && evenChroma;
}

void FillSurface(TheoraDecoder* d, const TheoraStockEntry& e) {
  for (int32_t attempt = 0; attempt < SurfaceLockAttempts && d->yuvSurface != nullptr; ++attempt) {
    uint8_t* bits = nullptr;
    int32_t pitch = 0;
    if (TheoraSurface.lock(d->yuvSurface, &bits, &pitch) != 0) {
      CreateTheoraYv12Surface(d);
      continue;
    }
    // The surface has the picture's size: a decoded plane of any other size is not written.
    YuvPlanes planes = PlanesOf(e);
    if (planes.yWidth == d->pictureWidth && planes.yHeight == d->pictureHeight) {
      WriteYuvSurface(planes, d->fourCC, bits, pitch);
    }
    TheoraSurface.unlock(d->yuvSurface);
    d->surfaceReady = 1;
    return;
  }
}

}  // namespace

int FetchTheoraFrame(TheoraDecoder* d, int32_t rgb, int32_t surface) {
  const bool wantSurface = surface != 0 && d->surfaceReady == 0 && d->yuvSurface != nullptr;
  const bool wantRgb = rgb != 0 && d->frameImageReady == 0;
  if (!wantSurface && !wantRgb) return 0;
  TheoraStockEntry* e = WaitForCurrentEntry(d);
  if (e == nullptr) return 0;
  if (wantSurface) FillSurface(d, *e);
  if (wantRgb) {
    ConvertYuvToXrgb(PlanesOf(*e), d->frameImage.pixels, d->frameImage.pitch, d->frameImage.width,
                     d->frameImage.height);
    d->frameImageReady = 1;
  }
  ReleaseTheoraEntry(d);
  return 1;
}

void CreateTheoraYv12Surface(TheoraDecoder* d) {
  if (d->yuvSurface != nullptr) TheoraSurface.release(d->yuvSurface);
  d->yuvSurface = nullptr;
  d->fourCC = 0;
  if (TheoraSurfaceWanted == nullptr || TheoraSurfaceWanted() == 0 || !SurfaceCarriesPicture(d)) return;
  for (const uint32_t fourCC : {FourCCYv12, FourCCYuy2, FourCCUyvy}) {
    d->fourCC = fourCC;
    d->yuvSurface = TheoraSurface.create(d->pictureWidth, d->pictureHeight, fourCC);
    if (d->yuvSurface != nullptr) return;
  }
  d->fourCC = 0;
}

int ReleaseTheoraDeviceObjects(TheoraDecoder* d) {
  if (d->yuvSurface != nullptr) TheoraSurface.release(d->yuvSurface);
  d->yuvSurface = nullptr;
  d->fourCC = 0;
  d->surfaceReady = 0;
  return 0;
}

int RestoreTheoraDeviceObjects(TheoraDecoder* d) {
  CreateTheoraYv12Surface(d);
  d->surfaceReady = 0;
  return 0;
}

}  // namespace quelt
