// The application's world. For now it shows an empty scene: the frame is
// cleared to the configured colour; the crystal ball comes later.
#pragma once

#include "engine/world/World.h"

class COrbellineWorld : public CWorld {
public:
    COrbellineWorld();
    ~COrbellineWorld() override;

    eRESULT Load(void* window, unsigned short width, unsigned short height, unsigned char colorDepth,
                 bool fullScreen, ORIENTATION orientation, bool desktop, uint32_t flags, char* text) override;
    eRESULT Unload() override;
    eRESULT IncomingOSMessage(void* message) override;
    eRESULT FrameMove() override;
    eRESULT Render() override;

    void ResetView();
    void SetOrientation(ORIENTATION orientation);
    void SetTilt(float x, float y, float z);

    float m_fSpeedFactor;
};
