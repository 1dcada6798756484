#pragma once
// The archive-aware file set: a path whose leading folder exists as a .QLA archive is read
// from inside it; everything else is a plain file.
#include <cstdint>

#include "file/archive.h"
#include "file/file_access.h"

namespace quelt {

constexpr int32_t kArchiveSlotCount = 512;
constexpr int32_t kVfsFileCount = 512;
constexpr uint32_t kVfsHandleTag = 0xF0000000;
constexpr uint32_t kVfsSlotMask = 0x0FFFFFFF;

FileHandle VfsOpen(const char* path, int32_t cacheFlag, int32_t unused, int32_t asyncFlag);
int32_t VfsClose(FileHandle file);
int32_t VfsTell(FileHandle file);
int32_t VfsSeek(FileHandle file, int32_t offset, int32_t origin);
int32_t VfsRead(void* dest, int32_t itemSize, int32_t itemCount, FileHandle file);
int32_t VfsEof(FileHandle file);
int32_t VfsIdle(FileHandle file);
int32_t VfsChangeDir(const char* path);
int32_t VfsGetDir(char* buffer);
FindHandle VfsFindFirst(const char* path, FindData* data);
int32_t VfsFindNext(FindHandle find, FindData* data);
int32_t VfsFindClose(FindHandle find);

inline constexpr FileAccessTable kVfsFileSet = {VfsOpen, VfsClose,     VfsTell,   VfsSeek,      VfsRead,     VfsEof,
                                                VfsIdle, VfsChangeDir, VfsGetDir, VfsFindFirst, VfsFindNext, VfsFindClose};

struct ArchiveSlot {
  int32_t referenceCount;
  Archive archive;
  char path[256];
};

// Where an archive member stored without compression lies in an archive read from disk:
// the archive's operating-system handle and path, the offset of the member's first byte in
// it, the member's size and the key that unscrambles it. A reader on another thread opens a
// handle of its own from these: the archive's handle and its position belong to the thread
// that reads the archive's other members.
struct StoredMemberPlace {
  void* archiveHandle;
  char archivePath[256];
  uint32_t offset;
  uint32_t size;
  uint8_t key[12];
};
// 0 with the place filled; -1 for any other file (plain, compressed, in memory, not open).
int32_t FindStoredMemberPlace(FileHandle file, StoredMemberPlace* place);

// Zeroes the archive cache, the open-file table and the last-archive cache (start-up).
int ResetArchiveManager();
// Releases every cached archive no one uses (when the cache is full, and at engine end).
int SweepUnusedArchives();
int MakeUpperFullPath(const char* path, char* out);
int ResolveArchivePath(const char* path, int32_t* slotOut, char* archivePathOut, char* innerPathOut);
int OpenArchiveCached(int32_t slotHint, const char* archivePath, int32_t mode, int32_t asyncFlag);
// The cache slot in use at `slot`, or null (for tests and the engine's end).
ArchiveSlot* GetArchiveSlot(int32_t slot);
int32_t CountOpenArchives();
int32_t CountOpenVfsFiles();

// The archive readers that need the file system (archive_disk_win32.cpp).
int OpenArchiveOnDisk(Archive* archive, const char* path, const char* keyString);
int OpenArchiveInMemory(Archive* archive, const char* path, const char* keyString, int32_t asyncFlag);
int CompleteArchiveLoad(Archive* archive);
void WaitArchiveLoad(Archive* archive);
// Reads at `position` (-1: where the file stands) and unscrambles; the bytes delivered, -1
// when the read could not be posted.
int32_t ReadArchiveBytes(int32_t position, FileHandle file, void* dest, int32_t count, const uint8_t* key);

}  // namespace quelt
