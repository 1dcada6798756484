#pragma once
// Bounded reading through a DataStream for the image readers: every read says whether it
// got all it asked for, and sizes are 64-bit.
#include <cstdint>
#include <cstring>

#include "file/file_access.h"

namespace quelt {

class StreamReader {
 public:
  explicit StreamReader(DataStream* stream) : stream_(stream) {}

  int64_t Tell() const { return stream_->ops.tell(stream_->handle); }
  bool Seek(int64_t offset, int32_t origin = 0) const {
    if (offset < INT32_MIN || offset > INT32_MAX) return false;
    return stream_->ops.seek(stream_->handle, static_cast<int32_t>(offset), origin) == 0;
  }
  // The stream's length, leaving the position where it was.
  int64_t Size() const {
    const int64_t here = Tell();
    if (!Seek(0, 2)) return -1;
    const int64_t end = Tell();
    Seek(here, 0);
    return end;
  }
  // Bytes from the position to the end.
  int64_t Remaining() const {
    const int64_t size = Size();
    const int64_t here = Tell();
    return size > here ? size - here : 0;
  }
  // Reads up to `bytes` bytes; returns how many arrived.
  int64_t ReadSome(void* dest, int64_t bytes) const {
    if (bytes <= 0) return 0;
    if (bytes > INT32_MAX) bytes = INT32_MAX;
    const int32_t got = stream_->ops.read(dest, 1, static_cast<int32_t>(bytes), stream_->handle);
    return got < 0 ? 0 : (got > bytes ? bytes : got);
  }
  bool ReadExact(void* dest, int64_t bytes) const { return ReadSome(dest, bytes) == bytes; }
  bool Skip(int64_t bytes) const { return bytes == 0 || Seek(bytes, 1); }

 private:
  DataStream* stream_;
};

}  // namespace quelt
