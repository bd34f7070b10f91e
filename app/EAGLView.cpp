#include "app/EAGLView.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/OrbellineWorld.h"
#include "platform/GLExtensions.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/utils/DefaultConfig.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/PlatformSelect.h"
#include "engine/world/ResPacker.h"
#include "engine/world/TouchMessage.h"
#include "engine/world/Trace.h"

using namespace platform::oes;

namespace {

const char kLogPath[] = "Data/Orbelline.log";
const char kAppBuild[] = __DATE__ " " __TIME__;
constexpr int kTouchSlots = 10;

const _pft_eKavrosApiFctSet kGlesApi = {GetInfos_3D_GLES, InstallApi_3D_GLES, UninstallApi_3D_GLES};
_pft_eKavrosApiFctSet g_rendererApi = kGlesApi;

}  // namespace

void EAGLView::SetRendererApi(const _pft_eKavrosApiFctSet* api) { g_rendererApi = api ? *api : kGlesApi; }

EAGLView::EAGLView(platform::View* view) : view_(view) {}

std::unique_ptr<EAGLView> EAGLView::initWithCoder(platform::View* view) {
    if (!view) return nullptr;
    std::unique_ptr<EAGLView> self(new EAGLView(view));

    platform::DrawableLayer* layer = view->Layer();
    layer->opaque = true;
    layer->retainedBacking = false;
    layer->colorFormat = "RGBA8";
    self->scale_ = layer->scale;

    self->context = platform::GLContext::Create(1);
    if (!self->context || !platform::GLContext::SetCurrentContext(self->context.get())) return nullptr;

    platform::Accelerometer::Shared()->SetUpdateInterval(0.05);
    platform::Accelerometer::Shared()->SetDelegate(self.get());

    self->accelerationX = 0.0;
    self->accelerationY = 0.0;
    self->accelerationZ = 0.0;
    self->animationInterval_ = 1.0 / 60.0;

    view->SetMultipleTouchEnabled(true);
    view->SetResponder(self.get());

    platform::Device* device = platform::Device::Current();
    device->BeginGeneratingOrientationNotifications();
    EAGLView* raw = self.get();
    self->orientationObserver_ = device->AddOrientationObserver([raw] { raw->didRotate(); });

    // Carrying on elsewhere would play another folder's pack and overwrite its log.
    if (chdir(platform::BundlePath().c_str()) != 0) {
        platform::ConsoleLog("orbelline: %s: cannot enter the bundle directory: %s", platform::BundlePath().c_str(),
                             std::strerror(errno));
        return nullptr;
    }

    if (self->LoadWorld() < 0) return nullptr;  // the destructor unloads what was created
    return self;
}

EAGLView::~EAGLView() {
    platform::Device* device = platform::Device::Current();
    device->EndGeneratingOrientationNotifications();
    if (orientationObserver_) device->RemoveOrientationObserver(orientationObserver_);
    if (platform::Accelerometer::Shared()->Delegate() == this) platform::Accelerometer::Shared()->SetDelegate(nullptr);
    if (view_ && view_->Responder() == this) view_->SetResponder(nullptr);
    stopAnimation();

    // The world's GPU objects go back to the device with the context current.
    if (context) platform::GLContext::SetCurrentContext(context.get());
    UnloadWorld();
    if (context) {
        destroyFramebuffer();
        if (platform::GLContext::CurrentContext() == context.get()) platform::GLContext::SetCurrentContext(nullptr);
        context.reset();
    }
}

eRESULT EAGLView::LoadWorld() {
    eINIT_TRACE(kLogPath);
    eTRACE(kLogPath, 1, "# STARTED...\n");
    eTRACE(kLogPath, 1, "# RELEASE build\n");
    eTRACE(kLogPath, 1, "# PARAM_NAME = \"%s\"\n", g_szEngineIniName);
    eTRACE(kLogPath, 1, "# PARAM_NAME_EX = \"%s\"\n", g_szAppliIniName);
    eTRACE(kLogPath, 1, "# DEFAULT_INI_PATH = \"%s\"\n", "Data/");
    eTRACE(kLogPath, 1, "# DEFAULT_DLL_PATH = \"%s\"\n", "");
    eTRACE(kLogPath, 1, "# DEFAULT_DATA_PATH = \"%s\"\n", "Data/");

    pParam = new CUtilsParametersStatic(g_szEngineIni, g_dwEngineIniSize);
    pParamEx = new CUtilsParametersStatic(g_szAppliIni, g_dwAppliIniSize);

    pWorld = new COrbellineWorld();
    eTRACE(kLogPath, 1, "# RES__PACKER build\n");

    if (pWorld->SetParameters(pParam, pParamEx, nullptr, EAGLView::kPackPath, eGetResPacker, kLogPath) < 0) return eFAILED;

    pWorld->m_Api.eKavros3DApi.eKavros3DApi_GLES = g_rendererApi;

    std::vector<ENUM_DEVICE> devices(10);
    uint32_t count = pWorld->EnumDevices(devices.data(), 10, 0x0F000000u, nullptr);
    if (count == 0) {
        eTRACE(kLogPath, 1, "# EnumDevices failed! (dwCount=%u, \"%s\")\n", 0u, "");
        return eFAILED;
    }

    // At scale 1 these are the phone's 320 x 480; at scale N the drawable's pixels.
    const uint16_t width = static_cast<uint16_t>(platform::kViewWidthPoints * scale_);
    const uint16_t height = static_cast<uint16_t>(platform::kViewHeightPoints * scale_);

    PLATFORM_SELECT sel{};
    sel.bAskOnStart = pParam->ReadBool("WORLD", "ASK_ME_ON_START", false);
    sel.wInput = 0;
    sel.wAudio = 0;
    sel.wNetwork = 0;
    sel.wRenderer = 5;
    sel.wWidth = width;
    sel.wHeight = height;
    sel.wRezolution = 3;
    sel.bColorDepth = pParam->ReadByte("WORLD", "COLOR_DEPTH", 32);
    sel.wColorDepth = 1;
    sel.bFullScreen = 1;
    sel.bDesktop = 0;
    sel.pApi = &pWorld->m_Api;
    sel.eOrientation = ORIENTATION_LANDSCAPE_RIGHT;

    if (ReadSelectParams(&sel, pParam) < 0 || (sel.bAskOnStart && SelectPlatform(&sel, pParam) < 0)) {
        eTRACE(kLogPath, 1, "# SelectPlatform failed! (dwCount=%u, \"%s\")\n", count, "");
        return eFAILED;
    }
    if (ValidPlatform(&sel, devices.data(), count) < 0) {
        const char* name = sel.wRenderer < devices.size() ? devices[sel.wRenderer].szName : "";
        eTRACE(kLogPath, 1, "# ValidPlatform failed! (\"%s\", \"%s\")\n", "", name);
        return eFAILED;
    }
    SaveSelectParams(&sel, pParam, &pWorld->m_Api);

    const SHARED_INFOS* shared = pWorld->m_pSharedInfos;
    eTRACE(kLogPath, 1, "# \"eKavrosSDK\" (v%d,%d) build: %s\n", static_cast<int>(shared->m_dwVersion >> 16),
           static_cast<int>(static_cast<int16_t>(shared->m_dwVersion & 0xFFFF)), shared->m_szBuild);
    const ENUM_DEVICE& renderer = devices[sel.wRenderer];
    eTRACE(kLogPath, 1, "# \"%s\" (v%d,%d) build: %s\n", renderer.szName, static_cast<int>(renderer.dwVersion >> 16),
           static_cast<int>(static_cast<int16_t>(renderer.dwVersion & 0xFFFF)), renderer.szBuild);
    eTRACE(kLogPath, 1, "# \"%s\" (v%d,%d) build: %s\n", "Orbelline", 1, 1, kAppBuild);

    uint32_t flags = devices[sel.wInput].dwFlags | devices[sel.wAudio].dwFlags | devices[sel.wNetwork].dwFlags |
                     devices[sel.wRenderer].dwFlags;
    char text[1] = "";
    if (pWorld->Load(nullptr, sel.wWidth, sel.wHeight, sel.bColorDepth, sel.bFullScreen != 0,
                     ORIENTATION_LANDSCAPE_RIGHT, sel.bDesktop != 0, flags, text) < 0) {
        eTRACE(kLogPath, 1, "# pWorld->Load(0x%X, %ux%u:%u) failed!\n", 0u, static_cast<unsigned>(sel.wWidth),
               static_cast<unsigned>(sel.wHeight), static_cast<unsigned>(sel.bFullScreen));
        return eFAILED;
    }
    pWorld->FrameMove();
    return eOK;
}

eRESULT EAGLView::UnloadWorld() {
    eTRACE(kLogPath, 1, "# pWorld->Unload\n");
    if (pWorld) {
        pWorld->Unload();
        delete pWorld;
        pWorld = nullptr;
    }
    delete pParam;
    pParam = nullptr;
    delete pParamEx;
    pParamEx = nullptr;
    eTRACE(kLogPath, 1, "# ENDED.\n");
    return eOK;
}

void EAGLView::drawView() {
    platform::GLContext::SetCurrentContext(context.get());
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
    if (pWorld) pWorld->RenderOneStep();  // a failing frame is presented as drawn
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, viewRenderbuffer);
    context->PresentRenderbuffer(GL_RENDERBUFFER_OES);
}

void EAGLView::LayoutSubviews() {
    platform::GLContext::SetCurrentContext(context.get());
    destroyFramebuffer();
    createFramebuffer();
    drawView();
}

bool EAGLView::createFramebuffer() {
    glGenFramebuffersOES(1, &viewFramebuffer);
    glGenRenderbuffersOES(1, &viewRenderbuffer);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, viewRenderbuffer);
    context->RenderbufferStorageFromDrawable(GL_RENDERBUFFER_OES, view_->Layer());
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES, viewRenderbuffer);

    GLint backingWidth = 0, backingHeight = 0;
    glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, GL_RENDERBUFFER_WIDTH_OES, &backingWidth);
    glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, GL_RENDERBUFFER_HEIGHT_OES, &backingHeight);

    glGenRenderbuffersOES(1, &depthRenderbuffer);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, depthRenderbuffer);
    // Packed depth and stencil where offered (the stencil shadows need the
    // stencil); 16-bit depth alone otherwise.
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (extensions && std::strstr(extensions, "GL_OES_packed_depth_stencil")) {
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_DEPTH24_STENCIL8_OES, backingWidth, backingHeight);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                     depthRenderbuffer);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_STENCIL_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                     depthRenderbuffer);
    } else {
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_DEPTH_COMPONENT16_OES, backingWidth, backingHeight);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                     depthRenderbuffer);
    }

    GLenum status = glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES);
    if (status != GL_FRAMEBUFFER_COMPLETE_OES) {
        platform::ConsoleLog("failed to make complete framebuffer object %x", status);
        return false;
    }
    return true;
}

void EAGLView::destroyFramebuffer() {
    if (viewFramebuffer) glDeleteFramebuffersOES(1, &viewFramebuffer);
    viewFramebuffer = 0;
    if (viewRenderbuffer) glDeleteRenderbuffersOES(1, &viewRenderbuffer);
    viewRenderbuffer = 0;
    if (depthRenderbuffer) {
        glDeleteRenderbuffersOES(1, &depthRenderbuffer);
        depthRenderbuffer = 0;
    }
}

void EAGLView::startAnimation() {
    setAnimationTimer(platform::ScheduleRepeatingTimer(animationInterval_, [this] { drawView(); }));
}

void EAGLView::stopAnimation() { setAnimationTimer(nullptr); }

void EAGLView::setAnimationTimer(platform::Timer* timer) {
    if (animationTimer_) animationTimer_->Invalidate();
    animationTimer_ = timer;
}

void EAGLView::setAnimationInterval(double interval) {
    animationInterval_ = interval;
    if (animationTimer_) {
        stopAnimation();
        startAnimation();
    }
}

void EAGLView::didRotate() {
    if (pWorld) pWorld->SetOrientation(static_cast<ORIENTATION>(platform::Device::Current()->Orientation()));
}

void EAGLView::DidAccelerate(double x, double y, double /*z*/) {
    accelerationX = x * 0.5 + accelerationX * 0.5;
    accelerationY = y * 0.5 + accelerationY * 0.5;
    if (pWorld)
        pWorld->SetTilt(static_cast<float>(accelerationX), static_cast<float>(accelerationY),
                        static_cast<float>(accelerationZ));
}

TOUCH_MESSAGE EAGLView::BuildTouchMessage(short type, const platform::TouchSet& touches, platform::Event* event,
                                          platform::Touch* table[10], const platform::View* view) {
    TOUCH_MESSAGE msg;
    std::memset(&msg, 0, sizeof(msg));
    msg.type = type;

    const platform::Touch* any = nullptr;
    if (event && !event->allTouches.empty()) any = event->allTouches.front();
    else if (!touches.empty()) any = touches.front();
    if (any) {
        platform::Point p = any->LocationInView(view);
        msg.x = p.x;
        msg.y = p.y;
    }

    const bool ends = type == eTOUCH_ENDED || type == eTOUCH_CANCELLED;
    for (platform::Touch* touch : touches) {
        int found = -1, firstEmpty = -1;
        for (int i = 0; i < kTouchSlots; ++i) {
            if (table[i] == touch && found < 0) found = i;
            if (!table[i] && firstEmpty < 0) firstEmpty = i;
        }
        if (type == eTOUCH_BEGAN && found >= 0) continue;  // already known: not recorded
        int slot = found;
        if (found >= 0) {
            // The platform frees a touch once it has ended: its slot must
            // not keep the address.
            if (ends) table[found] = nullptr;
        } else if (ends) {
            continue;  // never recorded: there is nothing to end and no slot to take
        } else if (firstEmpty >= 0) {
            // A new finger, or one the full table could not take before.
            table[firstEmpty] = touch;
            slot = firstEmpty;
        } else {
            continue;  // the table is full
        }
        // The record holds ten; the table is kept right for every touch.
        if (msg.count >= kTouchSlots) continue;
        platform::Point p = touch->LocationInView(view);
        msg.touchX[msg.count] = p.x;
        msg.touchY[msg.count] = p.y;
        msg.touchSlot[msg.count++] = static_cast<int16_t>(slot);
    }
    msg.event = event;
    return msg;
}

void EAGLView::HandleTouches(short type, const platform::TouchSet& touches, platform::Event* event) {
    TOUCH_MESSAGE msg = BuildTouchMessage(type, touches, event, touch_address, view_);
    if (pWorld) pWorld->IncomingOSMessage(&msg);
}

void EAGLView::TouchesBegan(const platform::TouchSet& touches, platform::Event* event) {
    HandleTouches(eTOUCH_BEGAN, touches, event);
}

void EAGLView::TouchesMoved(const platform::TouchSet& touches, platform::Event* event) {
    HandleTouches(eTOUCH_MOVED, touches, event);
}

void EAGLView::TouchesEnded(const platform::TouchSet& touches, platform::Event* event) {
    HandleTouches(eTOUCH_ENDED, touches, event);
}

// The fingers the system took away free their slots, and the world learns
// that they are up.
void EAGLView::TouchesCancelled(const platform::TouchSet& touches, platform::Event* event) {
    HandleTouches(eTOUCH_CANCELLED, touches, event);
}
