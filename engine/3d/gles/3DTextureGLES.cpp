#include "engine/3d/gles/3DTextureGLES.h"

#include <GLES/gl.h>

#include "engine/3d/gles/GLESErrors.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Trace.h"

namespace {

// The objects' render flag asking for alpha blending.
constexpr uint32_t kRenderAlpha = 0x8;
// Grab sizes are kept well inside 32 bits before rounding up.
constexpr float kMaxGrabSide = 1u << 30;

GLint WrapMode(uint32_t flags, uint32_t bit) { return (flags & bit) ? GL_REPEAT : GL_CLAMP_TO_EDGE; }

GLint MinFilter(uint32_t flags2) {
    if (flags2 & TEX_MIN_POINT) return GL_NEAREST;
    if ((flags2 & TEX_MIPMAP) && !(flags2 & (TEX_MIN_LINEAR | TEX_NO_MIPMAP))) return GL_LINEAR_MIPMAP_LINEAR;
    return GL_LINEAR;
}

GLint MagFilter(uint32_t flags2) { return (flags2 & TEX_MAG_POINT) ? GL_NEAREST : GL_LINEAR; }

GLint GenerateMipmap(uint32_t flags2) {
    return !(flags2 & TEX_NO_MIPMAP) && (flags2 & (TEX_MIPMAP | TEX_AUTO_MIPMAP)) ? 1 : 0;
}

uint32_t PowerOfTwoAtLeast(uint32_t n) {
    if (n == 0) return 2;
    uint32_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

// Logical size times scale, truncated; a negative or absurd scale cannot
// turn into an undefined conversion.
uint32_t PixelSize(uint16_t logical, float scale) {
    const float pixels = static_cast<float>(logical) * scale;
    if (!(pixels > 0.0f)) return 0;
    if (pixels > kMaxGrabSide) return static_cast<uint32_t>(kMaxGrabSide);
    return static_cast<uint32_t>(pixels);
}

}  // namespace

void eTextureGrabSize(uint32_t width, uint32_t height, bool landscape, uint32_t* copyWidth,
                      uint32_t* copyHeight) {
    const uint32_t w = PowerOfTwoAtLeast(width);
    const uint32_t h = PowerOfTwoAtLeast(height);
    *copyWidth = landscape ? h : w;
    *copyHeight = landscape ? w : h;
}

void eScreenGrabSize(const SHARED_INFOS* si, uint16_t width, uint16_t height, bool screen, uint32_t* copyWidth,
                     uint32_t* copyHeight) {
    const uint32_t pixelWidth = PixelSize(width, si ? si->m_fScaleX : 1.0f);
    const uint32_t pixelHeight = PixelSize(height, si ? si->m_fScaleY : 1.0f);
    bool exchange = si && (si->m_Orientation == ORIENTATION_LANDSCAPE_LEFT ||
                           si->m_Orientation == ORIENTATION_LANDSCAPE_RIGHT);
    // A landscape area lies across the framebuffer's rows; but a screen
    // turned by its projections keeps the surface's own upright size in the
    // record, and exchanging that would copy the framebuffer's short side
    // as its long one (it only happens to agree where both round up alike).
    if (screen && width <= height) exchange = false;
    eTextureGrabSize(pixelWidth, pixelHeight, exchange, copyWidth, copyHeight);
}

C3DTextureGLES::C3DTextureGLES() : m_dwTexture(0), m_dwStorageWidth(0), m_dwStorageHeight(0) {}

const char* C3DTextureGLES::LogPath() const { return m_pSharedInfos ? m_pSharedInfos->m_szLogPath : nullptr; }

void C3DTextureGLES::ReleaseName() {
    if (m_dwTexture != 0) {
        const GLuint name = m_dwTexture;
        glDeleteTextures(1, &name);
    }
    m_dwTexture = 0;
    m_dwStorageWidth = m_dwStorageHeight = 0;
}

C3DTextureGLES::~C3DTextureGLES() { ReleaseName(); }

eRESULT C3DTextureGLES::Load(SHARED_INFOS* infos) { return eFAILURE(C3DTexture::Load(infos)) ? eFAILED : eOK; }

eRESULT C3DTextureGLES::Unload() {
    if (eFAILURE(C3DTexture::Unload())) return eFAILED;
    ReleaseName();
    return eOK;
}

void C3DTextureGLES::FrameMove() {}

eRESULT C3DTextureGLES::RenderLight(uint32_t) {
    glBindTexture(GL_TEXTURE_2D, m_dwTexture);
    return eOK;
}

eRESULT C3DTextureGLES::Render(uint32_t renderFlags, uint32_t unit) {
    const bool alphaSwitch = m_pSharedInfos && m_pSharedInfos->m_bAlpha;
    if (alphaSwitch && (renderFlags & kRenderAlpha) && (m_dwFlags2 & TEX_ALPHA)) {
        glEnable(GL_BLEND);
        glEnable(GL_ALPHA_TEST);
    } else {
        glDisable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
    }
    glBlendFunc(GL_SRC_ALPHA, (m_dwFlags2 & TEX_ADDITIVE) ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);

    glActiveTexture(GL_TEXTURE0 + unit);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, m_dwTexture);

    if (m_dwFlags2 & TEX_REPLACE) {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    } else if (m_dwFlags2 & TEX_INTERPOLATE) {
        // Previous stage and this texture, mixed by the vertex colour.
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_INTERPOLATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC2_RGB, GL_PRIMARY_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB, GL_SRC_COLOR);
    } else {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        // Left ready for a later user of GL_COMBINE.
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
    }
    return eOK;
}

uint32_t C3DTextureGLES::MaxDecodeSide() const {
    const GLint glMax = eGLESMaxTextureSize();
    // No context answers 0: keep the decoders' own limit then.
    if (glMax <= 0 || static_cast<uint32_t>(glMax) >= eTEXTURE_MAX_SIDE) return eTEXTURE_MAX_SIDE;
    return static_cast<uint32_t>(glMax);
}

eRESULT C3DTextureGLES::ScreenShot(bool update, bool fromScreen, bool luminance, uint32_t unit) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glEnable(GL_TEXTURE_2D);
    RenderLight(unit);

    const GLenum format = luminance ? GL_LUMINANCE : GL_RGB;
    const SHARED_INFOS* si = m_pSharedInfos;
    const uint16_t width = (fromScreen && si) ? si->m_wWidth : m_wWidth;
    const uint16_t height = (fromScreen && si) ? si->m_wHeight : m_wHeight;
    uint32_t copyWidth = 0, copyHeight = 0;
    eScreenGrabSize(si, width, height, fromScreen && si, &copyWidth, &copyHeight);

    // A copy the context refuses copies nothing: say so rather than let the
    // caller draw a texture that never received the screen.
    const uint32_t maxSize = static_cast<uint32_t>(eGLESMaxTextureSize());
    if (copyWidth > maxSize || copyHeight > maxSize) {
        eTRACE(LogPath(), 1, "# C3DTextureGLES::ScreenShot %ux%u is larger than the context allows (%u)\n",
               copyWidth, copyHeight, maxSize);
        return eFAILED;
    }
    if (update && (m_dwTexture == 0 || copyWidth > m_dwStorageWidth || copyHeight > m_dwStorageHeight)) {
        eTRACE(LogPath(), 1, "# C3DTextureGLES::ScreenShot %ux%u does not fit the texture's %ux%u\n", copyWidth,
               copyHeight, m_dwStorageWidth, m_dwStorageHeight);
        return eFAILED;
    }

    eGLESClearErrors();
    // Always the base level: the unit says where to bind, not which level.
    if (update)
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, static_cast<GLsizei>(copyWidth),
                            static_cast<GLsizei>(copyHeight));
    else
        glCopyTexImage2D(GL_TEXTURE_2D, 0, format, 0, 0, static_cast<GLsizei>(copyWidth),
                         static_cast<GLsizei>(copyHeight), 0);
    const GLenum error = eGLESTakeError();
    if (error != GL_NO_ERROR) {
        eTRACE(LogPath(), 1, "# C3DTextureGLES::ScreenShot %ux%u failed! (GL error 0x%04X)\n", copyWidth,
               copyHeight, static_cast<unsigned>(error));
        return eFAILED;
    }
    if (!update && m_dwTexture != 0) {
        m_dwStorageWidth = copyWidth;
        m_dwStorageHeight = copyHeight;
    }
    return eOK;
}

eRESULT C3DTextureGLES::MakeTextureFromRaw(uint16_t width, uint16_t height, uint8_t bitsPerPixel, void* pixels,
                                           const char* name) {
    GLenum format = 0;
    switch (bitsPerPixel) {
        case 8: format = (m_dwFlags2 & TEX_ALPHA) ? GL_ALPHA : GL_LUMINANCE; break;
        case 16: format = GL_LUMINANCE_ALPHA; break;
        case 24: format = GL_RGB; break;
        case 32: format = GL_RGBA; break;
        default: return eFAILED;
    }
    m_bBitsPerPixel = bitsPerPixel;
    m_wWidth = width;
    m_wHeight = height;

    // An upload without the usual Unload first must not leak the old name.
    ReleaseName();
    const GLint maxSize = eGLESMaxTextureSize();
    if (width > maxSize || height > maxSize) {
        eTRACE(LogPath(), 1, "# C3DTextureGLES::MakeTextureFromRaw %ux%u is larger than the context allows (%d)\n",
               static_cast<unsigned>(width), static_cast<unsigned>(height), static_cast<int>(maxSize));
        return eFAILED;
    }
    eGLESClearErrors();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    m_dwTexture = texture;
    if (m_dwTexture == 0) return eFAILED;

    glBindTexture(GL_TEXTURE_2D, m_dwTexture);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(WrapMode(m_dwFlags, TEX_WRAP_U)));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(WrapMode(m_dwFlags, TEX_WRAP_V)));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLfloat>(MinFilter(m_dwFlags2)));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLfloat>(MagFilter(m_dwFlags2)));
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GenerateMipmap(m_dwFlags2));

    // Decoded rows are packed without padding; the default alignment of 4
    // would skew every row whose size is not a multiple of 4.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    const GLenum error = eGLESTakeError();
    if (error != GL_NO_ERROR) {
        eTRACE(LogPath(), 1, "# C3DTextureGLES::MakeTextureFromRaw %ux%u failed! (GL error 0x%04X)\n",
               static_cast<unsigned>(width), static_cast<unsigned>(height), static_cast<unsigned>(error));
        ReleaseName();
        return eFAILED;
    }
    m_dwStorageWidth = width;
    m_dwStorageHeight = height;

    C3DTexture::MakeTextureFromRaw(width, height, bitsPerPixel, pixels, name);
    return eOK;
}
