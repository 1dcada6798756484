#pragma once
// The QLA archive format: the on-disk records, the scrambling keys, the name keys and the
// LZ block header. The reader (file/) and the writer (tools/qla_writer) both build on this
// header, so a change here changes both sides together.
#include <array>
#include <bit>
#include <cstdint>

namespace quelt {

static_assert(std::endian::native == std::endian::little, "archive records are read in place");

constexpr char kArchiveMagic[2] = {'Q', 'L'};
constexpr uint16_t kArchiveMaxVersion = 3;
constexpr const char* kDefaultArchiveExtension = "QLA";

constexpr uint32_t kArchiveDirectoryAttribute = 0x10;
constexpr uint32_t kArchiveStoredEntry = 0xFFFFFFFF;   // coded size of an uncompressed entry
constexpr uint32_t kArchiveNoParent = 0xFFFFFFFF;      // parent of the root directory

// Longest stored name accepted (including its terminator no name reaches this).
constexpr uint32_t kArchiveMaxNameBytes = 260;

#pragma pack(push, 1)
struct ArchiveHeader {
  char magic[2];
  uint16_t version;
  uint32_t tableSize;
  uint32_t dataOffset;
  uint32_t tableOffset;
  uint32_t fileTableOffset;   // within the table block
  uint32_t directoryTableOffset;
};
static_assert(sizeof(ArchiveHeader) == 24);

struct ArchiveFileTime {
  uint32_t low;
  uint32_t high;
};

// The full record of versions 2 and 3; versions 0 and 1 end before `codedSize`.
struct ArchiveFileEntry {
  uint32_t nameOffset;
  uint32_t attributes;
  ArchiveFileTime creationTime;
  ArchiveFileTime accessTime;
  ArchiveFileTime writeTime;
  uint32_t dataOffset;   // file: from the data area; directory: its record in the directory table
  uint32_t size;
  uint32_t codedSize;    // versions 2 and 3 only
};
static_assert(sizeof(ArchiveFileEntry) == 44);

struct ArchiveDirectory {
  uint32_t entryOffset;     // its own entry in the file-entry table
  uint32_t parentOffset;    // kArchiveNoParent for the root
  uint32_t entryCount;
  uint32_t firstEntryOffset;
};
static_assert(sizeof(ArchiveDirectory) == 16);

struct ArchiveNameRecordHead {
  uint16_t keyUnits;   // key name length in 4-byte units
  uint16_t parity;
};
static_assert(sizeof(ArchiveNameRecordHead) == 4);

struct LzBlockHeader {
  uint32_t decodedSize;
  uint32_t codedSize;   // the whole block, these nine bytes included
  uint8_t escape;
};
static_assert(sizeof(LzBlockHeader) == 9);
#pragma pack(pop)

constexpr uint32_t ArchiveEntryStride(uint32_t version) { return version >= 2 ? 44 : 40; }
constexpr bool ArchiveVersionCompresses(uint32_t version) { return version >= 2; }

// Longest and shortest LZ match, farthest reach.
constexpr uint32_t kLzMinMatch = 4;
constexpr uint32_t kLzMaxMatch = 31 + (255u << 5) + kLzMinMatch;   // 8195
constexpr uint32_t kLzMaxDistance = 1u << 24;

constexpr bool IsArchiveLeadByte(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
constexpr bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

using ArchiveKey = std::array<uint8_t, 12>;

// The primary key: from the key string, or the fill byte when there is none (or it is empty).
ArchiveKey MakeArchiveKey(const char* keyString);
void MakeArchiveKey(uint8_t* keyOut, const char* keyString);
// The retry key: every byte the second fill.
ArchiveKey SecondArchiveKey();

// XORs `count` bytes that sit at archive offset `position` with the key; its own inverse.
// Returns the key index after the last byte.
int ScrambleArchiveBytes(uint32_t count, void* buffer, uint32_t position, const uint8_t* key);

struct ArchiveNameKey {
  uint8_t name[1024];
  uint16_t parity;
  uint16_t units;
};

// Builds the key of one path component (up to its NUL, slash or backslash). `lengthOut`
// receives the bytes taken from the component. -1 when the component does not fit the key.
int MakeArchiveNameKey(int32_t* lengthOut, const char* component, ArchiveNameKey* key);

}  // namespace quelt
