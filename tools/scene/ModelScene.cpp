#include "ModelScene.h"

#include <sys/stat.h>
#include <unistd.h>

#include <GLES/gl.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <cstdlib>
#include <cstring>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectModels.h"
#include "engine/3d/3DObjectRaw.h"
#include "engine/3d/3DStencilShadow.h"
#include "engine/3d/Camera.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/utils/DefaultConfig.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/SharedInfos.h"
#include "platform/Files.h"
#include "TraceCapture.h"

namespace scene {
namespace {

constexpr float kPi = 3.14159265358979f;

// Row vectors: p' = p * (a * b) applies a first.
MATRIX3D Multiply(const MATRIX3D& a, const MATRIX3D& b) {
    MATRIX3D out{};
    const float* x = a.Data();
    const float* y = b.Data();
    float* o = out.Data();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += x[r * 4 + k] * y[k * 4 + c];
            o[r * 4 + c] = sum;
        }
    return out;
}

MATRIX3D Identity() {
    MATRIX3D m{};
    m.m0 = m.m5 = m.m10 = m.m15 = 1.0f;
    return m;
}

bool AnyNonZero(const VECTOR3D* v, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (v[i].x != 0 || v[i].y != 0 || v[i].z != 0) return true;
    return false;
}

// Why the engine would draw nothing of a record of `m` (it skips such
// records without a word), or "".
std::string UndrawableRecord(const RAW_MODEL& m) {
    for (uint32_t j = 0; j < m.m_dwSubObjectCount; ++j) {
        const ATTRIBUT& r = m.m_pAttributes[j];
        const uint64_t n = r.dwPrimitiveCount;
        uint64_t count = 0;
        switch (r.dwPrimitiveType) {
            case PRIM_TRIANGLESTRIP: case PRIM_TRIANGLEFAN: count = n + 2; break;
            case PRIM_TRIANGLELIST: count = 3 * n; break;
            case PRIM_LINELIST: count = 2 * n; break;
            case PRIM_LINESTRIP: count = n + 1; break;
            case PRIM_POINTLIST: count = n; break;
            default:
                return "sub-object " + std::to_string(j) + " has primitive type " + std::to_string(r.dwPrimitiveType) +
                       ", which the engine does not draw";
        }
        if (n == 0) continue;
        const std::string sub = "sub-object " + std::to_string(j);
        if (r.dwIndexStart + count > m.m_dwIndexCount)
            return sub + " draws indices " + std::to_string(r.dwIndexStart) + ".." +
                   std::to_string(r.dwIndexStart + count - 1) + " of " + std::to_string(m.m_dwIndexCount);
        for (uint64_t k = r.dwIndexStart; k < r.dwIndexStart + count; ++k) {
            const uint64_t vertex = uint64_t{r.dwVertexStart} + m.m_pdwIndices[k];
            if (vertex >= m.m_dwVertexCount)
                return sub + ": index " + std::to_string(k) + " names vertex " + std::to_string(vertex) + " of " +
                       std::to_string(m.m_dwVertexCount);
        }
    }
    return std::string();
}

}  // namespace

ModelScene::ModelScene() = default;

ModelScene::~ModelScene() { Unload(); }

bool ModelScene::Load(int width, int height, std::string* error) {
    Unload();
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        *error = "size out of range";
        return false;
    }
    width_ = width;
    height_ = height;
    infos_ = std::make_unique<SHARED_INFOS>();
    SHARED_INFOS* si = infos_.get();
    si->m_pMaths3D = new CMaths3D;
    si->m_fScaleX = si->m_fScaleY = si->m_fScaleZ = 1.0f;
    si->m_wWidth = si->m_wWidthInit = static_cast<uint16_t>(width);
    si->m_wHeight = si->m_wHeightInit = static_cast<uint16_t>(height);
    si->m_Orientation = ORIENTATION_PORTRAIT;
    si->m_dwTextureNameSkip = 0xFFFFFFFFu;
    si->m_bDepthBuffer = si->m_bDepthBufferCfg = 1;
    si->m_bLighting = si->m_bLightingCfg = 1;
    si->m_dwClearColor = kClearColor;

    // The camera settings of the compiled-in engine configuration.
    CUtilsParametersStatic ini(g_szEngineIni, g_dwEngineIniSize);
    si->m_fNearScreen = ini.ReadFloat("CAMERA", "VIEW_NEAR_DISTANCE_SCREEN", -1000.0f);
    si->m_fFarScreen = ini.ReadFloat("CAMERA", "VIEW_FAR_DISTANCE_SCREEN", 1000.0f);
    si->m_fFieldOfView = ini.ReadFloat("CAMERA", "VIEW_DEG_FIELD", 45.0f);
    for (MATRIX3D* m : {&si->m_matProjection, &si->m_matProjectionScreen, &si->m_matView, &si->m_matViewInverse,
                        &si->m_matWorld})
        *m = Identity();

    // Light 1: directional, from above left and in front (the camera looks
    // along +z); light 2 stays off.
    LIGHT_BLOCK& light = si->m_Light[0];
    light.m_bEnable = light.m_bEnableCfg = 1;
    light.m_dwType = 0;
    light.m_afPosition[0] = -0.55f;
    light.m_afPosition[1] = 0.75f;
    light.m_afPosition[2] = -1.0f;
    light.m_fDiffuse = 0.7f;
    light.m_fSpecular = 0.25f;
    light.m_fAmbient = 0.18f;

    device_ = std::make_unique<C3DEngineGLES>();
    if (device_->Load(si, nullptr) < 0 || !device_->m_pCamera) {
        *error = "the OpenGL ES device did not load";
        Unload();
        return false;
    }
    loaded_ = true;
    device_->PointSpriteInit();
    Resize(width, height);
    return true;
}

void ModelScene::Unload() {
    if (device_) {
        if (shadow_) device_->DeleteStencilShadow(shadow_);
        shadow_ = nullptr;
        if (floor_) device_->Delete3DObject(floor_);
        floor_ = nullptr;
        if (object_) device_->Delete3DObject(object_);
        object_ = nullptr;
        if (loaded_) device_->Unload();
        device_.reset();
    }
    loaded_ = false;
    if (infos_) {
        delete infos_->m_pMaths3D;
        infos_.reset();
    }
}

uint32_t ModelScene::RenderFlags(bool lit, bool textured) const {
    // Culling off: imported models wind either way and open shapes show
    // their inside.
    uint32_t flags = RENDER_STATEBLOCK | RENDER_ZTEST | RENDER_ZWRITE | RENDER_COLOR_MATERIAL | RENDER_CULL_NONE;
    if (lit) flags |= RENDER_LIGHT | RENDER_LIGHTING;
    flags |= textured ? RENDER_TEXTURE1 : RENDER_NO_TEXTURE;
    return flags;
}

bool ModelScene::SetModelFromRaw(C3DObjectRaw* raw, const char* texturePath, std::string* error,
                                 std::string* warning) {
    if (!loaded_ || !raw || !raw->m_pModel) {
        *error = "no model";
        return false;
    }
    if (object_) device_->Delete3DObject(object_);
    object_ = nullptr;
    RAW_MODEL* m = raw->m_pModel;
    const std::string unfit = UndrawableRecord(*m);
    if (!unfit.empty()) {
        *error = unfit;
        return false;
    }
    bool coloured = false, textured = false;
    for (uint32_t i = 0; i < m->m_dwVertexCount && !coloured; ++i) coloured = m->m_pdwColors[i] != 0;
    // A model without colours shows the light's own material.
    if (!coloured) std::fill(m->m_pdwColors, m->m_pdwColors + m->m_dwVertexCount, 0xFFFFFFFFu);
    for (uint32_t j = 0; j < m->m_dwSubObjectCount && !textured; ++j) textured = m->m_pszTextureNames[j][0] != 0;
    const bool lit = AnyNonZero(m->m_pvNormals, m->m_dwVertexCount);

    object_ = device_->Create3DObject(OBJ_NORMAL, RenderFlags(lit, textured));
    if (!object_) {
        *error = "the device made no object";
        return false;
    }
    infos_->m_dwErrorCode = 0;
    if (object_->LoadFromRaw(raw, nullptr, nullptr, texturePath ? texturePath : "") < 0) {
        if (infos_->m_dwErrorCode != e3D_ERROR_TEXTURE || object_->m_dwVertexCount == 0) {
            *error = "the engine could not build an object from the model";
            device_->Delete3DObject(object_);
            object_ = nullptr;
            return false;
        }
        *warning = std::string("texture ") + infos_->m_szErrorText + " could not be loaded; drawn without it";
    }
    Measure();
    return true;
}

C3DObject* ModelScene::NewObjectToBuild(uint32_t objectFlags) {
    if (!loaded_) return nullptr;
    if (object_) device_->Delete3DObject(object_);
    object_ = device_->Create3DObject(objectFlags, RenderFlags(true, false));
    return object_;
}

bool ModelScene::FinishBuilt(std::string* error) {
    if (!object_ || object_->m_dwVertexCount == 0) {
        *error = "nothing was built";
        return false;
    }
    bool lit = false;
    for (uint32_t i = 0; i < object_->m_dwVertexCount && !lit; ++i) {
        const VECTOR3D n = object_->GetVertexNormal(i);
        lit = n.x != 0 || n.y != 0 || n.z != 0;
    }
    // Lines and fans without normals are drawn in their own colours.
    object_->m_dwFlags2 = RenderFlags(lit, false);
    Measure();
    return true;
}

bool ModelScene::EnableShadow(std::string* error) {
    if (!loaded_ || !object_) {
        *error = "no model to cast a shadow";
        return false;
    }
    if (shadow_) return true;
    infos_->m_bStencilShadow = infos_->m_bStencilShadowCfg = 1;
    if (device_->StencilShadowCompatible() < 0) {
        *error = "the drawable has no stencil buffer for shadows";
        return false;
    }
    // Wide enough to catch a long shadow; placed by Frame, under the model.
    const float size = 3.0f * radius_;
    floor_ = device_->Create3DObject(OBJ_NORMAL, RenderFlags(true, false));
    MODEL_PLANE plane{size, size, 16, 16, 2, 0xFFC8C8C8u, 0, 1, 1};
    if (!floor_ || floor_->ConstructFromModel(MODEL_TYPE_PLANE, &plane) < 0) {
        *error = "the floor could not be built";
        return false;
    }
    // Shadowed pixels keep 96/255 of their light.
    shadow_ = device_->CreateStencilShadow(1, 0x60000000u);
    const VECTOR3D upper{FLT_MAX, FLT_MAX, FLT_MAX}, lower{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    if (!shadow_ || shadow_->AddObject(0, object_, &object_->m_matMatrix, upper, lower) < 0) {
        *error = "the device made no stencil shadow";
        return false;
    }
    Frame();
    return true;
}

void ModelScene::MoveLight(float azimuthDegrees, float elevationDegrees) {
    lightAzimuth_ = std::fmod(azimuthDegrees, 360.0f);
    lightElevation_ = std::max(10.0f, std::min(89.0f, elevationDegrees));
    Frame();
}

void ModelScene::SetView(float yawDegrees, float pitchDegrees, float zoom) {
    yaw_ = yawDegrees;
    pitch_ = pitchDegrees;
    zoom_ = zoom > 0.01f ? zoom : 0.01f;
    Frame();
}

void ModelScene::Resize(int width, int height) {
    if (!loaded_ || width <= 0 || height <= 0) return;
    width_ = width;
    height_ = height;
    infos_->m_wWidth = infos_->m_wWidthInit = static_cast<uint16_t>(width);
    infos_->m_wHeight = infos_->m_wHeightInit = static_cast<uint16_t>(height);
    device_->m_pCamera->InitViewport(0, 0, width, height);
    Frame();
}

void ModelScene::Measure() {
    if (object_) {
        VECTOR3D lo, hi;
        object_->GetExtrema(&lo, &hi, false);
        if (lo.x <= hi.x && lo.y <= hi.y && lo.z <= hi.z) {
            centre_ = VECTOR3D{(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
            const float dx = hi.x - lo.x, dy = hi.y - lo.y, dz = hi.z - lo.z;
            radius_ = 0.5f * std::sqrt(dx * dx + dy * dy + dz * dz);
            floorY_ = lo.y - centre_.y;
        }
        if (!(radius_ > 1e-6f) || !std::isfinite(radius_)) radius_ = 1.0f;
    }
    Frame();
}

void ModelScene::Frame() {
    if (!loaded_) return;
    // The bounding sphere just fits the narrower of the two fields of view.
    SHARED_INFOS* si = infos_.get();
    const float vertical = si->m_fFieldOfView * kPi / 180.0f / 2.0f;
    const float aspect = static_cast<float>(width_) / static_cast<float>(height_);
    const float horizontal = std::atan(std::tan(vertical) * aspect);
    const float half = std::min(vertical, horizontal);
    const float distance = radius_ / std::sin(half) * 1.04f * zoom_;
    si->m_fNear = std::max(distance - 1.5f * radius_, distance * 0.002f);
    si->m_fFar = distance + 1.5f * radius_;
    device_->m_pCamera->InitProjMatrix();

    // The camera at (0, 0, -distance) looking along +z.
    MATRIX3D view = Identity();
    view.m14 = distance;
    si->m_matView = view;
    MATRIX3D inverse = Identity();
    inverse.m14 = -distance;
    si->m_matViewInverse = inverse;

    if (!object_) return;
    MATRIX3D move = Identity();
    move.m12 = -centre_.x, move.m13 = -centre_.y, move.m14 = -centre_.z;
    const float a = yaw_ * kPi / 180.0f, b = -pitch_ * kPi / 180.0f;
    MATRIX3D yaw = Identity();
    yaw.m0 = std::cos(a), yaw.m2 = -std::sin(a), yaw.m8 = std::sin(a), yaw.m10 = std::cos(a);
    MATRIX3D pitch = Identity();
    pitch.m5 = std::cos(b), pitch.m6 = std::sin(b), pitch.m9 = -std::sin(b), pitch.m10 = std::cos(b);
    const MATRIX3D turn = Multiply(yaw, pitch);
    object_->m_matMatrix = Multiply(move, turn);
    if (!shadow_) return;

    // The floor just under the model, turned with it; the light turns with
    // both.
    const float size = 3.0f * radius_;
    MATRIX3D floor = Identity();
    floor.m13 = floorY_ - 0.002f * size;
    floor_->m_matMatrix = Multiply(floor, turn);
    const float az = lightAzimuth_ * kPi / 180.0f, el = lightElevation_ * kPi / 180.0f;
    const VECTOR3D d{std::cos(el) * std::sin(az), std::sin(el), -std::cos(el) * std::cos(az)};
    const float* t = turn.Data();
    // Row vectors: the direction times the rotation part of `turn`, far
    // enough that the volume's extrusion passes the floor.
    const float far = 100.0f * size;
    LIGHT_BLOCK& light = si->m_Light[0];
    light.m_dwType = 0;
    light.m_afPosition[0] = far * (d.x * t[0] + d.y * t[4] + d.z * t[8]);
    light.m_afPosition[1] = far * (d.x * t[1] + d.y * t[5] + d.z * t[9]);
    light.m_afPosition[2] = far * (d.x * t[2] + d.y * t[6] + d.z * t[10]);
}

bool ModelScene::Draw(std::string* error) {
    if (!loaded_) {
        if (error) *error = "no device";
        return false;
    }
    std::unique_ptr<TraceCapture> trace(error ? new TraceCapture : nullptr);
    device_->BeginScene();
    bool ok = !floor_ || floor_->Render(eALL_SUBOBJECTS) >= 0;
    ok = (!object_ || object_->Render(eALL_SUBOBJECTS) >= 0) && ok;
    // The shadow darkens what is already drawn.
    if (shadow_) ok = shadow_->FrameMove(0) >= 0 && shadow_->Render(0) >= 0 && ok;
    device_->EndScene();
    if (trace) {
        const std::string reason = trace->Stop();
        if (ok) std::fputs(trace->Text().c_str(), stderr);
        if (!ok) *error = reason.empty() ? "the engine refused to draw the model" : reason;
    }
    return ok;
}

std::vector<uint8_t> ModelScene::ReadRgba() const {
    const size_t row = static_cast<size_t>(width_) * 4;
    std::vector<uint8_t> bottomUp(row * height_), rgba(row * height_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    for (int y = 0; y < height_; ++y)
        std::memcpy(&rgba[row * y], &bottomUp[row * (height_ - 1 - y)], row);
    return rgba;
}

bool WriteRgbPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
                 std::string* error) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i)
        std::memcpy(&rgb[i * 3], &rgba[i * 4], 3);
    return platform::WriteFileAtomically(
        path,
        [&](FILE* file, std::string* why) {
            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            image.width = static_cast<png_uint_32>(width);
            image.height = static_cast<png_uint_32>(height);
            image.format = PNG_FORMAT_RGB;
            const bool ok = png_image_write_to_stdio(&image, file, 0, rgb.data(), 0, nullptr) != 0;
            png_image_free(&image);
            if (!ok) *why = "PNG encoding failed";
            return ok;
        },
        error);
}

}  // namespace scene
