#include "file/archive.h"

#include <cstring>

#include "core/tracked_alloc.h"
#include "file/lz_decode.h"

namespace quelt {

ArchiveSettings ArchiveConfig{};

namespace {

bool HasSeparator(const char* path) {
  for (const auto* p = reinterpret_cast<const uint8_t*>(path); *p; ++p) {
    if (IsPathSeparator(static_cast<char>(*p))) return true;
    if (IsArchiveLeadByte(*p) && p[1]) ++p;
  }
  return false;
}

bool RangeFits(uint64_t offset, uint64_t length, uint64_t limit) { return offset <= limit && length <= limit - offset; }

const ArchiveDirectory* DirectoryAt(const Archive& a, uint32_t offset) {
  if (!RangeFits(uint64_t{a.header.directoryTableOffset} + offset, sizeof(ArchiveDirectory), a.header.tableSize))
    return nullptr;
  return reinterpret_cast<const ArchiveDirectory*>(a.directoryTable + offset);
}

const ArchiveNameRecordHead* NameRecord(const Archive& a, const ArchiveFileEntry* entry) {
  return reinterpret_cast<const ArchiveNameRecordHead*>(a.nameTable + entry->nameOffset);
}

bool NameRecordValid(const Archive& a, uint32_t nameOffset) {
  const uint32_t limit = a.header.tableSize;
  if (!RangeFits(nameOffset, sizeof(ArchiveNameRecordHead), limit)) return false;
  ArchiveNameRecordHead head;
  std::memcpy(&head, a.nameTable + nameOffset, sizeof head);
  const uint32_t keyBytes = head.keyUnits * 4u;
  if (head.keyUnits == 0 || keyBytes > sizeof(ArchiveNameKey::name)) return false;
  const uint64_t keyStart = uint64_t{nameOffset} + sizeof head;
  if (!RangeFits(keyStart, keyBytes, limit)) return false;
  if (a.nameTable[keyStart + keyBytes - 1] != 0) return false;
  // The stored name: terminated inside the block and shorter than a path buffer.
  const uint64_t nameStart = keyStart + keyBytes;
  const uint64_t room = limit - nameStart;
  const uint64_t scan = room < kArchiveMaxNameBytes ? room : kArchiveMaxNameBytes;
  return std::memchr(a.nameTable + nameStart, 0, static_cast<size_t>(scan)) != nullptr;
}

bool KeyMatches(const Archive& a, const ArchiveFileEntry* entry, const ArchiveNameKey& key) {
  const ArchiveNameRecordHead* head = NameRecord(a, entry);
  return head->keyUnits == key.units && head->parity == key.parity &&
         std::memcmp(head + 1, key.name, key.units * 4u) == 0;
}

// Every directory, entry, name and data range reachable from the root lies in the image.
// A tree holds each directory and entry once, so the walk is bounded by the table size:
// a loop of directories runs out of budget and is refused.
bool TreeFits(const Archive& a) {
  const uint32_t stride = ArchiveEntryStride(a.header.version);
  const uint64_t dataRoom = a.imageSize - uint64_t{a.header.dataOffset};
  uint32_t dirBudget = a.header.tableSize / sizeof(ArchiveDirectory) + 1;
  uint64_t entryBudget = a.header.tableSize / stride + 1;
  if (dirBudget > 0x1FFFFFFF) return false;
  auto* queue = static_cast<uint32_t*>(TrackedAlloc(static_cast<int32_t>(dirBudget * sizeof(uint32_t)), __FILE__, __LINE__));
  if (!queue) return false;
  uint32_t head = 0, tail = 0;
  queue[tail++] = 0;
  bool ok = true;
  // Every directory is reached through exactly the pointers checked here: the root has no
  // parent, and a sub-directory's parent is the directory that lists it, so ".." never
  // lands on a record the walk has not checked.
  while (ok && head < tail) {
    const uint32_t dirOffset = queue[head++];
    const ArchiveDirectory* dir = DirectoryAt(a, dirOffset);
    if (!dir) { ok = false; break; }
    if (dirOffset == 0 && dir->parentOffset != kArchiveNoParent) { ok = false; break; }
    if (dir->entryCount > entryBudget ||
        !RangeFits(uint64_t{a.header.fileTableOffset} + dir->firstEntryOffset, uint64_t{dir->entryCount} * stride,
                   a.header.tableSize)) {
      ok = false;
      break;
    }
    entryBudget -= dir->entryCount;
    for (uint32_t i = 0; ok && i < dir->entryCount; ++i) {
      const auto* entry = reinterpret_cast<const ArchiveFileEntry*>(a.fileTable + dir->firstEntryOffset + uint64_t{i} * stride);
      if (!NameRecordValid(a, entry->nameOffset)) { ok = false; break; }
      if (ArchiveEntryIsDirectory(entry)) {
        const ArchiveDirectory* sub = DirectoryAt(a, entry->dataOffset);
        if (!sub || sub->parentOffset != dirOffset || entry->dataOffset == 0 || tail == dirBudget) {
          ok = false;
          break;
        }
        queue[tail++] = entry->dataOffset;
      } else {
        const bool compressed = ArchiveEntryIsCompressed(a, entry);
        const uint32_t length = compressed ? entry->codedSize : entry->size;
        if (compressed && length < sizeof(LzBlockHeader)) ok = false;
        else if (!RangeFits(entry->dataOffset, length, dataRoom)) ok = false;
      }
    }
  }
  TrackedFree(queue);
  return ok;
}

const ArchiveFileEntry* FindFileEntry(const Archive& a, const ArchiveDirectory* dir, const ArchiveNameKey& key) {
  for (uint32_t i = 0; i < dir->entryCount; ++i) {
    const ArchiveFileEntry* entry = ArchiveDirectoryEntry(a, dir, i);
    if (!entry) return nullptr;
    if (!ArchiveEntryIsDirectory(entry) && KeyMatches(a, entry, key)) return entry;
  }
  return nullptr;
}

// Walks the components of `path`. On failure `stopped` points at the component not found.
int WalkArchivePath(Archive& a, const char* path, int restoreOnFailure, ArchiveNameKey* keyOut, const char** stopped) {
  const ArchiveDirectory* before = a.currentDirectory;
  ArchiveNameKey key{};
  bool haveKey = false;
  const char* p = path;
  while (*p) {
    if (IsPathSeparator(*p)) {
      a.currentDirectory = ArchiveRootDirectory(a);
      ++p;
      continue;
    }
    int32_t length = 0;
    const bool keyed = MakeArchiveNameKey(&length, p, &key) == 0;
    haveKey = keyed;
    if (!keyed || FindArchiveDirectory(&a, &key) != 0) {
      if (stopped) *stopped = p;
      if (restoreOnFailure) a.currentDirectory = before;
      if (keyOut && haveKey) *keyOut = key;
      return -1;
    }
    p += length;
    if (IsPathSeparator(*p)) ++p;
  }
  if (keyOut && haveKey) *keyOut = key;
  return 0;
}

}  // namespace

int ResetArchiveRecord(Archive* archive) {
  std::memset(archive, 0, sizeof *archive);
  return 0;
}

bool ArchiveInUse(const Archive& a) { return a.image || a.file || a.loadFile; }

bool ArchiveHeaderFits(const ArchiveHeader& h, uint64_t archiveSize) {
  if (h.magic[0] != kArchiveMagic[0] || h.magic[1] != kArchiveMagic[1]) return false;
  if (h.version > kArchiveMaxVersion) return false;
  if (!RangeFits(h.tableOffset, h.tableSize, archiveSize)) return false;
  if (h.dataOffset > archiveSize) return false;
  if (h.fileTableOffset > h.tableSize) return false;
  return RangeFits(h.directoryTableOffset, sizeof(ArchiveDirectory), h.tableSize);
}

bool PlaceArchiveTables(Archive& a) {
  a.nameTable = a.tableBlock;
  a.fileTable = a.tableBlock + a.header.fileTableOffset;
  a.directoryTable = a.tableBlock + a.header.directoryTableOffset;
  a.currentDirectory = ArchiveRootDirectory(a);
  return a.currentDirectory && TreeFits(a);
}

int OpenArchiveImage(Archive* archive, void* image, uint32_t imageSize, const char* keyString) {
  if (ArchiveInUse(*archive) || !image || imageSize < sizeof(ArchiveHeader)) return -1;
  uint8_t key[12];
  MakeArchiveKey(key, keyString);
  ArchiveHeader header;
  std::memcpy(&header, image, sizeof header);
  ScrambleArchiveBytes(sizeof header, &header, 0, key);
  if (header.magic[0] != kArchiveMagic[0] || header.magic[1] != kArchiveMagic[1]) {
    const ArchiveKey second = SecondArchiveKey();
    std::memcpy(key, second.data(), sizeof key);
    std::memcpy(&header, image, sizeof header);
    ScrambleArchiveBytes(sizeof header, &header, 0, key);
  }
  if (!ArchiveHeaderFits(header, imageSize)) return -1;

  auto* bytes = static_cast<uint8_t*>(image);
  ScrambleArchiveBytes(imageSize, bytes, 0, key);
  Archive& a = *archive;
  a.header = header;
  a.image = bytes;
  a.tableBlock = bytes + header.tableOffset;
  a.imageSize = imageSize;
  std::memcpy(a.key, key, sizeof key);
  if (!PlaceArchiveTables(a)) {
    ScrambleArchiveBytes(imageSize, bytes, 0, key);
    ResetArchiveRecord(archive);
    return -1;
  }
  a.inMemory = 1;
  a.callerImage = 1;
  return 0;
}

int ReleaseArchive(Archive* archive) {
  Archive& a = *archive;
  if (!ArchiveInUse(a)) return 0;
  if (a.diskHooks) a.diskHooks->release(a);
  if (a.image) {
    if (a.callerImage) ScrambleArchiveBytes(a.imageSize, a.image, 0, a.key);
    else TrackedFree(a.image);
  }
  return ResetArchiveRecord(archive);
}

int CloseArchive(Archive* archive) { return ReleaseArchive(archive); }

uint8_t* GetArchiveImage(Archive* archive) {
  if (archive->loadPending && archive->diskHooks) archive->diskHooks->waitLoad(*archive);
  return archive->inMemory && !archive->loadPending ? archive->image : nullptr;
}

const ArchiveDirectory* ArchiveRootDirectory(const Archive& a) { return DirectoryAt(a, 0); }

const ArchiveFileEntry* ArchiveDirectoryEntry(const Archive& a, const ArchiveDirectory* dir, uint32_t index) {
  if (index >= dir->entryCount) return nullptr;
  const uint32_t stride = ArchiveEntryStride(a.header.version);
  const uint64_t offset = uint64_t{dir->firstEntryOffset} + uint64_t{index} * stride;
  if (!RangeFits(a.header.fileTableOffset + offset, stride, a.header.tableSize)) return nullptr;
  return reinterpret_cast<const ArchiveFileEntry*>(a.fileTable + offset);
}

const ArchiveDirectory* ArchiveSubDirectory(const Archive& a, const ArchiveFileEntry* entry) {
  return ArchiveEntryIsDirectory(entry) ? DirectoryAt(a, entry->dataOffset) : nullptr;
}

const ArchiveDirectory* ArchiveParentDirectory(const Archive& a, const ArchiveDirectory* dir) {
  return dir->parentOffset == kArchiveNoParent ? nullptr : DirectoryAt(a, dir->parentOffset);
}

const char* ArchiveEntryKeyName(const Archive& a, const ArchiveFileEntry* entry) {
  return reinterpret_cast<const char*>(NameRecord(a, entry) + 1);
}

const char* ArchiveEntryStoredName(const Archive& a, const ArchiveFileEntry* entry) {
  return ArchiveEntryKeyName(a, entry) + NameRecord(a, entry)->keyUnits * 4u;
}

bool ArchiveEntryIsDirectory(const ArchiveFileEntry* entry) { return (entry->attributes & kArchiveDirectoryAttribute) != 0; }

bool ArchiveEntryIsCompressed(const Archive& a, const ArchiveFileEntry* entry) {
  return ArchiveVersionCompresses(a.header.version) && entry->codedSize != kArchiveStoredEntry;
}

uint32_t ArchiveEntryCodedSize(const Archive& a, const ArchiveFileEntry* entry) {
  return ArchiveEntryIsCompressed(a, entry) ? entry->codedSize : entry->size;
}

int DecodeArchiveEntry(const Archive& a, const ArchiveFileEntry* entry, const uint8_t* coded, uint8_t* dest) {
  const uint32_t codedSize = ArchiveEntryCodedSize(a, entry);
  if (DecodeLzBlock(coded, codedSize, nullptr, 0) != static_cast<int64_t>(entry->size)) return -1;
  return DecodeLzBlock(coded, codedSize, dest, entry->size) == static_cast<int64_t>(entry->size) ? 0 : -1;
}

int FindArchiveDirectory(Archive* archive, const ArchiveNameKey* key) {
  Archive& a = *archive;
  const ArchiveDirectory* dir = a.currentDirectory;
  for (uint32_t i = 0; i < dir->entryCount; ++i) {
    const ArchiveFileEntry* entry = ArchiveDirectoryEntry(a, dir, i);
    if (!entry) return -1;
    if (ArchiveEntryIsDirectory(entry) && KeyMatches(a, entry, *key)) {
      const ArchiveDirectory* sub = ArchiveSubDirectory(a, entry);
      if (!sub) return -1;
      a.currentDirectory = sub;
      return 0;
    }
  }
  return -1;
}

int ChangeArchiveDirectory(Archive* archive, const char* path, int restoreOnFailure, ArchiveNameKey* keyOut) {
  Archive& a = *archive;
  if (std::strcmp(path, ".") == 0) return 0;
  if (std::strcmp(path, "\\") == 0 || std::strcmp(path, "/") == 0) {
    a.currentDirectory = ArchiveRootDirectory(a);
    return 0;
  }
  if (std::strcmp(path, "..") == 0) {
    const ArchiveDirectory* parent = ArchiveParentDirectory(a, a.currentDirectory);
    if (!parent) return -1;
    a.currentDirectory = parent;
    return 0;
  }
  return WalkArchivePath(a, path, restoreOnFailure, keyOut, nullptr);
}

const ArchiveFileEntry* FindArchiveEntry(const char* path, Archive* archive) {
  Archive& a = *archive;
  const ArchiveDirectory* saved = a.currentDirectory;
  const ArchiveFileEntry* found = nullptr;
  ArchiveNameKey key;
  if (!HasSeparator(path)) {
    if (MakeArchiveNameKey(nullptr, path, &key) == 0) found = FindFileEntry(a, a.currentDirectory, key);
  } else {
    const char* stopped = nullptr;
    // Only the last component may be missing from the directories: a missing folder on the
    // way is a miss, never a file of the same name.
    if (WalkArchivePath(a, path, 0, &key, &stopped) != 0 && stopped) {
      int32_t length = 0;
      if (MakeArchiveNameKey(&length, stopped, &key) == 0 && stopped[length] == 0)
        found = FindFileEntry(a, a.currentDirectory, key);
    }
  }
  a.currentDirectory = saved;
  return found;
}

int FindArchiveEntryData(Archive* archive, const char* name, uint32_t* offsetOut, uint32_t* sizeOut) {
  const ArchiveFileEntry* entry = FindArchiveEntry(name, archive);
  if (!entry) return -1;
  if (offsetOut) *offsetOut = archive->header.dataOffset + entry->dataOffset;
  if (sizeOut) *sizeOut = entry->size;
  return 0;
}

}  // namespace quelt
