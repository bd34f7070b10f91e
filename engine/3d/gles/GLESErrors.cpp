#include "engine/3d/gles/GLESErrors.h"

#include <cstring>

namespace {
// The error queue holds at most one flag per kind; this bounds the drain even
// on a driver that keeps reporting.
constexpr int kMaxQueuedErrors = 16;
}  // namespace

void eGLESClearErrors() {
    for (int i = 0; i < kMaxQueuedErrors && glGetError() != GL_NO_ERROR; ++i) {
    }
}

GLenum eGLESTakeError() {
    const GLenum first = glGetError();
    if (first != GL_NO_ERROR) eGLESClearErrors();
    return first;
}

bool eGLESHasExtension(const char* name) {
    const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!list || !name || !*name) return false;
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name)) {
        const bool startsWord = at == list || at[-1] == ' ';
        const bool endsWord = at[length] == ' ' || at[length] == '\0';
        if (startsWord && endsWord) return true;
    }
    return false;
}

GLint eGLESMaxTextureSize() {
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}
