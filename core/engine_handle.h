#pragma once
// Engine handles: the 32-bit names of everything a program creates through the engine,
// and the one fixed-size handle table that every owning subsystem instantiates.
//
//   bits  0-15  slot index in the kind's table
//   bits 16-26  check id (0..2047), catches handles of deleted records
//   bits 27-30  HandleKind
//   bit  31     always 0: a valid handle is never negative
#include <array>
#include <cstdint>

#include "core/tracked_alloc.h"

namespace quelt {

using EngineHandle = int32_t;

inline constexpr EngineHandle NoHandle = -1;

enum class HandleKind : int32_t {
  Graph = 1,
  Sound = 2,
  Movie = 3,
  Font = 4,
  ModelMesh = 5,  // no check id: see the 3-D model tables
  Model = 6,
  Mask = 8,
  NetWork = 9,
  TextInput = 10,
  Music = 11,
  Light = 12,
  ScratchImage = 14,
};

inline constexpr int32_t MaxCheckId = 0x7FF;

constexpr EngineHandle MakeEngineHandle(int32_t slot, int32_t check_id, HandleKind kind) {
  return slot | ((check_id | (static_cast<int32_t>(kind) << 11)) << 16);
}
constexpr int32_t HandleSlot(EngineHandle handle) { return handle & 0xFFFF; }
constexpr int32_t HandleCheckId(EngineHandle handle) { return (handle & 0x7FF0000) >> 16; }
constexpr bool HandleHasKind(EngineHandle handle, HandleKind kind) {
  return handle >= 0 && (handle & 0x78000000) == (static_cast<int32_t>(kind) << 27);
}
constexpr int32_t NextCheckId(int32_t check_id) { return check_id >= MaxCheckId ? 0 : check_id + 1; }

static_assert(MakeEngineHandle(5, 3, HandleKind::Graph) == 0x08030005);

// How a kind picks the slot of a new record.
enum class SlotChoice {
  HighWater,   // one past the highest slot handed out, until that reaches the capacity
  FirstEmpty,  // always the lowest free slot
};

enum class HandleAllocFailure { None, TableFull, OutOfMemory, SlotTaken };

template <typename Record>
struct HandleAlloc {
  EngineHandle handle = NoHandle;
  Record* record = nullptr;
  HandleAllocFailure failure = HandleAllocFailure::None;
};

// A table of pointers to zero-filled tracked records. `Record` keeps its check id in the
// member named by CheckIdField; OwnHandleField (when given) receives the record's handle.
// High-water tables pull the high-water index back past trailing empty slots on delete.
template <typename Record, int32_t Capacity, HandleKind Kind, SlotChoice Choice,
          int32_t Record::*CheckIdField, EngineHandle Record::*OwnHandleField = nullptr>
struct HandleTable {
  static_assert(Capacity > 0 && Capacity <= 0x10000);
  static constexpr int32_t capacity = Capacity;
  static constexpr HandleKind kind = Kind;

  std::array<Record*, Capacity> records{};
  int32_t count = 0;
  int32_t highWater = 0;
  int32_t nextCheckId = 0;

  bool IsFull() const { return count >= Capacity; }

  // A new zeroed record under a new handle. The kind's own reaction to a full table or a
  // failed allocation (a log line, a fatal exit) is the caller's.
  HandleAlloc<Record> Allocate(const char* file, int32_t line) {
    if (IsFull()) return {NoHandle, nullptr, HandleAllocFailure::TableFull};
    const int32_t slot = ChooseSlot();
    if (slot < 0) return {NoHandle, nullptr, HandleAllocFailure::TableFull};
    auto* record = static_cast<Record*>(TrackedCalloc(sizeof(Record), file, line));
    if (record == nullptr) return {NoHandle, nullptr, HandleAllocFailure::OutOfMemory};
    const int32_t check_id = nextCheckId;
    nextCheckId = NextCheckId(nextCheckId);
    return Install(slot, check_id, record);
  }

  // Rebuilds a record under a handle the program already holds (same slot, same check id);
  // the check-id counter does not move. The slot must be free.
  HandleAlloc<Record> AllocateAt(EngineHandle handle, const char* file, int32_t line) {
    if (!HandleHasKind(handle, Kind) || HandleSlot(handle) >= Capacity)
      return {NoHandle, nullptr, HandleAllocFailure::SlotTaken};
    const int32_t slot = HandleSlot(handle);
    if (records[slot] != nullptr) return {NoHandle, nullptr, HandleAllocFailure::SlotTaken};
    auto* record = static_cast<Record*>(TrackedCalloc(sizeof(Record), file, line));
    if (record == nullptr) return {NoHandle, nullptr, HandleAllocFailure::OutOfMemory};
    return Install(slot, HandleCheckId(handle), record);
  }

  // The record of a valid handle, else null. Logs nothing.
  Record* Find(EngineHandle handle) const {
    if (!HandleHasKind(handle, Kind)) return nullptr;
    const int32_t slot = HandleSlot(handle);
    if (slot >= Capacity) return nullptr;
    Record* record = records[slot];
    if (record == nullptr) return nullptr;
    if ((record->*CheckIdField << 16) != (handle & 0x7FF0000)) return nullptr;
    return record;
  }

  // The handle of the record in a slot, NoHandle when the slot is empty or out of range.
  EngineHandle HandleOfSlot(int32_t slot) const {
    if (slot < 0 || slot >= Capacity || records[slot] == nullptr) return NoHandle;
    return MakeEngineHandle(slot, records[slot]->*CheckIdField, Kind);
  }

  // Frees the record of a valid handle (the owner has released what it holds) and empties
  // the slot: 0, or -1 for an invalid handle.
  int Release(EngineHandle handle) {
    Record* record = Find(handle);
    if (record == nullptr) return -1;
    const int32_t slot = HandleSlot(handle);
    TrackedFree(record);
    records[slot] = nullptr;
    --count;
    if constexpr (Choice == SlotChoice::HighWater) {
      while (highWater > 0 && records[highWater - 1] == nullptr) --highWater;
    }
    return 0;
  }

  // Calls fn(handle) for every live record in slot order; fn may release that handle.
  template <typename Fn>
  void ForEachLive(Fn&& fn) {
    const int32_t end = Choice == SlotChoice::HighWater ? highWater : Capacity;
    for (int32_t slot = 0; slot < end && slot < Capacity; ++slot) {
      const EngineHandle handle = HandleOfSlot(slot);
      if (handle != NoHandle) fn(handle);
    }
  }

  // Back to the state of a subsystem that has just started.
  void Reset() {
    records.fill(nullptr);
    count = 0;
    highWater = 0;
    nextCheckId = 0;
  }

 private:
  int32_t ChooseSlot() const {
    if (Choice == SlotChoice::HighWater && highWater < Capacity) return highWater;
    for (int32_t slot = 0; slot < Capacity; ++slot) {
      if (records[slot] == nullptr) return slot;
    }
    return -1;
  }

  HandleAlloc<Record> Install(int32_t slot, int32_t check_id, Record* record) {
    record->*CheckIdField = check_id;
    const EngineHandle handle = MakeEngineHandle(slot, check_id, Kind);
    if constexpr (OwnHandleField != nullptr) record->*OwnHandleField = handle;
    records[slot] = record;
    ++count;
    if (Choice == SlotChoice::HighWater && slot >= highWater) highWater = slot + 1;
    return {handle, record, HandleAllocFailure::None};
  }
};

// A table whose records live inside it, each with an in-use flag and a check id. No kind of
// handle is kept in one yet (masks and text inputs have tables of their own); its test holds
// it to the same validity rule as HandleTable.
template <typename Record, int32_t Capacity, HandleKind Kind, int32_t Record::*InUseField,
          int32_t Record::*CheckIdField>
struct InlineHandleTable {
  static constexpr int32_t capacity = Capacity;
  static constexpr HandleKind kind = Kind;

  std::array<Record, Capacity> records{};
  int32_t count = 0;
  int32_t nextCheckId = 0;

  // The first free entry, marked in use with the next check id; NoHandle when full.
  EngineHandle Allocate() {
    if (count >= Capacity) return NoHandle;
    for (int32_t slot = 0; slot < Capacity; ++slot) {
      Record& record = records[slot];
      if (record.*InUseField != 0) continue;
      record = Record{};
      record.*InUseField = 1;
      record.*CheckIdField = nextCheckId;
      nextCheckId = NextCheckId(nextCheckId);
      ++count;
      return MakeEngineHandle(slot, record.*CheckIdField, Kind);
    }
    return NoHandle;
  }

  Record* Find(EngineHandle handle) {
    if (!HandleHasKind(handle, Kind)) return nullptr;
    const int32_t slot = HandleSlot(handle);
    if (slot >= Capacity) return nullptr;
    Record& record = records[slot];
    if (record.*InUseField == 0) return nullptr;
    if ((record.*CheckIdField << 16) != (handle & 0x7FF0000)) return nullptr;
    return &record;
  }

  int Release(EngineHandle handle) {
    Record* record = Find(handle);
    if (record == nullptr) return -1;
    record->*InUseField = 0;
    --count;
    return 0;
  }

  void Reset() {
    records.fill(Record{});
    count = 0;
    nextCheckId = 0;
  }
};

}  // namespace quelt
