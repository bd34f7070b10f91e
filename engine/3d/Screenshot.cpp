#include "engine/3d/Screenshot.h"

#include <cstdio>

#include "engine/3d/3DEngine.h"
#include "engine/3d/3DObject.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/Camera.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/3DTextureGLES.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/Trace.h"
#include "engine/world/World.h"

namespace {

constexpr uint32_t kMeshFlags = OBJ_SCREEN | OBJ_INDEX16 | OBJ_DIRECT_COLOR;
constexpr uint32_t kMeshRenderFlags = RENDER_LIGHT | RENDER_ALPHA | RENDER_COLOR_MATERIAL | RENDER_STATEBLOCK |
                                      RENDER_TEXTURE1 | RENDER_DIRECT_COLOR;
constexpr uint32_t kTextureFlags2 = TEX_MIN_LINEAR | 0x10 | TEX_ALPHA;
// The OpenGL ES device: grabs land in the corner of a power-of-two texture.
constexpr uint32_t kGlesDevice = 0x01000020u;

constexpr float kDefaultFadeSpeed = 0.075f;
const char kDefaultBlank[] = "blank.png";

bool IsLandscape(ORIENTATION o) { return o == ORIENTATION_LANDSCAPE_LEFT || o == ORIENTATION_LANDSCAPE_RIGHT; }

// The quad that shows the frozen frame for a camera orientation, -1 for none.
int SubObjectFor(ORIENTATION o) {
    switch (o) {
        case ORIENTATION_PORTRAIT: return 2;
        case ORIENTATION_PORTRAIT_UPSIDE_DOWN: return 3;
        case ORIENTATION_LANDSCAPE_LEFT: return 1;
        case ORIENTATION_LANDSCAPE_RIGHT: return 0;
        default: return -1;
    }
}

}  // namespace

CScreenshot::CScreenshot(SHARED_INFOS* infos)
    : C3DRenderer(infos), m_fFade(0.0f), m_fFadeSpeed(0.0f), m_pObject(nullptr), m_pTexture(nullptr) {}

CScreenshot::~CScreenshot() {}

eRESULT CScreenshot::Load() {
    SHARED_INFOS* si = m_pSharedInfos;
    C3DEngine* device = si && si->m_pWorld ? si->m_pWorld->m_p3DEngine : nullptr;
    if (!device) return eFAILED;
    // Loading again rebuilds instead of leaving the first set in the device.
    if (m_pObject || m_pTexture) Unload();

    CUtilsParameters* param = si->m_pParamEx;
    m_fFadeSpeed = param ? param->ReadFloat("TEXTURES", "SCREENSHOT_FADE_RATIO_SPEED", kDefaultFadeSpeed)
                         : kDefaultFadeSpeed;

    m_pTexture = device->CreateTexture(0, kTextureFlags2);
    if (!m_pTexture) return eFAILED;

    if (param)
        param->ReadString("TEXTURES", "BLANK_TEXTURE_FILE_NAME", kDefaultBlank, si->m_szWorkPath,
                          static_cast<int32_t>(sizeof si->m_szWorkPath));
    else
        std::snprintf(si->m_szWorkPath, sizeof si->m_szWorkPath, "%s", kDefaultBlank);
    if (eFAILURE(eGetResPacker(si->m_szWorkPath, &si->m_ResPacker)) ||
        eFAILURE(m_pTexture->LoadTextureFromPacker(&si->m_ResPacker))) {
        eTRACE(si->m_szLogPath, 1, "# LoadTextureFromParam::LoadTextureFromPacker failed! (\"%s\")\n",
               si->m_szWorkPath);
        return eFAILED;
    }

    m_pObject = device->Create3DObject(kMeshFlags, kMeshRenderFlags);
    if (!m_pObject) return eFAILED;
    C3DObject* mesh = m_pObject;
    if (eFAILURE(mesh->InitConstruct(4, 16, 16)) || eFAILURE(mesh->BeginConstruct()) ||
        eFAILURE(mesh->SetIndexIncrementaly()))
        return eFAILED;

    const float hw = static_cast<float>(si->m_wWidthInit / 2);
    const float hh = static_cast<float>(si->m_wHeightInit / 2);
    const bool landscape = IsLandscape(si->m_Orientation);

    // The grab fills only the lower-left part of its power-of-two texture.
    float uMax = 1.0f, vMin = 0.0f;
    if ((si->m_Device3D.dwFlags & kGlesDevice) == kGlesDevice) {
        const float wPix = si->m_wWidthInit * si->m_fScaleX;
        const float hPix = si->m_wHeightInit * si->m_fScaleY;
        uint32_t pw = 0, ph = 0;
        eTextureGrabSize(static_cast<uint32_t>(wPix), static_cast<uint32_t>(hPix), false, &pw, &ph);
        if (landscape) {
            uMax = hPix / static_cast<float>(ph);
            vMin = 1.0f - wPix / static_cast<float>(pw);
        } else {
            uMax = wPix / static_cast<float>(pw);
            vMin = 1.0f - hPix / static_cast<float>(ph);
        }
    }

    // uv per corner (-a,-b) (+a,-b) (-a,+b) (+a,+b) of each quad.
    static const float kUvLandscape[4][8] = {
        {0, 1, 0, 0, 1, 1, 1, 0}, {1, 0, 1, 1, 0, 0, 0, 1}, {0, 1, 0, 0, 1, 1, 1, 0}, {1, 0, 1, 1, 0, 0, 0, 1}};
    static const float kUvOther[4][8] = {
        {0, 0, 1, 0, 0, 1, 1, 1}, {1, 1, 0, 1, 1, 0, 0, 0}, {0, 1, 0, 0, 1, 1, 1, 0}, {1, 0, 1, 1, 0, 0, 0, 1}};
    const float(*uvs)[8] = landscape ? kUvLandscape : kUvOther;
    const VECTOR3D noNormal{0.0f, 0.0f, 0.0f};
    for (uint32_t m = 0; m < 4; ++m) {
        const float a = m < 2 ? hw : hh, b = m < 2 ? hh : hw;
        const VECTOR3D corners[4] = {{-a, -b, 0.0f}, {a, -b, 0.0f}, {-a, b, 0.0f}, {a, b, 0.0f}};
        for (uint32_t c = 0; c < 4; ++c) {
            const float u = uvs[m][2 * c], v = uvs[m][2 * c + 1];
            const VECTOR2D uv{u == 1.0f ? uMax : u, v == 0.0f ? vMin : v};
            mesh->SetVertex(4 * m + c, corners[c], 0xFFFFFFFFu, uv, noNormal, 0);
        }
    }
    for (uint32_t m = 0; m < 4; ++m)
        mesh->SetSubObjParsingEx(m, 0, 4, 4 * m, 4, 2, PRIM_TRIANGLESTRIP, CULL_CCW, eNO_VALUE);
    if (eFAILURE(mesh->EndConstruct(true)) || eFAILURE(mesh->SetTexture(m_pTexture, eALL_SUBOBJECTS, 0)))
        return eFAILED;

    const VECTOR3D centre{hw, hh, 0.0f};
    if (CMaths3D* maths = si->m_pMaths3D) {
        maths->_MATRIX3DIdentity(&mesh->m_matMatrix);
        maths->_MATRIX3DSetPosition(&mesh->m_matMatrix, &centre);
    } else {
        mesh->m_matMatrix = MATRIX3D{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, hw, hh, 0, 1};
    }
    return eOK;
}

eRESULT CScreenshot::Unload() {
    SHARED_INFOS* si = m_pSharedInfos;
    C3DEngine* device = si && si->m_pWorld ? si->m_pWorld->m_p3DEngine : nullptr;
    if (!device) return eFAILED;
    if (m_pObject) device->Delete3DObject(m_pObject);
    m_pObject = nullptr;
    // The quad's own references to the texture went with it; this is ours.
    const eRESULT result = m_pTexture ? device->DeleteTexture(m_pTexture) : eOK;
    m_pTexture = nullptr;
    return result;
}

void CScreenshot::FrameMove() {
    if (m_fFade == 0.0f || !m_pSharedInfos) return;
    m_fFade -= static_cast<float>(m_pSharedInfos->m_dFrameFactor) * m_fFadeSpeed;
    if (m_fFade < 0.0f) m_fFade = 0.0f;
}

void CScreenshot::Render() {
    if (m_fFade == 0.0f || !m_pObject) return;
    SHARED_INFOS* si = m_pSharedInfos;
    C3DEngine* device = si && si->m_pWorld ? si->m_pWorld->m_p3DEngine : nullptr;
    if (!device || !device->m_pCamera) return;
    const int sub = SubObjectFor(device->m_pCamera->m_eOrientation);
    if (sub < 0) return;
    // Clamped: a fade outside 0 .. 1 must not wrap around through the byte.
    const double alpha = m_fFade * 255.0;
    m_pObject->SetDirectAlpha(alpha >= 255.0 ? 255 : alpha <= 0.0 ? 0 : static_cast<uint8_t>(alpha));
    m_pObject->RenderOne(static_cast<uint32_t>(sub));
}

eRESULT CScreenshot::TakeScreenShot(bool update, bool fromScreen, bool luminance, uint32_t unit) {
    const eRESULT result = m_pTexture ? m_pTexture->ScreenShot(update, fromScreen, luminance, unit) : eFAILED;
    m_fFade = 1.0f;
    return result;
}
