#include "engine/world/PlatformSelect.h"

#include <cstring>

#include "engine/utils/UtilsParameters.h"

const PLATFORM_TAB_ROW RENDERER_TAB[eRENDERER_TAB_ROWS] = {
    {"DirectX 10.0", 0x00010000, 0x01000004},   {"DirectX 9.0", 0x00010000, 0x01000002},
    {"DirectX 8.1", 0x00010000, 0x01000001},    {"DirectX Mobile", 0x00010000, 0x01000008},
    {"OpenGL 1.2", 0x00010000, 0x01000010},     {"OpenGLES 1.1", 0x00010000, 0x01000020},
    {"eKavros3D eK3D", 0x00010000, 0x01000040}, {"PSP GU", 0x00010000, 0x01000080},
};

const PLATFORM_TAB_ROW AUDIO_TAB[eAUDIO_TAB_ROWS] = {
    {"-Disabled-", 0, 0x02000000},
    {"Default OS Audio", 0x00010000, 0x02010000},
    {"DirectX Audio 8.1", 0x00010000, 0x02020000},
    {"OpenAL 1.0", 0x00010000, 0x02040000},
    {"FMOD 3.75", 0x00010000, 0x02080000},
};

const PLATFORM_TAB_ROW INPUT_TAB[eINPUT_TAB_ROWS] = {
    {"-Disabled-", 0, 0x04000000},
    {"Default OS Input", 0x00010000, 0x04100000},
    {"DirectX Input 8.1", 0x00010000, 0x04200000},
};

const PLATFORM_TAB_ROW NETWORK_TAB[eNETWORK_TAB_ROWS] = {
    {"-Disabled-", 0, 0x08000000},
    {"Default OS Network", 0x00010000, 0x09000000},
};

const REZOLUTION_TAB_ROW REZOLUTION_TAB[eREZOLUTION_TAB_ROWS] = {
    {200, 200, "200 x 200"},     {320, 200, "320 x 200"},     {320, 240, "320 x 240"},
    {320, 480, "320 x 480"},     {480, 272, "480 x 272"},     {480, 320, "480 x 320"},
    {480, 360, "480 x 360"},     {512, 512, "512 x 512"},     {640, 480, "640 x 480"},
    {800, 600, "800 x 600"},     {1024, 768, "1024 x 768"},   {1280, 1024, "1280 x 1024"},
    {1440, 900, "1440 x 900"},   {1600, 1200, "1600 x 1200"},
};

const COLOR_DEPTH_TAB_ROW COLOR_DEPTH_TAB[eCOLOR_DEPTH_TAB_ROWS] = {
    {16, "16 bits"},
    {32, "32 bits"},
};

eRESULT ReadSelectParams(PLATFORM_SELECT* sel, CUtilsParameters* /*param*/) {
    for (int i = 0; i < eREZOLUTION_TAB_ROWS; ++i) {
        if (REZOLUTION_TAB[i].wWidth == sel->wWidth && REZOLUTION_TAB[i].wHeight == sel->wHeight) {
            sel->wRezolution = static_cast<uint16_t>(i);
            break;
        }
    }
    for (int i = 0; i < eCOLOR_DEPTH_TAB_ROWS; ++i) {
        if (COLOR_DEPTH_TAB[i].bDepth == sel->bColorDepth) {
            sel->wColorDepth = static_cast<uint16_t>(i);
            break;
        }
    }
    return eOK;
}

// The interactive chooser; there is none on this platform.
eRESULT SelectPlatform(PLATFORM_SELECT* /*sel*/, CUtilsParameters* /*param*/) { return eOK; }

namespace {

// Index of the first device named like the row, or -1.
int FindDevice(const char* name, const ENUM_DEVICE* devices, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (std::strncmp(devices[i].szName, name, sizeof(devices[i].szName)) == 0) return static_cast<int>(i);
    }
    return -1;
}

// Maps a table row to a device index; disabled rows stay as they are.
bool MapChoice(uint16_t* choice, const PLATFORM_TAB_ROW* tab, int rows, bool mayBeDisabled,
               const ENUM_DEVICE* devices, uint32_t count) {
    if (*choice >= rows) return false;
    const char* name = tab[*choice].szName;
    if (mayBeDisabled && std::strcmp(name, "-Disabled-") == 0) return true;
    int index = FindDevice(name, devices, count);
    if (index < 0) return false;
    *choice = static_cast<uint16_t>(index);
    return true;
}

}  // namespace

eRESULT ValidPlatform(PLATFORM_SELECT* sel, const ENUM_DEVICE* devices, uint32_t count) {
    if (!MapChoice(&sel->wRenderer, RENDERER_TAB, eRENDERER_TAB_ROWS, false, devices, count)) return eFAILED;
    if (!MapChoice(&sel->wAudio, AUDIO_TAB, eAUDIO_TAB_ROWS, true, devices, count)) return eFAILED;
    if (!MapChoice(&sel->wInput, INPUT_TAB, eINPUT_TAB_ROWS, true, devices, count)) return eFAILED;
    if (!MapChoice(&sel->wNetwork, NETWORK_TAB, eNETWORK_TAB_ROWS, true, devices, count)) return eFAILED;
    return eOK;
}

eRESULT SaveSelectParams(PLATFORM_SELECT* sel, CUtilsParameters* param, _pft_eKavrosApi* /*api*/) {
    if (!param) return eOK;
    // The compiled-in stores are read-only and refuse these writes.
    param->WriteBool("WORLD", "ASK_ME_ON_START", sel->bAskOnStart != 0);
    param->WriteLong("WORLD", "WIDTH", sel->wWidth);
    param->WriteLong("WORLD", "HEIGHT", sel->wHeight);
    param->WriteLong("WORLD", "COLOR_DEPTH", sel->bColorDepth);
    param->WriteBool("WORLD", "FULLSCREEN", sel->bFullScreen != 0);
    param->WriteBool("WORLD", "DESKTOP_ENABLE", sel->bDesktop != 0);
    return eOK;
}
