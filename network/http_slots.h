#pragma once
// The HTTP client's slot table: up to 100 transfers stepped once per frame by the pump.
#include <array>
#include <cstdint>

#include "core/engine_handle.h"

namespace quelt {

// The part of the exchange a transfer is at.
enum HttpStep : int32_t {
  HttpSendRequest = 0,
  HttpStatusLine = 1,
  HttpHeaders = 2,
  HttpBody = 3,
  HttpFinish = 4,
};

// How a transfer stands; the numbers are the ones callers read from the slot.
enum HttpResult : int32_t { HttpRunning = -1, HttpFinished = 0, HttpFailed = 2 };

// Why a transfer failed; HttpNoDetail while it runs and once it has finished.
enum HttpDetail : int32_t {
  HttpNoDetail = -1,
  HttpBadStatus = 0,  // a status other than 200 and 404, or a reply the slot cannot take
  HttpNotFound = 1,   // status 404
  // No memory block for the body; the file took not every byte or could not be put in
  // its place.
  HttpBodyNotStored = 2,
  HttpConnectionGone = 3,
};

enum HttpBodyDestination : int32_t { HttpToFile = 0, HttpToMemory = 1 };

// HttpSlot::contentLength before a Content-Length header has been seen.
inline constexpr int32_t HttpNoLength = -1;

struct HttpSlot {
  int32_t kind;  // HttpGet, HttpPost or HttpHead
  int32_t reserved0;
  HttpStep step;
  int32_t reserved1;
  HttpResult result;
  HttpDetail detail;
  EngineHandle netWorkHandle;
  HttpBodyDestination bodyDestination;
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
  // The request text and how much of it (and of the POST body) the socket has taken, so
  // a refused or short send is offered again on the next step.
  char request[512];
  int32_t requestLength;
  int32_t requestSent;
  int32_t postBodySent;
  int32_t skippingLine;  // 1 while the rest of an over-long header line is thrown away
  // A file body is written to a file of its own beside the destination, which takes its
  // place only when the transfer has succeeded.
  char outputPath[260];
  char partPath[272];
  int32_t hostLookup;  // look-up number + 1 while the host name is being looked up, else 0
  // The start of a status or header line whose end has not come yet.
  char partialLine[256];
  int32_t partialLength;
  // The bytes the memory block holds room for: it grows as the body comes, up to the
  // length, so a length alone reserves nothing a server has not sent.
  int32_t bodyCapacity;
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
// Connects a slot whose host address is known; false when no connection could be begun.
bool ConnectHttpSlot(HttpSlot* http, uint32_t address);
int StepHttpGet(int32_t slot);
int StepHttpPost(int32_t slot);
int StepHttpHead(int32_t slot);
// 0 with the line (its '\n' cut off, up to 255 bytes) in `line` and consumed; -1 when no
// complete line has arrived yet.
int ReadHttpLine(EngineHandle handle, char* line);
int ParseHttpStatus(const char* line);
// The index of the first '\n' among `count` bytes (not the second byte of a two-byte
// character; a zero byte is data), or -1.
int32_t FindHttpLineEnd(const char* bytes, int32_t count);
// The value of a "Content-Length:" line: digits after optional blanks, up to 2^31-1, with
// only blanks and a CR after them. False for anything else.
bool ParseContentLength(const char* line, int32_t* length);
int ResetHttpSlot(int32_t slot, HttpResult result, HttpDetail detail);
int StepAllHttpSlots();
int DeleteHttpSlot(int32_t slot);
int DeleteAllHttpSlots();

inline constexpr int32_t HttpGet = 0;
inline constexpr int32_t HttpPost = 1;
inline constexpr int32_t HttpHead = 2;

// A URL "http://host[:port]/path" split into the slot's fields; false when it does not
// fit them (host up to 127 bytes, path up to 255) or the port is no number 1..65535.
bool SplitHttpUrl(const char* url, char (&host)[128], char (&path)[256], int32_t* port);
// A dotted IPv4 address in network order; false for anything else.
bool ParseIpv4Address(const char* text, uint32_t* address);

// Starts a transfer: the body goes to the file `outputPath` or, when that is null, into a
// block whose address is stored through `bodyLocation`. The POST body is copied. The host
// may be a dotted IPv4 address or a name, which is looked up while the pump runs. The
// slot index, or -1 with a log line (bad URL, no free slot, no connection, no file).
int32_t CreateHttpSlot(int32_t kind, const char* url, const char* outputPath, void** bodyLocation,
                       const void* postBody, int32_t postBodyLength);

}  // namespace quelt
