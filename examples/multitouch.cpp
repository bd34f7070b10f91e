// Multi-touch drawing: every finger paints its own colour, and a finger
// keeps its colour from down to up because the host keeps it in one slot.
#include "engine/3d/3DEngine.h"
#include "engine/3d/3DObject.h"
#include "engine/world/TouchMessage.h"
#include "platform/Host.h"

class MultitouchWorld : public CWorld {
public:
    eRESULT Load(void* window, unsigned short width, unsigned short height, unsigned char colorDepth,
                 bool fullScreen, ORIENTATION orientation, bool desktop, uint32_t flags, char* text) override {
        if (CWorld::Load(window, width, height, colorDepth, fullScreen, orientation, desktop, flags, text) < 0)
            return eFAILED;
        m_pSharedInfos->m_dwClearColor = 0xFFF4F0E8u;
        dots_ = m_p3DEngine->Create3DObject(OBJ_SCREEN | OBJ_INDEX16, RENDER_LIGHT | RENDER_STATEBLOCK | RENDER_NO_TEXTURE);
        if (!dots_ || dots_->InitConstruct(1, kMaxDots * 6, kMaxDots * 6) < 0) return eFAILED;
        dots_->BeginConstruct();
        dots_->SetIndexIncrementaly();
        dots_->EndConstruct(true);
        return eOK;
    }

    // Each finger of the event leaves a dot where it is, in its slot's colour.
    eRESULT IncomingOSMessage(void* message) override {
        const auto* touch = static_cast<const TOUCH_MESSAGE*>(message);
        if (touch->type != eTOUCH_BEGAN && touch->type != eTOUCH_MOVED) return eOK;
        static const uint32_t kColours[10] = {0xFFD03030u, 0xFF3060D0u, 0xFF30A050u, 0xFFE0A020u, 0xFF9040C0u,
                                              0xFF20A0B0u, 0xFFE06090u, 0xFF606060u, 0xFF90C030u, 0xFF804020u};
        dots_->BeginConstruct();
        for (int i = 0; i < touch->count && count_ < kMaxDots; ++i, ++count_) {
            // View points are portrait; the screen objects are landscape.
            const float x = 480.0f - touch->touchY[i], y = touch->touchX[i], r = 6.0f;
            const float corners[6][2] = {{-r, -r}, {r, -r}, {-r, r}, {r, -r}, {r, r}, {-r, r}};
            for (uint32_t k = 0; k < 6; ++k)
                dots_->SetVertex(count_ * 6 + k, VECTOR3D{x + corners[k][0], y + corners[k][1], 0},
                                 kColours[touch->touchSlot[i]], VECTOR2D{0, 0}, VECTOR3D{0, 0, 0}, 0);
        }
        dots_->EndConstruct(true);
        return eOK;
    }

    eRESULT Render() override {
        if (count_ == 0) return eOK;
        dots_->SetSubObjParsingEx(0, 0, count_ * 6, 0, count_ * 6, count_ * 2, PRIM_TRIANGLELIST, CULL_NONE,
                                  eNO_VALUE);
        return dots_->Render(eALL_SUBOBJECTS);
    }

private:
    static constexpr uint32_t kMaxDots = 4000;
    C3DObject* dots_ = nullptr;
    uint32_t count_ = 0;
};

int main(int argc, char** argv) {
    platform::WorldSettings settings;
    settings.name = "multitouch";
    settings.summary = "Multi-touch drawing, a colour per finger (headless: try --script multitouch.script).";
    settings.pictureFrame = 80;
    return platform::RunWorld<MultitouchWorld>(argc, argv, settings);
}
