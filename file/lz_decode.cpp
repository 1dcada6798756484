#include "file/lz_decode.h"

#include <emmintrin.h>

#include <cstddef>
#include <cstring>

#include "core/little_endian.h"
#include "file/archive_format.h"

namespace quelt {
namespace {

// The copies are done in place rather than through the C runtime: most literal runs and
// matches are a few bytes long, and a runtime call per run costs more than the copy. The
// 16-byte steps may write up to 15 bytes past the end of a run; they are only taken where
// the output has that room, and later output overwrites those bytes.
constexpr std::ptrdiff_t kStep = 16;

inline __m128i Load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store16(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

inline std::ptrdiff_t RoundUpToStep(uint32_t n) { return (static_cast<std::ptrdiff_t>(n) + kStep - 1) & ~(kStep - 1); }

// Copies the literals from `in` up to the next escape byte while 16 bytes can be read and
// written at once; returns with `in` at the escape or where the plain path has to go on.
inline void CopyLiterals(const uint8_t*& in, const uint8_t* inEnd, uint8_t*& out, const uint8_t* outEnd,
                         __m128i escapes) {
  while (inEnd - in >= kStep && outEnd - out >= kStep) {
    const __m128i v = Load16(in);
    const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(v, escapes));
    Store16(out, v);
    if (hits != 0) {
      const int n = __builtin_ctz(static_cast<unsigned>(hits));
      in += n;
      out += n;
      return;
    }
    in += kStep;
    out += kStep;
  }
}

// The match of `length` bytes from `distance` back (both already checked against the output).
inline void CopyMatch(uint8_t* out, const uint8_t* outEnd, uint32_t distance, uint32_t length) {
  const uint8_t* from = out - distance;
  const bool room = outEnd - out >= RoundUpToStep(length);
  if (room && distance >= kStep) {
    // Each step reads only bytes written before it.
    for (uint32_t i = 0; i < length; i += kStep) Store16(out + i, Load16(from + i));
    return;
  }
  if (room && distance == 1) {
    const __m128i fill = _mm_set1_epi8(static_cast<char>(*from));
    for (uint32_t i = 0; i < length; i += kStep) Store16(out + i, fill);
    return;
  }
  if (distance >= length) {
    for (uint32_t i = 0; i < length; ++i) out[i] = from[i];
    return;
  }
  if (length <= 2 * kStep) {
    for (uint32_t i = 0; i < length; ++i) out[i] = from[i];
    return;
  }
  // A long overlapping match: the output repeats with period `distance`. Each copy reads
  // from `distance` before the match and never overlaps what it writes, and doubles.
  uint32_t done = 0, span = distance;
  while (done < length) {
    const uint32_t n = span < length - done ? span : length - done;
    std::memcpy(out + done, out + done - span, n);
    done += n;
    span = done + distance;
  }
}

}  // namespace

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
  const __m128i escapes = _mm_set1_epi8(static_cast<char>(escape));

  while (in < inEnd) {
    CopyLiterals(in, inEnd, out, outEnd, escapes);
    if (in == inEnd) break;
    // The rest of a run of literals up to the next escape byte, near the ends of the block.
    const auto* stop = *in == escape ? in
                                     : static_cast<const uint8_t*>(std::memchr(in, escape, static_cast<size_t>(inEnd - in)));
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
        distance = LoadLe16(in);
        in += 2;
        break;
      case 2:
        if (inEnd - in < 3) return -1;
        distance = LoadLe24(in);
        in += 3;
        break;
      default:
        return -1;
    }
    distance += 1;
    if (distance > static_cast<size_t>(out - outStart)) return -1;
    if (length > static_cast<size_t>(outEnd - out)) return -1;
    CopyMatch(out, outEnd, distance, length);
    out += length;
  }
  if (out != outEnd) return -1;
  return static_cast<int32_t>(header.decodedSize);
}

}  // namespace quelt
