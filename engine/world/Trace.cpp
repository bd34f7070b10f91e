#include "engine/world/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void eINIT_TRACE(const char* path) {
    if (!path) return;
    FILE* f = std::fopen(path, "w");
    if (f) std::fclose(f);
}

void eTRACE(const char* path, unsigned char enable, const char* format, ...) {
    if (!path || !enable || !format) return;

    char buffer[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (n < 0) return;
    size_t len = std::strlen(buffer);  // vsnprintf already cut it to 1023

    std::fwrite(buffer, 1, len, stderr);
    FILE* f = std::fopen(path, "a");
    if (!f) return;
    std::fwrite(buffer, 1, len, f);
    std::fflush(f);
    std::fclose(f);
}
