#pragma once
// The main screen.

#include "platform/handles.h"

namespace vorlune {

PlatformRect MainScreenFrame();  // all zero when there is no main screen

}  // namespace vorlune
