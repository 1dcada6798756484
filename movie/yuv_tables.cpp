#include "movie/yuv_tables.h"

#include "core/numbers.h"

namespace quelt {

YuvTableSet YuvTables;

int InitYuvTables() {
  for (int32_t i = YuvClampLow; i <= YuvClampHigh; ++i) {
    YuvTables.clamp[i - YuvClampLow] = static_cast<uint8_t>(ClampToByte(i));
  }
  for (int32_t i = 0; i < 256; ++i) {
    YuvTables.y[i] = YScale * (i - 16);
    YuvTables.vToRed[i] = VToRedScale * (i - 128);
    YuvTables.uToGreen[i] = UToGreenScale * (i - 128);
    YuvTables.vToGreen[i] = VToGreenScale * (i - 128);
    YuvTables.uToBlue[i] = UToBlueScale * (i - 128);
  }
  return 0;
}

}  // namespace quelt
