// Shared pieces of the render tests: a real OpenGL ES 1.1 context drawing into
// a 320 x 480 framebuffer object, and a shared record holding the maths
// service and the compiled-in camera settings.
#pragma once

#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <array>
#include <cstdint>
#include <memory>

#include "platform/GLExtensions.h"
#include "platform/Platform.h"
#include "engine/3d/Maths3D.h"
#include "engine/utils/DefaultConfig.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/SharedInfos.h"

namespace gltest {

constexpr int kWidth = 320;
constexpr int kHeight = 480;

// Owns a zero-filled SHARED_INFOS and its maths service, set up as the world
// leaves it after loading a 320 x 480 portrait screen with the compiled-in
// engine configuration (camera part), identity matrices and bare texture names.
class SharedInfosHolder {
public:
    SharedInfosHolder() : infos_(std::make_unique<SHARED_INFOS>()) {
        SHARED_INFOS* si = infos_.get();
        si->m_pMaths3D = new CMaths3D;
        si->m_fScaleX = si->m_fScaleY = si->m_fScaleZ = 1.0f;
        si->m_wWidth = si->m_wWidthInit = kWidth;
        si->m_wHeight = si->m_wHeightInit = kHeight;
        si->m_Orientation = ORIENTATION_PORTRAIT;
        si->m_dwTextureNameSkip = 0xFFFFFFFFu;

        // Keys missing from the text fall back to the world's defaults.
        CUtilsParametersStatic ini(g_szEngineIni, g_dwEngineIniSize);
        si->m_fNear = ini.ReadFloat("CAMERA", "VIEW_NEAR_DISTANCE", 1.0f);
        si->m_fFar = ini.ReadFloat("CAMERA", "VIEW_FAR_DISTANCE", 20000.0f);
        si->m_fNearScreen = ini.ReadFloat("CAMERA", "VIEW_NEAR_DISTANCE_SCREEN", -1000.0f);
        si->m_fFarScreen = ini.ReadFloat("CAMERA", "VIEW_FAR_DISTANCE_SCREEN", 1000.0f);
        si->m_fFieldOfView = ini.ReadFloat("CAMERA", "VIEW_DEG_FIELD", 45.0f);

        for (MATRIX3D* m : {&si->m_matProjection, &si->m_matProjectionScreen, &si->m_matView,
                            &si->m_matViewInverse, &si->m_matWorld})
            si->m_pMaths3D->_MATRIX3DIdentity(m);
    }
    ~SharedInfosHolder() { delete infos_->m_pMaths3D; }

    SharedInfosHolder(const SharedInfosHolder&) = delete;
    SharedInfosHolder& operator=(const SharedInfosHolder&) = delete;

    SHARED_INFOS* get() const { return infos_.get(); }
    SHARED_INFOS* operator->() const { return infos_.get(); }

private:
    std::unique_ptr<SHARED_INFOS> infos_;
};

// A current OpenGL ES 1.1 context per test, rendering into a complete
// 320 x 480 RGBA8 + depth/stencil framebuffer object.
class GlesTest : public ::testing::Test {
protected:
    void SetUp() override {
        context_ = platform::GLContext::Create(1);
        ASSERT_NE(context_, nullptr) << "no OpenGL ES 1.1 context";
        ASSERT_TRUE(platform::GLContext::SetCurrentContext(context_.get()));
        using namespace platform::oes;
        glGenFramebuffersOES(1, &framebuffer_);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer_);
        glGenRenderbuffersOES(2, renderbuffers_);
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffers_[0]);
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, kWidth, kHeight);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES,
                                     renderbuffers_[0]);
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffers_[1]);
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_DEPTH24_STENCIL8_OES, kWidth, kHeight);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                     renderbuffers_[1]);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_STENCIL_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                     renderbuffers_[1]);
        ASSERT_EQ(glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES),
                  static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE_OES));
        glViewport(0, 0, kWidth, kHeight);
    }

    void TearDown() override {
        if (!context_) return;
        using namespace platform::oes;
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, 0);
        glDeleteRenderbuffersOES(2, renderbuffers_);
        glDeleteFramebuffersOES(1, &framebuffer_);
        platform::GLContext::SetCurrentContext(nullptr);
        context_.reset();
    }

    // RGBA of one pixel, x from the left, y from the bottom row.
    static std::array<uint8_t, 4> ReadPixel(int x, int y) {
        std::array<uint8_t, 4> rgba{};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    static std::array<float, 16> GetMatrix(GLenum which) {
        std::array<float, 16> m{};
        glGetFloatv(which, m.data());
        return m;
    }

private:
    std::unique_ptr<platform::GLContext> context_;
    GLuint framebuffer_ = 0;
    GLuint renderbuffers_[2] = {0, 0};
};

}  // namespace gltest
