#pragma once
// The HTTP client's slot table: up to 100 transfers stepped once per frame by the pump.
#include <array>
#include <cstdint>

#include "core/engine_handle.h"

namespace quelt {

struct HttpSlot {
  int32_t kind;  // 0 GET, 1 POST, 2 HEAD
  int32_t reserved0;
  int32_t step;  // 0 send request, 1 status line, 2 headers, 3 body, 4 finish
  int32_t reserved1;
  int32_t result;  // -1 running, 0 finished, 2 failed
  int32_t detail;
  EngineHandle netWorkHandle;
  int32_t bodyDestination;  // 0 file, 1 memory block
  void* outputFile;
  void** bodyPointerLocation;
  int32_t contentLength;
  int32_t bytesReceived;
  char reservedText[128];
  char host[128];
  char path[256];
  void* postBody;
  int32_t postBodyLength;
  int32_t reserved2;
  int32_t port;
};

inline constexpr int32_t HttpSlotCapacity = 100;

// The slot pointers, the count of used slots and the work state of the slot steps,
// 668 bytes in all on the 32-bit target.
struct HttpSlotTableState {
  std::array<HttpSlot*, HttpSlotCapacity> slots;
  int32_t count;
  std::array<uint8_t, 264> work;
};
static_assert(sizeof(void*) != 4 || sizeof(HttpSlotTableState) == 668);

extern HttpSlotTableState HttpSlotTable;

// Clears every byte of the table (start-up, right after the window is created).
void ZeroHttpSlotTable();
int StepHttpSlot(int32_t slot);
int StepAllHttpSlots();
int DeleteHttpSlot(int32_t slot);
int DeleteAllHttpSlots();

}  // namespace quelt
