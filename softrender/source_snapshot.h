#pragma once
// A source drawn into its own pixel store (a graph drawn onto itself, or a view onto its
// parent) would read pixels the same call has already written: such a source is read from
// a copy taken before the first pixel is drawn.
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "softrender/memimg.h"

namespace quelt {

class SourceSnapshot {
 public:
  // False when a copy is needed and cannot be made (the call then draws nothing).
  bool Take(const MEMIMG& dest, const MEMIMG& src) {
    const MemImgBase& base = *src.base;
    pixels_ = src.pixels;
    pitch_ = base.pitch;
    if (dest.base != src.base || src.width <= 0 || src.height <= 0) return true;
    const size_t row = static_cast<size_t>(src.width) * static_cast<size_t>(MemImgBytesPerPixel(base));
    copy_.reset(new (std::nothrow) uint8_t[row * static_cast<size_t>(src.height)]);
    if (!copy_) return false;
    for (int32_t y = 0; y < src.height; ++y) {
      std::memcpy(copy_.get() + row * static_cast<size_t>(y), src.pixels + static_cast<int64_t>(y) * base.pitch, row);
    }
    pixels_ = copy_.get();
    pitch_ = static_cast<int32_t>(row);
    return true;
  }
  const uint8_t* pixels() const { return pixels_; }
  int32_t pitch() const { return pitch_; }

 private:
  std::unique_ptr<uint8_t[]> copy_;
  const uint8_t* pixels_ = nullptr;
  int32_t pitch_ = 0;
};

}  // namespace quelt
