#pragma once
// Network handles (kind 9): 4096 connection slots and slot 4096 for the listening record,
// and the module state the engine core's pump, window procedure and shutdown look at.
#include <cstdint>

#include "core/engine_handle.h"
#include "core/ring_buffer.h"

namespace quelt {

struct NetWorkRecord {
  int32_t inUse;
  int32_t errorFlag;       // 1 = failed; every operation refuses the handle
  int32_t connected;
  int32_t disconnectSeen;  // set when GetNetWorkAcceptState first reports the loss
  int32_t stateA;
  int32_t stateB;
  int32_t framed;          // 1 = blocks behind a 4-byte little-endian length, 0 = raw stream
  int32_t autoClose;       // 1 = the pump closes the handle once its loss has been seen
  int32_t checkId;
  uintptr_t socket;
  int32_t receiveRemaining;  // bytes still missing of the block being received
  RingBuffer receiveRing;
  int32_t receiveBlockLength;
  int32_t completeBytes;     // bytes of fully received blocks not yet read
  RingBuffer sendRing;
  int32_t sendRemaining;     // unsent bytes of the block being sent
  int32_t headerRemaining;   // unsent bytes of its length word after a short send
  uint8_t peerAddress[4];    // network order
  int32_t peerPort;          // network order
  EngineHandle ownHandle;
  NetWorkRecord* record;
  NetWorkRecord* next;
  NetWorkRecord* previous;
  // Each handle guards its own transfers against re-entry through the nested pump.
  int32_t receiveBusy;
  int32_t sendBusy;
  // An outgoing connection waiting for its connect event, and when it began (ms clock).
  int32_t connecting;
  int32_t connectStart;
  // 1 when the last receive pass stopped at its bound with bytes still waiting, or a read
  // event came while a transfer ran: the pump's walk runs another pass.
  int32_t receiveMore;
  // 1 when a write event came while a transfer ran: the pump's walk runs a send pass.
  int32_t sendMore;
  // 1 when the last receive emptied the socket (a read came back short): passes are skipped
  // until the next read event says bytes have come.
  int32_t receiveIdle;
  // When the program last took bytes of a framed handle (millisecond clock), and 1 once it
  // has: a reader far behind that is still taking holds further receiving back.
  int32_t readerTookAt;
  int32_t readerTaking;
  // The bytes of a length word that has come in pieces.
  uint8_t receiveWord[4];
  int32_t receiveWordLength;
  // Not 0 when the connection was reset or aborted rather than closed in order (the close
  // event's error code, or a raw read's), so the stream may have been cut short.
  int32_t closeError;
  // 1 once a send has failed other than for a full socket: the peer takes nothing more.
  int32_t sendFailed;
};

inline constexpr int32_t NetWorkConnectionSlots = 4096;
inline constexpr int32_t NetWorkListenSlot = 4096;
inline constexpr uint32_t NetWorkSocketMessage = 0x505;
inline constexpr uint32_t NetWorkLookupMessage = 0x506;  // a host look-up has ended
inline constexpr int32_t NetWorkConnectTimeLimitMs = 10000;
inline constexpr int32_t HostLookupCapacity = 100;

using NetWorkTableType =
    HandleTable<NetWorkRecord, NetWorkConnectionSlots + 1, HandleKind::NetWork,
                SlotChoice::FirstEmpty, &NetWorkRecord::checkId, &NetWorkRecord::ownHandle>;

struct NetWorkModuleState {
  int32_t started;
  int32_t windowClosed;
  void* window;             // the hidden window that receives the socket messages
  int32_t rawMode;          // 1 = new connections are raw streams
  int32_t manualClose;      // 1 = dropped connections stay until CloseNetWork
  NetWorkRecord listHead;   // open handles, newest right after the head
  NetWorkRecord listTail;
  int32_t connectTimeLimitMs;  // an outgoing connection not made by then has failed
  int64_t queueFoundEmptyAt;   // when a pump last emptied the window's queue (performance
                               // counter); 0 = not yet
  int32_t queueLookGap;        // microseconds before an emptied queue is looked at again
  // 1 after a pending connection was refused for want of a slot. WinSock signals the next
  // pending connection only after an accept call, so the pump accepts it once a slot frees.
  int32_t acceptWaiting;
  // Transfers (receive, send and accept passes) running on the stack. The events their
  // pumps dispatch only mark their handle for the pump's walk: serving each inside the
  // pass before it would nest one pass per waiting event.
  int32_t transfersRunning;
};

extern NetWorkTableType NetWorkTable;
extern NetWorkModuleState NetWorkModule;

// recv's answer for a socket: the count, 0 at the end of the stream, negative on an error
// or when nothing is there; `peek` 1 leaves the bytes in the socket.
using SocketReader = int (*)(uintptr_t socket, void* buffer, int32_t length, int32_t peek);
// One receive pass of a framed handle (RecvSocket's work after its checks) at `now` on the
// millisecond clock: 0, or -1 when the handle has failed. Bounded in bytes and blocks, held
// back while a reader far behind is still taking (receiveMore asks for another pass), and
// beginning no block while the ring holds NetWorkReceiveAheadLimit bytes.
inline constexpr int32_t NetWorkReceiveAheadLimit = 8 << 20;
int ReceiveFramedBlocks(NetWorkRecord* record, SocketReader read, int32_t now);
// The socket events a connection is registered for: a raw handle's reads and writes go
// straight to the socket, so only its close matters; a framed handle's transfers are driven
// by its read and write events (WinSock's FD_READ | FD_WRITE | FD_CLOSE, FD_CLOSE).
constexpr long NetWorkEvents(int32_t framed) { return framed != 0 ? 0x01 | 0x02 | 0x20 : 0x20; }
int RecvSocket(EngineHandle handle);
int SendSocket(EngineHandle handle);
int AcceptNetWork();
int GetNetWorkAcceptState(EngineHandle handle);
int NetWorkRecv(EngineHandle handle, void* buffer, int32_t length);
int NetWorkRecvToPeek(EngineHandle handle, void* buffer, int32_t length);
int NetWorkSend(EngineHandle handle, const void* data, int32_t length);
int GetNetWorkDataLength(EngineHandle handle);
int CloseNetWork(EngineHandle handle);
int TerminateNetWork();
int ProcessNetWorkMessages(int32_t close_dead);
// Message 0x505 of the window procedure: the socket, and the event (low 16 bits) with the
// error code (high 16 bits).
int HandleNetWorkSocketEvent(uint32_t socket, uint32_t event_word);
int LogNetWorkError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The network's own start-up. StartNetWork starts WinSock and makes the hidden window
// (0 or -1). ListenNetWork opens the listening record on a port (0 picks a free one) and
// returns the port, or -1. ConnectNetWork connects to an IPv4 address (network order) and
// returns the new handle (raw or framed as asked) or -1 at once: the connection is made
// while the pump runs, and a handle still connecting counts as connected to
// GetNetWorkAcceptState until the connect event or the time limit (then it has failed).
// The two settings apply to connections accepted afterwards.
int StartNetWork();
int32_t ListenNetWork(uint16_t port);
EngineHandle ConnectNetWork(uint32_t address, uint16_t port, int32_t framed);
void SetNetWorkRawMode(int32_t raw);
// Host names are looked up on the network window without blocking: StartHostLookup gives a
// look-up number (or -1); PollHostLookup answers 1 with the IPv4 address (network order)
// and ends the look-up, 0 while it runs, -1 when it failed (and has ended); EndHostLookup
// abandons one.
int32_t StartHostLookup(const char* name);
int PollHostLookup(int32_t lookup, uint32_t* address);
void EndHostLookup(int32_t lookup);
int HandleHostLookupEvent(uintptr_t task, uint32_t event_word);
void SetNetWorkManualClose(int32_t manual);

// The HTTP body file (a Windows file handle): created as a new file beside `path`, whose
// name is stored in `partPath`; closing it either moves it over `path` (keep 1) or
// deletes it. Writing gives false when not every byte was written (a full disk); closing
// gives false when the move failed.
void* CreateHttpBodyFile(const char* path, char* partPath, int32_t partPathSize);
bool WriteHttpBodyFile(void* file, const void* data, int32_t length);
bool CloseHttpBodyFile(void* file, const char* partPath, const char* path, int32_t keep);

}  // namespace quelt
