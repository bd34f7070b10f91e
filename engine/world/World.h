// The engine's root object: owns the shared record, installs one interface
// per class from the API table, and drives the per-frame protocol.
#pragma once

#include <cstdint>

#include "engine/world/Interfaces.h"
#include "engine/world/ResPacker.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Types.h"

class C3DEngine;
class CMaths3D;
class CTimerFactor;
class CUtilsParameters;

// Build stamp of the engine module, "date time".
const char* eGetEngineBuild();

class CWorld {
public:
    CWorld();
    virtual ~CWorld();

    virtual eRESULT Load(void* window, unsigned short width, unsigned short height,
                         unsigned char colorDepth, bool fullScreen, ORIENTATION orientation,
                         bool desktop, uint32_t flags, char* text);
    virtual eRESULT Unload();
    virtual eRESULT IncomingOSMessage(void* message);
    virtual eRESULT FrameMove();
    virtual eRESULT Render();

    uint32_t EnumDevices(ENUM_DEVICE* devices, uint32_t count, uint32_t flags, char* text);
    eRESULT SetParameters(CUtilsParameters* param, CUtilsParameters* paramEx, PFN_RES_STATIC resStatic,
                          const char* packPath, PFN_RES_PACKER resPacker, const char* logPath);
    eRESULT RenderOneStep();
    eRESULT EndSceneOneStep();

    SHARED_INFOS* m_pSharedInfos;
    C3DEngine* m_p3DEngine;
    CAudioEngine* m_pAudioEngine;
    CInputEngine* m_pInputEngine;
    CNetworkEngine* m_pNetworkEngine;
    _pft_eKavrosApi m_Api;
    _pft_eKavrosApiFctSet m_SelectedApi[4];
    CMaths3D* m_pMaths3D;
    CTimerFactor* m_pTimerFactor;

private:
    CWorld(const CWorld&) = delete;
    CWorld& operator=(const CWorld&) = delete;
    void ReadEngineParameters();
};
