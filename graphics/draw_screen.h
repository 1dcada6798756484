#pragma once
// The current draw screen (back screen, front screen or a drawable graph), its selection
// and erasing, the software screen's memory images, and the present bookkeeping.
#include <cstdint>

#include "softrender/memimg.h"

namespace quelt {

extern MEMIMG ScreenMemImg;
extern MEMIMG FontWorkMemImg;
extern MEMIMG FontWorkAlphaMemImg;
// The software path's current target: ScreenMemImg or a graph's own MEMIMG.
extern MEMIMG* DrawScreenMemImg;

// The window timer of the front screen.
inline constexpr uintptr_t FrontScreenTimerId = 0x7FFF;
inline constexpr uint32_t FrontScreenTimerMs = 32;

// 0, or -1 when graphics are not started, for a value that is neither a screen nor a live
// drawable graph. -3 and -5 are taken as -2.
int SelectDrawScreen(int32_t screen);
int QueryDrawScreen();
// Fills the draw screen with BackgroundColour (and the Z buffer with 1.0). -1 when
// graphics are not running.
int EraseDrawScreen();
// The software screen: the screen MEMIMG, the two font work images, cleared to the
// background colour. -1 (with its log line) when the screen image cannot be made.
int StartSoftwareScreen();
void ReleaseSoftwareScreen();

int SetVSyncWait(int32_t on);
int GetVSyncWait();
uint64_t GetPresentCounter();

}  // namespace quelt
