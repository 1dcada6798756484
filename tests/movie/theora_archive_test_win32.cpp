// A movie stored uncompressed inside a QLA archive on disk plays right while the main thread
// reads the archive's other members between frames: the decode thread reads through a
// handle of its own, never through the archive's shared one.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "file/file_access.h"
#include "file/vfs.h"
#include "movie/theora_decoder.h"
#include "movie/theora_movie_maker.h"
#include "movie/yuv_tables.h"
#include "tools/qla_writer/archive_writer.h"

namespace quelt {
namespace {

bool SaveFile(const char* name, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(name, "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  std::fclose(f);
  return ok && !bytes.empty();
}

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 131 + i / 977) & 0xFF);
  return bytes;
}

quelt_tools::PackEntry FileEntry(const char* name, std::vector<uint8_t> data) {
  quelt_tools::PackEntry e;
  e.name = name;
  e.data = std::move(data);
  return e;
}

TEST(TheoraInArchive, DecodeThreadReadsAStoredMovieThroughItsOwnHandle) {
  InitYuvTables();
  quelt_test::MovieRecipe recipe;
  recipe.frames = 40;
  recipe.framesPerPage = 2;
  const std::vector<uint8_t> movieBytes = quelt_test::TestMovie(recipe);
  ASSERT_FALSE(movieBytes.empty()) << "run movie_files_make first";
  const std::vector<uint8_t> other = Pattern(300000);
  quelt_tools::PackEntry root;
  root.directory = true;
  root.children.push_back(FileEntry("loops.ogv", movieBytes));
  root.children.push_back(FileEntry("other.bin", other));
  quelt_tools::PackOptions options;
  options.compress = false;
  ASSERT_TRUE(SaveFile("packed.QLA", quelt_tools::WriteArchive(root, options)));
  SetFileAccessTable(nullptr);
  ResetArchiveManager();

  const FileHandle movieFile = FileAccessOpen("packed/loops.ogv", 0, 1, 0);
  ASSERT_NE(movieFile, 0u);
  StoredMemberPlace place{};
  ASSERT_EQ(FindStoredMemberPlace(movieFile, &place), 0);
  EXPECT_EQ(place.size, movieBytes.size());
  TheoraDecoder* d = OpenTheoraDecoder(&FileAccess, movieFile, 10);
  ASSERT_NE(d, nullptr);
  EXPECT_NE(d->privateReader, nullptr);
  EXPECT_EQ(d->frameCount, 40);

  // The main thread walks the other member while the thread decodes ahead, through 60 loops
  // of the movie (each one reads the file again from its start).
  const FileHandle otherFile = FileAccessOpen("packed/other.bin", 0, 1, 0);
  ASSERT_NE(otherFile, 0u);
  int32_t otherPosition = 0;
  std::vector<uint8_t> chunk(3001);
  for (int32_t frame = 0; frame < 2500; ++frame) {
    for (int k = 0; k < 2; ++k) {
      if (otherPosition + static_cast<int32_t>(chunk.size()) > static_cast<int32_t>(other.size())) {
        otherPosition = 0;
        FileAccessSeek(otherFile, 0, 0);
      }
      ASSERT_EQ(FileAccessRead(chunk.data(), 1, static_cast<int32_t>(chunk.size()), otherFile),
                static_cast<int32_t>(chunk.size()));
      ASSERT_TRUE(std::equal(chunk.begin(), chunk.end(), other.begin() + otherPosition)) << "at " << otherPosition;
      otherPosition += static_cast<int32_t>(chunk.size());
    }
    ASSERT_EQ(FetchTheoraFrame(d, 1, 0), 1) << frame;
    const uint8_t* p = d->frameImage.pixels + 24 * d->frameImage.pitch + 32 * 4;
    // The nearest of the movie's flat colours is the frame's own.
    int32_t nearest = -1;
    int32_t best = 1 << 30;
    for (int32_t f = 0; f < 40; ++f) {
      uint8_t b, g, r;
      quelt_test::ExpectedRgb(quelt_test::FrameColour(f), &b, &g, &r);
      const int32_t distance = std::abs(p[0] - b) + std::abs(p[1] - g) + std::abs(p[2] - r);
      if (distance < best) {
        best = distance;
        nearest = f;
      }
    }
    ASSERT_EQ(nearest, frame % 40) << "frame " << frame;
    AdvanceTheoraFrame(d, 1);
  }
  CloseTheoraDecoder(d);
  FileAccessClose(otherFile);
  FileAccessClose(movieFile);
  SweepUnusedArchives();
}

}  // namespace
}  // namespace quelt
