#include "runtime/gadgets/drag_drop.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/events/event_queue.h"
#include "runtime/gadgets/gadgets.h"

namespace vorlune {

namespace {

constexpr int64_t kMaxDropTextUnits = int64_t{1} << 40;

// The kind taken from a drag, in order of preference; 0 when it offers none.
uint32_t PreferredKind(uint32_t kinds) {
    for (uint32_t kind : {kDragImage, kDragFileNames, kDragString}) {
        if ((kinds & kind) != 0) return kind;
    }
    return 0;
}

bool HasData(const DragInfo& info, uint32_t kind) {
    switch (kind) {
        case kDragImage:
            return info.image != nullptr;
        case kDragFileNames:
            return info.fileNames != nullptr && info.fileNameCount >= 0;
        case kDragString:
            return info.string != nullptr;
        default:
            return false;
    }
}

// A runtime block holding the texts joined by the separator; null when out of memory.
char16_t* JoinTexts(const char16_t* const* texts, int32_t count, char16_t separator) {
    int64_t units = 1;
    for (int32_t i = 0; i < count; ++i) {
        units += StringLength(texts[i]) + (i > 0 ? 1 : 0);
        if (units > kMaxDropTextUnits) return nullptr;
    }
    auto* joined = static_cast<char16_t*>(AllocBlock(static_cast<uint64_t>(units) * 2));
    if (joined == nullptr) return nullptr;
    char16_t* end = joined;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0) *end++ = separator;
        const int64_t length = StringLength(texts[i]);
        if (length > 0) std::memcpy(end, texts[i], static_cast<size_t>(length) * 2);
        end += length;
    }
    return joined;
}

NativeImage CopyImage(NativeImage image) {
    NativeImage copy = CreateNativeImage(NativeImageWidth(image), NativeImageHeight(image));
    if (copy != nullptr) {
        std::memcpy(NativeImagePixels(copy), NativeImagePixels(image),
                    static_cast<size_t>(NativeImageBytesPerRow(image)) *
                        static_cast<size_t>(NativeImageHeight(image)));
    }
    return copy;
}

// The payload's data for the kind; false when it cannot be copied.
bool FillData(DropPayload* payload, const DragInfo& info, uint32_t kind) {
    switch (kind) {
        case kDragImage:
            payload->dropFormat = kDropFormatImage;
            payload->dropImage = CopyImage(info.image);
            return payload->dropImage != nullptr;
        case kDragFileNames:
            payload->dropFormat = kDropFormatFileNames;
            payload->dropText = JoinTexts(info.fileNames, info.fileNameCount, u'\n');
            return payload->dropText != nullptr;
        default:
            payload->dropFormat = kDropFormatText;
            payload->dropText = JoinTexts(&info.string, 1, u'\n');
            return payload->dropText != nullptr;
    }
}

int32_t TruncatedCoordinate(double value) {
    if (!(std::fabs(value) < 2147483647.0)) return 0;
    return static_cast<int32_t>(value);
}

uint32_t DropActionFor(uint32_t mask) {
    if ((mask & kDragOperationMove) != 0) return kDropActionMove;
    if ((mask & kDragOperationLink) != 0) return kDropActionLink;
    return kDropActionCopy;
}

}  // namespace

uint32_t ZkDragDrop::draggingEntered(NativeView, const DragInfo& info) {
    const uint32_t mask = info.sourceOperationMask;
    if ((mask & kDragOperationGeneric) != 0) return kDragOperationGeneric;
    if ((mask & kDragOperationCopy) != 0) return kDragOperationCopy;
    if ((mask & kDragOperationMove) != 0) return kDragOperationMove;
    return mask & kDragOperationLink;
}

uint32_t ZkDragDrop::draggingUpdated(NativeView view, const DragInfo& info) {
    return draggingEntered(view, info);
}

bool ZkDragDrop::prepareForDragOperation(NativeView, const DragInfo&) {
    return true;
}

bool ZkDragDrop::performDragOperation(NativeView view, const DragInfo& info, int64_t gadgetId,
                                      int64_t windowId) {
    const uint32_t kind = PreferredKind(info.kinds);
    if (!HasData(info, kind)) return false;
    auto* payload = static_cast<DropPayload*>(AllocBlock(sizeof(DropPayload)));
    if (payload == nullptr) return false;
    // Views are flipped: the point in the view already counts y from its top.
    const PlatformRect rect = ViewRectInContent(view);
    payload->dropX = TruncatedCoordinate(info.x - rect.x);
    payload->dropY = TruncatedCoordinate(info.y - rect.y);
    payload->dropAction = DropActionFor(info.sourceOperationMask);
    if (!FillData(payload, info, kind)) {
        FreeDropPayload(payload);
        return false;
    }
    if (gadgetId == -1) {
        PostEventWithPayload(kEventWindowDrop, windowId, windowId, 0, payload, FreeDropPayload);
    } else {
        PostEventWithPayload(kEventGadgetDrop, gadgetId, WindowNumberOf(ViewWindow(view)), 0,
                             payload, FreeDropPayload);
    }
    return true;
}

void FreeDropPayload(void* block) {
    auto* payload = static_cast<DropPayload*>(block);
    if (payload == nullptr) return;
    ReleaseNativeImage(payload->dropImage);
    FreeBlock(payload->dropText);
    FreeBlock(payload->dropExtra);
    FreeBlock(payload);
}

}  // namespace vorlune
