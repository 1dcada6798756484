#include "core/clock.h"
#include "movie/theora_platform.h"

namespace quelt {

int32_t TheoraMilliseconds() { return ReadMillisecondClock(); }

}  // namespace quelt
