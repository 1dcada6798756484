#include "tools/qla_writer/lz_encode.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "file/archive_format.h"

namespace quelt_tools {

using quelt::kLzMaxMatch;
using quelt::kLzMinMatch;

namespace {

constexpr uint32_t kHashBits = 16;

uint32_t Hash4(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return (v * 2654435761u) >> (32 - kHashBits);
}

uint32_t DistanceBytes(uint32_t distance) {
  const uint32_t field = distance - 1;
  return field < 0x100 ? 1 : field < 0x10000 ? 2 : 3;
}

uint32_t MatchCost(uint32_t length, uint32_t distance) {
  return 2 + (length - kLzMinMatch >= 32 ? 1 : 0) + DistanceBytes(distance);
}

struct Match {
  uint32_t length = 0;
  uint32_t distance = 0;
};

class MatchFinder {
 public:
  MatchFinder(const uint8_t* data, size_t size, const LzEncodeOptions& options)
      : data_(data), size_(size), options_(options), prev_(size, -1) {
    head_.fill(-1);
  }

  // Adds position `pos` to the chains (needs four bytes from it).
  void Insert(size_t pos) {
    if (pos + 4 > size_) return;
    const uint32_t h = Hash4(data_ + pos);
    prev_[pos] = head_[h];
    head_[h] = static_cast<int32_t>(pos);
  }

  // The best match at `pos` among positions already inserted, worth more than literals.
  Match Find(size_t pos) const {
    Match best;
    if (pos + kLzMinMatch > size_) return best;
    const size_t limit = std::min<size_t>(size_ - pos, kLzMaxMatch);
    int32_t candidate = head_[Hash4(data_ + pos)];
    for (uint32_t tries = 0; candidate >= 0 && tries < options_.maxChain; ++tries) {
      const size_t distance = pos - static_cast<size_t>(candidate);
      if (distance > options_.maxDistance || distance > quelt::kLzMaxDistance) break;
      const uint8_t* a = data_ + candidate;
      const uint8_t* b = data_ + pos;
      if (a[best.length] == b[best.length] || best.length == 0) {
        size_t n = 0;
        while (n < limit && a[n] == b[n]) ++n;
        if (n >= kLzMinMatch && n > best.length) {
          const auto length = static_cast<uint32_t>(n);
          if (length > MatchCost(length, static_cast<uint32_t>(distance))) {
            best = {length, static_cast<uint32_t>(distance)};
            if (n == limit) break;
          }
        }
      }
      candidate = prev_[static_cast<size_t>(candidate)];
    }
    return best;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  LzEncodeOptions options_;
  std::array<int32_t, 1u << kHashBits> head_;
  std::vector<int32_t> prev_;
};

void PutLiteral(std::vector<uint8_t>& out, uint8_t c, uint8_t escape) {
  out.push_back(c);
  if (c == escape) out.push_back(escape);
}

void PutMatch(std::vector<uint8_t>& out, Match m, uint8_t escape) {
  const uint32_t extra = m.length - kLzMinMatch;
  const uint32_t high = extra >> 5;
  const uint32_t field = m.distance - 1;
  const uint32_t distanceCode = DistanceBytes(m.distance) - 1;
  const uint32_t d = ((extra & 31) << 3) | (high ? 4 : 0) | distanceCode;
  out.push_back(escape);
  out.push_back(static_cast<uint8_t>(d < escape ? d : d + 1));
  if (high) out.push_back(static_cast<uint8_t>(high));
  for (uint32_t i = 0; i <= distanceCode; ++i) out.push_back(static_cast<uint8_t>(field >> (8 * i)));
}

}  // namespace

uint8_t ChooseLzEscape(const uint8_t* data, size_t size) {
  std::array<size_t, 256> counts{};
  for (size_t i = 0; i < size; ++i) ++counts[data[i]];
  uint8_t rarest = 0;
  for (int c = 1; c < 256; ++c)
    if (counts[c] < counts[rarest]) rarest = static_cast<uint8_t>(c);
  return rarest;
}

std::vector<uint8_t> EncodeLzBlock(const uint8_t* data, size_t size, const LzEncodeOptions& options) {
  const uint8_t escape = ChooseLzEscape(data, size);
  std::vector<uint8_t> out(sizeof(quelt::LzBlockHeader));
  out.reserve(size / 2 + 64);
  MatchFinder finder(data, size, options);
  size_t pos = 0;
  while (pos < size) {
    Match m = finder.Find(pos);
    if (m.length) {
      // One step of lazy matching: a longer match one byte on beats this one.
      finder.Insert(pos);
      const Match next = finder.Find(pos + 1);
      if (next.length > m.length + 1) {
        PutLiteral(out, data[pos], escape);
        ++pos;
        continue;
      }
      PutMatch(out, m, escape);
      for (size_t i = 1; i < m.length; ++i) finder.Insert(pos + i);
      pos += m.length;
    } else {
      finder.Insert(pos);
      PutLiteral(out, data[pos], escape);
      ++pos;
    }
  }
  quelt::LzBlockHeader header{static_cast<uint32_t>(size), static_cast<uint32_t>(out.size()), escape};
  std::memcpy(out.data(), &header, sizeof header);
  return out;
}

}  // namespace quelt_tools
