#pragma once
// Controls: views with an enabled state, a font, an integer and a text value, and a target
// that hears the control's action.

#include <cstdint>

#include "platform/handles.h"
#include "platform/text.h"

namespace vorlune {

class ControlTarget {
  public:
    virtual ~ControlTarget() = default;
    virtual void controlAction(NativeView control) = 0;
};

// Every operation but IsControlView does nothing (or answers 0, null, "") for a view that is
// not a control.
bool IsControlView(NativeView view);
void SetControlTarget(NativeView view, ControlTarget* target);  // not owned; null removes it
ControlTarget* GetControlTarget(NativeView view);
void SetControlEnabled(NativeView view, bool enabled);  // controls start enabled
bool IsControlEnabled(NativeView view);
void ValidateControlEditing(NativeView view);         // ends an edit in progress, keeping its text
void SetControlFont(NativeView view, TextFont font);  // not owned; null: the default font
TextFont ControlFont(NativeView view);
void SetControlIntValue(NativeView view, int32_t value);
int32_t ControlIntValue(NativeView view);
void SetControlStringValue(NativeView view, const char16_t* text);  // null: empty
const char16_t* ControlStringValue(NativeView view);  // the view's, valid until it changes

}  // namespace vorlune
