// The renderer against the reference, bit for bit, over depth x source kind x blend mode x
// parameter x blend image x bright x transparency, on rotated, mirrored, triangle and quad
// geometries, clipped and partly off the destination.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "softrender/rotate_blit.h"
#include "tests/softrender/rotate_test_images.h"

using namespace reftest;
using quelt::MEMIMG;
using quelt::TriVertex;

namespace {

constexpr float kDegree = 3.14159265f / 180.0f;

struct Geometry {
  std::string name;
  bool fillable;  // a triangle, usable for the solid fill
  std::function<void(MEMIMG*, const MEMIMG*, int32_t, const MEMIMG*, uint32_t)> draw;
  std::function<void(MEMIMG*, const MEMIMG*, int32_t, const MEMIMG*, uint32_t, const RefState&)> ref;
};

Geometry Rotate(float degrees, float scale, int32_t cx, int32_t cy, int32_t turn) {
  const float angle = degrees * kDegree;
  return {"rotate " + std::to_string(degrees) + " x" + std::to_string(scale) + (turn ? " turned" : ""),
          false,
          [=](MEMIMG* d, const MEMIMG* s, int32_t t, const MEMIMG* b, uint32_t) {
            quelt::MemImgRotateBlit(d, s, cx, cy, angle, scale, t, turn, b);
          },
          [=](MEMIMG* d, const MEMIMG* s, int32_t t, const MEMIMG* b, uint32_t, const RefState& st) {
            RefRotateBlit(d, s, cx, cy, angle, scale, t, turn, b, st);
          }};
}

Geometry Triangle(std::string name, TriVertex a, TriVertex b, TriVertex c) {
  const std::vector<TriVertex> v = {a, b, c};
  return {name, true,
          [=](MEMIMG* d, const MEMIMG* s, int32_t t, const MEMIMG* bl, uint32_t fill) {
            quelt::MemImgTriangle(d, s, v.data(), t, bl, fill);
          },
          [=](MEMIMG* d, const MEMIMG* s, int32_t t, const MEMIMG* bl, uint32_t fill, const RefState& st) {
            RefTriangle(d, s, v.data(), t, bl, fill, st);
          }};
}

Geometry Quad(std::string name, std::vector<int32_t> k) {
  return {name, false,
          [=](MEMIMG* d, const MEMIMG* s, int32_t t, const MEMIMG* b, uint32_t) {
            quelt::MemImgQuad(d, s, k.data(), t, b);
          },
          [=](MEMIMG* d, const MEMIMG* s, int32_t t, const MEMIMG* b, uint32_t, const RefState& st) {
            RefQuad(d, s, k.data(), t, b, st);
          }};
}

std::vector<Geometry> Geometries(int32_t w, int32_t h) {
  return {
      Rotate(0, 1.0f, 20, 18, 0),
      Rotate(30, 1.5f, 24, 20, 0),
      Rotate(90, 0.75f, 10, 30, 0),
      Rotate(200, 2.2f, 40, 10, 0),
      Rotate(30, 1.0f, 22, 19, 1),
      Rotate(200, 1.3f, 6, 33, 1),
      Rotate(-45, 3.0f, -4, 42, 0),
      Rotate(30, -1.0f, 25, 20, 0),
      Triangle("clockwise", {2, 3, 0, 0}, {40, 8, w, 0}, {10, 35, 0, h}),
      Triangle("anticlockwise", {10, 35, 0, h}, {40, 8, w, 0}, {2, 3, 0, 0}),
      Triangle("off-screen", {-10, -5, 0, 0}, {60, 20, w, h / 2}, {15, 50, w / 2, h}),
      Triangle("flat top", {5, 5, 0, 0}, {30, 5, w, 0}, {18, 30, w / 2, h}),
      Triangle("flat bottom", {20, 1, w / 2, 0}, {3, 30, 0, h}, {44, 30, w, h}),
      Triangle("mid right", {8, 2, 0, 0}, {45, 15, w, 3}, {14, 38, 2, h}),
      Quad("zigzag quad", {4, 4, 36, 9, 7, 33, 41, 37}),
      Quad("ring-order quad", {4, 4, 36, 9, 41, 37, 7, 33}),
  };
}

TEST(RotateCompare, MatchesReferenceBitForBit) {
  EnsureTables();
  quelt::BuildBorderTable(90, 60);
  std::mt19937 rng(12345);
  const int32_t sw = 13, sh = 11, dw = 48, dh = 40;
  const std::vector<Geometry> geometries = Geometries(sw, sh);
  const uint32_t modes[] = {0, 1, 2, 3, 4, 5, 10, 11, 12};
  const int32_t params[] = {0, 1, 128, 254, 255};
  const uint32_t brights[] = {0xFFFFFF, 0x40C0FF, 0xFFFFFE, 0x12FFFFFF};
  int failures = 0, draws = 0, changed = 0, counter = 0;
  for (uint32_t type : {1u, 0u}) {
    for (Kind kind : {Kind::Direct, Kind::Alpha, Kind::Palette, Kind::Fill}) {
      TestImage src, blend, dest, expect;
      if (kind != Kind::Fill) MakeSource(src, type, kind, sw, sh, rng);
      quelt::CreateMemImg(&blend.img, sw + 3, sh + 2, -1, 0, 2, 0, 0, 0, nullptr);
      for (size_t i = 0; i < blend.Bytes(); ++i) blend.img.base->pixels[i] = static_cast<uint8_t>(rng());
      MakePlain(dest, type, dw, dh, rng);
      MakePlain(expect, type, dw, dh, rng);
      std::vector<uint8_t> start(dest.Bytes());
      for (auto& b : start) b = static_cast<uint8_t>(rng());
      for (uint32_t mode : modes)
        for (int32_t p : params)
          for (int blendOn = 0; blendOn < 2; ++blendOn)
            for (int brightIndex = 0; brightIndex < 2; ++brightIndex)
              for (int trans = 0; trans < 2; ++trans) {
                const uint32_t bright = brights[brightIndex * 2 + (counter & 1)];
                const RefState state{mode, p, bright, {3, 2, 45, 37}};
                for (int g = 0; g < 4; ++g) {
                  const Geometry& geo = geometries[(counter * 4 + g) % geometries.size()];
                  if (kind == Kind::Fill && !geo.fillable) continue;
                  const uint32_t fill = static_cast<uint32_t>(rng());
                  const MEMIMG* s = kind == Kind::Fill ? nullptr : &src.img;
                  const MEMIMG* b = blendOn ? &blend.img : nullptr;
                  std::memcpy(dest.img.base->pixels, start.data(), start.size());
                  std::memcpy(expect.img.base->pixels, start.data(), start.size());
                  SetDrawState(state);
                  geo.draw(&dest.img, s, trans, b, type == 0 ? fill & 0xFFFF : fill);
                  geo.ref(&expect.img, s, trans, b, type == 0 ? fill & 0xFFFF : fill, state);
                  ++draws;
                  if (std::memcmp(dest.img.base->pixels, start.data(), start.size()) != 0) ++changed;
                  if (std::memcmp(dest.img.base->pixels, expect.img.base->pixels, start.size()) != 0 &&
                      ++failures <= 10) {
                    size_t i = 0;
                    while (dest.img.base->pixels[i] == expect.img.base->pixels[i]) ++i;
                    const int32_t pitch = dest.img.base->pitch;
                    ADD_FAILURE() << "type " << type << " kind " << int(kind) << " mode " << mode
                                  << " p " << p << " blend " << blendOn << " bright " << std::hex
                                  << bright << std::dec << " trans " << trans << " " << geo.name
                                  << ": first difference at x " << (i % pitch) / (type ? 4 : 2)
                                  << " y " << i / pitch << " byte " << i % (type ? 4 : 2)
                                  << " got " << int(dest.img.base->pixels[i]) << " want "
                                  << int(expect.img.base->pixels[i]);
                  }
                }
                ++counter;
              }
    }
  }
  EXPECT_EQ(failures, 0) << "of " << draws << " draws";
  EXPECT_GT(draws, 9000);
  EXPECT_GT(changed, draws / 2) << "too few draws touched the destination";
}

// The packed forms (copies of alpha-channel and transparent-colour sources without blend
// image or bright, both depths) on long spans of every length remainder, with random angles,
// scales and centres, partly off the destination, and through the triangle walk too.
TEST(RotateCompare, LongSpansMatchReferenceBitForBit) {
  EnsureTables();
  std::mt19937 rng(777);
  const int32_t dw = 150, dh = 120;
  int failures = 0, draws = 0;
  for (uint32_t type : {1u, 0u}) {
    for (Kind kind : {Kind::Alpha, Kind::Direct}) {
      TestImage src, dest, expect;
      MakeSource(src, type, kind, 61, 47, rng);
      MakePlain(dest, type, dw, dh, rng);
      MakePlain(expect, type, dw, dh, rng);
      std::vector<uint8_t> start(dest.Bytes());
      for (auto& b : start) b = static_cast<uint8_t>(rng());
      for (int i = 0; i < 40; ++i) {
        const float degrees = static_cast<float>(rng() % 3600) / 10.0f;
        const float scale = 0.6f + static_cast<float>(rng() % 200) / 100.0f;
        const int32_t cx = static_cast<int32_t>(rng() % (dw + 40)) - 20, cy = static_cast<int32_t>(rng() % (dh + 40)) - 20;
        const TriVertex a{static_cast<int32_t>(rng() % dw), static_cast<int32_t>(rng() % dh), 0, 0};
        const TriVertex b{static_cast<int32_t>(rng() % dw), static_cast<int32_t>(rng() % dh), 61, 10};
        const TriVertex c{static_cast<int32_t>(rng() % dw), static_cast<int32_t>(rng() % dh), 20, 47};
        for (const Geometry& geo : {Rotate(degrees, scale, cx, cy, 0), Triangle("random triangle", a, b, c)}) {
          for (int32_t p : {0, 255}) {  // mode 0, and mode 1 at 255 which runs mode 0's loops
            for (int trans = 0; trans < 2; ++trans) {
              const RefState state{p == 0 ? 0u : 1u, p, 0xFFFFFF, {1, 2, dw - 1, dh - 3}};
              std::memcpy(dest.img.base->pixels, start.data(), start.size());
              std::memcpy(expect.img.base->pixels, start.data(), start.size());
              SetDrawState(state);
              geo.draw(&dest.img, &src.img, trans, nullptr, 0);
              geo.ref(&expect.img, &src.img, trans, nullptr, 0, state);
              ++draws;
              if (std::memcmp(dest.img.base->pixels, expect.img.base->pixels, start.size()) != 0 && ++failures <= 5) {
                ADD_FAILURE() << "type " << type << " kind " << int(kind) << " trans " << trans << " " << geo.name;
              }
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(failures, 0) << "of " << draws << " draws";
}

}  // namespace
