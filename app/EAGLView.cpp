#include "app/EAGLView.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/OrbellineWorld.h"
#include "platform/GLExtensions.h"
#include "platform/TouchTable.h"
#include "platform/WorldStart.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/utils/DefaultConfig.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/ResPacker.h"
#include "engine/world/TouchMessage.h"
#include "engine/world/Trace.h"

using namespace platform::oes;

namespace {

const char kLogPath[] = "Data/Orbelline.log";
const char kAppBuild[] = __DATE__ " " __TIME__;

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

    return platform::SelectAndLoadWorld(pWorld, pParam, scale_, platform::WorldSize::kPixels, {"Orbelline", 1, 1, kAppBuild}, kLogPath);
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
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer_.framebuffer);
    if (pWorld) pWorld->RenderOneStep();  // a failing frame is presented as drawn
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, framebuffer_.colour);
    context->PresentRenderbuffer(GL_RENDERBUFFER_OES);
}

void EAGLView::LayoutSubviews() {
    platform::GLContext::SetCurrentContext(context.get());
    destroyFramebuffer();
    createFramebuffer();
    drawView();
}

bool EAGLView::createFramebuffer() { return framebuffer_.Create(context.get(), view_->Layer()); }

void EAGLView::destroyFramebuffer() { framebuffer_.Destroy(); }

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
    return platform::BuildTouchMessage(type, touches, event, table, view);
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
