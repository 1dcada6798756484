#pragma once
// Unaligned reads and writes of one 16- or 32-bit pixel, shared by every software drawing loop.
#include <cstdint>
#include <cstring>

namespace quelt {

inline uint32_t LoadPixel32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}
inline uint32_t LoadPixel16(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, 2);
  return value;
}
inline void StorePixel32(uint8_t* p, uint32_t value) { std::memcpy(p, &value, 4); }
inline void StorePixel16(uint8_t* p, uint32_t value) {
  const uint16_t word = static_cast<uint16_t>(value);
  std::memcpy(p, &word, 2);
}

}  // namespace quelt
