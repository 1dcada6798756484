// qlapack: packs a folder into a QLA archive.
//   qlapack [-v VERSION] [-k KEYSTRING | -2] [-s] FOLDER OUT.QLA
// -v 0..3 (default 3); -k scrambles with the key made from KEYSTRING, -2 with the retry key;
// -s stores every file (no compression).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/qla_writer/archive_writer.h"
#include "tools/qlapack/host_names.h"

namespace fs = std::filesystem;
using quelt_tools::PackEntry;

namespace {

uint64_t ToFileTime(fs::file_time_type t) {
  const auto since1970 = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::file_clock::to_sys(t).time_since_epoch()).count();
  constexpr int64_t kSeconds1601To1970 = 11644473600LL;
  const int64_t seconds = since1970 + kSeconds1601To1970;
  return seconds > 0 ? static_cast<uint64_t>(seconds) * 10000000ULL : 0;
}

bool ReadTree(const fs::path& folder, PackEntry& dir) {
  std::vector<fs::directory_entry> items;
  std::error_code ec;
  for (const auto& item : fs::directory_iterator(folder, ec)) items.push_back(item);
  if (ec) {
    std::fprintf(stderr, "qlapack: cannot list %s: %s\n", folder.string().c_str(), ec.message().c_str());
    return false;
  }
  std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  for (const auto& item : items) {
    PackEntry child;
    // The engine looks names up in Shift-JIS.
    if (!quelt_tools::HostNameToShiftJis(item.path().filename(), &child.name)) {
      const std::u8string shown = item.path().u8string();
      std::fprintf(stderr, "qlapack: %s: the name has no Shift-JIS form\n", reinterpret_cast<const char*>(shown.c_str()));
      return false;
    }
    child.writeTime = child.creationTime = child.accessTime = ToFileTime(item.last_write_time(ec));
    if (item.is_directory()) {
      child.directory = true;
      if (!ReadTree(item.path(), child)) return false;
    } else if (item.is_regular_file()) {
      std::ifstream in(item.path(), std::ios::binary);
      child.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "qlapack: cannot read %s\n", item.path().string().c_str());
        return false;
      }
    } else {
      continue;
    }
    dir.children.push_back(std::move(child));
  }
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: qlapack [-v VERSION] [-k KEYSTRING | -2] [-s] FOLDER OUT.QLA\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  quelt_tools::PackOptions options;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string flag = argv[i];
    if (flag == "-v" && i + 1 < argc) {
      const int version = std::atoi(argv[++i]);
      if (version < 0 || version > 3) return Usage();
      options.version = static_cast<uint16_t>(version);
    } else if (flag == "-k" && i + 1 < argc) {
      options.keyString = argv[++i];
      if (options.keyString.size() > 16) {
        std::fprintf(stderr, "qlapack: key strings hold up to 16 bytes\n");
        return 2;
      }
    } else if (flag == "-2") {
      options.key = quelt_tools::PackKey::Second;
    } else if (flag == "-s") {
      options.compress = false;
    } else {
      return Usage();
    }
  }
  if (argc - i != 2) return Usage();
  PackEntry root;
  root.directory = true;
  if (!ReadTree(argv[i], root)) return 1;
  std::string error;
  const std::vector<uint8_t> archive = quelt_tools::WriteArchive(root, options, &error);
  if (archive.empty()) {
    std::fprintf(stderr, "qlapack: %s\n", error.c_str());
    return 1;
  }
  std::ofstream out(argv[i + 1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
  if (!out) {
    std::fprintf(stderr, "qlapack: cannot write %s\n", argv[i + 1]);
    return 1;
  }
  return 0;
}
