#pragma once
// Opening and closing movies. No movie player is built in yet: every open fails as an
// open without a decoder does, and closing frees a record of the movie table.
#include <cstdint>

#include "core/engine_handle.h"

namespace quelt {

// The movie handle, or -1 after logging the failure. Width and height may be null.
EngineHandle OpenMovie(const char* path, int32_t* width, int32_t* height, int32_t surfaceMode);
// 0, or -1 for an invalid handle (-1 included) without effect.
int CloseMovie(EngineHandle movie);

}  // namespace quelt
