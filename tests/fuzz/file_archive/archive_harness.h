#pragma once
// Drives the archive reader and the LZ decoder over arbitrary bytes: shared by the
// libFuzzer targets and by the regression test that replays the stored samples.
#include <cstddef>
#include <cstdint>

namespace quelt_fuzz {

// The bytes are an LZ block.
void RunLzDecode(const uint8_t* data, size_t size);
// The bytes are an archive before scrambling: they are scrambled with the primary key,
// opened as a memory image, walked, every file read (and decoded), then released; the
// release must give the scrambled bytes back.
void RunArchive(const uint8_t* data, size_t size);

}  // namespace quelt_fuzz
