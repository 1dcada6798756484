#include "softrender/memimg.h"
#include "softrender/pixel_stage_select.h"

namespace quelt {

bool ResolveLoopMode(uint32_t blendMode, uint32_t param, PixelSource source,
                     uint32_t* loopMode) {
  switch (blendMode) {
    case BlendCopy:
    case BlendMul:
    case BlendInvertAlpha:
    case BlendProductAlpha:
      *loopMode = blendMode;
      return true;
    case BlendAlpha:
      if (param == 0) return false;
      *loopMode = param == 255 ? BlendCopy : BlendAlpha;
      return true;
    case BlendAdd:
      *loopMode = BlendAdd;
      return param != 0;
    case BlendSub:
      *loopMode = BlendSub;
      return param != 0 || source == PixelSource::Palette;
    default:
      return false;
  }
}

void PreparePixelTables(PixelContext& c, uint32_t param, uint32_t brightColour) {
  c.param = param;
  c.paramRow = ProductTable[param];
  c.signedParamRow = SignedProductRow(static_cast<int32_t>(param));
  c.brightBlue = ProductTable[brightColour & 0xFF];
  c.brightGreen = ProductTable[(brightColour >> 8) & 0xFF];
  c.brightRed = ProductTable[(brightColour >> 16) & 0xFF];
  c.border = BorderTable;
}

}  // namespace quelt
