#include "runtime/gadgets/gadgets.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/headless/control.h"
#include "runtime/core/strings.h"
#include "runtime/events/gadget_list.h"
#include "runtime/gadgets/image_gadget.h"
#include "tests/gadgets/gadgets_fixture.h"

namespace vorlune {
namespace {

int32_t freedGadgets = 0;
int32_t callbackRuns = 0;
void CountCallback() {
    ++callbackRuns;
}

// A kind of our own: a plain container view, which is no control.
class PlainView : public ZkGadgetView {
  public:
    void setTag(int64_t tag) override { tag_ = tag; }
    int64_t tag() override { return tag_; }
    void setAlreadyDestroyed(bool destroyed) override { destroyed_ = destroyed; }
    void viewWillBeDestroyed(NativeView view) override {
        if (!destroyed_) DestroyGadgetRecord(tag_);
        SetViewDelegate(view, nullptr);
        delete this;
    }

  private:
    int64_t tag_ = 0;
    bool destroyed_ = false;
};

class PlainFunctions : public ZkGadgetFunctions {
  public:
    void FreeGadget() override { ++freedGadgets; }
};

// The gadget's number, as creation operations answer for AnyNumber.
int64_t CreatePlainGadget(int64_t number, PlatformRect frame = {10, 30, 40, 20}) {
    const NativeView view = CreateContainerView(frame);
    SetViewDelegate(view, new PlainView);
    auto* functions = new PlainFunctions;
    if (functions->setup(number, 99, view, view, 0x5) == nullptr) return 0;
    AddSubview(ZkGadgetList::currentView(), view);
    return functions->GadgetID;
}

class GadgetModelTest : public GadgetsTest {
  protected:
    void SetUp() override {
        GadgetsTest::SetUp();
        freedGadgets = 0;
        callbackRuns = 0;
    }
};

TEST_F(GadgetModelTest, SetupBindsTheRecordToTheCurrentWindow) {
    OpenWindow(7);
    ASSERT_EQ(CreatePlainGadget(4), 4);
    const GadgetRecord* record = GetGadgetRecord(4);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->container, record->view);
    EXPECT_EQ(record->windowNumber, 7);
    EXPECT_EQ(record->gadgetType, 99);
    EXPECT_EQ(record->gadgetFlags, 0x5u);
    EXPECT_EQ(record->functions->Gadget, record);
    EXPECT_EQ(record->functions->isNSControl, 0);
    EXPECT_EQ(GadgetViewOf(record->view)->tag(), 4);
    EXPECT_EQ(ViewSuperview(record->view), WindowContentView(WindowID(7)));

    const int64_t any = CreatePlainGadget(AnyNumber);
    EXPECT_EQ(reinterpret_cast<GadgetRecord*>(any), GetGadgetRecord(any));
    EXPECT_EQ(GadgetViewOf(GadgetID(any))->tag(), any);
}

TEST_F(GadgetModelTest, ControlDefaultsDoNothingForAViewThatIsNoControl) {
    OpenWindow(0);
    CreatePlainGadget(1);
    SetGadgetState(1, 5);
    SetGadgetText(1, u"ignored");
    DisableGadget(1, 1);
    EXPECT_EQ(GetGadgetState(1), 0);
    ASSERT_NE(GetGadgetText(1, 0), nullptr) << "an empty text, not null";
    EXPECT_EQ(std::u16string(GetGadgetText(1, 0)), u"");
    EXPECT_TRUE(Drain().empty());
}

TEST_F(GadgetModelTest, ControlDefaultsActOnTheControl) {
    OpenWindow(0);
    CreateImageGadget(1, 0, 0, 10, 10, nullptr);
    const NativeView view = GadgetID(1);
    DisableGadget(1, 1);
    EXPECT_FALSE(IsControlEnabled(view));
    DisableGadget(1, 0);
    EXPECT_TRUE(IsControlEnabled(view));
    SetGadgetText(1, u"abc");
    TempStrings().tempPos = 0;
    AppendLiteral(u"<");
    EXPECT_EQ(std::u16string(GetGadgetText(1, 2)), u"abc");
    EXPECT_EQ(std::u16string(TempStringAt(0)), u"<abc") << "results concatenate";
    EXPECT_EQ(GetGadgetText(2, 0), nullptr);
    const TextFont font = reinterpret_cast<TextFont>(0x10);
    SetGadgetFont(1, font);
    EXPECT_EQ(GetGadgetFont(1), font);
    PerformControlAction(view);
    EXPECT_EQ(Drain(), (std::vector<QueuedEvent>{{kEventGadget, 1, 0, 0}}));
}

TEST_F(GadgetModelTest, GeometryInTheThreeModes) {
    // A titled window's content starts 22 points below its frame at (100, 50).
    OpenWindow(0, 0);
    const NativeView box = CreateContainerView({5, 6, 200, 200});
    AddSubview(WindowContentView(WindowID(0)), box);
    CreatePlainGadget(1);
    ZkGadgetList::currentList()->push(box);
    CreatePlainGadget(2);
    // Screen coordinates count from the main screen's top-left corner, wherever it lies among
    // the screens that window positions are given in.
    struct Case {
        int64_t gadget;
        int32_t mode;
        double screenX, screenY;
        int64_t x, y;
    };
    const std::vector<Case> cases = {
        {1, 0, 0, 0, 10, 30},
        {1, kGadgetInWindow, 0, 0, 10, 30},
        {1, kGadgetInScreen, 0, 0, 110, 102},
        {2, 0, 0, 0, 10, 30},
        {2, kGadgetInWindow, 0, 0, 15, 36},
        {2, kGadgetInScreen, 0, 0, 115, 108},
        {2, 7, 0, 0, 10, 30},
        {1, kGadgetInScreen, 40, 30, 70, 72},
        {2, kGadgetInScreen, -1280, -100, 1395, 208},
        {2, kGadgetInWindow, 40, 30, 15, 36},
    };
    for (const Case& c : cases) {
        SetHeadlessScreenOrigin(c.screenX, c.screenY);
        const std::string where = " mode " + std::to_string(c.mode) + " screen at " +
                                  std::to_string(c.screenX) + ", " + std::to_string(c.screenY);
        EXPECT_EQ(GadgetX(c.gadget, c.mode), c.x) << c.gadget << where;
        EXPECT_EQ(GadgetY(c.gadget, c.mode), c.y) << c.gadget << where;
    }
    EXPECT_EQ(GadgetWidth(2), 40);
    EXPECT_EQ(GadgetHeight(2), 20);
    SetHeadlessScreenSize(0, 0);
    EXPECT_EQ(GadgetY(1, kGadgetInScreen), 0) << "no main screen";
}

TEST_F(GadgetModelTest, ResizeKeepsEveryCoordinateGivenAsKeepValue) {
    OpenWindow(0);
    struct Case {
        int32_t x, y, width, height;
        PlatformRect expected;
    };
    const std::vector<Case> cases = {
        {KeepValue, 20, KeepValue, KeepValue, {10, 20, 40, 20}},
        {1, 2, 3, 4, {1, 2, 3, 4}},
        {KeepValue, KeepValue, 70, KeepValue, {10, 30, 70, 20}},
        {KeepValue, KeepValue, KeepValue, KeepValue, {10, 30, 40, 20}},
    };
    for (const Case& c : cases) {
        CreatePlainGadget(1);
        ResizeGadget(1, c.x, c.y, c.width, c.height);
        const PlatformRect frame = ViewFrame(GadgetID(1));
        EXPECT_EQ(frame.x, c.expected.x);
        EXPECT_EQ(frame.y, c.expected.y);
        EXPECT_EQ(frame.width, c.expected.width);
        EXPECT_EQ(frame.height, c.expected.height);
    }
}

TEST_F(GadgetModelTest, ActivatingMakesTheWindowKeyAndTheViewItsFocus) {
    const NativeWindow window = OpenWindow(0);
    CreatePlainGadget(2);
    OpenWindow(1);
    ActivateGadget(2);
    EXPECT_TRUE(IsWindowKey(window));
    EXPECT_EQ(FirstResponder(window), GadgetID(2));
}

TEST_F(GadgetModelTest, ReusingANumberDropsTheOldGadgetWithItsBindingsAndEvents) {
    const NativeWindow window = OpenWindow(0);
    CreatePlainGadget(3);
    const NativeView first = GadgetID(3);
    ASSERT_EQ(BindEvent(kEventGadget, CountCallback, 0, 3), 1);
    PostEvent(kEventGadget, 3, 0, 1);
    PostEvent(kEventGadgetDrop, 3, 0, 0);
    PostEvent(kEventGadget, 4, 0, 1);
    callbackRuns = 0;
    CreatePlainGadget(3);
    EXPECT_EQ(freedGadgets, 1);
    EXPECT_NE(GadgetID(3), first);
    const NativeView content = WindowContentView(window);
    ASSERT_EQ(SubviewCount(content), 1) << "the first view left the window";
    EXPECT_EQ(SubviewAt(content, 0), GadgetID(3));
    EXPECT_EQ(Drain(), (std::vector<QueuedEvent>{{kEventGadget, 4, 0, 1}}));
    PostEvent(kEventGadget, 3, 0, 2);
    EXPECT_EQ(callbackRuns, 0) << "the binding went with the first gadget";
}

TEST_F(GadgetModelTest, RemovalTakesTheViewAndLeavesNothingThatRefersToTheGadget) {
    const NativeWindow window = OpenWindow(0);
    CreatePlainGadget(1);
    CreatePlainGadget(2);
    BindEvent(kEventGadget, CountCallback, 0, 1);
    BindEvent(kEventGadget, CountCallback, 0, 2);
    EXPECT_EQ(RemoveGadgetEventBinding(2, CountCallback), 1);
    EXPECT_EQ(RemoveGadgetEventBinding(2, CountCallback), 0);
    PostEvent(kEventGadget, 1, 0, 0);
    RemoveGadget(1);
    EXPECT_EQ(GetGadgetRecord(1), nullptr);
    EXPECT_EQ(SubviewCount(WindowContentView(window)), 1);
    EXPECT_TRUE(Drain().empty());
    callbackRuns = 0;
    PostEvent(kEventGadget, 1, 0, 0);
    EXPECT_EQ(callbackRuns, 0);
    RemoveGadget(AnyNumber);
    EXPECT_EQ(GetGadgetRecord(2), nullptr);
    EXPECT_EQ(SubviewCount(WindowContentView(window)), 0);
    EXPECT_EQ(freedGadgets, 2);
}

TEST_F(GadgetModelTest, AClosingWindowDestroysOnlyItsOwnGadgets) {
    OpenWindow(0);
    CreatePlainGadget(1);
    CreatePlainGadget(2);
    OpenWindow(1);
    CreatePlainGadget(5);
    CloseWindow(0);
    EXPECT_EQ(GetGadgetRecord(1), nullptr);
    EXPECT_EQ(GetGadgetRecord(2), nullptr);
    ASSERT_NE(GetGadgetRecord(5), nullptr);
    EXPECT_EQ(GetGadgetRecord(5)->windowNumber, 1);
    EXPECT_EQ(freedGadgets, 2);
    // A window that goes without CloseWindow takes its gadgets' records with its views.
    ResetHeadlessPlatform();
    EXPECT_EQ(GetGadgetRecord(5), nullptr);
}

TEST_F(GadgetModelTest, ReuseMovesTheRecordToANewBehaviourObject) {
    OpenWindow(0);
    CreatePlainGadget(6);
    GadgetRecord* record = GetGadgetRecord(6);
    auto* replacement = new ZkGadgetFunctions;
    replacement->reuse(record, 42);
    EXPECT_EQ(freedGadgets, 0) << "the old object is released, not torn down";
    EXPECT_EQ(record->functions, replacement);
    EXPECT_EQ(record->gadgetType, 42);
    EXPECT_EQ(replacement->GadgetID, 6);
    replacement->SendEvent(9);
    EXPECT_EQ(Drain(), (std::vector<QueuedEvent>{{kEventGadget, 6, 0, 9}}));
}

TEST_F(GadgetModelTest, OperationsOnANumberWithoutAGadgetAnswerZero) {
    OpenWindow(0);
    const std::vector<std::function<int64_t()>> operations = {
        [] { return GadgetX(8, 1); },
        [] { return GadgetY(8, 2); },
        [] { return GadgetWidth(8); },
        [] { return GadgetHeight(8); },
        [] { return GetGadgetState(8); },
        [] { return static_cast<int64_t>(GadgetType(8)); },
        [] { return static_cast<int64_t>(GadgetID(8) != nullptr); },
        [] { return static_cast<int64_t>(GetGadgetFont(8) != nullptr); },
        [] { return static_cast<int64_t>(GetGadgetText(8, 0) != nullptr); },
        [] { return static_cast<int64_t>(RemoveGadgetEventBinding(8, CountCallback)); },
    };
    for (size_t i = 0; i < operations.size(); ++i)
        EXPECT_EQ(operations[i](), 0) << "operation " << i;
    ResizeGadget(8, 1, 2, 3, 4);
    HideGadget(8, 1);
    RemoveGadget(8);
    DestroyGadgetRecord(8);
    EXPECT_TRUE(Drain().empty());
}

}  // namespace
}  // namespace vorlune
