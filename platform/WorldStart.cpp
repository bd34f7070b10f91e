#include "platform/WorldStart.h"

#include <cstdint>
#include <vector>

#include "engine/utils/UtilsParameters.h"
#include "engine/world/PlatformSelect.h"
#include "engine/world/Trace.h"
#include "engine/world/World.h"
#include "platform/Platform.h"

namespace platform {

eRESULT SelectAndLoadWorld(CWorld* world, CUtilsParameters* engineParams, int scale, WorldSize size,
                           const WorldIdentity& identity, const char* logPath) {
    std::vector<ENUM_DEVICE> devices(10);
    uint32_t count = world->EnumDevices(devices.data(), 10, 0x0F000000u, nullptr);
    if (count == 0) {
        eTRACE(logPath, 1, "# EnumDevices failed! (dwCount=%u, \"%s\")\n", 0u, "");
        return eFAILED;
    }

    // At scale 1 these are the phone's 320 x 480; at scale N the drawable's pixels.
    const uint16_t width = static_cast<uint16_t>(kViewWidthPoints * scale);
    const uint16_t height = static_cast<uint16_t>(kViewHeightPoints * scale);

    PLATFORM_SELECT sel{};
    sel.bAskOnStart = engineParams->ReadBool("WORLD", "ASK_ME_ON_START", false);
    sel.wInput = 0;
    sel.wAudio = 0;
    sel.wNetwork = 0;
    sel.wRenderer = 5;
    sel.wWidth = width;
    sel.wHeight = height;
    sel.wRezolution = 3;
    sel.bColorDepth = engineParams->ReadByte("WORLD", "COLOR_DEPTH", 32);
    sel.wColorDepth = 1;
    sel.bFullScreen = 1;
    sel.bDesktop = 0;
    sel.pApi = &world->m_Api;
    sel.eOrientation = ORIENTATION_LANDSCAPE_RIGHT;

    if (ReadSelectParams(&sel, engineParams) < 0 || (sel.bAskOnStart && SelectPlatform(&sel, engineParams) < 0)) {
        eTRACE(logPath, 1, "# SelectPlatform failed! (dwCount=%u, \"%s\")\n", count, "");
        return eFAILED;
    }
    if (ValidPlatform(&sel, devices.data(), count) < 0) {
        const char* name = sel.wRenderer < devices.size() ? devices[sel.wRenderer].szName : "";
        eTRACE(logPath, 1, "# ValidPlatform failed! (\"%s\", \"%s\")\n", "", name);
        return eFAILED;
    }
    SaveSelectParams(&sel, engineParams, &world->m_Api);

    const SHARED_INFOS* shared = world->m_pSharedInfos;
    eTRACE(logPath, 1, "# \"eKavrosSDK\" (v%d,%d) build: %s\n", static_cast<int>(shared->m_dwVersion >> 16),
           static_cast<int>(static_cast<int16_t>(shared->m_dwVersion & 0xFFFF)), shared->m_szBuild);
    const ENUM_DEVICE& renderer = devices[sel.wRenderer];
    eTRACE(logPath, 1, "# \"%s\" (v%d,%d) build: %s\n", renderer.szName, static_cast<int>(renderer.dwVersion >> 16),
           static_cast<int>(static_cast<int16_t>(renderer.dwVersion & 0xFFFF)), renderer.szBuild);
    eTRACE(logPath, 1, "# \"%s\" (v%d,%d) build: %s\n", identity.name, identity.major, identity.minor,
           identity.build);

    uint32_t flags = devices[sel.wInput].dwFlags | devices[sel.wAudio].dwFlags | devices[sel.wNetwork].dwFlags |
                     devices[sel.wRenderer].dwFlags;
    char text[1] = "";
    if (size == WorldSize::kPoints) {
        SHARED_INFOS* s = world->m_pSharedInfos;
        s->m_fScaleX = s->m_fScaleY = static_cast<float>(scale);
        s->m_fScaleZ = 1.0f;
        sel.wWidth = kViewWidthPoints;
        sel.wHeight = kViewHeightPoints;
    }
    if (world->Load(nullptr, sel.wWidth, sel.wHeight, sel.bColorDepth, sel.bFullScreen != 0,
                    ORIENTATION_LANDSCAPE_RIGHT, sel.bDesktop != 0, flags, text) < 0) {
        eTRACE(logPath, 1, "# pWorld->Load(0x%X, %ux%u:%u) failed!\n", 0u, static_cast<unsigned>(sel.wWidth),
               static_cast<unsigned>(sel.wHeight), static_cast<unsigned>(sel.bFullScreen));
        return eFAILED;
    }
    world->FrameMove();
    return eOK;
}

}  // namespace platform
