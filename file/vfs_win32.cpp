#include <windows.h>

#include <cstring>

#include "core/log.h"
#include "core/sjis_string.h"
#include "core/tracked_alloc.h"
#include "file/path_names.h"
#include "file/vfs.h"
#include "file/win32_file.h"

namespace quelt {

namespace {

struct ArchiveEntryFile {
  Archive* archive;
  const ArchiveFileEntry* entry;
  uint8_t* decoded;
  uint8_t* coded;
  int32_t eof;
  int32_t position;
  int32_t asyncFlag;
  int32_t pending;           // 0 none, 1 coded read, 2 plain read
  int32_t pendingPosition;
  uint8_t* pendingDest;
  int32_t pendingCount;
  int32_t failed;            // its coded data did not decode: reads give nothing
};

struct VfsFile {
  int32_t inArchive;
  FileHandle plain;
  int32_t archiveSlot;
  ArchiveEntryFile entry;
};

struct ArchiveFind {
  Archive* archive;
  char pattern[kPathBufferSize];
  const ArchiveDirectory* directory;
  uint32_t index;
};

struct VfsFind {
  int32_t inArchive;
  int32_t archiveSlot;
  FindHandle inner;
};

struct LastArchive {
  int32_t slot;
  char path[256];
  int32_t prefixLength;
};

ArchiveSlot* ArchiveSlots[kArchiveSlotCount];
int32_t ArchiveSlotsUsed;
VfsFile* OpenFiles[kVfsFileCount];
int32_t OpenFileCount;
LastArchive LastArchiveCache;

bool CopyBounded(char* out, const char* text, size_t capacity) {
  const size_t length = std::strlen(text);
  if (length >= capacity) return false;
  std::memcpy(out, text, length + 1);
  return true;
}

void DropArchiveReference(int32_t slot) {
  if (ArchiveSlot* s = GetArchiveSlot(slot); s && s->referenceCount != 0) --s->referenceCount;
}

VfsFile* FileFromHandle(FileHandle handle) {
  const uint32_t slot = static_cast<uint32_t>(handle) & kVfsSlotMask;
  return slot < static_cast<uint32_t>(kVfsFileCount) ? OpenFiles[slot] : nullptr;
}

FileHandle ArchiveFile(const Archive& a) { return reinterpret_cast<FileHandle>(a.file); }

// ---- Entries of an archive opened as files ----

int32_t PollArchiveEntryRead(ArchiveEntryFile& e) {
  if (!e.asyncFlag || e.pending == 0) return 1;
  Archive& a = *e.archive;
  if (!Win32FileIdle(ArchiveFile(a))) return 0;
  a.activeReader = nullptr;
  const int32_t got = AsWin32File(ArchiveFile(a))->readCount;
  if (e.pending == 1) {
    const uint32_t codedSize = ArchiveEntryCodedSize(a, e.entry);
    ScrambleArchiveBytes(codedSize, e.coded, static_cast<uint32_t>(e.pendingPosition), a.key);
    if (got != static_cast<int32_t>(codedSize) || DecodeArchiveEntry(a, e.entry, e.coded, e.decoded) != 0) {
      TrackedFree(e.decoded);
      e.decoded = nullptr;
      e.failed = 1;
    }
    TrackedFree(e.coded);
    e.coded = nullptr;
  } else {
    ScrambleArchiveBytes(static_cast<uint32_t>(e.pendingCount), e.pendingDest, static_cast<uint32_t>(e.pendingPosition), a.key);
  }
  e.pending = 0;
  return 1;
}

void FinishPendingRead(ArchiveEntryFile& e) {
  while (!PollArchiveEntryRead(e)) Sleep(1);
}

// The entries of an archive on disk share its file, whose byte count is that of the last
// read: a read is posted only once the one in flight has been collected by its entry.
void ClaimArchiveFile(Archive& a, ArchiveEntryFile* reader) {
  if (a.activeReader != nullptr && a.activeReader != reader)
    FinishPendingRead(*static_cast<ArchiveEntryFile*>(a.activeReader));
  a.activeReader = reader;
}

int OpenArchiveEntry(ArchiveEntryFile& e, Archive& a, const char* innerPath, int32_t asyncFlag) {
  WaitArchiveLoad(&a);
  const ArchiveFileEntry* entry = FindArchiveEntry(innerPath, &a);
  if (!entry) return -1;
  std::memset(&e, 0, sizeof e);
  e.archive = &a;
  e.entry = entry;
  e.asyncFlag = asyncFlag;
  if (!ArchiveEntryIsCompressed(a, entry)) return 0;

  // Compressed entries are decoded whole at open.
  e.decoded = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(entry->size ? entry->size : 1), __FILE__, __LINE__));
  if (!e.decoded || entry->size > 0x7FFFFFFF) {
    TrackedFree(e.decoded);
    return -1;
  }
  const uint32_t at = a.header.dataOffset + entry->dataOffset;
  if (a.inMemory) {
    if (DecodeArchiveEntry(a, entry, a.image + at, e.decoded) == 0) return 0;
    TrackedFree(e.decoded);
    return -1;
  }
  const uint32_t codedSize = ArchiveEntryCodedSize(a, entry);
  e.coded = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(codedSize), __FILE__, __LINE__));
  if (!e.coded) {
    TrackedFree(e.decoded);
    return -1;
  }
  ClaimArchiveFile(a, asyncFlag ? &e : nullptr);
  if (asyncFlag) {
    Win32FileSeek(ArchiveFile(a), static_cast<int32_t>(at), 0);
    Win32FileRead(e.coded, 1, static_cast<int32_t>(codedSize), ArchiveFile(a));
    e.pending = 1;
    e.pendingPosition = static_cast<int32_t>(at);
    return 0;
  }
  const bool ok = ReadArchiveBytes(static_cast<int32_t>(at), ArchiveFile(a), e.coded, static_cast<int32_t>(codedSize), a.key) ==
                      static_cast<int32_t>(codedSize) &&
                  DecodeArchiveEntry(a, entry, e.coded, e.decoded) == 0;
  TrackedFree(e.coded);
  e.coded = nullptr;
  if (ok) return 0;
  TrackedFree(e.decoded);
  return -1;
}

int32_t ReadArchiveEntry(ArchiveEntryFile& e, void* dest, int64_t wanted) {
  FinishPendingRead(e);
  const auto size = static_cast<int32_t>(e.entry->size);
  if (e.eof || e.failed) return 0;
  if (e.position >= size) {
    e.eof = 1;
    return 0;
  }
  if (wanted <= 0) return 0;
  auto n = static_cast<int32_t>(wanted < size - e.position ? wanted : size - e.position);
  Archive& a = *e.archive;
  const uint32_t dataAt = a.header.dataOffset + e.entry->dataOffset + static_cast<uint32_t>(e.position);
  if (e.decoded) {
    std::memcpy(dest, e.decoded + e.position, static_cast<size_t>(n));
  } else if (a.inMemory) {
    std::memcpy(dest, a.image + dataAt, static_cast<size_t>(n));
  } else {
    const FileHandle file = ArchiveFile(a);
    ClaimArchiveFile(a, e.asyncFlag ? &e : nullptr);
    if (Win32FileTell(file) != static_cast<int32_t>(dataAt)) Win32FileSeek(file, static_cast<int32_t>(dataAt), 0);
    if (e.asyncFlag) {
      Win32FileRead(dest, 1, n, file);
      e.pending = 2;
      e.pendingPosition = static_cast<int32_t>(dataAt);
      e.pendingDest = static_cast<uint8_t*>(dest);
      e.pendingCount = n;
    } else {
      const int32_t got = ReadArchiveBytes(-1, file, dest, n, a.key);
      n = got < 0 ? 0 : got;
    }
  }
  e.position += n;
  e.eof = 0;
  return n;
}

int32_t SeekArchiveEntry(ArchiveEntryFile& e, int32_t offset, int32_t origin) {
  FinishPendingRead(e);
  const int64_t size = e.entry->size;
  int64_t target = offset;
  if (origin == 1) target += e.position;
  else if (origin == 2) target += size;
  if (target < 0) target = 0;
  if (target > size) target = size;
  e.position = static_cast<int32_t>(target);
  e.eof = 0;
  return 0;
}

void CloseArchiveEntry(ArchiveEntryFile& e) {
  FinishPendingRead(e);
  if (e.decoded) TrackedFree(e.decoded);
  if (e.coded) TrackedFree(e.coded);
  std::memset(&e, 0, sizeof e);
}

// ---- Finds inside an archive ----

void FillPseudoEntry(const char* name, FindData* data) {
  std::memset(data, 0, sizeof *data);
  std::strcpy(data->name, name);
  data->directory = 1;
}

int NextArchiveFindEntry(ArchiveFind& find, FindData* data) {
  const Archive& a = *find.archive;
  const uint32_t pseudo = find.directory == ArchiveRootDirectory(a) ? 1 : 2;
  for (uint32_t i = find.index;; ++i) {
    if (i < pseudo) {
      const char* name = i == 0 ? "." : "..";
      if (MatchWildcard(find.pattern, name) != 0) continue;
      if (data) FillPseudoEntry(name, data);
      find.index = i;
      return 0;
    }
    const ArchiveFileEntry* entry = ArchiveDirectoryEntry(a, find.directory, i - pseudo);
    if (!entry) return -1;
    if (MatchWildcard(find.pattern, ArchiveEntryKeyName(a, entry)) != 0) continue;
    if (data) {
      std::memset(data, 0, sizeof *data);
      CopyBounded(data->name, ArchiveEntryStoredName(a, entry), sizeof data->name);
      data->directory = ArchiveEntryIsDirectory(entry) ? 1 : 0;
      data->sizeLow = static_cast<int32_t>(entry->size);
      FileTimeToDateRecord(entry->creationTime.low, entry->creationTime.high, &data->creationTime);
      FileTimeToDateRecord(entry->writeTime.low, entry->writeTime.high, &data->lastWriteTime);
    }
    find.index = i;
    return 0;
  }
}

ArchiveFind* ArchiveFindFirst(Archive& a, const char* path, FindData* data) {
  WaitArchiveLoad(&a);
  auto* find = static_cast<ArchiveFind*>(TrackedCalloc(sizeof(ArchiveFind), __FILE__, __LINE__));
  if (!find) return nullptr;
  char directory[kPathBufferSize];
  find->archive = &a;
  find->directory = a.currentDirectory;
  bool ok = SplitPathAtLastSeparator(find->pattern, directory, path) == 0;
  if (ok && directory[0]) {
    UpperCaseSjis(directory);
    const ArchiveDirectory* before = a.currentDirectory;
    ok = ChangeArchiveDirectory(&a, directory, 1, nullptr) == 0;
    find->directory = a.currentDirectory;
    a.currentDirectory = before;
  }
  UpperCaseSjis(find->pattern);
  if (ok && NextArchiveFindEntry(*find, data) == 0) {
    ++find->index;
    return find;
  }
  TrackedFree(find);
  return nullptr;
}

}  // namespace

// ---- The archive cache ----

ArchiveSlot* GetArchiveSlot(int32_t slot) {
  return slot >= 0 && slot < kArchiveSlotCount ? ArchiveSlots[slot] : nullptr;
}

int32_t CountOpenArchives() { return ArchiveSlotsUsed; }
int32_t CountOpenVfsFiles() { return OpenFileCount; }

int ResetArchiveManager() {
  std::memset(ArchiveSlots, 0, sizeof ArchiveSlots);
  ArchiveSlotsUsed = 0;
  std::memset(OpenFiles, 0, sizeof OpenFiles);
  OpenFileCount = 0;
  std::memset(&LastArchiveCache, 0, sizeof LastArchiveCache);
  return 0;
}

int SweepUnusedArchives() {
  for (int32_t i = 0; i < kArchiveSlotCount; ++i) {
    ArchiveSlot* s = ArchiveSlots[i];
    if (!s || s->referenceCount > 0) continue;
    ReleaseArchive(&s->archive);
    TrackedFree(s);
    ArchiveSlots[i] = nullptr;
    --ArchiveSlotsUsed;
  }
  return 0;
}

int OpenArchiveCached(int32_t slotHint, const char* archivePath, int32_t mode, int32_t asyncFlag) {
  if (!archivePath || std::strlen(archivePath) >= sizeof(ArchiveSlot::path)) return -1;
  if (ArchiveSlot* s = GetArchiveSlot(slotHint); s && std::strcmp(s->path, archivePath) == 0) {
    ++s->referenceCount;
    return slotHint;
  }
  int32_t freeSlot = -1;
  for (int32_t i = 0, seen = 0; i < kArchiveSlotCount && seen < ArchiveSlotsUsed; ++i) {
    ArchiveSlot* s = ArchiveSlots[i];
    if (!s) {
      freeSlot = i;
      continue;
    }
    ++seen;
    if (std::strcmp(s->path, archivePath) == 0) {
      ++s->referenceCount;
      return i;
    }
  }
  if (ArchiveSlotsUsed >= kArchiveSlotCount) {
    SweepUnusedArchives();
    if (ArchiveSlotsUsed >= kArchiveSlotCount) return -1;
  }
  if (freeSlot < 0 || ArchiveSlots[freeSlot]) {
    freeSlot = 0;
    while (ArchiveSlots[freeSlot]) ++freeSlot;
  }

  Archive opened;
  ResetArchiveRecord(&opened);
  const char* key = ArchiveConfig.useKeyString == 1 ? ArchiveConfig.keyString : nullptr;
  const int result = mode == 1 ? OpenArchiveInMemory(&opened, archivePath, key, asyncFlag)
                               : OpenArchiveOnDisk(&opened, archivePath, key);
  if (result != 0) return -1;
  auto* slot = static_cast<ArchiveSlot*>(TrackedCalloc(sizeof(ArchiveSlot), __FILE__, __LINE__));
  if (!slot) {
    ReleaseArchive(&opened);
    return -1;
  }
  slot->archive = opened;
  slot->referenceCount = 1;
  std::strcpy(slot->path, archivePath);
  ArchiveSlots[freeSlot] = slot;
  ++ArchiveSlotsUsed;
  return freeSlot;
}

int MakeUpperFullPath(const char* path, char* out) {
  char base[kPathBufferSize];
  const DWORD length = GetCurrentDirectoryA(sizeof base, base);
  if (length == 0 || length >= sizeof base) {
    out[0] = 0;
    return -1;
  }
  UpperCaseSjis(base);
  return MakeUpperFullPathFrom(path, base, out);
}

int ResolveArchivePath(const char* path, int32_t* slotOut, char* archivePathOut, char* innerPathOut) {
  char full[kPathBufferSize];
  if (!path || MakeUpperFullPath(path, full) != 0) return -1;
  const char* extension = ArchiveConfig.extension[0] ? ArchiveConfig.extension : kDefaultArchiveExtension;
  auto finish = [&](int32_t slot, const char* archivePath, size_t prefixLength) {
    if (slotOut) *slotOut = slot;
    if (archivePathOut) std::strcpy(archivePathOut, archivePath);
    if (innerPathOut) std::strcpy(innerPathOut, full + prefixLength + 1);
    return 0;
  };

  const size_t cached = static_cast<size_t>(LastArchiveCache.prefixLength);
  if (cached > 0 && std::strncmp(full, LastArchiveCache.path, cached) == 0 && IsPathSeparator(full[cached])) {
    const int32_t slot = OpenArchiveCached(LastArchiveCache.slot, LastArchiveCache.path, 0, 0);
    if (slot < 0) return -1;
    LastArchiveCache.slot = slot;
    return finish(slot, LastArchiveCache.path, cached);
  }

  // Leading parts, shortest first; the file name itself is never an archive.
  const size_t start = (full[0] == '\\' && full[1] == '\\') ? 2 : 0;
  const size_t extensionLength = std::strlen(extension);
  size_t i = start;
  size_t componentStart = start;
  while (full[i]) {
    const auto c = static_cast<uint8_t>(full[i]);
    if (IsArchiveLeadByte(c) && full[i + 1]) {
      i += 2;
      continue;
    }
    if (!IsPathSeparator(full[i])) {
      ++i;
      continue;
    }
    if (i == componentStart) return -1;  // an empty component
    char candidate[256];
    if (i + 1 + extensionLength >= sizeof candidate) return -1;
    std::memcpy(candidate, full, i);
    candidate[i] = '.';
    std::memcpy(candidate + i + 1, extension, extensionLength + 1);
    const int32_t slot = OpenArchiveCached(-1, candidate, 0, 0);
    if (slot >= 0) {
      std::strcpy(LastArchiveCache.path, candidate);
      LastArchiveCache.prefixLength = static_cast<int32_t>(i);
      LastArchiveCache.slot = slot;
      return finish(slot, candidate, i);
    }
    componentStart = ++i;
  }
  return -1;
}

int32_t FindStoredMemberPlace(FileHandle handle, StoredMemberPlace* place) {
  VfsFile* file = FileFromHandle(handle);
  if (!file || !file->inArchive || file->entry.decoded || !place) return -1;
  const ArchiveSlot* slot = GetArchiveSlot(file->archiveSlot);
  const Archive& a = *file->entry.archive;
  if (!slot || a.inMemory || !a.file) return -1;
  place->archiveHandle = a.file->osHandle ? a.file->osHandle : a.file->threadFile;
  std::memcpy(place->archivePath, slot->path, sizeof place->archivePath);
  place->offset = a.header.dataOffset + file->entry.entry->dataOffset;
  place->size = file->entry.entry->size;
  std::memcpy(place->key, a.key, sizeof place->key);
  return 0;
}

// ---- The twelve operations ----

FileHandle VfsOpen(const char* path, int32_t cacheFlag, int32_t, int32_t asyncFlag) {
  if (OpenFileCount >= kVfsFileCount) {
    WriteLog("同時に開けるファイルの数が限界を超えました\n");
    return 0;
  }
  int32_t slot = 0;
  while (OpenFiles[slot]) ++slot;
  auto* file = static_cast<VfsFile*>(TrackedCalloc(sizeof(VfsFile), __FILE__, __LINE__));
  if (!file) {
    WriteLog("ファイルの情報を格納するメモリの確保に失敗しました\n");
    return 0;
  }
  if (!path) {
    TrackedFree(file);
    return 0;
  }
  char inner[kPathBufferSize];
  int32_t archiveSlot = -1;
  if (ResolveArchivePath(path, &archiveSlot, nullptr, inner) != 0) {
    file->plain = OpenWin32File(path, cacheFlag, 1, asyncFlag);
    if (!file->plain) {
      TrackedFree(file);
      return 0;
    }
  } else {
    file->inArchive = 1;
    file->archiveSlot = archiveSlot;
    // A file the archive lacks is missing: the plain file system is not asked.
    if (OpenArchiveEntry(file->entry, GetArchiveSlot(archiveSlot)->archive, inner, asyncFlag) != 0) {
      DropArchiveReference(archiveSlot);
      TrackedFree(file);
      return 0;
    }
  }
  OpenFiles[slot] = file;
  ++OpenFileCount;
  return static_cast<FileHandle>(static_cast<uint32_t>(slot) | kVfsHandleTag);
}

int32_t VfsClose(FileHandle handle) {
  VfsFile* file = FileFromHandle(handle);
  if (!file) return -1;
  if (file->inArchive) {
    DropArchiveReference(file->archiveSlot);
    CloseArchiveEntry(file->entry);
  } else {
    CloseWin32File(file->plain);
  }
  TrackedFree(file);
  OpenFiles[static_cast<uint32_t>(handle) & kVfsSlotMask] = nullptr;
  --OpenFileCount;
  return 0;
}

int32_t VfsTell(FileHandle handle) {
  VfsFile* file = FileFromHandle(handle);
  if (!file) return -1;
  if (!file->inArchive) return Win32FileTell(file->plain);
  FinishPendingRead(file->entry);
  return file->entry.position;
}

int32_t VfsSeek(FileHandle handle, int32_t offset, int32_t origin) {
  VfsFile* file = FileFromHandle(handle);
  if (!file) return -1;
  return file->inArchive ? SeekArchiveEntry(file->entry, offset, origin) : Win32FileSeek(file->plain, offset, origin);
}

int32_t VfsRead(void* dest, int32_t itemSize, int32_t itemCount, FileHandle handle) {
  VfsFile* file = FileFromHandle(handle);
  if (!file) return -1;
  if (!file->inArchive) return Win32FileRead(dest, itemSize, itemCount, file->plain);
  if (itemSize <= 0 || itemCount <= 0) return 0;
  return ReadArchiveEntry(file->entry, dest, int64_t{itemSize} * itemCount);
}

int32_t VfsEof(FileHandle handle) {
  VfsFile* file = FileFromHandle(handle);
  if (!file) return -1;
  if (!file->inArchive) return Win32FileEof(file->plain);
  FinishPendingRead(file->entry);
  return file->entry.eof ? -1 : 0;
}

int32_t VfsIdle(FileHandle handle) {
  VfsFile* file = FileFromHandle(handle);
  if (!file) return -1;
  return file->inArchive ? PollArchiveEntryRead(file->entry) : Win32FileIdle(file->plain);
}

int32_t VfsChangeDir(const char* path) {
  SetCurrentDirectoryA(path);
  return 0;
}

int32_t VfsGetDir(char* buffer) {
  constexpr DWORD kFolderBytes = 256;
  const DWORD length = GetCurrentDirectoryA(kFolderBytes, buffer);
  if (length == 0 || length >= kFolderBytes) buffer[0] = 0;
  return 0;
}

FindHandle VfsFindFirst(const char* path, FindData* data) {
  if (!path) return -1;
  auto* find = static_cast<VfsFind*>(TrackedCalloc(sizeof(VfsFind), __FILE__, __LINE__));
  if (!find) return -1;
  char inner[kPathBufferSize];
  int32_t slot = -1;
  if (ResolveArchivePath(path, &slot, nullptr, inner) != 0) {
    find->inner = Win32FindFirst(path, data);
  } else {
    find->inArchive = 1;
    find->archiveSlot = slot;
    ArchiveFind* inside = ArchiveFindFirst(GetArchiveSlot(slot)->archive, inner, data);
    find->inner = inside ? reinterpret_cast<FindHandle>(inside) : -1;
    if (!inside) DropArchiveReference(slot);
  }
  if (find->inner == -1) {
    TrackedFree(find);
    return -1;
  }
  return reinterpret_cast<FindHandle>(find);
}

int32_t VfsFindNext(FindHandle handle, FindData* data) {
  if (handle == -1 || handle == 0) return -1;
  auto* find = reinterpret_cast<VfsFind*>(handle);
  if (!find->inArchive) return Win32FindNext(find->inner, data);
  auto* inside = reinterpret_cast<ArchiveFind*>(find->inner);
  if (NextArchiveFindEntry(*inside, data) != 0) return -1;
  ++inside->index;
  return 0;
}

int32_t VfsFindClose(FindHandle handle) {
  if (handle == -1 || handle == 0) return -1;
  auto* find = reinterpret_cast<VfsFind*>(handle);
  if (find->inArchive) {
    TrackedFree(reinterpret_cast<ArchiveFind*>(find->inner));
    DropArchiveReference(find->archiveSlot);
  } else {
    Win32FindClose(find->inner);
  }
  TrackedFree(find);
  return 0;
}

}  // namespace quelt
