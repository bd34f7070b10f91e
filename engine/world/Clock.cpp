#include "engine/world/Clock.h"

#include <sys/time.h>
#include <time.h>

namespace {

eCLOCK_TIME SystemClock() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return eCLOCK_TIME{static_cast<int64_t>(tv.tv_sec), static_cast<int32_t>(tv.tv_usec)};
}

eCLOCK_TIME MonotonicClock() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return eCLOCK_TIME{static_cast<int64_t>(ts.tv_sec), static_cast<int32_t>(ts.tv_nsec / 1000)};
}

PFN_CLOCK g_pfnClock = nullptr;

}  // namespace

eCLOCK_TIME eGetClock() { return g_pfnClock ? g_pfnClock() : SystemClock(); }

eCLOCK_TIME eGetElapsedClock() { return g_pfnClock ? g_pfnClock() : MonotonicClock(); }

PFN_CLOCK eSetClock(PFN_CLOCK clock) {
    PFN_CLOCK previous = g_pfnClock;
    g_pfnClock = clock;
    return previous;
}
