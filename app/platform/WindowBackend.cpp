// The window backend (SDL2): not there yet.
#include "app/platform/RunLoop.h"

namespace platform {
namespace detail {

namespace {
class WindowBackend : public Backend {
public:
    bool Open(std::string* error) override {
        *error = "orbelline: the window backend is not built yet; use the headless mode";
        return false;
    }
    void Present(const Frame&) override {}
    void Run(AppSession*) override {}
    void Close() override {}
};
}  // namespace

std::unique_ptr<Backend> MakeWindowBackend(const Options&) { return std::make_unique<WindowBackend>(); }

}  // namespace detail
}  // namespace platform
