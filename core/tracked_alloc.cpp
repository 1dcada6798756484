#include "core/tracked_alloc.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/log.h"
#include "core/platform.h"

namespace quelt {

TrackedAllocState TrackedAllocator = {nullptr, 0, 0, 0, 0, 0, 0, 0};
TrackedBlockHeader TrackedListEnd = {};

namespace {

// The engine's own threads (a movie's decode thread) allocate beside the main thread: the
// list, the totals and the serial counter change under one lock. It is recursive because a
// trace writes the log, and a long log line allocates.
std::recursive_mutex& ListLock() {
  static std::recursive_mutex lock;
  return lock;
}
using ListGuard = std::lock_guard<std::recursive_mutex>;

constexpr int32_t kHeaderSize = static_cast<int32_t>(sizeof(TrackedBlockHeader));
constexpr size_t kGuardedBytes = sizeof(TrackedBlockHeader::guard);
constexpr int32_t kMaxBlockSize = INT32_MAX - kHeaderSize;

void RefreshGuard(TrackedBlockHeader* header) {
  if (header) std::memcpy(header->guard, header, kGuardedBytes);
}

void SetNameAndLine(TrackedBlockHeader* header, const char* file, int32_t line) {
  std::memset(header->name, 0, sizeof header->name);
  if (file) {
    size_t length = std::strlen(file);
    const size_t keep = sizeof header->name - 1;
    std::memcpy(header->name, length >= keep ? file + (length - keep) : file, length >= keep ? keep : length);
  }
  header->line = static_cast<uint16_t>(line);
}

// The running sums wrap rather than overflow (they cannot exceed the address space anyway).
void AddToTotal(int32_t bytes) {
  TrackedAllocator.totalBytes =
      static_cast<int32_t>(static_cast<uint32_t>(TrackedAllocator.totalBytes) + static_cast<uint32_t>(bytes));
}

bool Traced(int32_t size) {
  return TrackedAllocator.sizeFilter < 0 || size == TrackedAllocator.sizeFilter || TrackedAllocator.traceAll == 1;
}

void Trace(const char* what, const TrackedBlockHeader* header) {
  if (!Traced(header->size)) return;
  WriteLog(what);
  DumpTrackedBlock(header);
}

}  // namespace

void* TrackedAlloc(int32_t size, const char* file, int32_t line) {
  if (size < 0 || size > kMaxBlockSize) return nullptr;
  auto* header = static_cast<TrackedBlockHeader*>(PlatformHeapAlloc(static_cast<size_t>(size) + kHeaderSize));
  if (!header) {
    DumpAllTrackedBlocks();
    CheckTrackedBlocks();
    return nullptr;
  }
  const ListGuard guard(ListLock());
  header->size = size;
  SetNameAndLine(header, file, line);
  header->id = TrackedAllocator.nextId++;

  if (!TrackedAllocator.head) TrackedAllocator.head = &TrackedListEnd;
  TrackedBlockHeader* oldHead = TrackedAllocator.head;
  oldHead->prev = header;
  header->next = oldHead;
  header->prev = nullptr;
  TrackedAllocator.head = header;
  RefreshGuard(header);
  RefreshGuard(oldHead);

  AddToTotal(size);
  ++TrackedAllocator.blockCount;
  Trace("mem alloc  ", header);
  if (TrackedAllocator.totals == 1) LogAllocTotals();
  if (TrackedAllocator.check == 1) CheckTrackedBlocks();
  return TrackedDataOf(header);
}

void* TrackedCalloc(int32_t size, const char* file, int32_t line) {
  void* block = TrackedAlloc(size, file, line);
  if (block) std::memset(block, 0, static_cast<size_t>(size));
  return block;
}

int TrackedFree(void* block) {
  if (!block) return 0;
  const ListGuard guard(ListLock());
  TrackedBlockHeader* header = TrackedHeaderOf(block);
  AddToTotal(-header->size);
  --TrackedAllocator.blockCount;
  if (TrackedAllocator.check == 1) CheckTrackedBlocks();

  TrackedBlockHeader* next = header->next;
  TrackedBlockHeader* prev = header->prev;
  if (next) next->prev = prev;
  if (prev) prev->next = next;
  if (TrackedAllocator.head == header) TrackedAllocator.head = next;
  RefreshGuard(next);
  RefreshGuard(prev);

  Trace("mem free  ", header);
  if (TrackedAllocator.totals == 1) LogAllocTotals();
  return PlatformHeapFree(header);
}

void* TrackedRealloc(void* block, int32_t size, const char* file, int32_t line) {
  if (!block) return TrackedAlloc(size, file, line);
  if (size < 0 || size > kMaxBlockSize) return nullptr;
  // The neighbours point at the block until it is relinked: nobody walks the list meanwhile.
  const ListGuard guard(ListLock());
  TrackedBlockHeader* old = TrackedHeaderOf(block);
  const int32_t oldSize = old->size;
  const bool wasHead = TrackedAllocator.head == old;
  auto* header = static_cast<TrackedBlockHeader*>(PlatformHeapReAllocZero(
      old, static_cast<size_t>(oldSize) + kHeaderSize, static_cast<size_t>(size) + kHeaderSize));
  if (!header) {
    DumpAllTrackedBlocks();
    return nullptr;
  }
  SetNameAndLine(header, file, line);
  header->id = TrackedAllocator.nextId++;
  if (header->next) header->next->prev = header;
  if (header->prev) header->prev->next = header;
  if (wasHead) TrackedAllocator.head = header;
  AddToTotal(size - oldSize);
  header->size = size;
  RefreshGuard(header);
  RefreshGuard(header->next);
  RefreshGuard(header->prev);

  Trace("mem realloc  ", header);
  if (TrackedAllocator.totals == 1) LogAllocTotals();
  if (TrackedAllocator.check == 1) CheckTrackedBlocks();
  return TrackedDataOf(header);
}

int CheckTrackedBlocks() {
  const ListGuard guard(ListLock());
  if (!TrackedAllocator.head) return 0;
  for (TrackedBlockHeader* header = TrackedAllocator.head; header && header != &TrackedListEnd;
       header = header->next) {
    if (std::memcmp(header, header->guard, kGuardedBytes) != 0) {
      WriteLog("以下のメモリ確保情報が破損しました");
      DumpTrackedBlock(header);
      return -1;
    }
  }
  return 0;
}

void DumpTrackedBlock(const TrackedBlockHeader* header) {
  // 16 bytes shown: the fixed text stays far below the buffer size.
  char line[320];
  const auto* data = reinterpret_cast<const unsigned char*>(header + 1);
  int shown = header->size < 16 ? header->size : 16;
  if (shown < 0) shown = 0;
  char name[sizeof header->name];
  std::memcpy(name, header->name, sizeof name);
  name[sizeof name - 1] = 0;
  int length = std::snprintf(line, sizeof line, "\tsize:%d(%.3fkb)  file:%s  line:%d  ID:%d  addr:%08x  data:<",
                             header->size, header->size / 1024.0, name, header->line, header->id,
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
  for (int i = 0; i < shown; ++i) line[length++] = (data[i] >= 0x20 && data[i] <= 0x7F) ? static_cast<char>(data[i]) : '.';
  std::memcpy(line + length, "> [", 3);
  length += 3;
  for (int i = 0; i < shown; ++i) length += std::snprintf(line + length, sizeof line - length, "%02x ", data[i]);
  line[length - 1] = ']';
  line[length++] = '\n';
  line[length] = 0;
  WriteLog(line);
}

void DumpAllTrackedBlocks() {
  const ListGuard guard(ListLock());
  WriteLog("\n");
  WriteLog("Alloc memory dump\n");
  if (TrackedAllocator.head) {
    for (TrackedBlockHeader* header = TrackedAllocator.head; header && header != &TrackedListEnd;
         header = header->next) {
      DumpTrackedBlock(header);
    }
  }
  LogAllocTotals();
  WriteLog("\n");
}

void LogAllocTotals() {
  const ListGuard guard(ListLock());
  WriteLogFormat("\tTotal size:%d(%.3fkb)  Alloc num:%d", TrackedAllocator.totalBytes,
                 TrackedAllocator.totalBytes / 1024.0, TrackedAllocator.blockCount);
}

}  // namespace quelt
