// DirectSound start and end, the buffers of plain sounds, loading, playing and stopping.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <cstdio>
#include <cstring>

#include "core/fatal_exit.h"
#include "core/log.h"
#include "core/tracked_alloc.h"
#include "core/window_hooks.h"
#include "file/file_access.h"
#include "sound/music.h"
#include "sound/pcm_converter.h"
#include "sound/sound.h"

namespace quelt {

// The engine clock (core/clock.h, whose DateRecord clashes with file access's).
int32_t ReadMillisecondClock();

namespace {

IDirectSound* DirectSoundObject = nullptr;
IDirectSoundBuffer* PrimaryBuffer = nullptr;
IDirectSoundBuffer* SilentBuffer = nullptr;

const char* OkOrNo(DWORD flags, DWORD bit) { return (flags & bit) != 0 ? "OK" : "NO"; }

BOOL CALLBACK LogSoundDeviceCallback(LPGUID, LPCSTR description, LPCSTR module, LPVOID) {
  WriteLogFormat("モジュール名:%15s  ドライバ記述:%s ", module != nullptr ? module : "",
                 description != nullptr ? description : "");
  return TRUE;
}

void ReportSoundDevices() {
  ++EngineLog.indentLevel;
  WriteLog("DirectSound デバイスを列挙します\n");
  const HMODULE library = LoadLibraryA("DSOUND.DLL");
  if (library == nullptr) {
    WriteLog("DSOUND.DLL のロードに失敗しました\n");
  } else {
    using EnumerateFn = HRESULT(WINAPI*)(LPDSENUMCALLBACKA, LPVOID);
    const auto enumerate = reinterpret_cast<EnumerateFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "DirectSoundEnumerateA")));
    if (enumerate == nullptr) {
      WriteLog("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
    } else {
      enumerate(LogSoundDeviceCallback, nullptr);
      DSCAPS caps{};
      caps.dwSize = sizeof caps;
      DirectSoundObject->GetCaps(&caps);
      WriteLogFormat("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                     caps.dwMaxSecondarySampleRate / 1000.0, caps.dwMinSecondarySampleRate / 1000.0);
      WriteLogFormat("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", caps.dwTotalHwMemBytes / 1024.0,
                     caps.dwFreeHwMemBytes / 1024.0);
      WriteLogFormat("利用可能サンプリング精度\n");
      WriteLogFormat(" プライマリ １６bit = %s  ８bit = %s ", OkOrNo(caps.dwFlags, DSCAPS_PRIMARY16BIT),
                     OkOrNo(caps.dwFlags, DSCAPS_PRIMARY8BIT));
      WriteLogFormat(" セカンダリ １６bit = %s  ８bit = %s \n", OkOrNo(caps.dwFlags, DSCAPS_SECONDARY16BIT),
                     OkOrNo(caps.dwFlags, DSCAPS_SECONDARY8BIT));
      WriteLogFormat("利用可能チャンネル\n");
      WriteLogFormat(" プライマリ MONO = %s  STEREO = %s ", OkOrNo(caps.dwFlags, DSCAPS_PRIMARYMONO),
                     OkOrNo(caps.dwFlags, DSCAPS_PRIMARYSTEREO));
      WriteLogFormat(" セカンダリ MONO = %s  STEREO = %s \n", OkOrNo(caps.dwFlags, DSCAPS_SECONDARYMONO),
                     OkOrNo(caps.dwFlags, DSCAPS_SECONDARYSTEREO));
    }
    FreeLibrary(library);
  }
  if (EngineLog.indentLevel > 0) --EngineLog.indentLevel;
}

int ReleaseDirectSound(const char* message) {
  DirectSoundObject->Release();
  DirectSoundObject = nullptr;
  return WriteLog(message);
}

void SetPrimaryFormat() {
  DSCAPS caps{};
  caps.dwSize = sizeof caps;
  DirectSoundObject->GetCaps(&caps);
  const auto channels = static_cast<uint16_t>((caps.dwFlags & DSCAPS_PRIMARYSTEREO) != 0 ? 2 : 1);
  const auto bits = static_cast<uint16_t>((caps.dwFlags & DSCAPS_PRIMARY16BIT) != 0 ? 16 : 8);
  uint32_t rate = caps.dwMaxSecondarySampleRate;
  if (rate >= 44100 || rate == 0) rate = 44100;
  WaveFormat format = MakePcmFormat(channels, rate, bits);
  if (FAILED(PrimaryBuffer->SetFormat(reinterpret_cast<WAVEFORMATEX*>(&format))))
    WriteLog("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
}

void StartSilentBuffer() {
  WaveFormat format = MakePcmFormat(2, 44100, 16);
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_STATIC;
  desc.dwBufferBytes = 400;
  desc.lpwfxFormat = reinterpret_cast<WAVEFORMATEX*>(&format);
  if (FAILED(DirectSoundObject->CreateSoundBuffer(&desc, &SilentBuffer, nullptr))) {
    SilentBuffer = nullptr;
    WriteLog("無音バッファの作成に失敗しました");
    return;
  }
  void* p1 = nullptr;
  void* p2 = nullptr;
  DWORD s1 = 0, s2 = 0;
  if (FAILED(SilentBuffer->Lock(0, 400, &p1, &s1, &p2, &s2, 0))) {
    WriteLog("無音バッファのロックに失敗しました");
    SilentBuffer->Release();
    SilentBuffer = nullptr;
    return;
  }
  if (p1 != nullptr) std::memset(p1, 0, s1);
  if (p2 != nullptr) std::memset(p2, 0, s2);
  SilentBuffer->Unlock(p1, s1, p2, s2);
  SilentBuffer->Play(0, 0, DSBPLAY_LOOPING);
}

bool Started() { return DirectSoundObject != nullptr; }

// What DirectSound answered the last buffer creation.
HRESULT LastCreateResult = S_OK;

// DirectSound's answers that refuse the format asked for, rather than fail for want of
// memory or a device.
bool RefusesFormat(HRESULT result) {
  return result == DSERR_BADFORMAT || result == DSERR_INVALIDPARAM || result == DSERR_UNSUPPORTED ||
         result == DSERR_CONTROLUNAVAIL;
}

const char* DirectSoundErrorName(HRESULT result) {
  switch (result) {
    case DSERR_BADFORMAT:
      return "DSERR_BADFORMAT";
    case DSERR_INVALIDPARAM:
      return "DSERR_INVALIDPARAM";
    case DSERR_UNSUPPORTED:
      return "DSERR_UNSUPPORTED";
    case DSERR_CONTROLUNAVAIL:
      return "DSERR_CONTROLUNAVAIL";
    default:
      return "DirectSound error";
  }
}

// A plain sound's first buffer (or a stream's ring) could not be made: a format DirectSound
// refuses is the file's fault and fails the load; anything else ends the program.
int BufferNotMade(const WaveFormat& format, const char* fatalMessage) {
  if (!RefusesFormat(LastCreateResult)) FatalExit(fatalMessage);
  char reason[64];
  std::snprintf(reason, sizeof reason, "%s 0x%08lX", DirectSoundErrorName(LastCreateResult),
                static_cast<unsigned long>(LastCreateResult));
  LogSoundFormatRefused(format, reason);
  return -1;
}

int FinishSoundStart();

bool Soft(const SoundBuffer* b) { return b->buffer == nullptr; }

// The software variant keeps its play position in samples.
uint32_t SoftBytes(const SoundBuffer* b) {
  return static_cast<uint32_t>(b->softLength) * (b->softFormat.blockAlign != 0 ? b->softFormat.blockAlign : 1u);
}

SoundRecord* FindSound(int32_t handle) { return Started() ? Sounds.Find(handle) : nullptr; }

}  // namespace

int32_t SoftwareSoundBuffers = 0;

bool SoundStarted() { return Started(); }

void LogSoundFormatRefused(const WaveFormat& format, const char* reason) {
  WriteLogFormat("サウンドバッファを作れない音声形式です：形式 %u  %u チャンネル  %u Hz  %u bit  (%s)",
                 format.formatTag, format.channels, static_cast<unsigned>(format.samplesPerSec), format.bitsPerSample,
                 reason);
}

int SetSoundCreateType(int32_t type) {
  if (!Started() || type < 0 || type > 3) return -1;
  SoundCreateType = type;
  return 0;
}

int32_t GetSoundCreateType() { return Started() ? SoundCreateType : -1; }

int32_t AddSoundData(int32_t) {
  if (!Started()) return -1;
  const HandleAlloc<SoundRecord> made = Sounds.Allocate(__FILE__, __LINE__);
  if (made.failure == HandleAllocFailure::TableFull) return WriteLog("サウンドの数が許容量を越えました\n");
  if (made.failure != HandleAllocFailure::None) return WriteLog("メモリ領域の確保に失敗しました in AddSoundData");
  return made.handle;
}

int SoundBufferRelease(SoundBuffer* b) {
  if (b->valid == 0) return -1;
  if (b->buffer != nullptr) b->buffer->Release();
  TrackedFree(b->softData);
  b->softData = nullptr;
  b->buffer = nullptr;
  b->valid = 0;
  return 0;
}

int SoundBufferGetStatus(SoundBuffer* b, DWORD* status) {
  if (b->valid == 0) return -1;
  if (Soft(b)) {
    *status = b->softPlaying != 0 ? DSBSTATUS_PLAYING : 0;
    return 0;
  }
  return FAILED(b->buffer->GetStatus(status)) ? -1 : 0;
}

int SoundBufferStop(SoundBuffer* b) {
  if (b->valid == 0) return -1;
  if (Soft(b)) {
    b->softPlaying = 0;
    return 0;
  }
  return FAILED(b->buffer->Stop()) ? -1 : 0;
}

int SoundBufferPlay(SoundBuffer* b, int32_t loop) {
  if (b->valid == 0) return -1;
  if (Soft(b)) {
    b->softPlaying = 1;
    b->softLoop = loop != 0 ? 1 : 0;
    return 0;
  }
  return FAILED(b->buffer->Play(0, 0, loop != 0 ? DSBPLAY_LOOPING : 0)) ? -1 : 0;
}

int SoundBufferSetPosition(uint32_t offset, SoundBuffer* b) {
  if (b->valid == 0) return -1;
  if (Soft(b)) {
    if (offset >= SoftBytes(b)) return -1;
    b->softPosition = static_cast<int32_t>(offset / (b->softFormat.blockAlign != 0 ? b->softFormat.blockAlign : 1u));
    return 0;
  }
  return FAILED(b->buffer->SetCurrentPosition(offset)) ? -1 : 0;
}

int SoundBufferCreate(SoundBuffer* b, DSBUFFERDESC* desc) {
  if (Started() && SoftwareSoundBuffers != 0 && desc->lpwfxFormat != nullptr) {
    const WaveFormat& format = *reinterpret_cast<const WaveFormat*>(desc->lpwfxFormat);
    if (!SoundBufferFormatFits(format, desc->dwBufferBytes)) {
      LastCreateResult = DSERR_BADFORMAT;
      return -1;
    }
    b->softData = TrackedCalloc(desc->dwBufferBytes, __FILE__, __LINE__);
    if (b->softData == nullptr) {
      LastCreateResult = E_OUTOFMEMORY;
      return -1;
    }
    b->buffer = nullptr;
    b->softPlaying = 0;
    b->softPosition = 0;
    b->softLoop = 0;
    b->softVolume = 255;
    b->softMinusOne = -1;
    b->softFormat = format;
    b->softLength = static_cast<int32_t>(desc->dwBufferBytes / format.blockAlign);
    b->valid = 1;
    return 0;
  }
  LastCreateResult = Started() ? DirectSoundObject->CreateSoundBuffer(desc, &b->buffer, nullptr) : E_FAIL;
  if (FAILED(LastCreateResult)) {
    b->buffer = nullptr;
    return -1;
  }
  b->valid = 1;
  return 0;
}

int SoundBufferDuplicate(SoundBuffer* from, SoundBuffer* to) {
  if (!Started() || from->valid == 0 || Soft(from)) return -1;
  if (FAILED(DirectSoundObject->DuplicateSoundBuffer(from->buffer, &to->buffer))) {
    to->buffer = nullptr;
    return -1;
  }
  to->valid = 1;
  return 0;
}

int SoundBufferLock(uint32_t offset, SoundBuffer* b, uint32_t bytes, void** first, uint32_t* firstSize,
                    void** second, uint32_t* secondSize) {
  if (b->valid == 0) return -1;
  if (Soft(b)) {
    const uint32_t length = SoftBytes(b);
    if (offset >= length || bytes == 0 || bytes > length) return -1;
    auto* data = static_cast<uint8_t*>(b->softData);
    *first = data + offset;
    *firstSize = bytes < length - offset ? bytes : length - offset;
    *second = bytes > *firstSize ? data : nullptr;
    *secondSize = bytes - *firstSize;
    return 0;
  }
  DWORD s1 = 0, s2 = 0;
  if (FAILED(b->buffer->Lock(offset, bytes, first, &s1, second, &s2, 0))) return -1;
  *firstSize = s1;
  *secondSize = s2;
  return 0;
}

int SoundBufferUnlock(SoundBuffer* b, void* first, uint32_t firstSize, void* second, uint32_t secondSize) {
  if (b->valid == 0) return -1;
  if (Soft(b)) return 0;
  return FAILED(b->buffer->Unlock(first, firstSize, second, secondSize)) ? -1 : 0;
}

int SoundBufferGetPosition(SoundBuffer* b, uint32_t* playCursor) {
  if (b->valid == 0) return -1;
  if (Soft(b)) {
    *playCursor = static_cast<uint32_t>(b->softPosition) * (b->softFormat.blockAlign != 0 ? b->softFormat.blockAlign : 1u);
    return 0;
  }
  DWORD play = 0, write = 0;
  if (FAILED(b->buffer->GetCurrentPosition(&play, &write))) return -1;
  *playCursor = play;
  return 0;
}

namespace {

int32_t PlayCursor(SoundBuffer* b) {
  uint32_t play = 0;
  if (SoundBufferGetPosition(b, &play) != 0) return 0;
  return static_cast<int32_t>(play);
}

int FillBuffer(SoundBuffer* b, const uint8_t* pcm, int32_t size) {
  void* p1 = nullptr;
  void* p2 = nullptr;
  uint32_t s1 = 0, s2 = 0;
  if (SoundBufferLock(0, b, static_cast<uint32_t>(size), &p1, &s1, &p2, &s2) != 0)
    return WriteLog("サウンドデータの転送に失敗しました_1");
  const auto total = static_cast<uint32_t>(size);
  if (s1 > total) s1 = total;
  if (s2 > total - s1) s2 = total - s1;
  if (p1 != nullptr) std::memcpy(p1, pcm, s1);
  if (p2 != nullptr) std::memcpy(p2, pcm + s1, s2);
  if (SoundBufferUnlock(b, p1, s1, p2, s2) != 0) return WriteLog("サウンドデータの転送に失敗しました_2");
  return 0;
}

}  // namespace

int InitializeSound() {
  if (Started()) return -1;
  if (Music.backEndMode == 1) {
    const int music = StartDirectMusic(&DirectSoundObject);
    if (music == -1) return -1;
    if (music == 0) return FinishSoundStart();
  }
  WriteLog("DirectSound の初期化を行います\n");
  WriteLog("DirectSound インターフェースの取得を行います....  ");
  if (FAILED(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound,
                              reinterpret_cast<void**>(&DirectSoundObject)))) {
    DirectSoundObject = nullptr;
    return WriteLog("DirectSoundインターフェースの作成に失敗しました\n");
  }
  WriteLog("成功\n");
  WriteLog("引き続きインターフェースの初期化処理...  ");
  if (FAILED(DirectSoundObject->Initialize(nullptr))) return ReleaseDirectSound("初期化に失敗しました\n");
  WriteLog("成功\n");
  if (FAILED(DirectSoundObject->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY)))
    return ReleaseDirectSound("DirectSoundの協調レベルの設定に失敗しました\n");
  return FinishSoundStart();
}

namespace {

int FinishSoundStart() {
  DSBUFFERDESC primary{};
  primary.dwSize = sizeof primary;
  primary.dwFlags = DSBCAPS_PRIMARYBUFFER;
  if (FAILED(DirectSoundObject->CreateSoundBuffer(&primary, &PrimaryBuffer, nullptr))) {
    PrimaryBuffer = nullptr;
    return ReleaseDirectSound("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
  }
  SetPrimaryFormat();
  StartSilentBuffer();
  SoundCreateType = 0;
  OggWordSize = 2;
  InitStreamList();
  ReportSoundDevices();
  WriteLog("DirectSound の初期化は正常に終了しました\n");
  DeleteAllSounds(0);
  return 0;
}

}  // namespace

int TerminateSound() {
  if (!Started()) return -1;
  // WAV output left on gets its header; without it the file is unreadable.
  FinishWaveOutputFile();
  DeleteAllSounds(0);
  DeleteAllMidiHandles();
  DeleteTemporaryMidiFile();
  if (PrimaryBuffer != nullptr) {
    PrimaryBuffer->Stop();
    PrimaryBuffer->Release();
    PrimaryBuffer = nullptr;
  }
  if (SilentBuffer != nullptr) {
    SilentBuffer->Stop();
    SilentBuffer->Release();
    SilentBuffer = nullptr;
  }
  DirectSoundObject->Release();
  DirectSoundObject = nullptr;
  EndDirectMusic();
  WriteLog("DirectSound の終了処理は正常に終了しました\n");
  return 0;
}

int LoadFileToMemory(const char* path, void** data, int32_t* size) {
  const FileHandle file = FileAccessOpen(path, 0, 1, 0);
  if (file == 0) {
    WriteLogFormat("右記のファイルのオープンに失敗しました：%s", path);
    return -1;
  }
  FileAccessSeek(file, 0, 2);
  const int32_t length = FileAccessTell(file);
  FileAccessSeek(file, 0, 0);
  void* block = length > 0 ? TrackedAlloc(length, __FILE__, __LINE__) : nullptr;
  if (block == nullptr) {
    FileAccessClose(file);
    WriteLogFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
    return -1;
  }
  FileAccessRead(block, length, 1, file);
  FileAccessClose(file);
  *data = block;
  *size = length;
  return 0;
}

int32_t LoadSoundFile(const char* path, int32_t bufferCount, int32_t streamArgument) {
  if (!Started() || path == nullptr) return -1;
  if (SoundCreateType != 0) {
    const int32_t handle = AddSoundData(-1);
    if (handle == -1) return -1;
    if (AddStreamSoundFile(path, 0, handle, SoundCreateType, streamArgument) != 0) {
      DeleteSoundHandle(handle, 0);
      return -1;
    }
    PrimeStreamSound(handle);
    return handle;
  }
  void* image = nullptr;
  int32_t size = 0;
  if (LoadFileToMemory(path, &image, &size) != 0) {
    WriteLogFormat("右記の音声ファイルのロードに失敗しました_1：%s", path);
    return -1;
  }
  if (bufferCount > MaxSoundBuffers) bufferCount = MaxSoundBuffers;
  const int32_t handle = LoadSoundFromMemory(image, size, bufferCount, streamArgument);
  if (handle == -1) WriteLogFormat("右記の音声ファイルのロードに失敗しました_2：%s", path);
  TrackedFree(image);
  return handle;
}

int CreateStreamSoundBuffer(const WaveFormat* format, int32_t size, int32_t mode, int32_t bufferCount,
                            int32_t handle) {
  SoundRecord* sound = FindSound(handle);
  if (sound != nullptr && mode == 1 && size > 0) {
    // The ring of a stream sound: one buffer, its play cursor read while it plays.
    WaveFormat copy = *format;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN |
                   DSBCAPS_CTRLFREQUENCY | DSBCAPS_STATIC;
    desc.dwBufferBytes = static_cast<DWORD>(size);
    desc.lpwfxFormat = reinterpret_cast<WAVEFORMATEX*>(&copy);
    if (SoundBufferCreate(&sound->buffers[0], &desc) != 0)
      return BufferNotMade(*format, "ストリーム風サウンドバッファの作成に失敗しました");
    sound->bufferCount = 1;
    sound->format = *format;
    return 0;
  }
  if (sound == nullptr || mode != 0 || size <= 0 || bufferCount < 1 || bufferCount > MaxSoundBuffers) return -1;
  WaveFormat copy = *format;
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY | DSBCAPS_STATIC;
  desc.dwBufferBytes = static_cast<DWORD>(size);
  desc.lpwfxFormat = reinterpret_cast<WAVEFORMATEX*>(&copy);
  if (SoundBufferCreate(&sound->buffers[0], &desc) != 0) {
    desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_STATIC;
    if (SoundBufferCreate(&sound->buffers[0], &desc) != 0)
      return BufferNotMade(*format, "DirectSoundBuffer の作成に失敗しました");
  }
  int32_t made = 1;
  while (made < bufferCount && SoundBufferDuplicate(&sound->buffers[0], &sound->buffers[made]) == 0) ++made;
  sound->bufferCount = made;
  sound->format = *format;
  return 0;
}

int32_t LoadSoundFromMemory(const void* image, int32_t size, int32_t bufferCount, int32_t streamArgument) {
  if (!Started() || image == nullptr || size <= 0 || bufferCount > MaxSoundBuffers) return -1;
  if (SoundCreateType != 0) {
    const int32_t handle = AddSoundData(-1);
    if (handle == -1) return -1;
    if (AddStreamSoundImage(image, size, 0, handle, SoundCreateType, streamArgument) != 0) {
      DeleteSoundHandle(handle, 0);
      return -1;
    }
    PrimeStreamSound(handle);
    return handle;
  }
  if (bufferCount < 1) bufferCount = 1;
  const int32_t handle = AddSoundData(-1);
  if (handle == -1) return -1;
  SoundRecord* sound = Sounds.Find(handle);
  MemoryStream* memory = OpenMemoryStream(image, size);
  if (memory == nullptr) {
    DeleteSoundHandle(handle, 0);
    return -1;
  }
  const DataStream stream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)};
  auto* converter = static_cast<PcmConverter*>(TrackedCalloc(sizeof(PcmConverter), __FILE__, __LINE__));
  WaveFormat format{};
  uint8_t* pcm = nullptr;
  int32_t pcm_size = 0;
  int failed = 0;
  if (converter == nullptr || OpenPcmConverter(stream, converter) != 0) {
    WriteLog("音声ファイルのＰＣＭへの変換に失敗しました");
    failed = 1;
  } else {
    // A sound no buffer can hold is refused before its whole decode is allocated.
    GetPcmConverterFormat(converter, &format);
    if (!SoundBufferFormatFits(format, MinSoundBufferBytes) || GetPcmConverterSize(converter) > MaxSoundBufferBytes) {
      LogSoundFormatRefused(format, "バッファの大きさか形式の範囲外");
      failed = 1;
    } else if (ConvertWholeToPcm(converter, &format, &pcm, &pcm_size) != 0) {
      WriteLog("音声ファイルを格納するメモリ領域の確保に失敗しました");
      failed = 1;
    }
    ClosePcmConverter(converter);
  }
  TrackedFree(converter);
  CloseMemoryStream(reinterpret_cast<StreamHandle>(memory));
  // A format or size no buffer can take is refused here, before DirectSound is asked.
  if (failed == 0 && !SoundBufferFormatFits(format, pcm_size)) {
    LogSoundFormatRefused(format, "バッファの大きさか形式の範囲外");
    failed = 1;
  }
  if (failed != 0) {
    TrackedFree(pcm);
    DeleteSoundHandle(handle, 0);
    return -1;
  }
  // The bytes per second a file states are only informative for PCM; the buffer gets the
  // ones its format implies.
  format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
  format.extraSize = 0;
  if (CreateStreamSoundBuffer(&format, pcm_size, 0, bufferCount, handle) != 0) {
    TrackedFree(pcm);
    DeleteSoundHandle(handle, 0);
    return -1;
  }
  sound->format = format;
  sound->pcm = pcm;
  sound->pcmSize = pcm_size;
  for (int32_t i = 0; i < sound->bufferCount; ++i) {
    if (FillBuffer(&sound->buffers[i], pcm, pcm_size) != 0) {
      DeleteSoundHandle(handle, 0);
      return -1;
    }
  }
  return handle;
}

int PlaySoundHandle(int32_t handle, int32_t playType, int32_t fromStart) {
  SoundRecord* sound = FindSound(handle);
  if (sound == nullptr) return -1;
  if (sound->streamFlag != 0) return PlayStreamSound(handle, playType, fromStart);
  if (sound->bufferCount <= 0) return -1;
  const int32_t position = PlayCursor(&sound->buffers[sound->currentBuffer]);
  sound->currentBuffer = (sound->currentBuffer + 1) % sound->bufferCount;
  SoundBuffer* b = &sound->buffers[sound->currentBuffer];
  DWORD status = 0;
  if (SoundBufferGetStatus(b, &status) != 0) return -1;
  if ((status & DSBSTATUS_PLAYING) != 0) {
    if (fromStart == 0) return 0;
    SoundBufferStop(b);
  }
  SoundBufferSetPosition(fromStart == 1 ? 0 : static_cast<uint32_t>(position), b);
  if (SoundBufferPlay(b, playType == 3 ? 1 : 0) != 0) return -1;
  sound->playStartTime = ReadMillisecondClock();
  if (playType == 0) {
    while (PumpFrameMessages() == 0 && GetSoundStatus(handle) == 1) Sleep(1);
  }
  return 0;
}

int StopSoundHandle(int32_t handle) {
  SoundRecord* sound = FindSound(handle);
  if (sound == nullptr) return -1;
  if (sound->streamFlag != 0) return StopStreamSound(handle);
  for (int32_t i = 0; i < sound->bufferCount; ++i) {
    DWORD status = 0;
    if (SoundBufferGetStatus(&sound->buffers[i], &status) != 0) return -1;
    if ((status & DSBSTATUS_PLAYING) != 0) SoundBufferStop(&sound->buffers[i]);
  }
  return 0;
}

int GetSoundStatus(int32_t handle) {
  SoundRecord* sound = FindSound(handle);
  if (sound == nullptr) return -1;
  if (sound->streamFlag != 0) return GetStreamSoundStatus(handle);
  for (int32_t i = 0; i < sound->bufferCount; ++i) {
    DWORD status = 0;
    if (SoundBufferGetStatus(&sound->buffers[i], &status) == 0 && (status & DSBSTATUS_PLAYING) != 0) return 1;
  }
  return 0;
}

int32_t GetSoundPositionMs(int32_t handle) {
  SoundRecord* sound = FindSound(handle);
  if (sound == nullptr) return -1;
  if (sound->streamFlag != 0) return GetStreamSoundPositionMs(handle);
  return BytesToMilliseconds(PlayCursor(&sound->buffers[sound->currentBuffer]), sound->format);
}

int DeleteSoundHandle(int32_t handle, int32_t) {
  SoundRecord* sound = FindSound(handle);
  if (sound == nullptr) return -1;
  StopSoundHandle(handle);
  if (sound->streamFlag != 0) {
    if (ReleaseStreamSound(handle) != 0) return 0;
    sound = FindSound(handle);
    if (sound == nullptr) return 0;
  }
  for (SoundBuffer& b : sound->buffers) {
    if (b.valid != 0) SoundBufferRelease(&b);
  }
  TrackedFree(sound->pcm);
  sound->pcm = nullptr;
  return Sounds.Release(handle);
}

int DeleteAllSounds(int32_t argument) {
  if (!Started()) return -1;
  Sounds.ForEachLive([argument](EngineHandle handle) { DeleteSoundHandle(handle, argument); });
  return 0;
}

}  // namespace quelt
