#pragma once
// The QLA archive reader: open over a memory image, table checks, directory walk and entry
// lookup. Opening on disk and the whole-file read live in archive_disk_win32.cpp.
#include <cstdint>

#include "file/archive_format.h"

namespace quelt {

struct Win32File;
struct Archive;

// What an archive read from disk needs from the Win32 side when it is released.
struct ArchiveDiskHooks {
  void (*release)(Archive& archive);   // completes a pending load, closes files, frees the table block
  void (*waitLoad)(Archive& archive);  // returns once no whole-file read is pending
};

struct Archive {
  ArchiveHeader header;
  uint8_t* image;            // the whole unscrambled image, when in memory
  Win32File* file;           // the archive on disk, when not
  uint8_t* tableBlock;
  const uint8_t* fileTable;
  const uint8_t* directoryTable;
  const uint8_t* nameTable;
  const ArchiveDirectory* currentDirectory;
  uint8_t key[12];
  int32_t inMemory;
  int32_t callerImage;
  uint32_t imageSize;        // bytes of the archive, in memory or on disk
  int32_t loadPending;
  Win32File* loadFile;
  const ArchiveDiskHooks* diskHooks;
  void* activeReader;        // the entry whose read is in flight on `file`, if any
};

// Archive settings (engine globals; the engine leaves them at their defaults).
struct ArchiveSettings {
  char extension[16];      // empty: "QLA"
  int32_t useKeyString;
  char keyString[17];
};
extern ArchiveSettings ArchiveConfig;

int ResetArchiveRecord(Archive* archive);
bool ArchiveInUse(const Archive& archive);

// Opens an image the caller owns: it is unscrambled in place and scrambled again on
// release. -1 (and the image as given) when no key gives the magic, the version is above 3
// or any offset of the header or tables points outside the image.
int OpenArchiveImage(Archive* archive, void* image, uint32_t imageSize, const char* keyString);

// Checks a header already unscrambled against an archive of `archiveSize` bytes: magic,
// version, and the table block and data area inside the file.
bool ArchiveHeaderFits(const ArchiveHeader& header, uint64_t archiveSize);
// Places the three tables in `archive.tableBlock` and checks every directory, entry, name
// and data range reachable from the root. The header and imageSize must be set.
bool PlaceArchiveTables(Archive& archive);

// Releases what the record holds (a caller's image is given back scrambled) and zeroes it.
int ReleaseArchive(Archive* archive);
int CloseArchive(Archive* archive);
// The image of an archive in memory, once a pending whole-file read has completed; else null.
uint8_t* GetArchiveImage(Archive* archive);

int ChangeArchiveDirectory(Archive* archive, const char* path, int restoreOnFailure, ArchiveNameKey* keyOut);
int FindArchiveDirectory(Archive* archive, const ArchiveNameKey* key);
const ArchiveFileEntry* FindArchiveEntry(const char* path, Archive* archive);
int FindArchiveEntryData(Archive* archive, const char* name, uint32_t* offsetOut, uint32_t* sizeOut);

// Table access for the file set; every pointer handed out lies inside the table block.
const ArchiveFileEntry* ArchiveDirectoryEntry(const Archive& archive, const ArchiveDirectory* dir, uint32_t index);
const ArchiveDirectory* ArchiveSubDirectory(const Archive& archive, const ArchiveFileEntry* entry);
const ArchiveDirectory* ArchiveParentDirectory(const Archive& archive, const ArchiveDirectory* dir);
const ArchiveDirectory* ArchiveRootDirectory(const Archive& archive);
// The upper-cased key name of an entry (NUL-padded) and the name as stored.
const char* ArchiveEntryKeyName(const Archive& archive, const ArchiveFileEntry* entry);
const char* ArchiveEntryStoredName(const Archive& archive, const ArchiveFileEntry* entry);
bool ArchiveEntryIsDirectory(const ArchiveFileEntry* entry);
// Coded size of an entry: the stored size for versions 0 and 1 and for stored entries.
bool ArchiveEntryIsCompressed(const Archive& archive, const ArchiveFileEntry* entry);
uint32_t ArchiveEntryCodedSize(const Archive& archive, const ArchiveFileEntry* entry);
// Decodes a compressed entry's coded bytes (ArchiveEntryCodedSize of them) into `dest`
// (entry->size bytes). -1 when the block is damaged or its decoded size is not the entry's.
int DecodeArchiveEntry(const Archive& archive, const ArchiveFileEntry* entry, const uint8_t* coded, uint8_t* dest);

}  // namespace quelt
