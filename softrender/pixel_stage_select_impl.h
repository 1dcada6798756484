#pragma once
// Builds the loop tables of one walk and one destination depth; included only by the
// files that instantiate them (one per walk and depth, so they compile in parallel).
#include <array>
#include <cstddef>
#include <utility>

#include "softrender/pixel_stage_select.h"

namespace quelt {

template <class Walk, template <uint32_t, bool, bool, bool> class Formula, class Source,
          uint32_t Mode>
struct VariantTable {
  template <size_t I>
  using OpAt = PixelOp<Formula, Source, Mode, (I & 4) != 0, (I & 2) != 0, (I & 1) != 0>;

  template <size_t... I>
  static constexpr std::array<PixelLoopFn<Walk>, 8> Make(std::index_sequence<I...>) {
    return {&PixelLoop<Walk, OpAt<I>>...};
  }
  static constexpr std::array<PixelLoopFn<Walk>, 8> kLoops = Make(std::make_index_sequence<8>());

  static PixelLoopFn<Walk> Pick(const PixelLoopKey& key) {
    if constexpr (Source::kKind == PixelSource::Colour) {
      return &PixelLoop<Walk, OpAt<0>>;  // the fill has no variants
    } else {
      return kLoops[size_t{key.blend} * 4 + size_t{key.bright} * 2 + size_t{key.trans}];
    }
  }
};

template <class Walk, template <uint32_t, bool, bool, bool> class Formula, class Source>
PixelLoopFn<Walk> PickModeLoop(const PixelLoopKey& key) {
  switch (key.mode) {
    case BlendCopy: return VariantTable<Walk, Formula, Source, BlendCopy>::Pick(key);
    case BlendAlpha: return VariantTable<Walk, Formula, Source, BlendAlpha>::Pick(key);
    case BlendAdd: return VariantTable<Walk, Formula, Source, BlendAdd>::Pick(key);
    case BlendSub: return VariantTable<Walk, Formula, Source, BlendSub>::Pick(key);
    case BlendMul: return VariantTable<Walk, Formula, Source, BlendMul>::Pick(key);
    case BlendInvertAlpha: return VariantTable<Walk, Formula, Source, BlendInvertAlpha>::Pick(key);
    case BlendProductAlpha: return VariantTable<Walk, Formula, Source, BlendProductAlpha>::Pick(key);
    default: return nullptr;
  }
}

template <class Walk, template <uint32_t, bool, bool, bool> class Formula, class Direct,
          class Alpha, class Palette, bool kWithFill>
PixelLoopFn<Walk> PickSourceLoop(const PixelLoopKey& key) {
  switch (key.source) {
    case PixelSource::Direct: return PickModeLoop<Walk, Formula, Direct>(key);
    case PixelSource::Alpha: return PickModeLoop<Walk, Formula, Alpha>(key);
    case PixelSource::Palette: return PickModeLoop<Walk, Formula, Palette>(key);
    case PixelSource::Colour:
      if constexpr (kWithFill) return PickModeLoop<Walk, Formula, ColourSource>(key);
      return nullptr;
  }
  return nullptr;
}

// Only the triangle walk has a solid fill.
template <class Walk>
inline constexpr bool kWalkHasFill = std::is_same_v<Walk, TriangleWalk>;

template <class Walk>
PixelLoopFn<Walk> SelectPixelLoop32(const PixelLoopKey& key) {
  return PickSourceLoop<Walk, Formula32, Direct32Source, Alpha32Source, Palette32Source,
                        kWalkHasFill<Walk>>(key);
}

template <class Walk>
PixelLoopFn<Walk> SelectPixelLoop16(const PixelLoopKey& key) {
  return PickSourceLoop<Walk, Formula16, Direct16Source, Alpha16Source, Palette16Source,
                        kWalkHasFill<Walk>>(key);
}

}  // namespace quelt
