#include "platform/ViewFramebuffer.h"

#include <cstring>

#include "platform/GLExtensions.h"

using namespace platform::oes;

namespace platform {

bool ViewFramebuffer::Create(GLContext* context, const DrawableLayer* layer) {
    glGenFramebuffersOES(1, &framebuffer);
    glGenRenderbuffersOES(1, &colour);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, colour);
    context->RenderbufferStorageFromDrawable(GL_RENDERBUFFER_OES, layer);
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES, colour);

    GLint backingWidth = 0, backingHeight = 0;
    glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, GL_RENDERBUFFER_WIDTH_OES, &backingWidth);
    glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, GL_RENDERBUFFER_HEIGHT_OES, &backingHeight);

    glGenRenderbuffersOES(1, &depth);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, depth);
    // Packed depth and stencil where offered (the stencil shadows need the
    // stencil); 16-bit depth alone otherwise.
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (extensions && std::strstr(extensions, "GL_OES_packed_depth_stencil")) {
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_DEPTH24_STENCIL8_OES, backingWidth, backingHeight);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES, depth);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_STENCIL_ATTACHMENT_OES, GL_RENDERBUFFER_OES, depth);
    } else {
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_DEPTH_COMPONENT16_OES, backingWidth, backingHeight);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES, depth);
    }

    GLenum status = glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES);
    if (status != GL_FRAMEBUFFER_COMPLETE_OES) {
        ConsoleLog("failed to make complete framebuffer object %x", status);
        return false;
    }
    return true;
}

void ViewFramebuffer::Destroy() {
    if (framebuffer) glDeleteFramebuffersOES(1, &framebuffer);
    framebuffer = 0;
    if (colour) glDeleteRenderbuffersOES(1, &colour);
    colour = 0;
    if (depth) glDeleteRenderbuffersOES(1, &depth);
    depth = 0;
}

}  // namespace platform
