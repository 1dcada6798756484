#pragma once
// Network handles (kind 9): 4096 connection slots and slot 4096 for the listening record,
// and the module state the engine core's pump, window procedure and shutdown look at.
#include <cstdint>

#include "core/engine_handle.h"

namespace quelt {

struct NetWorkRecord {
  int32_t inUse;
  int32_t errorFlag;
  int32_t connected;
  int32_t disconnectSeen;
  int32_t checkId;
  uint32_t socket;
  EngineHandle ownHandle;
  NetWorkRecord* next;
  NetWorkRecord* previous;
};

inline constexpr int32_t NetWorkConnectionSlots = 4096;
inline constexpr int32_t NetWorkListenSlot = 4096;

using NetWorkTableType =
    HandleTable<NetWorkRecord, NetWorkConnectionSlots + 1, HandleKind::NetWork,
                SlotChoice::FirstEmpty, &NetWorkRecord::checkId, &NetWorkRecord::ownHandle>;

struct NetWorkModuleState {
  int32_t started;
  int32_t windowClosed;
  void* window;             // the hidden window that receives the socket messages
  NetWorkRecord listHead;   // open handles, newest right after the head
  NetWorkRecord listTail;
};

extern NetWorkTableType NetWorkTable;
extern NetWorkModuleState NetWorkModule;

int TerminateNetWork();
int ProcessNetWorkMessages(int32_t close_dead);
// Message 0x505 of the window procedure: the socket, and the event (low 16 bits) with the
// error code (high 16 bits).
int HandleNetWorkSocketEvent(uint32_t socket, uint32_t event_word);

}  // namespace quelt
