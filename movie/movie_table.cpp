#include "movie/movie_table.h"

namespace quelt {

MovieTableType MovieTable;

MovieRecord* GetMovieRecord(EngineHandle movie) { return MovieTable.Find(movie); }

int SetMovieFrameCallback(EngineHandle movie, MovieFrameCallbackFn callback, int32_t user_data) {
  MovieRecord* record = MovieTable.Find(movie);
  if (record == nullptr) return -1;
  record->frameCallback = callback;
  record->userData = user_data;
  return 0;
}

// The decoders that move a movie's frame arrive with the movie players; until a movie can
// be opened the table stays empty and every walk below finds nothing to do.

int UpdateMovieFrame(EngineHandle movie, int32_t /*wait_flag*/) {
  MovieRecord* record = MovieTable.Find(movie);
  if (record == nullptr) return 0;
  if (record->frameCallback != nullptr) {
    record->frameCallback(record, record->userData);
    record->frameUpdated = 1;
  }
  return 0;
}

int PauseAllMovies() {
  MovieTable.ForEachLive([](EngineHandle handle) {
    MovieRecord* record = MovieTable.Find(handle);
    if (record->paused == 1) return;
    record->paused = 1;  // playing stays set: the movie resumes on activation
  });
  return 0;
}

int ResumeAllMovies() {
  MovieTable.ForEachLive([](EngineHandle handle) {
    MovieRecord* record = MovieTable.Find(handle);
    if (record->paused != 1 || record->playing != 1) return;
    if (record->playType == 0) record->playType = 1;
    record->paused = 0;
  });
  return 0;
}

int RedrawMovieOverlays() { return 0; }

int ReleaseMovieDeviceObjects() { return 0; }

int RestoreMovieDeviceObjects() { return 0; }

}  // namespace quelt
