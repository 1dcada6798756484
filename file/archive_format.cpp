#include "file/archive_format.h"

#include <cstring>

namespace quelt {

namespace {

constexpr uint8_t kPrimaryFill = 0xA7;
constexpr uint8_t kSecondFill = 0x5B;

enum class KeyOp : uint8_t { Not, Rotate, Xor, RotateNot, RotateXor };
struct KeyStep {
  KeyOp op;
  uint8_t rotate;
  uint8_t mask;
};

// One fixed change per key byte, so a key string of one repeated letter still gives
// twelve different bytes.
constexpr std::array<KeyStep, 12> kKeySteps = {{
    {KeyOp::Not, 0, 0},          {KeyOp::Rotate, 3, 0},      {KeyOp::Xor, 0, 0x6C},
    {KeyOp::RotateNot, 5, 0},    {KeyOp::RotateXor, 2, 0x93}, {KeyOp::Xor, 0, 0x2E},
    {KeyOp::Rotate, 7, 0},       {KeyOp::Not, 0, 0},          {KeyOp::RotateXor, 6, 0x4D},
    {KeyOp::RotateNot, 1, 0},    {KeyOp::Xor, 0, 0xB1},       {KeyOp::Rotate, 4, 0},
}};

constexpr uint8_t ApplyKeyStep(uint8_t b, KeyStep s) {
  switch (s.op) {
    case KeyOp::Not: return static_cast<uint8_t>(~b);
    case KeyOp::Rotate: return std::rotl(b, s.rotate);
    case KeyOp::Xor: return static_cast<uint8_t>(b ^ s.mask);
    case KeyOp::RotateNot: return static_cast<uint8_t>(~std::rotl(b, s.rotate));
    case KeyOp::RotateXor: return static_cast<uint8_t>(std::rotl(b, s.rotate) ^ s.mask);
  }
  return b;
}

}  // namespace

void MakeArchiveKey(uint8_t* keyOut, const char* keyString) {
  const size_t length = keyString ? std::strlen(keyString) : 0;
  for (size_t i = 0; i < 12; ++i) {
    const uint8_t raw = length ? static_cast<uint8_t>(keyString[i % length]) : kPrimaryFill;
    keyOut[i] = ApplyKeyStep(raw, kKeySteps[i]);
  }
}

ArchiveKey MakeArchiveKey(const char* keyString) {
  ArchiveKey key{};
  MakeArchiveKey(key.data(), keyString);
  return key;
}

ArchiveKey SecondArchiveKey() {
  ArchiveKey key;
  key.fill(kSecondFill);
  return key;
}

int ScrambleArchiveBytes(uint32_t count, void* buffer, uint32_t position, const uint8_t* key) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  uint32_t k = position % 12;
  uint32_t i = 0;
  while (i < count && k != 0) {
    bytes[i++] ^= key[k];
    k = (k + 1) % 12;
  }
  uint32_t words[3];
  std::memcpy(words, key, 12);
  for (; count - i >= 12; i += 12) {
    uint32_t block[3];
    std::memcpy(block, bytes + i, 12);
    block[0] ^= words[0];
    block[1] ^= words[1];
    block[2] ^= words[2];
    std::memcpy(bytes + i, block, 12);
  }
  while (i < count) {
    bytes[i++] ^= key[k];
    k = (k + 1) % 12;
  }
  return static_cast<int>(k);
}

int MakeArchiveNameKey(int32_t* lengthOut, const char* component, ArchiveNameKey* key) {
  // Leaves room for at least one terminating zero byte.
  constexpr uint32_t kMaxKeyBytes = sizeof(key->name) - 4;
  uint32_t n = 0;
  uint16_t parity = 0;
  const auto* src = reinterpret_cast<const uint8_t*>(component);
  while (src[n] != 0 && !IsPathSeparator(static_cast<char>(src[n]))) {
    const uint32_t take = (IsArchiveLeadByte(src[n]) && src[n + 1] != 0) ? 2 : 1;
    if (n + take > kMaxKeyBytes) {
      if (lengthOut) *lengthOut = static_cast<int32_t>(n);
      return -1;
    }
    for (uint32_t j = 0; j < take; ++j) {
      uint8_t c = src[n + j];
      if (take == 1 && c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
      key->name[n + j] = c;
      parity = static_cast<uint16_t>(parity + c);
    }
    n += take;
  }
  const uint32_t padded = n + 4 - (n % 4);
  std::memset(key->name + n, 0, padded - n);
  key->parity = parity;
  key->units = static_cast<uint16_t>(padded / 4);
  if (lengthOut) *lengthOut = static_cast<int32_t>(n);
  return 0;
}

}  // namespace quelt
