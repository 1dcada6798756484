#pragma once
// The blend modes of the draw state, shared by both renderers and by text drawing. The
// numbers are those of the engine's interface (the program selects a mode by number), so
// they never change. The software renderer draws modes 0-4, 10 and 11 and nothing in the
// others; Direct3D draws every mode below BlendModeCount.
#include <cstdint>

namespace quelt {

enum BlendMode : int32_t {
  BlendCopy = 0,
  BlendAlpha = 1,          // towards the source by the parameter
  BlendAdd = 2,
  BlendSub = 3,
  BlendMul = 4,
  BlendDeviceAdd = 5,      // Direct3D only: mode 2's device states (the subtract emulation's add)
  BlendDeviceOff6 = 6,     // Direct3D only: blending off
  BlendDeviceOff7 = 7,     // Direct3D only: blending off
  BlendKeepDest = 8,       // Direct3D only: the destination kept
  BlendInvertDest = 9,     // Direct3D only: the source times the inverted destination
  BlendInvertAlpha = 10,   // towards the inverted source
  BlendProductAlpha = 11,  // towards destination x source
  BlendRevSub = 12,        // Direct3D only: subtracted by the device's reverse subtraction
  BlendModeCount = 13,
};
static_assert(BlendCopy == 0 && BlendSub == 3 && BlendKeepDest == 8 && BlendInvertAlpha == 10 &&
              BlendRevSub == 12 && BlendModeCount == 13);

// The software renderer's mode table: modes 0-11; 12 and above draw nothing.
inline constexpr int32_t SoftBlendModeCount = 12;
static_assert(SoftBlendModeCount == BlendProductAlpha + 1);

// What ResolveSoftBlendMode gives for a call that draws nothing.
inline constexpr int32_t SoftDrawsNothing = -1;

// The blend-mode entry of every software draw, before any variant: the mode whose loops
// run, or SoftDrawsNothing. Modes 5-9 and 12 and above draw nothing; alpha at parameter
// 255 runs the copy; alpha, add and subtract at parameter 0 draw nothing, except subtract
// where `subtractDrawsAtZero` (the pixel stage's palette families, which have no test).
constexpr int32_t ResolveSoftBlendMode(uint32_t mode, uint32_t param, bool subtractDrawsAtZero = false) {
  switch (mode) {
    case BlendCopy:
    case BlendMul:
    case BlendInvertAlpha:
    case BlendProductAlpha:
      return static_cast<int32_t>(mode);
    case BlendAlpha:
      if (param == 0) return SoftDrawsNothing;
      return param == 255 ? BlendCopy : BlendAlpha;
    case BlendAdd:
      return param != 0 ? BlendAdd : SoftDrawsNothing;
    case BlendSub:
      return param != 0 || subtractDrawsAtZero ? BlendSub : SoftDrawsNothing;
    default:
      return SoftDrawsNothing;
  }
}

}  // namespace quelt
