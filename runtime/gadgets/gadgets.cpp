#include "runtime/gadgets/gadgets.h"

#include <cmath>

#include "platform/screen.h"
#include "platform/window.h"
#include "runtime/core/strings.h"
#include "runtime/events/gadget_list.h"
#include "runtime/events/windows.h"
#include "runtime/gadgets/drag_drop.h"

namespace vorlune {

namespace {

constexpr int32_t kGadgetRegistryGrowBy = 16;

ObjectRegistry* gadgetRegistry = nullptr;

constexpr WindowDropProtocol kWindowDropProtocol = {
    ZkDragDrop::draggingEntered, ZkDragDrop::draggingUpdated, ZkDragDrop::prepareForDragOperation,
    ZkDragDrop::performDragOperation};

int64_t Truncated(double value) {
    if (!(std::fabs(value) < 9.0e18)) return 0;  // NaN or beyond the integers
    return static_cast<int64_t>(value);
}

ZkGadgetFunctions* FunctionsOf(int64_t number) {
    const GadgetRecord* record = GetGadgetRecord(number);
    return record != nullptr ? record->functions : nullptr;
}

}  // namespace

ZkGadgetView* GadgetViewOf(NativeView view) {
    return view != nullptr ? dynamic_cast<ZkGadgetView*>(GetViewDelegate(view)) : nullptr;
}

PlatformRect ViewRectInContent(NativeView view) {
    const PlatformRect frame = ViewFrame(view);
    PlatformRect rect{0, 0, frame.width, frame.height};
    for (NativeView v = view; v != nullptr && ViewSuperview(v) != nullptr; v = ViewSuperview(v)) {
        const PlatformRect step = ViewFrame(v);
        rect.x += step.x;
        rect.y += step.y;
    }
    return rect;
}

// ZkGadgetFunctions ------------------------------------------------------------------------------

GadgetRecord* ZkGadgetFunctions::setup(int64_t number, int32_t type, NativeView view,
                                       NativeView container, uint32_t flags) {
    if (gadgetRegistry == nullptr || view == nullptr) return nullptr;
    // An existing gadget with the number is removed here, before the new one is bound.
    auto* record = static_cast<GadgetRecord*>(AllocateObject(gadgetRegistry, number));
    if (record == nullptr) return nullptr;
    Gadget = record;
    GadgetID =
        number == AnyNumber ? static_cast<int64_t>(reinterpret_cast<intptr_t>(record)) : number;
    isNSControl = IsControlView(view) ? 1 : 0;
    *record = GadgetRecord{view, container, this,   WindowNumberOf(ZkGadgetList::currentWindow()),
                           type, flags,     nullptr};
    if (ZkGadgetView* gadgetView = GadgetViewOf(view)) gadgetView->setTag(GadgetID);
    if (isNSControl != 0) SetControlTarget(view, this);
    return record;
}

void ZkGadgetFunctions::reuse(GadgetRecord* record, int32_t type) {
    if (record->functions != this) delete record->functions;
    Gadget = record;
    record->functions = this;
    record->gadgetType = type;
    ZkGadgetView* gadgetView = GadgetViewOf(record->view);
    GadgetID = gadgetView != nullptr ? gadgetView->tag() : 0;
    isNSControl = IsControlView(record->view) ? 1 : 0;
    if (isNSControl != 0) SetControlTarget(record->view, this);
}

void ZkGadgetFunctions::SendEvent(int64_t subtype) {
    if (Gadget != nullptr) PostEvent(kEventGadget, GadgetID, Gadget->windowNumber, subtype);
}

void ZkGadgetFunctions::EventHandler(NativeView) {
    SendEvent(0);
}

void ZkGadgetFunctions::ActivateGadget() {
    const NativeWindow window = ViewWindow(Gadget->view);
    if (window == nullptr) return;
    MakeWindowKey(window);
    MakeFirstResponder(window, Gadget->view);
}

void ZkGadgetFunctions::GadgetToolTip(const char16_t* text) {
    SetViewToolTip(Gadget->view, text);
}

void ZkGadgetFunctions::HideGadget(int32_t hidden) {
    SetViewHidden(Gadget->container, hidden != 0);
}

void ZkGadgetFunctions::DisableGadget(int32_t disabled) {
    if (isNSControl == 0) return;
    ValidateControlEditing(Gadget->view);
    SetControlEnabled(Gadget->view, disabled == 0);
}

// Window positions are in the coordinates of all screens together; mode 1 counts from the main
// screen's top-left corner, which need not be their origin.
int64_t ZkGadgetFunctions::GadgetX(int32_t mode) {
    const NativeView container = Gadget->container;
    if (mode == kGadgetInScreen) {
        const PlatformRect screen = MainScreenFrame();
        const PlatformRect content = WindowContentRect(ViewWindow(container));
        return Truncated(content.x + ViewRectInContent(container).x - screen.x);
    }
    if (mode == kGadgetInWindow) return Truncated(ViewRectInContent(container).x);
    return Truncated(ViewFrame(container).x);
}

// Views are flipped here: their origin already is the top-left corner, y downwards.
int64_t ZkGadgetFunctions::GadgetY(int32_t mode) {
    const NativeView container = Gadget->container;
    if (mode == kGadgetInScreen) {
        const PlatformRect screen = MainScreenFrame();
        if (screen.height <= 0) return 0;
        const PlatformRect content = WindowContentRect(ViewWindow(container));
        return Truncated(content.y + ViewRectInContent(container).y - screen.y);
    }
    if (mode == kGadgetInWindow) return Truncated(ViewRectInContent(container).y);
    return Truncated(ViewFrame(container).y);
}

int64_t ZkGadgetFunctions::GadgetWidth() {
    return Truncated(ViewFrame(Gadget->container).width);
}

int64_t ZkGadgetFunctions::GadgetHeight() {
    return Truncated(ViewFrame(Gadget->container).height);
}

void ZkGadgetFunctions::ResizeGadget(int32_t x, int32_t y, int32_t width, int32_t height) {
    PlatformRect frame = ViewFrame(Gadget->container);
    if (x != KeepValue) frame.x = x;
    if (y != KeepValue) frame.y = y;
    if (width != KeepValue) frame.width = width;
    if (height != KeepValue) frame.height = height;
    SetViewFrame(Gadget->container, frame);
    SetViewNeedsDisplay(Gadget->container);
}

void ZkGadgetFunctions::SetGadgetFont(TextFont font) {
    if (isNSControl != 0) SetControlFont(Gadget->view, font);
}

TextFont ZkGadgetFunctions::GetGadgetFont() {
    return isNSControl != 0 ? ControlFont(Gadget->view) : nullptr;
}

void ZkGadgetFunctions::SetGadgetState(int64_t state) {
    if (isNSControl != 0) SetControlIntValue(Gadget->view, static_cast<int32_t>(state));
}

int64_t ZkGadgetFunctions::GetGadgetState() {
    return isNSControl != 0 ? ControlIntValue(Gadget->view) : 0;
}

void ZkGadgetFunctions::SetGadgetText(const char16_t* text) {
    if (isNSControl != 0) SetControlStringValue(Gadget->view, text);
}

const char16_t* ZkGadgetFunctions::GetGadgetText() {
    return isNSControl != 0 ? ControlStringValue(Gadget->view) : u"";
}

// Registry and lifetime --------------------------------------------------------------------------

void InitGadgetSystem() {
    CreateObjectRegistryOnce(&gadgetRegistry, sizeof(GadgetRecord), kGadgetRegistryGrowBy,
                             RemoveGadget);
    SetWindowGadgetsDestroyer(DestroyWindowGadgets);
    SetWindowDropProtocol(&kWindowDropProtocol);
}

ObjectRegistry* GadgetRegistry() {
    return gadgetRegistry;
}

GadgetRecord* GetGadgetRecord(int64_t number) {
    if (gadgetRegistry == nullptr) return nullptr;
    return static_cast<GadgetRecord*>(GetObject(gadgetRegistry, number));
}

void RemoveGadget(int64_t number) {
    if (gadgetRegistry == nullptr) return;
    if (number == AnyNumber) {
        FreeAllObjects(gadgetRegistry);
        return;
    }
    const GadgetRecord* record = GetGadgetRecord(number);
    if (record == nullptr) return;
    // The container goes at once; its gadget view tears the record down as it goes.
    if (record->container != nullptr) RemoveFromSuperview(record->container);
    DestroyGadgetRecord(number);
}

void DestroyGadgetRecord(int64_t number) {
    GadgetRecord* record = GetGadgetRecord(number);
    if (record == nullptr) return;
    RemoveGadgetEventBinding(number, nullptr, -1);
    RemoveEvents(kEventGadget, number, -1, -1);
    RemoveEvents(kEventGadgetDrop, number, -1, -1);
    if (ZkGadgetView* gadgetView = GadgetViewOf(record->view)) {
        gadgetView->setAlreadyDestroyed(true);
    }
    if (ZkGadgetFunctions* functions = record->functions) {
        record->functions = nullptr;
        functions->FreeGadget();
        // The view may outlive the record (it goes with its window): it must not act on a
        // behaviour object that is gone.
        if (GetControlTarget(record->view) == functions) SetControlTarget(record->view, nullptr);
        delete functions;
    }
    FreeObject(gadgetRegistry, number);
}

void DestroyWindowGadgets(int64_t window) {
    if (gadgetRegistry == nullptr) return;
    ResetObjectIteration(gadgetRegistry);
    int64_t number = 0;
    while (void* record = NextObject(gadgetRegistry, &number)) {
        if (static_cast<GadgetRecord*>(record)->windowNumber == window) {
            DestroyGadgetRecord(number);
        }
    }
    EndObjectIteration(gadgetRegistry);
}

int32_t RemoveGadgetEventBinding(int64_t number, EventCallback callback, int64_t subtype) {
    const GadgetRecord* record = GetGadgetRecord(number);
    if (record == nullptr) return 0;
    return RemoveEventBinding(kEventGadget, callback, record->windowNumber, number, subtype);
}

// Operations by number ---------------------------------------------------------------------------

NativeView GadgetID(int64_t number) {
    const GadgetRecord* record = GetGadgetRecord(number);
    return record != nullptr ? record->view : nullptr;
}

int32_t GadgetType(int64_t number) {
    const GadgetRecord* record = GetGadgetRecord(number);
    return record != nullptr ? record->gadgetType : 0;
}

void ActivateGadget(int64_t number) {
    if (ZkGadgetFunctions* functions = FunctionsOf(number)) functions->ActivateGadget();
}

void GadgetToolTip(int64_t number, const char16_t* text) {
    if (ZkGadgetFunctions* functions = FunctionsOf(number)) functions->GadgetToolTip(text);
}

void HideGadget(int64_t number, int32_t hidden) {
    if (ZkGadgetFunctions* functions = FunctionsOf(number)) functions->HideGadget(hidden);
}

void DisableGadget(int64_t number, int32_t disabled) {
    if (ZkGadgetFunctions* functions = FunctionsOf(number)) functions->DisableGadget(disabled);
}

int64_t GadgetX(int64_t number, int32_t mode) {
    ZkGadgetFunctions* functions = FunctionsOf(number);
    return functions != nullptr ? functions->GadgetX(mode) : 0;
}

int64_t GadgetY(int64_t number, int32_t mode) {
    ZkGadgetFunctions* functions = FunctionsOf(number);
    return functions != nullptr ? functions->GadgetY(mode) : 0;
}

int64_t GadgetWidth(int64_t number) {
    ZkGadgetFunctions* functions = FunctionsOf(number);
    return functions != nullptr ? functions->GadgetWidth() : 0;
}

int64_t GadgetHeight(int64_t number) {
    ZkGadgetFunctions* functions = FunctionsOf(number);
    return functions != nullptr ? functions->GadgetHeight() : 0;
}

void ResizeGadget(int64_t number, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (ZkGadgetFunctions* functions = FunctionsOf(number)) {
        functions->ResizeGadget(x, y, width, height);
    }
}

void SetGadgetFont(int64_t number, TextFont font) {
    if (ZkGadgetFunctions* functions = FunctionsOf(number)) functions->SetGadgetFont(font);
}

TextFont GetGadgetFont(int64_t number) {
    ZkGadgetFunctions* functions = FunctionsOf(number);
    return functions != nullptr ? functions->GetGadgetFont() : nullptr;
}

void SetGadgetState(int64_t number, int64_t state) {
    if (ZkGadgetFunctions* functions = FunctionsOf(number)) functions->SetGadgetState(state);
}

int64_t GetGadgetState(int64_t number) {
    ZkGadgetFunctions* functions = FunctionsOf(number);
    return functions != nullptr ? functions->GetGadgetState() : 0;
}

void SetGadgetText(int64_t number, const char16_t* text) {
    if (ZkGadgetFunctions* functions = FunctionsOf(number)) functions->SetGadgetText(text);
}

char16_t* GetGadgetText(int64_t number, int32_t offset) {
    ZkGadgetFunctions* functions = FunctionsOf(number);
    if (functions == nullptr) return nullptr;
    SetTempPosition(offset);
    AppendLiteral(functions->GetGadgetText());
    return TempStringAt(offset);
}

}  // namespace vorlune
