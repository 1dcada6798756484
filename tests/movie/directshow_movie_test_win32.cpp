// Movies through DirectShow under Wine, on the Direct3D device and on the software screen:
// an uncompressed AVI of flat-coloured frames plays into its graph frame by frame, loops,
// pauses and ends; from inside a QLA archive it plays from a temporary copy that survives a
// device reset and is deleted at close. Also the copy itself, chunk by chunk.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "file/file_access.h"
#include "graphics/draw_front.h"
#include "core/core_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "movie/movie_dshow.h"
#include "movie/movie_open.h"
#include "movie/movie_table.h"
#include "movie/movie_temp_copy.h"
#include "sound/sound.h"
#include "tests/graphics/engine_session.h"
#include "tests/movie/avi_writer.h"
#include "tools/qla_writer/archive_writer.h"

namespace {

using namespace quelt;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kScreen = 600;
const std::vector<uint32_t> kColours = {0x2040C0, 0xC02040, 0x40C020, 0xE0E020, 0x20E0E0, 0x8040A0};

Bytes FlatAvi() { return quelt_test::WriteFlatAvi({64, 48, 10, kColours}); }

bool SaveFile(const char* path, const Bytes& bytes) {
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

Bytes ReadFileBytes(const char* path) {
  Bytes out;
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return out;
  uint8_t buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.insert(out.end(), buffer, buffer + n);
  std::fclose(f);
  return out;
}

// 0.2 s of 8 kHz 16-bit mono silence: DirectShow opens it, but it has no picture.
Bytes SilentWave() {
  constexpr uint32_t data = 3200;
  const uint32_t header[11] = {0x46464952, 36 + data, 0x45564157, 0x20746D66, 16, 0x00010001,
                               8000,       16000,     0x00100002, 0x61746164, data};  // RIFF WAVE fmt data
  Bytes b(sizeof header + data, 0);
  std::memcpy(b.data(), header, sizeof header);
  return b;
}

// Files named tmp*.tmp in the temporary folder.
int32_t TempCopies() {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((std::string(folder) + "tmp*.tmp").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int32_t count = 0;
  do ++count;
  while (FindNextFileA(find, &found));
  FindClose(find);
  return count;
}

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Draws the graph at (0, 0) on the erased back screen (which brings its movie up to date)
// and reads its area back: the one colour it shows, or 0xFFFFFFFF when it is not flat.
uint32_t DrawnColour(int32_t graph) {
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
  DrawGraphAtPoint(0, 0, graph, 0);
  std::vector<uint32_t> pixels(static_cast<size_t>(kScreen) * kScreen, 0);
  if (ReadBackDrawScreen(pixels.data(), kScreen, kScreen) < 0) return 0xFFFFFFFF;
  const uint32_t first = pixels[0] & 0xFFFFFF;
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x)
      if ((pixels[static_cast<size_t>(y * kScreen + x)] & 0xFFFFFF) != first) return 0xFFFFFFFF;
  return first;
}

int32_t FrameIndex(uint32_t colour) {
  for (size_t i = 0; i < kColours.size(); ++i)
    if (kColours[i] == colour) return static_cast<int32_t>(i);
  return -1;
}

// Draws the graph again and again for up to `ms` or until `stop` says so; the frame numbers
// seen, each run of one frame counted once.
template <typename Stop>
std::vector<int32_t> WatchFrames(int32_t graph, int32_t ms, Stop&& stop) {
  std::vector<int32_t> seen;
  const DWORD start = GetTickCount();
  while (static_cast<int32_t>(GetTickCount() - start) < ms) {
    const int32_t frame = FrameIndex(DrawnColour(graph));
    if (frame >= 0 && (seen.empty() || seen.back() != frame)) seen.push_back(frame);
    if (stop(seen)) break;
    Sleep(5);
  }
  return seen;
}

bool Increasing(const std::vector<int32_t>& frames) {
  for (size_t i = 1; i < frames.size(); ++i)
    if (frames[i] <= frames[i - 1]) return false;
  return true;
}

// A playing movie shows its frames in turn, up to the last, and ends.
void ExpectFramesInTurnToTheEnd(int32_t graph, EngineHandle movie) {
  const std::vector<int32_t> seen =
      WatchFrames(graph, 8000, [&](const std::vector<int32_t>&) { return GetMovieStatus(movie) == 0; });
  EXPECT_EQ(GetMovieStatus(movie), 0) << "the movie did not end";
  ASSERT_GE(seen.size(), 2u);
  EXPECT_TRUE(Increasing(seen)) << ::testing::PrintToString(seen);
  EXPECT_EQ(seen.back(), static_cast<int32_t>(kColours.size()) - 1);
}

EngineHandle MovieOf(int32_t graph) {
  const GraphRecord* record = GetGraphRecord(graph);
  return record != nullptr ? record->linkedMovie : -1;
}

class DirectShowMovies : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SaveFile("flat.avi", FlatAvi()));
    ASSERT_TRUE(SaveFile("sounding.avi", quelt_test::WriteFlatAvi({64, 48, 10, kColours, 8000})));
    quelt_tools::PackEntry movie;
    movie.name = "flat.avi";
    movie.data = FlatAvi();
    quelt_tools::PackEntry root;
    root.directory = true;
    root.children.push_back(movie);
    quelt_tools::PackEntry sound;
    sound.name = "tone.wav";
    sound.data = SilentWave();
    root.children.push_back(sound);
    ASSERT_TRUE(SaveFile("packed.qla", quelt_tools::WriteArchive(root, {})));
    const std::string caption = std::string("quelt movies ") + (GetParam() ? "d3d" : "soft");
    ASSERT_EQ(quelt_test::StartEngineSession({caption.c_str(), GetParam()}), 0);
    ASSERT_EQ(ScreenState.hardware, GetParam());
  }
  void TearDown() override {
    DeleteAllGraphs();
    quelt_test::StopEngineSession();
  }
};

TEST_P(DirectShowMovies, PlaysFrameByFrameIntoItsGraphAndEnds) {
  const int32_t graph = OpenGraphFile("flat.avi", 1, 0, 0);
  ASSERT_GE(graph, 0);
  int32_t width = 0, height = 0;
  EXPECT_EQ(QueryGraphDimensions(graph, &width, &height), 0);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  const EngineHandle movie = MovieOf(graph);
  const MovieRecord* record = GetMovieRecord(movie);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->theoraFlag, 0);
  EXPECT_EQ(record->tempFile, 0);
  EXPECT_EQ(record->surfaceMode, 0);
  EXPECT_EQ(GetMovieStatus(movie), 0);

  ASSERT_EQ(PlayMovie(movie, 1), 0);
  EXPECT_EQ(GetMovieStatus(movie), 1);
  ExpectFramesInTurnToTheEnd(graph, movie);
  EXPECT_EQ(record->playing, 0);
  EXPECT_EQ(record->paused, 1);

  EXPECT_EQ(ReleaseGraphHandle(graph), 0);
  EXPECT_EQ(GetMovieRecord(movie), nullptr);
  EXPECT_EQ(CloseMovie(movie), -1);
  EXPECT_EQ(PlayMovie(movie, 1), -1);
  EXPECT_EQ(DrawMovieOverlay(0, 0, 1, movie, 1), -1);
}

TEST_P(DirectShowMovies, LoopsPausesAndResumes) {
  const int32_t graph = OpenGraphFile("flat.avi", 1, 0, 0);
  ASSERT_GE(graph, 0);
  const EngineHandle movie = MovieOf(graph);
  ASSERT_EQ(PlayMovie(movie, 3), 0);
  // With the loop bit the stream starts again at its first frame and keeps playing.
  const std::vector<int32_t> seen = WatchFrames(graph, 8000, [](const std::vector<int32_t>& s) {
    return s.size() >= 2 && s.back() < s[s.size() - 2];
  });
  ASSERT_GE(seen.size(), 2u);
  EXPECT_LT(seen.back(), seen[seen.size() - 2]) << "no wrap seen";
  EXPECT_EQ(GetMovieStatus(movie), 1);

  // Paused: the picture stands still.
  ASSERT_EQ(PauseMovie(movie, 0), 0);
  EXPECT_EQ(GetMovieStatus(movie), 0);
  const uint32_t still = DrawnColour(graph);
  Sleep(400);
  EXPECT_EQ(DrawnColour(graph), still);
  // Window deactivation and activation leave a movie paused by the program paused.
  PauseAllMovies();
  ResumeAllMovies();
  EXPECT_EQ(GetMovieStatus(movie), 0);

  // Played again, it moves on.
  ASSERT_EQ(PlayMovie(movie, 3), 0);
  const std::vector<int32_t> after =
      WatchFrames(graph, 8000, [](const std::vector<int32_t>& s) { return s.size() >= 2; });
  EXPECT_GE(after.size(), 2u);
  // Paused by deactivation, resumed by activation.
  PauseAllMovies();
  EXPECT_EQ(GetMovieStatus(movie), 0);
  ResumeAllMovies();
  EXPECT_EQ(GetMovieStatus(movie), 1);
}

TEST_P(DirectShowMovies, PlaysFromAnArchiveThroughATemporaryCopy) {
  const int32_t graph = OpenGraphFile("packed/flat.avi", 1, 0, 0);
  ASSERT_GE(graph, 0);
  const EngineHandle movie = MovieOf(graph);
  MovieRecord* record = GetMovieRecord(movie);
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(record->tempFile, 1);
  const std::string copy = record->name;
  EXPECT_NE(copy.find("tmp"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(copy.c_str()), FlatAvi());

  ASSERT_EQ(PlayMovie(movie, 3), 0);
  EXPECT_GE(WatchFrames(graph, 8000, [](const std::vector<int32_t>& s) { return s.size() >= 2; }).size(), 2u);

  // Around a device reset the objects go and come back from the same copy, still playing.
  EXPECT_EQ(ReleaseMovieDeviceObjects(), 0);
  EXPECT_EQ(record->ds.surface4, nullptr);
  EXPECT_EQ(record->ds.multiMediaStream, nullptr);
  EXPECT_EQ(record->frameImage.pixels, nullptr);
  EXPECT_EQ(UpdateMovieFrame(movie, 0), 0);
  EXPECT_EQ(RestoreMovieDeviceObjects(), 0);
  EXPECT_NE(record->ds.surface4, nullptr);
  EXPECT_EQ(record->tempFile, 1);
  EXPECT_EQ(std::string(record->name), copy);
  EXPECT_EQ(GetMovieStatus(movie), 1);
  EXPECT_GE(WatchFrames(graph, 8000, [](const std::vector<int32_t>& s) { return s.size() >= 2; }).size(), 2u);

  EXPECT_EQ(ReleaseGraphHandle(graph), 0);
  EXPECT_FALSE(FileExists(copy.c_str())) << copy;
}

TEST_P(DirectShowMovies, SurfaceModesResolveToTheScreenFormatWithoutOverlays) {
  // No overlay pixel format: mode 1 becomes 2, and 2 becomes 0 on a 32-bit screen.
  for (int32_t mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    int32_t width = 0, height = 0;
    const EngineHandle movie = OpenMovie("flat.avi", &width, &height, mode);
    ASSERT_GE(movie, 0);
    const MovieRecord* record = GetMovieRecord(movie);
    EXPECT_EQ(record->surfaceMode, 0);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    EXPECT_EQ(record->frameImage.format.bytesPerPixel, 4);
    EXPECT_EQ(record->frameImage.pitch, 256);
    EXPECT_NE(record->frameImage.pixels, nullptr);
    EXPECT_EQ(DrawMovieOverlay(0, 0, 1, movie, 1), 0);
    EXPECT_EQ(CloseMovie(movie), 0);
  }
}

TEST_P(DirectShowMovies, FilesThatAreNoMovieFailWithTheirMessages) {
  // Wine's DirectShow keeps a file it failed to render open until the process ends: each
  // back end takes its own.
  const std::string noise = std::string("noise") + (GetParam() ? "3d" : "soft") + ".bin";
  ASSERT_TRUE(SaveFile(noise.c_str(), Bytes(5000, 0x5A)));
  EXPECT_EQ(OpenGraphFile(noise.c_str(), 1, 0, 0), -1);
  EXPECT_EQ(OpenMovie("packed/missing.avi", nullptr, nullptr, 0), -1);
  // Sound without a picture, from the archive: the copy made for it goes with the failure.
  const int32_t copies = TempCopies();
  EXPECT_EQ(OpenMovie("packed/tone.wav", nullptr, nullptr, 0), -1);
  EXPECT_EQ(TempCopies(), copies);
  EXPECT_EQ(MovieTable.count, 0);
  const std::string log = quelt_test::ReadEngineLog();
  EXPECT_NE(log.find("ファイル:packed/missing.avi が開けませんでした"), std::string::npos);
  EXPECT_NE(log.find("ムービーファイルオープン処理時にエラーが発生しました"), std::string::npos);
  EXPECT_NE(log.find("動画ファイルではない可能性があります！"), std::string::npos);
  EXPECT_NE(log.find("右記のグラフィックファイルのロードに失敗しました：" + noise), std::string::npos);
}

// A display change releases the objects of a running movie whose sample update is under
// way in DirectShow's stream thread, and brings them back; again and again.
TEST_P(DirectShowMovies, RunningMovieSurvivesItsObjectsReleasedAndRestored) {
  const int32_t graph = OpenGraphFile("flat.avi", 1, 0, 0);
  ASSERT_GE(graph, 0);
  const EngineHandle movie = MovieOf(graph);
  MovieRecord* record = GetMovieRecord(movie);
  ASSERT_EQ(PlayMovie(movie, 3), 0);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    // Frames arrive and the next update is left pending in the stream.
    const std::vector<int32_t> seen = WatchFrames(graph, 4000, [](const std::vector<int32_t>& s) { return s.size() >= 2; });
    ASSERT_GE(seen.size(), 2u);
    for (int i = 0; i < round % 4; ++i) UpdateMovieFrame(movie, 0);
    EXPECT_EQ(ReleaseMovieDeviceObjects(), 0);
    EXPECT_EQ(record->ds.sample, nullptr);
    EXPECT_EQ(record->updatePending, 0);
    Sleep(round % 3 * 20);
    ASSERT_EQ(RestoreMovieDeviceObjects(), 0);
    EXPECT_EQ(GetMovieStatus(movie), 1);
  }
  EXPECT_GE(WatchFrames(graph, 4000, [](const std::vector<int32_t>& s) { return s.size() >= 2; }).size(), 2u);
  EXPECT_EQ(ReleaseGraphHandle(graph), 0);
}

FileAccessTable PlainAccess{};
std::vector<std::string> Opened;
FileHandle RecordingOpen(const char* path, int32_t a, int32_t b, int32_t c) {
  Opened.emplace_back(path);
  return PlainAccess.open(path, a, b, c);
}

// A file on disk that DirectShow cannot open is not opened again through a copy: copies
// are for members inside an archive, which DirectShow cannot reach.
TEST_P(DirectShowMovies, AFileOnDiskIsNeverCopied) {
  const std::string noise = std::string("plain") + (GetParam() ? "3d" : "soft") + ".mpg";
  ASSERT_TRUE(SaveFile(noise.c_str(), Bytes(20000, 0x47)));
  PlainAccess = FileAccess;
  FileAccessTable recording = FileAccess;
  recording.open = RecordingOpen;
  SetFileAccessTable(&recording);
  Opened.clear();
  const int32_t copies = TempCopies();
  EXPECT_EQ(OpenMovie(noise.c_str(), nullptr, nullptr, 0), -1);
  SetFileAccessTable(&PlainAccess);
  // The one open is the Theora player's look at the file.
  EXPECT_EQ(Opened, std::vector<std::string>{noise});
  EXPECT_EQ(TempCopies(), copies);
  EXPECT_NE(quelt_test::ReadEngineLog().find("ファイル:" + noise + " が開けませんでした"), std::string::npos);
}

HANDLE OpenGate = nullptr;
long (*RealOpenFile)(void*, const wchar_t*) = nullptr;
LONG GatedOpensUnderWay = 0;
long GatedOpenFile(void* stream, const wchar_t* path) {
  InterlockedIncrement(&GatedOpensUnderWay);
  WaitForSingleObject(OpenGate, 60000);
  const long result = RealOpenFile(stream, path);
  InterlockedDecrement(&GatedOpensUnderWay);
  return result;
}
// Longer than a shutdown takes when it does not wait.
constexpr DWORD kOpenGateDelayMs = 4000;
DWORD WINAPI OpenGateLater(void*) {
  Sleep(kOpenGateDelayMs);
  SetEvent(OpenGate);
  return 0;
}

// DirectShow that does not answer an open: the open gives up after its limit, and the copy
// made for an archive member goes once DirectShow lets go of it.
TEST_P(DirectShowMovies, AnOpenDirectShowDoesNotAnswerIsGivenUp) {
  OpenGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  RealOpenFile = MovieStreamOpenFile;
  MovieStreamOpenFile = GatedOpenFile;
  const int32_t savedLimit = MovieOpenWaitLimitMs;
  MovieOpenWaitLimitMs = 300;
  const int32_t copies = TempCopies();
  for (const char* path : {"flat.avi", "packed/flat.avi"}) {
    SCOPED_TRACE(path);
    const DWORD start = GetTickCount();
    EXPECT_EQ(OpenMovie(path, nullptr, nullptr, 0), -1);
    EXPECT_LT(GetTickCount() - start, 5000u);
  }
  EXPECT_EQ(MovieTable.count, 0);
  // Answered at last: the abandoned calls end and take the copy with them.
  SetEvent(OpenGate);
  const DWORD start = GetTickCount();
  while (TempCopies() != copies && GetTickCount() - start < 10000) Sleep(20);
  EXPECT_EQ(TempCopies(), copies);
  MovieStreamOpenFile = RealOpenFile;
  MovieOpenWaitLimitMs = savedLimit;
  CloseHandle(OpenGate);
  // Nothing is left in the way of the next open.
  const EngineHandle movie = OpenMovie("flat.avi", nullptr, nullptr, 0);
  EXPECT_GE(movie, 0);
  EXPECT_EQ(CloseMovie(movie), 0);
}

// An open given up on is waited for by the shutdown: no DirectShow call is left running
// under the process's end.
TEST_P(DirectShowMovies, TheShutdownWaitsForAnOpenGivenUpOn) {
  if (GetParam() == 0) GTEST_SKIP() << "the open does not depend on the back end";
  OpenGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  RealOpenFile = MovieStreamOpenFile;
  MovieStreamOpenFile = GatedOpenFile;
  const int32_t savedLimit = MovieOpenWaitLimitMs;
  MovieOpenWaitLimitMs = 300;
  EXPECT_EQ(OpenMovie("flat.avi", nullptr, nullptr, 0), -1);
  EXPECT_EQ(GatedOpensUnderWay, 1);
  HANDLE opener = CreateThread(nullptr, 0, OpenGateLater, nullptr, 0, nullptr);
  quelt_test::StopEngineSession();
  EXPECT_EQ(GatedOpensUnderWay, 0);
  WaitForSingleObject(opener, INFINITE);
  CloseHandle(opener);
  MovieStreamOpenFile = RealOpenFile;
  MovieOpenWaitLimitMs = savedLimit;
  CloseHandle(OpenGate);
}

// Run by without_sound_sink.sh with the session's sound server out of reach: the engine
// starts without sound, DirectShow has no sound renderer to add, and the picture still
// plays frame by frame to its end.
TEST_P(DirectShowMovies, DISABLED_PlaysItsPictureWithoutASoundSink) {
  ASSERT_FALSE(SoundStarted()) << "the sound sink is within reach";
  for (const char* path : {"flat.avi", "sounding.avi"}) {
    SCOPED_TRACE(path);
    const int32_t graph = OpenGraphFile(path, 1, 0, 0);
    ASSERT_GE(graph, 0);
    const EngineHandle movie = MovieOf(graph);
    ASSERT_EQ(PlayMovie(movie, 1), 0);
    ExpectFramesInTurnToTheEnd(graph, movie);
    EXPECT_EQ(ReleaseGraphHandle(graph), 0);
  }
  EXPECT_NE(quelt_test::ReadEngineLog().find("デフォルトサウンドレンダラを追加できませんでした！"), std::string::npos);
}

// Before its first frame arrives a movie's graph is black on both back ends, not what the
// memory it was made in held before (here the last frame of the movie closed before it).
TEST_P(DirectShowMovies, AGraphIsBlackUntilItsMovieDeliversAFrame) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    const int32_t graph = OpenGraphFile("flat.avi", 1, 0, 0);
    ASSERT_GE(graph, 0);
    EXPECT_EQ(DrawnColour(graph), 0u);
    ASSERT_EQ(PlayMovie(MovieOf(graph), 1), 0);
    ExpectFramesInTurnToTheEnd(graph, MovieOf(graph));
    EXPECT_EQ(ReleaseGraphHandle(graph), 0);
  }
}

// A movie with a sound stream plays its frames in turn to its end, the sound heard beside.
TEST_P(DirectShowMovies, PlaysAMovieWithASoundStream) {
  const int32_t graph = OpenGraphFile("sounding.avi", 1, 0, 0);
  ASSERT_GE(graph, 0);
  const EngineHandle movie = MovieOf(graph);
  ASSERT_EQ(PlayMovie(movie, 1), 0);
  ExpectFramesInTurnToTheEnd(graph, movie);
  EXPECT_EQ(ReleaseGraphHandle(graph), 0);
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, DirectShowMovies, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                           return std::string(info.param ? "Direct3D" : "Software");
                         });

// --- The temporary copy ---------------------------------------------------------------------------

FileAccessTable SavedAccess{};
std::vector<int32_t> ReadRequests;
int32_t ReadLimit = 0;
int32_t RecordingRead(void* dest, int32_t size, int32_t count, FileHandle file) {
  ReadRequests.push_back(count);
  return SavedAccess.read(dest, size, ReadLimit > 0 && count > ReadLimit ? ReadLimit : count, file);
}

TEST(MovieTempCopy, CopiesInWholeChunksAndWritesWhatEachReadGave) {
  Bytes source(3 * 1048576 + 524288);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
  ASSERT_TRUE(SaveFile("big.bin", source));
  SavedAccess = FileAccess;
  FileAccessTable recording = FileAccess;
  recording.read = RecordingRead;
  SetFileAccessTable(&recording);

  char name[MovieNameBytes] = {};
  ReadRequests.clear();
  ReadLimit = 0;
  ASSERT_EQ(CopyMovieToTempFile("big.bin", name), 0);
  EXPECT_EQ(ReadRequests, (std::vector<int32_t>{1048576, 1048576, 1048576, 524288}));
  EXPECT_EQ(ReadFileBytes(name), source);
  DeleteFileA(name);

  // A source that gives less than asked: the copy holds exactly what was read.
  ReadLimit = 300000;
  ASSERT_EQ(CopyMovieToTempFile("big.bin", name), 0);
  EXPECT_EQ(ReadFileBytes(name), source);
  DeleteFileA(name);

  // A missing file makes no copy.
  EXPECT_EQ(CopyMovieToTempFile("absent.bin", name), -1);
  SetFileAccessTable(&SavedAccess);
}

}  // namespace
