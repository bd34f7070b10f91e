// OpenGL ES 1.x context on EGL: the surfaceless platform when Mesa offers it,
// otherwise a 1 x 1 pbuffer. The view renders into its own framebuffer object,
// so the context needs no window surface. While a window is open the context
// is the window's instead, and presenting draws on the GPU (WindowSurface.h).
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdint>
#include <cstring>

#include "app/platform/GLExtensions.h"
#include "app/platform/Platform.h"
#include "app/platform/WindowSurface.h"

namespace platform {

namespace {

GLContext* g_current = nullptr;
std::function<void(const Frame&)> g_presentHandler;
detail::WindowSurface* g_windowSurface = nullptr;
GLContext* g_lastWindowPresenter = nullptr;
Frame g_finalWindowFrame;  // read once when the window's last presenter goes

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

namespace {

bool GLError(const char* what) {
    GLenum e = glGetError();
    if (e == GL_NO_ERROR) return false;
    ConsoleLog("orbelline: %s failed (GL error 0x%x)", what, e);
    while (glGetError() != GL_NO_ERROR) {
    }
    return true;
}

bool GLHasExtension(const char* name) {
    return HasExtension(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), name);
}

int NextPowerOfTwo(int n) {
    int p = 1;
    while (p < n) p *= 2;
    return p;
}

}  // namespace

struct GLContext::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;  // pbuffer fallback only
    Frame frame;

    // In the window: the context is the window's, and the colour renderbuffer
    // shares its storage with `texture` through an EGL image where the driver
    // can; otherwise the frame is copied into the texture on the GPU.
    detail::WindowSurface* window = nullptr;
    void* windowContext = nullptr;
    GLuint texture = 0;
    int textureWidth = 0, textureHeight = 0;
    int width = 0, height = 0;
    EGLDisplay imageDisplay = EGL_NO_DISPLAY;
    EGLImageKHR image = EGL_NO_IMAGE_KHR;
    bool copyIntoTexture = false;
    bool presented = false;

    void ReleaseTexture();
    bool MakeTexture(int w, int h, bool shareStorage);
    bool ReadTexture(Frame* out);
};

namespace {

// Binds `texture` on unit 0 for the span of a call, then puts back whatever
// the engine had bound there.
class TextureUnitZero {
public:
    explicit TextureUnitZero(GLuint texture) {
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active_);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound_);
        glBindTexture(GL_TEXTURE_2D, texture);
    }
    ~TextureUnitZero() {
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound_));
        glActiveTexture(static_cast<GLenum>(active_));
    }

private:
    GLint active_ = GL_TEXTURE0;
    GLint bound_ = 0;
};

}  // namespace

void GLContext::Impl::ReleaseTexture() {
    if (image != EGL_NO_IMAGE_KHR) {
        auto destroyImage = reinterpret_cast<PFNEGLDESTROYIMAGEKHRPROC>(eglGetProcAddress("eglDestroyImageKHR"));
        if (destroyImage) destroyImage(imageDisplay, image);
        image = EGL_NO_IMAGE_KHR;
    }
    if (texture) {
        if (window && g_windowSurface == window) window->Forget(texture);
        glDeleteTextures(1, &texture);
    }
    texture = 0;
    textureWidth = textureHeight = width = height = 0;
}

// The texture the window shows, for a w x h frame. With `shareStorage` the
// bound renderbuffer gets the texture's storage, so rendering is drawing into
// the texture; false when that cannot be had (nothing is then allocated for
// the renderbuffer).
bool GLContext::Impl::MakeTexture(int w, int h, bool shareStorage) {
    ReleaseTexture();
    const bool npot = GLHasExtension("GL_OES_texture_npot") || GLHasExtension("GL_ARB_texture_non_power_of_two");
    const int tw = npot ? w : NextPowerOfTwo(w), th = npot ? h : NextPowerOfTwo(h);
    GLError("an earlier call");  // errors of others are not ours
    glGenTextures(1, &texture);
    {
        TextureUnitZero bind(texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    }
    if (GLError("the window texture")) {
        ReleaseTexture();
        return false;
    }
    textureWidth = tw;
    textureHeight = th;
    width = w;
    height = h;
    copyIntoTexture = true;
    if (!shareStorage || tw != w || th != h) return true;

    EGLDisplay d = eglGetCurrentDisplay();
    auto createImage = reinterpret_cast<PFNEGLCREATEIMAGEKHRPROC>(eglGetProcAddress("eglCreateImageKHR"));
    auto targetStorage = reinterpret_cast<PFNGLEGLIMAGETARGETRENDERBUFFERSTORAGEOESPROC>(
        eglGetProcAddress("glEGLImageTargetRenderbufferStorageOES"));
    if (d == EGL_NO_DISPLAY || !createImage || !targetStorage ||
        !HasExtension(eglQueryString(d, EGL_EXTENSIONS), "EGL_KHR_gl_texture_2D_image") ||
        !GLHasExtension("GL_OES_EGL_image"))
        return true;
    const EGLint attribs[] = {EGL_GL_TEXTURE_LEVEL_KHR, 0, EGL_NONE};
    image = createImage(d, eglGetCurrentContext(), EGL_GL_TEXTURE_2D_KHR,
                        reinterpret_cast<EGLClientBuffer>(static_cast<uintptr_t>(texture)), attribs);
    if (image == EGL_NO_IMAGE_KHR) return true;
    imageDisplay = d;
    targetStorage(GL_RENDERBUFFER_OES, image);
    if (GLError("sharing the window texture with the renderbuffer")) return true;
    copyIntoTexture = false;
    return true;
}

// Reads the texture through a framebuffer of its own, top row first.
bool GLContext::Impl::ReadTexture(Frame* out) {
    if (!texture || width <= 0 || height <= 0) return false;
    GLError("an earlier call");
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &previous);
    GLuint fb = 0;
    oes::glGenFramebuffersOES(1, &fb);
    oes::glBindFramebufferOES(GL_FRAMEBUFFER_OES, fb);
    oes::glFramebufferTexture2DOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_TEXTURE_2D, texture, 0);
    bool ok = oes::glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) == GL_FRAMEBUFFER_COMPLETE_OES;
    if (ok) {
        out->width = width;
        out->height = height;
        out->rgba.resize(static_cast<size_t>(width) * height * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, out->rgba.data());
        ok = !GLError("reading the presented frame");
    } else {
        ConsoleLog("orbelline: the presented frame cannot be read (incomplete framebuffer)");
    }
    oes::glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(previous));
    oes::glDeleteFramebuffersOES(1, &fb);
    if (!ok) {
        *out = Frame{};
        return false;
    }
    const size_t stride = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> row(stride);
    for (int y = 0; y < height / 2; ++y) {
        uint8_t* a = out->rgba.data() + y * stride;
        uint8_t* b = out->rgba.data() + (height - 1 - y) * stride;
        std::memcpy(row.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, row.data(), stride);
    }
    return true;
}

namespace detail {

void SetWindowSurface(WindowSurface* surface) {
    g_windowSurface = surface;
    if (surface) g_finalWindowFrame = Frame{};
}

bool ReadPresentedFrame(Frame* frame) {
    if (g_lastWindowPresenter) {
        GLContext* previous = GLContext::CurrentContext();
        if (!GLContext::SetCurrentContext(g_lastWindowPresenter)) return false;
        bool ok = g_lastWindowPresenter->ReadPresentedFrame(frame);
        GLContext::SetCurrentContext(previous);
        return ok;
    }
    if (g_finalWindowFrame.width <= 0) return false;
    *frame = g_finalWindowFrame;
    return true;
}

}  // namespace detail

std::unique_ptr<GLContext> GLContext::Create(int apiVersion) {
    if (apiVersion != 1) return nullptr;
    auto impl = std::make_unique<Impl>();
    if (g_windowSurface) {
        impl->window = g_windowSurface;
        impl->windowContext = g_windowSurface->CreateViewContext();
        if (!impl->windowContext) return nullptr;
        std::unique_ptr<GLContext> result(new GLContext(std::move(impl)));
        GLContext* previous = g_current;
        bool loaded = SetCurrentContext(result.get()) && oes::LoadFramebufferFunctions();
        SetCurrentContext(previous);
        if (!loaded) return nullptr;
        return result;
    }
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
    if (impl_->window) {
        // The window may have gone first; then its contexts went with it.
        const bool windowAlive = g_windowSurface == impl_->window;
        if (windowAlive && SetCurrentContext(this)) {
            if (g_lastWindowPresenter == this) {
                // The latest run's last frame stays readable: one read, at the end.
                impl_->ReadTexture(&g_finalWindowFrame);
            }
            impl_->ReleaseTexture();
        }
        if (g_lastWindowPresenter == this) g_lastWindowPresenter = nullptr;
        if (g_current == this) SetCurrentContext(nullptr);
        if (windowAlive) impl_->window->DestroyViewContext(impl_->windowContext);
        return;
    }
    if (g_current == this) SetCurrentContext(nullptr);
    if (impl_->surface != EGL_NO_SURFACE) eglDestroySurface(impl_->display, impl_->surface);
    eglDestroyContext(impl_->display, impl_->context);
    eglReleaseThread();
}

bool GLContext::SetCurrentContext(GLContext* context) {
    if (!context) {
        if (g_current && g_current->impl_->window) {
            if (g_windowSurface == g_current->impl_->window) g_windowSurface->MakeViewCurrent(nullptr);
        } else if (g_current) {
            eglMakeCurrent(g_current->impl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
        g_current = nullptr;
        return true;
    }
    Impl* impl = context->impl_.get();
    if (impl->window) {
        if (g_windowSurface != impl->window || !impl->window->MakeViewCurrent(impl->windowContext)) return false;
        g_current = context;
        return true;
    }
    if (!eglMakeCurrent(impl->display, impl->surface, impl->surface, impl->context)) return false;
    g_current = context;
    return true;
}

GLContext* GLContext::CurrentContext() { return g_current; }

bool GLContext::ReadPresentedFrame(Frame* frame) { return impl_->ReadTexture(frame); }

bool GLContext::RenderbufferStorageFromDrawable(GLenum target, const DrawableLayer* layer) {
    if (!layer || g_current != this) return false;
    if (impl_->window) {
        if (!impl_->MakeTexture(layer->PixelWidth(), layer->PixelHeight(), target == GL_RENDERBUFFER_OES)) return false;
        if (!impl_->copyIntoTexture) return true;
    }
    GLError("an earlier call");
    oes::glRenderbufferStorageOES(target, GL_RGBA8_OES, layer->PixelWidth(), layer->PixelHeight());
    return !GLError("the colour renderbuffer's storage");
}

bool GLContext::PresentRenderbuffer(GLenum target) {
    if (g_current != this) return false;
    GLint width = 0, height = 0;
    oes::glGetRenderbufferParameterivOES(target, GL_RENDERBUFFER_WIDTH_OES, &width);
    oes::glGetRenderbufferParameterivOES(target, GL_RENDERBUFFER_HEIGHT_OES, &height);
    if (width <= 0 || height <= 0) return false;

    if (impl_->window) {
        if (!impl_->texture || width > impl_->textureWidth || height > impl_->textureHeight) return false;
        if (impl_->copyIntoTexture) {
            GLError("an earlier call");
            TextureUnitZero bind(impl_->texture);
            glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
            if (GLError("copying the frame into the window texture")) return false;
        }
        impl_->width = width;
        impl_->height = height;
        if (!impl_->window->Show(impl_->texture, width, height, impl_->textureWidth, impl_->textureHeight))
            return false;
        impl_->presented = true;
        g_lastWindowPresenter = this;
        // The backend learns the size; the pixels stay on the GPU.
        Frame& shown = impl_->frame;
        shown.width = width;
        shown.height = height;
        shown.rgba.clear();
        if (g_presentHandler) g_presentHandler(shown);
        return true;
    }

    Frame& frame = impl_->frame;
    frame.width = width;
    frame.height = height;
    frame.rgba.resize(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
    // OpenGL counts rows from the bottom; frames are handed over top row first.
    const size_t stride = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> row(stride);
    for (int y = 0; y < height / 2; ++y) {
        uint8_t* a = frame.rgba.data() + y * stride;
        uint8_t* b = frame.rgba.data() + (height - 1 - y) * stride;
        std::memcpy(row.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, row.data(), stride);
    }
    if (g_presentHandler) g_presentHandler(frame);
    return true;
}

void SetPresentHandler(std::function<void(const Frame&)> handler) { g_presentHandler = std::move(handler); }

}  // namespace platform
