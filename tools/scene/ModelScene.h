// One model on its own, drawn by the engine's OpenGL ES device: lit by light
// 1 from over the viewer's left shoulder, framed from the model's extrema and
// turned by yaw and pitch. Shared by 'orbelline-asset model render' and
// orbelline-view; uses only the engine's installed headers.
//
// The caller owns the OpenGL ES context and the render target (window,
// pbuffer or framebuffer object of the scene's size); it must be current
// from Load to Unload.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/3d/3DObjectRaw.h"
#include "engine/3d/Types3D.h"

class C3DEngineGLES;
class C3DObject;
class C3DStencilShadow;
struct SHARED_INFOS;

namespace scene {

class ModelScene {
public:
    ModelScene();
    ~ModelScene();  // Unload

    ModelScene(const ModelScene&) = delete;
    ModelScene& operator=(const ModelScene&) = delete;

    // The shared record and the device for a width x height target.
    bool Load(int width, int height, std::string* error);
    // Everything Load and the Set* calls made goes back to the device.
    void Unload();

    // The model to draw, from a raw model (textures looked up under
    // `texturePath` + name; one that cannot be had is left out and noted in
    // *warning).
    bool SetModelFromRaw(C3DObjectRaw* raw, const char* texturePath, std::string* error, std::string* warning);
    // An object to build into: made with `objectFlags` and the scene's
    // render flags; the scene frames whatever it holds once built
    // (FinishBuilt).
    C3DObject* NewObjectToBuild(uint32_t objectFlags);
    bool FinishBuilt(std::string* error);

    // Puts a floor under the model and lets it cast a stencil shadow on it
    // from light 1, which then stands still relative to model and floor.
    // Needs a model and a drawable with stencil bits.
    bool EnableShadow(std::string* error);
    bool ShadowEnabled() const { return shadow_ != nullptr; }
    // Moves light 1 around the scene, degrees: azimuth about the vertical,
    // elevation above the floor (kept within 10 to 89).
    void MoveLight(float azimuthDegrees, float elevationDegrees);

    // Degrees; zoom multiplies the framing distance (1: the model just fits).
    void SetView(float yawDegrees, float pitchDegrees, float zoom);
    // A new target size (window resized).
    void Resize(int width, int height);
    // Clears and draws one frame. False when a draw was refused, with the
    // engine's reason in `error` when one is given (its trace is then held
    // back while drawing).
    bool Draw(std::string* error = nullptr);
    // The target's pixels, RGBA, top row first.
    std::vector<uint8_t> ReadRgba() const;

    SHARED_INFOS* Infos() const { return infos_.get(); }
    C3DObject* Object() const { return object_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Background colour, 0xAARRGGBB.
    static constexpr uint32_t kClearColor = 0xFF1E2430u;

private:
    uint32_t RenderFlags(bool lit, bool textured) const;
    // The model's centre, radius and lowest point, once per model: every
    // view change reframes from them without walking the vertices again.
    void Measure();
    void Frame();

    std::unique_ptr<SHARED_INFOS> infos_;
    std::unique_ptr<C3DEngineGLES> device_;
    C3DObject* object_ = nullptr;
    C3DObject* floor_ = nullptr;
    C3DStencilShadow* shadow_ = nullptr;
    float lightAzimuth_ = -40.0f, lightElevation_ = 60.0f;
    float floorY_ = -1.0f;  // the model's lowest point, from its centre
    bool loaded_ = false;
    int width_ = 0, height_ = 0;
    float yaw_ = 30.0f, pitch_ = 25.0f, zoom_ = 1.0f;
    VECTOR3D centre_{0, 0, 0};
    float radius_ = 1.0f;
};

// Writes RGBA rows (top first) as an 8-bit RGB PNG through the platform's
// atomic writer (a target that is not a regular file is refused).
bool WriteRgbPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
                 std::string* error);

}  // namespace scene
