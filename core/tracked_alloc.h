#pragma once
// The tracked allocator: a 64-byte header before every engine block (source file, line,
// serial number, size), all live blocks kept in a list, dumped to the log at shutdown.
// Every operation may be called from any of the engine's threads (movie decode threads
// allocate their frame stock).
#include <cstdint>

namespace quelt {

// Callers pass the source file name of the calling code and the line (null and -1 when
// there is none). A negative size, or one whose header would overflow, returns null.
void* TrackedAlloc(int32_t size, const char* file, int32_t line);
void* TrackedCalloc(int32_t size, const char* file, int32_t line);
void* TrackedRealloc(void* block, int32_t size, const char* file, int32_t line);
int TrackedFree(void* block);

// The header in front of every tracked block; the caller's bytes follow it.
struct TrackedBlockHeader {
  char name[16];              // last 15 characters of the source file name, zero-terminated
  uint16_t id;                // serial number, wraps from 65535 to 0
  uint16_t line;              // source line (-1 stores 65535)
  int32_t size;               // the caller's requested size
  TrackedBlockHeader* next;   // the next older block, or the end sentinel
  TrackedBlockHeader* prev;   // the next newer block; null for the list head
  uint8_t guard[16 + 2 + 2 + 4 + 2 * sizeof(void*)];  // copy of the fields above
};
// Dumps and stored pointers rely on this layout in the 32-bit builds.
static_assert(sizeof(void*) != 4 || sizeof(TrackedBlockHeader) == 64);

inline TrackedBlockHeader* TrackedHeaderOf(void* block) {
  return static_cast<TrackedBlockHeader*>(block) - 1;
}
inline void* TrackedDataOf(TrackedBlockHeader* header) { return header + 1; }

// Allocator state. The four switches are 0 unless a program sets them before start-up.
struct TrackedAllocState {
  TrackedBlockHeader* head;   // newest block; null until the first allocation
  uint16_t nextId;
  int32_t totalBytes;         // sum of the live blocks' sizes
  int32_t blockCount;
  int32_t traceAll;           // 1 logs every allocation, reallocation and release
  int32_t totals;             // 1 logs the totals line after each of them
  int32_t check;              // 1 checks every header on each of them
  int32_t sizeFilter;         // traces blocks of this size; negative traces all
};
extern TrackedAllocState TrackedAllocator;
// The end sentinel: a static header whose prev is the oldest block.
extern TrackedBlockHeader TrackedListEnd;

// 0, or -1 (with a log line and a dump of it) at the first header that differs from its guard.
int CheckTrackedBlocks();
// One log line: size, name, line, ID, address and the first 16 data bytes.
void DumpTrackedBlock(const TrackedBlockHeader* header);
// "Alloc memory dump": every live block from the newest, then the totals line.
void DumpAllTrackedBlocks();

}  // namespace quelt
