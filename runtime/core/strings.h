#pragma once
// UTF-16 strings, the temporary string buffer and number formatting.

#include <cstdint>

namespace vorlune {

// Strings are zero-terminated UTF-16 in host byte order; a null string reads as empty.

// Temporary string buffer ---------------------------------------------------------------------
// String results are written at a byte offset the caller passes (normally tempPos) and leave
// tempPos on their terminator, so consecutive results concatenate. Keep offsets, not
// addresses: the store moves when it grows.
struct TempStringBuffer {
    int64_t tempPos;       // byte offset of the terminator of the text being built
    int64_t tempCapacity;  // usable bytes
    char* tempStore;       // tempCapacity + 10 bytes once it has grown
};

TempStringBuffer& TempStrings();         // the process-wide buffer
char16_t* TempStringAt(int64_t offset);  // tempStore + offset, valid until the next reservation

void InitTempStrings();  // write position 0, capacity 16 bytes
void FreeTempStrings();
void InitStrings();  // start hook with no work

// The buffer protocol treats a bad count or offset as a program fault: one line on standard
// error, then abort. So does a reservation that cannot be allocated.
char16_t* ReserveTempString(int32_t count, int32_t offset);  // tempPos = offset + 2 x count
void ReleaseTempChars(int32_t count);                        // tempPos -= 2 x count
void SetTempPosition(int32_t offset);                        // also terminates the text there

// String results -------------------------------------------------------------------------------
void AppendLiteral(const char16_t* text);                           // at tempPos
void AppendUTF8(const char* text, int32_t offset);                  // stops at malformed input
void FloatToString(float value, int32_t decimals, int32_t offset);  // decimals -1: up to 10

// Plain strings ---------------------------------------------------------------------------------
int64_t StringLength(const char16_t* text);
char16_t* StringCopy(char16_t* destination, const char16_t* source);  // returns destination
char16_t* CopyChars(char16_t* destination, const char16_t* source,
                    int64_t count);  // terminator's address; null for a negative count
void DuplicateString(char16_t** target, const char16_t* source);  // malloc; null stored on failure
int32_t StringCompare(const char16_t* a, const char16_t* b);      // units read as signed 16-bit
int32_t StringCompareNoCase(const char16_t* a, const char16_t* b);  // on LowerCaseUnit, signed
char16_t LowerCaseUnit(char16_t unit);  // towlower of the unit; itself when that leaves 16 bits

// Formatting ------------------------------------------------------------------------------------
// printf conversions over a UTF-16 format; %s takes UTF-8 bytes. Returns units written without
// the terminator, or with a null destination the UTF-8 byte length; 0 when out of memory.
int32_t FormatString(char16_t* destination, const char16_t* format, ...);
int32_t IntToDecimal(int32_t value, char* destination);  // 8-bit text; at most 12 bytes written

// Conversions -------------------------------------------------------------------------------------
constexpr int32_t kCodePageLatin1 = 0;
constexpr int32_t kCodePageUTF8 = 65001;

// Source count -1 converts through the terminator. With a null destination the result is the
// size needed; otherwise what was written, never past the destination size. Other code pages
// and negative counts or sizes yield 0.
int32_t WideToMultiByte(int32_t codePage, int32_t flags, const char16_t* source,
                        int32_t sourceCount, char* destination, int32_t destinationSize);
int32_t MultiByteToWide(int32_t codePage, int32_t flags, const char* source, int32_t sourceCount,
                        char16_t* destination, int32_t destinationSize);
char* StringToUTF8Alloc(const char16_t* text);  // malloc, caller frees; null when out of memory
char16_t* UTF8ToNewString(const char* text);    // malloc, caller frees; null when out of memory

}  // namespace vorlune
