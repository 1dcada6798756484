#pragma once
// Trees for the archive tests: a fixed small tree and random ones.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tools/qla_writer/archive_writer.h"

namespace quelt_test {

using quelt_tools::PackEntry;

inline PackEntry FileNode(const std::string& name, std::vector<uint8_t> data) {
  PackEntry e;
  e.name = name;
  e.data = std::move(data);
  e.writeTime = 0x01D0000012345678ULL;
  return e;
}

inline PackEntry DirNode(const std::string& name, std::vector<PackEntry> children) {
  PackEntry e;
  e.name = name;
  e.directory = true;
  e.children = std::move(children);
  return e;
}

inline std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// Compressible bytes: runs, repeats and some noise.
inline std::vector<uint8_t> GameLikeBytes(std::mt19937& rng, size_t size) {
  std::vector<uint8_t> out;
  out.reserve(size);
  while (out.size() < size) {
    switch (rng() % 3) {
      case 0: out.insert(out.end(), 1 + rng() % 64, static_cast<uint8_t>(rng())); break;
      case 1:
        if (out.size() > 8) {
          const size_t from = rng() % out.size();
          const size_t n = std::min<size_t>(4 + rng() % 300, out.size() - from);
          for (size_t i = 0; i < n; ++i) out.push_back(out[from + i]);
        }
        break;
      default:
        for (int i = rng() % 16; i >= 0; --i) out.push_back(static_cast<uint8_t>(rng()));
    }
  }
  out.resize(size);
  return out;
}

// A random tree of up to `depth` levels; names are unique per folder, mixed case.
inline PackEntry RandomTree(std::mt19937& rng, int depth) {
  PackEntry dir = DirNode("", {});
  const int count = static_cast<int>(rng() % 6);
  for (int i = 0; i < count; ++i) {
    std::string name = (rng() % 2 ? "Item" : "item") + std::to_string(i);
    if (depth > 0 && rng() % 3 == 0) {
      PackEntry sub = RandomTree(rng, depth - 1);
      sub.name = name;
      dir.children.push_back(std::move(sub));
    } else {
      const size_t size = rng() % 4 == 0 ? 0 : rng() % 20000;
      dir.children.push_back(FileNode(name + ".dat", GameLikeBytes(rng, size)));
    }
  }
  return dir;
}

// Calls `visit(path, entry)` for every file of the tree, paths joined with backslashes.
template <typename Visit>
void ForEachFile(const PackEntry& dir, const std::string& prefix, Visit&& visit) {
  for (const PackEntry& child : dir.children) {
    if (child.directory) ForEachFile(child, prefix + child.name + "\\", visit);
    else visit(prefix + child.name, child);
  }
}

}  // namespace quelt_test
