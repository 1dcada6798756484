#include "softrender/soft_draw_state.h"

namespace quelt {

SoftDrawState SoftDraw = {BlendCopy, 0, kBrightOff, {0, 0, 0, 0}};

}  // namespace quelt
