// The OpenGL ES 1.1 texture: uploads decoded buffers with the filtering and
// wrapping of its creation flags, binds itself with the blending and
// texture-environment state they ask for, and grabs the framebuffer.
#pragma once

#include <cstdint>

#include "engine/3d/3DTexture.h"

class C3DTextureGLES : public C3DTexture {
public:
    C3DTextureGLES();
    // Deletes the OpenGL texture, if any.
    ~C3DTextureGLES() override;

    eRESULT Load(SHARED_INFOS* infos) override;
    // Clears the name and deletes the OpenGL texture.
    eRESULT Unload() override;
    void FrameMove() override;
    // Blending (only with the alpha switch, RENDER_ALPHA in `renderFlags` and
    // TEX_ALPHA), blend function, binding on `unit` and texture environment.
    eRESULT Render(uint32_t renderFlags, uint32_t unit) override;
    // Binds the texture on the current unit; nothing else.
    eRESULT RenderLight(uint32_t unit) override;
    // Copies the lower-left part of the framebuffer, the logical screen size
    // (fromScreen) or the texture's own size times the pixel scale, each side
    // rounded up to a power of two, axes exchanged in landscape. `update`
    // overwrites the existing storage, otherwise the storage is redefined.
    // The image fields are not changed.
    eRESULT ScreenShot(bool update, bool fromScreen, bool luminance, uint32_t unit) override;
    // 8 bits: alpha with TEX_ALPHA, else luminance; 16 luminance + alpha;
    // 24 RGB; 32 RGBA; anything else fails and changes nothing.
    eRESULT MakeTextureFromRaw(uint16_t width, uint16_t height, uint8_t bitsPerPixel, void* pixels,
                               const char* name) override;

    uint32_t m_dwTexture;  // OpenGL texture name; 0 when nothing is uploaded
};

// The sizes a screen grab copies for a framebuffer region of `width` x
// `height` pixels: each rounded up to a power of two (0 gives 2, 1 stays 1),
// exchanged when `landscape`.
void eTextureGrabSize(uint32_t width, uint32_t height, bool landscape, uint32_t* copyWidth,
                      uint32_t* copyHeight);
