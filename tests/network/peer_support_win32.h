#pragma once
// The far end of the network tests: plain blocking WinSock sockets on 127.0.0.1 driven from
// threads, time limits, and the byte pattern the transfers carry.
#include <winsock.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "network/network_state.h"

namespace quelt_test {

inline uint8_t PatternByte(uint32_t index) {
  return static_cast<uint8_t>((index * 2654435761u) >> 24 ^ index);
}

// True until `ms` milliseconds have passed since it was made.
struct Deadline {
  DWORD start = GetTickCount();
  DWORD ms;
  explicit Deadline(DWORD limit) : ms(limit) {}
  bool Open() const { return GetTickCount() - start < ms; }
};

inline uint32_t Loopback() { return htonl(INADDR_LOOPBACK); }

// A blocking socket whose receives give up after `timeout_ms`.
inline SOCKET BlockingSocket(DWORD timeout_ms = 5000) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms), sizeof timeout_ms);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout_ms), sizeof timeout_ms);
  return s;
}

inline sockaddr_in LoopbackAddress(int32_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = Loopback();
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// A blocking socket listening on a free port of 127.0.0.1, whose number goes to `port`.
inline SOCKET ListenOnLoopback(int backlog, int* port) {
  const SOCKET s = BlockingSocket();
  sockaddr_in address = LoopbackAddress(0);
  int size = sizeof address;
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(s, backlog);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  *port = ntohs(address.sin_port);
  return s;
}

inline SOCKET ConnectPeer(int32_t port) {
  const SOCKET s = BlockingSocket();
  sockaddr_in address = LoopbackAddress(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

// A non-blocking socket whose connect to 127.0.0.1 has been begun.
inline SOCKET StartConnecting(int32_t port) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  u_long non_blocking = 1;
  ioctlsocket(s, FIONBIO, &non_blocking);
  const sockaddr_in address = LoopbackAddress(port);
  connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return s;
}

inline bool SendAll(SOCKET s, const void* data, int length) {
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const int sent = send(s, bytes, length, 0);
    if (sent <= 0) return false;
    bytes += sent;
    length -= sent;
  }
  return true;
}

inline bool RecvAll(SOCKET s, void* data, int length) {
  char* bytes = static_cast<char*>(data);
  while (length > 0) {
    const int got = recv(s, bytes, length, 0);
    if (got <= 0) return false;
    bytes += got;
    length -= got;
  }
  return true;
}

// Pumps the network until a connection newer than `known` has been accepted; its handle,
// or -1 after five seconds.
inline quelt::EngineHandle WaitForAccepted(const quelt::NetWorkRecord* known) {
  for (Deadline limit(5000); limit.Open(); Sleep(1)) {
    quelt::ProcessNetWorkMessages(1);
    const quelt::NetWorkRecord* newest = quelt::NetWorkModule.listHead.next;
    if (newest != nullptr && newest != known && newest->next != nullptr &&
        newest != quelt::NetWorkTable.records[quelt::NetWorkListenSlot])
      return newest->ownHandle;
  }
  return -1;
}

}  // namespace quelt_test
