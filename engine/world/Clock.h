// The one clock the engine reads. A host may replace it (for instance with a
// simulated clock, so that a scripted run gives the same frames every time).
#pragma once

#include <cstdint>

struct eCLOCK_TIME {
    int64_t seconds;       // calendar seconds
    int32_t microseconds;  // 0 .. 999999
};

typedef eCLOCK_TIME (*PFN_CLOCK)();

// Reads the current clock.
eCLOCK_TIME eGetClock();

// The clock elapsed time is measured on: the installed clock when there is
// one, otherwise the system's monotonic clock, which setting the date does
// not move.
eCLOCK_TIME eGetElapsedClock();

// Installs a clock function; null restores the system clock.
// Returns the previously installed function (null for the system clock).
PFN_CLOCK eSetClock(PFN_CLOCK clock);
