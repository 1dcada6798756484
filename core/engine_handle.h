#pragma once
// Engine handles: the 32-bit names of everything a program creates through the engine, the
// one rule that makes, takes apart and validates them, and the fixed-size tables most owning
// subsystems instantiate (the graph and light tables keep their own layout and use the rule).
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
inline constexpr int32_t HandleSlotMask = 0xFFFF;
inline constexpr int32_t HandleCheckIdShift = 16;
inline constexpr int32_t HandleCheckIdMask = MaxCheckId << HandleCheckIdShift;
inline constexpr int32_t HandleKindShift = 27;
inline constexpr int32_t HandleKindMask = 0xF << HandleKindShift;

// The bits of a handle that name its kind.
constexpr int32_t HandleKindBits(HandleKind kind) { return static_cast<int32_t>(kind) << HandleKindShift; }

constexpr EngineHandle MakeEngineHandle(int32_t slot, int32_t check_id, HandleKind kind) {
  return slot | check_id << HandleCheckIdShift | HandleKindBits(kind);
}
constexpr int32_t HandleSlot(EngineHandle handle) { return handle & HandleSlotMask; }
constexpr int32_t HandleCheckId(EngineHandle handle) { return (handle & HandleCheckIdMask) >> HandleCheckIdShift; }
constexpr bool HandleHasKind(EngineHandle handle, HandleKind kind) {
  return handle >= 0 && (handle & HandleKindMask) == HandleKindBits(kind);
}
// The check id that follows check_id: 0..MaxCheckId, then 0 again.
constexpr int32_t NextCheckId(int32_t check_id) { return check_id >= MaxCheckId ? 0 : check_id + 1; }

// The one validity rule, in two steps: the slot a handle of `kind` names in a table of
// `capacity` slots (-1 for another kind, a negative value or a slot past the table), then
// whether the handle's check id is the one of the record found in that slot.
constexpr int32_t HandleSlotIn(EngineHandle handle, HandleKind kind, int32_t capacity) {
  if (!HandleHasKind(handle, kind)) return -1;
  const int32_t slot = HandleSlot(handle);
  return slot < capacity ? slot : -1;
}
constexpr bool HandleCheckIdIs(EngineHandle handle, int32_t check_id) {
  return (check_id << HandleCheckIdShift) == (handle & HandleCheckIdMask);
}

// Kinds without a check id (the 3-D model tables) use every bit below the kind for the slot,
// up to a power-of-two limit; a handle with any other bit set names nothing.
constexpr EngineHandle MakeBareHandle(int32_t slot, HandleKind kind) { return slot | HandleKindBits(kind); }
constexpr int32_t BareHandleSlot(EngineHandle handle, HandleKind kind, int32_t slot_limit) {
  if (!HandleHasKind(handle, kind)) return -1;
  if ((handle & ~HandleKindMask & ~(slot_limit - 1)) != 0) return -1;
  return handle & (slot_limit - 1);
}

static_assert(MakeEngineHandle(5, 3, HandleKind::Graph) == 0x08030005);
static_assert(HandleKindMask == 0x78000000 && HandleCheckIdMask == 0x7FF0000);
static_assert(HandleSlotIn(0x08030005, HandleKind::Graph, 6) == 5);
static_assert(HandleSlotIn(0x08030005, HandleKind::Graph, 5) == -1);
static_assert(MakeBareHandle(0x1FFFF, HandleKind::ModelMesh) == 0x2801FFFF);
static_assert(BareHandleSlot(0x2801FFFF, HandleKind::ModelMesh, 0x20000) == 0x1FFFF);
static_assert(BareHandleSlot(0x30010000, HandleKind::Model, 0x10000) == -1);

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
    const int32_t slot = HandleSlotIn(handle, Kind, Capacity);
    if (slot < 0 || records[slot] != nullptr) return {NoHandle, nullptr, HandleAllocFailure::SlotTaken};
    auto* record = static_cast<Record*>(TrackedCalloc(sizeof(Record), file, line));
    if (record == nullptr) return {NoHandle, nullptr, HandleAllocFailure::OutOfMemory};
    return Install(slot, HandleCheckId(handle), record);
  }

  // The record of a valid handle, else null. Logs nothing.
  Record* Find(EngineHandle handle) const {
    const int32_t slot = HandleSlotIn(handle, Kind, Capacity);
    if (slot < 0) return nullptr;
    Record* record = records[slot];
    if (record == nullptr || !HandleCheckIdIs(handle, record->*CheckIdField)) return nullptr;
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

// A table whose records live inside it, each with an in-use flag and a check id: masks and
// text inputs. Their records may also be filled in place by their owners, so the table keeps
// no count of its own.
template <typename Record, int32_t Capacity, HandleKind Kind, int32_t Record::*InUseField,
          int32_t Record::*CheckIdField>
struct InlineHandleTable {
  static constexpr int32_t capacity = Capacity;
  static constexpr HandleKind kind = Kind;

  std::array<Record, Capacity> records{};
  int32_t nextCheckId = 0;

  // The first free entry, marked in use with the next check id; NoHandle when full.
  EngineHandle Allocate() {
    for (int32_t slot = 0; slot < Capacity; ++slot) {
      Record& record = records[slot];
      if (record.*InUseField != 0) continue;
      record = Record{};
      record.*InUseField = 1;
      record.*CheckIdField = nextCheckId;
      nextCheckId = NextCheckId(nextCheckId);
      return MakeEngineHandle(slot, record.*CheckIdField, Kind);
    }
    return NoHandle;
  }

  Record* Find(EngineHandle handle) {
    const int32_t slot = HandleSlotIn(handle, Kind, Capacity);
    if (slot < 0) return nullptr;
    Record& record = records[slot];
    if (record.*InUseField == 0 || !HandleCheckIdIs(handle, record.*CheckIdField)) return nullptr;
    return &record;
  }

  // The handle of the entry in a slot, NoHandle when the entry is free or out of range.
  EngineHandle HandleOfSlot(int32_t slot) const {
    if (slot < 0 || slot >= Capacity || records[slot].*InUseField == 0) return NoHandle;
    return MakeEngineHandle(slot, records[slot].*CheckIdField, Kind);
  }

  // Empties the entry of a valid handle (the owner has released what it holds): 0, or -1
  // for an invalid handle.
  int Release(EngineHandle handle) {
    Record* record = Find(handle);
    if (record == nullptr) return -1;
    *record = Record{};
    return 0;
  }

  void Reset() {
    records.fill(Record{});
    nextCheckId = 0;
  }
};

}  // namespace quelt
