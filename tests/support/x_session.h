#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace kantenwerk::testsupport {

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
    bool operator!=(const Rgb& other) const { return !(*this == other); }
    // True if every channel differs by at most tolerance.
    bool near(const Rgb& other, int tolerance) const;
};

std::string toString(const Rgb& colour);
std::ostream& operator<<(std::ostream& out, const Rgb& colour);

struct Point {
    int x = 0;
    int y = 0;
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size& other) const { return width == other.width && height == other.height; }
};

std::ostream& operator<<(std::ostream& out, const Point& point);
std::ostream& operator<<(std::ostream& out, const Size& size);

// A screen capture in 8-bit RGB.
class ScreenImage {
public:
    ScreenImage() = default;
    ScreenImage(int width, int height, std::vector<std::uint8_t> rgb);

    int width() const { return width_; }
    int height() const { return height_; }
    Rgb pixel(int x, int y) const; // throws std::out_of_range outside
    const std::vector<std::uint8_t>& rgb() const { return rgb_; }

    // Writes an 8-bit RGB PNG; throws std::runtime_error on failure.
    void savePng(const std::string& path) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> rgb_;
};

// A connection to a display that acts as the user: XTest pointer and key
// events, and screen captures of the root window.
class XSession {
public:
    explicit XSession(const std::string& display); // throws if it cannot connect
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    ::Display* display() const { return display_; }
    Size screenSize() const;

    void movePointer(int x, int y);
    void pressButton(unsigned button);
    void releaseButton(unsigned button);
    void clickButton(unsigned button);
    // Presses at from, moves in steps equal moves to to, releases there.
    void drag(unsigned button, Point from, Point to, int steps,
              std::chrono::milliseconds pausePerStep = std::chrono::milliseconds(0));

    // Key events by keysym; Shift is held around keysyms that need it
    // (e.g. XK_Q). Throws std::invalid_argument for unmapped keysyms.
    void pressKey(unsigned long keysym);
    void releaseKey(unsigned long keysym);
    void tapKey(unsigned long keysym);

    // Sends queued requests and waits until the server has handled them.
    void sync();

    ScreenImage capture(); // the whole root window
    // An area of the root window, or of another window where one is named:
    // under XWayland only windows hold pictures.
    ScreenImage captureArea(int left, int top, int width, int height, Window window = None);
    // Polls captures until predicate(pixel(x, y)) holds; false after limit.
    bool waitForPixel(int x, int y, const std::function<bool(const Rgb&)>& predicate,
                      std::chrono::milliseconds limit);

private:
    struct KeyStroke {
        unsigned keycode;
        bool shift;
    };
    KeyStroke keyStroke(unsigned long keysym) const;
    void sendKey(unsigned keycode, bool press);

    ::Display* display_ = nullptr;
};

}  // namespace kantenwerk::testsupport
