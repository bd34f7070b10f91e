// An OpenGL ES 1.1 context on EGL drawing into a pbuffer of a given size,
// for runs without a display: Mesa's surfaceless platform when offered,
// otherwise the default display.
#pragma once

#include <EGL/egl.h>

#include <string>

namespace view {

class HeadlessContext {
public:
    ~HeadlessContext();
    // Creates the context and its width x height pbuffer (colour, depth and
    // stencil) and makes them current.
    bool Open(int width, int height, std::string* error);

private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
    EGLSurface surface_ = EGL_NO_SURFACE;
};

}  // namespace view
