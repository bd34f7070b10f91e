// The pluggable interface classes a world can install. Only the 3D class has
// an implementation in this program; the others stay empty slots.
#pragma once

#include "engine/world/Types.h"

struct SHARED_INFOS;

class CAudioEngine {
public:
    virtual ~CAudioEngine() = default;
    virtual eRESULT Load(SHARED_INFOS* shared, void* window) = 0;
    virtual eRESULT Unload() = 0;
};

class CInputEngine {
public:
    virtual ~CInputEngine() = default;
    virtual eRESULT Load(SHARED_INFOS* shared, void* window) = 0;
    virtual eRESULT Unload() = 0;
};

class CNetworkEngine {
public:
    virtual ~CNetworkEngine() = default;
    virtual eRESULT Load(SHARED_INFOS* shared, void* window) = 0;
    virtual eRESULT Unload() = 0;
};

// One implementation's entry points. InstallApi returns the new interface
// object as a pointer to its interface class (C3DEngine*, CAudioEngine*, ...).
struct _pft_eKavrosApiFctSet {
    eRESULT (*GetInfos)(struct ENUM_DEVICE* out);
    void* (*InstallApi)();
    void (*UninstallApi)(void* object);
};

struct _pft_eKavros3DApi {
    _pft_eKavrosApiFctSet eKavros3DApi_DX10;
    _pft_eKavrosApiFctSet eKavros3DApi_DX90;
    _pft_eKavrosApiFctSet eKavros3DApi_DX81;
    _pft_eKavrosApiFctSet eKavros3DApi_D3DM;
    _pft_eKavrosApiFctSet eKavros3DApi_GL;
    _pft_eKavrosApiFctSet eKavros3DApi_GLES;
    _pft_eKavrosApiFctSet eKavros3DApi_eK3D;
    _pft_eKavrosApiFctSet eKavros3DApi_PSPGU;
};

struct _pft_eKavrosAudioApi {
    _pft_eKavrosApiFctSet eKavrosAudioApi_OS;
    _pft_eKavrosApiFctSet eKavrosAudioApi_DX81;
    _pft_eKavrosApiFctSet eKavrosAudioApi_AL;
    _pft_eKavrosApiFctSet eKavrosAudioApi_FMOD;
};

struct _pft_eKavrosInputApi {
    _pft_eKavrosApiFctSet eKavrosInputApi_OS;
    _pft_eKavrosApiFctSet eKavrosInputApi_DX81;
};

struct _pft_eKavrosNetworkApi {
    _pft_eKavrosApiFctSet eKavrosNetworkApi_OS;
};

// The fifteen function sets, in table order.
struct _pft_eKavrosApi {
    _pft_eKavros3DApi eKavros3DApi;
    _pft_eKavrosAudioApi eKavrosAudioApi;
    _pft_eKavrosInputApi eKavrosInputApi;
    _pft_eKavrosNetworkApi eKavrosNetworkApi;
};

// Indices into CWorld::m_SelectedApi.
enum { eAPI_3D = 0, eAPI_AUDIO = 1, eAPI_INPUT = 2, eAPI_NETWORK = 3 };
