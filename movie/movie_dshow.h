#pragma once
// The DirectShow road of movies (Windows only): opening a movie file through DirectShow
// multimedia streaming into a DirectDraw surface, frame updates, pause and run, the release
// of its objects at close and around a device reset, and the overlay of surface mode 1.
#include <cstdint>

#include "core/engine_handle.h"

namespace quelt {

struct MovieRecord;

// ddraw is the engine's IDirectDraw7. 0, or -1 after logging the failing step.
int OpenMovieDirectShow(void* ddraw, MovieRecord* record, const char* path, int32_t* widthOut, int32_t* heightOut,
                        int32_t mode);
// The same with the engine's DirectDraw object.
int OpenMovieDirectShowRecord(MovieRecord* record, const char* path, int32_t* width, int32_t* height, int32_t mode);
void UpdateMovieDirectShow(MovieRecord* record, int32_t waitFlag);
// 0 without a video surface (nothing done), else 1.
int PauseMovieDirectShow(MovieRecord* record);
int RunMovieDirectShow(MovieRecord* record);
void CloseMovieDirectShow(MovieRecord* record);
int ReleaseMovieDirectShowObjects(MovieRecord* record);
int RestoreMovieDirectShowObjects(MovieRecord* record);
int RedrawMovieOverlay(MovieRecord* record);

// DirectShow's OpenFile of a multimedia stream (replaceable by tests): an HRESULT. The
// open runs on a thread of its own and is given up after MovieOpenWaitLimitMs (10000).
extern long (*MovieStreamOpenFile)(void* stream, const wchar_t* path);
extern int32_t MovieOpenWaitLimitMs;
// Waits for the opens given up on to return and let go of their objects (the shutdown calls
// it before the graphics end).
void FinishAbandonedMovieOpens();
// 0, or -1 for an invalid handle.
int DrawMovieOverlay(int32_t x, int32_t y, int32_t scale, EngineHandle movie, int32_t show);

}  // namespace quelt
