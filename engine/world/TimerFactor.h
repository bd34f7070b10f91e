// Frame-time service: the frame factor is the last frame's duration times 30.
#pragma once

#include <cstdint>

#include "engine/world/Types.h"

struct SHARED_INFOS;

// Current calendar time in whole seconds.
int64_t GetTimerCount();

class CTimerFactor {
public:
    CTimerFactor();
    virtual ~CTimerFactor();

    eRESULT Load(SHARED_INFOS* shared);
    eRESULT Unload();
    eRESULT OneStep();

private:
    SHARED_INFOS* m_pSharedInfos;
    double m_dTicksPerSecond;
    double m_dPrevious;  // seconds since the base
    int64_t m_lBase;     // whole seconds of the clock at Load
};
