// The 32-bit loops of one walk, in a file of their own to spread the compile work.
#include "softrender/pixel_stage_select_impl.h"

namespace quelt {

template PixelLoopFn<TriangleWalk> SelectPixelLoop32<TriangleWalk>(const PixelLoopKey&);

}  // namespace quelt
