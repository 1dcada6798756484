// Replays every seed and hostile sample kept for the image fuzz targets.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/image_readers/reader_harness.h"
#include "image/image_reader.h"
#include "support/test_paths.h"

namespace {

const char* const kTargets[] = {"bmp", "tga", "dds", "bgra", "png", "jpeg", "dxt", "table"};

TEST(ImageFuzzSamples, EverySampleRunsCleanly) {
  int samples = 0;
  for (const char* target : kTargets) {
    const std::filesystem::path folder = quelt_test::TestDataPath(std::string("fuzz/image_") + target);
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file() || entry.path().extension() == ".cpp") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      SCOPED_TRACE(entry.path().string());
      // Every reader meets every sample: a BMP sample is hostile input for the TGA reader too.
      for (const char* reader : kTargets) {
        const int result = quelt_fuzz::RunImageTarget(reader, bytes.data(), bytes.size());
        EXPECT_NE(result, quelt_fuzz::kUnknownImageTarget) << reader;
        // A seed is a valid file of its own target's format.
        const bool needsLibraries = std::strcmp(target, "png") == 0 || std::strcmp(target, "jpeg") == 0;
        if (std::strcmp(reader, target) == 0 && entry.path().filename().string().starts_with("seed-") &&
            (!needsLibraries || quelt::HaveLibraryImageReaders())) {
          EXPECT_EQ(result, 0) << reader;
        }
      }
      ++samples;
    }
  }
  EXPECT_GT(samples, 0);
}

}  // namespace
