// Built when the PNG and JPEG libraries are not available: both readers refuse every
// stream, so the reader table keeps its order and the other readers are still tried.
#include "image/image_reader.h"

namespace quelt {

int ReadJpegImage(DataStream*, RasterImage*) { return -1; }
int ReadPngImage(DataStream*, RasterImage*) { return -1; }
bool HaveLibraryImageReaders() { return false; }

}  // namespace quelt
