#include "x_session.h"

#include "child_process.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <thread>

namespace kantenwerk::testsupport {

bool Rgb::near(const Rgb& other, int tolerance) const {
    return std::abs(r - other.r) <= tolerance && std::abs(g - other.g) <= tolerance &&
           std::abs(b - other.b) <= tolerance;
}

std::string toString(const Rgb& colour) {
    return "(" + std::to_string(colour.r) + ", " + std::to_string(colour.g) + ", " +
           std::to_string(colour.b) + ")";
}

std::ostream& operator<<(std::ostream& out, const Rgb& colour) { return out << toString(colour); }

std::ostream& operator<<(std::ostream& out, const Point& point) {
    return out << "(" << point.x << ", " << point.y << ")";
}

std::ostream& operator<<(std::ostream& out, const Size& size) { return out << size.width << "x" << size.height; }

ScreenImage::ScreenImage(int width, int height, std::vector<std::uint8_t> rgb)
    : width_(width), height_(height), rgb_(std::move(rgb)) {
    if (rgb_.size() != static_cast<std::size_t>(width) * height * 3) {
        throw std::invalid_argument("ScreenImage: pixel data does not match the size");
    }
}

Rgb ScreenImage::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        throw std::out_of_range("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                                ") outside " + std::to_string(width_) + "x" + std::to_string(height_));
    }
    const std::size_t at = (static_cast<std::size_t>(y) * width_ + x) * 3;
    return {rgb_[at], rgb_[at + 1], rgb_[at + 2]};
}

namespace {

void putBigEndian32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xff));
}

void putChunk(std::string& out, const char* type, const std::string& data) {
    putBigEndian32(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    putBigEndian32(out, static_cast<std::uint32_t>(
                            crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size())));
}

// Shift and width of a contiguous channel mask, e.g. 0xff0000 -> 16, 8.
void maskLayout(unsigned long mask, int& shift, int& bits) {
    shift = 0;
    bits = 0;
    if (mask == 0) return;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
}

int channel(unsigned long pixel, int shift, int bits) {
    if (bits == 0) return 0;
    const unsigned long max = (1ul << bits) - 1;
    return static_cast<int>((((pixel >> shift) & max) * 255 + max / 2) / max);
}

}  // namespace

void ScreenImage::savePng(const std::string& path) const {
    std::string raw;
    raw.reserve(static_cast<std::size_t>(height_) * (width_ * 3 + 1));
    for (int y = 0; y < height_; ++y) {
        raw.push_back(0);  // filter: none
        raw.append(reinterpret_cast<const char*>(rgb_.data()) + static_cast<std::size_t>(y) * width_ * 3,
                   static_cast<std::size_t>(width_) * 3);
    }
    uLongf packedSize = compressBound(raw.size());
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), raw.size(), Z_BEST_SPEED) != Z_OK) {
        throw std::runtime_error("savePng: zlib compression failed");
    }
    packed.resize(packedSize);

    std::string header;
    putBigEndian32(header, static_cast<std::uint32_t>(width_));
    putBigEndian32(header, static_cast<std::uint32_t>(height_));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bit, RGB, deflate, no filter set, no interlace

    std::string png("\x89PNG\r\n\x1a\n", 8);
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", packed);
    putChunk(png, "IEND", "");
    std::ofstream file(path, std::ios::binary);
    file.write(png.data(), static_cast<std::streamsize>(png.size()));
    if (!file) throw std::runtime_error("savePng: cannot write " + path);
}

XSession::XSession(const std::string& display) {
    display_ = XOpenDisplay(display.c_str());
    if (!display_) throw std::runtime_error("XSession: cannot open display " + display);
    int eventBase, errorBase, major, minor;
    if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) {
        XCloseDisplay(display_);
        throw std::runtime_error("XSession: display " + display + " lacks the XTEST extension");
    }
}

XSession::~XSession() {
    if (display_) XCloseDisplay(display_);
}

Size XSession::screenSize() const {
    const int screen = DefaultScreen(display_);
    return {DisplayWidth(display_, screen), DisplayHeight(display_, screen)};
}

void XSession::movePointer(int x, int y) {
    XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
    sync();
}

void XSession::pressButton(unsigned button) {
    XTestFakeButtonEvent(display_, button, True, CurrentTime);
    sync();
}

void XSession::releaseButton(unsigned button) {
    XTestFakeButtonEvent(display_, button, False, CurrentTime);
    sync();
}

void XSession::clickButton(unsigned button) {
    pressButton(button);
    releaseButton(button);
}

void XSession::drag(unsigned button, Point from, Point to, int steps,
                    std::chrono::milliseconds pausePerStep) {
    if (steps < 1) steps = 1;
    movePointer(from.x, from.y);
    pressButton(button);
    for (int step = 1; step <= steps; ++step) {
        std::this_thread::sleep_for(pausePerStep);
        movePointer(from.x + (to.x - from.x) * step / steps, from.y + (to.y - from.y) * step / steps);
    }
    releaseButton(button);
}

XSession::KeyStroke XSession::keyStroke(unsigned long keysym) const {
    const KeyCode keycode = XKeysymToKeycode(display_, keysym);
    if (keycode == 0) {
        throw std::invalid_argument("keysym " + std::to_string(keysym) + " is not on the keyboard map");
    }
    // Shift is needed when the keysym sits on the shifted level only.
    const bool plain = XkbKeycodeToKeysym(display_, keycode, 0, 0) == keysym;
    return {keycode, !plain && XkbKeycodeToKeysym(display_, keycode, 0, 1) == keysym};
}

void XSession::sendKey(unsigned keycode, bool press) {
    XTestFakeKeyEvent(display_, keycode, press ? True : False, CurrentTime);
}

void XSession::pressKey(unsigned long keysym) {
    const KeyStroke stroke = keyStroke(keysym);
    if (stroke.shift) sendKey(XKeysymToKeycode(display_, XK_Shift_L), true);
    sendKey(stroke.keycode, true);
    sync();
}

void XSession::releaseKey(unsigned long keysym) {
    const KeyStroke stroke = keyStroke(keysym);
    sendKey(stroke.keycode, false);
    if (stroke.shift) sendKey(XKeysymToKeycode(display_, XK_Shift_L), false);
    sync();
}

void XSession::tapKey(unsigned long keysym) {
    pressKey(keysym);
    releaseKey(keysym);
}

void XSession::sync() { XSync(display_, False); }

ScreenImage XSession::capture() {
    const Size size = screenSize();
    return captureArea(0, 0, size.width, size.height);
}

ScreenImage XSession::captureArea(int left, int top, int width, int height, Window window) {
    const Size size{width, height};
    XImage* image = XGetImage(display_, window != None ? window : DefaultRootWindow(display_), left, top,
                              static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes,
                              ZPixmap);
    if (!image) throw std::runtime_error("XGetImage failed");
    int redShift, redBits, greenShift, greenBits, blueShift, blueBits;
    maskLayout(image->red_mask, redShift, redBits);
    maskLayout(image->green_mask, greenShift, greenBits);
    maskLayout(image->blue_mask, blueShift, blueBits);
    if (redBits == 0 || greenBits == 0 || blueBits == 0) {
        XDestroyImage(image);
        throw std::runtime_error("capture: only TrueColor/DirectColor visuals are supported");
    }
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(size.width) * size.height * 3);
    std::size_t at = 0;
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            const unsigned long value = XGetPixel(image, x, y);
            rgb[at++] = static_cast<std::uint8_t>(channel(value, redShift, redBits));
            rgb[at++] = static_cast<std::uint8_t>(channel(value, greenShift, greenBits));
            rgb[at++] = static_cast<std::uint8_t>(channel(value, blueShift, blueBits));
        }
    }
    XDestroyImage(image);
    return ScreenImage(size.width, size.height, std::move(rgb));
}

bool XSession::waitForPixel(int x, int y, const std::function<bool(const Rgb&)>& predicate,
                            std::chrono::milliseconds limit) {
    return waitUntil([&] { return predicate(captureArea(x, y, 1, 1).pixel(0, 0)); }, limit,
                     std::chrono::milliseconds(20));
}

}  // namespace kantenwerk::testsupport
