// The smallest world, built against the installed package: one lit sphere,
// run headless through the host. The picture it writes is checked: the
// sphere in the middle, the clear colour in a corner. Exit 0 when both hold.
#include <cstdio>
#include <cstring>

#include "engine/3d/3DEngine.h"
#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectModels.h"
#include "engine/3d/Maths3D.h"
#include "platform/Host.h"

// [world]
class SphereWorld : public CWorld {
public:
    eRESULT Load(void* window, unsigned short width, unsigned short height, unsigned char colorDepth,
                 bool fullScreen, ORIENTATION orientation, bool desktop, uint32_t flags, char* text) override {
        if (CWorld::Load(window, width, height, colorDepth, fullScreen, orientation, desktop, flags, text) < 0)
            return eFAILED;
        m_pSharedInfos->m_dwClearColor = 0xFF000040u;
        sphere_ = m_p3DEngine->Create3DObject(OBJ_NORMAL, RENDER_STATEBLOCK | RENDER_LIGHT | RENDER_LIGHTING |
                                                              RENDER_COLOR_MATERIAL | RENDER_ZTEST | RENDER_ZWRITE |
                                                              RENDER_NO_TEXTURE);
        MODEL_SPHERE record{1.0f, 16, 0xFFFFC040u, 0};
        if (!sphere_ || sphere_->ConstructFromModel(MODEL_TYPE_SPHERE, &record) < 0) return eFAILED;
        const VECTOR3D ahead = {0, 0, 5};  // the camera looks along +z
        m_pMaths3D->_MATRIX3DSetPosition(&sphere_->m_matMatrix, &ahead);
        return eOK;
    }
    eRESULT Unload() override {
        if (sphere_) m_p3DEngine->Delete3DObject(sphere_);
        sphere_ = nullptr;
        return CWorld::Unload();
    }
    eRESULT Render() override { return sphere_->Render(eALL_SUBOBJECTS); }

private:
    C3DObject* sphere_ = nullptr;
};
// [world]

int main(int argc, char** argv) {
    // [main]
    platform::WorldSettings settings;
    settings.name = "package_user";
    settings.summary = "Draws one lit sphere with the installed engine.";
    settings.pictureFrame = 2;
    const int status = platform::RunWorld<SphereWorld>(argc, argv, settings);
    // [main]
    if (status != 0 || (argc > 1 && std::strcmp(argv[1], "--help") == 0)) return status;

    // The picture: 480 x 320, upright, RGBA rows from the top.
    const platform::Frame frame = platform::LastPresentedFrame();
    if (frame.width != 320 || frame.height != 480) {
        std::fprintf(stderr, "package_user: the last frame is %d x %d, not 320 x 480\n", frame.width, frame.height);
        return 1;
    }
    const uint8_t* centre = &frame.rgba[(240 * 320 + 160) * 4];
    const uint8_t* corner = &frame.rgba[(1 * 320 + 1) * 4];
    std::printf("centre %u %u %u, corner %u %u %u\n", centre[0], centre[1], centre[2], corner[0], corner[1], corner[2]);
    // An orange sphere lit from in front; the clear colour around it.
    if (!(centre[0] > 100 && centre[0] > centre[2])) {
        std::fprintf(stderr, "package_user: the middle of the picture is not the sphere\n");
        return 1;
    }
    if (!(corner[0] == 0 && corner[1] == 0 && corner[2] == 0x40)) {
        std::fprintf(stderr, "package_user: the corner of the picture is not the clear colour\n");
        return 1;
    }
    return 0;
}
