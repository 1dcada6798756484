// The Theora player behind the movie table, where the build has libtheora.
#include "movie/movie_platform.h"

#if QUELT_THEORA_PLAYER
#include "movie/theora_decoder.h"
#endif

namespace quelt {

#if QUELT_THEORA_PLAYER

namespace {

static_assert(sizeof(TheoraInfo) == sizeof(MovieTheoraInfo));

int Info(TheoraDecoder* decoder, MovieTheoraInfo* out) {
  TheoraInfo info{};
  GetTheoraInfo(decoder, &info);
  *out = MovieTheoraInfo{info.framesPerSecond, info.frameCount, info.width, info.height};
  return 0;
}
int32_t CurrentFrame(TheoraDecoder* decoder) { return GetTheoraCurrentFrame(decoder); }
void* YuvSurface(TheoraDecoder* decoder) { return GetTheoraYv12Surface(decoder); }
int Close(TheoraDecoder* decoder, int32_t waitMs) {
  return CloseTheoraDecoderWithin(decoder, waitMs < 0 ? TheoraWaitLimitMs : waitMs);
}

}  // namespace

TheoraPlayerOps TheoraPlayer{OpenTheoraDecoder, Close,                    Info,
                             CurrentFrame,      AdvanceTheoraFrame,       GetTheoraFrameImage,
                             FetchTheoraFrame,  YuvSurface,               ReleaseTheoraDeviceObjects,
                             RestoreTheoraDeviceObjects};

#else

// Without libtheora every movie goes to DirectShow.
TheoraPlayerOps TheoraPlayer{};

#endif

}  // namespace quelt
