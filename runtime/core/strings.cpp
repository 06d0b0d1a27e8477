#include "runtime/core/strings.h"

namespace vorlune {

void InitTempStrings() {}
void FreeTempStrings() {}
void InitStrings() {}

}  // namespace vorlune
