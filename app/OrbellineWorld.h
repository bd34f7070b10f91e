// The application's world: the crystal ball. Loads its scene from the pack,
// stamps brush quads where the user rubs, reveals the answer through the
// mask, and starts a new turn when the device is shaken.
#pragma once

#include "engine/3d/Types3D.h"
#include "engine/world/World.h"

class C3DObject;
class C3DTexture;
class CKavroFont;
class CScreenshot;
class CUtilsParameters;

// Loads the pack entry named by (section, key) into `texture`, tracing the
// name on failure.
eRESULT LoadTextureFromParam(C3DTexture* texture, const char* section, const char* key, const char* defaultName,
                             CUtilsParameters* params, SHARED_INFOS* shared);

// The twenty answers.
extern const char* const g_tabText[20];

class COrbellineWorld : public CWorld {
public:
    COrbellineWorld();
    ~COrbellineWorld() override;

    eRESULT Load(void* window, unsigned short width, unsigned short height, unsigned char colorDepth,
                 bool fullScreen, ORIENTATION orientation, bool desktop, uint32_t flags, char* text) override;
    eRESULT Unload() override;
    eRESULT IncomingOSMessage(void* message) override;
    eRESULT FrameMove() override;
    eRESULT Render() override;

    eRESULT ResetView();
    eRESULT SetOrientation(ORIENTATION orientation);
    eRESULT SetTilt(float x, float y, float z);
    eRESULT OnMouseDown(float x, float y, unsigned char button);
    eRESULT OnMouseMove(float x, float y, unsigned char button);
    eRESULT RenderLineFromPoint(VECTOR2D& from, VECTOR2D& to);

    float m_fSpeedFactor;
    VECTOR2D m_vLastTouch;  // touch space
    VECTOR3D m_vLastTilt;
    uint32_t m_dwAnswer;
    CKavroFont* m_pFont;
    CScreenshot* m_pScreenshot;
    C3DObject* m_pScreenQuad;
    C3DObject* m_pMaskQuad;
    C3DObject* m_pMaskCanvas;
    C3DTexture* m_pBackgroundFrom;
    C3DTexture* m_pBackgroundTo;
    bool m_bNewAnswer;
    C3DTexture* m_pAnswerTexture;
    C3DTexture* m_pMaskTexture;
    uint16_t m_wMaskSize;
    bool m_bMaskReload;
    C3DObject* m_pStroke;
    uint32_t m_dwStrokeVertices;

private:
    bool Landscape() const;
    void ChooseAnswer();
    // Points the mask canvas and the mask quad at the whole mask texture
    // (`captured` false: the image from the pack) or at the part a capture
    // fills (true).
    void AddressMask(bool captured);

    // The part of the mask texture a capture fills (1 and 0 when the capture
    // fills it all).
    float m_fMaskUMax = 1.0f;
    float m_fMaskVMin = 0.0f;
};
