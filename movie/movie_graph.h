#pragma once
// Movies shown in graphs: the graph a movie file opens as, and the delivery of each new
// frame into that graph's textures or memory image.
#include <cstdint>

namespace quelt {

struct MovieRecord;

// A graph showing the movie file, or -1 after logging the failed load.
int32_t OpenMovieGraph(const char* path, int32_t surfaceMode);
// Installed on movies shown in a graph (user data = the graph handle).
int32_t MovieFrameCallback(MovieRecord* movie, int32_t graph);

}  // namespace quelt
