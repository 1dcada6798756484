// The Windows fall-back's key table and the first pad's default key map.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "input/key_tables.h"

namespace quelt {
namespace {

std::array<uint8_t, 256> ScanStateWith(std::initializer_list<uint8_t> down_keys) {
  std::array<uint8_t, 256> keyboard{};
  for (uint8_t key : down_keys) keyboard[key] = 0x80;
  std::array<uint8_t, 256> state{};
  state.fill(0x55);  // the mapping must clear what it does not set
  MapKeyboardToScanState(keyboard.data(), state.data());
  return state;
}

TEST(VkToDik, EnterSetsMainAndNumericPadEnter) {
  const auto state = ScanStateWith({0x0D});
  EXPECT_EQ(state[0x1C], 0x80);
  EXPECT_EQ(state[0x9C], 0x80);
  int down = 0;
  for (uint8_t byte : state) down += byte != 0;
  EXPECT_EQ(down, 2);
}

TEST(VkToDik, SidesOfShiftControlAltAndTheArrowsAreTheirOwnCodes) {
  EXPECT_EQ(ScanStateWith({0xA1})[0x36], 0x80);  // right Shift
  EXPECT_EQ(ScanStateWith({0xA1})[0x2A], 0);
  EXPECT_EQ(ScanStateWith({0xA0})[0x2A], 0x80);
  EXPECT_EQ(ScanStateWith({0xA3})[0x9D], 0x80);
  EXPECT_EQ(ScanStateWith({0xA5})[0xB8], 0x80);
  EXPECT_EQ(ScanStateWith({0x27})[0xCD], 0x80);  // right arrow
  EXPECT_EQ(ScanStateWith({0x25})[0xCB], 0x80);
  // The generic Shift, Control and Alt keys have no row.
  const auto generic = ScanStateWith({0x10, 0x11, 0x12});
  for (uint8_t byte : generic) EXPECT_EQ(byte, 0);
}

TEST(VkToDik, KeepsTheBitsOfTheKeyboardByte) {
  // Toggle bits (bit 0) travel with the byte; only bit 7 counts as down.
  std::array<uint8_t, 256> keyboard{};
  keyboard[0x14] = 0x01;  // Caps Lock toggled on, not held
  std::array<uint8_t, 256> state{};
  MapKeyboardToScanState(keyboard.data(), state.data());
  EXPECT_EQ(state[0x3A], 0x01);
}

TEST(PadKeyMap, DefaultsFillOnlyTheFirstPad) {
  PadKeyMap map{};
  FillPadKeyMapDefaults(&map);
  EXPECT_EQ(map[0][0][0], 0x50);
  EXPECT_EQ(map[0][0][1], 0xD0);
  EXPECT_EQ(map[0][3][1], 0xC8);
  EXPECT_EQ(map[0][4][0], 0x2C);
  EXPECT_EQ(map[0][4][1], -1);
  EXPECT_EQ(map[0][13][0], 0x39);
  EXPECT_EQ(map[0][14][0], -1);
  for (int pad = 1; pad < PadCapacity; ++pad)
    for (const auto& row : map[static_cast<size_t>(pad)]) EXPECT_EQ(row[0], -1);
}

}  // namespace
}  // namespace quelt
