// Hand-made hostile archives and LZ blocks (tests/fuzz/*/corpus, written by
// tests/fuzz/file_archive/make_samples.py) and anything the fuzzers found: every sample
// replays through the fuzz harness, and each hostile archive is refused at open.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file/archive.h"
#include "file/lz_decode.h"
#include "fuzz/file_archive/archive_harness.h"
#include "support/test_paths.h"

namespace {

using namespace quelt;
namespace fs = std::filesystem;

struct Sample {
  std::string name;
  std::vector<uint8_t> bytes;
};

std::vector<Sample> LoadSamples(const std::string& folder) {
  std::vector<Sample> samples;
  const fs::path dir = quelt_test::TestDataPath("fuzz/" + folder + "/corpus");
  for (const auto& item : fs::directory_iterator(dir)) {
    std::ifstream in(item.path(), std::ios::binary);
    samples.push_back({item.path().filename().string(),
                       std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())});
  }
  return samples;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

TEST(HostileSamples, LzBlocksReplayAndHostileOnesFail) {
  const std::vector<Sample> samples = LoadSamples("file_lz");
  ASSERT_GE(samples.size(), 10u);
  for (const Sample& s : samples) {
    quelt_fuzz::RunLzDecode(s.bytes.data(), s.bytes.size());
    std::vector<uint8_t> out(4096);
    const int32_t result = DecodeLzBlock(s.bytes.data(), static_cast<uint32_t>(s.bytes.size()), out.data(), 4096);
    if (StartsWith(s.name, "hostile-")) EXPECT_EQ(result, -1) << s.name;
    else EXPECT_GT(result, 0) << s.name;
  }
}

TEST(HostileSamples, ArchivesReplayAndHostileOnesAreRefusedAtOpen) {
  const std::vector<Sample> samples = LoadSamples("file_archive");
  ASSERT_GE(samples.size(), 20u);
  for (const Sample& s : samples) {
    quelt_fuzz::RunArchive(s.bytes.data(), s.bytes.size());
    std::vector<uint8_t> image = s.bytes;
    const ArchiveKey key = MakeArchiveKey(nullptr);
    ScrambleArchiveBytes(static_cast<uint32_t>(image.size()), image.data(), 0, key.data());
    Archive archive{};
    const int opened = OpenArchiveImage(&archive, image.data(), static_cast<uint32_t>(image.size()), nullptr);
    if (StartsWith(s.name, "hostile-lz-")) {
      // The tables are sound; the entry's LZ block is not, and decoding it fails.
      ASSERT_EQ(opened, 0) << s.name;
      const ArchiveFileEntry* entry = FindArchiveEntry("a.txt", &archive);
      ASSERT_NE(entry, nullptr);
      std::vector<uint8_t> out(entry->size + 16);
      uint32_t offset = 0;
      FindArchiveEntryData(&archive, "a.txt", &offset, nullptr);
      EXPECT_EQ(DecodeArchiveEntry(archive, entry, archive.image + offset, out.data()), -1) << s.name;
    } else if (StartsWith(s.name, "hostile-")) {
      EXPECT_EQ(opened, -1) << s.name;
    } else {
      EXPECT_EQ(opened, 0) << s.name;
    }
    ReleaseArchive(&archive);
  }
}

}  // namespace
