// The native build has no GDI: the portable drawing stands in for it.
#include "image/bmp_internal.h"

namespace quelt {

int DrawBmpRowsTo24(const BmpHeaderBlock& header, const uint8_t* bits, size_t bitsBytes,
                    RasterImage* image) {
  return DrawBmpRowsPortable(header, bits, bitsBytes, image);
}

}  // namespace quelt
