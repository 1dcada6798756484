// The native builds have no WinSock: the network never starts, so every entry answers at
// its first check and the HTTP slots find no connection.
#include "network/network_state.h"

#include "core/log.h"

namespace quelt {

int RecvSocket(EngineHandle) { return -1; }
int SendSocket(EngineHandle) { return -1; }
int AcceptNetWork() { return -1; }
int GetNetWorkAcceptState(EngineHandle) { return -1; }
int NetWorkRecv(EngineHandle, void*, int32_t) { return -1; }
int NetWorkRecvToPeek(EngineHandle, void*, int32_t) { return -1; }
int NetWorkSend(EngineHandle, const void*, int32_t) { return -1; }
int GetNetWorkDataLength(EngineHandle) { return -1; }
int CloseNetWork(EngineHandle) { return -1; }
int TerminateNetWork() { return 0; }
int ProcessNetWorkMessages(int32_t) { return 0; }
int HandleNetWorkSocketEvent(uint32_t, uint32_t) { return WriteLog("通信エラー No.1\n") + 1; }
int LogNetWorkError(const char*, ...) { return -1; }
int StartNetWork() { return -1; }
int32_t ListenNetWork(uint16_t) { return -1; }
EngineHandle ConnectNetWork(uint32_t, uint16_t, int32_t) { return NoHandle; }
void SetNetWorkRawMode(int32_t raw) { NetWorkModule.rawMode = raw != 0 ? 1 : 0; }
void SetNetWorkManualClose(int32_t manual) { NetWorkModule.manualClose = manual != 0 ? 1 : 0; }
int32_t StartHostLookup(const char*) { return -1; }
int PollHostLookup(int32_t, uint32_t*) { return -1; }
void EndHostLookup(int32_t) {}
int HandleHostLookupEvent(uintptr_t, uint32_t) { return 0; }
void* CreateHttpBodyFile(const char*, char*, int32_t) { return nullptr; }
bool WriteHttpBodyFile(void*, const void*, int32_t length) { return length <= 0; }
bool CloseHttpBodyFile(void*, const char*, const char*, int32_t) { return true; }

}  // namespace quelt
