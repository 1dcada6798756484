#pragma once
// Putting a finished file in the place of another in one step, so that a reader finds
// either the old file whole or the new one whole.

namespace quelt::game {

// Renames `from` to `to`, replacing `to` when it exists. 0, or -1 when nothing was moved.
int ReplaceFileWith(const char* from, const char* to);

}  // namespace quelt::game
