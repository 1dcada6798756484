// Reference geometry: the rotated blit's box and inverse mapping, the triangle's edges and
// gradients, the quad's split, each texture position computed afresh for every pixel.
#include "tests/softrender/rotate_reference.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "core/numbers.h"
#include "tests/softrender/rotate_reference_pixels.h"

using quelt::IntRect;
using quelt::MEMIMG;

namespace reftest {

namespace {

int32_t Trunc18(int32_t v) { return v / 262144; }

void Clip(IntRect& r, const IntRect& b) {
  if (r.x2 < r.x1) r.x2 = r.x1;
  if (r.y2 < r.y1) r.y2 = r.y1;
  auto clamp = [](int32_t& v, int32_t lo, int32_t hi) { v = v > hi ? hi : v < lo ? lo : v; };
  clamp(r.y2, b.y1, b.y2);
  clamp(r.y1, b.y1, b.y2);
  clamp(r.x2, b.x1, b.x2);
  clamp(r.x1, b.x1, b.x2);
}

// Mode entry; false when nothing is drawn.
bool Entry(const RefState& s, bool palette, bool fill, uint32_t& mode) {
  const uint32_t p = static_cast<uint32_t>(s.param);
  mode = s.mode;
  if (mode >= 5 && mode <= 9) return false;
  if (mode > 11) return false;
  if (mode == 1 && p == 0) return false;
  if (mode == 1 && p == 255) mode = 0;
  if (mode == 2 && p == 0) return false;
  if (mode == 3 && p == 0 && (!palette || fill)) return false;
  return true;
}

// Draws the texel (column, row) of src onto the destination pixel.
void DrawTexel(MEMIMG* dest, int32_t x, int32_t y, const MEMIMG* src, uint32_t col,
               uint32_t row, int32_t trans, const MEMIMG* blend, uint32_t mode,
               const RefState& s) {
  const quelt::MemImgBase& b = *src->base;
  RefPixelInput in{};
  in.mode = mode;
  in.param = s.param;
  in.bright = s.bright;
  in.trans = trans != 0;
  in.transparent = b.transparentColour;
  const uint8_t* line = src->pixels + row * static_cast<uint32_t>(b.pitch);
  const bool type32 = b.colourType == 1;
  if (b.paletteFlag == 1) {
    const uint8_t index = line[col];
    in.key = index;
    uint32_t entry = 0;
    std::memcpy(&entry, b.palette + index * (type32 ? 4 : 2), type32 ? 4 : 2);
    in.colour = entry;
  } else if (type32) {
    std::memcpy(&in.colour, line + col * 4, 4);
    in.key = in.colour;
    if (b.alphaFlag == 1) {
      in.alphaSource = true;
      in.a = in.colour >> 24;
    }
  } else if (b.alphaFlag == 1) {
    uint16_t w16;
    std::memcpy(&w16, line + col * 4, 2);
    in.colour = w16;
    in.alphaSource = true;
    in.a = line[col * 4 + 2];
  } else {
    uint16_t w16;
    std::memcpy(&w16, line + col * 2, 2);
    in.colour = in.key = w16;
  }
  if (blend != nullptr) {
    in.blend = true;
    in.w = quelt::BorderTable[blend->pixels[row * static_cast<uint32_t>(blend->base->pitch) + col]];
  }
  uint8_t* dst = dest->pixels + y * dest->base->pitch + x * (type32 ? 4 : 2);
  if (type32) RefPixel32(in, dst); else RefPixel16(in, dst);
}

bool Refused(const MEMIMG* dest, const MEMIMG* src) {
  if (src != nullptr && src->base->colourType != dest->base->colourType) return true;
  if (dest->base->paletteFlag == 1 || dest->base->alphaFlag == 1) return true;
  return dest->base->colourType > 1;
}

}  // namespace

void RefRotateBlit(MEMIMG* dest, const MEMIMG* src, int32_t cx, int32_t cy, float angle,
                   float scale, int32_t trans, int32_t turn, const MEMIMG* blend,
                   const RefState& s) {
  if (Refused(dest, src) || scale == 0.0f || !std::isfinite(scale)) return;
  float sn, cn, sp, cp;
  quelt::SinCosFloat(-angle, &sn, &cn);
  quelt::SinCosFloat(angle, &sp, &cp);
  const int32_t sinN = quelt::FloatToInt(sn * 262144.0f), cosN = quelt::FloatToInt(cn * 262144.0f);
  const int32_t sinP = quelt::FloatToInt(sp * 262144.0f), cosP = quelt::FloatToInt(cp * 262144.0f);
  const double hw = static_cast<double>(static_cast<uint32_t>(src->width)) * scale * 0.5;
  const double hh = static_cast<double>(static_cast<uint32_t>(src->height)) * scale * 0.5;
  const float cw = static_cast<float>(cosP * hw), sw = static_cast<float>(sinP * hw);
  const float ch = static_cast<float>(cosP * hh), sh = static_cast<float>(sinP * hh);
  const int32_t ox0 = cx * 262144, oy0 = cy * 262144;
  const int32_t xs[4] = {ox0 + quelt::FloatToInt(-cw + sh), ox0 + quelt::FloatToInt(-cw - sh),
                         ox0 + quelt::FloatToInt(cw - sh), ox0 + quelt::FloatToInt(cw + sh)};
  const int32_t ys[4] = {oy0 + quelt::FloatToInt(-sw - ch), oy0 + quelt::FloatToInt(ch - sw),
                         oy0 + quelt::FloatToInt(sw + ch), oy0 + quelt::FloatToInt(sw - ch)};
  int32_t minX = xs[0], maxX = xs[0], minY = ys[0], maxY = ys[0];
  for (int i = 1; i < 4; ++i) {
    minX = xs[i] < minX ? xs[i] : minX;
    maxX = xs[i] > maxX ? xs[i] : maxX;
    minY = ys[i] < minY ? ys[i] : minY;
    maxY = ys[i] > maxY ? ys[i] : maxY;
  }
  IntRect box = {Trunc18(minX) - 2, Trunc18(minY) - 2, Trunc18(maxX) + 4, Trunc18(maxY) + 4};
  Clip(box, s.clip);
  if (box.x1 == box.x2 || box.y1 == box.y2 || minY == maxY) return;
  uint32_t mode;
  if (!Entry(s, src->base->paletteFlag == 1, false, mode)) return;

  // Pixels sampled at their centres, in half pixels from the centre: scaled, the picture's
  // centre on the centre pixel's top-left corner; unscaled, per axis, there for an even size
  // and on the pixel's centre for an odd one. A turn runs u the other way.
  const float inv = 1.0f / scale;
  const int32_t step = quelt::FloatToInt(static_cast<float>(cosP) * inv);
  const int32_t uStepX = turn != 0 ? -step : step;
  const int32_t vStepX = quelt::FloatToInt(static_cast<float>(sinN) * inv);
  const uint32_t cu = static_cast<uint32_t>(src->width) << 17;
  const uint32_t cv = static_cast<uint32_t>(src->height) << 17;
  const int32_t shiftX = scale != 1.0f || src->width % 2 == 0 ? 1 : 0;
  const int32_t shiftY = scale != 1.0f || src->height % 2 == 0 ? 1 : 0;
  const int32_t ox = 2 * (box.x1 - cx) + shiftX;
  auto map = [&](int32_t oy, int32_t& u, int32_t& v) {
    oy = 2 * oy + shiftY;
    const uint32_t du = static_cast<uint32_t>(quelt::FloatToInt(static_cast<float>(ox * cosN - oy * sinN) * inv * 0.5f));
    u = static_cast<int32_t>(turn != 0 ? cu - du : cu + du);
    v = static_cast<int32_t>(static_cast<uint32_t>(quelt::FloatToInt(static_cast<float>(oy * cosN + ox * sinN) * inv * 0.5f)) + cv);
  };
  int32_t u0, v0, u1, v1;
  map(box.y1 - cy, u0, v0);
  map(box.y2 - cy, u1, v1);
  const int32_t rows = box.y2 - box.y1;
  const int32_t uStepY = (u1 - u0) / rows, vStepY = (v1 - v0) / rows;
  const uint32_t uLim = static_cast<uint32_t>(src->width) << 18;
  const uint32_t vLim = static_cast<uint32_t>(src->height) << 18;
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t c = 0; c < box.x2 - box.x1; ++c) {
      const uint32_t u = static_cast<uint32_t>(u0) + static_cast<uint32_t>(r) * static_cast<uint32_t>(uStepY) +
                         static_cast<uint32_t>(c) * static_cast<uint32_t>(uStepX);
      const uint32_t v = static_cast<uint32_t>(v0) + static_cast<uint32_t>(r) * static_cast<uint32_t>(vStepY) +
                         static_cast<uint32_t>(c) * static_cast<uint32_t>(vStepX);
      if (u < uLim && v < vLim) {
        DrawTexel(dest, box.x1 + c, box.y1 + r, src, u >> 18, v >> 18, trans, blend, mode, s);
      }
    }
  }
}

void RefTriangle(MEMIMG* dest, const MEMIMG* src, const quelt::TriVertex vin[3], int32_t trans,
                 const MEMIMG* blend, uint32_t fill, const RefState& s) {
  if (Refused(dest, src)) return;
  int32_t X[3], Y[3], U[3], V[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = vin[i].x * 262144 + 0x20000;
    Y[i] = vin[i].y * 262144 + 0x20000;
    U[i] = vin[i].u * 262144;
    V[i] = vin[i].v * 262144;
  }
  auto sort = [](const int32_t* key, int o[3]) {
    o[0] = 0, o[1] = 1, o[2] = 2;
    for (int i = 0; i < 2; ++i)
      for (int j = i + 1; j < 3; ++j)
        if (key[o[i]] > key[o[j]]) std::swap(o[i], o[j]);
  };
  int ox[3], oy[3];
  sort(X, ox);
  sort(Y, oy);
  const int a = ox[0], b = ox[1], c = ox[2];
  auto px = [](int32_t p, int32_t q) { return (p - q) / 262144; };
  const int32_t det = px(Y[b], Y[a]) * px(X[c], X[a]) - px(Y[c], Y[a]) * px(X[b], X[a]);
  if (det == 0) return;
  auto grad = [&](const int32_t* T, bool alongX) {
    const int32_t n = alongX ? px(Y[b], Y[a]) * px(T[c], T[a]) - px(Y[c], Y[a]) * px(T[b], T[a])
                             : px(T[b], T[a]) * px(X[c], X[a]) - px(X[b], X[a]) * px(T[c], T[a]);
    return quelt::DoubleToInt(n * 262144.0 / det);
  };
  const int32_t dux = grad(U, true), duy = grad(U, false), dvx = grad(V, true), dvy = grad(V, false);
  const int top = oy[0], mid = oy[1], bot = oy[2];
  struct Seg { int32_t x0, step, rows; };
  Seg L[2], R[2];
  int nl = 1, nr = 1;
  auto seg = [](int32_t xa, int32_t ya, int32_t xb, int32_t yb, Seg& sg) {
    sg.rows = (yb - ya) / 262144;
    sg.x0 = xa;
    sg.step = sg.rows != 0 ? (xb - xa) / sg.rows : 0;
    return sg.rows != 0;
  };
  bool ok;
  if (Y[top] == Y[mid]) {
    if (Y[mid] == Y[bot]) return;
    const int rv = X[top] > X[mid] ? top : mid, lv = rv == top ? mid : top;
    ok = seg(X[lv], Y[lv], X[bot], Y[bot], L[0]) & seg(X[rv], Y[rv], X[bot], Y[bot], R[0]);
  } else if (Y[mid] == Y[bot]) {
    const int rv = X[mid] > X[bot] ? mid : bot, lv = rv == mid ? bot : mid;
    ok = seg(X[top], Y[top], X[lv], Y[lv], L[0]) & seg(X[top], Y[top], X[rv], Y[rv], R[0]);
  } else {
    const double sMid = double(X[mid] - X[top]) / ((Y[mid] - Y[top]) / 262144.0);
    const double sLong = double(X[bot] - X[top]) / ((Y[bot] - Y[top]) / 262144.0);
    if (sLong > sMid) {
      nl = 2;
      ok = seg(X[top], Y[top], X[mid], Y[mid], L[0]) & seg(X[mid], Y[mid], X[bot], Y[bot], L[1]) &
           seg(X[top], Y[top], X[bot], Y[bot], R[0]);
    } else {
      nr = 2;
      ok = seg(X[top], Y[top], X[bot], Y[bot], L[0]) & seg(X[top], Y[top], X[mid], Y[mid], R[0]) &
           seg(X[mid] + 1, Y[mid], X[bot], Y[bot], R[1]);
    }
  }
  if (!ok) return;
  uint32_t mode;
  if (!Entry(s, src != nullptr && src->base->paletteFlag == 1, src == nullptr, mode)) return;
  const bool type32 = dest->base->colourType == 1;
  uint32_t fillColour = 0;
  if (src == nullptr) {
    auto pt = [](uint32_t x, uint32_t y) { return x * y / 255; };
    const uint32_t b0 = s.bright & 0xFF, b1 = (s.bright >> 8) & 0xFF, b2 = (s.bright >> 16) & 0xFF;
    if (type32) {
      fillColour = pt(b0, fill & 0xFF) | pt(b1, (fill >> 8) & 0xFF) << 8 | pt(b2, (fill >> 16) & 0xFF) << 16 |
                   (fill & 0xFF000000u);
    } else {
      const uint32_t f = fill & 0xFFFF;
      fillColour = pt(b2, f >> 11) << 11 | pt(b1, (f >> 5) & 0x3F) << 5 | pt(b0, f & 0x1F);
    }
  }
  // Walk the rows: edge position of row k of a segment = start + k * step.
  const int32_t xa = X[a] / 262144, ya = Y[a] / 262144;
  int li = 0, ri = 0, lk = 0, rk = 0;
  int32_t y = Y[top] / 262144;
  for (;;) {
    const int32_t lx = static_cast<int32_t>(static_cast<uint32_t>(L[li].x0) + static_cast<uint32_t>(lk) * static_cast<uint32_t>(L[li].step));
    const int32_t rx = static_cast<int32_t>(static_cast<uint32_t>(R[ri].x0) + static_cast<uint32_t>(rk) * static_cast<uint32_t>(R[ri].step));
    const int32_t xl = lx / 262144, xr = rx / 262144;
    if (y >= s.clip.y1 && y < s.clip.y2) {
      for (int32_t x = xl < s.clip.x1 ? s.clip.x1 : xl; x <= xr && x < s.clip.x2; ++x) {
        if (src == nullptr) {
          RefPixelInput in{};
          in.mode = mode;
          in.param = s.param;
          in.bright = s.bright;
          in.fill = true;
          in.colour = fillColour;
          uint8_t* dst = dest->pixels + y * dest->base->pitch + x * (type32 ? 4 : 2);
          if (type32) RefPixel32(in, dst); else RefPixel16(in, dst);
          continue;
        }
        const uint32_t u = static_cast<uint32_t>(U[a]) + static_cast<uint32_t>(x - xa) * static_cast<uint32_t>(dux) +
                           static_cast<uint32_t>(y - ya) * static_cast<uint32_t>(duy);
        const uint32_t v = static_cast<uint32_t>(V[a]) + static_cast<uint32_t>(x - xa) * static_cast<uint32_t>(dvx) +
                           static_cast<uint32_t>(y - ya) * static_cast<uint32_t>(dvy);
        if (u < (static_cast<uint32_t>(src->width) << 18) && v < (static_cast<uint32_t>(src->height) << 18)) {
          DrawTexel(dest, x, y, src, u >> 18, v >> 18, trans, blend, mode, s);
        }
      }
    }
    ++y;
    if (++lk == L[li].rows) {
      if (li + 1 == nl) return;
      ++li, lk = 0, y = Y[mid] / 262144;
    }
    if (++rk == R[ri].rows) {
      if (ri + 1 == nr) return;
      ++ri, rk = 0, y = Y[mid] / 262144;
    }
  }
}

void RefQuad(MEMIMG* dest, const MEMIMG* src, const int32_t k[8], int32_t trans,
             const MEMIMG* blend, const RefState& s) {
  int32_t minX = k[0], maxX = k[0], minY = k[1], maxY = k[1];
  for (int i = 1; i < 4; ++i) {
    minX = k[2 * i] < minX ? k[2 * i] : minX;
    maxX = k[2 * i] > maxX ? k[2 * i] : maxX;
    minY = k[2 * i + 1] < minY ? k[2 * i + 1] : minY;
    maxY = k[2 * i + 1] > maxY ? k[2 * i + 1] : maxY;
  }
  IntRect box = {minX - 2, minY - 2, maxX + 4, maxY + 4};
  Clip(box, s.clip);
  if (box.x1 == box.x2 || box.y1 == box.y2) return;
  const quelt::TriVertex v[4] = {{k[0], k[1], 0, 0}, {k[2], k[3], src->width, 0},
                                 {k[4], k[5], 0, src->height}, {k[6], k[7], src->width, src->height}};
  RefTriangle(dest, src, &v[0], trans, blend, 0, s);
  RefTriangle(dest, src, &v[1], trans, blend, 0, s);
}

}  // namespace reftest
