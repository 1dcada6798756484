#include "game/file_replace.h"

#include <cstdio>

namespace quelt::game {

// POSIX rename replaces the target in one step.
int ReplaceFileWith(const char* from, const char* to) { return std::rename(from, to) == 0 ? 0 : -1; }

}  // namespace quelt::game
