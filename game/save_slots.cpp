#include "game/save_slots.h"

#include <cstdio>

#include "core/little_endian.h"
#include "game/file_replace.h"

namespace quelt::game {

namespace {

void PutMasked(uint8_t* out, int32_t value) { StoreLe32(out, static_cast<uint32_t>(value) ^ SaveMask); }

int32_t GetMasked(const uint8_t* in) { return static_cast<int32_t>(LoadLe32(in) ^ SaveMask); }

}  // namespace

SaveRecordBytes EncodeSaveRecord(const PlayerProfileRecord& profile) {
  SaveRecordBytes bytes{};
  PutMasked(&bytes[0], profile.virtue);
  PutMasked(&bytes[4], profile.physique);
  PutMasked(&bytes[8], profile.relaxation);
  PutMasked(&bytes[12], profile.totalLevel);
  PutMasked(&bytes[16], profile.previousLife);
  return bytes;
}

std::optional<PlayerProfileRecord> DecodeSaveRecord(const uint8_t* bytes, size_t size) {
  if (bytes == nullptr || size < SaveRecordSize) return std::nullopt;
  PlayerProfileRecord p{GetMasked(&bytes[0]), GetMasked(&bytes[4]), GetMasked(&bytes[8]), GetMasked(&bytes[12]),
                        GetMasked(&bytes[16])};
  if (p.virtue < 0 || p.physique < 0 || p.physique > 20 || p.relaxation < 0 || p.relaxation > 20 ||
      p.totalLevel < 1 || p.previousLife < -1 || p.previousLife >= CourseCount) {
    return std::nullopt;
  }
  // Each relaxation-up raises the total level by one and each physique-up trades five
  // relaxation, so a profile the game wrote always keeps this balance.
  if (p.totalLevel != 1 + p.relaxation + 5 * p.physique) return std::nullopt;
  return p;
}

const char* SaveSlotPath(int slot) {
  static constexpr std::array<const char*, SaveSlotCount> paths = {"save1.dat", "save2.dat", "save3.dat",
                                                                   "save4.dat", "save5.dat"};
  return paths[slot];
}

std::optional<PlayerProfileRecord> ReadSaveSlot(int slot) {
  std::FILE* f = std::fopen(SaveSlotPath(slot), "rb");
  if (f == nullptr) return std::nullopt;
  SaveRecordBytes bytes{};
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return DecodeSaveRecord(bytes.data(), got);
}

const char* SaveSlotTempPath(int slot) {
  static constexpr std::array<const char*, SaveSlotCount> paths = {"save1.dat.tmp", "save2.dat.tmp", "save3.dat.tmp",
                                                                   "save4.dat.tmp", "save5.dat.tmp"};
  return paths[slot];
}

int WriteSaveSlot(int slot, const PlayerProfileRecord& profile) {
  // The record goes to a file beside the slot first: a write that fails leaves the slot as it was.
  const char* temp = SaveSlotTempPath(slot);
  std::FILE* f = std::fopen(temp, "wb");
  if (f == nullptr) return -1;
  const SaveRecordBytes bytes = EncodeSaveRecord(profile);
  const size_t put = std::fwrite(bytes.data(), 1, bytes.size(), f);
  // Some runtimes' fclose report success after their own final flush failed (a full disk):
  // the flush is made, and its error looked for, here.
  const bool flushed = std::fflush(f) == 0 && std::ferror(f) == 0;
  const bool closed = std::fclose(f) == 0;
  if (put != bytes.size() || !flushed || !closed || ReplaceFileWith(temp, SaveSlotPath(slot)) != 0) {
    std::remove(temp);
    return -1;
  }
  return 0;
}

}  // namespace quelt::game
