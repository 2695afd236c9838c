#pragma once

#include "test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace kantenwerk::testsupport {

// Starts a FullModes server, points DISPLAY at it, initialises GLUT and
// opens a double-buffered RGB window with depth buffer, which is current
// when the tests run. Install it once in main():
//   ::testing::AddGlobalTestEnvironment(new GlWindowEnvironment());
// freeglut keeps one display per process, so one environment per process.
class GlWindowEnvironment : public ::testing::Environment {
public:
    explicit GlWindowEnvironment(int width = 1280, int height = 1024);
    ~GlWindowEnvironment() override;

    void SetUp() override;
    void TearDown() override;

    // The running environment, or nullptr outside SetUp..TearDown and when
    // SetUp failed.
    static GlWindowEnvironment* current();

    const TestServer& server() const { return *server_; }
    const std::string& display() const { return server_->display(); }
    int mainWindow() const { return mainWindow_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Makes the main window current again.
    void makeMainWindowCurrent() const;

private:
    int width_;
    int height_;
    std::unique_ptr<TestServer> server_;
    std::optional<std::string> previousDisplay_;
    int mainWindow_ = 0;
};

// An extra GLUT window of the given size for one test, current after
// construction; the destructor destroys it and makes the main window current.
class GlWindow {
public:
    GlWindow(int width, int height, std::chrono::milliseconds limit = std::chrono::seconds(10));
    ~GlWindow();
    GlWindow(const GlWindow&) = delete;
    GlWindow& operator=(const GlWindow&) = delete;

    int id() const { return id_; }
    void makeCurrent() const;

private:
    int id_ = 0;
};

// Handles pending GLUT events and timers without blocking; keeps the
// current window.
void pumpGlutEvents();

// Pumps GLUT events until the window has been shown and reshaped; throws
// std::runtime_error after limit.
void waitForGlutWindow(int window, std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace kantenwerk::testsupport
