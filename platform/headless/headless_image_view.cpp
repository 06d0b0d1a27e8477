// Image views of the in-memory platform, which are its controls: a held image, a frame style
// and the control values, kept as they are set.
#include "platform/control.h"
#include "platform/headless/headless_state.h"
#include "platform/image_view.h"
#include "platform/view.h"

namespace vorlune {

using headless::HandleOf;
using headless::View;
using headless::ViewKind;
using headless::ViewOf;

namespace {

View* ImageViewOf(NativeView handle) {
    return ViewOf(handle, ViewKind::kImage);
}

void RedrawOnRecache(void* observer, NativeImage) {
    static_cast<View*>(observer)->needsDisplay = true;
}

void DropImage(View* view) {
    if (view->image == nullptr) return;
    RemoveRecacheObserver(view->image, RedrawOnRecache, view);
    ReleaseNativeImage(view->image);
    view->image = nullptr;
}

}  // namespace

namespace headless {

void ReleaseViewResources(View* view) {
    DropImage(view);
    if (GetState().currentGLView == view) GetState().currentGLView = nullptr;
}

}  // namespace headless

// Image views -------------------------------------------------------------------------------------

NativeView CreateImageView(PlatformRect frame) {
    auto* view = new View{};
    view->frame = frame;
    view->kind = ViewKind::kImage;
    return HandleOf(view);
}

bool IsImageView(NativeView view) {
    return ImageViewOf(view) != nullptr;
}

void SetImageViewImage(NativeView handle, NativeImage image) {
    View* view = ImageViewOf(handle);
    if (view == nullptr || view->image == image) return;
    DropImage(view);
    if (image != nullptr) {
        RetainNativeImage(image);
        view->image = image;
        AddRecacheObserver(image, RedrawOnRecache, view);
    }
    view->needsDisplay = true;
}

NativeImage ImageViewImage(NativeView view) {
    return ImageViewOf(view) != nullptr ? ImageViewOf(view)->image : nullptr;
}

void SetImageViewFrameStyle(NativeView handle, ImageFrameStyle style) {
    if (View* view = ImageViewOf(handle)) {
        view->frameStyle = style;
        view->needsDisplay = true;
    }
}

ImageFrameStyle ImageViewFrameStyle(NativeView view) {
    return ImageViewOf(view) != nullptr ? ImageViewOf(view)->frameStyle : ImageFrameStyle::kNone;
}

// Controls ----------------------------------------------------------------------------------------

bool IsControlView(NativeView view) {
    return ImageViewOf(view) != nullptr;
}

void SetControlTarget(NativeView view, ControlTarget* target) {
    if (View* control = ImageViewOf(view)) control->target = target;
}

ControlTarget* GetControlTarget(NativeView view) {
    return ImageViewOf(view) != nullptr ? ImageViewOf(view)->target : nullptr;
}

void SetControlEnabled(NativeView view, bool enabled) {
    if (View* control = ImageViewOf(view)) control->disabled = !enabled;
}

bool IsControlEnabled(NativeView view) {
    return ImageViewOf(view) != nullptr && !ImageViewOf(view)->disabled;
}

void ValidateControlEditing(NativeView) {}  // image views are never edited

void SetControlFont(NativeView view, TextFont font) {
    if (View* control = ImageViewOf(view)) control->font = font;
}

TextFont ControlFont(NativeView view) {
    return ImageViewOf(view) != nullptr ? ImageViewOf(view)->font : nullptr;
}

void SetControlIntValue(NativeView view, int32_t value) {
    if (View* control = ImageViewOf(view)) control->intValue = value;
}

int32_t ControlIntValue(NativeView view) {
    return ImageViewOf(view) != nullptr ? ImageViewOf(view)->intValue : 0;
}

void SetControlStringValue(NativeView view, const char16_t* text) {
    if (View* control = ImageViewOf(view)) control->stringValue = text != nullptr ? text : u"";
}

const char16_t* ControlStringValue(NativeView view) {
    return ImageViewOf(view) != nullptr ? ImageViewOf(view)->stringValue.c_str() : u"";
}

}  // namespace vorlune
