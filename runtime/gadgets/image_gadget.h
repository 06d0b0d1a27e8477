#pragma once
// The image gadget: an image shown at its natural size, top-left and never scaled, whose
// clicks, double clicks and drags become gadget events.

#include <cstdint>

#include "platform/drag_drop.h"
#include "platform/events.h"
#include "platform/handles.h"
#include "platform/pixel_store.h"
#include "runtime/gadgets/gadgets.h"

namespace vorlune {

// Flags ------------------------------------------------------------------------------------------
constexpr uint32_t kImageGadgetBorder = 0x1;  // a groove frame, 4 points wider and higher

// Gadget event subtypes --------------------------------------------------------------------------
constexpr int64_t kGadgetLeftClick = 0;
constexpr int64_t kGadgetRightClick = 1;  // also a left click with Control held
constexpr int64_t kGadgetLeftDoubleClick = 2;
constexpr int64_t kGadgetRightDoubleClick = 3;  // also a left double click with Control held
constexpr int64_t kGadgetDragStart = 2048;

class ZkImageGadgetFunctions : public ZkGadgetFunctions {
  public:
    void resizeToFit();
    void SetGadgetState(int64_t state) override;  // a native image handle; 0 clears the image
    int64_t GetGadgetState() override;            // the handle of the image shown, or 0
};

// The image gadget's view.
class Zk_NSImageView : public ZkGadgetView {
  public:
    int64_t Zk_tag = 0;
    bool Zk_alreadyDestroyed = false;
    int32_t DragEventSent = 0;

    void setTag(int64_t tag) override { Zk_tag = tag; }
    void setAlreadyDestroyed(bool destroyed) override { Zk_alreadyDestroyed = destroyed; }
    int64_t tag() override { return Zk_tag; }
    void viewWillBeDestroyed(NativeView view) override;
    uint32_t draggingEntered(NativeView view, const DragInfo& info) override;
    uint32_t draggingUpdated(NativeView view, const DragInfo& info) override;
    bool prepareForDragOperation(NativeView view, const DragInfo& info) override;
    bool performDragOperation(NativeView view, const DragInfo& info) override;
    bool mouseDown(NativeView view, const PlatformEvent& event) override;
    bool mouseUp(NativeView view, const PlatformEvent& event) override;
    bool rightMouseDown(NativeView view, const PlatformEvent& event) override;
    bool rightMouseUp(NativeView view, const PlatformEvent& event) override;
    void concludeDragOperation(NativeView, const DragInfo&) override {}
    bool mouseDragged(NativeView view, const PlatformEvent& event) override;
};

// Creation: the gadget goes into the current gadget list. 0 on failure (no current gadget
// list among others); otherwise the view as a number, or the number for AnyNumber ----------------
int64_t CreateImageGadget(int64_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                          NativeImage image);  // a null image leaves it empty at that size
int64_t CreateImageGadgetWithFlags(int64_t number, int32_t x, int32_t y, int32_t width,
                                   int32_t height, NativeImage image, uint32_t flags);

}  // namespace vorlune
