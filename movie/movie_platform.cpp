#include "movie/movie_platform.h"

namespace quelt {

#ifndef _WIN32
// No sound or DirectShow natively: tests install their own table.
MoviePlatformRecord MoviePlatform{};
#endif

}  // namespace quelt
