#include "engine/3d/3DEngine.h"

#include <cstring>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DShader.h"
#include "engine/3d/3DStencilShadow.h"
#include "engine/3d/3DTexture.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/Trace.h"

namespace {

void Detach(CFIFOListRecycle* list, void* object) { list->Delete(object, true); }
void Detach(CFIFOList* list, void* object) { list->Delete(object); }

// Empties one registry: every entry goes, whatever its use count. Each entry
// is detached before its object unloads, so an Unload that releases other
// registered objects through the device cannot pull the walk's cursor away.
template <class T, class List>
void SweepRegistry(List* list) {
    while (T* object = static_cast<T*>(list->GetFirst())) {
        Detach(list, object);
        object->Unload();
        delete object;
    }
}

}  // namespace

C3DEngine::C3DEngine()
    : m_pSharedInfos(nullptr),
      m_pCamera(nullptr),
      m_plistObjects(new CFIFOListRecycle),
      m_plistTextures(new CFIFOListRecycle),
      m_plistShaders(new CFIFOListRecycle),
      m_plistObjectsIndex(new CFIFOList) {}

C3DEngine::~C3DEngine() {
    delete m_plistObjects;
    delete m_plistTextures;
    delete m_plistShaders;
    delete m_plistObjectsIndex;
}

eRESULT C3DEngine::Load(SHARED_INFOS* infos, void*) {
    m_pSharedInfos = infos;
    return eOK;
}

eRESULT C3DEngine::Unload() {
    const char* log = m_pSharedInfos ? m_pSharedInfos->m_szLogPath : nullptr;

    SweepRegistry<C3DObject>(m_plistObjects);
    if (m_plistObjects->m_pHead) eTRACE(log, 0, "# C3DEngine::m_plistObjects detected memory leaks !\n");

    SweepRegistry<C3DObjectIndex>(m_plistObjectsIndex);
    if (m_plistObjectsIndex->m_pHead)
        eTRACE(log, 0, "# C3DEngine::m_plistObjectsIndex detected memory leaks !\n");

    SweepRegistry<C3DTexture>(m_plistTextures);
    if (m_plistTextures->m_pHead) eTRACE(log, 0, "# C3DEngine::m_plistTextures detected memory leaks !\n");

    SweepRegistry<C3DShader>(m_plistShaders);
    if (m_plistShaders->m_pHead) eTRACE(log, 0, "# C3DEngine::m_plistShaders detected memory leaks !\n");

    SweepRegistry<C3DStencilShadow>(&m_listStencilShadow);
    if (m_listStencilShadow.m_pHead)
        eTRACE(log, 0, "# C3DEngine::m_listStencilShadow detected memory leaks !\n");

    return eOK;
}

eRESULT C3DEngine::LightingInit(uint32_t count) {
    // SHARED_INFOS holds two light blocks; there is nothing past them.
    if (count > e3D_LIGHT_COUNT) count = e3D_LIGHT_COUNT;
    for (uint32_t i = 0; i < count; ++i) LightingOneInit(i);
    return eOK;
}

eRESULT C3DEngine::BeginScene() { return eOK; }

eRESULT C3DEngine::EndScene() { return eOK; }

void C3DEngine::ClearScreen() {}

const char* C3DEngine::TextureNameOf(const char* source) const {
    if (!source) return nullptr;
    const uint32_t skip = m_pSharedInfos ? m_pSharedInfos->m_dwTextureNameSkip : 0xFFFFFFFFu;
    if (skip == 0xFFFFFFFFu) return GetFileFromPath(source);
    // A prefix longer than the path leaves an empty name, not a read past it.
    const size_t length = std::strlen(source);
    return source + (skip < length ? skip : length);
}

C3DTexture* C3DEngine::FindSharedTexture(uint32_t flags, uint32_t flags2, const char* name) {
    if (!(flags & e3D_FLAG_SHAREABLE) || !name) return nullptr;
    for (void* p = m_plistTextures->GetFirst(); p; p = m_plistTextures->GetNext()) {
        C3DTexture* texture = static_cast<C3DTexture*>(p);
        // Stored names are cut to the field, so compare no further than it.
        if (m_plistTextures->IsRecycled() && texture->m_dwFlags2 == flags2 && texture->m_dwFlags == flags &&
            std::strncmp(texture->m_szName, name, sizeof texture->m_szName - 1) == 0) {
            m_plistTextures->IncRecycleCount();
            return texture;
        }
    }
    return nullptr;
}

void C3DEngine::AddTextureUse(C3DTexture* texture) {
    if (!texture) return;
    for (void* p = m_plistTextures->GetFirst(); p; p = m_plistTextures->GetNext()) {
        if (p != texture) continue;
        m_plistTextures->IncRecycleCount();
        return;
    }
}

C3DTexture* C3DEngine::MakeTextureFromAddress(uint32_t flags, uint32_t flags2, void* data, uint32_t size,
                                              const char* name) {
    if (C3DTexture* shared = FindSharedTexture(flags, flags2, TextureNameOf(name))) return shared;
    C3DTexture* texture = CreateTexture(flags, flags2);
    if (!texture) return nullptr;
    if (eFAILURE(texture->MakeTextureFromAddress(data, size, name))) {
        DeleteTexture(texture);
        return nullptr;
    }
    return texture;
}

C3DTexture* C3DEngine::LoadTextureFromPacker(uint32_t flags, uint32_t flags2, _RES_PACKER* packer) {
    if (!packer) return nullptr;
    char entry[eMAX_PATH];
    std::memcpy(entry, packer->m_szName, sizeof entry);
    entry[sizeof entry - 1] = '\0';
    if (C3DTexture* shared = FindSharedTexture(flags, flags2, TextureNameOf(entry))) return shared;
    C3DTexture* texture = CreateTexture(flags, flags2);
    if (!texture) return nullptr;
    if (eFAILURE(texture->LoadTextureFromPacker(packer))) {
        DeleteTexture(texture);
        return nullptr;
    }
    return texture;
}

C3DTexture* C3DEngine::LoadTextureFromFile(uint32_t flags, uint32_t flags2, const char* path) {
    if (!path) return nullptr;
    if (C3DTexture* shared = FindSharedTexture(flags, flags2, TextureNameOf(path))) return shared;
    C3DTexture* texture = CreateTexture(flags, flags2);
    if (!texture) return nullptr;
    if (eFAILURE(texture->LoadTextureFromFile(path))) {
        DeleteTexture(texture);
        return nullptr;
    }
    return texture;
}
