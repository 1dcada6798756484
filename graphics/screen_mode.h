#pragma once
// The screen mode: what the program asked for (stored before start-up, used by the start),
// the back end in use, the queries on them, the list of the display's modes and the
// colour codes of the screen's pixel format.
#include <cstdint>

namespace quelt {

struct ColorFormat;

struct ScreenStateRecord {
  int32_t started;          // 1 once StartGraphics succeeded; cleared by ShutdownGraphics
  int32_t width;            // 0 = not set (start-up makes it 640)
  int32_t height;           // 0 = not set (480)
  int32_t colourDepth;      // 16 or 32 on a running screen; 0 = not set (16)
  int32_t refreshRate;      // full screen; 0 = the display's default
  int32_t hardware;         // 1 Direct3D, 0 the software renderer
  int32_t direct3DRefused;  // 1 = do not try Direct3D at the next start
};
extern ScreenStateRecord ScreenState;

inline constexpr int32_t DefaultScreenWidth = 640;
inline constexpr int32_t DefaultScreenHeight = 480;
inline constexpr int32_t DefaultScreenDepth = 16;
// No display, and no Direct3D 9 surface, has a longer side.
inline constexpr int32_t MaxScreenSide = 16384;
// Both sides 1..MaxScreenSide.
bool IsPossibleScreenSize(int32_t width, int32_t height);

// 1 = the program asked for 320 x 240 and runs a 640 x 480 screen shown at double size
// (kept in the draw settings, where it survives their reset).
int SetEmulation320Flag(int32_t flag);
int32_t GetEmulation320Flag();

// -1 once the engine is initialised; else stores the wish (1 = use Direct3D) and returns 0.
int SetHardwareDrawFlag(int32_t flag);
int GetHardwareDrawFlag();

// 0 = the mode is in force (or stored for the start); -1 refused (a size no display can
// have, a depth other than 8, 16 or 32) or another mode in force; -2 fell back to
// 640 x 480 x 16.
int RequestScreenMode(int32_t width, int32_t height, int32_t bits, int32_t refresh);
// -1 in any value keeps it; force 1 rebuilds even when nothing changes. -1 (nothing
// changed) for a size no display can have.
int ChangeScreenMode(int32_t width, int32_t height, int32_t bits, int32_t force, int32_t refresh);
int QueryScreenMode(int32_t* width, int32_t* height, int32_t* depth);
int QueryScreenSizeOrDefault(int32_t* width, int32_t* height);
int32_t GetScreenColourDepth();
int32_t IsFullScreen();

struct ScreenModeValues {
  int32_t width, height, bits, refresh;
  bool operator==(const ScreenModeValues&) const = default;
};
// The result RequestScreenMode gives for the mode it asked for, the mode before and the
// mode in force afterwards.
int ClassifyScreenModeResult(const ScreenModeValues& request, const ScreenModeValues& before,
                             const ScreenModeValues& now);

// The fall-back chain of a mode change: the new mode, 640 x 480 when a refused 320 x 240
// is emulated, the mode before, then 640 x 480 x 16. `start` stores nothing itself: the
// chain writes each mode into ScreenState before calling it. 0 when one started, -1 when
// the chain is exhausted.
using GraphicsStartFn = int (*)();
int StartScreenModeChain(const ScreenModeValues& wanted, const ScreenModeValues& before,
                         GraphicsStartFn start);

struct DisplayModeEntry {
  int32_t width;
  int32_t height;
  int32_t bits;
  int32_t refreshRate;
};
static_assert(sizeof(DisplayModeEntry) == 16);

int32_t CountDisplayModes();
// A copy of entry `index`, or all four fields -1 for an index outside the list.
DisplayModeEntry* GetDisplayModeEntry(DisplayModeEntry* out, int32_t index);
int BuildDisplayModeList();
void FreeDisplayModeList();

// One display mode of the platform's enumeration, or false past the last one.
using DisplayModeEnumFn = bool (*)(void* context, int32_t index, DisplayModeEntry* out);
// Two passes over the enumeration: the first counts the modes of 16 bits or more, the
// second copies at most that many (a display whose list grew in between cannot overflow
// the array). The array comes from `allocate`; returns the count written.
int32_t CollectDisplayModes(DisplayModeEnumFn enumerate, void* context,
                            DisplayModeEntry* (*allocate)(int32_t count), DisplayModeEntry** out);

// The screen's pixel format: X8R8G8B8 / R5G6B5 on Direct3D, the software screen's
// colour type otherwise.
const ColorFormat* GetScreenColorFormat();
uint32_t MakeScreenColourCode(int32_t red, int32_t green, int32_t blue);
int SplitScreenColourCode(uint32_t pixel, int32_t* red, int32_t* green, int32_t* blue);
// The same over a given format (pure; the two above use the screen's).
uint32_t MakeColourCode(const ColorFormat& format, int32_t red, int32_t green, int32_t blue);
void SplitColourCode(const ColorFormat& format, uint32_t pixel, int32_t* red, int32_t* green,
                     int32_t* blue);

// The IDirectDraw7 object or null.
void* GetDirectDrawObject();
// Zero-fills the 380-byte capability record and returns it.
void* GetDirectDrawCaps(void* record);
inline constexpr int32_t DirectDrawCapsSize = 380;
// The DirectDraw pixel format of movie overlays and the primary surface they are shown
// over; the engine offers no overlays, so both are null.
const void* GetOverlayPixelFormat();
void* GetPrimarySurface();

}  // namespace quelt
