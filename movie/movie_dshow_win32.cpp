// The DirectShow road: IAMMultiMediaStream with a DirectDraw video stream and the default
// sound renderer, one stream sample decoding into a DirectDraw surface, the surface's rows
// copied into the movie's frame buffer for the frame callback.
#include "movie/movie_dshow.h"

#include <windows.h>

#include <amstream.h>
#include <control.h>
#include <ddraw.h>
#include <ddstream.h>
#include <mmstream.h>
#include <strmif.h>
#include <uuids.h>

#include <array>
#include <cstdio>
#include <cstring>

#include "core/clock.h"
#include "core/log.h"
#include "core/tracked_alloc.h"
#include "graphics/draw_screen.h"
#include "graphics/screen_mode.h"
#include "image/color_format.h"
#include "movie/movie_table.h"
#include "movie/movie_temp_copy.h"
#include "softrender/memimg_format.h"

namespace quelt {

namespace {

static_assert(sizeof(MovieRect) == sizeof(RECT));
static_assert(sizeof(DirectDrawPixelFormat) == sizeof(DDPIXELFORMAT));

// Milliseconds a frame update waits for a sample update already under way.
constexpr DWORD PendingUpdateWaitMs = 1000;
// Fewer than this many milliseconds after an update, and no present since, skip the update.
constexpr int32_t UpdateIntervalMs = 18;

constexpr size_t FileMessageBytes = 320;

// The steps' messages, with a line end unless they carry their own.
int LogMessage(const char* message) {
  const size_t length = std::strlen(message);
  if (length > 0 && message[length - 1] == '\n') return WriteLog(message);
  return WriteLogFormat("%s", message);
}

template <typename T>
T* As(void* object) {
  return static_cast<T*>(object);
}

void ReleaseObject(void*& object) {
  if (object != nullptr) static_cast<IUnknown*>(object)->Release();
  object = nullptr;
}

// The open's clean-up order.
void ReleaseAllObjects(DirectShowObjects& ds) {
  for (void** object : {&ds.videoStream, &ds.ddrawMediaStream, &ds.sample, &ds.sampleSurface, &ds.surface4,
                        &ds.surface7, &ds.amMediaStream, &ds.multiMediaStream, &ds.ddraw4, &ds.graphBuilder,
                        &ds.mediaControl, &ds.mediaSeeking, &ds.basicAudio})
    ReleaseObject(*object);
}

void FreeFrameBuffer(MovieRecord* record) {
  TrackedFree(record->frameImage.pixels);
  record->frameImage.pixels = nullptr;
}

// Ends the stream's work on the sample before its objects go: an update still under way is
// aborted (or waited for while it copies), then the graph stops, so no stream thread writes
// into a surface that is being released.
void StopStreaming(MovieRecord* record) {
  if (auto* sample = As<IDirectDrawStreamSample>(record->ds.sample))
    sample->CompletionStatus(COMPSTAT_WAIT | COMPSTAT_ABORT, PendingUpdateWaitMs);
  if (auto* stream = As<IAMMultiMediaStream>(record->ds.multiMediaStream)) stream->SetState(STREAMSTATE_STOP);
  record->updatePending = 0;
}

void CloseUpdateEvent(MovieRecord* record) {
  if (record->updateEvent != nullptr) CloseHandle(record->updateEvent);
  record->updateEvent = nullptr;
}

bool HasVideoSurface(const MovieRecord* record) {
  return record->ds.surface4 != nullptr || record->ds.surface7 != nullptr;
}

int32_t ResolveSurfaceMode(int32_t mode) {
  if (mode == 1 && (GetOverlayPixelFormat() == nullptr || ScreenState.direct3DRefused == 1)) mode = 2;
  if (mode == 2 && GetScreenColourDepth() == 32) mode = 0;
  return mode;
}

// The pixel format the sample decodes into for a surface mode.
DDPIXELFORMAT SurfacePixelFormat(int32_t mode) {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof format;
  if (mode == 1) {
    if (const void* overlay = GetOverlayPixelFormat()) std::memcpy(&format, overlay, sizeof format);
    return format;
  }
  if (mode == 2) {
    format.dwFlags = DDPF_RGB;
    format.dwRGBBitCount = 24;
    format.dwRBitMask = 0xFF0000;
    format.dwGBitMask = 0xFF00;
    format.dwBBitMask = 0xFF;
    return format;
  }
  const DirectDrawPixelFormat* screen = GetMemImgPixelFormat(GetScreenColourDepth() == 16 ? 0 : 1, 0, 0);
  if (screen != nullptr) std::memcpy(&format, screen, sizeof format);
  format.dwSize = sizeof format;
  return format;
}

// OpenFile on the path's UTF-16 form (ANSI code page, at most 260 characters).
long OpenStreamFileNow(void* stream, const wchar_t* path) {
  return static_cast<IAMMultiMediaStream*>(stream)->OpenFile(path, 0);
}

// One OpenFile on a thread of its own: it may never return (Wine's DirectShow has hung in
// it), and the caller waits only so long. The call's objects and its temporary copy belong
// to whichever side lets go last: the waiter when the call returned in time, else the thread.
struct StreamOpenCall {
  IAMMultiMediaStream* stream;
  WCHAR path[MovieNameBytes];
  char copyToDelete[MovieNameBytes];  // a temporary copy the thread deletes when abandoned
  HRESULT result;
  LONG owners;  // 2 while both sides hold the call
};

void LetGoOfCall(StreamOpenCall* call) {
  if (InterlockedDecrement(&call->owners) != 0) return;
  call->stream->Release();
  if (call->copyToDelete[0] != 0) DeleteFileA(call->copyToDelete);
  HeapFree(GetProcessHeap(), 0, call);
}

DWORD WINAPI RunStreamOpen(void* parameter) {
  auto* call = static_cast<StreamOpenCall*>(parameter);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  call->result = MovieStreamOpenFile(call->stream, call->path);
  if (SUCCEEDED(com)) CoUninitialize();
  LetGoOfCall(call);
  return 0;
}

// The threads of opens given up on. DirectShow goes on working in them (and in the pipeline
// threads they start) until the call returns; the shutdown waits for them, so none still
// runs while the process ends.
constexpr size_t AbandonedOpenSlots = 16;
std::array<HANDLE, AbandonedOpenSlots> AbandonedOpens{};
// How long the shutdown waits for each; a call that never returns is then left to the exit.
constexpr DWORD AbandonedOpenShutdownWaitMs = 60000;

// Keeps the thread of a call given up on; a full table first waits for its oldest.
void KeepAbandonedOpen(HANDLE thread) {
  for (HANDLE& slot : AbandonedOpens) {
    if (slot != nullptr && WaitForSingleObject(slot, 0) == WAIT_OBJECT_0) {
      CloseHandle(slot);
      slot = nullptr;
    }
  }
  for (HANDLE& slot : AbandonedOpens) {
    if (slot == nullptr) {
      slot = thread;
      return;
    }
  }
  WaitForSingleObject(AbandonedOpens[0], AbandonedOpenShutdownWaitMs);
  CloseHandle(AbandonedOpens[0]);
  AbandonedOpens[0] = thread;
}

// False when DirectShow cannot open the path, or does not answer within the limit (the
// abandoned call deletes `copy`, when given, once it returns).
bool OpenStreamFile(IAMMultiMediaStream* stream, const char* path, const char* copy) {
  auto* call = static_cast<StreamOpenCall*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(StreamOpenCall)));
  if (call == nullptr) return false;
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, call->path, MovieNameBytes) == 0) {
    HeapFree(GetProcessHeap(), 0, call);
    return false;
  }
  stream->AddRef();
  call->stream = stream;
  call->result = E_FAIL;
  call->owners = 2;
  HANDLE thread = CreateThread(nullptr, 0, RunStreamOpen, call, 0, nullptr);
  if (thread == nullptr) {
    call->owners = 1;
    LetGoOfCall(call);
    return false;
  }
  const bool answered = WaitForSingleObject(thread, static_cast<DWORD>(MovieOpenWaitLimitMs)) == WAIT_OBJECT_0;
  if (!answered) {
    if (copy != nullptr) lstrcpynA(call->copyToDelete, copy, MovieNameBytes);
    LetGoOfCall(call);
    KeepAbandonedOpen(thread);
    return false;
  }
  CloseHandle(thread);
  const bool opened = SUCCEEDED(call->result);
  LetGoOfCall(call);
  return opened;
}

// The path is a file of its own on disk (not a member inside an archive).
bool IsFileOnDisk(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Opens the record's name, or for a member inside an archive (which DirectShow cannot
// read) a temporary copy of it. False after a failure, with the copy deleted (by the
// abandoned call, when DirectShow does not answer).
bool OpenMovieFile(MovieRecord* record, IAMMultiMediaStream* stream) {
  if (IsFileOnDisk(record->name)) return OpenStreamFile(stream, record->name, record->tempFile == 1 ? record->name : nullptr);
  if (record->tempFile == 1) return false;
  char copy[MovieNameBytes] = {};
  if (CopyMovieToTempFile(record->name, copy) < 0) return false;
  if (OpenStreamFile(stream, copy, copy)) {
    std::memcpy(record->name, copy, sizeof copy);
    record->tempFile = 1;
    return true;
  }
  // A copy the abandoned call still holds is deleted by it; DeleteFileA fails here then.
  DeleteFileA(copy);
  return false;
}

// The open's steps from the filter graph to the frame buffer; the message of the failing
// step, or null.
const char* OpenSteps(IDirectDraw7* ddraw, MovieRecord* record, const char* path, int32_t* widthOut,
                      int32_t* heightOut, int32_t mode, char* fileMessage) {
  DirectShowObjects& ds = record->ds;
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              &ds.graphBuilder)))
    return "CLSID_FilterGraph の作成に失敗しました";
  IAMMultiMediaStream* stream = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                              reinterpret_cast<void**>(&stream))))
    return "IAMMultimediaインターフェイスを取得できませんでした！";
  ds.multiMediaStream = stream;
  if (FAILED(stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, As<IGraphBuilder>(ds.graphBuilder))))
    return "ストリームを読み取り用にセットアップできませんでした！";
  if (FAILED(As<IGraphBuilder>(ds.graphBuilder)->QueryInterface(IID_IMediaControl, &ds.mediaControl)))
    return "IID_IMediaControlインターフェイスの取得に失敗しました";
  if (ddraw == nullptr || FAILED(ddraw->QueryInterface(IID_IDirectDraw4, &ds.ddraw4)))
    return "DirectDraw4オブジェクトを取得できませんでした";
  if (FAILED(stream->AddMediaStream(As<IUnknown>(ds.ddraw4), &MSPID_PrimaryVideo, 0, nullptr)))
    return "プライマリビデオストリームを追加できませんでした！";
  // Without a sound device there is no renderer to add; the picture still plays, silent.
  if (FAILED(stream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr)))
    LogMessage("デフォルトサウンドレンダラを追加できませんでした！\n");

  if (record->name != path) {
    const size_t length = strnlen(path, MovieNameBytes - 1);
    std::memmove(record->name, path, length);
    record->name[length] = 0;
  }
  std::snprintf(fileMessage, FileMessageBytes, "ファイル:%s が開けませんでした", path);
  if (!OpenMovieFile(record, stream)) return fileMessage;

  if (FAILED(As<IGraphBuilder>(ds.graphBuilder)->QueryInterface(IID_IMediaSeeking, &ds.mediaSeeking)))
    return "メディアシーキングインターフェースの取得に失敗しました";
  if (FAILED(As<IGraphBuilder>(ds.graphBuilder)->QueryInterface(IID_IBasicAudio, &ds.basicAudio)))
    return "BasicAudio インターフェースの取得に失敗しました";
  IMediaStream* video = nullptr;
  if (FAILED(stream->GetMediaStream(MSPID_PrimaryVideo, &video)))
    return "プライマリビデオストリームインターフェイスを取得できませんでした！";
  ds.videoStream = video;
  if (FAILED(video->QueryInterface(IID_IAMMediaStream, &ds.amMediaStream)))
    return "AMMediaStreamインターフェイスの取得に失敗しました";
  IDirectDrawMediaStream* ddStream = nullptr;
  if (FAILED(video->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&ddStream))))
    return "DirectDrawメディアストリームインターフェイスを取得できませんでした！";
  ds.ddrawMediaStream = ddStream;

  DDSURFACEDESC current{};
  current.dwSize = sizeof current;
  DDSURFACEDESC desired{};
  desired.dwSize = sizeof desired;
  DWORD formatFlags = 0;
  if (FAILED(ddStream->GetFormat(&current, nullptr, &desired, &formatFlags)) || desired.dwWidth == 0 ||
      desired.dwHeight == 0)
    return "動画ファイルではない可能性があります！";
  IDirectDraw* ddraw1 = nullptr;
  IDirectDrawSurface* surface = nullptr;
  DDSURFACEDESC description{};
  description.dwSize = sizeof description;
  description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  description.dwWidth = desired.dwWidth;
  description.dwHeight = desired.dwHeight;
  description.ddsCaps.dwCaps = mode == 1 ? DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY
                                         : DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  description.ddpfPixelFormat = SurfacePixelFormat(mode);
  const bool created = SUCCEEDED(ddraw->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&ddraw1))) &&
                       SUCCEEDED(ddraw1->CreateSurface(&description, &surface, nullptr));
  if (ddraw1 != nullptr) ddraw1->Release();
  if (!created) return "DirectDrawSurface オブジェクトの作成に失敗しました";

  record->surfaceMode = mode;
  IDirectDrawStreamSample* sample = nullptr;
  if (FAILED(ddStream->CreateSample(surface, nullptr, DDSFF_PROGRESSIVERENDER, &sample))) {
    surface->Release();
    surface = nullptr;
    record->surfaceMode = 0;
    if (FAILED(ddStream->CreateSample(nullptr, nullptr, 0, &sample)))
      return "ストリームサンプルを作成できませんでした！";
  }
  ds.sample = sample;
  if (surface != nullptr) surface->Release();

  IDirectDrawSurface* sampleSurface = nullptr;
  RECT rect{};
  if (FAILED(sample->GetSurface(&sampleSurface, &rect)) || sampleSurface == nullptr)
    return "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！";
  ds.sampleSurface = sampleSurface;
  std::memcpy(&record->sampleRect, &rect, sizeof rect);
  record->width = rect.right - rect.left;
  record->height = rect.bottom - rect.top;
  if (widthOut != nullptr) *widthOut = record->halfWidth != 0 ? record->width / 2 : record->width;
  if (heightOut != nullptr) *heightOut = record->height;

  constexpr const char* Surface7Failed = "IDirectDrawSurface7インターフェイスを取得できませんでした！";
  if (record->surfaceMode == 1) {
    if (FAILED(sampleSurface->QueryInterface(IID_IDirectDrawSurface7, &ds.surface7))) return Surface7Failed;
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    As<IDirectDrawSurface7>(ds.surface7)->GetSurfaceDesc(&desc);
    ColorFormatFromPixelFormat(reinterpret_cast<const DirectDrawPixelFormat*>(&desc.ddpfPixelFormat),
                               &record->frameImage.format);
    return nullptr;
  }
  if (FAILED(sampleSurface->QueryInterface(IID_IDirectDrawSurface4, &ds.surface4)))
    return "IDirectDrawSurface4インターフェイスを取得できませんでした！";
  if (FAILED(sampleSurface->QueryInterface(IID_IDirectDrawSurface7, &ds.surface7))) return Surface7Failed;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  As<IDirectDrawSurface4>(ds.surface4)->GetSurfaceDesc(&desc);
  ColorFormatFromPixelFormat(reinterpret_cast<const DirectDrawPixelFormat*>(&desc.ddpfPixelFormat),
                             &record->frameImage.format);
  RasterImage& image = record->frameImage;
  image.width = record->width;
  image.height = record->height;
  image.pitch = (image.format.bytesPerPixel * image.width + 3) / 4 * 4;
  image.pixels = static_cast<uint8_t*>(TrackedCalloc(image.pitch * image.height, __FILE__, __LINE__));
  return nullptr;
}

// Issues a sample update; true when a frame is there now.
bool IssueUpdate(MovieRecord* record, int32_t waitFlag) {
  auto* sample = As<IDirectDrawStreamSample>(record->ds.sample);
  const HRESULT hr = sample->Update(0, waitFlag == 0 ? record->updateEvent : nullptr, nullptr, 0);
  if (hr == 0) return true;
  if (hr == MS_S_PENDING) {
    record->updatePending = 1;
    return false;
  }
  // The end of the stream, or an error.
  if ((record->playType & MovieLoopBit) != 0) {
    auto* stream = As<IAMMultiMediaStream>(record->ds.multiMediaStream);
    stream->Seek(0);
    stream->SetState(STREAMSTATE_RUN);
    record->lastPresentCounter = -1;
    record->lastUpdateTime = -1;
  } else {
    record->playing = 0;
    record->paused = 1;
  }
  return false;
}

void DeliverFrame(MovieRecord* record) {
  RasterImage& image = record->frameImage;
  if (image.pixels != nullptr && record->ds.surface4 != nullptr) {
    auto* surface = As<IDirectDrawSurface4>(record->ds.surface4);
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    if (SUCCEEDED(surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) {
      const size_t row = static_cast<size_t>(image.format.bytesPerPixel) * static_cast<size_t>(image.width);
      const auto* from = static_cast<const uint8_t*>(desc.lpSurface);
      for (int32_t y = 0; y < image.height; ++y)
        std::memcpy(image.pixels + y * image.pitch, from + static_cast<ptrdiff_t>(y) * desc.lPitch, row);
      surface->Unlock(nullptr);
    }
  }
  if (record->surfaceMode != 1 && record->frameCallback != nullptr)
    record->frameCallback(record, record->userData);
  record->lastPresentCounter = static_cast<int64_t>(GetPresentCounter());
  record->lastUpdateTime = ReadMillisecondClock();
  ResetEvent(record->updateEvent);
  record->updatePending = 0;
  record->frameUpdated = 1;
}

}  // namespace

long (*MovieStreamOpenFile)(void* stream, const wchar_t* path) = OpenStreamFileNow;
int32_t MovieOpenWaitLimitMs = 10000;

int OpenMovieDirectShow(void* ddraw, MovieRecord* record, const char* path, int32_t* widthOut, int32_t* heightOut,
                        int32_t mode) {
  record->frameImage.pixels = nullptr;
  record->frameUpdated = 0;
  record->overlayX = record->overlayY = record->overlayScale = 0;
  record->overlayShown = 0;
  record->overlaySource = record->overlayDest = MovieRect{};
  mode = ResolveSurfaceMode(mode);
  char fileMessage[FileMessageBytes];
  const char* failure =
      OpenSteps(static_cast<IDirectDraw7*>(ddraw), record, path, widthOut, heightOut, mode, fileMessage);
  if (failure == nullptr && record->surfaceMode != 1 && record->frameImage.pixels == nullptr)
    failure = "メモリの確保に失敗しました in OpenMovie";
  if (failure != nullptr) {
    ReleaseAllObjects(record->ds);
    FreeFrameBuffer(record);
    return LogMessage(failure);
  }
  record->updateEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  record->updatePending = 0;
  record->lastPresentCounter = -1;
  record->lastUpdateTime = -1;
  return 0;
}

void FinishAbandonedMovieOpens() {
  for (HANDLE& slot : AbandonedOpens) {
    if (slot == nullptr) continue;
    WaitForSingleObject(slot, AbandonedOpenShutdownWaitMs);
    CloseHandle(slot);
    slot = nullptr;
  }
}

int OpenMovieDirectShowRecord(MovieRecord* record, const char* path, int32_t* width, int32_t* height, int32_t mode) {
  return OpenMovieDirectShow(GetDirectDrawObject(), record, path, width, height, mode);
}

void UpdateMovieDirectShow(MovieRecord* record, int32_t waitFlag) {
  if (!HasVideoSurface(record) || record->ds.sample == nullptr) return;
  auto* stream = As<IAMMultiMediaStream>(record->ds.multiMediaStream);
  STREAM_STATE state = STREAMSTATE_STOP;
  stream->GetState(&state);
  if (waitFlag == 0) {
    if (record->playing != 1 || record->paused != 0 || state != STREAMSTATE_RUN) return;
    if (static_cast<int64_t>(GetPresentCounter()) == record->lastPresentCounter &&
        ReadMillisecondClock() - record->lastUpdateTime < UpdateIntervalMs)
      return;
  }
  bool arrived = false;
  if (record->updatePending == 1) {
    // A second Update while one is under way is refused: wait for that one instead.
    if (WaitForSingleObject(record->updateEvent, waitFlag == 0 ? 0 : PendingUpdateWaitMs) != WAIT_OBJECT_0) return;
    arrived = true;
  } else {
    arrived = IssueUpdate(record, waitFlag);
  }
  if (!arrived) return;
  DeliverFrame(record);
  // One more asynchronous update at once; a frame that is there already is delivered too,
  // and the call ends.
  if (waitFlag == 0 && IssueUpdate(record, 0)) DeliverFrame(record);
}

int PauseMovieDirectShow(MovieRecord* record) {
  if (!HasVideoSurface(record)) return 0;
  As<IMediaControl>(record->ds.mediaControl)->Pause();
  return 1;
}

int RunMovieDirectShow(MovieRecord* record) {
  if (!HasVideoSurface(record)) return 0;
  As<IAMMultiMediaStream>(record->ds.multiMediaStream)->SetState(STREAMSTATE_RUN);
  return 1;
}

void CloseMovieDirectShow(MovieRecord* record) {
  if (record->surfaceMode == 1 && record->ds.surface7 != nullptr)
    As<IDirectDrawSurface7>(record->ds.surface7)
        ->UpdateOverlay(nullptr, static_cast<IDirectDrawSurface7*>(GetPrimarySurface()), nullptr, DDOVER_HIDE,
                        nullptr);
  StopStreaming(record);
  FreeFrameBuffer(record);
  DirectShowObjects& ds = record->ds;
  for (void** object : {&ds.surface4, &ds.surface7, &ds.sampleSurface, &ds.sample, &ds.ddrawMediaStream,
                        &ds.amMediaStream, &ds.videoStream, &ds.basicAudio, &ds.mediaSeeking, &ds.ddraw4,
                        &ds.mediaControl, &ds.graphBuilder, &ds.multiMediaStream})
    ReleaseObject(*object);
  CloseUpdateEvent(record);
}

int ReleaseMovieDirectShowObjects(MovieRecord* record) {
  if (!HasVideoSurface(record)) return 0;
  STREAM_TIME time = 0;
  if (record->ds.multiMediaStream != nullptr && SUCCEEDED(As<IAMMultiMediaStream>(record->ds.multiMediaStream)->GetTime(&time)))
    record->savedPosition = time;
  StopStreaming(record);
  ReleaseAllObjects(record->ds);
  FreeFrameBuffer(record);
  CloseUpdateEvent(record);
  record->updatePending = 0;
  return 0;
}

int RestoreMovieDirectShowObjects(MovieRecord* record) {
  if (HasVideoSurface(record)) return 0;
  if (OpenMovieDirectShow(GetDirectDrawObject(), record, record->name, nullptr, nullptr, record->surfaceMode) < 0)
    return -1;
  auto* stream = As<IAMMultiMediaStream>(record->ds.multiMediaStream);
  stream->Seek(record->savedPosition);
  if (record->paused == 0) RunMovieDirectShow(record);
  return 0;
}

}  // namespace quelt
