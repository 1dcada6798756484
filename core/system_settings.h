#pragma once
// System-wide settings the engine changes while it runs and gives back at the end: the
// multimedia timer period and the screen saver.

namespace quelt {

// timeBeginPeriod with the minimum period; every begin is matched by EndTimerPeriods.
void BeginTimerPeriod();
// timeEndPeriod once for every period begun and not yet ended.
void EndTimerPeriods();
// The minimum period timeGetDevCaps reports (ms).
unsigned MinimumTimerPeriod();

// Turns the screen saver off, remembering whether it was on.
void SuspendScreenSaver();
// Gives the screen saver back the state SuspendScreenSaver found (nothing when it was
// never suspended).
void RestoreScreenSaver();

}  // namespace quelt
