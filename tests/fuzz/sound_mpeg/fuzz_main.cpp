// The MPEG audio frame walk (ID3 tags, sync search, frame headers) over arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "file/file_access.h"
#include "sound/mpeg_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quelt;
  MemoryStream* memory = OpenMemoryStream(data, static_cast<int32_t>(size));
  const DataStream stream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)};
  MpegAudioScan scan{};
  if (ScanMpegAudio(stream, &scan) == 0 && (scan.dataEnd < scan.dataStart || scan.dataEnd > static_cast<int32_t>(size)))
    __builtin_trap();
  if (size >= 4) {
    MpegFrameHeader header{};
    ParseMpegFrameHeader(data, &header);
  }
  CloseMemoryStream(reinterpret_cast<StreamHandle>(memory));
  return 0;
}
