#include "runtime/gadgets/image_gadget.h"

#include <new>

#include "platform/image_view.h"
#include "platform/view.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/gadget_list.h"
#include "runtime/gadgets/drag_drop.h"

namespace vorlune {

namespace {

constexpr double kBorderPoints = 2 * kGrooveFrameWidth;

int64_t ClickSubtype(int32_t clickCount, bool control) {
    if (clickCount == 1) return control ? kGadgetRightClick : kGadgetLeftClick;
    if (clickCount == 2) return control ? kGadgetRightDoubleClick : kGadgetLeftDoubleClick;
    return -1;
}

bool IsControlHeld() {
    return (GlobalModifierFlags() & kControlKeyFlag) != 0;
}

int64_t WindowOfView(NativeView view) {
    return WindowNumberOf(ViewWindow(view));
}

}  // namespace

// ZkImageGadgetFunctions ---------------------------------------------------------------------

void ZkImageGadgetFunctions::resizeToFit() {
    const NativeImage image = ImageViewImage(Gadget->view);
    if (image == nullptr) return;
    const double border = (Gadget->gadgetFlags & kImageGadgetBorder) != 0 ? kBorderPoints : 0;
    PlatformRect frame = ViewFrame(Gadget->view);
    frame.width = NativeImageWidth(image) + border;
    frame.height = NativeImageHeight(image) + border;
    SetViewFrame(Gadget->view, frame);
    SetViewNeedsDisplay(Gadget->view);
}

void ZkImageGadgetFunctions::SetGadgetState(int64_t state) {
    SetImageViewImage(Gadget->view, reinterpret_cast<NativeImage>(static_cast<intptr_t>(state)));
    resizeToFit();
}

int64_t ZkImageGadgetFunctions::GetGadgetState() {
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(ImageViewImage(Gadget->view)));
}

// Zk_NSImageView ---------------------------------------------------------------------------------

void Zk_NSImageView::viewWillBeDestroyed(NativeView view) {
    if (!Zk_alreadyDestroyed) DestroyGadgetRecord(Zk_tag);
    SetViewDelegate(view, nullptr);
    delete this;
}

uint32_t Zk_NSImageView::draggingEntered(NativeView view, const DragInfo& info) {
    return ZkDragDrop::draggingEntered(view, info);
}

uint32_t Zk_NSImageView::draggingUpdated(NativeView view, const DragInfo& info) {
    return ZkDragDrop::draggingUpdated(view, info);
}

bool Zk_NSImageView::prepareForDragOperation(NativeView view, const DragInfo& info) {
    return ZkDragDrop::prepareForDragOperation(view, info);
}

bool Zk_NSImageView::performDragOperation(NativeView view, const DragInfo& info) {
    return ZkDragDrop::performDragOperation(view, info, Zk_tag, -1);
}

bool Zk_NSImageView::mouseDown(NativeView, const PlatformEvent&) {
    DragEventSent = 0;
    return true;
}

bool Zk_NSImageView::mouseUp(NativeView view, const PlatformEvent& event) {
    const PlatformRect rect = ViewRectInContent(view);
    const double x = event.x - rect.x;
    const double y = event.y - rect.y;
    if (x < 0 || y < 0 || x >= rect.width || y >= rect.height) return true;
    const int64_t subtype = ClickSubtype(event.clickCount, IsControlHeld());
    if (subtype >= 0) PostEvent(kEventGadget, Zk_tag, WindowOfView(view), subtype);
    return true;
}

bool Zk_NSImageView::rightMouseDown(NativeView, const PlatformEvent&) {
    return true;
}

bool Zk_NSImageView::rightMouseUp(NativeView view, const PlatformEvent& event) {
    const int64_t subtype = ClickSubtype(event.clickCount, true);
    if (subtype >= 0) PostEvent(kEventGadget, Zk_tag, WindowOfView(view), subtype);
    return true;
}

bool Zk_NSImageView::mouseDragged(NativeView view, const PlatformEvent& event) {
    if (event.type != kLeftMouseDragged) return false;
    if (DragEventSent == 0) {
        PostEvent(kEventGadget, Zk_tag, WindowOfView(view), kGadgetDragStart);
        DragEventSent = 1;
    }
    return true;
}

// Creation ---------------------------------------------------------------------------------------

int64_t CreateImageGadget(int64_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                          NativeImage image) {
    return CreateImageGadgetWithFlags(number, x, y, width, height, image, 0);
}

int64_t CreateImageGadgetWithFlags(int64_t number, int32_t x, int32_t y, int32_t width,
                                   int32_t height, NativeImage image, uint32_t flags) {
    // Without a list to place it in, the gadget would float in no window and vanish unseen.
    const NativeView parent = ZkGadgetList::currentView();
    if (parent == nullptr || GadgetRegistry() == nullptr) return 0;
    const NativeView view =
        CreateImageView({static_cast<double>(x), static_cast<double>(y), static_cast<double>(width),
                         static_cast<double>(height)});
    if (view == nullptr) return 0;
    auto* viewEvents = new (std::nothrow) Zk_NSImageView;
    auto* functions = new (std::nothrow) ZkImageGadgetFunctions;
    GadgetRecord* record = nullptr;
    if (viewEvents != nullptr && functions != nullptr) {
        SetViewDelegate(view, viewEvents);
        record = functions->setup(number, kImageGadgetType, view, view, flags);
    }
    if (record == nullptr) {
        SetViewDelegate(view, nullptr);
        DestroyView(view);
        delete viewEvents;
        delete functions;
        return 0;
    }
    SetImageViewFrameStyle(view, (flags & kImageGadgetBorder) != 0 ? ImageFrameStyle::kGroove
                                                                   : ImageFrameStyle::kNone);
    if (image != nullptr) {
        SetImageViewImage(view, image);
        functions->resizeToFit();
    }
    SetViewAcceptsDrops(view, false);
    AddSubview(parent, view);
    return number == AnyNumber ? functions->GadgetID
                               : static_cast<int64_t>(reinterpret_cast<intptr_t>(view));
}

}  // namespace vorlune
