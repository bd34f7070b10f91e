#include "platform/GLExtensions.h"

#include <EGL/egl.h>

namespace platform {
namespace oes {

PFNGLGENFRAMEBUFFERSOESPROC glGenFramebuffersOES = nullptr;
PFNGLDELETEFRAMEBUFFERSOESPROC glDeleteFramebuffersOES = nullptr;
PFNGLBINDFRAMEBUFFEROESPROC glBindFramebufferOES = nullptr;
PFNGLCHECKFRAMEBUFFERSTATUSOESPROC glCheckFramebufferStatusOES = nullptr;
PFNGLFRAMEBUFFERRENDERBUFFEROESPROC glFramebufferRenderbufferOES = nullptr;
PFNGLGENRENDERBUFFERSOESPROC glGenRenderbuffersOES = nullptr;
PFNGLDELETERENDERBUFFERSOESPROC glDeleteRenderbuffersOES = nullptr;
PFNGLBINDRENDERBUFFEROESPROC glBindRenderbufferOES = nullptr;
PFNGLRENDERBUFFERSTORAGEOESPROC glRenderbufferStorageOES = nullptr;
PFNGLGETRENDERBUFFERPARAMETERIVOESPROC glGetRenderbufferParameterivOES = nullptr;

namespace {
template <typename T>
bool Lookup(T& fn, const char* name) {
    fn = reinterpret_cast<T>(eglGetProcAddress(name));
    return fn != nullptr;
}
}  // namespace

bool LoadFramebufferFunctions() {
    bool ok = true;
    ok &= Lookup(glGenFramebuffersOES, "glGenFramebuffersOES");
    ok &= Lookup(glDeleteFramebuffersOES, "glDeleteFramebuffersOES");
    ok &= Lookup(glBindFramebufferOES, "glBindFramebufferOES");
    ok &= Lookup(glCheckFramebufferStatusOES, "glCheckFramebufferStatusOES");
    ok &= Lookup(glFramebufferRenderbufferOES, "glFramebufferRenderbufferOES");
    ok &= Lookup(glGenRenderbuffersOES, "glGenRenderbuffersOES");
    ok &= Lookup(glDeleteRenderbuffersOES, "glDeleteRenderbuffersOES");
    ok &= Lookup(glBindRenderbufferOES, "glBindRenderbufferOES");
    ok &= Lookup(glRenderbufferStorageOES, "glRenderbufferStorageOES");
    ok &= Lookup(glGetRenderbufferParameterivOES, "glGetRenderbufferParameterivOES");
    return ok;
}

}  // namespace oes
}  // namespace platform
