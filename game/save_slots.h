#pragma once
// Save slots: "save1.dat" .. "save5.dat", one 20-byte record each, every field masked.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "game/game_state.h"

namespace quelt::game {

constexpr uint32_t SaveMask = 0x1529;
constexpr int SaveRecordSize = 20;
constexpr int SaveSlotCount = 5;

using SaveRecordBytes = std::array<uint8_t, SaveRecordSize>;

SaveRecordBytes EncodeSaveRecord(const PlayerProfileRecord& profile);
// Empty for a record the game could not have written.
std::optional<PlayerProfileRecord> DecodeSaveRecord(const uint8_t* bytes, size_t size);

const char* SaveSlotPath(int slot);
// The file a new record is written to before it takes the slot's place.
const char* SaveSlotTempPath(int slot);
std::optional<PlayerProfileRecord> ReadSaveSlot(int slot);
// 0 on success; -1 when the record could not be written whole, the slot then unchanged.
int WriteSaveSlot(int slot, const PlayerProfileRecord& profile);

}  // namespace quelt::game
