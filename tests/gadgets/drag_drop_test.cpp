#include "runtime/gadgets/drag_drop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/control.h"
#include "runtime/gadgets/image_gadget.h"
#include "tests/gadgets/gadgets_fixture.h"

namespace vorlune {
namespace {

using DragDropTest = GadgetsTest;

TEST_F(DragDropTest, TheAnsweredOperationFollowsTheSourceMask) {
    struct Case {
        uint32_t mask, expected;
    };
    const std::vector<Case> cases = {
        {kDragOperationGeneric | kDragOperationCopy, kDragOperationGeneric},
        {kDragOperationCopy | kDragOperationMove, kDragOperationCopy},
        {kDragOperationMove | kDragOperationLink, kDragOperationMove},
        {kDragOperationLink, kDragOperationLink},
        {0, kDragOperationNone},
        {8, kDragOperationNone},
    };
    for (const Case& c : cases) {
        DragInfo info{};
        info.sourceOperationMask = c.mask;
        EXPECT_EQ(ZkDragDrop::draggingEntered(nullptr, info), c.expected) << c.mask;
        EXPECT_EQ(ZkDragDrop::draggingUpdated(nullptr, info), c.expected) << c.mask;
    }
}

// Drops at (25, 50) of the window onto a gadget at (10, 20) that was made to accept them.
TEST_F(DragDropTest, ADropOnAGadgetPostsItsPayload) {
    const NativeWindow window = OpenWindow(2);
    CreateImageGadget(7, 10, 20, 100, 100, nullptr);
    SetViewAcceptsDrops(GadgetID(7), true);
    const NativeImage picture = PatternImage(0, 3, 2);
    const char16_t* files[] = {u"/tmp/A", u"/tmp/B"};
    struct Case {
        const char* name;
        uint32_t kinds, mask;
        uint32_t format, action;
        std::u16string text;
        bool image;
    };
    const std::vector<Case> cases = {
        {"two files", kDragFileNames, kDragOperationCopy, kDropFormatFileNames, kDropActionCopy,
         u"/tmp/A\n/tmp/B", false},
        {"text", kDragString, kDragOperationMove | kDragOperationCopy, kDropFormatText,
         kDropActionMove, u"words", false},
        {"image first", kDragImage | kDragString | kDragFileNames, kDragOperationLink,
         kDropFormatImage, kDropActionLink, u"", true},
        {"files before text", kDragString | kDragFileNames, kDragOperationGeneric,
         kDropFormatFileNames, kDropActionCopy, u"/tmp/A\n/tmp/B", false},
    };
    for (const Case& c : cases) {
        const DragInfo info{c.mask, 25, 50, c.kinds, picture, files, 2, u"words"};
        ASSERT_TRUE(InjectDrop(window, info)) << c.name;
        ASSERT_EQ(FetchEvent(), kEventGadgetDrop) << c.name;
        EXPECT_EQ(EventMenuID(), 7);
        EXPECT_EQ(EventWindow(), 2);
        const auto* payload = static_cast<const DropPayload*>(EventPayload());
        ASSERT_NE(payload, nullptr);
        EXPECT_EQ(payload->dropFormat, c.format) << c.name;
        EXPECT_EQ(payload->dropAction, c.action) << c.name;
        EXPECT_EQ(payload->dropX, 15);
        EXPECT_EQ(payload->dropY, 30);
        EXPECT_EQ(std::u16string(payload->dropText != nullptr ? payload->dropText : u""), c.text);
        ASSERT_EQ(payload->dropImage != nullptr, c.image) << c.name;
        if (c.image) {
            EXPECT_NE(payload->dropImage, picture) << "a copy of its own";
            EXPECT_EQ(NativeImagePixels(payload->dropImage)[4], 1);
        }
        EXPECT_EQ(FetchEvent(), 0);
    }
}

TEST_F(DragDropTest, DropsWithoutUsableDataAreRefused) {
    const NativeWindow window = OpenWindow(0);
    CreateImageGadget(1, 0, 0, 100, 100, nullptr);
    struct Case {
        const char* name;
        DragInfo info;
    };
    const char16_t* files[] = {u"/a"};
    const std::vector<Case> cases = {
        {"nothing offered", {kDragOperationCopy, 5, 5, 0, nullptr, files, 1, u"x"}},
        {"image without data", {kDragOperationCopy, 5, 5, kDragImage, nullptr, files, 1, u"x"}},
        {"text without data",
         {kDragOperationCopy, 5, 5, kDragString, nullptr, nullptr, 0, nullptr}},
        {"no operation", {0, 5, 5, kDragString, nullptr, nullptr, 0, u"x"}},
    };
    SetViewAcceptsDrops(GadgetID(1), true);
    for (const Case& c : cases) {
        EXPECT_FALSE(InjectDrop(window, c.info)) << c.name;
        EXPECT_EQ(FetchEvent(), 0) << c.name;
    }
}

// The window's background, and an image gadget there (which takes no drops of its own), pass a
// drop to the window's content view: type 10 for the window, the point in the content view.
TEST_F(DragDropTest, AWindowDropCarriesTheWindowAsObject) {
    const NativeWindow window = OpenWindow(3);
    CreateImageGadget(1, 100, 100, 50, 50, nullptr);
    struct Case {
        const char* name;
        double x, y;
        int32_t dropX, dropY;
    };
    const std::vector<Case> cases = {
        {"background", 12.9, 7.2, 12, 7},
        {"over the gadget", 120.5, 130, 120, 130},
    };
    for (const Case& c : cases) {
        const DragInfo info{kDragOperationCopy, c.x, c.y, kDragString, nullptr, nullptr, 0, u"t"};
        ASSERT_TRUE(InjectDrop(window, info)) << c.name;
        ASSERT_EQ(FetchEvent(), kEventWindowDrop) << c.name;
        EXPECT_EQ(EventMenuID(), 3);
        EXPECT_EQ(EventWindow(), 3);
        EXPECT_EQ(EventSubtype(), 0);
        const auto* payload = static_cast<const DropPayload*>(EventPayload());
        ASSERT_NE(payload, nullptr) << c.name;
        EXPECT_EQ(payload->dropFormat, kDropFormatText);
        EXPECT_EQ(std::u16string(payload->dropText), u"t");
        EXPECT_EQ(payload->dropX, c.dropX) << c.name;
        EXPECT_EQ(payload->dropY, c.dropY) << c.name;
        EXPECT_EQ(FetchEvent(), 0) << c.name;
    }
}

}  // namespace
}  // namespace vorlune
