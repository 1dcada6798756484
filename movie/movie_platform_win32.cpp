// The movie table's outside world on Windows: the engine clocks, the sound layer for a
// Theora movie's Vorbis track, and the DirectShow road.
#include "movie/movie_platform.h"

#include <windows.h>

#include "core/clock.h"
#include "movie/movie_dshow.h"
#include "sound/pcm_converter.h"
#include "sound/sound.h"

namespace quelt {

namespace {

int64_t MovieMicroseconds() { return ReadMicrosecondClock(0); }

// The track streams (create type 3) through the older Vorbis path; both settings go back.
int32_t LoadMovieSoundTrack(const char* path) {
  const int32_t savedType = GetSoundCreateType();
  OlderVorbisFlag = 1;
  SetSoundCreateType(3);
  const int32_t sound = LoadSoundFile(path, 1, -1);
  OlderVorbisFlag = 0;
  SetSoundCreateType(savedType);
  return sound;
}

int DeleteSoundTrack(int32_t sound) { return DeleteSoundHandle(sound, 0); }

int DeleteTempCopy(const char* name) { return DeleteFileA(name) ? 0 : -1; }

void UpdateDirectShow(MovieRecord* record, int32_t waitFlag) { UpdateMovieDirectShow(record, waitFlag); }

}  // namespace

MoviePlatformRecord MoviePlatform{
    {MovieMicroseconds, ReadMillisecondClock},
    {LoadMovieSoundTrack, PlaySoundHandle, StopSoundHandle, GetSoundPositionMs, DeleteSoundTrack, GetSoundStatus},
    {OpenMovieDirectShowRecord, CloseMovieDirectShow, UpdateDirectShow, PauseMovieDirectShow,
     RunMovieDirectShow, ReleaseMovieDirectShowObjects, RestoreMovieDirectShowObjects, RedrawMovieOverlay},
    DeleteTempCopy,
};

}  // namespace quelt
