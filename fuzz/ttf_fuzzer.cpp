// The TrueType atlas build: the first byte of the input is the pixel size,
// the second the extra width, the rest the font. The atlas is uploaded for
// real through the render device on a headless context made once per
// process; each input gets a font of its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Platform.h"
#include "engine/3d/KavroFont.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/World.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Keeps what the builder hands out and checks it.
class CheckedFont : public CKavroFont {
public:
    using CKavroFont::CKavroFont;
    int built = 0;

protected:
    void OnAtlasBuilt(const uint8_t* atlas, uint32_t width, uint32_t height, const VECTOR4D* cells,
                      uint32_t count) override {
        ++built;
        FUZZ_CHECK(width == eFONT_ATLAS_WIDTH && height >= 16 && (height & (height - 1)) == 0);
        FUZZ_CHECK(count == eFONT_CELL_COUNT);
        volatile uint32_t sum = 0;
        for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) sum = sum + atlas[i];
        for (uint32_t i = 0; i < count; ++i)
            for (float v : {cells[i].x, cells[i].y, cells[i].z, cells[i].w}) FUZZ_CHECK(v >= 0.0f && v <= 1.0f);
    }
};

// The context, the shared record and the device, torn down in order at exit.
struct Device {
    std::unique_ptr<platform::GLContext> context;
    std::unique_ptr<SHARED_INFOS> infos = std::make_unique<SHARED_INFOS>();
    CMaths3D maths;
    CWorld world;
    C3DEngineGLES device;
    bool ready = false;

    Device() {
        context = platform::GLContext::Create(1);
        if (!context || !platform::GLContext::SetCurrentContext(context.get())) return;
        infos->m_pMaths3D = &maths;
        infos->m_pWorld = &world;
        world.m_p3DEngine = &device;
        infos->m_fScaleX = infos->m_fScaleY = infos->m_fScaleZ = 1.0f;
        infos->m_wWidth = infos->m_wWidthInit = 320;
        infos->m_wHeight = infos->m_wHeightInit = 480;
        infos->m_Orientation = ORIENTATION_PORTRAIT;
        infos->m_dwTextureNameSkip = 0xFFFFFFFFu;
        ready = device.Load(infos.get(), nullptr) == eOK;
    }
    ~Device() {
        if (ready) device.Unload();
        world.m_p3DEngine = nullptr;
        if (context) platform::GLContext::SetCurrentContext(nullptr);
    }
};

Device& TheDevice() {
    static Device device;
    return device;
}

}  // namespace

// The driver takes seconds to load: before the first input, not in it.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TheDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Device& d = TheDevice();
    if (!d.ready) {
        std::fprintf(stderr, "no OpenGL ES 1.1 context\n");
        std::abort();
    }
    const uint8_t pixelSize = data[0], extraWidth = data[1];
    fuzz::ExactCopy font(data + 2, size - 2);

    CheckedFont checked(d.infos.get());
    FUZZ_CHECK(checked.Load(FONT_SCREEN) == eOK);
    const eRESULT result = checked.MakeFontTTFFromAddress("fuzz.ttf", font.data(), font.size(), pixelSize, extraWidth);
    FUZZ_CHECK(result != eOK || checked.built == 1);
    checked.CalculateRect("Ask again later", 1.0f, 1.0f);
    checked.Unload();
    return 0;
}
