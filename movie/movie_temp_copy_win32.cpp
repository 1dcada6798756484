#include "movie/movie_temp_copy.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "core/tracked_alloc.h"
#include "file/file_access.h"
#include "file/win32_file.h"

namespace quelt {

int CopyMovieToTempFile(const char* path, char* nameOut) {
  const FileHandle source = FileAccessOpen(path, 0, 1, 0);
  if (source == 0) return -1;
  FileAccessSeek(source, 0, SEEK_END);
  const int32_t size = FileAccessTell(source);
  FileAccessSeek(source, 0, SEEK_SET);
  auto* buffer = static_cast<uint8_t*>(TrackedAlloc(MovieCopyChunkBytes, __FILE__, __LINE__));
  HANDLE copy = buffer != nullptr ? static_cast<HANDLE>(CreateTempFile(nameOut)) : nullptr;
  if (copy == nullptr) {
    TrackedFree(buffer);
    FileAccessClose(source);
    return -1;
  }
  // Each chunk writes what the read gave: a short read ends the copy as a failure rather
  // than padding it with what the buffer held before.
  int32_t remaining = size < 0 ? 0 : size;
  while (remaining > 0) {
    const int32_t chunk = std::min(MovieCopyChunkBytes, remaining);
    const int32_t got = FileAccessRead(buffer, 1, chunk, source);
    if (got <= 0) break;
    DWORD written = 0;
    if (!WriteFile(copy, buffer, static_cast<DWORD>(got), &written, nullptr) || written != static_cast<DWORD>(got))
      break;
    remaining -= got;
  }
  CloseHandle(copy);
  FileAccessClose(source);
  TrackedFree(buffer);
  if (remaining != 0 || size < 0) {
    DeleteFileA(nameOut);
    return -1;
  }
  return 0;
}

}  // namespace quelt
