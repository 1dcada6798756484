#include "movie/movie_platform.h"

namespace quelt {

#ifndef _WIN32
// No sound, DirectShow or Theora player natively: tests install their own tables.
MoviePlatformRecord MoviePlatform{};
TheoraPlayerOps TheoraPlayer{};
#endif

}  // namespace quelt
