// The 16-bit loops of one walk, in a file of their own to spread the compile work.
#include "softrender/pixel_stage_select_impl.h"

namespace quelt {

template PixelLoopFn<TriangleWalk> SelectPixelLoop16<TriangleWalk>(const PixelLoopKey&);

}  // namespace quelt
