#pragma once
// The main screen.

#include "platform/handles.h"

namespace vorlune {

PlatformRect MainScreenFrame();     // all zero when there is no main screen
PlatformRect MainScreenWorkArea();  // the frame less panels and docks; all zero likewise

}  // namespace vorlune
