// The network's own start-up: WinSock, the hidden window that receives the socket
// messages, the listening record in slot 4096 and outgoing connections; and the HTTP
// body file.
#include <winsock.h>
#include <windows.h>

#include <cstring>

#include "core/clock.h"
#include "core/log.h"
#include "core/numbers.h"
#include "network/network_state.h"

namespace quelt {

namespace {

constexpr const char* WindowClass = "QueltNetWorkWindow";
// WinSock 2's SOMAXCONN: the system's largest queue of pending connections.
constexpr int MaxListenBacklog = 0x7fffffff;

// A host look-up in progress on the network window: WinSock writes the answer into the
// buffer and posts NetWorkLookupMessage with the task handle. An abandoned look-up keeps
// its entry until that message: its answer may still be written (cancelling does not stop
// it everywhere), and must not land in a newer look-up's buffer.
struct HostLookup {
  HANDLE task;      // null when the entry is free
  int32_t state;    // 0 running, 1 answered, -1 failed, 2 abandoned while running
  char answer[MAXGETHOSTSTRUCT];
};
HostLookup HostLookups[HostLookupCapacity];

LRESULT CALLBACK NetWorkWindowProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  switch (message) {
    case NetWorkSocketMessage:
      return HandleNetWorkSocketEvent(static_cast<uint32_t>(w_param), static_cast<uint32_t>(l_param));
    case NetWorkLookupMessage:
      return HandleHostLookupEvent(static_cast<uintptr_t>(w_param), static_cast<uint32_t>(l_param));
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      NetWorkModule.windowClosed = 1;
      return 0;
    default:
      return DefWindowProcA(window, message, w_param, l_param);
  }
}

// A record of its own for a socket, linked and registered for the given events; the
// socket is closed when no record can be made.
NetWorkRecord* AdoptSocket(SOCKET socket, int32_t slot, int32_t framed, long events) {
  const HandleAlloc<NetWorkRecord> made = NetWorkTable.AllocateAt(
      MakeEngineHandle(slot, NetWorkTable.nextCheckId, HandleKind::NetWork), "", 0);
  if (made.record == nullptr) {
    closesocket(socket);
    return nullptr;
  }
  NetWorkRecord* record = made.record;
  record->inUse = 1;
  record->connected = 1;
  record->stateB = 1;
  record->framed = framed;
  record->socket = socket;
  record->record = record;
  NetWorkRecord& head = NetWorkModule.listHead;
  record->previous = &head;
  record->next = head.next;
  head.next->previous = record;
  head.next = record;
  NetWorkTable.nextCheckId = NextCheckId(NetWorkTable.nextCheckId);
  if (WSAAsyncSelect(socket, static_cast<HWND>(NetWorkModule.window), NetWorkSocketMessage, events) != 0) {
    LogNetWorkError("WSAAsyncSelectのエラー");
    CloseNetWork(record->ownHandle);
    return nullptr;
  }
  return record;
}

}  // namespace

int StartNetWork() {
  if (NetWorkModule.started != 0) return 0;
  WSADATA data{};
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return LogNetWorkError("WSAStartupに失敗しました");
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = NetWorkWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = WindowClass;
  RegisterClassA(&window_class);  // already registered by an earlier start: fine
  const HWND window = CreateWindowExA(0, WindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, instance, nullptr);
  if (window == nullptr) {
    WSACleanup();
    return WriteLog("ネットワーク用ウインドウの作成に失敗しました\n");
  }
  const int32_t raw = NetWorkModule.rawMode;
  const int32_t manual = NetWorkModule.manualClose;
  NetWorkTable.Reset();
  NetWorkModule = NetWorkModuleState{};
  NetWorkModule.rawMode = raw;
  NetWorkModule.manualClose = manual;
  NetWorkModule.window = window;
  NetWorkModule.listHead.next = &NetWorkModule.listTail;
  NetWorkModule.listTail.previous = &NetWorkModule.listHead;
  NetWorkModule.connectTimeLimitMs = NetWorkConnectTimeLimitMs;
  for (HostLookup& lookup : HostLookups) lookup.task = nullptr;
  NetWorkModule.started = 1;
  return 0;
}

int32_t ListenNetWork(uint16_t port) {
  if (NetWorkModule.started == 0 || NetWorkTable.records[NetWorkListenSlot] != nullptr) return -1;
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket == INVALID_SOCKET) return LogNetWorkError("socketに失敗しました");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  int size = sizeof address;
  if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(socket, MaxListenBacklog) != 0 ||
      getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    LogNetWorkError("待ち受けの開始に失敗しました");
    closesocket(socket);
    return -1;
  }
  NetWorkRecord* record = AdoptSocket(socket, NetWorkListenSlot, 0, FD_ACCEPT);
  if (record == nullptr) return -1;
  return ntohs(address.sin_port);
}

// The socket is registered before the connect, which makes it non-blocking: the connect
// event ends the wait, or the time limit does (GetNetWorkAcceptState).
EngineHandle ConnectNetWork(uint32_t address, uint16_t port, int32_t framed) {
  if (NetWorkModule.started == 0) return NoHandle;
  int32_t slot = 0;
  while (slot < NetWorkConnectionSlots && NetWorkTable.records[slot] != nullptr) ++slot;
  if (slot == NetWorkConnectionSlots) return NoHandle;
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket == INVALID_SOCKET) {
    LogNetWorkError("socketに失敗しました");
    return NoHandle;
  }
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  peer.sin_port = htons(port);
  NetWorkRecord* record = AdoptSocket(socket, slot, framed != 0 ? 1 : 0,
                                      NetWorkEvents(framed) | FD_CONNECT);
  if (record == nullptr) return NoHandle;
  record->connected = 0;
  record->connecting = 1;
  record->connectStart = ReadMillisecondClock();
  if (connect(socket, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    LogNetWorkError("connectに失敗しました");
    CloseNetWork(record->ownHandle);
    return NoHandle;
  }
  record->autoClose = NetWorkModule.manualClose == 0 ? 1 : 0;
  std::memcpy(record->peerAddress, &address, 4);
  record->peerPort = peer.sin_port;
  return record->ownHandle;
}

int32_t StartHostLookup(const char* name) {
  if (NetWorkModule.started == 0) return -1;
  for (int32_t index = 0; index < HostLookupCapacity; ++index) {
    HostLookup& lookup = HostLookups[index];
    if (lookup.task != nullptr) continue;
    lookup.state = 0;
    lookup.task = WSAAsyncGetHostByName(static_cast<HWND>(NetWorkModule.window), NetWorkLookupMessage,
                                        name, lookup.answer, sizeof lookup.answer);
    if (lookup.task == nullptr) {
      LogNetWorkError("ホスト名 %s の検索を始められませんでした", name);
      return -1;
    }
    return index;
  }
  return -1;
}

int HandleHostLookupEvent(uintptr_t task, uint32_t event_word) {
  for (HostLookup& lookup : HostLookups) {
    if (lookup.task == nullptr || reinterpret_cast<uintptr_t>(lookup.task) != task) continue;
    if (lookup.state == 2) {
      lookup.task = nullptr;
      return 1;
    }
    const auto* entry = reinterpret_cast<const hostent*>(lookup.answer);
    const bool found = (event_word >> 16) == 0 && entry->h_addrtype == AF_INET &&
                       entry->h_length == 4 && entry->h_addr_list != nullptr &&
                       entry->h_addr_list[0] != nullptr;
    lookup.state = found ? 1 : -1;
    return 1;
  }
  return 0;
}

int PollHostLookup(int32_t index, uint32_t* address) {
  if (index < 0 || index >= HostLookupCapacity || HostLookups[index].task == nullptr ||
      HostLookups[index].state == 2)
    return -1;
  ProcessNetWorkMessages(0);
  HostLookup& lookup = HostLookups[index];
  if (lookup.state == 0) return 0;
  if (lookup.state == 1)
    std::memcpy(address, reinterpret_cast<const hostent*>(lookup.answer)->h_addr_list[0], 4);
  const int result = lookup.state;
  lookup.task = nullptr;
  return result;
}

void EndHostLookup(int32_t index) {
  if (index < 0 || index >= HostLookupCapacity || HostLookups[index].task == nullptr) return;
  HostLookup& lookup = HostLookups[index];
  if (lookup.state == 0) {
    lookup.state = 2;
  } else if (lookup.state != 2) {
    lookup.task = nullptr;
  }
}

void SetNetWorkRawMode(int32_t raw) { NetWorkModule.rawMode = raw != 0 ? 1 : 0; }
void SetNetWorkManualClose(int32_t manual) { NetWorkModule.manualClose = manual != 0 ? 1 : 0; }

void* CreateHttpBodyFile(const char* path, char* partPath, int32_t partPathSize) {
  // A name no other transfer uses at the moment: two slots may fetch to the same file.
  partPath[0] = '\0';
  if (std::strlen(path) + sizeof ".99.part" > static_cast<size_t>(partPathSize)) return nullptr;
  for (int32_t number = 0; number < 100; ++number) {
    FormatToBuffer(partPath, static_cast<size_t>(partPathSize), "%s.%d.part", path, number);
    const HANDLE file = CreateFileA(partPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  partPath[0] = '\0';
  return nullptr;
}

bool WriteHttpBodyFile(void* file, const void* data, int32_t length) {
  if (length <= 0) return true;
  DWORD written = 0;
  return file != nullptr &&
         WriteFile(static_cast<HANDLE>(file), data, static_cast<DWORD>(length), &written, nullptr) != 0 &&
         written == static_cast<DWORD>(length);
}

bool CloseHttpBodyFile(void* file, const char* partPath, const char* path, int32_t keep) {
  if (file == nullptr) return true;
  CloseHandle(static_cast<HANDLE>(file));
  if (keep != 0 && MoveFileExA(partPath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
    return true;
  DeleteFileA(partPath);
  return keep == 0;
}

}  // namespace quelt
