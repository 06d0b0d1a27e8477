#include "runtime/core/version.h"

namespace vorlune {

// Compiled into the library, so a program can tell the runtime it links from the headers it was
// built with (VORLUNE_VERSION).
const char* VorluneVersion() {
    return VORLUNE_VERSION;
}

}  // namespace vorlune
