#pragma once

#include "child_process.h"

#include <memory>
#include <string>
#include <vector>

namespace kantenwerk::testsupport {

// One monitor of a Wayland desktop: its size and its place in the layout.
struct OutputSpec {
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
};

// sway on its headless backend with these outputs (HEADLESS-1, HEADLESS-2 ...
// in this order) and XWayland, for the lifetime of the object. sway refuses
// root, so a root test process runs it as nobody and is let into its
// XWayland through xhost. The constructor returns once XWayland takes
// connections and throws std::runtime_error with sway's output if it does
// not. Construct it on the test's main thread.
class Compositor {
public:
    explicit Compositor(const std::vector<OutputSpec>& outputs);
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    const std::string& display() const { return display_; }  // XWayland's, ":N"

private:
    void stop();

    std::string dir_;
    std::unique_ptr<ChildProcess> sway_;
    std::string display_;
};

}  // namespace kantenwerk::testsupport
