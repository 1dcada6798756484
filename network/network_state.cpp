#include "network/network_state.h"

#include "core/log.h"

namespace quelt {

NetWorkTableType NetWorkTable;
NetWorkModuleState NetWorkModule;

// Starting the network (WinSock, its window, the listening record) belongs to the network
// layer proper; while it has not started, every entry below answers at its first check.

int TerminateNetWork() {
  if (NetWorkModule.started == 0) return 0;
  WriteLog("ネットワーク関連の終了処理を行います \n");
  NetWorkTable.Reset();
  NetWorkModule = NetWorkModuleState{};
  WriteLog("ネットワーク関連の終了処理は完了しました\n");
  return 0;
}

int ProcessNetWorkMessages(int32_t /*close_dead*/) {
  if (NetWorkModule.window == nullptr || NetWorkModule.started == 0) return 0;
  return 0;
}

int HandleNetWorkSocketEvent(uint32_t socket, uint32_t /*event_word*/) {
  for (NetWorkRecord* record = NetWorkModule.listHead.next;
       record != nullptr && record->next != nullptr; record = record->next) {
    if (record->socket == socket) return 1;
  }
  WriteLog("通信エラー No.1\n");
  return 0;
}

}  // namespace quelt
