// OpenGL ES 1.x context on EGL: the surfaceless platform when Mesa offers it,
// otherwise a 1 x 1 pbuffer. The view renders into its own framebuffer object,
// so the context needs no window surface.
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstring>

#include "platform/GLExtensions.h"
#include "platform/Platform.h"
#include "platform/RunLoop.h"

namespace platform {

namespace {

GLContext* g_current = nullptr;
std::function<void(const Frame&)> g_presentHandler;
std::function<void()> g_presentObserver;

// The last present nobody read back: where its pixels still are.
struct PendingPresent {
    GLContext* context = nullptr;
    GLint framebuffer = 0;
    int width = 0;
    int height = 0;
} g_pending;

// Reads the bound framebuffer, top row first.
void ReadFramebuffer(int width, int height, Frame* frame) {
    frame->width = width;
    frame->height = height;
    frame->rgba.resize(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, frame->rgba.data());
    // OpenGL counts rows from the bottom; frames are handed over top row first.
    const size_t stride = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> row(stride);
    for (int y = 0; y < height / 2; ++y) {
        uint8_t* a = frame->rgba.data() + y * stride;
        uint8_t* b = frame->rgba.data() + (height - 1 - y) * stride;
        std::memcpy(row.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, row.data(), stride);
    }
}

bool HasExtension(const char* list, const char* name) {
    if (!list) return false;
    size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    }
    return false;
}

EGLDisplay OpenDisplayOnce(bool* surfaceless) {
    *surfaceless = false;
    const char* clientExt = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (HasExtension(clientExt, "EGL_MESA_platform_surfaceless")) {
        auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay) {
            EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
            if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) {
                *surfaceless = true;
                return d;
            }
        }
    }
    EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
    return EGL_NO_DISPLAY;
}

// The display is opened once and kept for the life of the process: every
// context shares it, and terminating it would unload the driver under
// whatever it still holds.
EGLDisplay OpenDisplay(bool* surfaceless) {
    static bool opened = false;
    static bool cachedSurfaceless = false;
    static EGLDisplay cached = EGL_NO_DISPLAY;
    if (!opened) {
        opened = true;
        cached = OpenDisplayOnce(&cachedSurfaceless);
    }
    *surfaceless = cachedSurfaceless;
    return cached;
}

}  // namespace

struct GLContext::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;  // pbuffer fallback only
    Frame frame;
};

std::unique_ptr<GLContext> GLContext::Create(int apiVersion) {
    if (apiVersion != 1) return nullptr;
    auto impl = std::make_unique<Impl>();
    bool surfaceless = false;
    impl->display = OpenDisplay(&surfaceless);
    if (impl->display == EGL_NO_DISPLAY) return nullptr;
    if (!eglBindAPI(EGL_OPENGL_ES_API)) {
        return nullptr;
    }
    const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES_BIT,
                                    EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                    EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                    EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(impl->display, configAttribs, &config, 1, &count) || count < 1) {
        return nullptr;
    }
    const EGLint contextAttribs[] = {EGL_CONTEXT_CLIENT_VERSION, 1, EGL_NONE};
    impl->context = eglCreateContext(impl->display, config, EGL_NO_CONTEXT, contextAttribs);
    if (impl->context == EGL_NO_CONTEXT) {
        return nullptr;
    }
    if (!surfaceless) {
        const EGLint pbufferAttribs[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        impl->surface = eglCreatePbufferSurface(impl->display, config, pbufferAttribs);
        if (impl->surface == EGL_NO_SURFACE) {
            eglDestroyContext(impl->display, impl->context);
            return nullptr;
        }
    }
    std::unique_ptr<GLContext> result(new GLContext(std::move(impl)));
    // Entry points can be looked up only with a context current.
    GLContext* previous = g_current;
    bool loaded = SetCurrentContext(result.get()) && oes::LoadFramebufferFunctions();
    SetCurrentContext(previous);
    if (!loaded) return nullptr;
    return result;
}

GLContext::GLContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

GLContext::~GLContext() {
    if (g_pending.context == this) g_pending = PendingPresent{};
    if (g_current == this) SetCurrentContext(nullptr);
    if (impl_->surface != EGL_NO_SURFACE) eglDestroySurface(impl_->display, impl_->surface);
    eglDestroyContext(impl_->display, impl_->context);
    eglReleaseThread();
}

bool GLContext::SetCurrentContext(GLContext* context) {
    if (!context) {
        if (g_current) {
            eglMakeCurrent(g_current->impl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
        g_current = nullptr;
        return true;
    }
    Impl* impl = context->impl_.get();
    if (!eglMakeCurrent(impl->display, impl->surface, impl->surface, impl->context)) return false;
    g_current = context;
    return true;
}

GLContext* GLContext::CurrentContext() { return g_current; }

bool GLContext::RenderbufferStorageFromDrawable(GLenum target, const DrawableLayer* layer) {
    if (!layer || g_current != this) return false;
    oes::glRenderbufferStorageOES(target, GL_RGBA8_OES, layer->PixelWidth(), layer->PixelHeight());
    return glGetError() == GL_NO_ERROR;
}

bool GLContext::PresentRenderbuffer(GLenum target) {
    if (g_current != this) return false;
    GLint width = 0, height = 0;
    oes::glGetRenderbufferParameterivOES(target, GL_RENDERBUFFER_WIDTH_OES, &width);
    oes::glGetRenderbufferParameterivOES(target, GL_RENDERBUFFER_HEIGHT_OES, &height);
    if (width <= 0 || height <= 0) return false;

    if (g_presentHandler) {
        g_pending = PendingPresent{};
        ReadFramebuffer(width, height, &impl_->frame);
        if (g_presentObserver) g_presentObserver();
        g_presentHandler(impl_->frame);
        return true;
    }
    // Nobody takes every frame: finish it and remember where it is, so that
    // a frame is read back only when something asks for it.
    glFinish();
    g_pending.context = this;
    g_pending.framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &g_pending.framebuffer);
    g_pending.width = width;
    g_pending.height = height;
    if (g_presentObserver) g_presentObserver();
    return true;
}

void SetPresentHandler(std::function<void(const Frame&)> handler) { g_presentHandler = std::move(handler); }

namespace detail {

void SetPresentObserver(std::function<void()> observer) { g_presentObserver = std::move(observer); }

void ForgetPendingFrame() { g_pending = PendingPresent{}; }

bool ReadPendingFrame(Frame* frame) {
    if (!g_pending.context) return false;
    const PendingPresent pending = g_pending;
    g_pending = PendingPresent{};
    GLContext* previous = g_current;
    if (previous != pending.context && !GLContext::SetCurrentContext(pending.context)) return false;
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
    if (bound != pending.framebuffer) oes::glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(pending.framebuffer));
    const bool readable =
        oes::glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) == GL_FRAMEBUFFER_COMPLETE_OES;
    if (readable) ReadFramebuffer(pending.width, pending.height, frame);
    if (bound != pending.framebuffer) oes::glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(bound));
    if (previous != pending.context) GLContext::SetCurrentContext(previous);
    return readable;
}

}  // namespace detail

}  // namespace platform
