// Surface mode 1: the movie's sample surface shown as a DirectDraw overlay over the window.
#include <windows.h>

#include <ddraw.h>

#include <cstring>

#include "core/core_state.h"
#include "core/window_services.h"
#include "graphics/screen_mode.h"
#include "movie/movie_dshow.h"
#include "movie/movie_table.h"
#include "softrender/clip_rect.h"

namespace quelt {

namespace {

static_assert(sizeof(DDCAPS) == DirectDrawCapsSize);

MovieRect ToMovieRect(const IntRect& r) { return MovieRect{r.x1, r.y1, r.x2, r.y2}; }
RECT ToRect(const MovieRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

bool SameRect(const MovieRect& a, const MovieRect& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ShowOverlay(MovieRecord* record, const MovieRect* source, const MovieRect* dest, int32_t show) {
  auto* surface = static_cast<IDirectDrawSurface7*>(record->ds.surface7);
  if (surface == nullptr) return;
  auto* primary = static_cast<IDirectDrawSurface7*>(GetPrimarySurface());
  if (show == 0) {
    surface->UpdateOverlay(nullptr, primary, nullptr, DDOVER_HIDE, nullptr);
    return;
  }
  RECT s = ToRect(*source);
  RECT d = ToRect(*dest);
  surface->UpdateOverlay(&s, primary, &d, DDOVER_SHOW, nullptr);
}

}  // namespace

int DrawMovieOverlay(int32_t x, int32_t y, int32_t scale, EngineHandle movie, int32_t show) {
  MovieRecord* record = GetMovieRecord(movie);
  if (record == nullptr) return -1;
  if (record->surfaceMode != 1 || record->frameUpdated == 0) return 0;
  const int32_t width = record->width;
  const int32_t height = record->height;
  MovieRect source{0, 0, width, height};
  IntRect clip{x, y, x + scale * width, y + scale * height};
  const IntRect unclipped = clip;

  if (WindowModeFlag != 0) {
    HWND window = static_cast<HWND>(MainWindowHandle);
    HDC dc = GetDC(window);
    RECT box{};
    const int kind = dc != nullptr ? GetClipBox(dc, &box) : ERROR;
    if (dc != nullptr) ReleaseDC(window, dc);
    if (kind == SIMPLEREGION) {
      ClipRectangle(clip, IntRect{box.left, box.top, box.right, box.bottom});
    } else {
      show = 0;
    }
  }
  ScreenRect client{};
  ReadClientScreenRect(&client);
  const int32_t dx = client.left;
  const int32_t dy = client.top;
  IntRect moved{unclipped.x1 + dx, unclipped.y1 + dy, unclipped.x2 + dx, unclipped.y2 + dy};
  clip = IntRect{clip.x1 + dx, clip.y1 + dy, clip.x2 + dx, clip.y2 + dy};
  ClipRectangle(clip, IntRect{client.left, client.top, client.right, client.bottom});
  if (clip.x1 == clip.x2 || clip.y1 == clip.y2) show = 0;

  const int32_t s = scale > 0 ? scale : 1;
  source.left += (clip.x1 - moved.x1) / s;
  source.top += (clip.y1 - moved.y1) / s;
  source.right -= (moved.x2 - clip.x2) / s;
  source.bottom -= (moved.y2 - clip.y2) / s;
  MovieRect dest = ToMovieRect(clip);

  alignas(8) uint8_t capsBlock[DirectDrawCapsSize];
  const auto* caps = static_cast<const DDCAPS*>(GetDirectDrawCaps(capsBlock));
  uint32_t sourceWidth = static_cast<uint32_t>(source.right - source.left);
  uint32_t destWidth = static_cast<uint32_t>(scale * width);
  if ((caps->dwCaps & DDCAPS_ALIGNBOUNDARYSRC) && caps->dwAlignBoundarySrc != 0) {
    const uint32_t cut = static_cast<uint32_t>(source.left) % caps->dwAlignBoundarySrc;
    source.left -= static_cast<int32_t>(cut);
    sourceWidth -= cut;
  }
  if ((caps->dwCaps & DDCAPS_ALIGNSIZESRC) && caps->dwAlignSizeSrc != 0)
    source.right -= static_cast<int32_t>(sourceWidth % caps->dwAlignSizeSrc);
  if ((caps->dwCaps & DDCAPS_ALIGNBOUNDARYDEST) && caps->dwAlignBoundaryDest != 0) {
    const uint32_t cut = static_cast<uint32_t>(dest.left) % caps->dwAlignBoundaryDest;
    dest.left -= static_cast<int32_t>(cut);
    destWidth -= cut;
  }
  if ((caps->dwCaps & DDCAPS_ALIGNSIZEDEST) && caps->dwAlignSizeDest != 0) {
    const uint32_t cut = destWidth % caps->dwAlignSizeDest;
    dest.right -= static_cast<int32_t>(cut);
    destWidth -= cut;
  }

  if (static_cast<int32_t>(destWidth) <= 0 || show == 0) {
    ShowOverlay(record, nullptr, nullptr, 0);
    source = dest = MovieRect{};
    show = 0;
  } else if (show != record->overlayShown || !SameRect(source, record->overlaySource) ||
             !SameRect(dest, record->overlayDest)) {
    ShowOverlay(record, &source, &dest, show);
  }
  record->overlayX = x;
  record->overlayY = y;
  record->overlayScale = scale;
  record->overlayShown = show;
  record->overlaySource = source;
  record->overlayDest = dest;
  return 0;
}

int RedrawMovieOverlay(MovieRecord* record) {
  if (record->surfaceMode != 1) return 0;
  for (int32_t slot = 0; slot < MovieCapacity; ++slot) {
    if (MovieTable.records[static_cast<size_t>(slot)] == record)
      return DrawMovieOverlay(record->overlayX, record->overlayY, record->overlayScale,
                              MovieTable.HandleOfSlot(slot), record->overlayShown);
  }
  return 0;
}

}  // namespace quelt
