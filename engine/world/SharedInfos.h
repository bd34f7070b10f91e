// The record shared by every engine object of one world.
#pragma once

#include <cstdint>

#include "engine/3d/Types3D.h"
#include "engine/world/ResPacker.h"
#include "engine/world/Types.h"

class CMaths3D;
class CTimerFactor;
class CUtilsParameters;
class CWorld;

// The phone's device-orientation numbering, passed through unchanged.
enum ORIENTATION : int32_t {
    ORIENTATION_UNKNOWN = 0,
    ORIENTATION_PORTRAIT = 1,
    ORIENTATION_PORTRAIT_UPSIDE_DOWN = 2,
    ORIENTATION_LANDSCAPE_LEFT = 3,
    ORIENTATION_LANDSCAPE_RIGHT = 4,
    ORIENTATION_FACE_UP = 5,
    ORIENTATION_FACE_DOWN = 6,
};

// Description of one interface implementation, filled by its GetInfos.
struct ENUM_DEVICE {
    char szBuild[32];
    char szName[32];
    uint32_t dwVersion;  // major << 16 | minor
    uint32_t dwFlags;    // class bit | implementation bit
};

constexpr uint32_t eDEVICE_CLASS_3D = 0x01000000u;
constexpr uint32_t eDEVICE_CLASS_AUDIO = 0x02000000u;
constexpr uint32_t eDEVICE_CLASS_INPUT = 0x04000000u;
constexpr uint32_t eDEVICE_CLASS_NETWORK = 0x08000000u;

struct LIGHT_BLOCK {
    uint8_t m_bEnable;     // current
    uint8_t m_bEnableCfg;  // configured
    uint32_t m_dwType;     // 0 directional, otherwise point
    float m_afPosition[3];
    float m_afDirection[3];
    float m_fDiffuse, m_fSpecular, m_fAmbient;
    float m_fMaterialDiffuse, m_fMaterialSpecular, m_fMaterialAmbient;
};

struct FOG_BLOCK {
    uint8_t m_bEnable;     // current
    uint8_t m_bEnableCfg;  // configured
    uint32_t m_dwColor;    // ARGB
    float m_fStart, m_fEnd, m_fDensity;
    uint8_t m_bExtra0;
    uint32_t m_dwExtra1;
    uint8_t m_bExtra2;
};

struct SHARED_INFOS {
    MATRIX3D m_matProjection;
    MATRIX3D m_matProjectionScreen;
    float m_fScaleX, m_fScaleY, m_fScaleZ;  // physical pixels per logical unit
    MATRIX3D m_matView;
    MATRIX3D m_matViewInverse;
    MATRIX3D m_matWorld;

    CMaths3D* m_pMaths3D;
    CTimerFactor* m_pTimerFactor;
    CUtilsParameters* m_pParam;    // engine store, not owned
    CUtilsParameters* m_pParamEx;  // application store, not owned
    CWorld* m_pWorld;

    uint32_t m_dwVersion;
    char m_szBuild[32];
    uint32_t m_dwErrorCode;
    char m_szErrorText[eMAX_PATH];
    char m_szLogPath[eMAX_PATH];
    uint32_t m_dwTextureNameSkip;  // 0xFFFFFFFF: use the file-name part
    char m_szDataPath[eMAX_PATH];
    char m_szWorkPath[eMAX_PATH];

    _RES_STATIC m_ResStatic;
    PFN_RES_STATIC m_pfnResStatic;
    _RES_PACKER m_ResPacker;
    PFN_RES_PACKER m_pfnResPacker;

    uint8_t m_bStatus;  // cleared at the start of Load

    uint8_t m_bKeyEvent;
    uint8_t m_abKeyDown[256];
    uint8_t m_abKeyPressed[256];
    uint8_t m_abKeyReleased[256];
    uint8_t m_bKeyEvent2;
    uint8_t m_abFrameInput[8];
    uint8_t m_abMouseDown[3];
    uint8_t m_abMouseReleased[3];
    uint8_t m_abMousePressed[3];
    float m_fMouseX, m_fMouseY;

    uint16_t m_wWidth, m_wHeight;
    uint8_t m_bColorDepth;
    uint16_t m_wWidthInit, m_wHeightInit;
    ORIENTATION m_Orientation;
    uint8_t m_bFullScreen, m_bDesktop;
    void* m_hWindow;

    uint32_t m_dwGammaInitial, m_dwGammaRed, m_dwGammaGreen, m_dwGammaBlue;
    float m_fPointSpriteMin, m_fPointSpriteMax;
    float m_fPointSpriteAtt[3];

    // Switches, current and configured value.
    uint8_t m_bLighting, m_bLightingCfg;
    uint8_t m_bSpecular, m_bSpecularCfg;
    uint8_t m_bAlpha, m_bAlphaCfg;
    uint8_t m_bStencilShadow, m_bStencilShadowCfg;
    uint8_t m_bDepthBuffer, m_bDepthBufferCfg;  // always on: a depth buffer exists
    uint8_t m_bSwitch6, m_bSwitch6Cfg;          // always on

    uint8_t m_bWireframe, m_bText;
    uint32_t m_dwTextColor, m_dwClearColor, m_dwAmbientColor, m_dwWireframeColor;
    float m_fNear, m_fFar, m_fNearScreen, m_fFarScreen, m_fFieldOfView;
    float m_fAspect;

    LIGHT_BLOCK m_Light[2];
    LIGHT_BLOCK m_LightCopy[2];
    FOG_BLOCK m_Fog;
    FOG_BLOCK m_FogCopy;

    double m_dFramesPerSecond;
    double m_dFrameFactor;

    ENUM_DEVICE m_Device3D, m_DeviceAudio, m_DeviceInput, m_DeviceNetwork;

    uint32_t m_adwRandom[624];
    uint16_t m_wRandomIndex;
};
