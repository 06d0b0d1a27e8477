#include "runtime/gadgets/image_gadget.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/headless/control.h"
#include "platform/image_view.h"
#include "runtime/drawing/context.h"
#include "runtime/events/gadget_list.h"
#include "tests/gadgets/gadgets_fixture.h"

namespace vorlune {
namespace {

using ImageGadgetTest = GadgetsTest;

TEST_F(ImageGadgetTest, TheGadgetTakesTheSizeOfItsImage) {
    OpenWindow(0);
    const NativeImage large = PatternImage(0, 512, 512);
    struct Case {
        NativeImage image;
        uint32_t flags;
        double width, height;
        ImageFrameStyle style;
    };
    const std::vector<Case> cases = {
        {large, 0, 512, 512, ImageFrameStyle::kNone},
        {large, kImageGadgetBorder, 516, 516, ImageFrameStyle::kGroove},
        {large, 0xFE, 512, 512, ImageFrameStyle::kNone},
        {nullptr, 0, 100, 100, ImageFrameStyle::kNone},
        {nullptr, kImageGadgetBorder, 100, 100, ImageFrameStyle::kGroove},
    };
    for (const Case& c : cases) {
        const int64_t result = CreateImageGadgetWithFlags(0, 0, 0, 100, 100, c.image, c.flags);
        const NativeView view = GadgetID(0);
        ASSERT_EQ(reinterpret_cast<NativeView>(result), view) << "flags " << c.flags;
        const PlatformRect frame = ViewFrame(view);
        EXPECT_EQ(frame.x, 0);
        EXPECT_EQ(frame.width, c.width) << "flags " << c.flags;
        EXPECT_EQ(frame.height, c.height) << "flags " << c.flags;
        EXPECT_EQ(ImageViewFrameStyle(view), c.style);
        EXPECT_FALSE(ViewAcceptsDrops(view));
        EXPECT_EQ(GadgetType(0), kImageGadgetType);
    }
    EXPECT_EQ(SubviewCount(WindowContentView(WindowID(0))), 1);
}

TEST_F(ImageGadgetTest, ThePixelsShowOneToOneFromTheTopLeftInsideTheFrame) {
    OpenWindow(0);
    const NativeImage image = PatternImage(0, 30, 20);
    CreateImageGadget(1, 0, 0, 5, 5, image);
    CreateImageGadgetWithFlags(2, 50, 0, 5, 5, image, kImageGadgetBorder);
    struct Case {
        int64_t gadget;
        int32_t x, y;
        bool shown;
        uint8_t red, green;
    };
    const std::vector<Case> cases = {
        {1, 0, 0, true, 0, 0},     {1, 29, 19, true, 29, 19}, {1, 30, 0, false, 0, 0},
        {2, 0, 0, false, 0, 0},    {2, 1, 1, false, 0, 0},    {2, 2, 2, true, 0, 0},
        {2, 31, 21, true, 29, 19}, {2, 32, 21, false, 0, 0},
    };
    for (const Case& c : cases) {
        uint8_t pixel[4] = {};
        ASSERT_EQ(ReadImageViewPixel(GadgetID(c.gadget), c.x, c.y, pixel), c.shown)
            << c.gadget << " at " << c.x << ", " << c.y;
        if (!c.shown) continue;
        EXPECT_EQ(pixel[0], c.red);
        EXPECT_EQ(pixel[1], c.green);
        EXPECT_EQ(pixel[3], 255);
    }
}

TEST_F(ImageGadgetTest, TheStateIsTheImageShown) {
    OpenWindow(0);
    const NativeImage first = PatternImage(0, 64, 32);
    const NativeImage second = PatternImage(1, 10, 12);
    CreateImageGadgetWithFlags(0, 5, 6, 1, 1, first, kImageGadgetBorder);
    EXPECT_EQ(GetGadgetState(0), reinterpret_cast<intptr_t>(first));
    SetGadgetState(0, reinterpret_cast<intptr_t>(second));
    EXPECT_EQ(GetGadgetState(0), reinterpret_cast<intptr_t>(second));
    EXPECT_EQ(GadgetWidth(0), 14);
    EXPECT_EQ(GadgetHeight(0), 16);
    EXPECT_EQ(GadgetX(0), 5);
    SetGadgetState(0, 0);
    EXPECT_EQ(GetGadgetState(0), 0);
    EXPECT_EQ(GadgetWidth(0), 14) << "a cleared image keeps the size";
}

TEST_F(ImageGadgetTest, TheViewKeepsItsImageAndRedrawsWhenItIsRecached) {
    OpenWindow(0);
    const NativeImage image = PatternImage(0, 8, 8);
    CreateImageGadget(0, 0, 0, 8, 8, image);
    const NativeView view = GadgetID(0);
    Pump();
    const int32_t draws = ViewDrawCount(view);
    BeginDrawing(ImageDrawTarget(0));
    PlotPixel(3, 4, MakeRGB(200, 100, 50));
    EndDrawing();
    Pump();
    EXPECT_EQ(ViewDrawCount(view), draws + 1);
    uint8_t pixel[4] = {};
    ASSERT_TRUE(ReadImageViewPixel(view, 3, 4, pixel));
    EXPECT_EQ(pixel[0], 200);
    FreeImage(0);
    EXPECT_EQ(NativeImageReferences(image), 1) << "the view holds the image";
    ASSERT_TRUE(ReadImageViewPixel(view, 3, 4, pixel));
    EXPECT_EQ(pixel[2], 50);
    RemoveGadget(0);  // the last reference goes with the view
}

// Clicks on a gadget at (20, 10) of 30 x 20 points. A case with a press first presses at
// (25, 15), so that its release goes to the gadget wherever it happens.
TEST_F(ImageGadgetTest, ClicksBecomeSubtypesWithControlFromTheGlobalState) {
    const NativeWindow window = OpenWindow(4);
    CreateImageGadget(1, 20, 10, 30, 20, nullptr);
    struct Case {
        const char* name;
        int32_t type;
        int32_t clicks;
        uint32_t globalFlags, eventFlags;
        double x, y;
        std::vector<QueuedEvent> expected;
        int32_t pressType = 0;  // 0: no press first
    };
    const QueuedEvent leftClick{kEventGadget, 1, 4, kGadgetLeftClick};
    const QueuedEvent rightClick{kEventGadget, 1, 4, kGadgetRightClick};
    const QueuedEvent leftDouble{kEventGadget, 1, 4, kGadgetLeftDoubleClick};
    const QueuedEvent rightDouble{kEventGadget, 1, 4, kGadgetRightDoubleClick};
    const std::vector<Case> cases = {
        {"left click", kLeftMouseUp, 1, 0, 0, 25, 15, {leftClick}},
        {"left double", kLeftMouseUp, 2, 0, 0, 25, 15, {leftDouble}},
        {"triple", kLeftMouseUp, 3, 0, 0, 25, 15, {}},
        {"control held", kLeftMouseUp, 1, kControlKeyFlag, 0, 25, 15, {rightClick}},
        {"control double", kLeftMouseUp, 2, kControlKeyFlag, 0, 25, 15, {rightDouble}},
        {"control only in the event", kLeftMouseUp, 1, 0, kControlKeyFlag, 25, 15, {leftClick}},
        {"released outside", kLeftMouseUp, 1, 0, 0, 50, 15, {}, kLeftMouseDown},
        {"released above", kLeftMouseUp, 1, 0, 0, 25, 9.5, {}, kLeftMouseDown},
        {"pressed and released inside",
         kLeftMouseUp,
         1,
         0,
         0,
         49.5,
         29.5,
         {leftClick},
         kLeftMouseDown},
        {"right released outside", kRightMouseUp, 1, 0, 0, 5, 5, {rightClick}, kRightMouseDown},
        {"right click", kRightMouseUp, 1, 0, 0, 25, 15, {rightClick}},
        {"right double", kRightMouseUp, 2, 0, 0, 25, 15, {rightDouble}},
        {"presses post nothing", kLeftMouseDown, 1, 0, 0, 25, 15, {}},
        {"right press", kRightMouseDown, 1, 0, 0, 25, 15, {}},
    };
    for (const Case& c : cases) {
        SetHeadlessModifierFlags(c.globalFlags);
        if (c.pressType != 0) InjectMouseEvent(window, c.pressType, 25, 15, c.clicks, 0);
        InjectMouseEvent(window, c.type, c.x, c.y, c.clicks, c.eventFlags);
        std::vector<QueuedEvent> gadgetEvents;
        for (const QueuedEvent& event : Pump()) {
            if (event.type == kEventGadget) gadgetEvents.push_back(event);
        }
        EXPECT_EQ(gadgetEvents, c.expected) << c.name;
    }
}

TEST_F(ImageGadgetTest, EachPressStartsOneDragEvent) {
    const NativeWindow window = OpenWindow(0);
    CreateImageGadget(2, 0, 0, 30, 20, nullptr);
    const QueuedEvent dragStart{kEventGadget, 2, 0, kGadgetDragStart};
    for (int press = 0; press < 2; ++press) {
        InjectMouseEvent(window, kLeftMouseDown, 5, 5, 1, 0);
        for (int step = 0; step < 3; ++step)
            InjectMouseEvent(window, kLeftMouseDragged, 6.0 + step, 5, 0, 0);
        InjectMouseEvent(window, kRightMouseDragged, 9, 5, 0, 0);
        EXPECT_EQ(Pump(), std::vector<QueuedEvent>{dragStart}) << "press " << press;
    }
}

TEST_F(ImageGadgetTest, AnyNumberAndMissingListsAreAnswered) {
    OpenWindow(0);
    const int64_t number = CreateImageGadget(AnyNumber, 0, 0, 4, 4, nullptr);
    ASSERT_NE(GetGadgetRecord(number), nullptr);
    EXPECT_EQ(GadgetViewOf(GadgetID(number))->tag(), number);
    CloseWindow(0);
    EXPECT_EQ(GetGadgetRecord(number), nullptr);
    EXPECT_EQ(ZkGadgetList::currentList(), nullptr);
    EXPECT_EQ(CreateImageGadget(3, 0, 0, 4, 4, nullptr), 0) << "no gadget list to go into";
    EXPECT_EQ(GetGadgetRecord(3), nullptr);
}

}  // namespace
}  // namespace vorlune
