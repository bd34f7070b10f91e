#include "engine/world/TimerFactor.h"

#include "engine/world/Clock.h"
#include "engine/world/SharedInfos.h"

int64_t GetTimerCount() { return eGetClock().seconds; }

CTimerFactor::CTimerFactor()
    : m_pSharedInfos(nullptr), m_dTicksPerSecond(1000000.0), m_dPrevious(0.0), m_lBase(0) {}

CTimerFactor::~CTimerFactor() = default;

eRESULT CTimerFactor::Load(SHARED_INFOS* shared) {
    m_pSharedInfos = shared;
    eCLOCK_TIME now = eGetElapsedClock();
    m_dTicksPerSecond = 1000000.0;
    m_lBase = now.seconds;
    m_dPrevious = now.microseconds / 1000000.0;
    return eOK;
}

eRESULT CTimerFactor::Unload() { return eOK; }

eRESULT CTimerFactor::OneStep() {
    eCLOCK_TIME clock = eGetElapsedClock();
    double now = static_cast<double>(clock.seconds - m_lBase) + clock.microseconds / 1000000.0;
    // A clock that stepped back gives no time at all: a negative (or, counted
    // from the base, an arbitrary) step would run every animation backwards.
    double d = now < m_dPrevious ? 0.0 : now - m_dPrevious;
    if (m_pSharedInfos) {
        m_pSharedInfos->m_dFrameFactor = d / (m_dTicksPerSecond / 30.0) * m_dTicksPerSecond;
        if (m_pSharedInfos->m_dFrameFactor != 0.0)
            m_pSharedInfos->m_dFramesPerSecond = 30.0 / m_pSharedInfos->m_dFrameFactor;
    }
    m_dPrevious = now;
    return eOK;
}
