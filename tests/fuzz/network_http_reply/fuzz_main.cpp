// The HTTP reply reader over arbitrary bytes: one slot (GET, POST or HEAD, to a file or to
// memory) stepped the way the pump does while the reply arrives in pieces of every size and
// the server then closes. The slot must end, and a finished body must hold exactly
// Content-Length bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/tracked_alloc.h"
#include "network/http_slots.h"
#include "network/network_state.h"

namespace quelt {

namespace {

struct FakeServer {
  const uint8_t* reply;
  size_t size;
  size_t delivered;
  size_t consumed;
  uint32_t random;
  bool connected;
};
FakeServer Server;
std::string BodyFile;
std::string KeptFile;
bool FileOpen;

uint32_t Next() {
  Server.random = Server.random * 1103515245u + 12345u;
  return Server.random >> 8;
}

int Take(void* buffer, int32_t length, bool consume) {
  const size_t ready = Server.delivered - Server.consumed;
  if (ready == 0) return Server.delivered == Server.size ? 0 : -1;
  const size_t count = static_cast<size_t>(length) < ready ? static_cast<size_t>(length) : ready;
  std::memcpy(buffer, Server.reply + Server.consumed, count);
  if (consume) Server.consumed += count;
  return static_cast<int>(count);
}

}  // namespace

// The raw connection the slot talks through, over the reply bytes.
EngineHandle ConnectNetWork(uint32_t, uint16_t, int32_t) {
  const HandleAlloc<NetWorkRecord> made =
      NetWorkTable.AllocateAt(MakeEngineHandle(0, 0, HandleKind::NetWork), "", 0);
  if (made.record == nullptr) return NoHandle;
  made.record->inUse = 1;
  Server.connected = true;
  return made.handle;
}
int CloseNetWork(EngineHandle handle) {
  Server.connected = false;
  return NetWorkTable.Release(handle);
}
int NetWorkRecv(EngineHandle, void* buffer, int32_t length) {
  if (length < 0) return -1;
  return length == 0 ? 0 : Take(buffer, length, true);
}
int NetWorkRecvToPeek(EngineHandle, void* buffer, int32_t length) { return Take(buffer, length, false); }
int NetWorkSend(EngineHandle, const void*, int32_t length) {
  if (length <= 0) return length;
  const int32_t taken = static_cast<int32_t>(Next() % static_cast<uint32_t>(length)) + 1;
  return (Next() & 3) == 0 ? -1 : taken;
}
// WinSock reports the close only once nothing is left unread.
int GetNetWorkAcceptState(EngineHandle) {
  return Server.delivered == Server.size && Server.consumed == Server.size ? 0 : 1;
}
int GetNetWorkDataLength(EngineHandle) { return Server.delivered > Server.consumed ? 1 : 0; }
int32_t StartHostLookup(const char*) { return -1; }
int PollHostLookup(int32_t, uint32_t*) { return -1; }
void EndHostLookup(int32_t) {}
void* CreateHttpBodyFile(const char*, char* partPath, int32_t) {
  partPath[0] = '\0';
  BodyFile.clear();
  FileOpen = true;
  return &BodyFile;
}
bool WriteHttpBodyFile(void* file, const void* data, int32_t length) {
  if (file != &BodyFile || !FileOpen || length < 0) __builtin_trap();
  BodyFile.append(static_cast<const char*>(data), static_cast<size_t>(length));
  return true;
}
bool CloseHttpBodyFile(void* file, const char*, const char*, int32_t keep) {
  if (file == nullptr) return true;
  FileOpen = false;
  if (keep != 0) KeptFile = BodyFile;
  return true;
}

}  // namespace quelt

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quelt;
  if (size < 3) return 0;
  const int32_t kind = data[0] % 3;
  const bool to_memory = (data[0] & 4) != 0;
  Server = FakeServer{data + 3, size - 3, 0, 0, data[1] | static_cast<uint32_t>(data[2]) << 8, false};
  KeptFile = "(none)";
  ZeroHttpSlotTable();
  NetWorkTable.Reset();
  void* block = nullptr;
  const int32_t slot = CreateHttpSlot(kind, "http://127.0.0.1:80/f", to_memory ? nullptr : "f.bin",
                                      to_memory ? &block : nullptr, "post", 4);
  if (slot != 0) __builtin_trap();
  HttpSlot* http = HttpSlotTable.slots[0];
  // Every step after the last byte counts toward the end: a slot must be over by then.
  for (int step = 0; http->result == -1; ++step) {
    if (step > static_cast<int>(size) * 2 + 1000) __builtin_trap();
    const size_t piece = (Next() & 15) == 0 ? Next() % 5000 : Next() % 24;
    Server.delivered = Server.delivered + piece < Server.size ? Server.delivered + piece : Server.size;
    StepAllHttpSlots();
  }
  if (http->netWorkHandle != NoHandle || Server.connected) __builtin_trap();
  if (http->result == 0 && kind != HttpHead && http->contentLength >= 0) {
    if (http->bytesReceived != http->contentLength) __builtin_trap();
    if (!to_memory && KeptFile.size() != static_cast<size_t>(http->contentLength)) __builtin_trap();
    if (to_memory && (block == nullptr || TrackedHeaderOf(block)->size != http->contentLength)) __builtin_trap();
  }
  if (http->result != 0 && !to_memory && KeptFile != "(none)") __builtin_trap();
  if (http->result != 0 && block != nullptr) __builtin_trap();
  TrackedFree(block);
  DeleteAllHttpSlots();
  return 0;
}
