#include "softrender/memimg.h"
#include "softrender/pixel_stage_select.h"

namespace quelt {

bool ResolveLoopMode(uint32_t blendMode, uint32_t param, PixelSource source,
                     uint32_t* loopMode) {
  switch (blendMode) {
    case 0:
    case 4:
    case 10:
    case 11:
      *loopMode = blendMode;
      return true;
    case 1:
      if (param == 0) return false;
      *loopMode = param == 255 ? 0 : 1;
      return true;
    case 2:
      *loopMode = 2;
      return param != 0;
    case 3:
      *loopMode = 3;
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
