// Small helpers for the OpenGL ES calls that can fail: uploads, copies and
// optional extensions are checked, not assumed.
#pragma once

#include <GLES/gl.h>

// Drops errors left by earlier calls, so the next check reports only what
// follows it.
void eGLESClearErrors();
// The first error raised since the last clear (GL_NO_ERROR when none); the
// rest of the queue is dropped.
GLenum eGLESTakeError();
// Whether the current context lists `name` among its extensions (whole
// words only).
bool eGLESHasExtension(const char* name);
// GL_MAX_TEXTURE_SIZE of the current context (0 without one).
GLint eGLESMaxTextureSize();
