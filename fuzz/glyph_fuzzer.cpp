// The font's glyph file read from a pack entry. Only the glyph table is
// read, so no OpenGL ES context is needed.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/3d/KavroFont.h"
#include "engine/world/SharedInfos.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* stream = fuzz::PackStream();
    if (!stream) return 0;
    const fuzz::Bytes trailer = fuzz::Trailer();
    if (!fuzz::WritePackEntry(stream, "font.glyph", data, size) ||
        !fuzz::WritePackEntry(stream, fuzz::kTrailerName, trailer.data(), trailer.size()) ||
        std::fflush(stream) != 0)
        return 0;
    _RES_PACKER packer;
    if (!fuzz::FindEntry(stream, "font.glyph", &packer)) return 0;
    const long start = std::ftell(stream);

    auto infos = std::make_unique<SHARED_INFOS>();
    CKavroFont font(infos.get());
    const eRESULT result = font.LoadFontGlyphFromPacker(nullptr, &packer);
    const long at = std::ftell(stream);
    FUZZ_CHECK(at >= start && static_cast<unsigned long>(at - start) <= packer.m_dwSize);
    if (result == eOK) {
        for (const VECTOR4D& g : font.m_aGlyph)
            for (float v : {g.x, g.y, g.z, g.w}) FUZZ_CHECK(v >= 0.0f && v <= 1.0f);
        FUZZ_CHECK(std::isfinite(font.m_fMaxWidth) && std::isfinite(font.m_fMaxHeight));
    }
    // Text laid out with whatever table was read.
    font.CalculateRect("Ask again later", 1.0f, 1.0f);
    return 0;
}
