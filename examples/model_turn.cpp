// A model loaded from a file and turned with a finger: the gem (built with
// the examples as gem.3dx) follows a drag left and right, up and down.
#include <string>

#include "engine/3d/3DEngine.h"
#include "engine/3d/3DObject.h"
#include "engine/3d/Maths3D.h"
#include "engine/world/TouchMessage.h"
#include "platform/Host.h"

class ModelTurnWorld : public CWorld {
public:
    eRESULT Load(void* window, unsigned short width, unsigned short height, unsigned char colorDepth,
                 bool fullScreen, ORIENTATION orientation, bool desktop, uint32_t flags, char* text) override {
        if (CWorld::Load(window, width, height, colorDepth, fullScreen, orientation, desktop, flags, text) < 0)
            return eFAILED;
        m_pSharedInfos->m_dwClearColor = 0xFF202830u;
        gem_ = m_p3DEngine->Create3DObject(OBJ_NORMAL, RENDER_STATEBLOCK | RENDER_LIGHT | RENDER_LIGHTING |
                                                           RENDER_COLOR_MATERIAL | RENDER_ZTEST | RENDER_ZWRITE |
                                                           RENDER_CULL_NONE | RENDER_NO_TEXTURE);
        const std::string path = platform::BundlePath() + "/gem.3dx";
        if (!gem_ || gem_->LoadFromFile(path.c_str(), "") < 0) return eFAILED;
        return eOK;
    }

    // A drag turns the gem: across the screen about the vertical, along it
    // about the horizontal. The finger's place comes in landscape points.
    eRESULT IncomingOSMessage(void* message) override {
        CWorld::IncomingOSMessage(message);
        const auto* touch = static_cast<const TOUCH_MESSAGE*>(message);
        const float x = m_pSharedInfos->m_fMouseX, y = m_pSharedInfos->m_fMouseY;
        if (touch->type == eTOUCH_MOVED) {
            yaw_ -= (x - lastX_) * 0.01f;
            pitch_ -= (y - lastY_) * 0.01f;
        }
        lastX_ = x, lastY_ = y;
        return eOK;
    }

    eRESULT Render() override {
        const VECTOR3D angles = {pitch_, yaw_, 0.0f}, at = {0.0f, 0.1f, 6.0f};
        m_pMaths3D->_MATRIX3DRotation(&gem_->m_matMatrix, &angles);
        m_pMaths3D->_MATRIX3DSetPosition(&gem_->m_matMatrix, &at);
        return gem_->Render(eALL_SUBOBJECTS);
    }

private:
    C3DObject* gem_ = nullptr;
    float yaw_ = 0.4f, pitch_ = 0.35f;
    float lastX_ = 0, lastY_ = 0;
};

int main(int argc, char** argv) {
    platform::WorldSettings settings;
    settings.name = "model_turn";
    settings.summary = "A model loaded from a 3DX file, turned with a finger.";
    settings.bundleDir = EXAMPLES_BUNDLE;
    return platform::RunWorld<ModelTurnWorld>(argc, argv, settings);
}
