// Creating an HTTP slot: the URL split into host, port and path, the connection, the
// output file or memory destination, the POST body copy and the slot's first values.
#include <cstddef>
#include <cstring>

#include "core/tracked_alloc.h"
#include "network/http_slots.h"
#include "network/network_state.h"

namespace quelt {

namespace {

bool ParseDecimal(const char* begin, const char* end, uint32_t limit, uint32_t* value) {
  if (begin == end || end - begin > 5) return false;
  uint32_t number = 0;
  for (const char* c = begin; c != end; ++c) {
    if (*c < '0' || *c > '9') return false;
    number = number * 10 + static_cast<uint32_t>(*c - '0');
  }
  if (number > limit) return false;
  *value = number;
  return true;
}

}  // namespace

bool ParseIpv4Address(const char* text, uint32_t* address) {
  uint8_t bytes[4];
  const char* part = text;
  for (int i = 0; i < 4; ++i) {
    const char* end = part;
    while (*end >= '0' && *end <= '9') ++end;
    uint32_t value = 0;
    if (end - part > 3 || !ParseDecimal(part, end, 255, &value)) return false;
    bytes[i] = static_cast<uint8_t>(value);
    if (i < 3 && *end != '.') return false;
    if (i == 3 && *end != '\0') return false;
    part = end + 1;
  }
  std::memcpy(address, bytes, 4);  // network order is the bytes' own order
  return true;
}

bool SplitHttpUrl(const char* url, char (&host)[128], char (&path)[256], int32_t* port) {
  constexpr const char* Scheme = "http://";
  if (url == nullptr || std::strncmp(url, Scheme, 7) != 0) return false;
  const char* start = url + 7;
  const char* host_end = start;
  while (*host_end != '\0' && *host_end != ':' && *host_end != '/') ++host_end;
  if (host_end == start || host_end - start >= static_cast<std::ptrdiff_t>(sizeof host)) return false;
  uint32_t number = 80;
  const char* rest = host_end;
  if (*rest == ':') {
    const char* digits = rest + 1;
    rest = digits;
    while (*rest >= '0' && *rest <= '9') ++rest;
    if (!ParseDecimal(digits, rest, 65535, &number) || number == 0) return false;
  }
  if (*rest != '\0' && *rest != '/') return false;
  const char* path_text = *rest == '\0' ? "/" : rest;
  if (std::strlen(path_text) >= sizeof path) return false;
  std::memcpy(host, start, static_cast<size_t>(host_end - start));
  host[host_end - start] = '\0';
  std::strcpy(path, path_text);
  *port = static_cast<int32_t>(number);
  return true;
}

int32_t CreateHttpSlot(int32_t kind, const char* url, const char* outputPath, void** bodyLocation,
                       const void* postBody, int32_t postBodyLength) {
  if (kind < HttpGet || kind > HttpHead || postBodyLength < 0) return -1;
  if (outputPath == nullptr && bodyLocation == nullptr) return -1;
  if (kind == HttpPost && postBodyLength > 0 && postBody == nullptr) return -1;
  char host[128];
  char path[256];
  int32_t port = 0;
  uint32_t address = 0;
  if (!SplitHttpUrl(url, host, path, &port) || !ParseIpv4Address(host, &address)) return -1;
  int32_t slot = 0;
  while (slot < HttpSlotCapacity && HttpSlotTable.slots[slot] != nullptr) ++slot;
  if (slot == HttpSlotCapacity) return -1;

  auto* http = static_cast<HttpSlot*>(TrackedCalloc(sizeof(HttpSlot), "", 0));
  if (http == nullptr) return -1;
  http->kind = kind;
  http->result = -1;
  http->detail = -1;
  http->contentLength = -1;
  http->netWorkHandle = NoHandle;
  std::strcpy(http->host, host);
  std::strcpy(http->path, path);
  http->port = port;
  if (kind == HttpPost && postBodyLength > 0) {
    http->postBody = TrackedAlloc(postBodyLength, "", 0);
    if (http->postBody == nullptr) {
      TrackedFree(http);
      return -1;
    }
    std::memcpy(http->postBody, postBody, static_cast<size_t>(postBodyLength));
    http->postBodyLength = postBodyLength;
  }
  if (outputPath != nullptr) {
    http->outputFile = CreateHttpBodyFile(outputPath);
    if (http->outputFile == nullptr) {
      TrackedFree(http->postBody);
      TrackedFree(http);
      return -1;
    }
  } else {
    http->bodyDestination = 1;
    http->bodyPointerLocation = bodyLocation;
    *bodyLocation = nullptr;
  }
  http->netWorkHandle = ConnectNetWork(address, static_cast<uint16_t>(port), 0);
  if (http->netWorkHandle == NoHandle) {
    CloseHttpBodyFile(http->outputFile);
    TrackedFree(http->postBody);
    TrackedFree(http);
    return -1;
  }
  // The slot closes its connection itself when the transfer ends: closed by the pump as
  // soon as its loss is seen, it could take unread reply bytes with it.
  NetWorkTable.Find(http->netWorkHandle)->autoClose = 0;
  HttpSlotTable.slots[slot] = http;
  ++HttpSlotTable.count;
  return slot;
}

}  // namespace quelt
