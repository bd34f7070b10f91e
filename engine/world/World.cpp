#include "engine/world/World.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/3d/3DEngine.h"
#include "engine/3d/Camera.h"
#include "engine/3d/Maths3D.h"
#include "engine/utils/RegularFile.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/Random.h"
#include "engine/world/TimerFactor.h"
#include "engine/world/TouchMessage.h"
#include "engine/world/Trace.h"

const char* eGetEngineBuild() { return __DATE__ " " __TIME__; }

namespace {

bool IsComplete(const _pft_eKavrosApiFctSet& set) {
    return set.GetInfos && set.InstallApi && set.UninstallApi;
}

uint32_t ReadColor(CUtilsParameters* p, const char* section, const char* prefix, uint32_t a, uint32_t r,
                   uint32_t g, uint32_t b) {
    char key[64];
    std::snprintf(key, sizeof(key), "%s_A", prefix);
    uint32_t ca = p->ReadLong(section, key, a);
    std::snprintf(key, sizeof(key), "%s_R", prefix);
    uint32_t cr = p->ReadLong(section, key, r);
    std::snprintf(key, sizeof(key), "%s_G", prefix);
    uint32_t cg = p->ReadLong(section, key, g);
    std::snprintf(key, sizeof(key), "%s_B", prefix);
    uint32_t cb = p->ReadLong(section, key, b);
    return ca << 24 | cr << 16 | cg << 8 | cb;
}

struct LightDefaults {
    uint32_t type;
    float x, y, z;
    float diffuse, specular, ambient;
    float matDiffuse, matSpecular, matAmbient;
};

void ReadLight(CUtilsParameters* p, int n, const LightDefaults& d, LIGHT_BLOCK* light) {
    char key[64];
    auto k = [&](const char* fmt) {
        std::snprintf(key, sizeof(key), fmt, n);
        return key;
    };
    light->m_bEnableCfg = p->ReadBool("LIGHT", k("LIGHT_%d_ENABLE"), true);
    light->m_bEnable = light->m_bEnableCfg;
    light->m_dwType = p->ReadLong("LIGHT", k("LIGHT_%d_TYPE"), d.type);
    light->m_afPosition[0] = p->ReadFloat("LIGHT", k("LIGHT_%d_POS_X"), d.x);
    light->m_afPosition[1] = p->ReadFloat("LIGHT", k("LIGHT_%d_POS_Y"), d.y);
    light->m_afPosition[2] = p->ReadFloat("LIGHT", k("LIGHT_%d_POS_Z"), d.z);
    light->m_fDiffuse = p->ReadFloat("LIGHT", k("LIGHT_%d_DIFFUSE"), d.diffuse);
    light->m_fSpecular = p->ReadFloat("LIGHT", k("LIGHT_%d_SPECULAR"), d.specular);
    light->m_fAmbient = p->ReadFloat("LIGHT", k("LIGHT_%d_AMBIENT"), d.ambient);
    light->m_fMaterialDiffuse = p->ReadFloat("LIGHT", k("MATERIAL_%d_DIFFUSE"), d.matDiffuse);
    light->m_fMaterialSpecular = p->ReadFloat("LIGHT", k("MATERIAL_%d_SPECULAR"), d.matSpecular);
    light->m_fMaterialAmbient = p->ReadFloat("LIGHT", k("MATERIAL_%d_AMBIENT"), d.matAmbient);
}

}  // namespace

CWorld::CWorld()
    : m_pSharedInfos(nullptr),
      m_p3DEngine(nullptr),
      m_pAudioEngine(nullptr),
      m_pInputEngine(nullptr),
      m_pNetworkEngine(nullptr),
      m_Api{},
      m_SelectedApi{},
      m_pMaths3D(nullptr),
      m_pTimerFactor(nullptr) {
    m_pSharedInfos = static_cast<SHARED_INFOS*>(std::calloc(1, sizeof(SHARED_INFOS)));
    if (m_pSharedInfos) {
        m_pSharedInfos->m_fScaleX = 1.0f;
        m_pSharedInfos->m_fScaleY = 1.0f;
        m_pSharedInfos->m_fScaleZ = 1.0f;
        std::snprintf(m_pSharedInfos->m_szBuild, sizeof(m_pSharedInfos->m_szBuild), "%s %s", __DATE__, __TIME__);
        m_pSharedInfos->m_dwVersion = 0x00030000;
        m_pSharedInfos->m_pWorld = this;
    }
}

CWorld::~CWorld() {
    delete m_pMaths3D;
    delete m_pTimerFactor;
    std::free(m_pSharedInfos);
}

eRESULT CWorld::SetParameters(CUtilsParameters* param, CUtilsParameters* paramEx, PFN_RES_STATIC resStatic,
                              const char* packPath, PFN_RES_PACKER resPacker, const char* logPath) {
    SHARED_INFOS* s = m_pSharedInfos;
    s->m_pParam = param;
    s->m_pParamEx = paramEx;
    s->m_pfnResStatic = resStatic;
    s->m_pfnResPacker = resPacker;
    if (logPath) std::snprintf(s->m_szLogPath, sizeof(s->m_szLogPath), "%s", logPath);
    if (packPath && resPacker) {
        s->m_ResPacker.m_pFile = eOpenRegularFile(packPath, s->m_szLogPath, "CWorld::SetParameters");
        if (!s->m_ResPacker.m_pFile) {
            eTRACE(s->m_szLogPath, 0, "# CWorld::SetParameters failed! (\"%s\")\n", packPath);
            return eFAILED;
        }
    }
    return eOK;
}

uint32_t CWorld::EnumDevices(ENUM_DEVICE* devices, uint32_t count, uint32_t flags, char* /*text*/) {
    if (!devices) return 0;
    std::memset(devices, 0, sizeof(ENUM_DEVICE) * count);
    uint32_t filled = 0;
    auto add = [&](uint32_t classBit, const _pft_eKavrosApiFctSet& set) {
        if ((flags & classBit) && set.GetInfos && filled < count) set.GetInfos(&devices[filled++]);
    };
    add(eDEVICE_CLASS_3D, m_Api.eKavros3DApi.eKavros3DApi_GLES);
    add(eDEVICE_CLASS_AUDIO, m_Api.eKavrosAudioApi.eKavrosAudioApi_OS);
    add(eDEVICE_CLASS_AUDIO, m_Api.eKavrosAudioApi.eKavrosAudioApi_AL);
    add(eDEVICE_CLASS_INPUT, m_Api.eKavrosInputApi.eKavrosInputApi_OS);
    add(eDEVICE_CLASS_NETWORK, m_Api.eKavrosNetworkApi.eKavrosNetworkApi_OS);
    return filled;
}

void CWorld::ReadEngineParameters() {
    SHARED_INFOS* s = m_pSharedInfos;
    CUtilsParameters* p = s->m_pParam;
    static const char kNoText[] = "";
    CUtilsParametersStatic none(kNoText, sizeof(kNoText));  // every read gives its default
    if (!p) p = &none;

    s->m_Fog.m_bEnableCfg = p->ReadBool("FOG", "FOG_ENABLE", true);
    s->m_Fog.m_bEnable = s->m_Fog.m_bEnableCfg;
    s->m_Fog.m_fStart = p->ReadFloat("FOG", "FOG_START", 1000.0f);
    s->m_Fog.m_fEnd = p->ReadFloat("FOG", "FOG_END", 2000.0f);
    s->m_Fog.m_fDensity = p->ReadFloat("FOG", "FOG_DENSITY", 1.0f);
    s->m_Fog.m_dwColor = ReadColor(p, "FOG", "FOG_COLOR", 255, 212, 221, 238);
    s->m_FogCopy = s->m_Fog;
    s->m_Fog.m_bExtra0 = 1;
    s->m_Fog.m_dwExtra1 = 0;
    s->m_Fog.m_bExtra2 = 1;

    s->m_fNear = p->ReadFloat("CAMERA", "VIEW_NEAR_DISTANCE", 1.0f);
    s->m_fFar = p->ReadFloat("CAMERA", "VIEW_FAR_DISTANCE", 20000.0f);
    s->m_fNearScreen = p->ReadFloat("CAMERA", "VIEW_NEAR_DISTANCE_SCREEN", -1000.0f);
    s->m_fFarScreen = p->ReadFloat("CAMERA", "VIEW_FAR_DISTANCE_SCREEN", 1000.0f);
    s->m_fFieldOfView = p->ReadFloat("CAMERA", "VIEW_DEG_FIELD", 45.0f);

    ReadLight(p, 1, {1, -5000.0f, 0.0f, -2000.0f, 1.0f, 0.6f, 0.3f, 1.0f, 12.0f, 1.0f}, &s->m_Light[0]);
    s->m_LightCopy[0] = s->m_Light[0];
    ReadLight(p, 2, {1, -10000.0f, 8000.0f, -10000.0f, 1.0f, 0.6f, 0.3f, 1.0f, 1.0f, 1.0f}, &s->m_Light[1]);
    s->m_LightCopy[1] = s->m_Light[1];

    s->m_bLightingCfg = p->ReadBool("LIGHT", "LIGHTING_ENABLE", true);
    s->m_bLighting = s->m_bLightingCfg;
    s->m_dwClearColor = ReadColor(p, "LIGHT", "COLOR_CLEAR", 0, 150, 150, 150);
    s->m_dwAmbientColor = ReadColor(p, "LIGHT", "AMBIENT_COLOR", 0, 127, 127, 127);
    s->m_bSpecularCfg = p->ReadBool("LIGHT", "SPECULAR_ENABLE", true);
    s->m_bSpecular = s->m_bSpecularCfg;
    s->m_bAlphaCfg = p->ReadBool("LIGHT", "ALPHA_ENABLE", true);
    s->m_bAlpha = s->m_bAlphaCfg;

    s->m_bWireframe = p->ReadBool("WIREFRAME", "RENDER_WIREFRAME_ENABLE", false);
    s->m_dwWireframeColor = ReadColor(p, "WIREFRAME", "WIREFRAME_COLOR", 0, 0, 150, 0);
    s->m_bText = p->ReadBool("TEXT", "TEXT_ENABLE", false);
    s->m_dwTextColor = ReadColor(p, "TEXT", "COLOR_TEXT", 0, 0, 255, 255);

    s->m_dwGammaInitial = p->ReadLong("GAMMA_CORRECTION", "GAMMA_INITIAL", 128);
    s->m_dwGammaRed = p->ReadLong("GAMMA_CORRECTION", "GAMMA_CORRECT_RED", 0);
    s->m_dwGammaGreen = p->ReadLong("GAMMA_CORRECTION", "GAMMA_CORRECT_GREEN", 0);
    s->m_dwGammaBlue = p->ReadLong("GAMMA_CORRECTION", "GAMMA_CORRECT_BLUE", 0);

    s->m_fPointSpriteMin = p->ReadFloat("POINT_SPRITE", "MIN_SIZE", 0.0f);
    s->m_fPointSpriteMax = p->ReadFloat("POINT_SPRITE", "MAX_SIZE", 100.0f);
    s->m_fPointSpriteAtt[0] = p->ReadFloat("POINT_SPRITE", "ATTENUATION_0", 1.0f);
    s->m_fPointSpriteAtt[1] = p->ReadFloat("POINT_SPRITE", "ATTENUATION_1", 0.0f);
    s->m_fPointSpriteAtt[2] = p->ReadFloat("POINT_SPRITE", "ATTENUATION_2", 0.00001f);

    s->m_bStencilShadowCfg = p->ReadBool("STENCIL_SHADOW", "STENCIL_SHADOW", true);
    s->m_bStencilShadow = s->m_bStencilShadowCfg;

    s->m_bDepthBuffer = s->m_bDepthBufferCfg = 1;
    s->m_bSwitch6 = s->m_bSwitch6Cfg = 1;
}

eRESULT CWorld::Load(void* window, unsigned short width, unsigned short height, unsigned char colorDepth,
                     bool fullScreen, ORIENTATION orientation, bool desktop, uint32_t flags, char* /*text*/) {
    SHARED_INFOS* s = m_pSharedInfos;
    if (!s) return eFAILED;

    // 1. Interface selection from the chosen devices' flags; the later audio test wins.
    s->m_bStatus = 0;
    std::memset(m_SelectedApi, 0, sizeof(m_SelectedApi));
    if ((flags & 0x01000020u) == 0x01000020u) m_SelectedApi[eAPI_3D] = m_Api.eKavros3DApi.eKavros3DApi_GLES;
    if ((flags & 0x02010000u) == 0x02010000u) m_SelectedApi[eAPI_AUDIO] = m_Api.eKavrosAudioApi.eKavrosAudioApi_OS;
    if ((flags & 0x02040000u) == 0x02040000u) m_SelectedApi[eAPI_AUDIO] = m_Api.eKavrosAudioApi.eKavrosAudioApi_AL;
    if ((flags & 0x04100000u) == 0x04100000u) m_SelectedApi[eAPI_INPUT] = m_Api.eKavrosInputApi.eKavrosInputApi_OS;
    if ((flags & 0x09000000u) == 0x09000000u)
        m_SelectedApi[eAPI_NETWORK] = m_Api.eKavrosNetworkApi.eKavrosNetworkApi_OS;

    // 2. Screen.
    s->m_wWidth = s->m_wWidthInit = width;
    s->m_wHeight = s->m_wHeightInit = height;
    s->m_bColorDepth = colorDepth;
    s->m_bFullScreen = fullScreen;
    s->m_Orientation = orientation;
    s->m_bDesktop = desktop;
    s->m_hWindow = window;
    s->m_dwTextureNameSkip = 0xFFFFFFFFu;

    // 3. Interfaces: 3D is mandatory, the others are skipped when incomplete.
    const _pft_eKavrosApiFctSet& set3D = m_SelectedApi[eAPI_3D];
    if (!IsComplete(set3D)) return eFAILED;
    if (set3D.GetInfos(&s->m_Device3D) < 0) return eFAILED;
    m_p3DEngine = static_cast<C3DEngine*>(set3D.InstallApi());
    if (!m_p3DEngine) return eFAILED;
    if (IsComplete(m_SelectedApi[eAPI_AUDIO])) {
        if (m_SelectedApi[eAPI_AUDIO].GetInfos(&s->m_DeviceAudio) < 0) return eFAILED;
        m_pAudioEngine = static_cast<CAudioEngine*>(m_SelectedApi[eAPI_AUDIO].InstallApi());
        if (!m_pAudioEngine) return eFAILED;
    }
    if (IsComplete(m_SelectedApi[eAPI_INPUT])) {
        if (m_SelectedApi[eAPI_INPUT].GetInfos(&s->m_DeviceInput) < 0) return eFAILED;
        m_pInputEngine = static_cast<CInputEngine*>(m_SelectedApi[eAPI_INPUT].InstallApi());
        if (!m_pInputEngine) return eFAILED;
    }
    if (IsComplete(m_SelectedApi[eAPI_NETWORK])) {
        if (m_SelectedApi[eAPI_NETWORK].GetInfos(&s->m_DeviceNetwork) < 0) return eFAILED;
        m_pNetworkEngine = static_cast<CNetworkEngine*>(m_SelectedApi[eAPI_NETWORK].InstallApi());
        if (!m_pNetworkEngine) return eFAILED;
    }

    // 4. Services. A second Load reuses them rather than leaking the first ones.
    if (!m_pMaths3D) m_pMaths3D = new CMaths3D;
    s->m_pMaths3D = m_pMaths3D;
    if (!m_pTimerFactor) m_pTimerFactor = new CTimerFactor;
    if (m_pTimerFactor->Load(s) < 0) return eFAILED;
    s->m_pTimerFactor = m_pTimerFactor;

    // 5. Matrices.
    m_pMaths3D->_MATRIX3DIdentity(&s->m_matProjection);
    m_pMaths3D->_MATRIX3DIdentity(&s->m_matProjectionScreen);
    m_pMaths3D->_MATRIX3DIdentity(&s->m_matView);
    MATRIX3D viewCopy = s->m_matView;
    float inverseDeterminant = 0.0f;
    m_pMaths3D->_MATRIX3DInverse(&s->m_matViewInverse, &inverseDeterminant, &viewCopy);

    // 6. Render settings.
    ReadEngineParameters();

    // 7. Load the interfaces.
    eRESULT r = m_p3DEngine->Load(s, window);
    if (r < 0) return r;
    if (m_pAudioEngine && (r = m_pAudioEngine->Load(s, window)) < 0) {
        eTRACE(s->m_szLogPath, 0, "# CWorld::Load m_pAudioEngine->Load failed!\n");
        return r;
    }
    if (m_pInputEngine && (r = m_pInputEngine->Load(s, window)) < 0) {
        eTRACE(s->m_szLogPath, 0, "# CWorld::Load m_pInputEngine->Load failed!\n");
        return r;
    }
    if (m_pNetworkEngine && (r = m_pNetworkEngine->Load(s, window)) < 0) {
        eTRACE(s->m_szLogPath, 0, "# CWorld::Load m_pNetworkEngine->Load failed!\n");
        return r;
    }

    // 8. Fixed-function state.
    if (m_p3DEngine->FogingInit() < 0) return eFAILED;
    if (m_p3DEngine->PointSpriteInit() < 0) return eFAILED;
    if (m_p3DEngine->LightingInit(0xFFFFFFFFu) < 0) return eFAILED;

    // 9, 10. Camera.
    CCamera* camera = m_p3DEngine->m_pCamera;
    if (!camera) return eFAILED;
    if (s->m_pParam && s->m_pParam->ReadBool("GAMMA_CORRECTION", "GAMMA_CORRECTION_ENABLE", false))
        camera->InitGamma();
    m_pMaths3D->_MATRIX3DIdentity(&s->m_matWorld);
    camera->InitViewMatrix();
    camera->InitDynOrientation(s->m_Orientation);
    camera->InitViewport(0, 0, static_cast<uint16_t>(std::floor(width * s->m_fScaleX)),
                         static_cast<uint16_t>(std::floor(height * s->m_fScaleY)));

    // 11. Random generator from the clock.
    INIT_RANDOM_INTERNAL(s, 0);
    return eOK;
}

eRESULT CWorld::Unload() {
    SHARED_INFOS* s = m_pSharedInfos;
    if (m_pTimerFactor) m_pTimerFactor->Unload();
    if (m_p3DEngine) {
        m_p3DEngine->Unload();
        if (m_SelectedApi[eAPI_3D].UninstallApi) m_SelectedApi[eAPI_3D].UninstallApi(m_p3DEngine);
        m_p3DEngine = nullptr;
    }
    if (m_pAudioEngine) {
        m_pAudioEngine->Unload();
        if (m_SelectedApi[eAPI_AUDIO].UninstallApi) m_SelectedApi[eAPI_AUDIO].UninstallApi(m_pAudioEngine);
        m_pAudioEngine = nullptr;
    }
    if (m_pInputEngine) {
        m_pInputEngine->Unload();
        if (m_SelectedApi[eAPI_INPUT].UninstallApi) m_SelectedApi[eAPI_INPUT].UninstallApi(m_pInputEngine);
        m_pInputEngine = nullptr;
    }
    if (m_pNetworkEngine) {
        m_pNetworkEngine->Unload();
        if (m_SelectedApi[eAPI_NETWORK].UninstallApi) m_SelectedApi[eAPI_NETWORK].UninstallApi(m_pNetworkEngine);
        m_pNetworkEngine = nullptr;
    }
    std::memset(&m_Api, 0, sizeof(m_Api));
    std::memset(m_SelectedApi, 0, sizeof(m_SelectedApi));
    if (s && s->m_pfnResPacker && s->m_ResPacker.m_pFile) {
        std::fclose(s->m_ResPacker.m_pFile);
        s->m_ResPacker.m_pFile = nullptr;
    }
    return eOK;
}

eRESULT CWorld::IncomingOSMessage(void* message) {
    SHARED_INFOS* s = m_pSharedInfos;
    const TOUCH_MESSAGE* msg = static_cast<const TOUCH_MESSAGE*>(message);
    if (!msg || !s) return eFAILED;
    if (msg->type == eTOUCH_BEGAN || msg->type == eTOUCH_MOVED) {
        // Touches arrive in view points, and the logical screen is measured
        // in points at every pixel scale: dividing by the scale would put
        // the pointer at 1/N of the finger's place.
        float x = std::floor(msg->x);
        float y = std::floor(msg->y);
        ORIENTATION o = ORIENTATION_PORTRAIT;
        if (m_p3DEngine && m_p3DEngine->m_pCamera) o = m_p3DEngine->m_pCamera->m_eOrientation;
        float w = s->m_wWidth, h = s->m_wHeight;
        switch (o) {
            case ORIENTATION_LANDSCAPE_LEFT: s->m_fMouseX = y; s->m_fMouseY = w - x; break;
            case ORIENTATION_LANDSCAPE_RIGHT: s->m_fMouseX = h - y; s->m_fMouseY = x; break;
            case ORIENTATION_PORTRAIT_UPSIDE_DOWN: s->m_fMouseX = w - x; s->m_fMouseY = h - y; break;
            default: s->m_fMouseX = x; s->m_fMouseY = y; break;
        }
        s->m_abMouseDown[0] = 1;
        if (msg->type == eTOUCH_BEGAN) s->m_abMousePressed[0] = 1;
    } else if (msg->type == eTOUCH_ENDED) {
        if (s->m_abMouseDown[0]) s->m_abMouseReleased[0] = 1;
        s->m_abMouseDown[0] = 0;
    } else if (msg->type == eTOUCH_CANCELLED) {
        s->m_abMouseDown[0] = 0;  // up, but not a release the user made
    }
    return eFAILED;  // nobody reads it
}

eRESULT CWorld::FrameMove() {
    if (m_p3DEngine && m_p3DEngine->m_pCamera) m_p3DEngine->m_pCamera->FrameMove();
    return eOK;
}

eRESULT CWorld::Render() { return eOK; }

eRESULT CWorld::RenderOneStep() {
    if (!m_p3DEngine) return eFAILED;
    if (m_pTimerFactor) m_pTimerFactor->OneStep();
    if (FrameMove() < 0) return eFAILED;
    if (m_p3DEngine->BeginScene() < 0) return eFAILED;
    Render();
    return EndSceneOneStep();
}

eRESULT CWorld::EndSceneOneStep() {
    if (!m_p3DEngine || m_p3DEngine->EndScene() < 0) return eFAILED;
    SHARED_INFOS* s = m_pSharedInfos;
    s->m_bKeyEvent = 0;
    std::memset(s->m_abKeyPressed, 0, sizeof(s->m_abKeyPressed));
    std::memset(s->m_abKeyReleased, 0, sizeof(s->m_abKeyReleased));
    s->m_bKeyEvent2 = 0;
    std::memset(s->m_abFrameInput, 0, sizeof(s->m_abFrameInput));
    std::memset(s->m_abMouseReleased, 0, sizeof(s->m_abMouseReleased));
    std::memset(s->m_abMousePressed, 0, sizeof(s->m_abMousePressed));
    return eOK;
}
