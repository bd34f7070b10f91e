#include "engine/world/Clock.h"

#include <sys/time.h>

namespace {

eCLOCK_TIME SystemClock() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return eCLOCK_TIME{static_cast<int64_t>(tv.tv_sec), static_cast<int32_t>(tv.tv_usec)};
}

PFN_CLOCK g_pfnClock = nullptr;

}  // namespace

eCLOCK_TIME eGetClock() { return g_pfnClock ? g_pfnClock() : SystemClock(); }

PFN_CLOCK eSetClock(PFN_CLOCK clock) {
    PFN_CLOCK previous = g_pfnClock;
    g_pfnClock = clock;
    return previous;
}
