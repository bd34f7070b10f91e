#include "engine/3d/Camera.h"

#include <cmath>
#include <utility>

#include "engine/3d/Maths3D.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

bool IsLandscape(ORIENTATION o) {
    return o == ORIENTATION_LANDSCAPE_LEFT || o == ORIENTATION_LANDSCAPE_RIGHT;
}

bool IsPortrait(ORIENTATION o) {
    return o == ORIENTATION_PORTRAIT || o == ORIENTATION_PORTRAIT_UPSIDE_DOWN;
}

}  // namespace

CCamera::CCamera()
    : m_pSharedInfos(nullptr), m_eOrientation(ORIENTATION_PORTRAIT), m_fAngle(0.0f), m_bSwapped(false) {}

CCamera::~CCamera() {}

eRESULT CCamera::Load(SHARED_INFOS* infos) {
    m_pSharedInfos = infos;
    return eOK;
}

eRESULT CCamera::Unload() { return eOK; }

CMaths3D* CCamera::Maths() const { return m_pSharedInfos ? m_pSharedInfos->m_pMaths3D : nullptr; }

void CCamera::FrameMove() {
    CMaths3D* maths = Maths();
    if (!maths) return;
    m_pSharedInfos->m_matView = m_pSharedInfos->m_matViewInverse;
    maths->_MATRIX3DInverse(&m_pSharedInfos->m_matView);
}

void CCamera::RenderNormal() {}

void CCamera::RenderScreen() {}

// Gamma ramps are not available on every device; the base leaves them alone.
eRESULT CCamera::InitGamma() { return eOK; }

eRESULT CCamera::InitViewMatrix() {
    CMaths3D* maths = Maths();
    if (!maths) return eFAILED;
    maths->_MATRIX3DIdentity(&m_pSharedInfos->m_matView);
    m_pSharedInfos->m_matView = m_pSharedInfos->m_matViewInverse;
    maths->_MATRIX3DInverse(&m_pSharedInfos->m_matView);
    return eOK;
}

eRESULT CCamera::InitProjMatrix() {
    CMaths3D* maths = Maths();
    if (!maths) return eFAILED;
    SHARED_INFOS* si = m_pSharedInfos;
    // A zero-sized surface would fill both projections with infinities.
    if (si->m_wWidth == 0 || si->m_wHeight == 0) return eFAILED;

    const float w = static_cast<float>(si->m_wWidth);
    const float h = static_cast<float>(si->m_wHeight);
    si->m_fAspect = w / h;

    MATRIX3D* proj = &si->m_matProjection;
    maths->_MATRIX3DIdentity(proj);
    const float fovy = static_cast<float>(static_cast<double>(si->m_fFieldOfView) * kPi / 180.0);
    maths->_MATRIX3DPerspectiveFovLH(proj, fovy, si->m_fAspect, si->m_fNear, si->m_fFar);
    maths->_MATRIX3DRotationZ(proj, m_fAngle);

    // Pixel space: origin top-left, y down. Landscape flips both axes of the
    // box so that the rotation by +-pi/2 lands it the right way up.
    MATRIX3D* screen = &si->m_matProjectionScreen;
    maths->_MATRIX3DIdentity(screen);
    const bool landscape = IsLandscape(m_eOrientation);
    if (landscape)
        maths->_MATRIX3DPerspectiveOrtho(screen, 0.0f, -w, -h, 0.0f, si->m_fNearScreen, si->m_fFarScreen);
    else
        maths->_MATRIX3DPerspectiveOrtho(screen, 0.0f, w, h, 0.0f, si->m_fNearScreen, si->m_fFarScreen);
    maths->_MATRIX3DRotationZ(screen, m_fAngle);
    if (landscape)
        maths->_MATRIX3DTranslationXYZ(screen, -h / 2.0f, -w / 2.0f, 0.0f);
    else
        maths->_MATRIX3DTranslationXYZ(screen, -w / 2.0f, -h / 2.0f, 0.0f);

    RenderNormal();
    return eOK;
}

void CCamera::InitOrientation(ORIENTATION orientation) {
    m_eOrientation = orientation;
    if (!m_pSharedInfos) return;
    SHARED_INFOS* si = m_pSharedInfos;
    if (IsPortrait(orientation)) {
        if (m_bSwapped) {
            std::swap(si->m_wWidth, si->m_wHeight);
            m_bSwapped = false;
        }
    } else if (IsLandscape(orientation)) {
        if (!m_bSwapped) {
            std::swap(si->m_wWidth, si->m_wHeight);
            m_bSwapped = true;
        }
    }
    InitProjMatrix();
    InitViewport(0, 0, si->m_wWidth, si->m_wHeight);
}

float CCamera::InitDynOrientation(ORIENTATION orientation) {
    m_eOrientation = orientation;
    SHARED_INFOS* si = m_pSharedInfos;
    bool known = true;
    switch (orientation) {
        case ORIENTATION_PORTRAIT:
            m_fAngle = 0.0f;
            break;
        case ORIENTATION_PORTRAIT_UPSIDE_DOWN:
            m_fAngle = static_cast<float>(kPi);
            break;
        case ORIENTATION_LANDSCAPE_LEFT:
            m_fAngle = static_cast<float>(-kPi / 2.0);
            break;
        case ORIENTATION_LANDSCAPE_RIGHT:
            m_fAngle = static_cast<float>(kPi / 2.0);
            break;
        default:
            known = false;
            break;
    }
    if (known && si) {
        const bool wantSwapped = IsLandscape(orientation);
        if (wantSwapped != m_bSwapped) std::swap(si->m_wWidthInit, si->m_wHeightInit);
        m_bSwapped = wantSwapped;
    }
    InitProjMatrix();
    return m_fAngle;
}

eRESULT CCamera::InitViewport(uint32_t, uint32_t, uint32_t, uint32_t) { return eOK; }
