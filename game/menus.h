#pragma once
// The title menu, training, the pause dialog and the save/load screen.
#include <array>
#include <cstdint>
#include <string>

namespace quelt::game {

constexpr std::array<int32_t, 15> MenuCursorRows = {220, 240, 260, 280, 300, 320, 340, 360,
                                                    380, 400, 420, 440, 480, 520, 540};
extern int32_t TitleMenuCursor;

int32_t RunTitleMenu();
void RunTrainingMenu();
void RunSaveLoadScreen(int32_t save_flag);
int32_t RunPauseDialog();

// The virtue one relaxation-up costs at a total level: 2 to that power, exact for every level.
int64_t TrainingCost(int32_t total_level);
// The same cost in decimal digits, exact at every level (past 62 it outgrows TrainingCost).
std::string TrainingCostText(int32_t total_level);
void PlayMoveSound();
void PlayDecideSound();

}  // namespace quelt::game
