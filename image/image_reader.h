#pragma once
// The image readers and the table they are tried from: files are recognised by content.
#include <cstdint>

#include "file/file_access.h"
#include "image/raster_image.h"

namespace quelt {

// 0 when it decoded the stream into the image; any other value refuses (after freeing what
// it allocated). Reads from offset 0 through the stream only and never closes it.
using ImageReader = int (*)(DataStream* stream, RasterImage* image);

inline constexpr int kUserImageReaderSlots = 10;
struct UserImageReaderTable {
  ImageReader readers[kUserImageReaderSlots];
  int32_t count;
};
// Nothing in the engine registers a reader; the table is tried first all the same.
extern UserImageReaderTable UserImageReaders;

// The built-in readers in their order of trying, ended by a null entry.
extern const ImageReader BuiltinImageReaderTable[7];

// Zeroes the image, then tries the user readers and the built-in ones from offset 0 until
// one accepts: 0, or -1 when none did.
int TryImageReaders(DataStream* stream, RasterImage* image);

// Whether a file's leading bytes carry the signature of a format the built-in readers take
// (BMP, JPEG, PNG, BGRA, DDS; TGA has none): a file so marked that they refused is a bad
// picture, not something for another road to try.
inline constexpr int32_t kPictureSignatureBytes = 8;
bool HasPictureSignature(const uint8_t* head, int32_t size);

int ReadBmpImage(DataStream* stream, RasterImage* image);
int ReadJpegImage(DataStream* stream, RasterImage* image);
int ReadPngImage(DataStream* stream, RasterImage* image);
int ReadBgraImage(DataStream* stream, RasterImage* image);
int ReadTgaImage(DataStream* stream, RasterImage* image);
int ReadDdsImage(DataStream* stream, RasterImage* image);

// Whether this build decodes PNG and JPEG (the libraries were available); without them
// the two readers refuse every stream.
bool HaveLibraryImageReaders();

}  // namespace quelt
