#include "runtime/screen/screen.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/headless/control.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "tests/screen/screen_fixture.h"

namespace vorlune {
namespace {

HeadlessGLInfo InspectGL(NativeView view) {
    HeadlessGLInfo info{};
    EXPECT_TRUE(InspectHeadlessGLView(view, &info));
    return info;
}

SpriteRecord* AddSprite(int64_t number, uint32_t texture, bool ownsPixels) {
    auto* sprite =
        static_cast<SpriteRecord*>(AllocateObject(CurrentScreen().spriteRegistry, number));
    sprite->texture = texture;
    if (ownsPixels) {
        sprite->flags = kSpriteOwnsPixels;
        sprite->pixels = AllocBlock(64);
    }
    return sprite;
}

TEST_F(ScreenTest, AZeroSizedScreenOpensWithFocus) {
    const ScreenState& screen = CurrentScreen();
    ASSERT_NE(screen.screenContext, nullptr);
    EXPECT_EQ(screen.screenWindow, window);
    EXPECT_EQ(screen.screenInWindow, 1);
    EXPECT_EQ(screen.screenHasFocus, 1);
    EXPECT_EQ(screen.screenDepth, 32);
    EXPECT_EQ(screen.screenWidth, 0);
    EXPECT_EQ(screen.screenTextureTarget, kRectangleTextureTarget);
    EXPECT_EQ(ViewSuperview(screen.screenView), WindowContentView(window));
    const HeadlessGLInfo gl = InspectGL(screen.screenView);
    EXPECT_TRUE(gl.realised);
    EXPECT_TRUE(gl.current);
    EXPECT_EQ(gl.swapInterval, 1);
    EXPECT_TRUE(gl.depthTest);
    EXPECT_GE(gl.clears, 1);
    HeadlessWindowInfo info{};
    InspectHeadlessWindow(window, &info);
    EXPECT_TRUE(info.acceptsMouseMoved);
}

TEST_F(ScreenTest, TheRefreshRateIsTheDisplaysToTheNearestHertz) {
    struct Case {
        double reported;
        int32_t rate;
    };
    const std::vector<Case> cases = {{59.94, 60}, {74.6, 75}, {144, 144}, {0, 60}, {-5, 60}};
    for (const Case& c : cases) {
        SetHeadlessRefreshRate(c.reported);
        ASSERT_EQ(OpenScreenInWindow(window, 0, 0, 64, 48), 1);
        EXPECT_EQ(CurrentScreen().screenRefreshRate, c.rate) << c.reported;
        const HeadlessGLInfo gl = InspectGL(CurrentScreen().screenView);
        EXPECT_EQ(gl.viewportWidth, 64);
        EXPECT_EQ(gl.viewportHeight, 48);
        EXPECT_EQ(CurrentScreen().projectionRight, 64);
        EXPECT_EQ(CurrentScreen().projectionTop, 48);
    }
}

TEST_F(ScreenTest, WithoutOpenGLTheOpenFailsAndPlacesNoView) {
    SetHeadlessGLAvailable(false);
    EXPECT_EQ(OpenScreenInWindow(window, 0, 0, 10, 10), 0);
    const ScreenState& screen = CurrentScreen();
    EXPECT_EQ(screen.screenContext, nullptr);
    EXPECT_EQ(screen.screenHasFocus, 0);
    EXPECT_EQ(SubviewCount(WindowContentView(window)), 0);
    EXPECT_EQ(screen.screenWindow, window) << "kept from the failed open";
    EXPECT_EQ(screen.screenInWindow, 1);
    EXPECT_EQ(OpenScreenInWindow(nullptr, 0, 0, 10, 10), 0) << "no window to place it in";
}

TEST_F(ScreenTest, ANewOpenClosesTheOldScreenAndFreesItsSprites) {
    AddSprite(0, 11, true);
    AddSprite(5, 12, false);
    ASSERT_EQ(OpenScreenInWindow(window, 1, 2, 30, 40), 1);
    const NativeView content = WindowContentView(window);
    ASSERT_EQ(SubviewCount(content), 1) << "the first view left";
    EXPECT_EQ(ViewFrame(SubviewAt(content, 0)).width, 30);
    ASSERT_EQ(DeletedGLTextureCount(), 2);
    EXPECT_EQ(DeletedGLTextureAt(0), 11u);
    EXPECT_EQ(DeletedGLTextureAt(1), 12u);
    EXPECT_EQ(GetObject(CurrentScreen().spriteRegistry, 0), nullptr);
    EXPECT_EQ(CurrentScreen().screenWidth, 30);
}

TEST_F(ScreenTest, SpritesAreFreedOneByOneOrAll) {
    AddSprite(1, 21, true);
    AddSprite(2, 22, true);
    AddSprite(3, 23, false);
    FreeSprite(9);
    EXPECT_EQ(DeletedGLTextureCount(), 0);
    FreeSprite(2);
    ASSERT_EQ(DeletedGLTextureCount(), 1);
    EXPECT_EQ(DeletedGLTextureAt(0), 22u);
    EndScreenSystem();
    EXPECT_EQ(DeletedGLTextureCount(), 3);
    EXPECT_EQ(GetObject(CurrentScreen().spriteRegistry, 1), nullptr);
}

TEST_F(ScreenTest, ClosingTwiceIsHarmless) {
    for (int i = 0; i < 2; ++i) {
        CloseScreen();
        const ScreenState& screen = CurrentScreen();
        EXPECT_EQ(screen.screenContext, nullptr);
        EXPECT_EQ(screen.screenInWindow, 0);
        EXPECT_EQ(screen.screenHasFocus, 0);
        EXPECT_EQ(SubviewCount(WindowContentView(window)), 0);
    }
}

TEST_F(ScreenTest, FocusFollowsTheKeyStatusOfTheScreensWindowOnly) {
    CreateWindow(1, 0, 0, 50, 50, u"other", kWindowBorderless);
    EXPECT_EQ(CurrentScreen().screenHasFocus, 0);
    ClickWindow(window);
    EXPECT_EQ(CurrentScreen().screenHasFocus, 1);
    ClickWindow(WindowID(1));
    EXPECT_EQ(CurrentScreen().screenHasFocus, 0);
    ClickWindow(window);
    CloseWindow(1);
    EXPECT_EQ(CurrentScreen().screenHasFocus, 1) << "another window's notifications";
}

TEST_F(ScreenTest, AutoStretchFitsTheViewToTheContentWithItsMargins) {
    ASSERT_EQ(OpenScreenInWindowStretched(window, 5, 5, 100, 80, 1, 10, 20), 1);
    const NativeView view = CurrentScreen().screenView;
    struct Case {
        double width, height;
        PlatformRect frame;
    };
    const std::vector<Case> cases = {
        {640, 480, {5, 5, 625, 455}},
        {400, 300, {5, 5, 385, 275}},
        {12, 20, {5, 5, 0, 0}},
    };
    for (const Case& c : cases) {
        if (c.width != 640) UserResizeWindow(window, c.width, c.height);
        const PlatformRect frame = ViewFrame(view);
        EXPECT_EQ(frame.x, c.frame.x);
        EXPECT_EQ(frame.width, c.frame.width) << c.width;
        EXPECT_EQ(frame.height, c.frame.height) << c.height;
        const HeadlessGLInfo gl = InspectGL(view);
        EXPECT_EQ(gl.viewportWidth, c.frame.width);
        EXPECT_EQ(gl.viewportHeight, c.frame.height);
        EXPECT_EQ(CurrentScreen().screenWidth, 100) << "the opened size stays";
        EXPECT_EQ(CurrentScreen().screenHeight, 80);
    }
    ASSERT_EQ(OpenScreenInWindow(window, 5, 5, 100, 80), 1);
    UserResizeWindow(window, 300, 200);
    EXPECT_EQ(ViewFrame(CurrentScreen().screenView).width, 100) << "without auto-stretch";
}

TEST_F(ScreenTest, AScreenWhoseWindowClosesIsClosedWithIt) {
    AddSprite(1, 31, true);
    CloseWindow(0);
    const ScreenState& screen = CurrentScreen();
    EXPECT_EQ(screen.screenContext, nullptr);
    EXPECT_EQ(screen.screenView, nullptr);
    EXPECT_EQ(screen.screenInWindow, 0);
    EXPECT_EQ(screen.screenHasFocus, 0);
    EXPECT_EQ(GetObject(screen.spriteRegistry, 1), nullptr);
    CloseScreen();
}

TEST_F(ScreenTest, TheEndHooksCloseTheScreenAndFreeTheSprites) {
    AddSprite(4, 41, true);
    EndRuntime();
    EXPECT_EQ(CurrentScreen().screenContext, nullptr);
    EXPECT_EQ(SubviewCount(WindowContentView(window)), 0);
    EXPECT_EQ(GetObject(CurrentScreen().spriteRegistry, 4), nullptr);
    EXPECT_EQ(DeletedGLTextureCount(), 1);
}

}  // namespace
}  // namespace vorlune
