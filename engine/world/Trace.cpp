#include "engine/world/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// The first failure traced since the log was emptied, for the one line a
// program prints when it gives up.
char g_firstFailure[1024];

void KeepFirstFailure(const char* line) {
    if (g_firstFailure[0] || !std::strstr(line, "failed")) return;
    if (line[0] == '#' && line[1] == ' ') line += 2;
    std::snprintf(g_firstFailure, sizeof g_firstFailure, "%s", line);
    const size_t n = std::strlen(g_firstFailure);
    if (n && g_firstFailure[n - 1] == '\n') g_firstFailure[n - 1] = '\0';
}

}  // namespace

const char* eTraceFirstFailure() { return g_firstFailure; }

void eINIT_TRACE(const char* path) {
    g_firstFailure[0] = '\0';
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

    KeepFirstFailure(buffer);
    std::fwrite(buffer, 1, len, stderr);
    FILE* f = std::fopen(path, "a");
    if (!f) return;
    std::fwrite(buffer, 1, len, f);
    std::fflush(f);
    std::fclose(f);
}
