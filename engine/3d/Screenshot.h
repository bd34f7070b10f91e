// Freezes the last frame and fades it out over the new scene: a screen grab
// into a texture, drawn on a full-screen quad whose alpha is the fade.
#pragma once

#include <cstdint>

#include "engine/3d/3DRenderer.h"

class C3DObject;
class C3DTexture;

class CScreenshot : public C3DRenderer {
public:
    explicit CScreenshot(SHARED_INFOS* infos);
    ~CScreenshot() override;

    // Fade speed and blank image from section "TEXTURES" of the application
    // store; the quad is built for the orientation and screen size of now.
    eRESULT Load() override;
    // Releases the quad and the texture; the status of the texture release.
    eRESULT Unload() override;
    // Lowers the fade by frame factor x speed, down to 0.
    void FrameMove() override;
    // Draws the quad of the camera's orientation while the fade is not 0.
    void Render() override;

    // Grabs the framebuffer into the texture and restarts the fade at 1.
    eRESULT TakeScreenShot(bool update, bool fromScreen, bool luminance, uint32_t unit);

    float m_fFade;       // opacity of the frozen frame; 0: nothing shown
    float m_fFadeSpeed;  // fade lost per unit of frame factor
    C3DObject* m_pObject;    // four quads, one per orientation; owned by the device
    C3DTexture* m_pTexture;  // the grab; owned by the device
};
