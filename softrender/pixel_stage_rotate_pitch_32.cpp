// The 32-bit loops of one walk, in a file of their own to spread the compile work.
#include "softrender/pixel_stage_select_impl.h"

namespace quelt {

template PixelLoopFn<RotateWalk<PitchRows>> SelectPixelLoop32<RotateWalk<PitchRows>>(const PixelLoopKey&);

}  // namespace quelt
