#include "file/lz_decode.h"

#include <cstring>

#include "file/archive_format.h"

namespace quelt {

int32_t DecodeLzBlock(const void* block, uint32_t blockSize, void* dest, uint32_t destCapacity) {
  if (!block || blockSize < sizeof(LzBlockHeader)) return -1;
  LzBlockHeader header;
  std::memcpy(&header, block, sizeof header);
  if (header.codedSize < sizeof(LzBlockHeader) || header.codedSize > blockSize) return -1;
  if (header.decodedSize > 0x7FFFFFFFu) return -1;
  if (!dest) return static_cast<int32_t>(header.decodedSize);
  if (header.decodedSize > destCapacity) return -1;

  const auto* src = static_cast<const uint8_t*>(block);
  const uint8_t* in = src + sizeof(LzBlockHeader);
  const uint8_t* const inEnd = src + header.codedSize;
  auto* const outStart = static_cast<uint8_t*>(dest);
  uint8_t* out = outStart;
  uint8_t* const outEnd = outStart + header.decodedSize;
  const uint8_t escape = header.escape;

  while (in < inEnd) {
    // A run of literals up to the next escape byte.
    const auto* stop = static_cast<const uint8_t*>(std::memchr(in, escape, static_cast<size_t>(inEnd - in)));
    const uint8_t* runEnd = stop ? stop : inEnd;
    const size_t run = static_cast<size_t>(runEnd - in);
    if (run) {
      if (run > static_cast<size_t>(outEnd - out)) return -1;
      std::memcpy(out, in, run);
      out += run;
      in = runEnd;
      continue;
    }
    // in points at an escape byte.
    if (inEnd - in < 2) return -1;
    const uint8_t x = in[1];
    in += 2;
    if (x == escape) {
      if (out == outEnd) return -1;
      *out++ = escape;
      continue;
    }
    const uint32_t d = x > escape ? x - 1u : x;
    uint32_t length = d >> 3;
    if (d & 4) {
      if (in == inEnd) return -1;
      length += static_cast<uint32_t>(*in++) << 5;
    }
    length += kLzMinMatch;
    uint32_t distance;
    switch (d & 3) {
      case 0:
        if (inEnd - in < 1) return -1;
        distance = in[0];
        in += 1;
        break;
      case 1:
        if (inEnd - in < 2) return -1;
        distance = in[0] | (in[1] << 8);
        in += 2;
        break;
      case 2:
        if (inEnd - in < 3) return -1;
        distance = in[0] | (in[1] << 8) | (static_cast<uint32_t>(in[2]) << 16);
        in += 3;
        break;
      default:
        return -1;
    }
    distance += 1;
    if (distance > static_cast<size_t>(out - outStart)) return -1;
    if (length > static_cast<size_t>(outEnd - out)) return -1;
    const uint8_t* from = out - distance;
    if (distance >= length) {
      std::memcpy(out, from, length);
    } else {
      // Overlapping: the output repeats with period `distance`. Each copy reads from
      // `distance` before the match and never overlaps what it writes, and doubles.
      uint32_t done = 0, span = distance;
      while (done < length) {
        const uint32_t n = span < length - done ? span : length - done;
        std::memcpy(out + done, out + done - span, n);
        done += n;
        span = done + distance;
      }
    }
    out += length;
  }
  if (out != outEnd) return -1;
  return static_cast<int32_t>(header.decodedSize);
}

}  // namespace quelt
