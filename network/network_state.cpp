#include "network/network_state.h"

namespace quelt {

NetWorkTableType NetWorkTable;
NetWorkModuleState NetWorkModule;

}  // namespace quelt
