// Lights, fog and the procedural models: a row of shapes built by the
// engine, lit by two lights, fading into the fog as they recede.
#include "engine/3d/3DEngine.h"
#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectModels.h"
#include "engine/3d/Maths3D.h"
#include "platform/Host.h"

class LightsFogWorld : public CWorld {
public:
    eRESULT Load(void* window, unsigned short width, unsigned short height, unsigned char colorDepth,
                 bool fullScreen, ORIENTATION orientation, bool desktop, uint32_t flags, char* text) override {
        if (CWorld::Load(window, width, height, colorDepth, fullScreen, orientation, desktop, flags, text) < 0)
            return eFAILED;
        SHARED_INFOS* s = m_pSharedInfos;
        // Light 1 from the upper left, light 2 low from the right; both directional.
        const float lights[2][4] = {{-1.0f, 1.0f, -0.6f, 0.8f}, {1.0f, -0.3f, -0.4f, 0.4f}};
        for (int i = 0; i < 2; ++i) {
            LIGHT_BLOCK& l = s->m_Light[i];
            l.m_bEnable = 1;
            l.m_dwType = 0;
            l.m_afPosition[0] = lights[i][0], l.m_afPosition[1] = lights[i][1], l.m_afPosition[2] = lights[i][2];
            l.m_fDiffuse = lights[i][3], l.m_fSpecular = 0.3f, l.m_fAmbient = 0.15f;
        }
        s->m_dwClearColor = s->m_Fog.m_dwColor = 0xFF9AA8B8u;  // the fog hides into the background
        s->m_Fog.m_bEnable = 1;
        s->m_Fog.m_fStart = 5.0f, s->m_Fog.m_fEnd = 24.0f;
        if (m_p3DEngine->LightingInit(e3D_ALL_LIGHTS) < 0 || m_p3DEngine->FogingInit() < 0) return eFAILED;

        const uint32_t render = RENDER_STATEBLOCK | RENDER_LIGHT | RENDER_LIGHTING | RENDER_COLOR_MATERIAL |
                                RENDER_FOG | RENDER_ZTEST | RENDER_ZWRITE | RENDER_CULL_NONE | RENDER_NO_TEXTURE;
        MODEL_SPHERE sphere{0.9f, 24, 0xFFE05040u, 0xFFFFFFFFu};
        MODEL_BOX box{0.7f, 0.7f, 0.7f, 0, 0xFF50C060u, 0, 1, 1};
        MODEL_CYLINDER tube{1.2f, 0.6f, 1.8f, 0, 24, 0, 2, 0xFFE0C040u, 0, 1, 1};
        MODEL_SPHERE dome{0.9f, 24, 0xFF5080E0u, 0xFFFFFFFFu};
        const struct {
            uint32_t type, flags;
            void* record;
        } shapes[kShapes] = {{MODEL_TYPE_SPHERE, OBJ_NORMAL, &sphere},
                             {MODEL_TYPE_BOX, OBJ_NORMAL, &box},
                             {MODEL_TYPE_CYLINDER, OBJ_NORMAL | OBJ_COMPUTE_NORMALS_SMOOTH, &tube},
                             {MODEL_TYPE_DEMISPHERE, OBJ_NORMAL, &dome}};
        for (int i = 0; i < kShapes; ++i) {
            models_[i] = m_p3DEngine->Create3DObject(shapes[i].flags, render);
            if (!models_[i] || models_[i]->ConstructFromModel(shapes[i].type, shapes[i].record) < 0) return eFAILED;
        }
        return eOK;
    }

    eRESULT FrameMove() override {
        turn_ += 0.02f * static_cast<float>(m_pSharedInfos->m_dFrameFactor);
        // Left to right and further away, so the fog takes more of each.
        for (int i = 0; i < kShapes; ++i) {
            MATRIX3D& m = models_[i]->m_matMatrix;
            const VECTOR3D angles = {0.4f, turn_ + i, 0.0f};
            m_pMaths3D->_MATRIX3DRotation(&m, &angles);
            const VECTOR3D at = {-2.6f + 2.2f * i, -0.2f, 6.5f + 4.5f * i};
            m_pMaths3D->_MATRIX3DSetPosition(&m, &at);
        }
        return CWorld::FrameMove();
    }

    eRESULT Render() override {
        for (C3DObject* model : models_) model->Render(eALL_SUBOBJECTS);
        return eOK;
    }

private:
    static constexpr int kShapes = 4;
    C3DObject* models_[kShapes] = {};
    float turn_ = 0.0f;
};

int main(int argc, char** argv) {
    platform::WorldSettings settings;
    settings.name = "lights_fog";
    settings.summary = "Lights, fog and the engine's procedural models.";
    return platform::RunWorld<LightsFogWorld>(argc, argv, settings);
}
