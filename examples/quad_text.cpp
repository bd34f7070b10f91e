// A textured quad and text. The texture is drawn here, a checkerboard; the
// text is set in a TrueType font the engine turns into an atlas at load.
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/3d/3DEngine.h"
#include "engine/3d/3DObject.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/KavroFont.h"
#include "platform/Host.h"

class QuadTextWorld : public CWorld {
public:
    eRESULT Load(void* window, unsigned short width, unsigned short height, unsigned char colorDepth,
                 bool fullScreen, ORIENTATION orientation, bool desktop, uint32_t flags, char* text) override {
        if (CWorld::Load(window, width, height, colorDepth, fullScreen, orientation, desktop, flags, text) < 0)
            return eFAILED;
        // 64 x 64 RGB, cells of 8 pixels in two colours.
        std::vector<uint8_t> pixels(64 * 64 * 3);
        for (int i = 0; i < 64 * 64; ++i) {
            const bool light = ((i % 64) / 8 + (i / 64) / 8) % 2;
            pixels[i * 3] = light ? 240 : 40;
            pixels[i * 3 + 1] = light ? 200 : 60;
            pixels[i * 3 + 2] = light ? 80 : 120;
        }
        texture_ = m_p3DEngine->CreateTexture(TEX_WRAP_U | TEX_WRAP_V, TEX_MIN_POINT | TEX_MAG_POINT);
        if (!texture_ || texture_->MakeTextureFromRaw(64, 64, 24, pixels.data(), "checker") < 0) return eFAILED;

        // Screen objects are laid out in points of the landscape screen, 480 x 320.
        quad_ = m_p3DEngine->Create3DObject(OBJ_SCREEN | OBJ_INDEX16, RENDER_LIGHT | RENDER_STATEBLOCK | RENDER_TEXTURE1);
        if (!quad_ || quad_->InitConstruct(1, 4, 4) < 0) return eFAILED;
        quad_->BeginConstruct();
        quad_->SetIndexIncrementaly();
        const float corners[4][4] = {{90, 40, 0, 0}, {390, 40, 2, 0}, {90, 240, 0, 2}, {390, 240, 2, 2}};
        for (uint32_t i = 0; i < 4; ++i)
            quad_->SetVertex(i, VECTOR3D{corners[i][0], corners[i][1], 0}, 0xFFFFFFFFu,
                             VECTOR2D{corners[i][2], corners[i][3]}, VECTOR3D{0, 0, 0}, 0);
        quad_->SetSubObjParsingEx(0, 0, 4, 0, 4, 2, PRIM_TRIANGLESTRIP, CULL_CCW, eNO_VALUE);
        quad_->EndConstruct(true);
        quad_->SetTexture(texture_, eALL_SUBOBJECTS, 0);

        std::ifstream file(EXAMPLES_FONT, std::ios::binary);
        std::vector<char> ttf((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        font_ = new CKavroFont(m_pSharedInfos);
        if (ttf.empty() || font_->Load(FONT_SCREEN) < 0 ||
            font_->MakeFontTTFFromAddress("font", ttf.data(), static_cast<uint32_t>(ttf.size()), 30, 3) < 0)
            return eFAILED;
        return eOK;
    }

    eRESULT Unload() override {
        if (font_) font_->Unload();
        delete font_;
        font_ = nullptr;
        return CWorld::Unload();  // the device frees the quad and the texture
    }

    eRESULT Render() override {
        quad_->Render(eALL_SUBOBJECTS);
        VECTOR3D at = {150, 255, 0};  // the pen: the top left of the first line
        font_->RenderText("Hello, world", &at, 0, 0xFFFFFFFFu, 20, 24, nullptr, nullptr, 0);
        return eOK;
    }

private:
    C3DTexture* texture_ = nullptr;
    C3DObject* quad_ = nullptr;
    CKavroFont* font_ = nullptr;
};

int main(int argc, char** argv) {
    platform::WorldSettings settings;
    settings.name = "quad_text";
    settings.summary = "A textured quad and a line of text.";
    return platform::RunWorld<QuadTextWorld>(argc, argv, settings);
}
