#pragma once
// Builds QLA archives: a tree of folders and files in, the scrambled archive bytes out.
#include <cstdint>
#include <string>
#include <vector>

namespace quelt_tools {

struct PackEntry {
  std::string name;                 // one path component, Shift-JIS
  bool directory = false;
  std::vector<uint8_t> data;        // files
  std::vector<PackEntry> children;  // directories
  uint32_t attributes = 0;          // extra Win32 attribute bits (the directory bit is added)
  uint64_t creationTime = 0;        // FILETIME values
  uint64_t accessTime = 0;
  uint64_t writeTime = 0;
};

enum class PackKey { Primary, Second };

struct PackOptions {
  uint16_t version = 3;
  bool compress = true;              // versions 2 and 3: compress where it saves space
  PackKey key = PackKey::Primary;
  std::string keyString;             // the primary key's string; empty: the fill
};

// The archive image, or an empty vector with `error` set.
std::vector<uint8_t> WriteArchive(const PackEntry& root, const PackOptions& options, std::string* error = nullptr);

}  // namespace quelt_tools
