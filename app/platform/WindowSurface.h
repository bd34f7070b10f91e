// The window's side of presenting on the GPU. While a window is open the
// view's OpenGL ES contexts belong to it (they share textures with the
// window's own context), the view renders into a texture, and a presented
// frame is drawn from that texture straight into the window: the pixels
// never come back to the CPU.
#pragma once

#include "app/platform/Platform.h"

namespace platform {
namespace detail {

class WindowSurface {
public:
    virtual ~WindowSurface() = default;
    // A context for the view, sharing textures with the window's; null on failure.
    virtual void* CreateViewContext() = 0;
    virtual void DestroyViewContext(void* context) = 0;
    // Null releases the current context.
    virtual bool MakeViewCurrent(void* context) = 0;
    // Draws `width` x `height` texels of the portrait texture turned clockwise
    // into the window and shows it. Called with the view's context current,
    // which is current again on return.
    virtual bool Show(GLuint texture, int width, int height, int textureWidth, int textureHeight) = 0;
    // The texture is about to be deleted: the window stops showing it.
    virtual void Forget(GLuint texture) = 0;
};

// Installed by the window backend while it is open (null otherwise).
void SetWindowSurface(WindowSurface* surface);

// The last frame drawn into the window (RGBA, top row first, portrait),
// read back from the GPU: one read, on request. False when there is none.
bool ReadPresentedFrame(Frame* frame);

}  // namespace detail
}  // namespace platform
