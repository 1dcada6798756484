#pragma once
// Race set-up and everything drawn in a race or on the title screen.
#include <cstdint>

namespace quelt::game {

void LoadGameAssets();
void ResetPlayer();
void StartRace(int32_t course);

// The player's y the camera follows, the goal's once it has been reached.
int32_t CameraY();
int32_t ScreenY(int32_t world_y);

void DrawRaceBackground();
void DrawRaceHud();
void DrawRivals();
void DrawPlayer();
void DrawTitleScreen();
void DrawDemoRunner();

// Adds to the virtue without wrapping past the largest value.
int32_t AddVirtue(int32_t virtue, int64_t amount);

}  // namespace quelt::game
