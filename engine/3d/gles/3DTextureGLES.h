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
    // The image fields are not changed. Fails, with a trace line, when the
    // copy is larger than the context allows, when an update does not fit
    // the storage, or when the context raises an error.
    eRESULT ScreenShot(bool update, bool fromScreen, bool luminance, uint32_t unit) override;
    // The context's GL_MAX_TEXTURE_SIZE, when it is smaller than the decoders' own limit.
    uint32_t MaxDecodeSide() const override;
    // 8 bits: alpha with TEX_ALPHA, else luminance; 16 luminance + alpha;
    // 24 RGB; 32 RGBA; anything else fails and changes nothing. Null pixels
    // give storage without an image. A size over the context's limit or an
    // upload the context refuses fails with a trace line and no texture.
    eRESULT MakeTextureFromRaw(uint16_t width, uint16_t height, uint8_t bitsPerPixel, void* pixels,
                               const char* name) override;

    uint32_t m_dwTexture;  // OpenGL texture name; 0 when nothing is uploaded
    // Size of the level-0 storage behind the name, which a full grab sets
    // independently of the image fields; 0 x 0 without a name.
    uint32_t m_dwStorageWidth;
    uint32_t m_dwStorageHeight;

private:
    const char* LogPath() const;
    void ReleaseName();
};

// The sizes a screen grab copies for a framebuffer region of `width` x
// `height` pixels: each rounded up to a power of two (0 gives 2, 1 stays 1),
// exchanged when `landscape`.
void eTextureGrabSize(uint32_t width, uint32_t height, bool landscape, uint32_t* copyWidth,
                      uint32_t* copyHeight);
// The sizes ScreenShot copies for a logical area of `width` x `height` units
// under the shared record's pixel scale and orientation (null: scale 1,
// portrait); `screen` when the area is the record's screen size, which stays
// upright when the projections turn the scene.
void eScreenGrabSize(const SHARED_INFOS* si, uint16_t width, uint16_t height, bool screen, uint32_t* copyWidth,
                     uint32_t* copyHeight);
