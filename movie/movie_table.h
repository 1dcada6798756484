#pragma once
// Movie handles (kind 3, 100 slots, first empty slot) and the operations the engine core
// and graphics call on every open movie: pause and resume on window activation, overlay
// redraws from the pump, and release/restore of device objects around a display change.
#include <cstdint>

#include "core/engine_handle.h"

namespace quelt {

struct MovieRecord;
using MovieFrameCallbackFn = int32_t (*)(MovieRecord* record, int32_t user_data);

struct MovieRecord {
  int32_t checkId;
  int32_t playType;    // 1 at open; bit 1 = loop
  int32_t theoraFlag;  // 1 = the engine's own Theora decoder plays it
  int32_t width;
  int32_t height;
  int32_t playing;
  int32_t paused;
  int32_t frameUpdated;
  int32_t surfaceMode;
  MovieFrameCallbackFn frameCallback;
  int32_t userData;
};

inline constexpr int32_t MovieCapacity = 100;

using MovieTableType = HandleTable<MovieRecord, MovieCapacity, HandleKind::Movie,
                                   SlotChoice::FirstEmpty, &MovieRecord::checkId>;
extern MovieTableType MovieTable;

MovieRecord* GetMovieRecord(EngineHandle movie);
int SetMovieFrameCallback(EngineHandle movie, MovieFrameCallbackFn callback, int32_t user_data);
int UpdateMovieFrame(EngineHandle movie, int32_t wait_flag);
int PauseAllMovies();
int ResumeAllMovies();
int RedrawMovieOverlays();
int ReleaseMovieDeviceObjects();
int RestoreMovieDeviceObjects();

}  // namespace quelt
