// OpenGL ES 1.1 in the browser: emscripten's fixed-function emulation over a
// WebGL 1 context on the page's canvas, made through its EGL.
//
// The view's framebuffer is the canvas itself: the renderbuffer the drawable
// backs stands for the canvas's drawing buffer, and binding a framebuffer
// that has it as colour binds the canvas. Frames are thus drawn where the
// page shows them and presenting reads nothing back; the canvas is turned to
// landscape by the page. Pixels are read only when the last frame is asked
// for (a script's `png`).
//
// What the emulation lacks is supplied here: the OES framebuffer entry
// points (over WebGL's core ones), and the scalar forms of the light,
// material and point parameters.
#include <EGL/egl.h>
#include <GLES2/gl2.h>
#include <emscripten.h>
#include <emscripten/html5.h>
#include <webgl/webgl1.h>

#include <map>
#include <set>

#include <cstring>
#include <vector>

#include "platform/GLExtensions.h"
#include "platform/Platform.h"
#include "platform/RunLoop.h"

namespace platform {

namespace {

GLContext* g_current = nullptr;
std::function<void(const Frame&)> g_presentHandler;
std::function<void()> g_presentObserver;
bool g_pending = false;  // a present on the canvas not read back yet

// The renderbuffer that stands for the canvas, the framebuffer it is the
// colour of, and the framebuffer the engine believes bound.
GLuint g_drawableRenderbuffer = 0;
GLuint g_viewFramebuffer = 0;
GLuint g_boundFramebuffer = 0;
GLuint g_boundRenderbuffer = 0;
GLint g_drawableWidth = 0;
GLint g_drawableHeight = 0;

bool ViewBound() { return g_viewFramebuffer != 0 && g_boundFramebuffer == g_viewFramebuffer; }

void GenFramebuffers(GLsizei n, GLuint* ids) { glGenFramebuffers(n, ids); }

void DeleteFramebuffers(GLsizei n, const GLuint* ids) {
    for (GLsizei i = 0; i < n; ++i) {
        if (ids[i] == g_viewFramebuffer) g_viewFramebuffer = 0;
        if (ids[i] == g_boundFramebuffer) g_boundFramebuffer = 0;
    }
    glDeleteFramebuffers(n, ids);
}

void BindFramebuffer(GLenum target, GLuint framebuffer) {
    g_boundFramebuffer = framebuffer;
    glBindFramebuffer(target, ViewBound() ? 0 : framebuffer);
}

GLenum CheckFramebufferStatus(GLenum target) {
    return ViewBound() ? GL_FRAMEBUFFER_COMPLETE : glCheckFramebufferStatus(target);
}

void FramebufferRenderbuffer(GLenum target, GLenum attachment, GLenum renderbufferTarget, GLuint renderbuffer) {
    if (attachment == GL_COLOR_ATTACHMENT0 && renderbuffer != 0 && renderbuffer == g_drawableRenderbuffer) {
        // From now on this framebuffer is the canvas.
        g_viewFramebuffer = g_boundFramebuffer;
        glBindFramebuffer(target, 0);
        return;
    }
    // The canvas has depth and stencil buffers of its own.
    if (ViewBound()) return;
    glFramebufferRenderbuffer(target, attachment, renderbufferTarget, renderbuffer);
}

void GenRenderbuffers(GLsizei n, GLuint* ids) { glGenRenderbuffers(n, ids); }

void DeleteRenderbuffers(GLsizei n, const GLuint* ids) {
    for (GLsizei i = 0; i < n; ++i) {
        if (ids[i] == g_drawableRenderbuffer) g_drawableRenderbuffer = 0;
        if (ids[i] == g_boundRenderbuffer) g_boundRenderbuffer = 0;
    }
    glDeleteRenderbuffers(n, ids);
}

void BindRenderbuffer(GLenum target, GLuint renderbuffer) {
    g_boundRenderbuffer = renderbuffer;
    glBindRenderbuffer(target, renderbuffer);
}

void RenderbufferStorage(GLenum target, GLenum format, GLsizei width, GLsizei height) {
    // WebGL 1 names packed depth and stencil differently.
    if (format == GL_DEPTH24_STENCIL8_OES) format = 0x84F9;  // DEPTH_STENCIL
    glRenderbufferStorage(target, format, width, height);
}

void GetRenderbufferParameteriv(GLenum target, GLenum pname, GLint* value) {
    if (g_boundRenderbuffer != 0 && g_boundRenderbuffer == g_drawableRenderbuffer) {
        switch (pname) {
            case GL_RENDERBUFFER_WIDTH: *value = g_drawableWidth; return;
            case GL_RENDERBUFFER_HEIGHT: *value = g_drawableHeight; return;
            case GL_RENDERBUFFER_INTERNAL_FORMAT: *value = GL_RGBA8_OES; return;
            default: break;
        }
    }
    glGetRenderbufferParameteriv(target, pname, value);
}

void InstallFramebufferFunctions() {
    oes::glGenFramebuffersOES = GenFramebuffers;
    oes::glDeleteFramebuffersOES = DeleteFramebuffers;
    oes::glBindFramebufferOES = BindFramebuffer;
    oes::glCheckFramebufferStatusOES = CheckFramebufferStatus;
    oes::glFramebufferRenderbufferOES = FramebufferRenderbuffer;
    oes::glGenRenderbuffersOES = GenRenderbuffers;
    oes::glDeleteRenderbuffersOES = DeleteRenderbuffers;
    oes::glBindRenderbufferOES = BindRenderbuffer;
    oes::glRenderbufferStorageOES = RenderbufferStorage;
    oes::glGetRenderbufferParameterivOES = GetRenderbufferParameteriv;
}

// The canvas's current pixels, top row first.
bool ReadCanvas(Frame* frame) {
    if (!g_current || g_drawableWidth <= 0 || g_drawableHeight <= 0) return false;
    frame->width = g_drawableWidth;
    frame->height = g_drawableHeight;
    frame->rgba.resize(static_cast<size_t>(frame->width) * frame->height * 4);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, frame->width, frame->height, GL_RGBA, GL_UNSIGNED_BYTE, frame->rgba.data());
    glBindFramebuffer(GL_FRAMEBUFFER, ViewBound() ? 0 : g_boundFramebuffer);
    const size_t stride = static_cast<size_t>(frame->width) * 4;
    std::vector<uint8_t> row(stride);
    for (int y = 0; y < frame->height / 2; ++y) {
        uint8_t* a = frame->rgba.data() + y * stride;
        uint8_t* b = frame->rgba.data() + (frame->height - 1 - y) * stride;
        std::memcpy(row.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, row.data(), stride);
    }
    return glGetError() == GL_NO_ERROR;
}

}  // namespace

struct GLContext::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
};

std::unique_ptr<GLContext> GLContext::Create(int apiVersion) {
    if (apiVersion != 1) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (impl->display == EGL_NO_DISPLAY || !eglInitialize(impl->display, nullptr, nullptr)) return nullptr;
    const EGLint configAttribs[] = {EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                    EGL_DEPTH_SIZE, 16, EGL_STENCIL_SIZE, 8, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(impl->display, configAttribs, &config, 1, &count) || count < 1) return nullptr;
    // The emulation sets itself up only on a context asked for as version 2
    // (WebGL 1); it then serves the 1.1 calls.
    const EGLint contextAttribs[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    impl->context = eglCreateContext(impl->display, config, EGL_NO_CONTEXT, contextAttribs);
    if (impl->context == EGL_NO_CONTEXT) return nullptr;
    impl->surface = eglCreateWindowSurface(impl->display, config, 0, nullptr);
    if (impl->surface == EGL_NO_SURFACE) {
        eglDestroyContext(impl->display, impl->context);
        return nullptr;
    }
    InstallFramebufferFunctions();
    return std::unique_ptr<GLContext>(new GLContext(std::move(impl)));
}

GLContext::GLContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

GLContext::~GLContext() {
    if (g_current == this) SetCurrentContext(nullptr);
    g_pending = false;
    eglDestroySurface(impl_->display, impl_->surface);
    eglDestroyContext(impl_->display, impl_->context);
}

bool GLContext::SetCurrentContext(GLContext* context) {
    if (!context) {
        if (g_current) eglMakeCurrent(g_current->impl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        g_current = nullptr;
        return true;
    }
    if (g_current == context) return true;
    Impl* impl = context->impl_.get();
    if (!eglMakeCurrent(impl->display, impl->surface, impl->surface, impl->context)) return false;
    g_current = context;
    return true;
}

GLContext* GLContext::CurrentContext() { return g_current; }

bool GLContext::RenderbufferStorageFromDrawable(GLenum, const DrawableLayer* layer) {
    if (!layer || g_current != this || g_boundRenderbuffer == 0) return false;
    g_drawableRenderbuffer = g_boundRenderbuffer;
    g_drawableWidth = layer->PixelWidth();
    g_drawableHeight = layer->PixelHeight();
    return emscripten_set_canvas_element_size("#canvas", g_drawableWidth, g_drawableHeight) == EMSCRIPTEN_RESULT_SUCCESS;
}

bool GLContext::PresentRenderbuffer(GLenum) {
    if (g_current != this || g_drawableWidth <= 0) return false;
    // Already on the canvas: the browser shows it when this task ends, and
    // it is read back only if asked for before then.
    if (g_presentObserver) g_presentObserver();
    if (g_presentHandler) {
        Frame frame;
        g_pending = false;
        if (ReadCanvas(&frame)) g_presentHandler(frame);
        return true;
    }
    g_pending = true;
    return true;
}

void SetPresentHandler(std::function<void(const Frame&)> handler) { g_presentHandler = std::move(handler); }

namespace detail {

void SetPresentObserver(std::function<void()> observer) { g_presentObserver = std::move(observer); }

void ForgetPendingFrame() { g_pending = false; }

bool ReadPendingFrame(Frame* frame) {
    if (!g_pending) return false;
    g_pending = false;
    return ReadCanvas(frame);
}

}  // namespace detail

}  // namespace platform

// Scalar light, material and point parameters the emulation leaves out. It
// has no light attenuation and no point-size attenuation: the engine's
// values (constant 1, linear and quadratic 0) are what it does anyway.
extern "C" {

void glLightf(GLenum, GLenum, GLfloat) {}

// The emulation's material takes ambient, diffuse, specular and shininess
// and throws on anything else (emission): that is set here, the rest left
// out, as the emulation has no emission term to give it to.
EM_JS(void, orbelline_material, (int pname, const float* v), {
    var f = HEAPF32.subarray(v >> 2, (v >> 2) + 4);
    if (pname == 0x1200) GLEmulation.materialAmbient.set(f);
    else if (pname == 0x1201) GLEmulation.materialDiffuse.set(f);
    else if (pname == 0x1202) GLEmulation.materialSpecular.set(f);
    else if (pname == 0x1601) GLEmulation.materialShininess[0] = f[0];
});

void glMaterialfv(GLenum, GLenum pname, const GLfloat* params) { orbelline_material(static_cast<int>(pname), params); }

void glMaterialf(GLenum face, GLenum pname, GLfloat param) {
    const GLfloat v[4] = {param, 0, 0, 0};
    glMaterialfv(face, pname, v);
}

void glPointParameterf(GLenum, GLfloat) {}
void glPointParameterfv(GLenum, const GLfloat*) {}

// The current normal: the emulation takes glNormal3f only between glBegin
// and glEnd (which OpenGL ES has not) and breaks the next draw otherwise.
// The engine sets it only to switch the normal array off; unlit draws do not
// read it.
void glNormal3f(GLfloat, GLfloat, GLfloat) {}

}  // extern "C"

// WebGL has no automatic mipmaps (GL_GENERATE_MIPMAP): the texture's levels
// are made here each time its base level changes, where WebGL 1 can (power-
// of-two sizes). Hints other than the mipmap one do not exist there either.
namespace {

std::map<GLint, std::pair<GLsizei, GLsizei>> g_textureSizes;
std::set<GLint> g_autoMipmap;

GLint BoundTexture() {
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

bool PowerOfTwo(GLsizei v) { return v > 0 && (v & (v - 1)) == 0; }

// WebGL 1 has no mipmaps for other sizes: such a texture asked to filter
// through mipmaps would be incomplete and sample black, so it filters its
// base level linearly instead.
bool NonPowerOfTwo(GLint name) {
    auto size = g_textureSizes.find(name);
    return size != g_textureSizes.end() && !(PowerOfTwo(size->second.first) && PowerOfTwo(size->second.second));
}

std::map<GLint, GLint> g_minFilters;

void ApplyMinFilter(GLenum target, GLint name) {
    auto wanted = g_minFilters.find(name);
    if (wanted == g_minFilters.end()) return;
    GLint filter = wanted->second;
    if (NonPowerOfTwo(name) && filter != GL_NEAREST && filter != GL_LINEAR)
        filter = (filter == GL_NEAREST_MIPMAP_NEAREST || filter == GL_NEAREST_MIPMAP_LINEAR) ? GL_NEAREST : GL_LINEAR;
    emscripten_glTexParameteri(target, GL_TEXTURE_MIN_FILTER, filter);
}

void RegenerateMipmaps(GLenum target) {
    const GLint name = BoundTexture();
    if (!g_autoMipmap.count(name)) return;
    auto size = g_textureSizes.find(name);
    if (size == g_textureSizes.end() || !PowerOfTwo(size->second.first) || !PowerOfTwo(size->second.second)) return;
    emscripten_glGenerateMipmap(target);
}

}  // namespace

extern "C" {

void glHint(GLenum target, GLenum mode) {
    if (target == GL_GENERATE_MIPMAP_HINT) emscripten_glHint(target, mode);
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    if (pname == GL_TEXTURE_MIN_FILTER) {
        g_minFilters[BoundTexture()] = param;
        ApplyMinFilter(target, BoundTexture());
        return;
    }
    if (pname != GL_GENERATE_MIPMAP) {
        emscripten_glTexParameteri(target, pname, param);
        return;
    }
    if (param) {
        g_autoMipmap.insert(BoundTexture());
        RegenerateMipmaps(target);
    } else {
        g_autoMipmap.erase(BoundTexture());
    }
}

void glTexParameterf(GLenum target, GLenum pname, GLfloat param) {
    if (pname == GL_TEXTURE_MIN_FILTER || pname == GL_GENERATE_MIPMAP) {
        glTexParameteri(target, pname, static_cast<GLint>(param));
        return;
    }
    emscripten_glTexParameterf(target, pname, param);
}

// The emulation's texture stages take an alpha-only texture's colour as black
// where OpenGL ES keeps the fragment's: such textures go up as white with
// that alpha, which every texture function treats alike.
void glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const void* pixels) {
    if (format == GL_ALPHA && internalformat == GL_ALPHA && type == GL_UNSIGNED_BYTE && width > 0 && height > 0) {
        std::vector<uint8_t> la;
        if (pixels) {
            // Rows of alpha bytes start on 4-byte boundaries by default.
            GLint align = 4;
            glGetIntegerv(GL_UNPACK_ALIGNMENT, &align);
            const size_t stride = (static_cast<size_t>(width) + align - 1) / align * align;
            la.resize(static_cast<size_t>(width) * height * 2);
            const uint8_t* a = static_cast<const uint8_t*>(pixels);
            for (GLsizei y = 0; y < height; ++y)
                for (GLsizei x = 0; x < width; ++x) {
                    la[(static_cast<size_t>(y) * width + x) * 2] = 255;
                    la[(static_cast<size_t>(y) * width + x) * 2 + 1] = a[y * stride + x];
                }
        }
        GLint align = 4;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &align);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        emscripten_glTexImage2D(target, level, GL_LUMINANCE_ALPHA, width, height, border, GL_LUMINANCE_ALPHA, type,
                                pixels ? la.data() : nullptr);
        glPixelStorei(GL_UNPACK_ALIGNMENT, align);
    } else {
        emscripten_glTexImage2D(target, level, internalformat, width, height, border, format, type, pixels);
    }
    if (level != 0) return;
    g_textureSizes[BoundTexture()] = {width, height};
    ApplyMinFilter(target, BoundTexture());
    RegenerateMipmaps(target);
}

void glTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format,
                     GLenum type, const void* pixels) {
    emscripten_glTexSubImage2D(target, level, x, y, width, height, format, type, pixels);
    if (level == 0) RegenerateMipmaps(target);
}

void glCopyTexImage2D(GLenum target, GLint level, GLenum internalformat, GLint x, GLint y, GLsizei width,
                      GLsizei height, GLint border) {
    emscripten_glCopyTexImage2D(target, level, internalformat, x, y, width, height, border);
    if (level != 0) return;
    g_textureSizes[BoundTexture()] = {width, height};
    ApplyMinFilter(target, BoundTexture());
    RegenerateMipmaps(target);
}

void glCopyTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLint sx, GLint sy, GLsizei width,
                         GLsizei height) {
    emscripten_glCopyTexSubImage2D(target, level, x, y, sx, sy, width, height);
    if (level == 0) RegenerateMipmaps(target);
}

}  // extern "C"
