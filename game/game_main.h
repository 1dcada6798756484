#pragma once
// The program's body: engine set-up, the title/race loop, shutdown. -1 when the engine
// does not start, else 0.
namespace quelt::game {

int RunGame();
void RunRaceFrame(bool& running);

}  // namespace quelt::game
