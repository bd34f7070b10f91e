#include "app/OrbellineWorld.h"

#include <GLES/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/3d/3DEngine.h"
#include "engine/3d/3DObject.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/Camera.h"
#include "engine/3d/KavroFont.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/Screenshot.h"
#include "engine/3d/gles/3DTextureGLES.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/Random.h"
#include "engine/world/TimerFactor.h"
#include "engine/world/TouchMessage.h"
#include "engine/world/Trace.h"

const char* const g_tabText[20] = {
    "As I see it,\n      yes",
    "It is certain",
    "        It is\ndecidedly so",
    "Most likely",
    "Outlook good",
    "Signs point\n     to yes",
    "Without\na doubt",
    "Yes",
    "      Yes\ndefinitely",
    "You may\nrely on it",
    "Reply hazy,\n  try again",
    "Ask again\n    later",
    " Better not\ntell you now",
    "Cannot\npredict\n   now",
    "Concentrate\n    and ask\n      again",
    "Don't count\n      on it",
    "My reply\n    is no",
    "My sources\n     say no",
    "Outlook not\n    so good",
    "   Very\ndoubtful",
};

namespace {

const char kInstructionsLeft[] = "1) ask your\nquestion\n\n2) rub the\ncrystal ball";
const char kInstructionsRight[] = "3) read your\nanswer\n\n4) shake your\ndevice to\nrestart";

constexpr uint32_t kQuadObjectFlags = OBJ_SCREEN | OBJ_INDEX16;  // 0x1010
constexpr uint32_t kQuadRenderFlags = RENDER_LIGHT | RENDER_ALPHA | RENDER_STATEBLOCK | RENDER_TEXTURE1;  // 0x0C09
constexpr uint32_t kStrokeVertices = 192;  // 32 quads of two triangles
constexpr int kFingerSlots = 10;

// One flag per finger slot of the host's touch table: the finger is down.
uint8_t tabPointUsed[kFingerSlots];

const VECTOR3D kNoNormal = {0, 0, 0};

uint32_t PowerOfTwo(uint32_t v) {
    uint32_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

float Sign(float v) { return v >= 0.0f ? 1.0f : -1.0f; }

}  // namespace

eRESULT LoadTextureFromParam(C3DTexture* texture, const char* section, const char* key, const char* defaultName,
                             CUtilsParameters* params, SHARED_INFOS* shared) {
    if (params) {
        params->ReadString(section, key, defaultName, shared->m_szWorkPath, sizeof(shared->m_szWorkPath));
    } else {
        std::snprintf(shared->m_szWorkPath, sizeof(shared->m_szWorkPath), "%s", defaultName);
    }
    if (texture && eGetResPacker(shared->m_szWorkPath, &shared->m_ResPacker) >= 0 &&
        texture->LoadTextureFromPacker(&shared->m_ResPacker) >= 0)
        return eOK;
    eTRACE(shared->m_szLogPath, 1, "# LoadTextureFromParam::LoadTextureFromPacker failed! (\"%s\")\n",
           shared->m_szWorkPath);
    return eFAILED;
}

COrbellineWorld::COrbellineWorld()
    : m_fSpeedFactor(1.0f),
      m_vLastTouch{0, 0},
      m_vLastTilt{0, 0, 0},
      m_dwAnswer(0xFFFFFFFFu),
      m_pFont(nullptr),
      m_pScreenshot(nullptr),
      m_pScreenQuad(nullptr),
      m_pMaskQuad(nullptr),
      m_pMaskCanvas(nullptr),
      m_pBackgroundFrom(nullptr),
      m_pBackgroundTo(nullptr),
      m_bNewAnswer(true),
      m_pAnswerTexture(nullptr),
      m_pMaskTexture(nullptr),
      m_wMaskSize(0),
      m_bMaskReload(true),
      m_pStroke(nullptr),
      m_dwStrokeVertices(0) {}

COrbellineWorld::~COrbellineWorld() {
    delete m_pFont;
    delete m_pScreenshot;
}

bool COrbellineWorld::Landscape() const {
    ORIENTATION o = m_pSharedInfos->m_Orientation;
    return o == ORIENTATION_LANDSCAPE_LEFT || o == ORIENTATION_LANDSCAPE_RIGHT;
}

eRESULT COrbellineWorld::Load(void* window, unsigned short width, unsigned short height, unsigned char colorDepth,
                              bool fullScreen, ORIENTATION orientation, bool desktop, uint32_t flags, char* text) {
    SHARED_INFOS* s = m_pSharedInfos;
    // 1. The logical screen is always 320 x 480 units; the rest is pixel scale.
    s->m_fScaleZ = 1.0f;
    s->m_fScaleY = height / 480.0f;
    s->m_fScaleX = width / 320.0f;
    // 2.
    if (CWorld::Load(window, static_cast<unsigned short>(std::floor(width / s->m_fScaleX)),
                     static_cast<unsigned short>(std::floor(height / s->m_fScaleY)), colorDepth, fullScreen,
                     orientation, desktop, flags, text) < 0)
        return eFAILED;
    // 3 - 5.
    std::snprintf(s->m_szDataPath, sizeof(s->m_szDataPath), "%s", "Data/");
    static const char kNoText[] = "";
    CUtilsParametersStatic none(kNoText, sizeof(kNoText));
    CUtilsParameters* p = s->m_pParamEx ? s->m_pParamEx : &none;
    m_fSpeedFactor = p->ReadFloat("CAMERA", "SPEED_FACTOR", 1.0f);
    const bool fromGlyph = p->ReadBool("FONT_TTF", "LOAD_FONT_FROM_GLYPH", true);

    // 6. Font.
    m_pFont = new CKavroFont(s);
    if (m_pFont->Load(1) != 0) return eFAILED;
    if (fromGlyph) {
        p->ReadString("FONT_TTF", "MAIN_FONT_TEXTURE_PATH", "", s->m_szWorkPath, sizeof(s->m_szWorkPath));
        _RES_PACKER atlas{};
        atlas.m_pFile = s->m_ResPacker.m_pFile;
        bool ok = eGetResPacker(s->m_szWorkPath, &atlas) >= 0 && m_pFont->LoadFontGlyphFromPacker(&atlas, nullptr) >= 0;
        if (ok) {
            p->ReadString("FONT_TTF", "MAIN_FONT_GLYPH_PATH", "", s->m_szWorkPath, sizeof(s->m_szWorkPath));
            _RES_PACKER glyphs{};
            glyphs.m_pFile = s->m_ResPacker.m_pFile;
            ok = eGetResPacker(s->m_szWorkPath, &glyphs) >= 0 &&
                 m_pFont->LoadFontGlyphFromPacker(nullptr, &glyphs) >= 0;
        }
        if (!ok) {
            eTRACE(s->m_szLogPath, 1, "# LoadFontGlyphFromParam::LoadFontGlyphFromPacker failed! (\"%s\")\n",
                   s->m_szWorkPath);
            return eFAILED;
        }
    } else {
        p->ReadString("FONT_TTF", "MAIN_FONT_TTF_PATH", "", s->m_szWorkPath, sizeof(s->m_szWorkPath));
        if (eGetResPacker(s->m_szWorkPath, &s->m_ResPacker) < 0 ||
            m_pFont->LoadFontTTFFromPacker(&s->m_ResPacker, 30, 3) < 0) {
            eTRACE(s->m_szLogPath, 1, "# LoadFontTTFFromParam::LoadFontTTFFromPacker failed! (\"%s\")\n",
                   s->m_szWorkPath);
            return eFAILED;
        }
    }

    // 7. The fade of the previous turn.
    m_pScreenshot = new CScreenshot(s);
    if (m_pScreenshot->Load() < 0) return eFAILED;

    // 8. Textures.
    C3DEngine* device = m_p3DEngine;
    struct TextureLoad {
        C3DTexture** field;
        uint32_t flags2;
        const char* key;
        const char* defaultName;
    };
    const TextureLoad textures[] = {
        {&m_pBackgroundFrom, 100, "BACKGROUND_FROM_TEXTURE", "background.from.png"},
        {&m_pBackgroundTo, 100, "BACKGROUND_TO_TEXTURE", "background.to.png"},
        {&m_pAnswerTexture, 82, "SCREENSHOT_TEXTURE", "screenshot.png"},
        {&m_pMaskTexture, 82, "MASK_TEXTURE", "mask.png"},
    };
    for (const TextureLoad& t : textures) {
        *t.field = device->CreateTexture(1, t.flags2);
        if (!*t.field) return eFAILED;
        if (LoadTextureFromParam(*t.field, "GENERAL", t.key, t.defaultName, p, s) < 0) return eFAILED;
    }

    // The answer capture copies the whole screen, rounded up to powers of
    // two, into the answer texture's storage: at a pixel scale above 1 that
    // is more than the image from the pack holds, so give it room.
    uint32_t grabWidth = 0, grabHeight = 0;
    eScreenGrabSize(s, s->m_wWidth, s->m_wHeight, true, &grabWidth, &grabHeight);
    if (m_pAnswerTexture->m_wWidth < grabWidth || m_pAnswerTexture->m_wHeight < grabHeight) {
        char name[sizeof m_pAnswerTexture->m_szName];
        std::memcpy(name, m_pAnswerTexture->m_szName, sizeof name);
        if (grabWidth > 0xFFFFu || grabHeight > 0xFFFFu ||
            m_pAnswerTexture->MakeTextureFromRaw(static_cast<uint16_t>(grabWidth), static_cast<uint16_t>(grabHeight),
                                                 24, nullptr, name) < 0) {
            eTRACE(s->m_szLogPath, 1, "# COrbellineWorld::Load no room for a %ux%u answer capture\n", grabWidth,
                   grabHeight);
            return eFAILED;
        }
    }

    // 9.
    m_wMaskSize = m_pMaskTexture->m_wWidth;
    const float S = m_wMaskSize;
    // The capture of the screen in logical units, along x and along y of the
    // landscape scene (the portrait framebuffer's y and x): sub-object 1 of
    // the screen quad lays it back where it was taken, at any pixel scale.
    const float answerX = grabHeight / s->m_fScaleY;
    const float answerY = grabWidth / s->m_fScaleX;

    // 10. Screen-space objects.
    // Created into its field first, so that Unload returns it even when the
    // construction fails.
    auto makeQuad = [&](C3DObject** field, uint32_t subObjects, uint32_t vertices) -> bool {
        *field = device->Create3DObject(kQuadObjectFlags, kQuadRenderFlags);
        if (!*field || (*field)->InitConstruct(subObjects, vertices, vertices) < 0) return false;
        (*field)->BeginConstruct();
        (*field)->SetIndexIncrementaly();
        return true;
    };
    auto vertex = [](C3DObject* o, uint32_t i, float x, float y, float u, float v) {
        o->SetVertex(i, VECTOR3D{x, y, 0}, 0xFFFFFFFFu, VECTOR2D{u, v}, kNoNormal, 0);
    };

    if (!makeQuad(&m_pScreenQuad, 2, 8)) return eFAILED;
    vertex(m_pScreenQuad, 0, 0, 0, 0, 0);
    vertex(m_pScreenQuad, 1, 480, 0, 1, 0);
    vertex(m_pScreenQuad, 2, 0, 320, 0, 1);
    vertex(m_pScreenQuad, 3, 480, 320, 1, 1);
    vertex(m_pScreenQuad, 4, 0, 0, 0, 1);
    vertex(m_pScreenQuad, 5, answerX, 0, 0, 0);
    vertex(m_pScreenQuad, 6, 0, answerY, 1, 1);
    vertex(m_pScreenQuad, 7, answerX, answerY, 1, 0);
    m_pScreenQuad->SetSubObjParsingEx(0, 0, 4, 0, 4, 2, PRIM_TRIANGLESTRIP, CULL_CCW, 0xFFFFFFFFu);
    m_pScreenQuad->SetSubObjParsingEx(1, 0, 4, 4, 4, 2, PRIM_TRIANGLESTRIP, CULL_CCW, 0xFFFFFFFFu);
    m_pScreenQuad->EndConstruct(true);

    if (!makeQuad(&m_pMaskQuad, 1, 4)) return eFAILED;
    vertex(m_pMaskQuad, 0, -240, -160, 0, 0);
    vertex(m_pMaskQuad, 1, 240, -160, 1, 0);
    vertex(m_pMaskQuad, 2, -240, 160, 0, 1);
    vertex(m_pMaskQuad, 3, 240, 160, 1, 1);
    m_pMaskQuad->SetSubObjParsingEx(0, 0, 4, 0, 4, 2, PRIM_TRIANGLESTRIP, CULL_CCW, 0xFFFFFFFFu);
    m_pMaskQuad->EndConstruct(true);
    m_pMaths3D->_MATRIX3DIdentity(&m_pMaskQuad->m_matMatrix);
    const VECTOR3D centre = {240, 160, 0};
    m_pMaths3D->_MATRIX3DSetPosition(&m_pMaskQuad->m_matMatrix, &centre);

    // The canvas addresses only the part of the power-of-two texture that a
    // capture of S x S logical units fills.
    if (!makeQuad(&m_pMaskCanvas, 1, 4)) return eFAILED;
    {
        const float px = S * s->m_fScaleX, qy = S * s->m_fScaleY;
        const float P = static_cast<float>(PowerOfTwo(static_cast<uint32_t>(px)));
        const float Q = static_cast<float>(PowerOfTwo(static_cast<uint32_t>(qy)));
        const float umax = px / P, vmin = 1.0f - qy / Q;
        m_fMaskUMax = umax;
        m_fMaskVMin = vmin;
        const bool gles = (s->m_Device3D.dwFlags & 0x01000020u) == 0x01000020u;
        if (Landscape() && gles) {
            vertex(m_pMaskCanvas, 0, 0, 0, 0, 1);
            vertex(m_pMaskCanvas, 1, S, 0, 0, vmin);
            vertex(m_pMaskCanvas, 2, 0, S, umax, 1);
            vertex(m_pMaskCanvas, 3, S, S, umax, vmin);
        } else {
            vertex(m_pMaskCanvas, 0, 0, 320 - S, 0, vmin);
            vertex(m_pMaskCanvas, 1, S, 320 - S, umax, vmin);
            vertex(m_pMaskCanvas, 2, 0, 320, 0, 1);
            vertex(m_pMaskCanvas, 3, S, 320, umax, 1);
        }
    }
    m_pMaskCanvas->SetSubObjParsingEx(0, 0, 4, 0, 4, 2, PRIM_TRIANGLESTRIP, CULL_CCW, 0xFFFFFFFFu);
    m_pMaskCanvas->EndConstruct(true);
    AddressMask(false);

    if (!makeQuad(&m_pStroke, 1, kStrokeVertices)) return eFAILED;
    static const VECTOR2D kStampUV[6] = {{0, 0}, {1, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 1}};
    for (uint32_t i = 0; i < kStrokeVertices; ++i) {
        m_pStroke->SetVertex(i, VECTOR3D{0, 0, 0}, 0xFFFFFFFFu, kStampUV[i % 6], kNoNormal, 0);
    }
    m_pStroke->EndConstruct(true);
    p->ReadString("GENERAL", "TOUCH_TEXTURE", "touch.png", s->m_szWorkPath, sizeof(s->m_szWorkPath));
    if (eGetResPacker(s->m_szWorkPath, &s->m_ResPacker) < 0 ||
        m_pStroke->LoadTextureFromPacker(1, 82, &s->m_ResPacker, 0xFFFFFFFFu, 0) < 0) {
        eTRACE(s->m_szLogPath, 1, "# Load3DObjectTextureFromParam::LoadTextureFromPacker failed! (\"%s\")\n",
               s->m_szWorkPath);
        return eFAILED;
    }
    return eOK;
}

void COrbellineWorld::AddressMask(bool captured) {
    // Where a capture fills its texture whole (every scale whose mask is a
    // power of two in pixels) the layouts built at load are right as they
    // are.
    if (m_fMaskUMax == 1.0f && m_fMaskVMin == 0.0f) return;
    if (!m_pMaskCanvas || !m_pMaskQuad) return;
    const float umax = captured ? m_fMaskUMax : 1.0f;
    const float vmin = captured ? m_fMaskVMin : 0.0f;
    // Corners in the order the quads were built; (u, v) in [0, 1] of the
    // area to address.
    static const float kCanvasLandscape[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
    static const float kCanvasOther[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    static const float kQuad[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    const bool gles = (m_pSharedInfos->m_Device3D.dwFlags & 0x01000020u) == 0x01000020u;
    const float(*canvas)[2] = Landscape() && gles ? kCanvasLandscape : kCanvasOther;
    for (uint32_t i = 0; i < 4; ++i) {
        VECTOR2D c{canvas[i][0] * umax, vmin + canvas[i][1] * (1.0f - vmin)};
        m_pMaskCanvas->SetVertexTexture1(i, &c);
        VECTOR2D q{kQuad[i][0] * umax, vmin + kQuad[i][1] * (1.0f - vmin)};
        m_pMaskQuad->SetVertexTexture1(i, &q);
    }
}

eRESULT COrbellineWorld::Unload() {
    C3DEngine* device = m_p3DEngine;
    if (m_pFont) {
        m_pFont->Unload();
        delete m_pFont;
        m_pFont = nullptr;
    }
    if (m_pScreenshot) {
        m_pScreenshot->Unload();
        delete m_pScreenshot;
        m_pScreenshot = nullptr;
    }
    eRESULT strokeResult = eOK;
    if (device) {
        // Null objects and textures (a load that stopped early) are refused
        // by the device and cost nothing.
        if (m_pScreenQuad) device->Delete3DObject(m_pScreenQuad);
        if (m_pMaskQuad) device->Delete3DObject(m_pMaskQuad);
        if (m_pMaskCanvas) device->Delete3DObject(m_pMaskCanvas);
        if (m_pBackgroundFrom) device->DeleteTexture(m_pBackgroundFrom);
        if (m_pBackgroundTo) device->DeleteTexture(m_pBackgroundTo);
        if (m_pAnswerTexture) device->DeleteTexture(m_pAnswerTexture);
        if (m_pMaskTexture) device->DeleteTexture(m_pMaskTexture);
        if (m_pStroke) strokeResult = device->Delete3DObject(m_pStroke);
    }
    m_pScreenQuad = m_pMaskQuad = m_pMaskCanvas = m_pStroke = nullptr;
    m_pBackgroundFrom = m_pBackgroundTo = m_pAnswerTexture = m_pMaskTexture = nullptr;
    eRESULT r = CWorld::Unload();
    return strokeResult < 0 ? strokeResult : r;
}

eRESULT COrbellineWorld::IncomingOSMessage(void* message) {
    CWorld::IncomingOSMessage(message);
    const TOUCH_MESSAGE* msg = static_cast<const TOUCH_MESSAGE*>(message);
    if (!msg) return eOK;
    const int count = msg->count < 0 ? 0 : (msg->count > eMAX_TOUCHES ? eMAX_TOUCHES : msg->count);
    for (int i = 0; i < count; ++i) {
        const uint8_t slot = static_cast<uint8_t>(msg->touchSlot[i] & 0xFF);
        if (slot >= kFingerSlots) continue;  // no such finger
        switch (msg->type) {
            case eTOUCH_BEGAN:
                if (!tabPointUsed[slot]) {
                    OnMouseDown(msg->touchX[i], msg->touchY[i], 0);
                    tabPointUsed[slot] = 1;
                }
                break;
            case eTOUCH_MOVED:
                if (tabPointUsed[slot]) {
                    OnMouseMove(msg->touchX[i], msg->touchY[i], 0);
                } else {
                    OnMouseDown(msg->touchX[i], msg->touchY[i], 0);
                    tabPointUsed[slot] = 1;
                }
                break;
            case eTOUCH_ENDED: {
                // Copies: the stamp converts its arguments to mask space, and
                // the brush point must stay in touch space for the fingers
                // still down.
                VECTOR2D from = m_vLastTouch, to = m_vLastTouch;
                RenderLineFromPoint(from, to);
                tabPointUsed[slot] = 0;
                break;
            }
            case eTOUCH_CANCELLED:
                tabPointUsed[slot] = 0;
                break;
            default:
                break;
        }
    }
    return eOK;
}

eRESULT COrbellineWorld::OnMouseDown(float x, float y, unsigned char /*button*/) {
    m_vLastTouch = Landscape() ? VECTOR2D{320 - x, 480 - y} : VECTOR2D{x, y};
    return eOK;
}

eRESULT COrbellineWorld::OnMouseMove(float x, float y, unsigned char /*button*/) {
    VECTOR2D to = Landscape() ? VECTOR2D{320 - x, 480 - y} : VECTOR2D{x, y};
    VECTOR2D next = to;
    RenderLineFromPoint(m_vLastTouch, to);
    m_vLastTouch = next;
    return eOK;
}

eRESULT COrbellineWorld::RenderLineFromPoint(VECTOR2D& from, VECTOR2D& to) {
    if (!m_pStroke) return eFAILED;
    const float S = m_wMaskSize;
    // Touch space to mask space.
    auto toMask = [&](VECTOR2D& v) {
        if (Landscape()) {
            v.x = v.x * S / 320.0f;
            v.y = v.y * S / 480.0f;
        } else {
            v.x = v.x * S / 480.0f;
            v.y = v.y * S / 320.0f + (320.0f - S);
        }
    };
    toMask(from);
    toMask(to);
    const float hw = S * 0.05f, hh = S * 1.5f * 0.05f;

    m_pStroke->BeginConstruct();
    const float dx = to.x - from.x, dy = to.y - from.y;
    const float length = std::sqrt(dx * dx + dy * dy);
    const float wanted = std::ceil(length / ((hw + hh) * 0.4f));
    const uint32_t freeQuads = (kStrokeVertices - m_dwStrokeVertices) / 6;
    const float atLeastOne = wanted > 1.0f ? wanted : 1.0f;
    const uint32_t n = atLeastOne < static_cast<float>(freeQuads) ? static_cast<uint32_t>(atLeastOne) : freeQuads;
    for (uint32_t k = 0; k < n; ++k) {
        const float t = static_cast<float>(k) / n;
        const float px = from.x + dx * t, py = from.y + dy * t;
        VECTOR3D corners[6] = {{px - hw, py - hh, 0}, {px + hw, py - hh, 0}, {px - hw, py + hh, 0},
                               {px + hw, py - hh, 0}, {px + hw, py + hh, 0}, {px - hw, py + hh, 0}};
        for (VECTOR3D& c : corners) m_pStroke->SetVertexPosition(m_dwStrokeVertices++, &c);
    }
    const uint32_t m = m_dwStrokeVertices;
    m_pStroke->SetSubObjParsingEx(0, 0, m, 0, m, m / 3, PRIM_TRIANGLELIST, CULL_CCW, 0xFFFFFFFFu);
    return m_pStroke->EndConstruct(true);
}

eRESULT COrbellineWorld::FrameMove() {
    m_pSharedInfos->m_dFrameFactor = m_pSharedInfos->m_dFrameFactor * static_cast<double>(m_fSpeedFactor);
    CWorld::FrameMove();
    if (m_pScreenshot) m_pScreenshot->FrameMove();
    return eOK;
}

void COrbellineWorld::ChooseAnswer() {
    uint32_t index;
    do {
        const uint32_t r = RANOM_INTERNAL(m_pSharedInfos);
        // float(r) may round up to 2^32, which would make index 20.
        index = static_cast<uint32_t>(static_cast<float>(r) * 20.0f * (1.0f / 4294967296.0f));
        if (index > 19) index = 19;
    } while (index == m_dwAnswer);
    m_dwAnswer = index;
}

eRESULT COrbellineWorld::Render() {
    if (!m_pScreenQuad || !m_pFont) return CWorld::Render();
    const bool landscape = Landscape();
    // 1. A new answer written on the second background, captured.
    if (m_bNewAnswer) {
        m_pScreenQuad->SetTexture(m_pBackgroundTo, 0xFFFFFFFFu, 0);
        m_pScreenQuad->RenderOne(0);
        ChooseAnswer();
        VECTOR3D at = {5, 40, 0};
        m_pFont->RenderText(const_cast<char*>(g_tabText[m_dwAnswer]), &at, 3, 0xFF000000u, 22, 26, nullptr, nullptr,
                            0);
        m_pAnswerTexture->ScreenShot(landscape, true, false, 0);
    }
    // 2.
    m_bNewAnswer = false;
    // 3. The mask with the new stamps, captured back into the mask.
    if (m_dwStrokeVertices != 0) {
        m_pMaskCanvas->SetTexture(m_pMaskTexture, 0xFFFFFFFFu, 0);
        m_pMaskCanvas->Render(0xFFFFFFFFu);
        if (m_bMaskReload) {
            m_pMaskTexture->ScreenShot(false, false, true, 0);
            m_bMaskReload = false;
            AddressMask(true);
        } else {
            m_pStroke->Render(0xFFFFFFFFu);
            m_dwStrokeVertices = 0;
            m_pMaskTexture->ScreenShot(true, false, true, 0);
        }
    }
    // 4. The answer over the whole screen.
    m_pScreenQuad->SetTexture(m_pAnswerTexture, 0xFFFFFFFFu, 0);
    m_pScreenQuad->RenderOne(landscape ? 1 : 0);
    // 5, 6. Multiplied by the mask.
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    m_pMaskTexture->RenderLight(0);
    m_pMaskQuad->RenderLight(0xFFFFFFFFu);
    // 7. The scene screened over it, 8. then laid over with its alpha.
    glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE);
    m_pBackgroundFrom->RenderLight(0);
    m_pScreenQuad->RenderOneLight(0);
    m_pScreenQuad->m_dwFlags2 |= RENDER_ALPHA;
    m_pScreenQuad->SetTexture(m_pBackgroundFrom, 0xFFFFFFFFu, 0);
    m_pScreenQuad->RenderOne(0);
    m_pScreenQuad->m_dwFlags2 &= ~RENDER_ALPHA;
    // 9. The fading copy of the previous turn.
    if (m_pScreenshot) m_pScreenshot->Render();
    // 10. The instructions.
    VECTOR3D left = {-170, 110, 0}, right = {180, 110, 0};
    m_pFont->RenderText(const_cast<char*>(kInstructionsLeft), &left, 3, 0xFFFFFFFFu, 10, 14, nullptr, nullptr, 0);
    m_pFont->RenderText(const_cast<char*>(kInstructionsRight), &right, 3, 0xFFFFFFFFu, 10, 14, nullptr, nullptr, 0);
    // 11.
    return CWorld::Render();
}

eRESULT COrbellineWorld::SetTilt(float x, float y, float z) {
    if (m_vLastTilt.x == 0.0f && m_vLastTilt.y == 0.0f) {
        m_vLastTilt = {x, y, z};
        return eOK;
    }
    const bool shakeX = Sign(m_vLastTilt.x) != Sign(x) && std::fabs(m_vLastTilt.x - x) > 1.0f;
    const bool shakeY = Sign(m_vLastTilt.y) != Sign(y) && std::fabs(m_vLastTilt.y - y) > 1.0f;
    if (shakeX || shakeY) ResetView();
    m_vLastTilt = {x, y, z};
    return eOK;
}

eRESULT COrbellineWorld::ResetView() {
    // Shakes during the fade of the previous turn are ignored.
    if (!m_pScreenshot || m_pScreenshot->m_fFade != 0.0f) return eOK;
    SHARED_INFOS* s = m_pSharedInfos;
    std::srand(static_cast<unsigned>(GetTimerCount()));
    const int r = std::rand();
    INIT_RANDOM_INTERNAL(s, static_cast<uint32_t>(r));
    eTRACE(s->m_szLogPath, 1, "# COrbellineWorld::ResetView random init to %d\n", r);
    m_dwStrokeVertices = 0;
    if (m_pStroke) m_pStroke->SetSubObjParsingEx(0, 0, 0, 0, 0, 0, PRIM_TRIANGLELIST, CULL_CCW, 0xFFFFFFFFu);
    if (m_pMaskTexture) {
        m_pMaskTexture->Unload();
        LoadTextureFromParam(m_pMaskTexture, "GENERAL", "MASK_TEXTURE", "mask.png", s->m_pParamEx, s);
    }
    m_bMaskReload = true;
    AddressMask(false);
    m_bNewAnswer = true;
    m_pScreenshot->TakeScreenShot(false, true, false, 0);
    return eOK;
}

// The scene keeps the orientation it was loaded with.
eRESULT COrbellineWorld::SetOrientation(ORIENTATION) { return eOK; }
