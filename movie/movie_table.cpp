#include "movie/movie_table.h"

#include "core/numbers.h"
#include "movie/movie_open.h"
#include "movie/movie_platform.h"

namespace quelt {

MovieTableType MovieTable;
int32_t MovieHalfWidthSetting = 0;

namespace {

MovieTheoraInfo TheoraInfoOf(const MovieRecord* record) {
  MovieTheoraInfo info{};
  if (TheoraPlayer.info != nullptr) TheoraPlayer.info(record->decoder, &info);
  return info;
}

int64_t MicrosecondsNow() {
  return MoviePlatform.clock.microseconds != nullptr ? MoviePlatform.clock.microseconds() : 0;
}

// The frame the movie's time points at: from the sound track's position when the movie has
// one (64-bit microseconds, so long tracks keep their timing), else from the clock.
int32_t TheoraTargetFrame(const MovieRecord* record, double fps, int32_t frames) {
  const bool loop = (record->playType & MovieLoopBit) != 0;
  if (record->sound != -1) {
    const int32_t ms = MoviePlatform.sound.positionMs != nullptr ? MoviePlatform.sound.positionMs(record->sound) : 0;
    const int64_t position = static_cast<int64_t>(ms) * 1000;
    int32_t f = DoubleToInt(static_cast<double>(position) * fps * 0.000001);
    if (f < 0) f = 0;
    return f >= frames ? frames - 1 : f;
  }
  const int64_t elapsed = MicrosecondsNow() - record->startTime;
  int32_t f = DoubleToInt(static_cast<double>(elapsed) * fps * 0.000001);
  if (f < 0) f = 0;
  if (f >= frames) f = loop ? f % frames : frames - 1;
  return f;
}

// The track stopped by itself: the movie's own pause stops it only while the movie is paused.
bool SoundTrackEnded(const MovieRecord* record) {
  return MoviePlatform.sound.status != nullptr && MoviePlatform.sound.status(record->sound) != 1;
}

void UpdateTheoraFrame(MovieRecord* record) {
  const MovieTheoraInfo info = TheoraInfoOf(record);
  const int32_t frames = info.frameCount;
  if (record->paused == 0 && frames > 0 && info.framesPerSecond > 0 && TheoraPlayer.currentFrame != nullptr) {
    const int32_t f = TheoraTargetFrame(record, info.framesPerSecond, frames);
    const int32_t c = TheoraPlayer.currentFrame(record->decoder);
    if (f != c) {
      if (TheoraPlayer.advance != nullptr) TheoraPlayer.advance(record->decoder, f > c ? f - c : frames - c + f);
    } else if (f == frames - 1 && (record->playType & MovieLoopBit) == 0 && record->sound == -1) {
      record->playing = 0;  // the movie has ended
      record->paused = 1;
    }
    // A movie timed by its sound track ends with the track, on the frame the track reached.
    if (record->sound != -1 && (record->playType & MovieLoopBit) == 0 && SoundTrackEnded(record)) {
      record->playing = 0;
      record->paused = 1;
    }
  }
  if (record->frameCallback != nullptr) {
    record->frameCallback(record, record->userData);
    record->frameUpdated = 1;
  }
}

// The clock restarts from the shown frame, so a paused movie continues where it stood. The
// frame's time is truncated to whole microseconds, which can land just before the frame
// begins (9 / 30 s is 299999.99... us): one microsecond more keeps the first update after a
// resume on the shown frame instead of the one before it, which only a wrap would reach.
void RestartTheoraClock(MovieRecord* record) {
  const MovieTheoraInfo info = TheoraInfoOf(record);
  const int32_t c = TheoraPlayer.currentFrame != nullptr ? TheoraPlayer.currentFrame(record->decoder) : 0;
  int64_t shown = 0;
  if (info.framesPerSecond > 0 && c > 0) shown = DoubleToInt(c / info.framesPerSecond * 1000000.0) + 1;
  record->startTime = MicrosecondsNow() - shown;
}

// Starts the time of a movie again: 0, or -1 for a DirectShow movie without a video surface.
int RunMovie(MovieRecord* record, int32_t playType) {
  if (record->theoraFlag == 1) {
    RestartTheoraClock(record);
    if (MoviePlatform.sound.play != nullptr) MoviePlatform.sound.play(record->sound, playType, 0);
    return 0;
  }
  if (MoviePlatform.directShow.run == nullptr || MoviePlatform.directShow.run(record) == 0) return -1;
  return 0;
}

}  // namespace

MovieRecord* GetMovieRecord(EngineHandle movie) { return MovieTable.Find(movie); }

int SetMovieFrameCallback(EngineHandle movie, MovieFrameCallbackFn callback, int32_t user_data) {
  MovieRecord* record = MovieTable.Find(movie);
  if (record == nullptr) return -1;
  record->frameCallback = callback;
  record->userData = user_data;
  return 0;
}

int UpdateMovieFrame(EngineHandle movie, int32_t wait_flag) {
  MovieRecord* record = MovieTable.Find(movie);
  if (record == nullptr) return 0;
  if (record->theoraFlag == 1) {
    UpdateTheoraFrame(record);
  } else if (MoviePlatform.directShow.update != nullptr) {
    MoviePlatform.directShow.update(record, wait_flag);
  }
  return 0;
}

int PlayMovie(EngineHandle movie, int32_t play_type) {
  MovieRecord* record = MovieTable.Find(movie);
  if (record == nullptr) return -1;
  const int32_t type = play_type == 0 ? 1 : play_type;
  if (record->playing == 1 && record->paused == 0) {
    record->playType = type;
    return 0;
  }
  if (RunMovie(record, type) < 0) return -1;
  record->playType = type;
  record->paused = 0;
  record->playing = 1;
  return 0;
}

int GetMovieStatus(EngineHandle movie) {
  const MovieRecord* record = MovieTable.Find(movie);
  if (record == nullptr) return -1;
  return record->playing == 1 && record->paused == 0 ? 1 : 0;
}

int PauseMovie(EngineHandle movie, int32_t keep_resume) {
  MovieRecord* record = MovieTable.Find(movie);
  if (record == nullptr) return -1;
  if (record->paused == 1) return 0;
  if (record->theoraFlag == 1) {
    if (MoviePlatform.sound.stop != nullptr) MoviePlatform.sound.stop(record->sound);
    UpdateMovieFrame(movie, 0);
  } else if (MoviePlatform.directShow.pause == nullptr || MoviePlatform.directShow.pause(record) == 0) {
    return 0;
  }
  record->paused = 1;
  if (keep_resume == 0) record->playing = 0;
  return 0;
}

int PauseAllMovies() {
  MovieTable.ForEachLive([](EngineHandle handle) { PauseMovie(handle, 1); });
  return 0;
}

int ResumeAllMovies() {
  MovieTable.ForEachLive([](EngineHandle handle) {
    MovieRecord* record = MovieTable.Find(handle);
    if (record->paused != 1 || record->playing != 1) return;
    const int32_t type = record->playType == 0 ? 1 : record->playType;
    if (RunMovie(record, type) < 0) return;
    record->paused = 0;
    record->playType = type;
    record->playing = 1;
  });
  return 0;
}

namespace {

template <typename Fn>
int ForEachMovie(Fn&& fn) {
  int result = 0;
  for (int32_t slot = 0; slot < MovieCapacity && result == 0; ++slot) {
    MovieRecord* record = MovieTable.records[static_cast<size_t>(slot)];
    if (record != nullptr) result = fn(record);
  }
  return result;
}

}  // namespace

int RedrawMovieOverlays() {
  FinishClosingMovies();
  ForEachMovie([](MovieRecord* record) {
    if (record->theoraFlag == 0 && MoviePlatform.directShow.redrawOverlay != nullptr)
      MoviePlatform.directShow.redrawOverlay(record);
    return 0;
  });
  return 0;
}

int ReleaseMovieDeviceObjects() {
  ForEachMovie([](MovieRecord* record) {
    if (record->theoraFlag == 1) {
      if (TheoraPlayer.releaseDevice != nullptr) TheoraPlayer.releaseDevice(record->decoder);
    } else if (MoviePlatform.directShow.releaseDeviceObjects != nullptr) {
      MoviePlatform.directShow.releaseDeviceObjects(record);
    }
    return 0;
  });
  return 0;
}

int RestoreMovieDeviceObjects() {
  return ForEachMovie([](MovieRecord* record) {
    if (record->theoraFlag == 1) {
      if (TheoraPlayer.restoreDevice != nullptr) TheoraPlayer.restoreDevice(record->decoder);
      // The graph's textures came back empty: the next update copies the shown frame again.
      record->frameUpdated = 0;
      return 0;
    }
    if (MoviePlatform.directShow.restoreDeviceObjects == nullptr) return 0;
    return MoviePlatform.directShow.restoreDeviceObjects(record) < 0 ? -1 : 0;
  });
}

}  // namespace quelt
