#include "network/http_slots.h"

#include <cstring>

#include "core/log.h"
#include "core/numbers.h"
#include "core/sjis_string.h"
#include "core/tracked_alloc.h"
#include "network/network_state.h"

namespace quelt {

HttpSlotTableState HttpSlotTable;

void ZeroHttpSlotTable() { std::memset(&HttpSlotTable, 0, sizeof HttpSlotTable); }

namespace {

constexpr int32_t BodyBufferSize = 4096;
constexpr int32_t LinePeekSize = 255;
uint8_t GetBodyBuffer[BodyBufferSize];
uint8_t PostBodyBuffer[BodyBufferSize];

// The longest request text: the POST form with a 255-byte path, a 127-byte host and two
// numbers of 11 characters; the slot's text buffer holds it with room to spare.
static_assert(sizeof "POST  HTTP/1.0\nHost: :\nContent-Length: \n\n" + 255 + 127 + 11 + 11 <=
              sizeof HttpSlot::request);

HttpSlot* SlotAt(int32_t slot) {
  if (slot < 0 || slot >= HttpSlotCapacity) return nullptr;
  return HttpSlotTable.slots[slot];
}

// A handle refused with -1 (closed or failed) counts as gone, like one that answers 0.
bool ConnectionAlive(EngineHandle handle) {
  return GetNetWorkAcceptState(handle) > 0 || GetNetWorkDataLength(handle) > 0;
}

enum class LineRead { None, Line, Overlong };

// A line, nothing yet, or 255 bytes that hold no line end (left unconsumed).
LineRead ReadLine(EngineHandle handle, char* line) {
  char peeked[LinePeekSize + 1] = {};
  const int got = NetWorkRecvToPeek(handle, peeked, LinePeekSize);
  if (got <= 0) return LineRead::None;
  peeked[got < LinePeekSize ? got : LinePeekSize] = '\0';
  char* end = FindByteSjis(peeked, '\n');
  if (end == nullptr) return got >= LinePeekSize ? LineRead::Overlong : LineRead::None;
  *end = '\0';
  CopyString(line, peeked);
  const int32_t length = static_cast<int32_t>(end - peeked);
  NetWorkRecv(handle, peeked, length + 1);
  return LineRead::Line;
}

// A header line to handle: an over-long one is thrown away up to its line end, a piece
// per step, so it can neither stall the transfer nor be taken for a header.
bool ReadHeaderLine(HttpSlot* http, char* line) {
  const LineRead read = ReadLine(http->netWorkHandle, line);
  if (read == LineRead::None) return false;
  if (read == LineRead::Overlong) {
    char discard[LinePeekSize];
    if (NetWorkRecv(http->netWorkHandle, discard, LinePeekSize) > 0) http->skippingLine = 1;
    return false;
  }
  if (http->skippingLine != 0) {
    http->skippingLine = 0;
    return false;
  }
  return true;
}

bool IsContentLengthLine(const char* line) {
  return BytesDiffer(line, "Content-Length:", 15) == 0;
}

void FormatRequest(HttpSlot* http) {
  switch (http->kind) {
    case HttpGet:
      FormatToBuffer(http->request, sizeof http->request,
                     "GET %s HTTP/1.0\r\nHost: %s:%d\r\nConnection: close\r\n\r\n", http->path,
                     http->host, http->port);
      break;
    case HttpPost:
      FormatToBuffer(http->request, sizeof http->request,
                     "POST %s HTTP/1.0\nHost: %s:%d\nContent-Length: %d\n\n", http->path,
                     http->host, http->port, http->postBodyLength);
      break;
    default:
      FormatToBuffer(http->request, sizeof http->request, "HEAD %s HTTP/1.0\n\n", http->path);
      break;
  }
  http->requestLength = static_cast<int32_t>(std::strlen(http->request));
}

// Offers the unsent rest of `data`; true once all of it has been taken.
bool SendRest(EngineHandle handle, const char* data, int32_t length, int32_t* sent) {
  while (*sent < length) {
    const int taken = NetWorkSend(handle, data + *sent, length - *sent);
    if (taken <= 0) return false;
    *sent += taken;
  }
  return true;
}

// Step 0: true once the request (and a POST body) is out.
bool SendRequest(HttpSlot* http) {
  if (http->requestLength == 0) FormatRequest(http);
  if (!SendRest(http->netWorkHandle, http->request, http->requestLength, &http->requestSent))
    return false;
  if (http->kind == HttpPost && http->postBody != nullptr &&
      !SendRest(http->netWorkHandle, static_cast<const char*>(http->postBody), http->postBodyLength,
                &http->postBodySent))
    return false;
  return true;
}

// Step 1: true when the status is 200; the slot has ended when it is another status or
// the status line is longer than a line can be.
bool ReadStatus(int32_t slot, HttpSlot* http, bool logs) {
  char line[LinePeekSize + 1];
  const LineRead read = ReadLine(http->netWorkHandle, line);
  if (read == LineRead::None) return false;
  if (read == LineRead::Overlong) {
    ResetHttpSlot(slot, 2, 0);
    return false;
  }
  const int status = ParseHttpStatus(line);
  if (status != 200) {
    if (logs) WriteLogFormat("接続に失敗しました (戻り値:%d)", status);
    ResetHttpSlot(slot, 2, status == 404 ? 1 : 0);
    return false;
  }
  return true;
}

// Step 2 of GET and POST, one header per call: true when the headers have ended.
bool ReadHeader(int32_t slot, HttpSlot* http) {
  char line[LinePeekSize + 1];
  if (!ReadHeaderLine(http, line)) return false;
  if (FindByteSjis(line, ':') == nullptr) return true;
  if (!IsContentLengthLine(line)) return false;
  http->contentLength = ParseHttpStatus(line);
  if (http->bodyDestination == 1 && http->bodyPointerLocation != nullptr) {
    TrackedFree(*http->bodyPointerLocation);  // a repeated header replaces the block
    *http->bodyPointerLocation = TrackedAlloc(http->contentLength, "", 0);
    if (*http->bodyPointerLocation == nullptr) ResetHttpSlot(slot, 2, 2);
  }
  return false;
}

// Step 3: true when the body is complete.
bool ReadBody(HttpSlot* http, uint8_t* buffer, bool loops) {
  const EngineHandle handle = http->netWorkHandle;
  for (;;) {
    int got = 0;
    if (http->bodyDestination == 0) {
      got = NetWorkRecv(handle, buffer, BodyBufferSize);
      if (got < 0) return false;
      WriteHttpBodyFile(http->outputFile, buffer, got);
    } else {
      // Without a length there is no block to read into. The bytes are dropped all the
      // same: WinSock reports the close only once nothing is left unread, and the slot
      // ends through that.
      if (http->contentLength < 0 || http->bodyPointerLocation == nullptr ||
          *http->bodyPointerLocation == nullptr) {
        NetWorkRecv(handle, buffer, BodyBufferSize);
        return false;
      }
      auto* block = static_cast<uint8_t*>(*http->bodyPointerLocation);
      got = NetWorkRecv(handle, block + http->bytesReceived, http->contentLength - http->bytesReceived);
      if (got < 0) return false;
    }
    http->bytesReceived += got;
    const bool complete = http->contentLength != -1 ? http->bytesReceived >= http->contentLength
                                                    : !ConnectionAlive(handle);
    if (complete) return true;
    if (got == 0 || (!loops && http->contentLength == -1)) return false;
  }
}

int StepTransfer(int32_t slot, bool post) {
  HttpSlot* http = SlotAt(slot);
  if (http == nullptr) return -1;
  if (http->step == 0) {
    if (!SendRequest(http)) return 0;
    http->step = 1;
  }
  if (http->step == 1) {
    if (!ReadStatus(slot, http, !post)) return 0;
    http->step = 2;
  }
  if (http->step == 2) {
    if (!ReadHeader(slot, http)) return 0;
    http->step = 3;
  }
  if (http->step == 3) {
    if (!ReadBody(http, post ? PostBodyBuffer : GetBodyBuffer, !post)) return 0;
    http->step = 4;
  }
  if (http->step == 4) ResetHttpSlot(slot, 0, -1);
  return 0;
}

// Visits used slots from slot 0 until `count` of them have been seen.
template <typename Fn>
void ForEachUsedSlot(int32_t count, Fn&& fn) {
  for (int32_t slot = 0, seen = 0; slot < HttpSlotCapacity && seen < count; ++slot) {
    if (HttpSlotTable.slots[slot] == nullptr) continue;
    ++seen;
    fn(slot);
  }
}

int StepByKind(int32_t slot, const HttpSlot* http) {
  switch (http->kind) {
    case HttpGet: return StepHttpGet(slot);
    case HttpPost: return StepHttpPost(slot);
    case HttpHead: return StepHttpHead(slot);
    default: return 0;
  }
}

}  // namespace

int ReadHttpLine(EngineHandle handle, char* line) {
  return ReadLine(handle, line) == LineRead::Line ? 0 : -1;
}

int ParseHttpStatus(const char* line) {
  const char* blank = FindByteSjis(line, ' ');
  if (blank == nullptr) return -1;
  return ParseInt(blank);
}

int StepHttpGet(int32_t slot) { return StepTransfer(slot, false); }
int StepHttpPost(int32_t slot) { return StepTransfer(slot, true); }

int StepHttpHead(int32_t slot) {
  HttpSlot* http = SlotAt(slot);
  if (http == nullptr) return -1;
  if (http->step == 0) {
    if (!SendRequest(http)) return 0;
    http->step = 1;
  }
  if (http->step == 1) {
    if (!ReadStatus(slot, http, false)) return 0;
    http->step = 2;
  }
  if (http->step == 2) {
    char line[LinePeekSize + 1];
    if (!ReadHeaderLine(http, line) || !IsContentLengthLine(line)) return 0;
    http->contentLength = ParseHttpStatus(line);
    ResetHttpSlot(slot, 0, -1);
  }
  return 0;
}

int StepHttpSlot(int32_t slot) {
  HttpSlot* http = SlotAt(slot);
  if (http == nullptr) return -1;
  if (http->result != -1) return 0;
  if (ConnectionAlive(http->netWorkHandle)) return StepByKind(slot, http);
  // A body written to a file whose length was never given ends with the connection: the
  // last bytes are read and the transfer is complete, not lost.
  if (http->step == 3 && http->contentLength == -1 && http->bodyDestination == 0)
    StepByKind(slot, http);
  if (http->result == -1) ResetHttpSlot(slot, 2, 3);
  return 0;
}

int StepAllHttpSlots() {
  if (HttpSlotTable.count == 0) return 0;
  ForEachUsedSlot(HttpSlotTable.count, [](int32_t slot) { StepHttpSlot(slot); });
  return 0;
}

int ResetHttpSlot(int32_t slot, int32_t result, int32_t detail) {
  HttpSlot* http = SlotAt(slot);
  if (http == nullptr) return -1;
  if (http->netWorkHandle != NoHandle) {
    CloseNetWork(http->netWorkHandle);
    http->netWorkHandle = NoHandle;
  }
  TrackedFree(http->postBody);
  http->postBody = nullptr;
  CloseHttpBodyFile(http->outputFile);
  http->outputFile = nullptr;
  if (http->result == -1) http->result = result;
  if (http->detail == -1) http->detail = detail;
  if (http->bodyPointerLocation != nullptr && http->result != 0) {
    TrackedFree(*http->bodyPointerLocation);
    *http->bodyPointerLocation = nullptr;
  }
  // The transfer is over: the caller's variable may go out of scope now, so a later reset
  // (deleting the slot) must not reach it again.
  http->bodyPointerLocation = nullptr;
  return 0;
}

int DeleteHttpSlot(int32_t slot) {
  HttpSlot* http = SlotAt(slot);
  if (http == nullptr) return -1;
  ResetHttpSlot(slot, 0, -1);
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
