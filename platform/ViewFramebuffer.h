// The framebuffer a host view draws into: a colour renderbuffer with the
// drawable layer's storage, and depth (with stencil where offered, for the
// stencil shadows). Shared by every host view so that they all draw into the
// same kind of target.
#pragma once

#include "platform/Platform.h"

namespace platform {

/// The view's framebuffer object with its colour and depth renderbuffers.
class ViewFramebuffer {
public:
    /// Makes the three objects for `layer` in the current context; false
    /// (with a console line) when the framebuffer is not complete.
    bool Create(GLContext* context, const DrawableLayer* layer);
    /// Deletes what Create made; harmless when nothing is there.
    void Destroy();

    unsigned int framebuffer = 0;   ///< the framebuffer object
    unsigned int colour = 0;        ///< its colour renderbuffer
    unsigned int depth = 0;         ///< its depth (and stencil) renderbuffer
};

}  // namespace platform
