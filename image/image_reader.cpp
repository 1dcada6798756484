#include "image/image_reader.h"

#include <cstring>

namespace quelt {

UserImageReaderTable UserImageReaders = {};

const ImageReader BuiltinImageReaderTable[7] = {ReadBmpImage,  ReadJpegImage, ReadPngImage,
                                                ReadBgraImage, ReadTgaImage,  ReadDdsImage,
                                                nullptr};

namespace {
int TryOne(ImageReader reader, DataStream* stream, RasterImage* image) {
  stream->ops.seek(stream->handle, 0, 0);
  std::memset(image, 0, sizeof(*image));
  return reader(stream, image);
}
}  // namespace

int TryImageReaders(DataStream* stream, RasterImage* image) {
  std::memset(image, 0, sizeof(*image));
  const int32_t userCount = UserImageReaders.count < 0 ? 0
                            : UserImageReaders.count > kUserImageReaderSlots
                                ? kUserImageReaderSlots
                                : UserImageReaders.count;
  for (int32_t i = 0; i < userCount; ++i) {
    if (UserImageReaders.readers[i] && TryOne(UserImageReaders.readers[i], stream, image) == 0) {
      return 0;
    }
  }
  for (const ImageReader* reader = BuiltinImageReaderTable; *reader; ++reader) {
    if (TryOne(*reader, stream, image) == 0) return 0;
  }
  // A refusing reader may leave partial fields behind.
  std::memset(image, 0, sizeof(*image));
  return -1;
}

}  // namespace quelt
