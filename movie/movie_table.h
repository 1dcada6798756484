#pragma once
// Movie handles (kind 3, 100 slots, first empty slot), the movie record, the timing of each
// movie and the delivery of its frames through a callback, and the operations the engine
// core and graphics call on every open movie: pause and resume on window activation,
// overlay redraws from the pump, and release/restore of device objects around a reset.
#include <cstdint>

#include "core/engine_handle.h"
#include "image/raster_image.h"

namespace quelt {

struct MovieRecord;
struct TheoraDecoder;
using MovieFrameCallbackFn = int32_t (*)(MovieRecord* record, int32_t user_data);

// Layout of a Windows RECT.
struct MovieRect {
  int32_t left, top, right, bottom;
};

// The DirectShow and DirectDraw objects of a DirectShow movie; null when not held.
struct DirectShowObjects {
  void* multiMediaStream;      // IAMMultiMediaStream
  void* videoStream;           // IMediaStream of the primary video
  void* amMediaStream;         // IAMMediaStream
  void* ddrawMediaStream;      // IDirectDrawMediaStream
  void* sample;                // IDirectDrawStreamSample
  void* sampleSurface;         // IDirectDrawSurface of the sample
  void* surface7;              // IDirectDrawSurface7
  void* surface4;              // IDirectDrawSurface4
  void* ddraw4;                // IDirectDraw4
  void* graphBuilder;          // IGraphBuilder
  void* mediaControl;          // IMediaControl
  void* mediaSeeking;          // IMediaSeeking
  void* basicAudio;            // IBasicAudio
};

inline constexpr int32_t MovieNameBytes = 260;

struct MovieRecord {
  int32_t checkId;
  int32_t playType;    // 1 at open; bit 1 (2) = loop
  int32_t theoraFlag;  // 1 = the engine's own Theora decoder plays it
  TheoraDecoder* decoder;
  int64_t startTime;   // microseconds at which frame 0 would have been shown
  uintptr_t file;      // Theora: the FileHandle the decoder reads
  int32_t sound;       // Theora: the Vorbis track's sound handle, -1 = none
  MovieRect sampleRect;
  DirectShowObjects ds;
  int64_t lastPresentCounter;  // -1 = none
  int32_t lastUpdateTime;      // milliseconds, -1 = none
  int32_t width, height;
  int32_t halfWidth;     // the frame holds its alpha values in the right half
  int32_t playing;       // 1 while the movie counts as playing (resume target)
  int32_t paused;        // 1 while time does not advance
  int32_t frameUpdated;  // 1 after every frame delivery
  int32_t surfaceMode;
  int64_t savedPosition;  // DirectShow stream time kept over a device reset
  int32_t tempFile;       // 1 when name is a temporary copy to delete at close
  char name[MovieNameBytes];
  void* updateEvent;      // manual-reset event of asynchronous sample updates
  int32_t updatePending;
  RasterImage frameImage;  // DirectShow: the sample surface's format and the frame buffer
  RasterImage* currentFrameImage;
  int32_t overlayX, overlayY, overlayScale;
  int32_t overlayShown;
  MovieRect overlaySource, overlayDest;
  MovieFrameCallbackFn frameCallback;
  int32_t userData;
};

inline constexpr int32_t MovieCapacity = 100;
inline constexpr int32_t MovieLoopBit = 2;

using MovieTableType = HandleTable<MovieRecord, MovieCapacity, HandleKind::Movie,
                                   SlotChoice::FirstEmpty, &MovieRecord::checkId>;
extern MovieTableType MovieTable;

// Copied into every new movie; nothing changes it (it stays 0).
extern int32_t MovieHalfWidthSetting;

MovieRecord* GetMovieRecord(EngineHandle movie);
int SetMovieFrameCallback(EngineHandle movie, MovieFrameCallbackFn callback, int32_t user_data);
// Always 0; an invalid handle does nothing.
int UpdateMovieFrame(EngineHandle movie, int32_t wait_flag);
// Starts a movie's time from its shown frame (play type 0 = 1; bit 1 loops): 0, or -1
// for an invalid handle or a DirectShow movie without a video surface.
int PlayMovie(EngineHandle movie, int32_t play_type);
// 1 while the movie plays, 0 while it is paused, opened or ended, -1 for an invalid handle.
int GetMovieStatus(EngineHandle movie);
// Stops the movie's time; with keep_resume it plays again at the next ResumeAllMovies.
int PauseMovie(EngineHandle movie, int32_t keep_resume);
int PauseAllMovies();
int ResumeAllMovies();
int RedrawMovieOverlays();
int ReleaseMovieDeviceObjects();
int RestoreMovieDeviceObjects();

}  // namespace quelt
