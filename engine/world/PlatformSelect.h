// Platform selection: which renderer, audio, input and network rows, screen
// size and colour depth the host asks for, matched against the devices the
// world enumerated.
#pragma once

#include <cstdint>

#include "engine/world/Interfaces.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Types.h"

class CUtilsParameters;

struct PLATFORM_TAB_ROW {
    const char* szName;
    uint32_t dwVersion;
    uint32_t dwFlags;
};

struct REZOLUTION_TAB_ROW {
    uint16_t wWidth, wHeight;
    const char* szName;
};

struct COLOR_DEPTH_TAB_ROW {
    uint8_t bDepth;
    const char* szName;
};

constexpr int eRENDERER_TAB_ROWS = 8;
constexpr int eAUDIO_TAB_ROWS = 5;
constexpr int eINPUT_TAB_ROWS = 3;
constexpr int eNETWORK_TAB_ROWS = 2;
constexpr int eREZOLUTION_TAB_ROWS = 14;
constexpr int eCOLOR_DEPTH_TAB_ROWS = 2;

extern const PLATFORM_TAB_ROW RENDERER_TAB[eRENDERER_TAB_ROWS];
extern const PLATFORM_TAB_ROW AUDIO_TAB[eAUDIO_TAB_ROWS];
extern const PLATFORM_TAB_ROW INPUT_TAB[eINPUT_TAB_ROWS];
extern const PLATFORM_TAB_ROW NETWORK_TAB[eNETWORK_TAB_ROWS];
extern const REZOLUTION_TAB_ROW REZOLUTION_TAB[eREZOLUTION_TAB_ROWS];
extern const COLOR_DEPTH_TAB_ROW COLOR_DEPTH_TAB[eCOLOR_DEPTH_TAB_ROWS];

struct PLATFORM_SELECT {
    uint8_t bAskOnStart;
    uint16_t wInput;     // table row, then device index after ValidPlatform
    uint16_t wAudio;
    uint16_t wNetwork;
    uint16_t wRenderer;
    uint16_t wWidth, wHeight;
    uint16_t wRezolution;  // row of REZOLUTION_TAB
    uint8_t bColorDepth;
    uint16_t wColorDepth;  // row of COLOR_DEPTH_TAB
    uint8_t bFullScreen;
    uint8_t bDesktop;
    _pft_eKavrosApi* pApi;
    ORIENTATION eOrientation;
};

eRESULT ReadSelectParams(PLATFORM_SELECT* sel, CUtilsParameters* param);
eRESULT SelectPlatform(PLATFORM_SELECT* sel, CUtilsParameters* param);
eRESULT ValidPlatform(PLATFORM_SELECT* sel, const ENUM_DEVICE* devices, uint32_t count);
eRESULT SaveSelectParams(PLATFORM_SELECT* sel, CUtilsParameters* param, _pft_eKavrosApi* api);
