#pragma once
// The LZ encoder whose blocks the engine's DecodeLzBlock reads.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quelt_tools {

struct LzEncodeOptions {
  uint32_t maxChain = 64;         // candidates tried per position
  uint32_t maxDistance = 1u << 24;
};

// A whole LZ block: the nine-byte header, then the code stream. The escape byte is the
// byte least used in `data`.
std::vector<uint8_t> EncodeLzBlock(const uint8_t* data, size_t size, const LzEncodeOptions& options = {});

uint8_t ChooseLzEscape(const uint8_t* data, size_t size);

}  // namespace quelt_tools
