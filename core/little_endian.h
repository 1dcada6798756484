#pragma once
// Little-endian numbers in byte buffers (file formats, wire words), read and written a byte
// at a time so neither the host's byte order nor the buffer's alignment matters.
#include <cstdint>

namespace quelt {

constexpr uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
constexpr uint32_t LoadLe24(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
}
constexpr uint32_t LoadLe32(const uint8_t* p) { return LoadLe24(p) | uint32_t{p[3]} << 24; }
constexpr int32_t LoadLeS32(const uint8_t* p) { return static_cast<int32_t>(LoadLe32(p)); }

constexpr void StoreLe16(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}
constexpr void StoreLe32(uint8_t* p, uint32_t value) {
  StoreLe16(p, value);
  StoreLe16(p + 2, value >> 16);
}

}  // namespace quelt
