// Draws a lit sphere with the installed engine into an EGL pbuffer and
// checks the picture: the sphere in the middle, the clear colour in a
// corner. Exit 0 when both hold.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES/gl.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectModels.h"
#include "engine/3d/Camera.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/world/SharedInfos.h"

namespace {

constexpr int kSize = 64;

bool Fail(const char* what) {
    std::fprintf(stderr, "package_user: %s\n", what);
    return false;
}

bool Draw(unsigned char centre[4], unsigned char corner[4]) {
    auto infos = std::make_unique<SHARED_INFOS>();
    CMaths3D maths;
    SHARED_INFOS* si = infos.get();
    si->m_pMaths3D = &maths;
    si->m_fScaleX = si->m_fScaleY = si->m_fScaleZ = 1.0f;
    si->m_wWidth = si->m_wWidthInit = kSize;
    si->m_wHeight = si->m_wHeightInit = kSize;
    si->m_dwTextureNameSkip = 0xFFFFFFFFu;
    si->m_bDepthBuffer = 1;
    si->m_dwClearColor = 0xFF000040u;
    si->m_fNear = 1.0f, si->m_fFar = 100.0f, si->m_fFieldOfView = 45.0f;
    si->m_fNearScreen = -1000.0f, si->m_fFarScreen = 1000.0f;
    for (MATRIX3D* m : {&si->m_matProjection, &si->m_matProjectionScreen, &si->m_matView, &si->m_matViewInverse,
                        &si->m_matWorld})
        maths._MATRIX3DIdentity(m);
    si->m_matView.m14 = 5.0f;  // the camera 5 units before the origin, looking along +z
    si->m_Light[0].m_bEnable = 1;
    si->m_Light[0].m_afPosition[1] = 1.0f;
    si->m_Light[0].m_afPosition[2] = -1.0f;
    si->m_Light[0].m_fDiffuse = 0.8f;
    si->m_Light[0].m_fAmbient = 0.2f;

    C3DEngineGLES device;
    if (device.Load(si, nullptr) < 0) return Fail("the device did not load");
    device.m_pCamera->InitViewport(0, 0, kSize, kSize);
    device.m_pCamera->InitProjMatrix();
    bool ok = false;
    C3DObject* sphere = device.Create3DObject(
        OBJ_NORMAL, RENDER_STATEBLOCK | RENDER_LIGHT | RENDER_LIGHTING | RENDER_COLOR_MATERIAL | RENDER_ZTEST |
                        RENDER_ZWRITE | RENDER_NO_TEXTURE);
    MODEL_SPHERE record{1.0f, 16, 0xFFFFC040u, 0};
    if (!sphere) {
        Fail("no object");
    } else if (sphere->ConstructFromModel(MODEL_TYPE_SPHERE, &record) < 0) {
        Fail("the sphere was not built");
    } else {
        device.BeginScene();
        ok = sphere->Render(eALL_SUBOBJECTS) >= 0;
        device.EndScene();
        glReadPixels(kSize / 2, kSize / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, centre);
        glReadPixels(1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
    }
    if (sphere) device.Delete3DObject(sphere);
    device.Unload();
    return ok;
}

}  // namespace

// Mesa's surfaceless platform needs no display server; the default display
// is the way elsewhere.
EGLDisplay OpenDisplay() {
    const char* ext = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (ext && std::strstr(ext, "EGL_MESA_platform_surfaceless") && getPlatformDisplay) {
        EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
    }
    EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
    return EGL_NO_DISPLAY;
}

int main() {
    EGLDisplay display = OpenDisplay();
    if (display == EGL_NO_DISPLAY) return Fail("no EGL display"), 1;
    eglBindAPI(EGL_OPENGL_ES_API);
    const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                    EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 16,
                                    EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttribs, &config, 1, &count) || count < 1) return Fail("no config"), 1;
    const EGLint contextAttribs[] = {EGL_CONTEXT_CLIENT_VERSION, 1, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttribs);
    const EGLint pbufferAttribs[] = {EGL_WIDTH, kSize, EGL_HEIGHT, kSize, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, pbufferAttribs);
    if (context == EGL_NO_CONTEXT || surface == EGL_NO_SURFACE || !eglMakeCurrent(display, surface, surface, context))
        return Fail("no OpenGL ES 1.1 pbuffer context"), 1;

    unsigned char centre[4] = {0, 0, 0, 0}, corner[4] = {0, 0, 0, 0};
    const bool drawn = Draw(centre, corner);
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroySurface(display, surface);
    eglDestroyContext(display, context);
    // The display is not terminated: that would unload the driver under what
    // it still holds at exit.
    eglReleaseThread();
    if (!drawn) return 1;

    std::printf("centre %u %u %u, corner %u %u %u\n", centre[0], centre[1], centre[2], corner[0], corner[1], corner[2]);
    // An orange sphere lit from above in front; the clear colour around it.
    const bool sphereThere = centre[0] > 100 && centre[0] > centre[2];
    const bool background = corner[0] == 0 && corner[1] == 0 && corner[2] == 0x40;
    if (!sphereThere) return Fail("the middle of the picture is not the sphere"), 1;
    if (!background) return Fail("the corner of the picture is not the clear colour"), 1;
    return 0;
}
