// The decode thread's own reader of a movie stored uncompressed in an archive on disk: a
// handle of its own on the archive file and positioned reads, unscrambled as the archive's
// reads are.
#include <windows.h>

#include <cstring>

#include "core/tracked_alloc.h"
#include "file/archive_format.h"
#include "file/vfs.h"
#include "movie/theora_decoder.h"
#include "movie/theora_platform.h"

namespace quelt {

namespace {

struct MemberReader {
  HANDLE handle;
  uint32_t offset;  // of the member's first byte in the archive file
  uint32_t size;
  uint32_t position;
  int32_t eof;
  uint8_t key[12];
};

MemberReader* AsReader(FileHandle file) { return reinterpret_cast<MemberReader*>(file); }

int32_t ReaderTell(FileHandle file) { return static_cast<int32_t>(AsReader(file)->position); }

int32_t ReaderSeek(FileHandle file, int32_t offset, int32_t origin) {
  MemberReader* r = AsReader(file);
  int64_t target = offset;
  if (origin == 1) target += r->position;
  if (origin == 2) target += r->size;
  r->position = static_cast<uint32_t>(target < 0 ? 0 : target > r->size ? r->size : target);
  r->eof = 0;
  return 0;
}

int32_t ReaderRead(void* dest, int32_t itemSize, int32_t itemCount, FileHandle file) {
  MemberReader* r = AsReader(file);
  if (itemSize <= 0 || itemCount <= 0) return 0;
  const uint32_t left = r->size - r->position;
  const int64_t wanted = int64_t{itemSize} * itemCount;
  const auto count = static_cast<uint32_t>(wanted < left ? wanted : left);
  if (count < wanted) r->eof = 1;
  if (count == 0) return 0;
  // A read at an offset of its own: nothing depends on where the handle stands.
  const uint32_t at = r->offset + r->position;
  OVERLAPPED place{};
  place.Offset = at;
  DWORD got = 0;
  if (!ReadFile(r->handle, dest, count, &got, &place)) got = 0;
  ScrambleArchiveBytes(got, dest, at, r->key);
  r->position += got;
  if (got < count) r->eof = 1;
  return static_cast<int32_t>(got / static_cast<uint32_t>(itemSize));
}

int32_t ReaderEof(FileHandle file) { return AsReader(file)->eof; }

}  // namespace

int AdoptTheoraFileReader(TheoraDecoder* d) {
  if (d->files.read != VfsRead) return 0;  // not the engine's archive-aware set
  StoredMemberPlace place{};
  if (FindStoredMemberPlace(d->file, &place) != 0) return 0;
  HANDLE own = ReOpenFile(place.archiveHandle, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
  if (own == INVALID_HANDLE_VALUE) {
    place.archivePath[sizeof place.archivePath - 1] = '\0';
    own = CreateFileA(place.archivePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (own == INVALID_HANDLE_VALUE) return -1;
  auto* reader = static_cast<MemberReader*>(TrackedCalloc(sizeof(MemberReader), __FILE__, __LINE__));
  if (reader == nullptr) {
    CloseHandle(own);
    return -1;
  }
  reader->handle = own;
  reader->offset = place.offset;
  reader->size = place.size;
  std::memcpy(reader->key, place.key, sizeof reader->key);
  d->privateReader = reader;
  d->file = reinterpret_cast<FileHandle>(reader);
  d->files.tell = ReaderTell;
  d->files.seek = ReaderSeek;
  d->files.read = ReaderRead;
  d->files.eof = ReaderEof;
  return 0;
}

void CloseTheoraFileReader(TheoraDecoder* d) {
  auto* reader = static_cast<MemberReader*>(d->privateReader);
  if (reader == nullptr) return;
  CloseHandle(reader->handle);
  TrackedFree(reader);
  d->privateReader = nullptr;
}

}  // namespace quelt
