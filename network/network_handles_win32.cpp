// Network handles over WinSock 1.1: socket events arrive as message 0x505 at the network
// window; framed handles assemble length-prefixed blocks in their rings, raw handles pass
// straight through to recv and send.
#include <winsock.h>
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/clock.h"
#include "core/little_endian.h"
#include "core/log.h"
#include "core/numbers.h"
#include "core/platform.h"
#include "network/network_state.h"

namespace quelt {

namespace {

constexpr int32_t CloseDrainMs = 1000;
static_assert(NetWorkEvents(1) == (FD_READ | FD_WRITE | FD_CLOSE) && NetWorkEvents(0) == FD_CLOSE);


struct Messages {
  const char* notValid;
  const char* error;
};
constexpr Messages RecvSocketText{"有効なネットワークハンドルではありません in RecvSocket\n",
                                  "このネットワークハンドルにはエラーが発生しています in RecvSocket\n"};
constexpr Messages SendSocketText{"有効なネットワークハンドルではありません in SendSocket\n",
                                  "このネットワークハンドルにはエラーが発生しています in SendSocket\n"};
constexpr Messages AcceptStateText{
    "有効なネットワークハンドルではありません in GetNetWorkAcceptState\n",
    "このネットワークハンドルにはエラーが発生しています in GetNetWorkAcceptStateh\n"};
constexpr Messages RecvText{"有効なネットワークハンドルではありません in NetWorkRecv\n",
                            "このネットワークハンドルにはエラーが発生しています in NetWorkRecv\n"};
constexpr Messages PeekText{"有効なネットワークハンドルではありません in NetWorkRecvToPeek\n",
                            "このネットワークハンドルにはエラーが発生しています in NetWorkRecvToPeek\n"};
constexpr Messages SendText{"有効なネットワークハンドルではありません in NetWorkSend\n",
                            "このネットワークハンドルにはエラーが発生しています in NetWorkSend\n"};
constexpr Messages DataLengthText{
    "有効なネットワークハンドルではありません in GetNetWorkDataLength\n",
    "このネットワークハンドルにはエラーが発生しています in GetNetWorkDataLength\n"};

SOCKET SocketOf(const NetWorkRecord* record) { return static_cast<SOCKET>(record->socket); }
HWND NetWorkWindow() { return static_cast<HWND>(NetWorkModule.window); }

// The record of a handle that may be operated on, or null after the refusal (and its
// message where the handle is known but closed or failed).
NetWorkRecord* AdmitHandle(EngineHandle handle, const Messages& text) {
  if (NetWorkModule.started == 0) return nullptr;
  NetWorkRecord* record = NetWorkTable.Find(handle);
  if (record == nullptr) return nullptr;
  if (record->inUse == 0) {
    WriteLog(text.notValid);
    return nullptr;
  }
  if (record->errorFlag != 0) {
    WriteLog(text.error);
    return nullptr;
  }
  return record;
}

void LinkAfterHead(NetWorkRecord* record) {
  NetWorkRecord& head = NetWorkModule.listHead;
  record->previous = &head;
  record->next = head.next;
  if (head.next != nullptr) head.next->previous = record;
  head.next = record;
}

void Unlink(NetWorkRecord* record) {
  if (record->previous != nullptr) record->previous->next = record->next;
  if (record->next != nullptr) record->next->previous = record->previous;
  record->next = record->previous = nullptr;
}

int SocketRead(uintptr_t socket, void* buffer, int32_t length, int32_t peek) {
  return recv(static_cast<SOCKET>(socket), static_cast<char*>(buffer), length, peek != 0 ? MSG_PEEK : 0);
}

// recv on a raw handle. A connection that has been reset or aborted answers with an error
// once, before it reads as closed: that is remembered, as a close event need not say so.
int RawRead(NetWorkRecord* record, void* buffer, int32_t length, int flags) {
  const int got = recv(SocketOf(record), static_cast<char*>(buffer), length, flags);
  if (got == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENETRESET ||
        error == WSAETIMEDOUT || error == WSAENETDOWN)
      record->closeError = error;
  }
  return got;
}

// send for a framed handle; an error other than a full socket means the peer takes no more.
int SendBytes(NetWorkRecord* record, const uint8_t* data, int32_t length) {
  const int sent = send(SocketOf(record), reinterpret_cast<const char*>(data), length, 0);
  if (sent == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) record->sendFailed = 1;
  return sent;
}

// Sends the missing bytes of the length word: the count sent, or -1 on an error.
int SendHeaderRest(NetWorkRecord* record) {
  uint8_t word[4];
  StoreLe32(word, static_cast<uint32_t>(record->sendRemaining));
  const int32_t offset = 4 - record->headerRemaining;
  const int sent = SendBytes(record, word + offset, record->headerRemaining);
  if (sent > 0) record->headerRemaining -= sent;
  return sent;
}

int32_t SendBlockBytes(NetWorkRecord* record) {
  RingBuffer& ring = record->sendRing;
  WrapRingPositions(&ring);
  const int32_t remaining = record->sendRemaining;
  int32_t total = 0;
  if (static_cast<int64_t>(ring.readPosition) + remaining <= ring.capacity) {
    const int sent = SendBytes(record, ring.buffer + ring.readPosition, remaining);
    if (sent <= 0) return 0;
    ring.readPosition += sent;
    total = sent;
  } else {
    const int32_t room = ring.capacity - ring.readPosition;
    const int first = SendBytes(record, ring.buffer + ring.readPosition, room);
    if (first <= 0) return 0;
    if (first < room) {
      ring.readPosition += first;
      total = first;
    } else {
      const int second = SendBytes(record, ring.buffer, remaining - first);
      if (second <= 0) {
        ring.readPosition = 0;
        total = first;
      } else {
        ring.readPosition = second;
        total = first + second;
      }
    }
  }
  ring.dataLength -= total;
  record->sendRemaining -= total;
  return total;
}

// A block's length word goes out in one send with the block's first bytes (this many at
// most). Sent alone, the word is a small segment behind which Nagle's algorithm holds the
// block's bytes until the peer acknowledges it, and a peer that delays acknowledgements
// does so only after tens of milliseconds: a wait per message sent back and forth.
constexpr int32_t SendFirstPieceBytes = 64 << 10;
uint8_t SendFirstPiece[4 + SendFirstPieceBytes];

// Begins the block of everything queued with one send of its length word and first bytes.
// The count of the block's bytes sent, or -1 when nothing went.
int32_t BeginSendBlock(NetWorkRecord* record) {
  RingBuffer& ring = record->sendRing;
  const int32_t length = ring.dataLength;
  const int32_t first = std::min(length, SendFirstPieceBytes);
  const uint32_t word = static_cast<uint32_t>(length);
  for (int32_t i = 0; i < 4; ++i) SendFirstPiece[i] = static_cast<uint8_t>(word >> (8 * i));
  ReadRingBytes(&ring, first, SendFirstPiece + 4, 1);
  const int sent = SendBytes(record, SendFirstPiece, 4 + first);
  if (sent <= 0) return -1;
  const int32_t word_sent = std::min(sent, 4);
  const int32_t body = sent - word_sent;
  record->sendRemaining = length - body;
  record->headerRemaining = 4 - word_sent;
  ring.readPosition = static_cast<int32_t>((static_cast<int64_t>(ring.readPosition) + body) % ring.capacity);
  ring.dataLength -= body;
  return body;
}

// A short send does not end the pass: the rest is offered again at once, so the socket
// either takes it or answers would-block, which re-arms the write event.
void SendFramed(NetWorkRecord* record) {
  for (;;) {
    while (record->headerRemaining > 0) {
      if (SendHeaderRest(record) <= 0) return;
    }
    int32_t total = 0;
    if (record->sendRemaining == 0) {
      total = BeginSendBlock(record);
      if (total < 0) return;
      if (record->headerRemaining > 0) continue;
    }
    if (record->sendRemaining > 0) total += SendBlockBytes(record);
    if (ProcessNetWorkMessages(0) != 0 || total <= 0 || record->sendRing.dataLength == 0) return;
  }
}

// Under Wine every look at a message queue is a round trip to the one server process, the
// same one the peer's and the sockets' work waits on, and the network's operations nest
// several pumps (GetNetWorkDataLength pumps, then its RecvSocket, then the receive pass).
// A queue found empty is therefore not looked at again for a moment: what arrives
// meanwhile waits for the next look, as if it had come a little later. The moment doubles
// while looks find nothing, up to a millisecond (far more often than frames come; looking
// every tenth of one costs a loop over a raw handle a fifth of its rate), and drops back
// when one finds messages.
constexpr int32_t QueueLookGapMinMicroseconds = 50;
constexpr int32_t QueueLookGapMaxMicroseconds = 1000;

// The gap is timed with the performance counter whatever time base start-up chose: before
// start-up, or with the millisecond timer as the base, the engine's microsecond clock moves
// in whole milliseconds, and every look would wait for the next one (a millisecond for
// each message that waits for an answer). Without a counter every look is made.
bool QueueFoundEmptyJustNow() {
  const int64_t since = NetWorkModule.queueFoundEmptyAt;
  const int64_t gap_ticks = NetWorkModule.queueLookGap * PlatformPerformanceFrequency() / 1000000;
  return since != 0 && PlatformPerformanceCounter() - since < gap_ticks;
}

// Dispatches every message waiting for the network window.
void PumpNetWorkWindow() {
  MSG message{};
  bool found = false;
  while (NetWorkModule.window != nullptr &&
         PeekMessageA(&message, NetWorkWindow(), 0, 0, PM_REMOVE)) {
    found = true;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  int32_t& gap = NetWorkModule.queueLookGap;
  gap = found || gap < QueueLookGapMinMicroseconds ? QueueLookGapMinMicroseconds
                                                   : std::min(2 * gap, QueueLookGapMaxMicroseconds);
  NetWorkModule.queueFoundEmptyAt = PlatformPerformanceCounter();
}

void FreeRecord(NetWorkRecord* record, int32_t slot) {
  FreeRingBuffer(&record->receiveRing);
  FreeRingBuffer(&record->sendRing);
  record->inUse = 0;
  Unlink(record);
  TrackedFree(record);
  NetWorkTable.records[slot] = nullptr;
  --NetWorkTable.count;
}

}  // namespace

int RecvSocket(EngineHandle handle) {
  NetWorkRecord* record = AdmitHandle(handle, RecvSocketText);
  if (record == nullptr || record->receiveBusy != 0) return -1;
  if (record->framed == 0) return 0;
  record->receiveBusy = 1;
  ++NetWorkModule.transfersRunning;
  ProcessNetWorkMessages(0);
  int result = 0;
  if (record->errorFlag != 0) {
    result = -1;
  } else if (record->receiveIdle == 0) {
    result = ReceiveFramedBlocks(record, SocketRead, ReadMillisecondClock());
  }
  --NetWorkModule.transfersRunning;
  record->receiveBusy = 0;
  return result;
}

int SendSocket(EngineHandle handle) {
  NetWorkRecord* record = AdmitHandle(handle, SendSocketText);
  if (record == nullptr || record->sendBusy != 0) return -1;
  record->sendMore = 0;
  if (record->framed == 0 || record->sendRing.dataLength == 0) return 0;
  record->sendBusy = 1;
  ++NetWorkModule.transfersRunning;
  ProcessNetWorkMessages(0);
  SendFramed(record);
  --NetWorkModule.transfersRunning;
  record->sendBusy = 0;
  return 0;
}

int AcceptNetWork() {
  if (NetWorkModule.started == 0) return -1;
  ++NetWorkModule.transfersRunning;
  ProcessNetWorkMessages(0);
  --NetWorkModule.transfersRunning;
  NetWorkRecord* listener = NetWorkTable.records[NetWorkListenSlot];
  if (listener == nullptr) return -1;
  int32_t slot = 0;
  while (slot < NetWorkConnectionSlots && NetWorkTable.records[slot] != nullptr) ++slot;
  if (slot == NetWorkConnectionSlots) {
    NetWorkModule.acceptWaiting = 1;
    return WriteLog("空きソケットデータがなかったので accept を拒否しました \n");
  }
  NetWorkModule.acceptWaiting = 0;
  const int32_t check_id = NetWorkTable.nextCheckId;
  const HandleAlloc<NetWorkRecord> made =
      NetWorkTable.AllocateAt(MakeEngineHandle(slot, check_id, HandleKind::NetWork), "", 0);
  if (made.record == nullptr) return WriteLog("ソケット用のメモリの確保に失敗しました\n");
  NetWorkRecord* record = made.record;
  record->inUse = 1;
  record->connected = 1;
  record->stateB = 1;
  record->framed = NetWorkModule.rawMode == 0 ? 1 : 0;
  record->autoClose = NetWorkModule.manualClose == 0 ? 1 : 0;
  record->record = record;
  LinkAfterHead(record);

  sockaddr_in peer{};
  int peer_size = sizeof peer;
  const SOCKET socket =
      accept(SocketOf(listener), reinterpret_cast<sockaddr*>(&peer), &peer_size);
  bool failed = false;
  if (socket == INVALID_SOCKET) {
    LogNetWorkError("acceptに失敗しました");
    failed = true;
  } else {
    record->socket = socket;
    std::memcpy(record->peerAddress, &peer.sin_addr, 4);
    record->peerPort = peer.sin_port;
    if (WSAAsyncSelect(socket, NetWorkWindow(), NetWorkSocketMessage, NetWorkEvents(record->framed)) != 0) {
      LogNetWorkError("WSAAsyncSelectのエラー in AcceptNetWork");
      failed = true;
    }
  }
  if (failed) {
    if (record->socket != 0 && record->socket != static_cast<uintptr_t>(INVALID_SOCKET))
      closesocket(SocketOf(record));
    FreeRecord(record, slot);
    return -1;
  }
  NetWorkTable.nextCheckId = NextCheckId(check_id);
  return 1;
}

int GetNetWorkAcceptState(EngineHandle handle) {
  ProcessNetWorkMessages(0);
  NetWorkRecord* record = AdmitHandle(handle, AcceptStateText);
  if (record == nullptr) return -1;
  if (record->connecting != 0) {
    if (((ReadMillisecondClock() - record->connectStart) & 0x7FFFFFFF) < NetWorkModule.connectTimeLimitMs)
      return 1;
    LogNetWorkError("接続が時間内に確立しませんでした");
    record->connecting = 0;
    record->errorFlag = 1;
    return -1;
  }
  if (record->connected != 0) return 1;
  if (record->disconnectSeen == 0) record->disconnectSeen = 1;
  return 0;
}

int NetWorkRecv(EngineHandle handle, void* buffer, int32_t length) {
  NetWorkRecord* record = AdmitHandle(handle, RecvText);
  if (record == nullptr || length < 0) return -1;
  if (RecvSocket(handle) == -1) return -1;
  if (record->framed == 0) return RawRead(record, buffer, length, 0);
  if (ReadRingBytes(&record->receiveRing, length, buffer, 0) != 0) return -1;
  // Bytes of a block still arriving may be read early; its completion adds them back.
  record->completeBytes -= length;
  record->readerTookAt = ReadMillisecondClock();
  record->readerTaking = 1;
  RecvSocket(handle);
  return 0;
}

int NetWorkRecvToPeek(EngineHandle handle, void* buffer, int32_t length) {
  NetWorkRecord* record = AdmitHandle(handle, PeekText);
  if (record == nullptr) return -1;
  if (RecvSocket(handle) == -1) return -1;
  if (record->framed == 0) return RawRead(record, buffer, length, MSG_PEEK);
  return ReadRingBytes(&record->receiveRing, length, buffer, 1) != 0 ? -1 : 0;
}

int NetWorkSend(EngineHandle handle, const void* data, int32_t length) {
  NetWorkRecord* record = AdmitHandle(handle, SendText);
  if (record == nullptr || record->connected == 0) return -1;
  SendSocket(handle);
  if (record->framed == 0) return send(SocketOf(record), static_cast<const char*>(data), length, 0);
  if (AppendRingBytes(&record->sendRing, data, length) != 0)
    return WriteLogFormat("送信データ %d byte の追加に失敗しました in NewWorkSend", length);
  SendSocket(handle);
  return 0;
}

int GetNetWorkDataLength(EngineHandle handle) {
  if (NetWorkModule.started == 0) return -1;
  ProcessNetWorkMessages(0);
  RecvSocket(handle);
  SendSocket(handle);
  NetWorkRecord* record = AdmitHandle(handle, DataLengthText);
  if (record == nullptr) return -1;
  if (record->framed != 0) return record->completeBytes;
  char byte = 0;
  const int peeked = NetWorkRecvToPeek(handle, &byte, 1);
  if (peeked < 0) return peeked;
  return peeked > 0 ? 1 : 0;
}

int CloseNetWork(EngineHandle handle) {
  if (NetWorkModule.started == 0) return -1;
  NetWorkRecord* record = NetWorkTable.Find(handle);
  if (record == nullptr || record->inUse == 0) return -1;
  ProcessNetWorkMessages(0);
  const int32_t start = ReadMillisecondClock();
  auto within = [](int32_t since) {
    return ((ReadMillisecondClock() - since) & 0x7FFFFFFF) < CloseDrainMs;
  };
  // Nothing more comes once the peer has closed and the socket has been read to its end,
  // and nothing more goes once the peer refuses: the waits end there, not at their limit.
  while (record->receiveRemaining != 0 && record->errorFlag == 0 && within(start) &&
         !(record->connected == 0 && record->receiveIdle != 0) && ProcessNetWorkMessages(0) == 0) {
    RecvSocket(handle);
  }
  const int32_t send_start = ReadMillisecondClock();
  while (record->sendRing.dataLength > 0 && record->errorFlag == 0 && within(send_start) &&
         record->sendFailed == 0 && ProcessNetWorkMessages(0) == 0) {
    SendSocket(handle);
  }
  if (record->socket != 0) {
    WSAAsyncSelect(SocketOf(record), NetWorkWindow(), 0, 0);
    closesocket(SocketOf(record));
  }
  record->socket = 0;
  record->connected = 0;
  record->disconnectSeen = 1;
  record->stateA = 0;
  FreeRecord(record, HandleSlot(handle));
  return 0;
}

int ProcessNetWorkMessages(int32_t close_dead) {
  if (NetWorkModule.window == nullptr || NetWorkModule.started == 0) return 0;
  if (close_dead == 1) {
    NetWorkRecord* record = NetWorkModule.listHead.next;
    while (record != nullptr && record->next != nullptr) {
      NetWorkRecord* next = record->next;
      const bool dead = record->errorFlag != 0 ||
                        (record->connected == 0 && record->disconnectSeen == 1 && record->autoClose == 1);
      if (record->inUse != 0 && dead) CloseNetWork(record->ownHandle);
      record = next;
    }
    const int32_t listening = NetWorkTable.records[NetWorkListenSlot] != nullptr ? 1 : 0;
    if (NetWorkModule.acceptWaiting != 0 && NetWorkTable.count - listening < NetWorkConnectionSlots)
      AcceptNetWork();
  }
  if (!QueueFoundEmptyJustNow()) PumpNetWorkWindow();
  if (close_dead == 1) {
    for (NetWorkRecord* record = NetWorkModule.listHead.next; record != nullptr && record->next != nullptr;
         record = record->next) {
      if (record->inUse == 0 || record->errorFlag != 0) continue;
      if (record->receiveMore != 0) RecvSocket(record->ownHandle);
      if (record->sendMore != 0) SendSocket(record->ownHandle);
    }
  }
  return 0;
}

int HandleNetWorkSocketEvent(uint32_t socket, uint32_t event_word) {
  NetWorkRecord* record = NetWorkModule.listHead.next;
  while (record != nullptr && record->next != nullptr &&
         static_cast<uint32_t>(record->socket) != socket) {
    record = record->next;
  }
  if (record == nullptr || record->next == nullptr) {
    WriteLog("通信エラー No.1\n");
    return 0;
  }
  const uint32_t error = event_word >> 16;
  switch (event_word & 0xFFFF) {
    case FD_READ:
      record->receiveIdle = 0;
      if (NetWorkModule.transfersRunning != 0) {
        record->receiveMore = 1;
      } else {
        RecvSocket(record->ownHandle);
      }
      return 1;
    case FD_WRITE:
      if (NetWorkModule.transfersRunning != 0) {
        record->sendMore = 1;
      } else {
        SendSocket(record->ownHandle);
      }
      return 1;
    case FD_ACCEPT:
      if (NetWorkModule.transfersRunning != 0) {
        NetWorkModule.acceptWaiting = 1;
        return 1;
      }
      return AcceptNetWork();
    case FD_CONNECT:
      // A failed connection attempt leaves nothing to talk to: the handle has failed.
      record->connecting = 0;
      if (error == 0) {
        record->connected = 1;
      } else {
        WriteLogFormat("ネットワークログ。connectに失敗しました[%u]", error);
        record->errorFlag = 1;
      }
      return 1;
    case FD_CLOSE:
      record->receiveIdle = 0;
      record->connected = 0;
      record->disconnectSeen = 0;
      if (error != 0) record->closeError = static_cast<int32_t>(error);
      return 1;
    default:
      return 1;
  }
}

int TerminateNetWork() {
  if (NetWorkModule.started == 0) return 0;
  WriteLog("ネットワーク関連の終了処理を行います \n");
  // The listening record goes first: a connection accepted while the others close (their
  // closes pump the window) could take a slot the walk has already passed.
  const EngineHandle listener = NetWorkTable.HandleOfSlot(NetWorkListenSlot);
  if (listener != NoHandle) CloseNetWork(listener);
  for (int32_t slot = 0; slot < NetWorkConnectionSlots; ++slot) {
    const EngineHandle handle = NetWorkTable.HandleOfSlot(slot);
    if (handle != NoHandle) CloseNetWork(handle);
  }
  if (NetWorkModule.window != nullptr) {
    PostMessageA(NetWorkWindow(), WM_CLOSE, 0, 0);
    if (NetWorkModule.windowClosed == 0) PumpNetWorkWindow();
  }
  NetWorkTable.Reset();
  NetWorkModule = NetWorkModuleState{};
  WSACleanup();
  WriteLog("ネットワーク関連の終了処理は完了しました\n");
  return 0;
}

int LogNetWorkError(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatToBufferV(text, sizeof text, format, args);
  va_end(args);
  return WriteLogFormat("ネットワークログ。%s[%d]", text, WSAGetLastError());
}

}  // namespace quelt
