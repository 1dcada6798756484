#pragma once
// Surviving a lost Direct3D device or a display change: the device is ended and made again,
// every object that lived on it is rebuilt, and the graphs' contents are refilled through the
// graph restore hook.
#include <cstdint>

namespace quelt {

// 0 always; each step logs its own failures. Keeps the back end chosen at start: when
// Direct3D cannot be made again the program runs without a device (drawing nothing) until a
// later call succeeds, and the software back end stays on the software renderer.
int RestoreGraphicsAfterLoss();
// 1 while a restoration could not make the Direct3D device again; the next activation of the
// window tries again.
int32_t IsGraphicsRestorePending();

}  // namespace quelt
