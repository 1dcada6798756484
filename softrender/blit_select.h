#pragma once
// Variant selection shared by the blitters: which kernel a call runs, and the table of
// loop instantiations indexed by (kernel, source kind, blend image, bright, transparency).
#include <array>
#include <cstdint>
#include <cstddef>
#include <utility>

#include "core/numbers.h"
#include "softrender/blend_kernels.h"
#include "softrender/memimg.h"
#include "softrender/soft_draw_state.h"

namespace quelt::softblit {

enum class Blitter : uint8_t { Plain, Stretched };

// The kernel for a mode and parameter, or Kernel::Count when the call draws nothing.
// `plain` = no blend image, bright off and no alpha (palette sources count as plain).
inline Kernel SelectKernel(Blitter blitter, bool is16, uint32_t mode, int32_t p, bool plain) {
  switch (ResolveSoftBlendMode(mode, static_cast<uint32_t>(p))) {
    case BlendCopy:
      return Kernel::Copy;
    case BlendAlpha:  // 0 < p < 255
      if (!plain) return Kernel::Mix;
      if (blitter == Blitter::Stretched) return is16 ? Kernel::MixSigned16 : Kernel::Mix;
      if (p == 128) return Kernel::MixHalf;
      return is16 ? Kernel::MixTable6 : Kernel::Mix;
    case BlendAdd:
      return p == 255 && plain && blitter == Blitter::Plain ? Kernel::AddExact : Kernel::Add;
    case BlendSub:
      if (p == 255 && plain && (blitter == Blitter::Plain || !is16)) return Kernel::SubExact;
      return Kernel::Sub;
    case BlendMul:
      return Kernel::Mul;
    case BlendInvertAlpha:
      return Kernel::InvertMix;
    case BlendProductAlpha:
      return Kernel::ProductMix;
    default:
      return Kernel::Count;
  }
}

inline constexpr int kVariantCount = kKernelCount * 3 * 8;

inline constexpr int VariantIndex(Kernel k, SrcKind kind, bool blend, bool bright, bool trans) {
  return ((static_cast<int>(k) * 3 + static_cast<int>(kind)) * 2 + blend) * 4 + bright * 2 + trans;
}

// The 24 entries of one kernel: (source kind, blend image, bright, transparency).
template <bool Is16, template <class> class Loop, class Fn, int KernelIndex>
constexpr void FillKernelEntries(std::array<Fn, kVariantCount>& table) {
  constexpr auto kK = static_cast<Kernel>(KernelIndex);
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (
        [&] {
          constexpr int trans = I & 1;
          constexpr int bright = (I >> 1) & 1;
          constexpr int blend = (I >> 2) & 1;
          constexpr auto kKind = static_cast<SrcKind>(I >> 3);
          if constexpr (VariantExists<Is16, kKind, kK, blend != 0, bright != 0>()) {
            table[KernelIndex * 24 + I] =
                &Loop<Variant<Is16, kKind, kK, blend != 0, bright != 0, trans != 0>>::Run;
          }
        }(),
        ...);
  }(std::make_index_sequence<24>{});
}

// Table of Loop<Variant>::Run for one depth; null where the variant does not exist.
template <bool Is16, template <class> class Loop, class Fn>
constexpr std::array<Fn, kVariantCount> MakeVariantTable() {
  std::array<Fn, kVariantCount> table{};
  [&]<std::size_t... K>(std::index_sequence<K...>) {
    (FillKernelEntries<Is16, Loop, Fn, static_cast<int>(K)>(table), ...);
  }(std::make_index_sequence<kKernelCount>{});
  return table;
}

// What every blitter checks first; fills `kind` and `is16`.
inline bool BlitImagesUsable(const MEMIMG* dest, const MEMIMG* src, const MEMIMG* blendImage,
                             SrcKind* kind, bool* is16) {
  if (!IsValidMemImg(dest) || !IsValidMemImg(src)) return false;
  const MemImgBase& d = *dest->base;
  const MemImgBase& s = *src->base;
  if (s.colourType != d.colourType || d.paletteFlag || d.alphaFlag) return false;
  if (d.colourType != MemImgRgb565 && d.colourType != MemImgXrgb32) return false;
  // A blend image is read at the source's own coordinates: one that is not one byte per
  // pixel or smaller than the source would be read out of bounds, so nothing is drawn.
  if (blendImage != nullptr) {
    if (!IsValidMemImg(blendImage) || blendImage->base->colourType != MemImgByte ||
        blendImage->width < src->width ||
        blendImage->height < src->height) {
      return false;
    }
  }
  *is16 = d.colourType == MemImgRgb565;
  *kind = s.paletteFlag ? SrcKind::Palette : s.alphaFlag ? SrcKind::Alpha : SrcKind::Direct;
  return true;
}

// start + length, held to the int32 range (a far-away position must not wrap round).
inline int32_t SaturatingEnd(int32_t start, int32_t length) {
  const int64_t end = int64_t{start} + length;
  return end > INT32_MAX ? INT32_MAX : static_cast<int32_t>(end);
}

// The loop one blit call runs, read from the current draw state once per call; null when
// the mode draws nothing. `param` receives the clamped blend parameter.
template <class Fn, size_t N>
Fn ChooseBlitLoop(Blitter blitter, bool is16, SrcKind kind, bool blend, bool trans,
                  const std::array<Fn, N>& table16, const std::array<Fn, N>& table32, int32_t* param) {
  const bool bright = BrightIsOn(SoftDraw.BrightColour);
  *param = ClampToByte(SoftDraw.BlendParam);
  const bool plain = !blend && !bright && kind != SrcKind::Alpha;
  const Kernel kernel = SelectKernel(blitter, is16, static_cast<uint32_t>(SoftDraw.BlendMode), *param, plain);
  if (kernel == Kernel::Count) return nullptr;
  return (is16 ? table16 : table32)[VariantIndex(kernel, kind, blend, bright, trans)];
}

}  // namespace quelt::softblit
