// The Theora player over arbitrary bytes: the Ogg check, the headers, the page index, the
// decode thread's seeks and decoding, frame fetch, through the memory file table.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "movie/theora_decoder.h"
#include "movie/theora_movie_maker.h"
#include "movie/yuv_tables.h"

namespace {

// Pictures the fuzzer's memory limit cannot hold (the library allocates several frames)
// are left out: a Theora identification header names its size in macroblocks.
bool DeclaresHugePicture(const uint8_t* data, size_t size) {
  static const uint8_t tag[] = {0x80, 't', 'h', 'e', 'o', 'r', 'a'};
  for (size_t i = 0; i + 14 <= size; ++i) {
    if (std::memcmp(data + i, tag, sizeof tag) != 0) continue;
    const uint32_t mbWide = static_cast<uint32_t>(data[i + 10]) << 8 | data[i + 11];
    const uint32_t mbHigh = static_cast<uint32_t>(data[i + 12]) << 8 | data[i + 13];
    if (uint64_t{mbWide} * mbHigh > 4096) return true;  // above a million pixels
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (DeclaresHugePicture(data, size)) return 0;
  static bool tables = (quelt::InitYuvTables(), true);
  (void)tables;
  quelt_test::RegisterMemoryFile("fuzz.ogv", std::vector<uint8_t>(data, data + size));
  const quelt::FileAccessTable& table = quelt_test::MemoryFileTable();
  const quelt::FileHandle file = table.open("fuzz.ogv", 0, 1, 0);
  quelt::TheoraDecoder* d = quelt::OpenTheoraDecoder(&table, file, 4);
  if (d != nullptr) {
    for (int32_t step = 0; step < 6; ++step) {
      quelt::FetchTheoraFrame(d, 1, 1);
      quelt::AdvanceTheoraFrame(d, step + 1);
    }
    quelt::RequestTheoraSeek(d, 2);
    quelt::FetchTheoraFrame(d, 1, 0);
    quelt::CloseTheoraDecoder(d);
  }
  table.close(file);
  return 0;
}
