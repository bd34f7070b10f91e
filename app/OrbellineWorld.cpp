#include "app/OrbellineWorld.h"

#include <cmath>

#include "engine/utils/UtilsParameters.h"

COrbellineWorld::COrbellineWorld() : m_fSpeedFactor(1.0f) {}

COrbellineWorld::~COrbellineWorld() = default;

eRESULT COrbellineWorld::Load(void* window, unsigned short width, unsigned short height, unsigned char colorDepth,
                              bool fullScreen, ORIENTATION orientation, bool desktop, uint32_t flags, char* text) {
    SHARED_INFOS* s = m_pSharedInfos;
    // The logical screen is always 320 x 480 units; the rest is pixel scale.
    s->m_fScaleZ = 1.0f;
    s->m_fScaleY = height / 480.0f;
    s->m_fScaleX = width / 320.0f;
    eRESULT r = CWorld::Load(window, static_cast<unsigned short>(std::floor(width / s->m_fScaleX)),
                             static_cast<unsigned short>(std::floor(height / s->m_fScaleY)), colorDepth, fullScreen,
                             orientation, desktop, flags, text);
    if (r < 0) return eFAILED;
    snprintf(s->m_szDataPath, sizeof(s->m_szDataPath), "%s", "Data/");
    if (s->m_pParamEx) m_fSpeedFactor = s->m_pParamEx->ReadFloat("CAMERA", "SPEED_FACTOR", 1.0f);
    return eOK;
}

eRESULT COrbellineWorld::Unload() { return CWorld::Unload(); }

eRESULT COrbellineWorld::IncomingOSMessage(void* message) {
    CWorld::IncomingOSMessage(message);
    return eOK;
}

eRESULT COrbellineWorld::FrameMove() {
    m_pSharedInfos->m_dFrameFactor = m_pSharedInfos->m_dFrameFactor * m_fSpeedFactor;
    return CWorld::FrameMove();
}

eRESULT COrbellineWorld::Render() { return CWorld::Render(); }

void COrbellineWorld::ResetView() {}

// The scene keeps the orientation it was loaded with.
void COrbellineWorld::SetOrientation(ORIENTATION) {}

void COrbellineWorld::SetTilt(float, float, float) {}
