// Creating an HTTP slot: the URL split into host, port and path, the connection or the
// host name's look-up, the output file or memory destination, the POST body copy and the
// slot's first values.
#include <cstddef>
#include <cstring>

#include "core/log.h"
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

// A blank, a control byte or DEL: the request text carries the URL as it is, so a CR LF
// would start a header of the URL's choosing and a blank would end the path early.
// Shift-JIS trail bytes are 0x40 or above and never look like one.
bool HasUnsafeUrlByte(const char* url) {
  for (const char* c = url; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte <= ' ' || byte == 0x7f) return true;
  }
  return false;
}

int32_t RefuseSlot(const char* reason, const char* subject) {
  WriteLogFormat("HTTP スロットを作成できませんでした: %s (%s)", reason, subject);
  return -1;
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
  if (url == nullptr || HasUnsafeUrlByte(url)) return false;
  for (int i = 0; i < 7; ++i) {
    const char c = url[i] >= 'A' && url[i] <= 'Z' ? static_cast<char>(url[i] - 'A' + 'a') : url[i];
    if (c != Scheme[i]) return false;
  }
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

bool ConnectHttpSlot(HttpSlot* http, uint32_t address) {
  http->netWorkHandle = ConnectNetWork(address, static_cast<uint16_t>(http->port), 0);
  if (http->netWorkHandle == NoHandle) return false;
  // The slot closes its connection itself when the transfer ends: closed by the pump as
  // soon as its loss is seen, it could take unread reply bytes with it.
  NetWorkTable.Find(http->netWorkHandle)->autoClose = 0;
  return true;
}

int32_t CreateHttpSlot(int32_t kind, const char* url, const char* outputPath, void** bodyLocation,
                       const void* postBody, int32_t postBodyLength) {
  if (kind < HttpGet || kind > HttpHead || postBodyLength < 0) return RefuseSlot("引数が不正です", "");
  if (outputPath == nullptr && bodyLocation == nullptr) return RefuseSlot("受信先がありません", "");
  if (kind == HttpPost && postBodyLength > 0 && postBody == nullptr)
    return RefuseSlot("POST するデータがありません", "");
  char host[128];
  char path[256];
  int32_t port = 0;
  if (!SplitHttpUrl(url, host, path, &port)) return RefuseSlot("URL が不正です", url != nullptr ? url : "");
  if (outputPath != nullptr && std::strlen(outputPath) >= sizeof HttpSlot::outputPath)
    return RefuseSlot("ファイル名が長すぎます", outputPath);
  uint32_t address = 0;
  const bool numeric = ParseIpv4Address(host, &address);
  int32_t slot = 0;
  while (slot < HttpSlotCapacity && HttpSlotTable.slots[slot] != nullptr) ++slot;
  if (slot == HttpSlotCapacity) return RefuseSlot("空きスロットがありません", url);

  auto* http = static_cast<HttpSlot*>(TrackedCalloc(sizeof(HttpSlot), "", 0));
  if (http == nullptr) return RefuseSlot("メモリが確保できません", url);
  http->kind = kind;
  http->result = HttpRunning;
  http->detail = HttpNoDetail;
  http->contentLength = HttpNoLength;
  http->netWorkHandle = NoHandle;
  std::strcpy(http->host, host);
  std::strcpy(http->path, path);
  http->port = port;
  const char* refusal = nullptr;
  const char* subject = url;
  if (kind == HttpPost && postBodyLength > 0) {
    http->postBody = TrackedAlloc(postBodyLength, "", 0);
    if (http->postBody == nullptr) refusal = "メモリが確保できません";
    else std::memcpy(http->postBody, postBody, static_cast<size_t>(postBodyLength));
    http->postBodyLength = postBodyLength;
  }
  if (refusal == nullptr && outputPath != nullptr) {
    std::strcpy(http->outputPath, outputPath);
    http->outputFile = CreateHttpBodyFile(outputPath, http->partPath, sizeof http->partPath);
    if (http->outputFile == nullptr) {
      refusal = "ファイルが作成できません";
      subject = outputPath;
    }
  }
  if (refusal == nullptr && numeric && !ConnectHttpSlot(http, address)) refusal = "接続できません";
  if (refusal == nullptr && !numeric) {
    const int32_t lookup = StartHostLookup(host);
    if (lookup < 0) refusal = "ホスト名を検索できません";
    http->hostLookup = lookup + 1;
  }
  if (refusal != nullptr) {
    CloseHttpBodyFile(http->outputFile, http->partPath, http->outputPath, 0);
    TrackedFree(http->postBody);
    TrackedFree(http);
    return RefuseSlot(refusal, subject);
  }
  if (outputPath == nullptr) {
    http->bodyDestination = HttpToMemory;
    http->bodyPointerLocation = bodyLocation;
    *bodyLocation = nullptr;
  }
  HttpSlotTable.slots[slot] = http;
  ++HttpSlotTable.count;
  return slot;
}

}  // namespace quelt
