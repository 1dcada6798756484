#include <windows.h>
#include <mmsystem.h>

#include "core/system_settings.h"

namespace quelt {

namespace {
int TimerPeriodsBegun = 0;
bool ScreenSaverSuspended = false;
BOOL ScreenSaverWasActive = FALSE;
}  // namespace

unsigned MinimumTimerPeriod() {
  TIMECAPS caps{};
  if (timeGetDevCaps(&caps, sizeof caps) != TIMERR_NOERROR) return 1;
  return caps.wPeriodMin;
}

void BeginTimerPeriod() {
  if (timeBeginPeriod(MinimumTimerPeriod()) == TIMERR_NOERROR) ++TimerPeriodsBegun;
}

void EndTimerPeriods() {
  const unsigned period = MinimumTimerPeriod();
  for (; TimerPeriodsBegun > 0; --TimerPeriodsBegun) timeEndPeriod(period);
}

void SuspendScreenSaver() {
  if (!ScreenSaverSuspended) {
    BOOL active = FALSE;
    if (SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) == 0) active = FALSE;
    ScreenSaverWasActive = active;
    ScreenSaverSuspended = true;
  }
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDWININICHANGE);
}

void RestoreScreenSaver() {
  if (!ScreenSaverSuspended) return;
  ScreenSaverSuspended = false;
  if (ScreenSaverWasActive)
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
}

}  // namespace quelt
