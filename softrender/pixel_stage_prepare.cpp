#include "softrender/memimg.h"
#include "softrender/pixel_stage_select.h"

namespace quelt {

bool ResolveLoopMode(uint32_t blendMode, uint32_t param, PixelSource source,
                     uint32_t* loopMode) {
  // The palette families have no parameter test in mode 3.
  const int32_t mode = ResolveSoftBlendMode(blendMode, param, source == PixelSource::Palette);
  if (mode == SoftDrawsNothing) return false;
  *loopMode = static_cast<uint32_t>(mode);
  return true;
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
