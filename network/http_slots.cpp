#include "network/http_slots.h"

#include <cstring>

#include "core/tracked_alloc.h"

namespace quelt {

HttpSlotTableState HttpSlotTable;

void ZeroHttpSlotTable() { std::memset(&HttpSlotTable, 0, sizeof HttpSlotTable); }

// Slots are created by the HTTP request entries of the network layer; until one exists,
// the walks below find nothing to step or delete.

int StepHttpSlot(int32_t slot) {
  if (slot < 0 || slot >= HttpSlotCapacity) return -1;
  HttpSlot* http = HttpSlotTable.slots[slot];
  if (http == nullptr) return -1;
  if (http->result != -1) return 0;
  return 0;
}

namespace {
// Visits used slots from slot 0 until `count` of them have been seen.
template <typename Fn>
void ForEachUsedSlot(int32_t count, Fn&& fn) {
  for (int32_t slot = 0, seen = 0; slot < HttpSlotCapacity && seen < count; ++slot) {
    if (HttpSlotTable.slots[slot] == nullptr) continue;
    ++seen;
    fn(slot);
  }
}
}  // namespace

int StepAllHttpSlots() {
  if (HttpSlotTable.count == 0) return 0;
  ForEachUsedSlot(HttpSlotTable.count, [](int32_t slot) { StepHttpSlot(slot); });
  return 0;
}

int DeleteHttpSlot(int32_t slot) {
  if (slot < 0 || slot >= HttpSlotCapacity) return -1;
  HttpSlot* http = HttpSlotTable.slots[slot];
  if (http == nullptr) return -1;
  TrackedFree(http->postBody);
  TrackedFree(http);
  HttpSlotTable.slots[slot] = nullptr;
  --HttpSlotTable.count;
  return 0;
}

int DeleteAllHttpSlots() {
  const int32_t count = HttpSlotTable.count;
  if (count == 0) return 0;
  ForEachUsedSlot(count, [](int32_t slot) { DeleteHttpSlot(slot); });
  return 0;
}

}  // namespace quelt
