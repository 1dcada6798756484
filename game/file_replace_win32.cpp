#include "game/file_replace.h"

#include <windows.h>

namespace quelt::game {

int ReplaceFileWith(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}

}  // namespace quelt::game
