#include "HeadlessContext.h"

#include <EGL/eglext.h>

#include <cstring>

namespace view {
namespace {

bool HasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

EGLDisplay OpenDisplay() {
    if (HasExtension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), "EGL_MESA_platform_surfaceless")) {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay) {
            EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
            if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
        }
    }
    EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
    return EGL_NO_DISPLAY;
}

}  // namespace

HeadlessContext::~HeadlessContext() {
    if (display_ == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    // The display stays initialised to the end of the process: terminating
    // it unloads the driver under what the driver still holds.
    eglReleaseThread();
}

bool HeadlessContext::Open(int width, int height, std::string* error) {
    display_ = OpenDisplay();
    if (display_ == EGL_NO_DISPLAY) {
        *error = "no EGL display";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_ES_API)) {
        *error = "EGL has no OpenGL ES";
        return false;
    }
    const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                    EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                    EGL_DEPTH_SIZE, 24, EGL_STENCIL_SIZE, 8, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display_, configAttribs, &config, 1, &count) || count < 1) {
        *error = "no EGL configuration for an OpenGL ES 1.1 pbuffer";
        return false;
    }
    const EGLint contextAttribs[] = {EGL_CONTEXT_CLIENT_VERSION, 1, EGL_NONE};
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, contextAttribs);
    if (context_ == EGL_NO_CONTEXT) {
        *error = "no OpenGL ES 1.1 context";
        return false;
    }
    const EGLint pbufferAttribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display_, config, pbufferAttribs);
    if (surface_ == EGL_NO_SURFACE) {
        *error = "no " + std::to_string(width) + " x " + std::to_string(height) + " pbuffer";
        return false;
    }
    if (!eglMakeCurrent(display_, surface_, surface_, context_)) {
        *error = "the context could not be made current";
        return false;
    }
    return true;
}

}  // namespace view
