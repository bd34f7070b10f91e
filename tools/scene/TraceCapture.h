// Holds back what the engine traces to standard error while a file is read,
// so that a tool can report one line of its own with the engine's reason (or
// pass the lines on when the read succeeds).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace scene {

class TraceCapture {
public:
    TraceCapture() {
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = file_ ? dup(2) : -1;
        if (saved_ >= 0) dup2(fileno(file_), 2);
    }
    ~TraceCapture() { Stop(); }

    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Restores standard error; returns the last traced line without its
    // "# " and C3DObjectRaw::... prefix, or "" when nothing was traced.
    std::string Stop() {
        if (saved_ < 0) return reason_;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
        std::string text;
        std::rewind(file_);
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
        std::fclose(file_);
        file_ = nullptr;
        text_ = text;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        const size_t line = text.rfind('\n');
        if (line != std::string::npos) text.erase(0, line + 1);
        if (text.rfind("# ", 0) == 0) text.erase(0, 2);
        const size_t colon = text.find(": ");
        if (colon != std::string::npos && text.find("::") < colon) text.erase(0, colon + 2);
        reason_ = text;
        return reason_;
    }

    // Everything traced, as written (after Stop).
    const std::string& Text() const { return text_; }

private:
    std::string text_;
    FILE* file_ = nullptr;
    int saved_ = -1;
    std::string reason_;
};

}  // namespace scene
