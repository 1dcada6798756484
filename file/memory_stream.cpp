#include <cstring>

#include "core/tracked_alloc.h"
#include "file/file_access.h"

namespace quelt {

namespace {
MemoryStream* AsMemoryStream(StreamHandle stream) { return reinterpret_cast<MemoryStream*>(stream); }
}  // namespace

MemoryStream* OpenMemoryStream(const void* data, int32_t size) {
  auto* stream = static_cast<MemoryStream*>(TrackedAlloc(sizeof(MemoryStream), __FILE__, __LINE__));
  if (!stream) return nullptr;
  stream->data = static_cast<const uint8_t*>(data);
  stream->size = size < 0 ? 0 : size;
  stream->position = 0;
  stream->eof = 0;
  return stream;
}

int32_t CloseMemoryStream(StreamHandle stream) {
  TrackedFree(AsMemoryStream(stream));
  return 0;
}

int32_t MemoryStreamTell(StreamHandle stream) { return AsMemoryStream(stream)->position; }
int32_t MemoryStreamEof(StreamHandle stream) { return AsMemoryStream(stream)->eof; }
int32_t MemoryStreamIdle(StreamHandle) { return 1; }

int32_t MemoryStreamSeek(StreamHandle stream, int32_t offset, int32_t origin) {
  MemoryStream& s = *AsMemoryStream(stream);
  int64_t target = offset;
  if (origin == 1) target += s.position;
  else if (origin == 2) target += s.size;
  if (target < 0) target = 0;
  if (target > s.size) target = s.size;
  s.position = static_cast<int32_t>(target);
  s.eof = 0;
  return 0;
}

int32_t MemoryStreamRead(void* dest, int32_t itemSize, int32_t itemCount, StreamHandle stream) {
  MemoryStream& s = *AsMemoryStream(stream);
  if (itemSize <= 0 || itemCount <= 0) return 0;
  if (s.position >= s.size) {
    s.eof = 1;
    return 0;
  }
  const int64_t left = s.size - s.position;
  int64_t count = itemCount;
  if (int64_t{itemSize} * count > left) count = left / itemSize;
  auto* out = static_cast<uint8_t*>(dest);
  s.eof = 0;
  if (count != 0) {
    const int64_t bytes = count * itemSize;
    std::memcpy(out, s.data + s.position, static_cast<size_t>(bytes));
    s.position += static_cast<int32_t>(bytes);
    return static_cast<int32_t>(count);
  }
  // Less than one whole item left: it is copied and counts as one item.
  std::memcpy(out, s.data + s.position, static_cast<size_t>(left));
  s.position = s.size;
  return 1;
}

}  // namespace quelt
