#include <windows.h>

#include <cstring>

#include "core/tracked_alloc.h"
#include "file/vfs.h"
#include "file/win32_file.h"

namespace quelt {

namespace {

FileHandle AsHandle(Win32File* f) { return reinterpret_cast<FileHandle>(f); }

void ReleaseDisk(Archive& a) {
  WaitArchiveLoad(&a);
  if (a.file) CloseWin32File(AsHandle(a.file));
  if (a.loadFile) CloseWin32File(AsHandle(a.loadFile));
  if (a.tableBlock) TrackedFree(a.tableBlock);
  a.file = a.loadFile = nullptr;
  a.tableBlock = nullptr;
}

void WaitLoad(Archive& a) { WaitArchiveLoad(&a); }

constexpr ArchiveDiskHooks kDiskHooks = {ReleaseDisk, WaitLoad};

// Opens the file (asynchronous, no cache), finds the key that shows the magic and reads the
// table block. On success the record holds the file, header, key and tables.
int OpenTables(Archive& a, const char* path, const char* keyString) {
  if (ArchiveInUse(a) || !path) return -1;
  const FileHandle file = OpenWin32File(path, 0, 1, 1);
  if (!file) return -1;
  Win32File* f = AsWin32File(file);
  uint8_t key[12];
  MakeArchiveKey(key, keyString);
  ArchiveHeader header{};
  bool ok = ReadArchiveBytes(0, file, &header, sizeof header, key) == sizeof header;
  if (ok && (header.magic[0] != kArchiveMagic[0] || header.magic[1] != kArchiveMagic[1])) {
    const ArchiveKey second = SecondArchiveKey();
    std::memcpy(key, second.data(), sizeof key);
    ok = ReadArchiveBytes(0, file, &header, sizeof header, key) == sizeof header;
  }
  ok = ok && ArchiveHeaderFits(header, static_cast<uint32_t>(f->size)) && header.tableSize <= 0x7FFFFFFF;
  uint8_t* block = ok ? static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(header.tableSize), __FILE__, __LINE__)) : nullptr;
  ok = block && ReadArchiveBytes(static_cast<int32_t>(header.tableOffset), file, block, static_cast<int32_t>(header.tableSize), key) ==
                    static_cast<int32_t>(header.tableSize);
  if (ok) {
    a.header = header;
    a.file = f;
    a.tableBlock = block;
    a.imageSize = static_cast<uint32_t>(f->size);
    std::memcpy(a.key, key, sizeof key);
    a.diskHooks = &kDiskHooks;
    if (PlaceArchiveTables(a)) return 0;
    ReleaseArchive(&a);
    return -1;
  }
  if (block) TrackedFree(block);
  CloseWin32File(file);
  return -1;
}

}  // namespace

int32_t ReadArchiveBytes(int32_t position, FileHandle file, void* dest, int32_t count, const uint8_t* key) {
  Win32File* f = AsWin32File(file);
  if (count <= 0) return 0;
  if (position != -1 && Win32FileSeek(file, position, 0) != 0) return -1;
  const int32_t at = Win32FileTell(file);
  const int32_t posted = Win32FileRead(dest, 1, count, file);
  if (posted <= 0) return 0;
  while (!Win32FileIdle(file)) Sleep(0);
  // A threaded file reports what the thread delivered; a direct read returned it.
  const int32_t got = f->threaded ? f->readCount : posted;
  ScrambleArchiveBytes(static_cast<uint32_t>(got), dest, static_cast<uint32_t>(at), key);
  return got;
}

int OpenArchiveOnDisk(Archive* archive, const char* path, const char* keyString) {
  return OpenTables(*archive, path, keyString);
}

int OpenArchiveInMemory(Archive* archive, const char* path, const char* keyString, int32_t asyncFlag) {
  Archive& a = *archive;
  if (OpenTables(a, path, keyString) != 0) return -1;
  auto* image = static_cast<uint8_t*>(TrackedCalloc(static_cast<int32_t>(a.imageSize ? a.imageSize : 1), __FILE__, __LINE__));
  if (!image) {
    ReleaseArchive(archive);
    return -1;
  }
  // The whole file in one read; the table block already read stays the one in use.
  Win32File* f = a.file;
  Win32FileSeek(reinterpret_cast<FileHandle>(f), 0, 0);
  Win32FileRead(image, 1, static_cast<int32_t>(a.imageSize), reinterpret_cast<FileHandle>(f));
  a.image = image;
  a.file = nullptr;
  a.loadFile = f;
  a.loadPending = 1;
  a.inMemory = 1;
  a.callerImage = 0;
  if (!asyncFlag) WaitArchiveLoad(archive);
  return 0;
}

int CompleteArchiveLoad(Archive* archive) {
  Archive& a = *archive;
  if (!a.loadPending) return 1;
  const auto file = reinterpret_cast<FileHandle>(a.loadFile);
  if (!Win32FileIdle(file)) return 0;
  CloseWin32File(file);
  a.loadFile = nullptr;
  a.loadPending = 0;
  ScrambleArchiveBytes(a.imageSize, a.image, 0, a.key);
  return 1;
}

void WaitArchiveLoad(Archive* archive) {
  while (!CompleteArchiveLoad(archive)) Sleep(0);
}

}  // namespace quelt
