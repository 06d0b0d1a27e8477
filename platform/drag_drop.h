#pragma once
// Drag and drop onto views: what a drag offers, and which views take drops. A view's delegate
// answers the drag (platform/view.h).

#include <cstdint>

#include "platform/handles.h"
#include "platform/pixel_store.h"

namespace vorlune {

// Operations a drag source allows and a destination answers -----------------------------------
constexpr uint32_t kDragOperationNone = 0;
constexpr uint32_t kDragOperationCopy = 1;
constexpr uint32_t kDragOperationLink = 2;
constexpr uint32_t kDragOperationGeneric = 4;
constexpr uint32_t kDragOperationMove = 16;

// Kinds of data a drag can carry ---------------------------------------------------------------
constexpr uint32_t kDragImage = 1;      // image data
constexpr uint32_t kDragFileNames = 2;  // a list of file names
constexpr uint32_t kDragString = 4;     // plain text

// One drag as its destination sees it. A kind may be offered and still come without data (the
// source failed to deliver it); every pointer is the platform's, valid during the call.
struct DragInfo {
    uint32_t sourceOperationMask;
    double x, y;     // the pointer in the window's content view, y downwards
    uint32_t kinds;  // offered kinds, bits as above
    NativeImage image;
    const char16_t* const* fileNames;  // fileNameCount names
    int32_t fileNameCount;
    const char16_t* string;
};

// Destinations -----------------------------------------------------------------------------------
void SetViewAcceptsDrops(NativeView view, bool accepts);  // views start without
bool ViewAcceptsDrops(NativeView view);

}  // namespace vorlune
