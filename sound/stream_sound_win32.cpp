// Stream sounds: long audio played from a six-second ring that the message pump refills
// once per frame, from up to three sources played in turn, possibly on another sound's ring.
#include <windows.h>

#include <cstring>

#include "core/little_endian.h"
#include "core/log.h"
#include "core/tracked_alloc.h"
#include "core/window_hooks.h"
#include "file/file_access.h"
#include "sound/pcm_converter.h"
#include "sound/sound.h"

namespace quelt {

int32_t ReadMillisecondClock();

namespace {

ListNode StreamListHead;
ListNode StreamListTail;

SoundRecord* FindStream(int32_t handle) {
  if (!SoundStarted()) return nullptr;
  SoundRecord* sound = Sounds.Find(handle);
  return sound != nullptr && sound->streamFlag != 0 ? sound : nullptr;
}

int64_t BytesPerSecond(const SoundRecord* s) { return s->format.avgBytesPerSec; }
int64_t BlockAlign(const SoundRecord* s) { return s->format.blockAlign != 0 ? s->format.blockAlign : 1; }

// The record that owns the ring this sound plays on (itself, or its shared source).
SoundRecord* RingOwner(SoundRecord* sound) {
  if (sound->sharedSource == -1) return sound;
  return FindStream(sound->sharedSource);
}

SoundBuffer* Ring(SoundRecord* sound) {
  SoundRecord* owner = RingOwner(sound);
  return owner != nullptr ? &owner->buffers[0] : nullptr;
}

bool RingPlaying(SoundBuffer* ring) {
  unsigned long status = 0;
  return ring != nullptr && SoundBufferGetStatus(ring, &status) == 0 && (status & 1) != 0;
}

int32_t RingCursor(SoundBuffer* ring) {
  uint32_t play = 0;
  if (ring == nullptr || SoundBufferGetPosition(ring, &play) != 0) return 0;
  return static_cast<int32_t>(play);
}

// Whether P lies in the window from V to W, both ends included, the window possibly
// wrapping past the ring's end.
bool InsideWindow(int32_t p, int32_t v, int32_t w) { return v <= w ? (v <= p && p <= w) : (p >= v || p <= w); }

}  // namespace

void InitStreamList() { InitList(&StreamListHead, &StreamListTail); }

namespace {

// Claims the ring for the handle. Another sound recorded as its player makes the claim fail,
// or with take-over is stopped; both then lose "primed", since whichever plays next
// overwrites the ring and must write its own four seconds first.
SoundBuffer* GetStreamSoundBuffer(int32_t handle, bool takeOver) {
  SoundRecord* sound = FindStream(handle);
  if (sound == nullptr) return nullptr;
  SoundRecord* owner = RingOwner(sound);
  if (owner == nullptr) return nullptr;
  const int32_t other = owner->currentPlayer;
  if (other != -1 && other != handle) {
    SoundRecord* previous = FindStream(other);
    if (previous != nullptr) {
      if (!takeOver) return nullptr;
      StopStreamSound(other);
      previous->primed = 0;
      sound->primed = 0;
    }
  }
  owner->currentPlayer = handle;
  return &owner->buffers[0];
}

// Bytes a source gives over all its plays (a source repeated forever counts once).
int64_t SourcePlayedBytes(SoundRecord* sound, int32_t index) {
  StreamSource& source = sound->sources[index];
  PcmConverter* converter = &source.converter;
  const int64_t bytes =
      converter->kind == PcmConverterKind::Ogg ? GetOggTotalBytes(converter) : GetPcmConverterSize(converter);
  const int64_t whole = bytes / BlockAlign(sound) * BlockAlign(sound);
  return source.repeatCount < 0 ? whole : whole * (source.repeatCount + 1);
}

// The part of the sound that loops, in played bytes: from a source repeated forever's loop
// start to its end, or the whole sound when it is played looped; false when nothing loops.
bool LoopedPart(SoundRecord* sound, int64_t* start, int64_t* end) {
  int64_t before = 0;
  for (int32_t i = 0; i < sound->sourceCount; ++i) {
    const int64_t bytes = SourcePlayedBytes(sound, i);
    if (sound->sources[i].repeatCount == -1) {
      *start = before + int64_t{sound->sources[i].loopStartSample} * BlockAlign(sound);
      *end = before + bytes;
      return *start < *end;
    }
    before += bytes;
  }
  *start = 0;
  *end = before;
  return sound->lastPlayType == 3 && before > 0;
}

void AccountStreamPosition(SoundRecord* sound, int32_t cursor) {
  // A shared ring's cursor moves for its current player only.
  const SoundRecord* owner = RingOwner(sound);
  if (owner == nullptr || (owner->currentPlayer != -1 && owner->currentPlayer != sound->node.value)) return;
  if (cursor == -1) cursor = RingCursor(Ring(sound));
  const int32_t last = sound->lastCursor;
  if (cursor == last) return;
  const int64_t ring = sound->ringSize;
  // The last of the pending loops the cursor has passed since the last look restarts the
  // count; the ones passed before it are done with.
  bool passed = false;
  PendingLoop latest{};
  while (sound->loopCount > 0) {
    const int32_t loop = sound->loops[0].ringPosition;
    const bool crossed = last <= cursor ? (last < loop && loop <= cursor) : (loop > last || loop <= cursor);
    if (!crossed) break;
    latest = sound->loops[0];
    passed = true;
    --sound->loopCount;
    std::memmove(&sound->loops[0], &sound->loops[1], sizeof(PendingLoop) * static_cast<size_t>(sound->loopCount));
  }
  if (passed) {
    sound->playedBytes =
        (cursor - latest.ringPosition + (cursor < latest.ringPosition ? ring : 0)) + latest.playedBytes;
  } else {
    sound->playedBytes += cursor - last + (cursor < last ? ring : 0);
  }
  // Past the end of the looped part the cursor has passed a loop the full queue could not
  // record: the loops are that part's length apart.
  int64_t start = 0;
  int64_t end = 0;
  if (LoopedPart(sound, &start, &end) && sound->playedBytes >= end)
    sound->playedBytes = start + (sound->playedBytes - start) % (end - start);
  sound->lastCursor = cursor;
}

// Records a loop at the ring position of the next write. A full queue (a source of under an
// eighth of a second) keeps its older loops; the position accounting then wraps by the
// looped part's length instead.
void PushPendingLoop(SoundRecord* sound, int32_t ringPosition, int64_t playedBytes) {
  if (sound->loopCount == MaxPendingLoops) return;
  sound->loops[sound->loopCount++] = PendingLoop{ringPosition, playedBytes};
}

void FillStreamSilence(const SoundRecord* sound, void* dest, uint32_t bytes) {
  std::memset(dest, sound->format.bitsPerSample == 8 ? 0x7F : 0, bytes);
}

void SeekCurrentSource(SoundRecord* sound) {
  StreamSource& source = sound->sources[sound->currentSource];
  SeekPcmConverter(&source.converter, sound->sourcePosition / BlockAlign(sound));
}

// Where a refill writes: the locked pieces and the ring offset of the next byte.
struct RingWrite {
  uint8_t* piece[2];
  uint32_t size[2];
  uint32_t filled[2];
  int32_t ringPosition;
};

void SilenceRest(SoundRecord* sound, RingWrite& w) {
  for (int i = 0; i < 2; ++i) {
    if (w.piece[i] == nullptr) continue;
    FillStreamSilence(sound, w.piece[i] + w.filled[i], w.size[i] - w.filled[i]);
    w.filled[i] = w.size[i];
  }
}

// The current source has given everything: repeat it, move on, loop, or end (-1).
int AdvanceStreamSource(SoundRecord* sound, RingWrite& w) {
  StreamSource& source = sound->sources[sound->currentSource];
  const int32_t r = sound->repeatCounter;
  sound->repeatCounter = r + 1;
  if (source.repeatCount == -1) {
    sound->sourcePosition = int64_t{source.loopStartSample} * BlockAlign(sound);
    int64_t before = 0;
    for (int32_t i = 0; i < sound->currentSource; ++i) before += SourcePlayedBytes(sound, i);
    PushPendingLoop(sound, w.ringPosition, before + sound->sourcePosition);
  } else if (source.repeatCount < r + 1) {
    sound->repeatCounter = 0;
    ++sound->currentSource;
    if (sound->currentSource >= sound->sourceCount) {
      sound->allSourcesDone = 1;
      if (sound->lastPlayType != 3) {
        sound->currentSource = sound->sourceCount - 1;
        sound->ending = 1;
        sound->endPosition = w.ringPosition;
        sound->endCursor = RingCursor(Ring(sound));
        // The whole rest of the locked region, not just its first eighth of a second:
        // what lies past the end must never sound old data.
        SilenceRest(sound, w);
        return -1;
      }
      sound->currentSource = 0;
      PushPendingLoop(sound, w.ringPosition, 0);
    }
    sound->sourcePosition = 0;
  } else {
    sound->sourcePosition = 0;
  }
  SeekCurrentSource(sound);
  return 0;
}

void ConvertIntoLockedRing(SoundRecord* sound, RingWrite& w) {
  // Sources that give nothing at all must not hold the pump forever.
  int32_t empty_advances = 0;
  for (int i = 0; i < 2 && sound->ending == 0; ++i) {
    while (w.piece[i] != nullptr && w.filled[i] < w.size[i] && sound->ending == 0) {
      StreamSource& source = sound->sources[sound->currentSource];
      const int32_t got = ConvertPcmBlock(&source.converter, w.piece[i] + w.filled[i],
                                          static_cast<int32_t>(w.size[i] - w.filled[i]));
      if (got > 0) {
        w.filled[i] += static_cast<uint32_t>(got);
        w.ringPosition = static_cast<int32_t>((w.ringPosition + got) % sound->ringSize);
        sound->sourcePosition += got;
        empty_advances = 0;
        continue;
      }
      if (++empty_advances > 2 * MaxStreamSources + 2) {
        SilenceRest(sound, w);
        return;
      }
      AdvanceStreamSource(sound, w);
    }
  }
}

int WriteRing(SoundRecord* sound, SoundBuffer* ring, int32_t offset, uint32_t bytes, bool silence) {
  if (bytes == 0) return 0;
  RingWrite w{};
  void* p1 = nullptr;
  void* p2 = nullptr;
  if (SoundBufferLock(static_cast<uint32_t>(offset), ring, bytes, &p1, &w.size[0], &p2, &w.size[1]) != 0) return -1;
  w.piece[0] = static_cast<uint8_t*>(p1);
  w.piece[1] = static_cast<uint8_t*>(p2);
  w.ringPosition = offset;
  if (silence) {
    SilenceRest(sound, w);
  } else {
    ConvertIntoLockedRing(sound, w);
  }
  SoundBufferUnlock(ring, p1, w.size[0], p2, w.size[1]);
  return 0;
}

void AdvanceWriter(SoundRecord* sound, int64_t written) {
  const int64_t ring = sound->ringSize;
  sound->writeCursor = static_cast<int32_t>((sound->writeCursor + written) % ring);
  int64_t v = sound->writeCursor - 4 * BytesPerSecond(sound);
  if (v < 0) v += ring;
  sound->windowStart = static_cast<int32_t>(v);
}

int64_t EighthSecond(const SoundRecord* sound) {
  return BytesPerSecond(sound) / 8 / BlockAlign(sound) * BlockAlign(sound);
}

int32_t LoadStreamToMemory(const DataStream& stream, uint8_t** data, int32_t* size) {
  stream.ops.seek(stream.handle, 0, 2);
  const int32_t length = stream.ops.tell(stream.handle);
  stream.ops.seek(stream.handle, 0, 0);
  if (length <= 0) return -1;
  auto* block = static_cast<uint8_t*>(TrackedAlloc(length, __FILE__, __LINE__));
  if (block == nullptr) {
    WriteLog("ストリームの読み込みに必要なメモリの確保に失敗しました");
    return -1;
  }
  if (stream.ops.read(block, 1, length, stream.handle) != length) {
    TrackedFree(block);
    return -1;
  }
  *data = block;
  *size = length;
  return 0;
}

// A PCM WAV file image: 46 header bytes (an 18-byte format) and the samples.
uint8_t* BuildWaveImage(const WaveFormat& format, const uint8_t* pcm, int32_t pcmSize, int32_t* size) {
  const int32_t total = 46 + pcmSize;
  auto* image = static_cast<uint8_t*>(TrackedAlloc(total, __FILE__, __LINE__));
  if (image == nullptr) return nullptr;
  std::memcpy(image, "RIFF", 4);
  StoreLe32(image + 4, static_cast<uint32_t>(total - 8));
  std::memcpy(image + 8, "WAVEfmt ", 8);
  StoreLe32(image + 16, 18);
  std::memcpy(image + 20, &format, 18);
  std::memcpy(image + 38, "data", 4);
  StoreLe32(image + 42, static_cast<uint32_t>(pcmSize));
  std::memcpy(image + 46, pcm, pcmSize);
  *size = total;
  return image;
}

DataStream MemoryDataStream(const uint8_t* data, int32_t size) {
  MemoryStream* memory = OpenMemoryStream(data, size);
  if (memory == nullptr) return DataStream{};
  return DataStream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)};
}

void CloseSourceStream(StreamSource& source) {
  if (source.stream.ops.close != nullptr && source.stream.handle != 0) source.stream.ops.close(source.stream.handle);
  source.stream = DataStream{};
}

void FreeSource(StreamSource& source) {
  ClosePcmConverter(&source.converter);
  if (source.type != 3) CloseSourceStream(source);
  TrackedFree(source.data);
  source.data = nullptr;
}

// Sets up the converter of a new source; -1 (with its log line) leaves nothing made.
int OpenSource(StreamSource& source, const DataStream& stream) {
  if (source.type == 3) {
    source.stream = stream;
  } else {
    if (LoadStreamToMemory(stream, &source.data, &source.dataSize) != 0) {
      WriteLog("音声データの読み込みに失敗しました");
      return -1;
    }
    if (source.type == 0) {
      DataStream whole = MemoryDataStream(source.data, source.dataSize);
      auto* converter = static_cast<PcmConverter*>(TrackedCalloc(sizeof(PcmConverter), __FILE__, __LINE__));
      WaveFormat format{};
      uint8_t* pcm = nullptr;
      int32_t pcm_size = 0;
      int failed = whole.handle == 0 || converter == nullptr || OpenPcmConverter(whole, converter) != 0;
      if (failed == 0) {
        failed = ConvertWholeToPcm(converter, &format, &pcm, &pcm_size) != 0;
        ClosePcmConverter(converter);
      }
      TrackedFree(converter);
      if (whole.handle != 0) CloseMemoryStream(whole.handle);
      TrackedFree(source.data);
      source.data = nullptr;
      if (failed != 0) {
        TrackedFree(pcm);
        WriteLog("音声データの変換に失敗しました");
        return -1;
      }
      source.data = BuildWaveImage(format, pcm, pcm_size, &source.dataSize);
      TrackedFree(pcm);
      if (source.data == nullptr) {
        WriteLog("音声データの変換に失敗しました");
        return -1;
      }
    }
    source.stream = MemoryDataStream(source.data, source.dataSize);
  }
  if (source.stream.handle == 0 || OpenPcmConverter(source.stream, &source.converter) != 0) {
    WriteLog("音声データのオープンに失敗しました");
    if (source.type != 3) CloseSourceStream(source);
    TrackedFree(source.data);
    source.data = nullptr;
    return -1;
  }
  return 0;
}

}  // namespace

int AddSreamSound(const DataStream& stream, int32_t repeatCount, int32_t handle, int32_t sourceType,
                  int32_t* ownsStream, int32_t sharedSource) {
  if (!SoundStarted()) return -1;
  SoundRecord* sound = Sounds.Find(handle);
  if (sound == nullptr || stream.ops.seek == nullptr) return -1;
  // A plain sound has buffers but no sources: it cannot become a stream sound.
  if (sound->sourceCount > 0 || sound->bufferCount != 0) {
    if (sound->streamFlag == 0) return WriteLog("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
    if (GetStreamSoundStatus(handle) == 1)
      return WriteLog("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
    if (sound->sourceCount >= MaxStreamSources) return WriteLog("ストリーム風サウンドの制御データ領域がいっぱいです\n");
  }
  if (sourceType != 0 && sourceType != 2 && sourceType != 3) return -1;
  StreamSource& source = sound->sources[sound->sourceCount];
  std::memset(&source, 0, sizeof source);
  source.type = sourceType;
  stream.ops.seek(stream.handle, 0, 0);
  if (OpenSource(source, stream) != 0) return -1;
  if (ownsStream != nullptr) *ownsStream = sourceType == 3 ? 0 : 1;
  WaveFormat format{};
  GetPcmConverterFormat(&source.converter, &format);
  // The ring is measured in the bytes per second the format implies, never in what a
  // file states (zero would make a ring of nothing).
  format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
  format.extraSize = 0;
  if (sound->sourceCount > 0) {
    if (std::memcmp(&format, &sound->format, sizeof format) != 0) {
      FreeSource(source);
      return WriteLog("フォーマットの違う音声データは同時に使うことは出来ません");
    }
  } else {
    // What no buffer can take is refused before DirectSound is asked.
    const int64_t ring_bytes = 6 * int64_t{format.avgBytesPerSec};
    if (!SoundBufferFormatFits(format, ring_bytes)) {
      LogSoundFormatRefused(format, "バッファの大きさか形式の範囲外");
      FreeSource(source);
      return -1;
    }
    sound->format = format;
    SoundRecord* shared = sharedSource != -1 ? FindStream(sharedSource) : nullptr;
    if (shared != nullptr && shared != sound && shared->sharedSource == -1 &&
        std::memcmp(&shared->format, &format, sizeof format) == 0) {
      sound->bufferCount = 1;
      sound->sharedSource = sharedSource;
      ++shared->useCount;
    } else {
      if (CreateStreamSoundBuffer(&format, static_cast<int32_t>(ring_bytes), 1, 1, handle) != 0) {
        FreeSource(source);
        return -1;
      }
      sound->sharedSource = -1;
    }
    sound->streamFlag = 1;
    sound->ringSize = static_cast<int32_t>(ring_bytes);
    sound->useCount = 0;
    sound->currentPlayer = -1;
    sound->deletePending = 0;
    sound->writeCursor = PrimingPending;
    sound->windowStart = -1;
    InsertListNodeAfter(StreamListTail.prev, &sound->node, handle, sound);
  }
  source.repeatCount = static_cast<int8_t>(repeatCount < -1 ? -1 : (repeatCount > 127 ? 127 : repeatCount));
  ++sound->sourceCount;
  // Ogg Vorbis sizes carry a second of slack for whole conversions; a total must not. A
  // source repeated a set number of times counts each time it plays, as the position does.
  int64_t total = 0;
  for (int32_t i = 0; i < sound->sourceCount; ++i) total += SourcePlayedBytes(sound, i);
  sound->totalSamples = total / BlockAlign(sound);
  return 0;
}

int AddStreamSoundFile(const char* path, int32_t repeatCount, int32_t handle, int32_t sourceType,
                       int32_t sharedSource) {
  if (!SoundStarted() || path == nullptr) return -1;
  const FileHandle file = FileAccessOpen(path, 0, 1, 0);
  if (file == 0) {
    WriteLogFormat("右記のＷＡＶファイルのロードに失敗しました：%s \n", path);
    return -1;
  }
  const DataStream stream{*GetFileStreamOps(), static_cast<StreamHandle>(file)};
  int32_t owns = 0;
  if (AddSreamSound(stream, repeatCount, handle, sourceType, &owns, sharedSource) != 0) {
    FileAccessClose(file);
    WriteLogFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", path);
    return -1;
  }
  SoundRecord* sound = Sounds.Find(handle);
  if (owns != 0) {
    FileAccessClose(file);
  } else {
    sound->closeStream[sound->sourceCount - 1] = 1;
  }
  return 0;
}

int AddStreamSoundImage(const void* image, int32_t size, int32_t repeatCount, int32_t handle, int32_t sourceType,
                        int32_t sharedSource) {
  if (!SoundStarted() || image == nullptr || size <= 0) return -1;
  const DataStream stream = MemoryDataStream(static_cast<const uint8_t*>(image), size);
  if (stream.handle == 0) {
    WriteLog("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
    return -1;
  }
  int32_t owns = 0;
  const int result = AddSreamSound(stream, repeatCount, handle, sourceType == 3 ? 2 : sourceType, &owns, sharedSource);
  CloseMemoryStream(stream.handle);
  if (result != 0) {
    WriteLog("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
    return -1;
  }
  return 0;
}

int PrimeStreamSound(int32_t handle) {
  if (!SoundStarted()) return -1;
  SoundRecord* sound = FindStream(handle);
  if (sound == nullptr || sound->sourceCount == 0 || GetStreamSoundStatus(handle) == 1) return 0;
  SoundBuffer* ring = GetStreamSoundBuffer(handle, false);
  if (ring == nullptr || sound->primed != 0) return 0;
  SoundBufferSetPosition(0, ring);
  sound->lastCursor = 0;
  sound->writeCursor = PrimingPending;
  sound->windowStart = -1;
  sound->ending = 0;
  sound->loopCount = 0;
  SeekCurrentSource(sound);
  sound->primed = 1;
  RefillStreamSound(handle);
  return 0;
}

int RefillStreamSound(int32_t handle) {
  SoundRecord* sound = FindStream(handle);
  if (sound == nullptr) return -1;
  if (sound->primed == 0 || sound->sourceCount == 0) return 0;
  SoundBuffer* ring = GetStreamSoundBuffer(handle, false);
  if (ring == nullptr) return 0;
  AccountStreamPosition(sound, -1);
  const int64_t a = BytesPerSecond(sound);
  const int64_t b = BlockAlign(sound);
  const int64_t ring_size = sound->ringSize;
  int32_t w = sound->writeCursor;
  const int32_t v = sound->windowStart;

  if (sound->ending != 0) {
    const int32_t p = RingCursor(ring);
    const int32_t e = sound->endPosition;
    const int32_t c = sound->endCursor;
    // Played out once the cursor has gone from where it stood when the data ended (C) past
    // the end (E). With C before E that may include a wrap since the last refill (E close to
    // the ring's end), and with C at E it has passed as soon as it moves on; left out, either
    // plays six more seconds of silence as if the end were still ahead.
    const bool passed = e < p ? (c <= e || c > p) : (c <= e && p < c);
    if (passed) {
      SoundBufferStop(ring);
      sound->ending = 0;
      sound->allSourcesDone = 1;  // played out, also after a resume of its tail
      return 0;
    }
    if (w == PrimingPending || !InsideWindow(p, v, w)) return -1;
    const int64_t n = EighthSecond(sound);
    if (WriteRing(sound, ring, w, static_cast<uint32_t>(n), true) != 0) return -1;
    AdvanceWriter(sound, n);
    return 0;
  }

  int64_t n = 0;
  int32_t offset = w;
  if (RingPlaying(ring)) {
    if (w == PrimingPending) return -1;
    int64_t p = RingCursor(ring);
    if (!InsideWindow(static_cast<int32_t>(p), v, w)) return -1;
    int64_t wu = w;
    if (w < v) {
      if (p <= w) p += ring_size;
      wu += ring_size;
    }
    const auto lead = static_cast<uint64_t>((wu - p) * 128 / a);
    n = lead > 383 ? EighthSecond(sound) : b * ((static_cast<int64_t>(384 - lead) * a / 128) / b);
  } else {
    if (w != PrimingPending) return 0;
    n = b * (4 * a / b);
    offset = 0;
  }
  if (WriteRing(sound, ring, offset, static_cast<uint32_t>(n), false) != 0) return -1;
  if (w == PrimingPending) {
    sound->windowStart = 0;
    sound->writeCursor = static_cast<int32_t>(4 * a);
  } else {
    AdvanceWriter(sound, n);
  }
  return 0;
}

int ProcessStreamSounds() {
  if (!SoundStarted()) return -1;
  for (ListNode* node = StreamListHead.next; node != nullptr && node != &StreamListTail; node = node->next)
    RefillStreamSound(node->value);
  return 0;
}

int StopStreamSound(int32_t handle) {
  SoundRecord* sound = FindStream(handle);
  if (sound == nullptr) return -1;
  AccountStreamPosition(sound, -1);
  SoundBuffer* ring = GetStreamSoundBuffer(handle, false);
  if (ring == nullptr) return 0;
  RingOwner(sound)->currentPlayer = -1;
  if (RingPlaying(ring)) SoundBufferStop(ring);
  return 0;
}

int PlayStreamSound(int32_t handle, int32_t playType, int32_t fromStart) {
  SoundRecord* sound = FindStream(handle);
  if (sound == nullptr || sound->sourceCount == 0) return -1;
  SoundBuffer* ring = GetStreamSoundBuffer(handle, true);
  if (ring == nullptr) return -1;
  if (fromStart == 0 && GetStreamSoundStatus(handle) == 1) return 0;
  StopStreamSound(handle);
  const bool loop_changed = ((playType ^ sound->lastPlayType) & 2) != 0;
  // Played to its end, a sound starts again from its beginning, as a plain sound's buffer
  // does: resumed there, it would only sound the silence written after its end.
  const bool played_out = sound->allSourcesDone != 0 && sound->ending == 0 && sound->lastPlayType != 3;
  if ((sound->allSourcesDone != 0 && loop_changed) || (fromStart == 1 && sound->playedBytes != 0) || played_out) {
    sound->currentSource = 0;
    sound->repeatCounter = 0;
    sound->sourcePosition = 0;
    sound->playedBytes = 0;
    sound->loopCount = 0;
    sound->primed = 0;
  }
  sound->allSourcesDone = 0;
  sound->lastPlayType = playType;
  PrimeStreamSound(handle);
  GetStreamSoundBuffer(handle, true);
  if (SoundBufferPlay(ring, 1) != 0) return -1;
  sound->playStartTime = ReadMillisecondClock();
  if (playType == 0) {
    // The pump refills streams only as part of a window's frame; without the window nothing
    // else would, and the ring would play its old contents forever.
    while (PumpFrameMessages() == 0 && GetStreamSoundStatus(handle) == 1) {
      ProcessStreamSounds();
      Sleep(1);
    }
  }
  return 0;
}

int GetStreamSoundStatus(int32_t handle) {
  SoundRecord* sound = FindStream(handle);
  if (sound == nullptr) return -1;
  SoundRecord* owner = RingOwner(sound);
  // A shared ring plays for one sound only: the one recorded as its player.
  if (owner == nullptr || owner->currentPlayer != handle) return 0;
  return RingPlaying(&owner->buffers[0]) ? 1 : 0;
}

int64_t GetSoundTotalSamples(int32_t handle) {
  if (!SoundStarted()) return -1;
  SoundRecord* sound = Sounds.Find(handle);
  if (sound == nullptr) return -1;
  if (sound->streamFlag != 0) return sound->totalSamples;
  return sound->pcmSize / BlockAlign(sound);
}

int64_t GetSoundTotalTimeMs(int32_t handle) {
  const int64_t samples = GetSoundTotalSamples(handle);
  if (samples < 0) return -1;
  SoundRecord* sound = Sounds.Find(handle);
  return sound->format.samplesPerSec == 0 ? 0 : samples * 1000 / sound->format.samplesPerSec;
}

int32_t GetStreamSoundPositionMs(int32_t handle) {
  SoundRecord* sound = FindStream(handle);
  if (sound == nullptr) return -1;
  AccountStreamPosition(sound, -1);
  const int64_t a = BytesPerSecond(sound);
  const int64_t played = a == 0 ? 0 : sound->playedBytes * 1000 / a;
  const int64_t total = GetSoundTotalTimeMs(handle);
  return static_cast<int32_t>(played < total ? played : total);
}

int ReleaseStreamSound(int32_t handle) {
  SoundRecord* sound = FindStream(handle);
  if (sound == nullptr) return 0;
  int32_t pending_owner = -1;
  if (sound->sharedSource != -1) {
    SoundRecord* owner = FindStream(sound->sharedSource);
    if (owner != nullptr) {
      --owner->useCount;
      if (owner->currentPlayer == handle) owner->currentPlayer = -1;
      if (owner->deletePending != 0 && owner != sound && owner->useCount == 0) pending_owner = sound->sharedSource;
    }
  }
  if (sound->useCount != 0) {
    sound->deletePending = 1;
    return 1;
  }
  UnlinkListNode(&sound->node);
  for (int32_t i = 0; i < sound->sourceCount; ++i) {
    StreamSource& source = sound->sources[i];
    ClosePcmConverter(&source.converter);
    if (source.type == 3 && sound->closeStream[i] != 0) {
      FileAccessClose(static_cast<FileHandle>(source.stream.handle));
    } else if (source.stream.ops.close != nullptr && source.stream.handle != 0) {
      source.stream.ops.close(source.stream.handle);
    }
    TrackedFree(source.data);
    source.data = nullptr;
    source.stream = DataStream{};
  }
  sound->sourceCount = 0;
  if (pending_owner != -1) DeleteSoundHandle(pending_owner, 0);
  return 0;
}

}  // namespace quelt
