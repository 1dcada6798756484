#include "network/http_slots.h"

#include <algorithm>
#include <cstdint>
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
// A slot moves at most this much of its body (or of its POST body) per step, so a long
// download or upload leaves the frame its time.
constexpr int32_t BodyStepBytes = 1 << 20;
// A memory body's first block, unless the length is shorter; it doubles as bytes come.
constexpr int32_t MemoryBodyFirstBytes = 64 << 10;
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

// Whether a connection that is gone was closed by the server rather than reset or aborted,
// which may cut a body short.
bool ClosedInOrder(EngineHandle handle) {
  const NetWorkRecord* record = NetWorkTable.Find(handle);
  return record != nullptr && record->closeError == 0;
}

enum class LineRead { None, Line, Overlong };

// Where the start of a line waits that came without its end. Taking those bytes out of the
// socket lets a server's close be seen: WinSock reports it only once nothing is unread.
struct PartialLine {
  char* bytes;
  int32_t* length;
};

// A line, nothing yet, or 255 bytes that hold no line end. With a partial line, bytes
// without a line end are taken and kept there, and the bytes of an over-long line are
// taken; without one nothing is consumed but a whole line.
LineRead ReadLine(EngineHandle handle, char* line, PartialLine partial) {
  const int32_t saved = partial.bytes != nullptr ? *partial.length : 0;
  char bytes[LinePeekSize + 1];
  if (saved > 0) std::memcpy(bytes, partial.bytes, static_cast<size_t>(saved));
  const int got = NetWorkRecvToPeek(handle, bytes + saved, LinePeekSize - saved);
  if (got <= 0) return LineRead::None;
  const int32_t count = saved + (got < LinePeekSize - saved ? got : LinePeekSize - saved);
  const int32_t end = FindHttpLineEnd(bytes, count);
  if (end < 0) {
    if (partial.bytes == nullptr) return count >= LinePeekSize ? LineRead::Overlong : LineRead::None;
    NetWorkRecv(handle, bytes + saved, count - saved);
    std::memcpy(partial.bytes, bytes, static_cast<size_t>(count));
    *partial.length = count >= LinePeekSize ? 0 : count;
    return count >= LinePeekSize ? LineRead::Overlong : LineRead::None;
  }
  std::memcpy(line, bytes, static_cast<size_t>(end));
  line[end] = '\0';
  NetWorkRecv(handle, bytes + saved, end + 1 - saved);
  if (partial.bytes != nullptr) *partial.length = 0;
  return LineRead::Line;
}

LineRead ReadSlotLine(HttpSlot* http, char* line) {
  return ReadLine(http->netWorkHandle, line, PartialLine{http->partialLine, &http->partialLength});
}

// A header line to handle: an over-long one is thrown away up to its line end, a piece
// per step, so it can neither stall the transfer nor be taken for a header.
bool ReadHeaderLine(HttpSlot* http, char* line) {
  const LineRead read = ReadSlotLine(http, line);
  if (read == LineRead::None) return false;
  if (read == LineRead::Overlong) {
    http->skippingLine = 1;
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

// A Transfer-Encoding header other than "identity" (in any letter case): the bytes that
// follow are the body in a coding, such as chunks with their sizes, not the body itself.
bool IsCodedBodyLine(const char* line) {
  char upper[LinePeekSize + 1];
  CopyString(upper, line);
  UpperCaseSjis(upper);
  if (std::strncmp(upper, "TRANSFER-ENCODING:", 18) != 0) return false;
  const char* value = upper + 18;
  while (*value == ' ' || *value == '\t') ++value;
  if (std::strncmp(value, "IDENTITY", 8) != 0) return true;
  for (value += 8; *value == ' ' || *value == '\t' || *value == '\r';) ++value;
  return *value != '\0';
}

// Takes the Content-Length header's value; a value the slot cannot hold ends the transfer
// as failed. False when the slot has ended.
bool TakeContentLength(int32_t slot, HttpSlot* http, const char* line) {
  int32_t length = 0;
  if (!ParseContentLength(line, &length)) {
    WriteLogFormat("Content-Length の値が不正です (%s)", line);
    ResetHttpSlot(slot, HttpFailed, HttpBadStatus);
    return false;
  }
  http->contentLength = length;
  return true;
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

// Offers the unsent rest of `data`, at most `budget` bytes of it; true once all of it has
// been taken.
bool SendRest(EngineHandle handle, const char* data, int32_t length, int32_t* sent, int32_t budget) {
  for (const int32_t stop = length - *sent > budget ? *sent + budget : length; *sent < stop;) {
    const int taken = NetWorkSend(handle, data + *sent, stop - *sent);
    if (taken <= 0) return false;
    *sent += taken;
  }
  return *sent == length;
}

// True once the request (and a POST body) is out. A step sends at most a body step's worth
// of the POST body, as a step reads at most that much of a reply's.
bool SendWholeRequest(HttpSlot* http) {
  if (http->requestLength == 0) FormatRequest(http);
  if (!SendRest(http->netWorkHandle, http->request, http->requestLength, &http->requestSent,
                http->requestLength))
    return false;
  if (http->kind == HttpPost && http->postBody != nullptr &&
      !SendRest(http->netWorkHandle, static_cast<const char*>(http->postBody), http->postBodyLength,
                &http->postBodySent, BodyStepBytes))
    return false;
  return true;
}

// The send-request step (HttpSendRequest): true once the request is out, or once the server has
// closed the connection before taking all of it: what it sent back first (a refusal such as
// 413) is its answer, and the sends that can no longer go must not hold the slot for good.
bool SendRequest(HttpSlot* http) {
  if (SendWholeRequest(http)) return true;
  return GetNetWorkAcceptState(http->netWorkHandle) == 0;
}

// The status-line step (HttpStatusLine): true when the status is 200; the slot has ended when it
// is another status or the status line is longer than a line can be.
bool ReadStatus(int32_t slot, HttpSlot* http, bool logs) {
  char line[LinePeekSize + 1];
  const LineRead read = ReadSlotLine(http, line);
  if (read == LineRead::None) return false;
  if (read == LineRead::Overlong) {
    ResetHttpSlot(slot, HttpFailed, HttpBadStatus);
    return false;
  }
  const int status = ParseHttpStatus(line);
  if (status != 200) {
    if (logs) WriteLogFormat("接続に失敗しました (戻り値:%d)", status);
    ResetHttpSlot(slot, HttpFailed, status == 404 ? HttpNotFound : HttpBadStatus);
    return false;
  }
  return true;
}

// The header step (HttpHeaders) of GET and POST, one header per call: true when the headers
// have ended.
bool ReadHeader(int32_t slot, HttpSlot* http) {
  char line[LinePeekSize + 1];
  if (!ReadHeaderLine(http, line)) return false;
  if (FindByteSjis(line, ':') == nullptr) return true;
  if (IsCodedBodyLine(line)) {
    WriteLogFormat("受信できない転送形式です (%s)", line);
    ResetHttpSlot(slot, HttpFailed, HttpBadStatus);
    return false;
  }
  if (!IsContentLengthLine(line) || !TakeContentLength(slot, http, line)) return false;
  if (http->bodyDestination == HttpToMemory && http->bodyPointerLocation != nullptr) {
    TrackedFree(*http->bodyPointerLocation);  // a repeated header replaces the block
    http->bodyCapacity = std::min(http->contentLength, MemoryBodyFirstBytes);
    *http->bodyPointerLocation = TrackedAlloc(http->bodyCapacity, "", 0);
    if (*http->bodyPointerLocation == nullptr) ResetHttpSlot(slot, HttpFailed, HttpBodyNotStored);
  }
  return false;
}

// Room in the memory block for more of the body: doubled, up to the length. False when the
// block could not grow (the slot has ended).
bool GrowMemoryBody(int32_t slot, HttpSlot* http) {
  if (http->bytesReceived < http->bodyCapacity) return true;
  const int32_t capacity =
      static_cast<int32_t>(std::min<int64_t>(int64_t{http->bodyCapacity} * 2, http->contentLength));
  void* grown = TrackedRealloc(*http->bodyPointerLocation, capacity, "", 0);
  if (grown == nullptr) {
    ResetHttpSlot(slot, HttpFailed, HttpBodyNotStored);
    return false;
  }
  *http->bodyPointerLocation = grown;
  http->bodyCapacity = capacity;
  return true;
}

// The body step (HttpBody): true when the body is complete. A body file that cannot take
// the bytes ends the transfer as failed, as does a connection reset before the length given
// was reached or, without a length, at all: the file would not hold the whole body.
bool ReadBody(int32_t slot, HttpSlot* http, uint8_t* buffer, bool loops) {
  const EngineHandle handle = http->netWorkHandle;
  const bool known = http->contentLength != HttpNoLength;
  for (int32_t moved = 0; moved < BodyStepBytes;) {
    if (known && http->bytesReceived >= http->contentLength) return true;
    int32_t wanted = BodyStepBytes - moved < BodyBufferSize ? BodyStepBytes - moved : BodyBufferSize;
    if (known && http->contentLength - http->bytesReceived < wanted)
      wanted = http->contentLength - http->bytesReceived;
    int got = 0;
    if (http->bodyDestination == HttpToFile) {
      got = NetWorkRecv(handle, buffer, wanted);
      if (got < 0) return false;
      if (!WriteHttpBodyFile(http->outputFile, buffer, got)) {
        WriteLogFormat("受信したデータをファイルに書き込めませんでした (%s)", http->outputPath);
        ResetHttpSlot(slot, HttpFailed, HttpBodyNotStored);
        return false;
      }
    } else {
      // Without a length there is no block to read into. The bytes are dropped all the
      // same: WinSock reports the close only once nothing is left unread, and the slot
      // ends through that.
      if (http->contentLength < 0 || http->bodyPointerLocation == nullptr ||
          *http->bodyPointerLocation == nullptr) {
        NetWorkRecv(handle, buffer, BodyBufferSize);
        return false;
      }
      if (!GrowMemoryBody(slot, http)) return false;
      auto* block = static_cast<uint8_t*>(*http->bodyPointerLocation);
      const int32_t room = http->bodyCapacity - http->bytesReceived;
      got = NetWorkRecv(handle, block + http->bytesReceived, std::min(room, BodyStepBytes - moved));
      if (got < 0) return false;
    }
    http->bytesReceived += got;
    moved += got;
    if (known && http->bytesReceived >= http->contentLength) return true;
    if (!known && !ConnectionAlive(handle)) {
      if (ClosedInOrder(handle)) return true;
      WriteLog("受信中に接続が切断されました\n");
      ResetHttpSlot(slot, HttpFailed, HttpConnectionGone);
      return false;
    }
    if (got == 0 || (!loops && !known)) return false;
  }
  return false;
}

int StepTransfer(int32_t slot, bool post) {
  HttpSlot* http = SlotAt(slot);
  if (http == nullptr) return -1;
  if (http->step == HttpSendRequest) {
    if (!SendRequest(http)) return 0;
    http->step = HttpStatusLine;
  }
  if (http->step == HttpStatusLine) {
    if (!ReadStatus(slot, http, !post)) return 0;
    http->step = HttpHeaders;
  }
  if (http->step == HttpHeaders) {
    if (!ReadHeader(slot, http)) return 0;
    http->step = HttpBody;
  }
  if (http->step == HttpBody) {
    if (!ReadBody(slot, http, post ? PostBodyBuffer : GetBodyBuffer, !post)) return 0;
    http->step = HttpFinish;
  }
  if (http->step == HttpFinish) ResetHttpSlot(slot, HttpFinished, HttpNoDetail);
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
  return ReadLine(handle, line, PartialLine{nullptr, nullptr}) == LineRead::Line ? 0 : -1;
}

int32_t FindHttpLineEnd(const char* bytes, int32_t count) {
  for (int32_t i = 0; i < count;) {
    if (bytes[i] == '\n') return i;
    if (IsLeadByte(bytes + i, 0) != 0) {
      if (i + 1 >= count) break;
      i += 2;
    } else {
      ++i;
    }
  }
  return -1;
}

bool ParseContentLength(const char* line, int32_t* length) {
  if (!IsContentLengthLine(line)) return false;
  const char* p = line + 15;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p < '0' || *p > '9') return false;
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT32_MAX) return false;
  }
  while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
  if (*p != '\0') return false;
  *length = static_cast<int32_t>(value);
  return true;
}

int ParseHttpStatus(const char* line) {
  const char* blank = FindByteSjis(line, ' ');
  if (blank == nullptr) return -1;
  // The first digit or minus sign after the blank starts the number, as ParseInt reads it,
  // but a number past an int's range is refused rather than wrapped: 4294967496 would
  // read as 200.
  const char* p = blank;
  while (*p != '\0' && *p != '-' && (*p < '0' || *p > '9')) ++p;
  if (*p == '\0') return -1;
  const bool negative = *p == '-';
  if (negative) ++p;
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > limit) return -1;
  }
  return static_cast<int>(negative ? -value : value);
}

int StepHttpGet(int32_t slot) { return StepTransfer(slot, false); }
int StepHttpPost(int32_t slot) { return StepTransfer(slot, true); }

int StepHttpHead(int32_t slot) {
  HttpSlot* http = SlotAt(slot);
  if (http == nullptr) return -1;
  if (http->step == HttpSendRequest) {
    if (!SendRequest(http)) return 0;
    http->step = HttpStatusLine;
  }
  if (http->step == HttpStatusLine) {
    if (!ReadStatus(slot, http, false)) return 0;
    http->step = HttpHeaders;
  }
  if (http->step == HttpHeaders) {
    char line[LinePeekSize + 1];
    if (!ReadHeaderLine(http, line) || !IsContentLengthLine(line)) return 0;
    if (!TakeContentLength(slot, http, line)) return 0;
    http->step = HttpFinish;
    ResetHttpSlot(slot, HttpFinished, HttpNoDetail);
  }
  return 0;
}

int StepHttpSlot(int32_t slot) {
  HttpSlot* http = SlotAt(slot);
  if (http == nullptr) return -1;
  if (http->result != HttpRunning) return 0;
  if (http->hostLookup != 0) {
    uint32_t address = 0;
    const int found = PollHostLookup(http->hostLookup - 1, &address);
    if (found == 0) return 0;
    http->hostLookup = 0;
    if (found < 0) WriteLogFormat("ホスト %s が見つかりませんでした", http->host);
    if (found < 0 || !ConnectHttpSlot(http, address)) {
      ResetHttpSlot(slot, HttpFailed, HttpConnectionGone);
      return 0;
    }
  }
  if (ConnectionAlive(http->netWorkHandle)) return StepByKind(slot, http);
  // A body written to a file whose length was never given ends with the connection: the
  // last bytes are read and the transfer is complete, not lost.
  if (http->step == HttpBody && http->contentLength == HttpNoLength && http->bodyDestination == HttpToFile)
    StepByKind(slot, http);
  if (http->result == HttpRunning) ResetHttpSlot(slot, HttpFailed, HttpConnectionGone);
  return 0;
}

int StepAllHttpSlots() {
  if (HttpSlotTable.count == 0) return 0;
  ForEachUsedSlot(HttpSlotTable.count, [](int32_t slot) { StepHttpSlot(slot); });
  return 0;
}

int ResetHttpSlot(int32_t slot, HttpResult result, HttpDetail detail) {
  HttpSlot* http = SlotAt(slot);
  if (http == nullptr) return -1;
  if (http->hostLookup != 0) {
    EndHostLookup(http->hostLookup - 1);
    http->hostLookup = 0;
  }
  if (http->netWorkHandle != NoHandle) {
    CloseNetWork(http->netWorkHandle);
    http->netWorkHandle = NoHandle;
  }
  TrackedFree(http->postBody);
  http->postBody = nullptr;
  // The user's file is replaced only by a finished transfer; a failed or abandoned one
  // leaves it as it was. A body that cannot be put in its place is not stored: the transfer
  // has failed after all.
  if (http->outputFile != nullptr) {
    const HttpResult outcome = http->result == HttpRunning ? result : http->result;
    const int32_t keep = outcome == HttpFinished && http->step == HttpFinish ? 1 : 0;
    if (!CloseHttpBodyFile(http->outputFile, http->partPath, http->outputPath, keep)) {
      WriteLogFormat("受信したファイルを %s に置けませんでした", http->outputPath);
      result = HttpFailed;
      detail = HttpBodyNotStored;
    }
    http->outputFile = nullptr;
  }
  if (http->result == HttpRunning) http->result = result;
  if (http->detail == HttpNoDetail) http->detail = detail;
  // A block is the caller's only when the transfer finished: one deleted while it ran holds
  // part of a body at most.
  if (http->bodyPointerLocation != nullptr && (http->result != HttpFinished || http->step != HttpFinish)) {
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
  ResetHttpSlot(slot, HttpFinished, HttpNoDetail);
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
