#pragma once
// Numbered gadgets: a view in a window and the behaviour object that answers the gadget
// operations, their registry, teardown, and the operations by gadget number.

#include <cstdint>

#include "platform/control.h"
#include "platform/handles.h"
#include "platform/pixel_store.h"
#include "platform/text.h"
#include "platform/view.h"
#include "runtime/core/registry.h"
#include "runtime/events/event_queue.h"

namespace vorlune {

constexpr int32_t kImageGadgetType = 9;
constexpr int32_t KeepValue = -65535;  // as a coordinate of ResizeGadget: keep the current one

// Modes of GadgetX and GadgetY.
constexpr int32_t kGadgetInScreen = 1;  // from the main screen's top-left corner
constexpr int32_t kGadgetInWindow = 2;  // from the window content's top-left corner
                                        // any other mode: in the superview

class ZkGadgetFunctions;

// The first field is the in-use word.
struct GadgetRecord {
    NativeView view;               // the working view
    NativeView container;          // the outermost view, placed in the window; geometry, hiding and
                                   // removal act on it
    ZkGadgetFunctions* functions;  // owned
    int64_t windowNumber;
    int32_t gadgetType;
    uint32_t gadgetFlags;  // their meaning is the kind's
    void* gadgetData;      // for operations of kinds outside this runtime; never touched here
};

// What every gadget view is: it keeps its gadget's number and knows whether the record has
// already been torn down, so that its own destruction does not tear it down again.
class ZkGadgetView : public ViewDelegate {
  public:
    virtual void setTag(int64_t tag) = 0;
    virtual int64_t tag() = 0;
    virtual void setAlreadyDestroyed(bool destroyed) = 0;
};

ZkGadgetView* GadgetViewOf(NativeView view);  // null for a view that is no gadget's

// The behaviour of one gadget. Every operation has a harmless default; a kind overrides what
// it supports. "Control only" defaults act only when the view is a control.
class ZkGadgetFunctions : public ControlTarget {
  public:
    int64_t GadgetID = 0;  // the record's address for AnyNumber gadgets
    GadgetRecord* Gadget = nullptr;
    int32_t isNSControl = 0;

    ~ZkGadgetFunctions() override = default;

    GadgetRecord* setup(int64_t number, int32_t type, NativeView view, NativeView container,
                        uint32_t flags);  // null when the record cannot be made
    void reuse(GadgetRecord* record, int32_t type);
    void controlAction(NativeView control) override { EventHandler(control); }

    virtual void SendEvent(int64_t subtype);
    virtual void EventHandler(NativeView sender);
    virtual void FreeGadget() {}
    virtual void ActivateGadget();
    virtual void GadgetToolTip(const char16_t* text);
    virtual void HideGadget(int32_t hidden);
    virtual void DisableGadget(int32_t disabled);
    virtual int64_t GadgetX(int32_t mode);
    virtual int64_t GadgetY(int32_t mode);
    virtual int64_t GadgetWidth();
    virtual int64_t GadgetHeight();
    virtual void ResizeGadget(int32_t x, int32_t y, int32_t width, int32_t height);
    virtual void SetGadgetFont(TextFont font);
    virtual TextFont GetGadgetFont();
    virtual int64_t AddGadgetItem(int32_t, const char16_t*, NativeImage, uint32_t) { return 0; }
    virtual void RemoveGadgetItem(int32_t) {}
    virtual void ClearGadgetItems() {}
    virtual int64_t CountGadgetItems() { return 0; }
    virtual void AddGadgetColumn(int32_t, const char16_t*, int32_t) {}
    virtual void RemoveGadgetColumn(int32_t) {}
    virtual void SetGadgetState(int64_t state);
    virtual int64_t GetGadgetState();
    virtual void SetGadgetItemState(int32_t, int64_t) {}
    virtual int64_t GetGadgetItemState(int32_t) { return 0; }
    virtual void SetGadgetItemImage(int32_t, NativeImage) {}
    virtual void SetGadgetText(const char16_t* text);
    virtual const char16_t* GetGadgetText();  // never null; valid until the text changes
    virtual void SetGadgetItemText(int32_t, const char16_t*, int32_t) {}
    virtual const char16_t* GetGadgetItemText(int32_t, int32_t) { return u""; }
    virtual void SetGadgetAttribute(int32_t, int64_t) {}
    virtual int64_t GetGadgetAttribute(int32_t) { return 0; }
    virtual void SetGadgetItemAttribute(int32_t, int32_t, int64_t, int32_t) {}
    virtual int64_t GetGadgetItemAttribute(int32_t, int32_t, int32_t) { return 0; }
    virtual void SetGadgetColor(int32_t, int64_t) {}
    virtual int64_t GetGadgetColor(int32_t) { return 0; }
    virtual void SetGadgetItemColor(int32_t, int32_t, int64_t, int32_t) {}
    virtual int64_t GetGadgetItemColor(int32_t, int32_t, int32_t) { return 0; }
    virtual void SetGadgetItemData(int32_t, int64_t) {}
    virtual int64_t GetGadgetItemData(int32_t) { return 0; }
    virtual void OpenGadgetList(int32_t) {}
};

// Start hook -------------------------------------------------------------------------------------
void InitGadgetSystem();  // the registry, growth step 16; closing windows destroy their gadgets
ObjectRegistry* GadgetRegistry();

// Lifetime ---------------------------------------------------------------------------------------
void RemoveGadget(int64_t number);          // out of its window, then torn down; AnyNumber: all
void DestroyGadgetRecord(int64_t number);   // bindings, queued events, behaviour and record
void DestroyWindowGadgets(int64_t window);  // the views go with the window
int32_t RemoveGadgetEventBinding(int64_t number, EventCallback callback,
                                 int64_t subtype = -1);  // 1 when one was removed

// Operations by number: nothing happens and 0, null or "" comes back without such a gadget ------
GadgetRecord* GetGadgetRecord(int64_t number);
NativeView GadgetID(int64_t number);  // the gadget's view
int32_t GadgetType(int64_t number);
void ActivateGadget(int64_t number);
void GadgetToolTip(int64_t number, const char16_t* text);
void HideGadget(int64_t number, int32_t hidden);
void DisableGadget(int64_t number, int32_t disabled);
int64_t GadgetX(int64_t number, int32_t mode = 0);
int64_t GadgetY(int64_t number, int32_t mode = 0);
int64_t GadgetWidth(int64_t number);
int64_t GadgetHeight(int64_t number);
void ResizeGadget(int64_t number, int32_t x, int32_t y, int32_t width, int32_t height);
void SetGadgetFont(int64_t number, TextFont font);
TextFont GetGadgetFont(int64_t number);
void SetGadgetState(int64_t number, int64_t state);
int64_t GetGadgetState(int64_t number);
void SetGadgetText(int64_t number, const char16_t* text);
char16_t* GetGadgetText(int64_t number, int32_t offset);  // written at offset in the temporary
                                                          // strings; null and nothing written
                                                          // without such a gadget

// Geometry shared with the gadget kinds ----------------------------------------------------------
PlatformRect ViewRectInContent(NativeView view);  // the frame in its window's content view

}  // namespace vorlune
