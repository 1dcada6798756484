#include "tools/qla_writer/archive_writer.h"

#include <cstring>
#include <deque>

#include "file/archive_format.h"
#include "tools/qla_writer/lz_encode.h"

namespace quelt_tools {

using namespace quelt;

namespace {

template <typename T>
void Put(std::vector<uint8_t>& out, size_t at, const T& value) {
  std::memcpy(out.data() + at, &value, sizeof value);
}

template <typename T>
size_t Append(std::vector<uint8_t>& out, const T& value) {
  const size_t at = out.size();
  out.resize(at + sizeof value);
  Put(out, at, value);
  return at;
}

ArchiveFileTime SplitTime(uint64_t t) { return {static_cast<uint32_t>(t), static_cast<uint32_t>(t >> 32)}; }

struct Builder {
  const PackOptions& options;
  std::vector<uint8_t> data;
  std::vector<uint8_t> names;
  std::vector<uint8_t> entries;
  std::vector<uint8_t> directories;
  std::string error;

  bool Fail(const std::string& text) {
    if (error.empty()) error = text;
    return false;
  }

  uint32_t AddName(const std::string& name) {
    if (name.empty() || name.size() >= kArchiveMaxNameBytes) return Fail("bad name: '" + name + "'"), 0;
    ArchiveNameKey key;
    int32_t length = 0;
    if (MakeArchiveNameKey(&length, name.c_str(), &key) != 0 || static_cast<size_t>(length) != name.size())
      return Fail("name holds a separator or is too long: '" + name + "'"), 0;
    const auto offset = static_cast<uint32_t>(names.size());
    Append(names, ArchiveNameRecordHead{key.units, key.parity});
    names.insert(names.end(), key.name, key.name + key.units * 4u);
    names.insert(names.end(), name.begin(), name.end());
    names.push_back(0);
    return offset;
  }

  // The engine finds names by their upper-cased keys: two names of one folder with the same
  // key would leave all but one unreachable.
  bool NamesDistinct(const PackEntry& dir) {
    const auto& children = dir.children;
    for (size_t i = 0; i < children.size(); ++i) {
      ArchiveNameKey a;
      if (MakeArchiveNameKey(nullptr, children[i].name.c_str(), &a) != 0) continue;
      for (size_t j = i + 1; j < children.size(); ++j) {
        ArchiveNameKey b;
        if (MakeArchiveNameKey(nullptr, children[j].name.c_str(), &b) != 0) continue;
        if (a.units == b.units && std::memcmp(a.name, b.name, a.units * 4u) == 0)
          return Fail("names collide once upper-cased: '" + children[i].name + "' and '" +
                      children[j].name + "'" + (dir.name.empty() ? "" : " in '" + dir.name + "'"));
      }
    }
    return true;
  }

  uint32_t AddData(const PackEntry& file, uint32_t* codedSize) {
    const auto offset = static_cast<uint32_t>(data.size());
    *codedSize = kArchiveStoredEntry;
    if (ArchiveVersionCompresses(options.version) && options.compress && !file.data.empty()) {
      std::vector<uint8_t> block = EncodeLzBlock(file.data.data(), file.data.size());
      if (block.size() < file.data.size()) {
        *codedSize = static_cast<uint32_t>(block.size());
        data.insert(data.end(), block.begin(), block.end());
        return offset;
      }
    }
    data.insert(data.end(), file.data.begin(), file.data.end());
    return offset;
  }

  // Directories breadth first, so each one's entries sit together in the entry table.
  bool Build(const PackEntry& root) {
    const uint32_t stride = ArchiveEntryStride(options.version);
    struct Pending {
      const PackEntry* dir;
      uint32_t record;
    };
    std::deque<Pending> queue;
    directories.resize(sizeof(ArchiveDirectory));
    Put(directories, 0, ArchiveDirectory{kArchiveNoParent, kArchiveNoParent, 0, 0});
    queue.push_back({&root, 0});
    while (!queue.empty()) {
      const Pending current = queue.front();
      queue.pop_front();
      if (!NamesDistinct(*current.dir)) return false;
      const auto first = static_cast<uint32_t>(entries.size());
      entries.resize(entries.size() + current.dir->children.size() * stride);
      ArchiveDirectory record;
      std::memcpy(&record, directories.data() + current.record, sizeof record);
      record.entryCount = static_cast<uint32_t>(current.dir->children.size());
      record.firstEntryOffset = first;
      Put(directories, current.record, record);
      for (size_t i = 0; i < current.dir->children.size(); ++i) {
        const PackEntry& child = current.dir->children[i];
        const auto entryOffset = static_cast<uint32_t>(first + i * stride);
        ArchiveFileEntry entry{};
        entry.nameOffset = AddName(child.name);
        entry.attributes = child.attributes | (child.directory ? kArchiveDirectoryAttribute : 0);
        entry.creationTime = SplitTime(child.creationTime);
        entry.accessTime = SplitTime(child.accessTime);
        entry.writeTime = SplitTime(child.writeTime);
        entry.codedSize = kArchiveStoredEntry;
        if (child.directory) {
          const auto sub = static_cast<uint32_t>(directories.size());
          Append(directories, ArchiveDirectory{entryOffset, current.record, 0, 0});
          entry.dataOffset = sub;
          queue.push_back({&child, sub});
        } else {
          if (child.data.size() > 0x7FFFFFFF) return Fail("file too large: " + child.name);
          entry.size = static_cast<uint32_t>(child.data.size());
          entry.dataOffset = AddData(child, &entry.codedSize);
        }
        std::memcpy(entries.data() + entryOffset, &entry, stride);
      }
      if (!error.empty()) return false;
    }
    return error.empty();
  }
};

}  // namespace

std::vector<uint8_t> WriteArchive(const PackEntry& root, const PackOptions& options, std::string* error) {
  Builder b{options, {}, {}, {}, {}, {}};
  if (options.version > kArchiveMaxVersion) b.Fail("version above 3");
  if (!b.error.empty() || !b.Build(root)) {
    if (error) *error = b.error;
    return {};
  }
  const uint64_t total = sizeof(ArchiveHeader) + b.data.size() + b.names.size() + b.entries.size() + b.directories.size();
  if (total > 0xFFFFFFFFu) {
    if (error) *error = "archive larger than 4 GB";
    return {};
  }
  ArchiveHeader header;
  std::memcpy(header.magic, kArchiveMagic, 2);
  header.version = options.version;
  header.dataOffset = sizeof(ArchiveHeader);
  header.tableOffset = static_cast<uint32_t>(sizeof(ArchiveHeader) + b.data.size());
  header.fileTableOffset = static_cast<uint32_t>(b.names.size());
  header.directoryTableOffset = static_cast<uint32_t>(b.names.size() + b.entries.size());
  header.tableSize = static_cast<uint32_t>(b.names.size() + b.entries.size() + b.directories.size());

  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(total));
  Append(out, header);
  out.insert(out.end(), b.data.begin(), b.data.end());
  out.insert(out.end(), b.names.begin(), b.names.end());
  out.insert(out.end(), b.entries.begin(), b.entries.end());
  out.insert(out.end(), b.directories.begin(), b.directories.end());

  const ArchiveKey key =
      options.key == PackKey::Second ? SecondArchiveKey() : MakeArchiveKey(options.keyString.empty() ? nullptr : options.keyString.c_str());
  ScrambleArchiveBytes(static_cast<uint32_t>(out.size()), out.data(), 0, key.data());
  return out;
}

}  // namespace quelt_tools
