#pragma once
// The floors of the transparent-colour and alpha blits in the benchmark: plain loops that
// draw exactly the pixels the engine draws, with every row's spans known in advance
// (merged to any length, opaque ones first, then translucent ones, as SDL2's RLE keeps
// them) and nothing else to decide.
//  - FloorDraw without `packed` reads the source where the engine must: the image's own pixel block.
//  - FloorDraw with `packed` reads the opaque colours from one stream packed in the destination's
//    format, the layout SDL2's RLE encoding keeps beside the image, which the image
//    format does not have (a 16-bit alpha image holds 4 bytes a pixel).
// Copies and translucent pixels go by the engine's own kernels in both, so the pixels are the same.
#include <cstdint>
#include <cstring>
#include <vector>

#include "softrender/blit_rows_sse2.h"
#include "softrender/memimg.h"

namespace blitfloor {

struct Span {
  int32_t x;
  int32_t n;
};

struct Spans {
  std::vector<std::vector<Span>> opaque;       // per row
  std::vector<std::vector<Span>> translucent;  // per row (alpha images only)
  std::vector<uint8_t> packed;                 // the opaque colours, row after row
};

enum SpanKind { SpanSkipped, SpanOpaque, SpanTranslucent };

inline Spans MakeSpans(const quelt::MEMIMG& img, bool is16, bool alpha) {
  const quelt::MemImgBase& b = *img.base;
  const int bytes = quelt::MemImgBytesPerPixel(b);
  const int colourBytes = is16 ? 2 : 4;
  Spans s;
  s.opaque.resize(img.height);
  s.translucent.resize(img.height);
  for (int32_t y = 0; y < img.height; ++y) {
    const uint8_t* row = b.pixels + y * b.pitch;
    const auto kindAt = [&](int32_t x) {
      if (alpha) {
        const uint8_t a = row[x * 4 + (is16 ? 2 : 3)];
        return a == 0 ? SpanSkipped : a == 255 ? SpanOpaque : SpanTranslucent;
      }
      uint32_t v = 0;
      std::memcpy(&v, row + x * bytes, bytes);
      return v == quelt::TransparentKey(b) ? SpanSkipped : SpanOpaque;
    };
    int32_t start = 0;
    for (int32_t x = 1; x <= img.width; ++x) {
      const SpanKind kind = kindAt(start);
      if (x < img.width && kindAt(x) == kind) continue;
      if (kind == SpanOpaque) s.opaque[y].push_back({start, x - start});
      if (kind == SpanTranslucent) s.translucent[y].push_back({start, x - start});
      start = x;
    }
    for (const Span& o : s.opaque[y]) {
      for (int32_t x = o.x; x < o.x + o.n; ++x) s.packed.insert(s.packed.end(), row + x * bytes, row + x * bytes + colourBytes);
    }
  }
  return s;
}

// src drawn whole at (x0, y0) of dest; `packed`: the opaque colours come from the stream.
template <bool Is16>
void FloorDraw(const quelt::MEMIMG& dest, const quelt::MEMIMG& src, const Spans& spans, int32_t x0, int32_t y0,
               bool alpha, bool packed) {
  using namespace quelt::softblit;
  using V = Variant<Is16, SrcKind::Alpha, Kernel::Copy, false, false, true>;
  constexpr int kDestBytes = Is16 ? 2 : 4;
  static const PixelContext context = MakePixelContext(255, 0xFFFFFF);
  const quelt::MemImgBase& sb = *src.base;
  const int srcBytes = quelt::MemImgBytesPerPixel(sb);
  const uint8_t* stream = spans.packed.data();
  for (int32_t y = 0; y < src.height; ++y) {
    const uint8_t* srcRow = sb.pixels + y * sb.pitch;
    uint8_t* destRow = dest.pixels + (y0 + y) * dest.base->pitch + x0 * kDestBytes;
    for (const Span& s : spans.opaque[y]) {
      uint8_t* dp = destRow + s.x * kDestBytes;
      if (packed) {
        CopyRun(dp, stream, s.n * kDestBytes);
        stream += s.n * kDestBytes;
      } else if (Is16 && alpha) {
        CopyColourHalves(dp, srcRow + s.x * 4, s.n);
      } else {
        CopyRun(dp, srcRow + s.x * srcBytes, s.n * kDestBytes);
      }
    }
    if (!alpha) continue;
    for (const Span& s : spans.translucent[y]) {
      DrawTranslucentRun<V>(context, destRow + s.x * kDestBytes, srcRow + s.x * 4, s.n, src.width - s.x);
    }
  }
}

}  // namespace blitfloor
