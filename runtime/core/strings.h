#pragma once
// UTF-16 strings, the temporary string buffer and number formatting.

namespace vorlune {

// Temporary string buffer ---------------------------------------------------------------------
void InitTempStrings();  // write position 0, capacity 16 bytes
void FreeTempStrings();
void InitStrings();      // start hook with no work

}  // namespace vorlune
