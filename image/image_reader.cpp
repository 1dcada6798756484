#include "image/image_reader.h"

#include <array>
#include <cstring>

namespace quelt {

UserImageReaderTable UserImageReaders = {};

const ImageReader BuiltinImageReaderTable[7] = {ReadBmpImage,  ReadJpegImage, ReadPngImage,
                                                ReadBgraImage, ReadTgaImage,  ReadDdsImage,
                                                nullptr};

namespace {

struct PictureSignature {
  std::array<uint8_t, kPictureSignatureBytes> bytes;
  int32_t length;
};
constexpr std::array<PictureSignature, 5> kPictureSignatures = {{
    {{'B', 'M'}, 2},
    {{0xFF, 0xD8, 0xFF}, 3},
    {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, 8},
    {{'B', 'G', 'R', 'A'}, 4},
    {{'D', 'D', 'S', ' '}, 4},
}};

int TryOne(ImageReader reader, DataStream* stream, RasterImage* image) {
  stream->ops.seek(stream->handle, 0, 0);
  std::memset(image, 0, sizeof(*image));
  return reader(stream, image);
}
}  // namespace

bool HasPictureSignature(const uint8_t* head, int32_t size) {
  for (const PictureSignature& signature : kPictureSignatures) {
    const auto length = static_cast<size_t>(signature.length);
    if (size >= signature.length && std::memcmp(head, signature.bytes.data(), length) == 0) return true;
  }
  return false;
}

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
