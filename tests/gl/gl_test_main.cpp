#include "gl_test.h"

#include <GL/glut.h>

#include "app.h"
#include "input.h"
#include "orientation.h"

int swapCount;
IdleCallback idleCallback;
int idleFuncCalls;
int cursorShape;

extern "C" {
void __real_glutSwapBuffers();
void __real_glutIdleFunc(IdleCallback callback);
void __real_glutSetCursor(int cursor);

void __wrap_glutSwapBuffers()
{
    ++swapCount;
    __real_glutSwapBuffers();
}

void __wrap_glutIdleFunc(IdleCallback callback)
{
    ++idleFuncCalls;
    idleCallback = callback;
    __real_glutIdleFunc(callback);
}

void __wrap_glutSetCursor(int cursor)
{
    cursorShape = cursor;
    __real_glutSetCursor(cursor);
}
}

namespace {

// The program's one-time initialisation, in the window the tests draw in.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (kantenwerk::testsupport::GlWindowEnvironment::current() != nullptr)
            application = new Application(0, nullptr);
    }
    void TearDown() override { delete application; }

private:
    Application* application = nullptr;
};

}  // namespace

void GlTest::SetUp()
{
    const auto* environment = kantenwerk::testsupport::GlWindowEnvironment::current();
    ASSERT_NE(environment, nullptr) << "no GL window: the test environment failed, reason above";
    environment->makeMainWindowCurrent();
    glutIdleFunc(nullptr);
    resetMatrices();
    resetState();
    facesDimmed = 0;
    pulseActive = 0;
    ringSpinActive = 0;
    randomState = 1;
    swapCount = 0;
    idleFuncCalls = 0;
    idleCallback = nullptr;
    cursorShape = -1;
}

void GlTest::TearDown()
{
    if (kantenwerk::testsupport::GlWindowEnvironment::current() != nullptr) {
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new kantenwerk::testsupport::GlWindowEnvironment(1280, 1024));
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);
    return RUN_ALL_TESTS();
}
