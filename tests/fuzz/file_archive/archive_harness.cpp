#include "fuzz/file_archive/archive_harness.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "file/archive.h"
#include "file/lz_decode.h"

namespace quelt_fuzz {

using namespace quelt;

namespace {

constexpr uint32_t kMaxDecoded = 1u << 20;  // larger blocks are only checked, not decoded

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadEntry(Archive& a, const std::string& path) {
  uint32_t offset = 0, size = 0;
  if (FindArchiveEntryData(&a, path.c_str(), &offset, &size) != 0) return;
  const ArchiveFileEntry* entry = FindArchiveEntry(path.c_str(), &a);
  Check(entry != nullptr);
  const uint32_t coded = ArchiveEntryCodedSize(a, entry);
  Check(uint64_t{offset} + coded <= a.imageSize);
  const uint8_t* bytes = a.image + offset;
  if (!ArchiveEntryIsCompressed(a, entry)) {
    volatile uint8_t sum = 0;
    for (uint32_t i = 0; i < coded; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    return;
  }
  if (entry->size > kMaxDecoded) return;
  std::vector<uint8_t> out(entry->size + 1);
  DecodeArchiveEntry(a, entry, bytes, out.data());
}

void Walk(Archive& a, const ArchiveDirectory* dir, const std::string& prefix, int depth) {
  if (depth > 16) return;
  for (uint32_t i = 0; i < dir->entryCount; ++i) {
    const ArchiveFileEntry* entry = ArchiveDirectoryEntry(a, dir, i);
    Check(entry != nullptr);
    const std::string name = ArchiveEntryStoredName(a, entry);
    Check(name.size() < 260);
    const std::string path = prefix + name;
    if (const ArchiveDirectory* sub = ArchiveSubDirectory(a, entry)) {
      if (ChangeArchiveDirectory(&a, path.c_str(), 1, nullptr) == 0) {
        ChangeArchiveDirectory(&a, "..", 1, nullptr);
        ChangeArchiveDirectory(&a, "\\", 1, nullptr);
      }
      Walk(a, sub, path + "\\", depth + 1);
    } else {
      ReadEntry(a, path);
    }
  }
}

}  // namespace

void RunLzDecode(const uint8_t* data, size_t size) {
  const int32_t declared = DecodeLzBlock(data, static_cast<uint32_t>(size), nullptr, 0);
  if (declared < 0) return;
  const uint32_t capacity = static_cast<uint32_t>(declared) > kMaxDecoded ? kMaxDecoded : static_cast<uint32_t>(declared);
  std::vector<uint8_t> out(capacity + 1);
  const int32_t result = DecodeLzBlock(data, static_cast<uint32_t>(size), out.data(), capacity);
  Check(result == -1 || (result == declared && static_cast<uint32_t>(declared) <= capacity));
}

void RunArchive(const uint8_t* data, size_t size) {
  if (size > (1u << 26)) return;
  std::vector<uint8_t> image(data, data + size);
  const ArchiveKey key = MakeArchiveKey(nullptr);
  ScrambleArchiveBytes(static_cast<uint32_t>(size), image.data(), 0, key.data());
  const std::vector<uint8_t> given = image;
  Archive archive;
  ResetArchiveRecord(&archive);
  if (OpenArchiveImage(&archive, image.data(), static_cast<uint32_t>(size), nullptr) == 0) {
    Walk(archive, ArchiveRootDirectory(archive), "", 0);
    FindArchiveEntry("NO\\SUCH\\FILE", &archive);
    ChangeArchiveDirectory(&archive, "..", 0, nullptr);
    ReleaseArchive(&archive);
  }
  Check(image == given);
}

}  // namespace quelt_fuzz
