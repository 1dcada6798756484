#include "movie/movie_open.h"

#include <array>

#include "core/log.h"
#include "file/file_access.h"
#include "movie/movie_platform.h"
#include "movie/movie_table.h"

namespace quelt {

namespace {

constexpr int32_t TheoraStockFrames = 10;

// A closed movie's decoder whose thread had not stopped, with the file the thread reads.
struct StoppingTheora {
  TheoraDecoder* decoder;
  FileHandle file;
};
std::array<StoppingTheora, MovieCapacity> Stopping{};

// Frees the decoder once its thread has stopped (within waitMs; -1 = the player's own
// limit), then closes the file. False while the thread still runs: both stay.
bool StopTheora(TheoraDecoder* decoder, FileHandle file, int32_t waitMs) {
  if (TheoraPlayer.close != nullptr && TheoraPlayer.close(decoder, waitMs) != 0) return false;
  FileAccessClose(file);
  return true;
}

void KeepStopping(TheoraDecoder* decoder, FileHandle file) {
  for (StoppingTheora& s : Stopping) {
    if (s.decoder == nullptr) {
      s = {decoder, file};
      return;
    }
  }
  // No room to wait on it: the file stays open for good rather than close under the thread.
}

// The engine's own player takes the file when it is an Ogg Theora stream; its Vorbis track
// becomes a stream sound. false when the file is something else.
bool OpenAsTheora(MovieRecord* record, const char* path, int32_t* width, int32_t* height) {
  if (TheoraPlayer.open == nullptr) return false;
  const FileHandle file = FileAccessOpen(path, 0, 1, 0);
  if (file == 0) return false;
  TheoraDecoder* decoder = TheoraPlayer.open(&FileAccess, file, TheoraStockFrames);
  if (decoder == nullptr) {
    FileAccessClose(file);
    return false;
  }
  record->file = file;
  record->decoder = decoder;
  record->sound = MoviePlatform.sound.loadTrack != nullptr ? MoviePlatform.sound.loadTrack(path) : -1;
  MovieTheoraInfo info{};
  if (TheoraPlayer.info != nullptr) TheoraPlayer.info(decoder, &info);
  record->width = info.width;
  record->height = info.height;
  if (width != nullptr) *width = info.width;
  if (height != nullptr) *height = info.height;
  record->theoraFlag = 1;
  record->currentFrameImage = TheoraPlayer.frameImage != nullptr ? TheoraPlayer.frameImage(decoder) : nullptr;
  record->surfaceMode = 0;
  return true;
}

}  // namespace

int FinishClosingMovies() {
  int waiting = 0;
  for (StoppingTheora& s : Stopping) {
    if (s.decoder == nullptr) continue;
    if (StopTheora(s.decoder, s.file, 0)) {
      s = {};
    } else {
      ++waiting;
    }
  }
  return waiting;
}

EngineHandle OpenMovie(const char* path, int32_t* width, int32_t* height, int32_t surfaceMode) {
  FinishClosingMovies();
  if (path == nullptr || MovieTable.IsFull()) return -1;
  const HandleAlloc<MovieRecord> made = MovieTable.Allocate(__FILE__, __LINE__);
  if (made.failure == HandleAllocFailure::TableFull) return -1;
  if (made.record == nullptr) {
    WriteLogFormat("メモリの確保に失敗しました in OpenMovie");
    return -1;
  }
  MovieRecord* record = made.record;
  const int32_t checkId = record->checkId;
  record->sound = -1;
  record->halfWidth = MovieHalfWidthSetting;

  if (!OpenAsTheora(record, path, width, height)) {
    record->tempFile = 0;
    const int opened = MoviePlatform.directShow.open != nullptr
                           ? MoviePlatform.directShow.open(record, path, width, height, surfaceMode)
                           : -1;
    if (opened < 0) {
      // A copy made before a later step failed would stay in the temporary folder.
      if (record->tempFile == 1 && MoviePlatform.deleteFile != nullptr) MoviePlatform.deleteFile(record->name);
      // A failed open takes no check id: the next movie gets the one this one had.
      MovieTable.Release(made.handle);
      MovieTable.nextCheckId = checkId;
      WriteLogFormat("ムービーファイルオープン処理時にエラーが発生しました");
      return -1;
    }
    record->currentFrameImage = &record->frameImage;
  }
  record->paused = 1;
  record->playing = 0;
  record->playType = 1;
  return made.handle;
}

int CloseMovie(EngineHandle movie) {
  FinishClosingMovies();
  MovieRecord* record = MovieTable.Find(movie);
  if (record == nullptr) return -1;
  if (record->theoraFlag == 1) {
    // The decode thread stops before the file it reads is closed.
    if (!StopTheora(record->decoder, record->file, -1)) KeepStopping(record->decoder, record->file);
    record->file = 0;
    if (MoviePlatform.sound.remove != nullptr) MoviePlatform.sound.remove(record->sound);
    record->decoder = nullptr;
    record->sound = -1;
    record->theoraFlag = 0;
  }
  // DirectShow lets go of the temporary copy before it is deleted: an open file would stay.
  if (MoviePlatform.directShow.close != nullptr) MoviePlatform.directShow.close(record);
  if (record->tempFile == 1) {
    if (MoviePlatform.deleteFile != nullptr) MoviePlatform.deleteFile(record->name);
    record->tempFile = 0;
  }
  return MovieTable.Release(movie);
}

}  // namespace quelt
