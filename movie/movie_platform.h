#pragma once
// What the movie table reaches outside itself, as tables of functions: the clocks, the
// sound track, the Theora player and the DirectShow road. The Windows build fills them
// (movie_platform_win32.cpp); null entries are skipped, so natively no movie opens unless a
// test installs its own.
#include <cstdint>

#include "image/raster_image.h"

namespace quelt {

struct FileAccessTable;
struct MovieRecord;
struct TheoraDecoder;
using FileHandle = uintptr_t;

struct MovieTheoraInfo {
  double framesPerSecond;
  int32_t frameCount;
  int32_t width, height;
};

struct TheoraPlayerOps {
  TheoraDecoder* (*open)(const FileAccessTable* table, FileHandle file, int32_t stockSize);
  // 0 once the decode thread has stopped (within waitMs; -1 = the player's own limit) and
  // everything is freed; -1 while the thread still runs (nothing freed).
  int (*close)(TheoraDecoder* decoder, int32_t waitMs);
  int (*info)(TheoraDecoder* decoder, MovieTheoraInfo* out);
  int32_t (*currentFrame)(TheoraDecoder* decoder);
  int (*advance)(TheoraDecoder* decoder, int32_t frames);
  RasterImage* (*frameImage)(TheoraDecoder* decoder);
  int32_t (*fetch)(TheoraDecoder* decoder, int32_t rgb, int32_t surface);
  void* (*yuvSurface)(TheoraDecoder* decoder);  // IDirect3DSurface9 or null
  // The YUV surface goes with the Direct3D device and comes back after it.
  int (*releaseDevice)(TheoraDecoder* decoder);
  int (*restoreDevice)(TheoraDecoder* decoder);
};
extern TheoraPlayerOps TheoraPlayer;

struct MovieSoundOps {
  // The file's Vorbis track as a stream sound, -1 when it has none.
  int32_t (*loadTrack)(const char* path);
  int (*play)(int32_t sound, int32_t playType, int32_t fromStart);
  int (*stop)(int32_t sound);
  int32_t (*positionMs)(int32_t sound);
  int (*remove)(int32_t sound);
  // 1 while the sound plays, 0 once it has stopped (its end included), -1 for no sound.
  int (*status)(int32_t sound);
};

struct MovieClockOps {
  int64_t (*microseconds)();
  int32_t (*milliseconds)();
};

struct DirectShowOps {
  int (*open)(MovieRecord* record, const char* path, int32_t* width, int32_t* height, int32_t surfaceMode);
  // The release sequence of a closing movie (the temporary copy is the table's).
  void (*close)(MovieRecord* record);
  void (*update)(MovieRecord* record, int32_t waitFlag);
  // 0 when the movie has no video surface (nothing done), 1 after pausing or running.
  int (*pause)(MovieRecord* record);
  int (*run)(MovieRecord* record);
  int (*releaseDeviceObjects)(MovieRecord* record);
  int (*restoreDeviceObjects)(MovieRecord* record);
  int (*redrawOverlay)(MovieRecord* record);
};

struct MoviePlatformRecord {
  MovieClockOps clock;
  MovieSoundOps sound;
  DirectShowOps directShow;
  // Deletes a temporary copy by name.
  int (*deleteFile)(const char* name);
};
extern MoviePlatformRecord MoviePlatform;

}  // namespace quelt
