#pragma once
// The drop protocol of the runtime's views: what they answer a drag, and the payload that a
// drop event carries.

#include <cstdint>

#include "platform/drag_drop.h"
#include "platform/handles.h"
#include "platform/pixel_store.h"

namespace vorlune {

// Formats and actions of a drop ------------------------------------------------------------------
constexpr uint32_t kDropFormatText = 0x54455854;       // 'TEXT'
constexpr uint32_t kDropFormatImage = 0x50494354;      // 'PICT'
constexpr uint32_t kDropFormatFileNames = 0x68667320;  // 'hfs '
constexpr uint32_t kDropActionCopy = 1;
constexpr uint32_t kDropActionLink = 2;
constexpr uint32_t kDropActionMove = 16;

// The payload of drop events (types 10 and 11), a runtime block.
struct DropPayload {
    uint32_t dropFormat;
    uint32_t dropAction;
    int32_t dropX;          // in the target view
    int32_t dropY;          // from the view's top, downwards
    char16_t* dropText;     // owned block: the text, or the file names joined by "\n"; else null
    NativeImage dropImage;  // owned reference; null but for images
    void* dropExtra;        // owned block; null here
};

class ZkDragDrop {
  public:
    static uint32_t draggingEntered(NativeView view, const DragInfo& info);  // the operation
    static uint32_t draggingUpdated(NativeView view, const DragInfo& info);
    static bool prepareForDragOperation(NativeView view, const DragInfo& info);
    // Posts type 10 for gadget -1 (object and window: windowId), otherwise type 11 for the
    // gadget in the view's window. False, and nothing posted, when the drag has no usable data.
    static bool performDragOperation(NativeView view, const DragInfo& info, int64_t gadgetId,
                                     int64_t windowId);
};

void FreeDropPayload(void* payload);  // the payload's free function; null does nothing

}  // namespace vorlune
