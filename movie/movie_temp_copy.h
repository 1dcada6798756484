#pragma once
// A temporary copy of a movie file that DirectShow cannot open where it is (a file inside
// an archive), made through the engine's file access (Windows only).
#include <cstdint>

namespace quelt {

// Bytes moved per read and write.
inline constexpr int32_t MovieCopyChunkBytes = 1048576;

// Copies the file into a new temporary file whose full name (260 bytes) goes to nameOut.
// 0, or -1 when the source cannot be read whole or the copy cannot be written whole (the
// partial copy is deleted).
int CopyMovieToTempFile(const char* path, char* nameOut);

}  // namespace quelt
