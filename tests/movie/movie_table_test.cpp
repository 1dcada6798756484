// The movie table over a scripted clock, sound track, Theora player and DirectShow road:
// handles and check ids, the timing of Theora movies against the clock and the sound
// position, pause and resume, the end of a movie, and the order of a close.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "file/file_access.h"
#include "movie/movie_open.h"
#include "movie/movie_platform.h"
#include "movie/movie_table.h"

namespace {

using namespace quelt;

// --- The scripted world -------------------------------------------------------------------------

struct FakeDecoder {
  int32_t current = 0;
  int32_t frames = 40;
  double fps = 20.0;
  std::vector<int32_t> advances;
  bool closed = false;
};

struct World {
  int64_t now = 1000000;
  int32_t soundMs = 0;
  bool theora = true;   // files open as Theora movies
  bool withSound = false;
  bool directShowOpens = true;
  bool soundPlaying = true;   // the track's status while the movie plays
  bool threadStops = true;    // the decode thread stops when the decoder is closed
  std::vector<std::string> events;
  FakeDecoder decoder;
  RasterImage frame{};
};
World W;

int64_t Now() { return W.now; }
int32_t Millis() { return static_cast<int32_t>(W.now / 1000); }
int32_t LoadTrack(const char*) { return W.withSound ? 0x10000005 : -1; }
int PlaySound(int32_t sound, int32_t type, int32_t from) {
  W.events.push_back("play " + std::to_string(sound) + " " + std::to_string(type) + " " + std::to_string(from));
  return sound == -1 ? -1 : 0;
}
int StopSound(int32_t sound) {
  W.events.push_back("stop " + std::to_string(sound));
  return sound == -1 ? -1 : 0;
}
int32_t SoundPosition(int32_t) { return W.soundMs; }
int SoundStatus(int32_t sound) { return sound == -1 ? -1 : W.soundPlaying ? 1 : 0; }
int RemoveSound(int32_t sound) {
  W.events.push_back("delete sound " + std::to_string(sound));
  return 0;
}
int DeleteCopy(const char* name) {
  W.events.push_back(std::string("delete file ") + name);
  return 0;
}

TheoraDecoder* AsDecoder(FakeDecoder* d) { return reinterpret_cast<TheoraDecoder*>(d); }
FakeDecoder* Fake(TheoraDecoder* d) { return reinterpret_cast<FakeDecoder*>(d); }

TheoraDecoder* OpenDecoder(const FileAccessTable*, FileHandle, int32_t stock) {
  EXPECT_EQ(stock, 10);
  return W.theora ? AsDecoder(&W.decoder) : nullptr;
}
int CloseDecoder(TheoraDecoder* d, int32_t waitMs) {
  W.events.push_back("close decoder " + std::to_string(waitMs));
  if (!W.threadStops) return -1;
  Fake(d)->closed = true;
  return 0;
}
int Info(TheoraDecoder* d, MovieTheoraInfo* info) {
  *info = MovieTheoraInfo{Fake(d)->fps, Fake(d)->frames, 64, 48};
  return 0;
}
int32_t Current(TheoraDecoder* d) { return Fake(d)->current; }
int Advance(TheoraDecoder* d, int32_t n) {
  FakeDecoder* f = Fake(d);
  f->advances.push_back(n);
  if (n > 0) f->current = (f->current + n) % f->frames;
  return 0;
}
RasterImage* FrameImage(TheoraDecoder*) { return &W.frame; }
int ReleaseDevice(TheoraDecoder*) {
  W.events.push_back("release yuv surface");
  return 0;
}
int RestoreDevice(TheoraDecoder*) {
  W.events.push_back("restore yuv surface");
  return 0;
}
int DsRelease(MovieRecord*) {
  W.events.push_back("release directshow objects");
  return 0;
}
int DsRestore(MovieRecord*) {
  W.events.push_back("restore directshow objects");
  return W.directShowOpens ? 0 : -1;
}

int DsOpen(MovieRecord* record, const char* path, int32_t* w, int32_t* h, int32_t) {
  if (!W.directShowOpens) return -1;
  record->width = 32;
  record->height = 16;
  if (w) *w = 32;
  if (h) *h = 16;
  if (std::string(path).find("packed/") == 0) {
    record->tempFile = 1;
    std::snprintf(record->name, sizeof record->name, "C:\\temp\\tmp1.tmp");
  }
  return 0;
}
void DsClose(MovieRecord*) { W.events.push_back("release directshow"); }

// Files (the table only opens and closes them).
FileHandle OpenFile(const char*, int32_t, int32_t, int32_t) { return 7; }
int32_t CloseFile(FileHandle) {
  W.events.push_back("close file");
  return 0;
}

int32_t Callbacks = 0;
int32_t LastUserData = 0;
int32_t CountCallback(MovieRecord*, int32_t user) {
  ++Callbacks;
  LastUserData = user;
  return 0;
}

class Movies : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPlatform = MoviePlatform;
    savedTheora = TheoraPlayer;
    savedFiles = FileAccess;
    W = World{};
    Callbacks = 0;
    MoviePlatform.clock = {Now, Millis};
    MoviePlatform.sound = {LoadTrack, PlaySound, StopSound, SoundPosition, RemoveSound, SoundStatus};
    MoviePlatform.directShow = DirectShowOps{};
    MoviePlatform.directShow.open = DsOpen;
    MoviePlatform.directShow.close = DsClose;
    MoviePlatform.directShow.releaseDeviceObjects = DsRelease;
    MoviePlatform.directShow.restoreDeviceObjects = DsRestore;
    MoviePlatform.deleteFile = DeleteCopy;
    TheoraPlayer = TheoraPlayerOps{OpenDecoder, CloseDecoder, Info,    Current,      Advance,
                                   FrameImage,  nullptr,      nullptr, ReleaseDevice, RestoreDevice};
    FileAccessTable files = FileAccess;
    files.open = OpenFile;
    files.close = CloseFile;
    SetFileAccessTable(&files);
  }
  void TearDown() override {
    for (int32_t slot = 0; slot < MovieCapacity; ++slot) CloseMovie(quelt::MovieTable.HandleOfSlot(slot));
    quelt::MovieTable.Reset();
    SetFileAccessTable(&savedFiles);
    MoviePlatform = savedPlatform;
    TheoraPlayer = savedTheora;
  }
  // A Theora movie of n frames at fps, playing from now.
  EngineHandle PlayingTheora(int32_t frames, double fps, int32_t playType) {
    W.decoder.frames = frames;
    W.decoder.fps = fps;
    const EngineHandle movie = OpenMovie("m.ogv", nullptr, nullptr, 0);
    EXPECT_GE(movie, 0);
    EXPECT_EQ(PlayMovie(movie, playType), 0);
    return movie;
  }
  MoviePlatformRecord savedPlatform{};
  TheoraPlayerOps savedTheora{};
  FileAccessTable savedFiles{};
};

// --- Handles ------------------------------------------------------------------------------------

TEST_F(Movies, HandlesSlotsAndCheckIds) {
  int32_t width = 0, height = 0;
  const EngineHandle first = OpenMovie("m.ogv", &width, &height, 0);
  EXPECT_EQ(first, 0x18000000);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  const MovieRecord* record = GetMovieRecord(first);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->theoraFlag, 1);
  EXPECT_EQ(record->currentFrameImage, &W.frame);
  EXPECT_EQ(record->paused, 1);
  EXPECT_EQ(record->playing, 0);
  EXPECT_EQ(record->playType, 1);
  EXPECT_EQ(record->sound, -1);

  // A file the Theora player refuses goes to DirectShow; one that refuses too leaves no
  // handle and takes no check id.
  W.theora = false;
  W.directShowOpens = false;
  EXPECT_EQ(OpenMovie("bad.bin", nullptr, nullptr, 0), -1);
  W.directShowOpens = true;
  const EngineHandle second = OpenMovie("m.avi", &width, nullptr, 0);
  EXPECT_EQ(second, 0x18010001);
  EXPECT_EQ(width, 32);
  EXPECT_EQ(GetMovieRecord(second)->theoraFlag, 0);
  EXPECT_EQ(GetMovieRecord(second)->currentFrameImage, &GetMovieRecord(second)->frameImage);

  // 100 movies fill the table; the 101st is refused; a freed slot is reused first, under a
  // new check id, and the old handle stays dead.
  for (int32_t i = 2; i < MovieCapacity; ++i) ASSERT_GE(OpenMovie("m.avi", nullptr, nullptr, 0), 0);
  EXPECT_EQ(OpenMovie("m.avi", nullptr, nullptr, 0), -1);
  EXPECT_EQ(CloseMovie(second), 0);
  const EngineHandle reused = OpenMovie("m.avi", nullptr, nullptr, 0);
  EXPECT_EQ(reused & 0xFFFF, 1);
  EXPECT_EQ(reused, 0x18000001 | (100 << 16));
  EXPECT_EQ(GetMovieRecord(second), nullptr);
  EXPECT_EQ(CloseMovie(second), -1);

  // Check ids wrap after 2047.
  quelt::MovieTable.nextCheckId = 2047;
  CloseMovie(reused);
  const EngineHandle last = OpenMovie("m.avi", nullptr, nullptr, 0);
  EXPECT_EQ((last >> 16) & 0x7FF, 2047);
  CloseMovie(last);
  EXPECT_EQ((OpenMovie("m.avi", nullptr, nullptr, 0) >> 16) & 0x7FF, 0);
}

TEST_F(Movies, InvalidHandlesAreRefused) {
  const EngineHandle movie = OpenMovie("m.ogv", nullptr, nullptr, 0);
  for (EngineHandle bad : {-1, movie | (5 << 16), (movie & ~0x78000000) | 0x08000000, 0x18000064}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(GetMovieRecord(bad), nullptr);
    EXPECT_EQ(CloseMovie(bad), -1);
    EXPECT_EQ(PlayMovie(bad, 1), -1);
    EXPECT_EQ(PauseMovie(bad, 0), -1);
    EXPECT_EQ(GetMovieStatus(bad), -1);
    EXPECT_EQ(SetMovieFrameCallback(bad, CountCallback, 1), -1);
    EXPECT_EQ(UpdateMovieFrame(bad, 0), 0);
  }
  EXPECT_EQ(Callbacks, 0);
  EXPECT_EQ(GetMovieStatus(movie), 0);
}

// --- Timing -------------------------------------------------------------------------------------

TEST_F(Movies, OpenedMovieStandsStillButDeliversEveryUpdate) {
  const EngineHandle movie = OpenMovie("m.ogv", nullptr, nullptr, 0);
  ASSERT_EQ(SetMovieFrameCallback(movie, CountCallback, 0x08000003), 0);
  W.now += 5000000;
  for (int i = 0; i < 3; ++i) UpdateMovieFrame(movie, 0);
  EXPECT_TRUE(W.decoder.advances.empty());
  EXPECT_EQ(Callbacks, 3);
  EXPECT_EQ(LastUserData, 0x08000003);
  EXPECT_EQ(GetMovieRecord(movie)->frameUpdated, 1);
}

TEST_F(Movies, ClockDrivenMovieFollowsTheClockAndEnds) {
  const EngineHandle movie = PlayingTheora(40, 20.0, 1);
  EXPECT_EQ(GetMovieStatus(movie), 1);
  W.now += 260000;  // 5.2 frames
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 5);
  W.now += 10000000;  // far past the end: the last frame, still playing
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 39);
  EXPECT_EQ(GetMovieStatus(movie), 1);
  // The update that finds the last frame already shown ends the movie.
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(GetMovieStatus(movie), 0);
  const MovieRecord* record = GetMovieRecord(movie);
  EXPECT_EQ(record->playing, 0);
  EXPECT_EQ(record->paused, 1);
  EXPECT_EQ(W.decoder.advances, (std::vector<int32_t>{5, 34}));
}

TEST_F(Movies, LoopingMovieWrapsForward) {
  const EngineHandle movie = PlayingTheora(40, 20.0, 3);
  W.now += 1500000;  // frame 30
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 30);
  W.now += 5001000 - 1500000;  // 2.5 x 40 frames after the start: frame 100 mod 40
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 20);
  // Moving back in frame number goes forward through the wrap.
  EXPECT_EQ(W.decoder.advances, (std::vector<int32_t>{30, 40 - 30 + 20}));
  EXPECT_EQ(GetMovieStatus(movie), 1);
}

TEST_F(Movies, SoundDrivenMovieFollowsLongTracksAndHoldsTheLastFrame) {
  W.withSound = true;
  const EngineHandle movie = PlayingTheora(200000, 30.0, 1);
  EXPECT_EQ(W.events.back(), "play 268435461 1 0");
  // 40 minutes into the track: beyond what 32-bit microseconds hold.
  W.soundMs = 40 * 60 * 1000 + 10;
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 40 * 60 * 30);
  // Past the end: the last frame, and the movie keeps playing while the track does.
  W.soundMs = 200000 / 30 * 1000 + 5000;
  UpdateMovieFrame(movie, 0);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 199999);
  EXPECT_EQ(GetMovieStatus(movie), 1);
  // The track has ended: so has the movie, on its last frame.
  W.soundPlaying = false;
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(GetMovieStatus(movie), 0);
  EXPECT_EQ(W.decoder.current, 199999);
}

TEST_F(Movies, SoundDrivenMovieEndsWithItsTrackUnlessItLoops) {
  W.withSound = true;
  const EngineHandle movie = PlayingTheora(30, 30.0, 1);
  W.soundMs = 500;
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 15);
  EXPECT_EQ(GetMovieStatus(movie), 1);
  // The track stops at 1000 ms; the update then shows the last frame and ends the movie.
  W.soundMs = 1000;
  W.soundPlaying = false;
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 29);
  EXPECT_EQ(GetMovieStatus(movie), 0);
  const MovieRecord* record = GetMovieRecord(movie);
  EXPECT_EQ(record->playing, 0);
  EXPECT_EQ(record->paused, 1);

  // A looping movie's track loops with it: a stopped status there is no end.
  W.soundPlaying = true;
  W.soundMs = 0;
  ASSERT_EQ(PlayMovie(movie, 3), 0);
  W.soundPlaying = false;
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(GetMovieStatus(movie), 1);
}

TEST_F(Movies, PauseAndResumeKeepTheShownFrame) {
  const EngineHandle movie = PlayingTheora(100, 10.0, 1);
  W.now += 1250000;
  EXPECT_EQ(PauseMovie(movie, 0), 0);  // brings the frame up first
  EXPECT_EQ(W.decoder.current, 12);
  EXPECT_EQ(GetMovieStatus(movie), 0);
  W.now += 3000000;
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 12);

  // Paused by the program: window activation does not restart it.
  PauseAllMovies();
  ResumeAllMovies();
  EXPECT_EQ(GetMovieStatus(movie), 0);

  // Played again: the clock continues from frame 12.
  EXPECT_EQ(PlayMovie(movie, 1), 0);
  W.now += 150000;
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 13);

  // Paused by deactivation: activation resumes it, from the shown frame again.
  PauseAllMovies();
  const MovieRecord* record = GetMovieRecord(movie);
  EXPECT_EQ(record->playing, 1);
  EXPECT_EQ(record->paused, 1);
  W.now += 7000000;
  ResumeAllMovies();
  EXPECT_EQ(GetMovieStatus(movie), 1);
  W.now += 150000;
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 14);
}

TEST_F(Movies, ResumeRightAfterAPauseStaysOnTheShownFrame) {
  // 9 / 30 s is not a whole number of microseconds.
  const EngineHandle movie = PlayingTheora(100, 30.0, 1);
  W.now += 310000;
  EXPECT_EQ(PauseMovie(movie, 0), 0);
  EXPECT_EQ(W.decoder.current, 9);
  EXPECT_EQ(PlayMovie(movie, 1), 0);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(W.decoder.current, 9);
  EXPECT_EQ(W.decoder.advances, (std::vector<int32_t>{9}));
}

TEST_F(Movies, FramelessStreamNeverAdvances) {
  const EngineHandle movie = PlayingTheora(0, 25.0, 3);
  W.now += 9000000;
  UpdateMovieFrame(movie, 0);
  EXPECT_TRUE(W.decoder.advances.empty());
  EXPECT_EQ(GetMovieStatus(movie), 1);
}

TEST_F(Movies, DeviceObjectsGoAndComeBackInSlotOrderAndTheShownFrameIsCopiedAgain) {
  const EngineHandle theora = OpenMovie("m.ogv", nullptr, nullptr, 0);
  SetMovieFrameCallback(theora, CountCallback, 1);
  UpdateMovieFrame(theora, 0);
  W.theora = false;
  OpenMovie("a.avi", nullptr, nullptr, 0);
  OpenMovie("b.avi", nullptr, nullptr, 0);
  W.events.clear();
  EXPECT_EQ(ReleaseMovieDeviceObjects(), 0);
  EXPECT_EQ(W.events, (std::vector<std::string>{"release yuv surface", "release directshow objects",
                                                "release directshow objects"}));
  W.events.clear();
  EXPECT_EQ(RestoreMovieDeviceObjects(), 0);
  EXPECT_EQ(W.events, (std::vector<std::string>{"restore yuv surface", "restore directshow objects",
                                                "restore directshow objects"}));
  EXPECT_EQ(GetMovieRecord(theora)->frameUpdated, 0);
  // The first DirectShow movie that cannot come back ends the walk.
  W.directShowOpens = false;
  W.events.clear();
  EXPECT_EQ(RestoreMovieDeviceObjects(), -1);
  EXPECT_EQ(W.events, (std::vector<std::string>{"restore yuv surface", "restore directshow objects"}));
}

// --- Closing ------------------------------------------------------------------------------------

TEST_F(Movies, CloseStopsTheDecoderBeforeTheFileAndDeletesACopyAfterDirectShow) {
  W.withSound = true;
  const EngineHandle theora = OpenMovie("m.ogv", nullptr, nullptr, 0);
  W.events.clear();
  EXPECT_EQ(CloseMovie(theora), 0);
  EXPECT_EQ(W.events, (std::vector<std::string>{"close decoder -1", "close file", "delete sound 268435461",
                                                "release directshow"}));
  W.theora = false;
  const EngineHandle packed = OpenMovie("packed/m.avi", nullptr, nullptr, 0);
  W.events.clear();
  EXPECT_EQ(CloseMovie(packed), 0);
  EXPECT_EQ(W.events, (std::vector<std::string>{"release directshow", "delete file C:\\temp\\tmp1.tmp"}));
  EXPECT_EQ(quelt::MovieTable.count, 0);
}

TEST_F(Movies, ADecodeThreadThatDoesNotStopKeepsItsFileUntilItHasStopped) {
  W.withSound = true;
  const EngineHandle movie = OpenMovie("m.ogv", nullptr, nullptr, 0);
  W.threadStops = false;
  W.events.clear();
  EXPECT_EQ(CloseMovie(movie), 0);
  // The file stays open under the thread; the rest of the movie goes.
  EXPECT_EQ(W.events, (std::vector<std::string>{"close decoder -1", "delete sound 268435461", "release directshow"}));
  EXPECT_EQ(GetMovieRecord(movie), nullptr);
  EXPECT_EQ(quelt::MovieTable.count, 0);
  // Each frame asks again, without waiting, until the thread has stopped.
  W.events.clear();
  RedrawMovieOverlays();
  EXPECT_EQ(FinishClosingMovies(), 1);
  EXPECT_EQ(W.events, (std::vector<std::string>{"close decoder 0", "close decoder 0"}));
  W.threadStops = true;
  W.events.clear();
  RedrawMovieOverlays();
  EXPECT_EQ(W.events, (std::vector<std::string>{"close decoder 0", "close file"}));
  EXPECT_EQ(FinishClosingMovies(), 0);
  EXPECT_TRUE(W.decoder.closed);
}

}  // namespace
