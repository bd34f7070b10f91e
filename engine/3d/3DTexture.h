// A texture as the render device sees it: two creation flag words and the
// name it may be shared under. Decoding and upload live in the subclasses.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/world/ResPacker.h"
#include "engine/world/Types.h"

struct SHARED_INFOS;

class C3DTexture {
public:
    C3DTexture() : m_pSharedInfos(nullptr), m_dwFlags(0), m_dwFlags2(0) {
        std::memset(m_szName, 0, sizeof m_szName);
    }
    virtual ~C3DTexture() {}

    C3DTexture(const C3DTexture&) = delete;
    C3DTexture& operator=(const C3DTexture&) = delete;

    virtual eRESULT Load(SHARED_INFOS* infos) {
        m_pSharedInfos = infos;
        return eOK;
    }
    virtual eRESULT Unload() {
        std::memset(m_szName, 0, sizeof m_szName);
        return eOK;
    }

    // Image sources; without a decoder nothing can be loaded.
    virtual eRESULT MakeTextureFromAddress(void* data, uint32_t size, const char* name) {
        (void)data, (void)size, (void)name;
        return eFAILED;
    }
    virtual eRESULT LoadTextureFromPacker(_RES_PACKER* packer) {
        (void)packer;
        return eFAILED;
    }
    virtual eRESULT LoadTextureFromFile(const char* path) {
        (void)path;
        return eFAILED;
    }

    SHARED_INFOS* m_pSharedInfos;
    uint32_t m_dwFlags;   // creation flags; bit 0: may be shared
    uint32_t m_dwFlags2;  // second creation flag word
    char m_szName[eMAX_PATH];
};
