// Text layout: measuring, alignment, the touch test, and the batches of 16
// character quads built into the font's mesh and drawn.
#include <cmath>
#include <cstring>

#include "engine/3d/3DObject.h"
#include "engine/3d/KavroFont.h"
#include "engine/3d/Maths3D.h"

namespace {

bool IsEmpty(const VECTOR4D& g) { return g.x == 0.0f && g.y == 0.0f && g.z == 0.0f && g.w == 0.0f; }

// Identity, then the caller's rotation or matrix when the flags ask for one.
void BaseMatrix(CMaths3D* maths, MATRIX3D* m, uint16_t flags, const void* param) {
    if (maths)
        maths->_MATRIX3DIdentity(m);
    else
        *m = MATRIX3D{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (!param) return;
    if (flags & TEXT_ROTATION_Z) {
        float angle;
        std::memcpy(&angle, param, sizeof angle);
        if (maths) maths->_MATRIX3DRotationZ(m, angle);
    } else if (flags & TEXT_MATRIX) {
        std::memcpy(m, param, sizeof(MATRIX3D));
    }
}

}  // namespace

VECTOR3D CKavroFont::CalculateRect(const char* text, float scaleX, float scaleY) {
    const float ax = std::fabs(scaleX), ay = std::fabs(scaleY);
    VECTOR3D box{0.0f, ay, 0.0f};
    float line = 0.0f;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : ""); *p; ++p) {
        if (*p == '\n') {
            box.y += ay;
            line = 0.0f;
            continue;
        }
        const VECTOR4D& g = m_aGlyph[*p];
        if (*p == '\r' || IsEmpty(g)) continue;
        if (m_fMaxWidth != 0.0f) line += ax * (g.z - g.x) / m_fMaxWidth;
        if (line > box.x) box.x = line;
    }
    if (scaleX < 0.0f) box.x = -box.x;
    if (scaleY < 0.0f) box.y = -box.y;
    return box;
}

VECTOR3D CKavroFont::CalculateOffset(VECTOR3D* position, uint16_t flags, VECTOR3D* rect) {
    VECTOR3D r = *position;
    if (flags == 0) return r;
    if (m_pObject && (m_pObject->m_dwFlags & OBJ_NORMAL)) {
        if (flags & TEXT_CENTER_X)
            r.x += -0.5f * rect->x;
        else if (flags & TEXT_RIGHT)
            r.x -= rect->x - rect->z;
        if (flags & TEXT_CENTER_Y) r.y += -0.5f * rect->y;
        return r;
    }
    const bool rotated = (flags & TEXT_ROTATED) != 0;
    const float w = m_pSharedInfos ? (rotated ? m_pSharedInfos->m_wHeightInit : m_pSharedInfos->m_wWidthInit) : 0;
    const float h = m_pSharedInfos ? (rotated ? m_pSharedInfos->m_wWidthInit : m_pSharedInfos->m_wHeightInit) : 0;
    if (flags & TEXT_CENTER_X)
        r.x = (w - rect->x) * 0.5f + position->x;
    else if (flags & TEXT_RIGHT)
        r.x = w - (rect->x - rect->z) + position->x;
    if (flags & TEXT_CENTER_Y) r.y = (h - rect->y) * 0.5f + position->y;
    return r;
}

bool CKavroFont::TestHighLight(const char*, VECTOR3D& rect, uint16_t flags, VECTOR3D* position, VECTOR2D* touch,
                               uint16_t screenHeight) {
    if (!position || !touch) return false;
    const float m = (flags & TEXT_TOUCH_MARGIN) ? 0.75f * rect.y : 0.0f;
    bool hit;
    if (flags & TEXT_ROTATED) {
        const float across = static_cast<float>(screenHeight) - touch->y;
        hit = position->y - m < touch->x && touch->x < position->y + rect.y + m && position->x < across &&
              across < position->x + rect.x;
    } else {
        hit = position->x < touch->x && touch->x < position->x + rect.x && position->y - m < touch->y &&
              touch->y < position->y + rect.y + m;
    }
    if (hit) position->z = 1.0f;
    return hit;
}

VECTOR3D CKavroFont::RenderText(const char* text, VECTOR3D* position, uint16_t flags, uint32_t color, float scaleX,
                                float scaleY, VECTOR2D* touch, void* param, uint32_t stride) {
    if (!position) return VECTOR3D{0.0f, 0.0f, 0.0f};
    VECTOR3D result = *position;
    // Nothing to draw with: a font must be loaded first.
    if (!m_pObject) return result;
    if (!text) text = "";
    VECTOR3D box{0.0f, 0.0f, 0.0f};
    float hit = 0.0f;
    const uint16_t screenHeight = m_pSharedInfos ? m_pSharedInfos->m_wHeight : 0;

    if (flags != 0) {
        box = CalculateRect(text, scaleX, scaleY);
        result = CalculateOffset(position, flags, &box);
        if (touch && TestHighLight(text, box, flags, &result, touch, screenHeight)) {
            color = GET_HIGH_LIGHT_COLOR(color);
            hit = 1.0f;
        }
        if (flags & TEXT_UPSIDE_DOWN) {
            scaleX = -scaleX;
            scaleY = -scaleY;
            result.x += box.x;
            result.y += box.y;
        }
    } else if (touch) {
        box = CalculateRect(text, scaleX, scaleY);
        if (TestHighLight(text, box, 0, &result, touch, screenHeight)) {
            color = GET_HIGH_LIGHT_COLOR(color);
            hit = 1.0f;
        }
    }

    m_pRemaining = text;
    const float lineStartX = result.x;
    while (m_pRemaining) {
        m_pText = text;
        result = PreRender(m_pRemaining, lineStartX, &result, flags, color, scaleX, scaleY, nullptr, param, stride);
        PostRender(flags, param, stride);
    }
    result.z = hit;
    return result;
}

VECTOR3D CKavroFont::PreRender(const char* text, float lineStartX, VECTOR3D* pen, uint16_t flags, uint32_t color,
                               float scaleX, float scaleY, VECTOR2D* touch, void* param, uint32_t stride) {
    if (!text) text = "";
    m_pRemaining = text;
    if (!m_pObject || !pen) {
        m_pRemaining = nullptr;
        return pen ? VECTOR3D{pen->x, pen->y, 0.0f} : VECTOR3D{0.0f, 0.0f, 0.0f};
    }
    C3DObject* mesh = m_pObject;
    size_t n = std::strlen(text);

    if (color < 0x01000000u)
        mesh->m_dwFlags2 &= ~RENDER_ALPHA;
    else
        mesh->m_dwFlags2 |= RENDER_ALPHA;

    const uint16_t screenHeight = m_pSharedInfos ? m_pSharedInfos->m_wHeight : 0;
    if (touch) {
        VECTOR3D box = CalculateRect(text, scaleX, scaleY);
        if (TestHighLight(text, box, flags, pen, touch, screenHeight)) color = GET_HIGH_LIGHT_COLOR(color);
    }

    float lineStep = scaleY;
    if (n > eFONT_BATCH) {
        n = eFONT_BATCH;
        lineStep = 0.0f;
    }

    const bool rotated = (flags & TEXT_ROTATED) != 0;
    const bool offsets = (flags & TEXT_OFFSETS) && param;
    const float hs = static_cast<float>(screenHeight);
    const VECTOR3D noNormal{0.0f, 0.0f, 0.0f};

    mesh->BeginConstruct();
    uint32_t vertex = 0, skipped = 0;
    for (size_t b = 0; b < n; ++b) {
        const unsigned char code = static_cast<unsigned char>(text[b]);
        if (code == '\n') {
            pen->y += scaleY;
            pen->x = lineStartX;
            ++skipped;
            continue;
        }
        const VECTOR4D& g = m_aGlyph[code];
        if (code == '\r' || IsEmpty(g)) {
            ++skipped;
            continue;
        }
        const float x = pen->x, y = pen->y;
        const float w = m_fMaxWidth != 0.0f ? (g.z - g.x) / m_fMaxWidth * scaleX : 0.0f;
        const float h = scaleY;

        // Corners: top left, top right, bottom left, bottom right.
        VECTOR3D corner[4];
        if (offsets) {
            float o[2];
            std::memcpy(o, static_cast<const unsigned char*>(param) + static_cast<size_t>(code) * stride, sizeof o);
            const float ox = o[0], oy = o[1];
            if (rotated) {
                corner[0] = {y - ox, hs - (x - oy), 1.0f};
                corner[1] = {y - ox, hs - (x + w + oy), 1.0f};
                corner[2] = {y + h + ox, hs - (x - oy), 1.0f};
                corner[3] = {y + h + ox, hs - (x + w + oy), 1.0f};
            } else {
                corner[0] = {x - ox, y - oy, 1.0f};
                corner[1] = {x + w + ox, y - oy, 1.0f};
                corner[2] = {x - ox, y + h + oy, 1.0f};
                corner[3] = {x + w + ox, y + h + oy, 1.0f};
            }
        } else {
            const float px[4] = {x, x + w, x, x + w};
            const float py[4] = {y, y, y + h, y + h};
            for (int c = 0; c < 4; ++c)
                corner[c] = rotated ? VECTOR3D{py[c], hs - px[c], 1.0f} : VECTOR3D{px[c], py[c], 1.0f};
        }
        const VECTOR2D uv[4] = {{g.x, g.y}, {g.z, g.y}, {g.x, g.w}, {g.z, g.w}};
        static const int kCorners[6] = {0, 1, 2, 2, 1, 3};
        for (int v = 0; v < 6; ++v)
            mesh->SetVertex(vertex + v, corner[kCorners[v]], color, uv[kCorners[v]], noNormal, 0);
        vertex += 6;
        pen->x += w;
    }
    const uint32_t k = static_cast<uint32_t>(n) - skipped;
    mesh->SetSubObjParsingEx(0, 0, 6 * k, 0, 6 * k, 2 * k, PRIM_TRIANGLELIST, m_dwCullMode, eNO_VALUE);
    mesh->EndConstruct(true);

    m_pRemaining += n;
    if (*m_pRemaining == '\0') m_pRemaining = nullptr;
    return VECTOR3D{pen->x, pen->y + lineStep, 0.0f};
}

void CKavroFont::PostRender(uint16_t flags, void* param, uint32_t) {
    if (!m_pObject) {
        m_pText = nullptr;
        return;
    }
    C3DObject* mesh = m_pObject;
    CMaths3D* maths = m_pSharedInfos ? m_pSharedInfos->m_pMaths3D : nullptr;
    mesh->SetDefaultMatrix();

    if (flags & TEXT_SHADOW) {
        mesh->m_dwFlags2 = (mesh->m_dwFlags2 & ~RENDER_LIGHT) | RENDER_LIGHTING;
        mesh->CreateStateBlock();
        BaseMatrix(maths, &mesh->m_matMatrix, flags, param);
        if (maths) maths->_MATRIX3DTranslationXYZ(&mesh->m_matMatrix, 2.0f, (flags & TEXT_ROTATED) ? -2.0f : 2.0f, 0.0f);
        mesh->Render(eALL_SUBOBJECTS);
        mesh->m_dwFlags2 = (mesh->m_dwFlags2 | RENDER_LIGHT) & ~RENDER_LIGHTING;
        mesh->CreateStateBlock();
    }

    BaseMatrix(maths, &mesh->m_matMatrix, flags, param);
    mesh->Render(eALL_SUBOBJECTS);
    m_pText = nullptr;
}
