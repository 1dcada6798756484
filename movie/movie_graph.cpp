#include "movie/movie_graph.h"

#include <algorithm>
#include <cstring>

#include "core/engine_state.h"
#include "graphics/device_formats.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_log.h"
#include "graphics/original_image.h"
#include "graphics/original_image_device.h"
#include "graphics/pixel_transfer.h"
#include "graphics/screen_mode.h"
#include "graphics/texture_split.h"
#include "movie/movie_open.h"
#include "movie/movie_platform.h"
#include "movie/movie_table.h"
#include "softrender/memimg_draw.h"
#include "softrender/memimg_format.h"

namespace quelt {

namespace {

// The movie's current frame, fetched from a Theora decoder in the form asked for. False
// when there is nothing to copy: the form already holds the shown frame and the graph has
// it. The open converts the first frame before any graph exists, so a movie that never
// delivered one copies what that conversion left.
bool FetchMovieFrame(MovieRecord* movie, int32_t rgb, int32_t surface) {
  if (movie->theoraFlag != 1 || TheoraPlayer.fetch == nullptr) return true;
  if (TheoraPlayer.fetch(movie->decoder, rgb, surface) != 0) return true;
  return movie->frameUpdated == 0;
}

int32_t CopyMovieFrameToTextures(MovieRecord* movie, GraphRecord* record, int32_t graph) {
  void* yuv = movie->theoraFlag == 1 && TheoraPlayer.yuvSurface != nullptr ? TheoraPlayer.yuvSurface(movie->decoder)
                                                                            : nullptr;
  if (movie->theoraFlag == 1 && !FetchMovieFrame(movie, yuv == nullptr ? 1 : 0, yuv != nullptr ? 1 : 0)) return 0;
  OriginalImage* image = record->image;
  const TextureDeviceOps* ops = CurrentTextureOps();
  if (yuv != nullptr) {
    if (ops == nullptr || image->textureCount == 0) return 0;
    const TextureEntry& entry = ImageEntries(image)[0];
    const PixelRect rect{0, 0, entry.areaWidth, entry.areaHeight};
    ops->stretchRect(GraphicsDevice.device, yuv, &rect, entry.surface, &rect);
    return 0;
  }
  if (movie->currentFrameImage == nullptr || movie->currentFrameImage->pixels == nullptr) return 0;
  RasterImage frame = *movie->currentFrameImage;
  if (movie->halfWidth != 0) frame.width /= 2;
  const PixelRect source{record->x, record->y, record->x + record->width, record->y + record->height};
  TransferToTextures(graph, nullptr, nullptr, nullptr, &source, 0, 0, 0, &frame, nullptr, 0, 0, 0);
  return 0;
}

int32_t CopyMovieFrameToMemImg(MovieRecord* movie, GraphRecord* record) {
  if (movie->theoraFlag == 1 && !FetchMovieFrame(movie, 1, 0)) return 0;
  const RasterImage* frame = movie->currentFrameImage;
  if (frame == nullptr || frame->pixels == nullptr) return 0;
  MEMIMG& dest = record->memImg;
  if (movie->surfaceMode != 2 && movie->halfWidth == 0 && dest.base != nullptr &&
      frame->format.bitDepth == dest.base->format->bitDepth) {
    const size_t row = static_cast<size_t>(ScreenState.colourDepth / 8) * static_cast<size_t>(movie->width);
    const int32_t rows = std::min(movie->height, dest.height);
    MarkMemImgChanged(&dest);
    for (int32_t y = 0; y < rows; ++y)
      std::memcpy(dest.pixels + y * dest.base->pitch, frame->pixels + y * frame->pitch,
                  std::min(row, static_cast<size_t>(dest.base->pitch)));
    return 0;
  }
  if (movie->halfWidth != 0) {
    RasterImage colour = *frame;
    colour.width /= 2;
    RasterImage alpha = colour;
    alpha.pixels = frame->pixels + colour.width * frame->format.bytesPerPixel;
    TransferImageToMemImg(&colour, &alpha, &dest, 0, 0, record->width, record->height, 0, 0, 0);
    return 0;
  }
  TransferImageToMemImg(frame, nullptr, &dest, 0, 0, record->width, record->height, 0, 0, 0);
  return 0;
}

}  // namespace

int32_t MovieFrameCallback(MovieRecord* movie, int32_t graph) {
  GraphRecord* record = GetGraphRecord(graph);
  if (movie == nullptr || record == nullptr || record->image == nullptr) return 0;
  if (record->image->description[FormatByteTexture] == 1) return CopyMovieFrameToTextures(movie, record, graph);
  return CopyMovieFrameToMemImg(movie, record);
}

int32_t OpenMovieGraph(const char* path, int32_t surfaceMode) {
  int32_t width = 0;
  int32_t height = 0;
  const EngineHandle movie = OpenMovie(path, &width, &height, surfaceMode);
  if (movie < 0) return WriteLogText("右記のグラフィックファイルのロードに失敗しました：%s \n", path);

  const int32_t savedDepth = DrawSettings.newGraphDepth;
  const int32_t savedMovieFlag = NewGraphSettings.movieGraph;
  const int32_t savedRefused = ScreenState.direct3DRefused;
  const int32_t savedPool = NewGraphSettings.defaultPool;
  const int32_t savedAlphaTest = DrawSettings.newGraphAlphaTest;
  const int32_t savedDrawable = NewGraphSettings.drawable;
  const MovieRecord* movieRecord = GetMovieRecord(movie);
  if (movieRecord != nullptr && movieRecord->surfaceMode != 0 && EngineInitialised != 1)
    ScreenState.direct3DRefused = 1;
  DrawSettings.newGraphDepth = ScreenState.colourDepth;
  NewGraphSettings.movieGraph = 1;
  TextureLayoutSettings.SingleTextureFlag = 1;
  DrawSettings.newGraphAlphaTest = 0;
  NewGraphSettings.defaultPool = 1;
  NewGraphSettings.drawable = 1;

  const int32_t graph = AllocateGraphHandle();
  const int created =
      CreateOriginalImage(graph, width, height, movieRecord != nullptr ? movieRecord->halfWidth : 0, 0, 0, -1);
  if (created < 0) WriteLogText("右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s", path);

  NewGraphSettings.drawable = savedDrawable;
  NewGraphSettings.defaultPool = savedPool;
  DrawSettings.newGraphAlphaTest = savedAlphaTest;
  DrawSettings.newGraphDepth = savedDepth;
  NewGraphSettings.movieGraph = savedMovieFlag;
  // The saved choice goes back as it was (not through the setter, which inverts it and
  // refuses once the engine runs).
  ScreenState.direct3DRefused = savedRefused;
  if (created < 0) {
    CloseMovie(movie);
    return -1;
  }
  GraphRecord* record = GetGraphRecord(graph);
  record->linkedMovie = movie;
  SetMovieFrameCallback(movie, MovieFrameCallback, graph);
  // A DirectShow movie's first frame comes only once it plays: until then the graph shows
  // the frame buffer as opened (black), not what the graph's new memory held.
  if (movieRecord != nullptr && movieRecord->theoraFlag == 0) MovieFrameCallback(GetMovieRecord(movie), graph);
  return graph;
}

}  // namespace quelt
