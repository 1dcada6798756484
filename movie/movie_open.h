#pragma once
// Opening and closing movies: an Ogg Theora file plays through the engine's own player,
// anything else through DirectShow.
#include <cstdint>

#include "core/engine_handle.h"

namespace quelt {

// The movie handle, or -1 after logging the failure. Width and height may be null. A movie
// opens paused on its first frame.
EngineHandle OpenMovie(const char* path, int32_t* width, int32_t* height, int32_t surfaceMode);
// 0, or -1 for an invalid handle (-1 included) without effect. A Theora movie whose decode
// thread does not stop in time keeps its decoder and file until the thread has stopped.
int CloseMovie(EngineHandle movie);
// Finishes the closes left waiting on a decode thread whose thread has stopped since (each
// frame, from the overlay redraw, and at every open and close): the number still waiting.
int FinishClosingMovies();

}  // namespace quelt
