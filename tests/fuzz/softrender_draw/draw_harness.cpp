#include "fuzz/softrender_draw/draw_harness.h"

#include <cstring>
#include <vector>

#include "softrender/memimg_draw.h"
#include "softrender/rotate_blit.h"
#include "softrender/soft_draw_state.h"

namespace quelt_fuzz {
namespace {

// Bytes taken in order; zeros once they run out.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  int32_t Int16() { return static_cast<int16_t>(Byte() | Byte() << 8); }
  uint32_t Word() { return Byte() | Byte() << 8 | Byte() << 16 | Byte() << 24; }
  int32_t Range(int32_t lo, int32_t hi) { return lo + static_cast<int32_t>(Byte() % (hi - lo + 1)); }
  float Float() {
    const uint32_t bits = Word();
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

constexpr int32_t kGuard = 8;  // pixels of guard band around the destination view

void FillRandom(quelt::MEMIMG& img, Input& in) {
  quelt::MemImgBase& b = *img.base;
  const size_t bytes = static_cast<size_t>(b.pitch) * b.height;
  const uint32_t seed = in.Word();
  for (size_t i = 0; i < bytes; ++i) b.pixels[i] = static_cast<uint8_t>((seed >> (i % 4 * 8)) + i * 37);
  if (b.palette) {
    for (int i = 0; i < 2048; ++i) b.palette[i] = static_cast<uint8_t>(seed * 7 + i * 13);
  }
}

}  // namespace

bool RunDrawTarget(const std::string& target, const uint8_t* data, size_t size) {
  static const bool tables = quelt::InitMemImgTables() == 0;
  (void)tables;
  Input in(data, size);
  const uint32_t colourType = in.Byte() & 1;
  const uint32_t kind = in.Byte() % 3;  // 0 direct, 1 palette, 2 alpha
  const int32_t sw = in.Range(1, 40), sh = in.Range(1, 40);
  const int32_t dw = in.Range(1, 48), dh = in.Range(1, 48);

  quelt::MEMIMG parent{}, dest{}, src{}, blend{};
  if (quelt::CreateMemImg(&parent, dw + 2 * kGuard, dh + 2 * kGuard, -1, 0, colourType, 0, 0, 0, nullptr) != 0) return true;
  quelt::MakeMemImgView(&dest, &parent, kGuard, kGuard, dw, dh);
  const uint32_t transparent = in.Byte() < 128 ? in.Word() : in.Byte();
  quelt::CreateMemImg(&src, sw, sh, -1, transparent, colourType, kind == 1, kind == 2, 0, nullptr);
  FillRandom(parent, in);
  FillRandom(src, in);
  if (src.base && src.base->paletteFlag) src.base->paletteCount = in.Range(1, 256);
  const bool useBlend = in.Byte() & 1;
  if (useBlend) {
    quelt::CreateMemImg(&blend, sw + in.Range(0, 3), sh + in.Range(0, 3), -1, 0, 2, 0, 0, 0, nullptr);
    FillRandom(blend, in);
    quelt::BuildBorderTable(in.Range(0, 255), in.Range(0, 255));
  }
  // The clip: anywhere inside the destination, possibly empty.
  const int32_t cx1 = in.Range(0, dw), cy1 = in.Range(0, dh);
  const quelt::IntRect clip{cx1, cy1, in.Range(cx1, dw), in.Range(cy1, dh)};
  quelt::SoftDraw.BlendMode = in.Range(0, 13);
  quelt::SoftDraw.BlendParam = in.Range(0, 255);
  quelt::SoftDraw.BrightColour = in.Byte() & 1 ? 0xFFFFFF : in.Word() & 0xFFFFFF;
  quelt::SoftDraw.ClipRect = clip;
  const int32_t trans = in.Byte() & 1;
  const quelt::MEMIMG* blendImage = useBlend ? &blend : nullptr;

  const quelt::MemImgBase& pb = *parent.base;
  const std::vector<uint8_t> before(pb.pixels, pb.pixels + static_cast<size_t>(pb.pitch) * pb.height);

  bool known = true;
  if (target == "blit") {
    quelt::MemImgBlit(&dest, &src, in.Int16() % 80, in.Int16() % 80, trans, blendImage);
  } else if (target == "stretch") {
    const quelt::IntRect r{in.Int16() % 100, in.Int16() % 100, in.Int16() % 100, in.Int16() % 100};
    quelt::MemImgStretchBlit(&dest, &src, &r, trans, blendImage);
  } else if (target == "rotate") {
    const int32_t x = in.Int16() % 100, y = in.Int16() % 100;
    const float angle = in.Float(), scale = in.Byte() & 1 ? in.Float() : in.Range(1, 40) / 8.0f;
    quelt::MemImgRotateBlit(&dest, &src, x, y, angle, scale, trans, in.Byte() & 1, blendImage);
  } else if (target == "triangle") {
    quelt::TriVertex v[3];
    for (auto& t : v) t = {in.Int16(), in.Int16(), in.Int16(), in.Int16()};
    const bool solid = in.Byte() & 1;
    quelt::MemImgTriangle(&dest, solid ? nullptr : &src, v, trans, blendImage, in.Word());
  } else if (target == "quad") {
    int32_t corners[8];
    for (auto& c : corners) c = in.Int16() % 200;
    quelt::MemImgQuad(&dest, &src, corners, trans, blendImage);
  } else {
    known = false;
  }

  // Only pixels inside the clip may change; the guard band and the rest stay as they were.
  const int32_t bpp = quelt::MemImgBytesPerPixel(pb);
  for (int32_t y = 0; y < pb.height; ++y) {
    for (int32_t x = 0; x < pb.width; ++x) {
      const int32_t vx = x - kGuard, vy = y - kGuard;
      if (vx >= clip.x1 && vx < clip.x2 && vy >= clip.y1 && vy < clip.y2) continue;
      const size_t at = static_cast<size_t>(y) * pb.pitch + static_cast<size_t>(x) * bpp;
      if (std::memcmp(pb.pixels + at, before.data() + at, static_cast<size_t>(bpp)) != 0) __builtin_trap();
    }
  }
  quelt::ReleaseMemImg(&blend);
  quelt::ReleaseMemImg(&src);
  quelt::ReleaseMemImg(&dest);
  quelt::ReleaseMemImg(&parent);
  return known;
}

}  // namespace quelt_fuzz
