#include "engine/3d/3DTexture.h"

#include <cstring>

#include "engine/utils/RegularFile.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Trace.h"

namespace {

enum class Decoder { None, TGA, PNG, JPG, RAW };

bool Contains(const char* text, const char* what) { return std::strstr(text, what) != nullptr; }

// By substring, anywhere in the text and case as written: ".Png" is not a
// PNG, ".pngg" is (it contains ".png"). The first kind in this order wins.
Decoder DecoderFor(const char* name) {
    if (!name) return Decoder::None;
    if (Contains(name, ".tga") || Contains(name, ".TGA")) return Decoder::TGA;
    if (Contains(name, ".png") || Contains(name, ".PNG")) return Decoder::PNG;
    if (Contains(name, ".jpg") || Contains(name, ".JPG")) return Decoder::JPG;
    if (Contains(name, ".raw") || Contains(name, ".RAW")) return Decoder::RAW;
    return Decoder::None;
}

}  // namespace

C3DTexture::C3DTexture()
    : m_pSharedInfos(nullptr), m_dwFlags(0), m_dwFlags2(0), m_bBitsPerPixel(0), m_wWidth(0), m_wHeight(0) {
    std::memset(m_szName, 0, sizeof m_szName);
}

C3DTexture::~C3DTexture() {}

eRESULT C3DTexture::Load(SHARED_INFOS* infos) {
    m_pSharedInfos = infos;
    return eOK;
}

eRESULT C3DTexture::Unload() {
    std::memset(m_szName, 0, sizeof m_szName);
    return eOK;
}

void C3DTexture::FrameMove() {}

eRESULT C3DTexture::Render(uint32_t, uint32_t) { return eOK; }

eRESULT C3DTexture::RenderLight(uint32_t) { return eOK; }

eRESULT C3DTexture::ScreenShot(bool, bool, bool, uint32_t) { return eFAILED; }

eRESULT C3DTexture::MakeTextureFromRaw(uint16_t, uint16_t, uint8_t, void*, const char* name) {
    RecordName(name);
    return eOK;
}

void C3DTexture::RecordName(const char* name) {
    if (!name) return;
    const uint32_t skip = m_pSharedInfos ? m_pSharedInfos->m_dwTextureNameSkip : 0xFFFFFFFFu;
    const char* kept = nullptr;
    if (skip == 0xFFFFFFFFu) {
        kept = GetFileFromPath(name);
    } else {
        // The same rule as the device's lookup, so a shared texture is found
        // under the name it was stored with; a prefix past the end leaves "".
        const size_t length = std::strlen(name);
        kept = name + (skip < length ? skip : length);
    }
    const size_t length = strnlen(kept, sizeof m_szName - 1);
    // memmove: the name handed in may be this texture's own.
    std::memmove(m_szName, kept, length);
    std::memset(m_szName + length, 0, sizeof m_szName - length);
}

eRESULT C3DTexture::SaveTextureToFile(const char*) { return eFAILED; }

void C3DTexture::TraceUnfit(const char* who, const char* name, uint64_t width, uint64_t height) const {
    const char* log = m_pSharedInfos ? m_pSharedInfos->m_szLogPath : nullptr;
    const uint32_t side = MaxDecodeSide();
    if (width == 0 || height == 0) return;
    if (width > side || height > side)
        eTRACE(log, 1, "# C3DTexture::%s refused: \"%s\" is %llu x %llu pixels, larger than the context allows (%u)\n",
               who, name ? name : "", static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
               side);
    else if (width * height * 4 > eTEXTURE_MAX_BYTES)
        eTRACE(log, 1, "# C3DTexture::%s refused: \"%s\" is %llu x %llu pixels, more than %llu MiB decoded\n", who,
               name ? name : "", static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
               static_cast<unsigned long long>(eTEXTURE_MAX_BYTES >> 20));
}

eRESULT C3DTexture::LoadTextureFromFile(const char* path) {
    if (!path) return eFAILED;
    FILE* file =
        eOpenRegularFile(path, m_pSharedInfos ? m_pSharedInfos->m_szLogPath : nullptr, "C3DTexture::LoadTextureFromFile");
    if (!file) return eFAILED;
    if (eFAILURE(Unload())) {
        std::fclose(file);
        return eFAILED;
    }

    long end = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) end = std::ftell(file);
    // Sizes travel as 32 bits; a larger file is no image of ours.
    if (end < 0 || static_cast<unsigned long>(end) > 0xFFFFFFFFul || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return eFAILED;
    }
    const uint32_t size = static_cast<uint32_t>(end);

    eRESULT result = eFAILED;
    switch (DecoderFor(path)) {
        case Decoder::TGA: result = LoadTextureFromFile_TGA(file, size, path); break;
        case Decoder::PNG: result = LoadTextureFromFile_PNG(file, size, path); break;
        case Decoder::JPG: result = LoadTextureFromFile_JPG(file, size, path); break;
        case Decoder::RAW: result = LoadTextureFromFile_RAW(file, size, path); break;
        case Decoder::None: break;
    }
    std::fclose(file);
    return result;
}

eRESULT C3DTexture::LoadTextureFromPacker(_RES_PACKER* packer) {
    if (!packer || !packer->m_pFile) return eFAILED;
    if (eFAILURE(Unload())) return eFAILED;
    // The entry's name may fill its whole field.
    char name[eMAX_PATH];
    std::memcpy(name, packer->m_szName, sizeof name);
    name[sizeof name - 1] = '\0';

    switch (DecoderFor(name)) {
        case Decoder::TGA: return LoadTextureFromFile_TGA(packer->m_pFile, packer->m_dwSize, name);
        case Decoder::PNG: return LoadTextureFromFile_PNG(packer->m_pFile, packer->m_dwSize, name);
        case Decoder::JPG: return LoadTextureFromFile_JPG(packer->m_pFile, packer->m_dwSize, name);
        case Decoder::RAW: return LoadTextureFromFile_RAW(packer->m_pFile, packer->m_dwSize, name);
        case Decoder::None: break;
    }
    return eFAILED;
}

eRESULT C3DTexture::MakeTextureFromAddress(void* data, uint32_t size, const char* name) {
    if (eFAILURE(Unload())) return eFAILED;
    if (!data) return eFAILED;
    switch (DecoderFor(name)) {
        case Decoder::TGA: return MakeTextureFromAddress_TGA(data, size, name);
        case Decoder::PNG: return MakeTextureFromAddress_PNG(data, size, name);
        case Decoder::JPG: return MakeTextureFromAddress_JPG(data, size, name);
        case Decoder::RAW:
            if (size != eTEXTURE_RAW_SIZE) return eFAILED;
            // Uploaded in place; the outcome of the upload is not reported.
            MakeTextureFromRaw(256, 256, 24, data, name);
            return eOK;
        case Decoder::None: break;
    }
    return eFAILED;
}
