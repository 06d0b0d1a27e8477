#include "runtime/core/strings.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <limits>

namespace vorlune {

namespace {

constexpr int64_t kStartCapacityBytes = 16;
constexpr int64_t kGrowthSlackBytes = 16384;
constexpr int64_t kShrinkThresholdBytes = 1048576;
constexpr int64_t kStoreSpareBytes = 10;
constexpr int64_t kReserveMarginBytes = 4;
constexpr int64_t kLargestOffset = std::numeric_limits<int32_t>::max();
constexpr int32_t kFloatReserveUnits = 1024;
constexpr int32_t kDefaultDecimals = 10;
constexpr int32_t kMostDecimals = 512;

TempStringBuffer temp = {0, 0, nullptr};
int64_t tempAllocatedBytes = 0;

// Temporary buffer ------------------------------------------------------------------------------

[[noreturn]] void StopOnBufferFault(const char* problem, int64_t count, int64_t offset) {
    std::fprintf(stderr, "vorlune: temporary string buffer: %s (%lld units at byte offset %lld)\n",
                 problem, static_cast<long long>(count), static_cast<long long>(offset));
    std::abort();
}

void ResizeStore(int64_t capacity, int64_t count, int64_t offset) {
    const int64_t bytes = capacity + kStoreSpareBytes;
    char* store = static_cast<char*>(std::realloc(temp.tempStore, static_cast<size_t>(bytes)));
    if (store == nullptr) StopOnBufferFault("out of memory", count, offset);
    temp.tempStore = store;
    temp.tempCapacity = capacity;
    tempAllocatedBytes = bytes;
}

bool IsValidOffset(int64_t offset) {
    return offset >= 0 && offset % 2 == 0;
}

// The need covers the text already built as well as the new one, so growing or shrinking
// never cuts off either; the write ends at offset + 2 x count plus a terminator, which the
// margin below the capacity always leaves room for.
char16_t* Reserve(int64_t count, int64_t offset) {
    if (count < 0 || !IsValidOffset(offset)) {
        StopOnBufferFault("invalid reservation", count, offset);
    }
    const int64_t need = std::max(temp.tempPos, offset) + 2 * count;
    if (need > kLargestOffset) StopOnBufferFault("reservation too large", count, offset);
    if (need >= temp.tempCapacity - kReserveMarginBytes) {
        ResizeStore(need + kGrowthSlackBytes, count, offset);
    } else if (temp.tempCapacity > kShrinkThresholdBytes) {
        ResizeStore(std::max(need, kShrinkThresholdBytes), count, offset);
    }
    temp.tempPos = offset + 2 * count;
    return TempStringAt(offset);
}

bool IsInStore(const void* pointer) {
    if (pointer == nullptr || temp.tempStore == nullptr) return false;
    const auto address = reinterpret_cast<uintptr_t>(pointer);
    const auto start = reinterpret_cast<uintptr_t>(temp.tempStore);
    return address >= start && address - start < static_cast<uintptr_t>(tempAllocatedBytes);
}

// A source that lies in the store is copied out before a reservation, which may move the store
// or shrink it below the source. Answers the copy to free, or null for a source elsewhere.
void* CopyOutOfStore(const void* source, size_t bytes, int64_t offset) {
    if (!IsInStore(source)) return nullptr;
    void* copy = std::malloc(bytes);
    if (copy == nullptr) StopOnBufferFault("out of memory", 0, offset);
    std::memcpy(copy, source, bytes);
    return copy;
}

// UTF-8 and Latin-1 codecs ----------------------------------------------------------------------

const char16_t kEmptyWide[1] = {0};

struct CodecResult {
    int64_t produced;  // bytes or units produced (or needed, when counting)
    bool refused;      // malformed input for which the writing form answers 0
};

bool IsHighSurrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

int EncodedLength(uint32_t codePoint) {
    if (codePoint < 0x80) return 1;
    if (codePoint < 0x800) return 2;
    if (codePoint < 0x10000) return 3;
    return 4;
}

void WriteEncoded(uint32_t codePoint, int length, char* out) {
    static constexpr uint8_t kLeadMarks[5] = {0, 0x00, 0xC0, 0xE0, 0xF0};
    for (int i = length - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (codePoint & 0x3F));
        codePoint >>= 6;
    }
    out[0] = static_cast<char>(kLeadMarks[length] | codePoint);
}

// A null destination counts. A sequence that would cross the destination size is not begun.
CodecResult EncodeUTF8(const char16_t* source, int64_t count, char* destination, int64_t size) {
    int64_t produced = 0;
    for (int64_t i = 0; i < count; ++i) {
        if (destination != nullptr && produced >= size) break;
        uint32_t codePoint = source[i];
        int64_t unitsTaken = 1;
        if (IsHighSurrogate(codePoint)) {
            if (i + 1 == count) break;
            const uint32_t low = source[i + 1];
            if (!IsLowSurrogate(low)) return {produced, true};
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
            unitsTaken = 2;
        }
        const int length = EncodedLength(codePoint);
        if (destination != nullptr) {
            if (size - produced < length) break;
            WriteEncoded(codePoint, length, destination + produced);
        }
        produced += length;
        i += unitsTaken - 1;
    }
    return {produced, false};
}

// Overlong forms and encoded surrogates pass; see MultiByteToWide for the malformed cases.
CodecResult DecodeUTF8(const uint8_t* source, int64_t count, char16_t* destination, int64_t size) {
    int64_t produced = 0;
    int64_t i = 0;
    while (i < count) {
        if (destination != nullptr && produced >= size) break;
        const uint32_t lead = source[i++];
        int continuationBytes = 0;
        uint32_t value = lead;
        if (lead < 0x80) {
            continuationBytes = 0;
        } else if (lead < 0xC0 || lead >= 0xF8) {
            return {produced, true};
        } else if (lead < 0xE0) {
            continuationBytes = 1;
            value = lead & 0x1F;
        } else if (lead < 0xF0) {
            continuationBytes = 2;
            value = lead & 0x0F;
        } else {
            continuationBytes = 3;
            value = lead & 0x07;
        }
        if (continuationBytes > count - i) break;
        for (int k = 0; k < continuationBytes; ++k) {
            const uint32_t byte = source[i++];
            if ((byte & 0xC0) != 0x80) break;  // consumed; the bits so far make one unit
            value = (value << 6) | (byte & 0x3F);
        }
        if (value > 0x10FFFF) break;
        const int units = value > 0xFFFF ? 2 : 1;
        if (destination != nullptr) {
            if (size - produced < units) break;
            if (units == 2) {
                destination[produced] = static_cast<char16_t>(0xD800 | ((value - 0x10000) >> 10));
                destination[produced + 1] = static_cast<char16_t>(0xDC00 | (value & 0x3FF));
            } else {
                destination[produced] = static_cast<char16_t>(value);
            }
        }
        produced += units;
    }
    return {produced, false};
}

CodecResult EncodeLatin1(const char16_t* source, int64_t count, char* destination, int64_t size) {
    int64_t produced = 0;
    for (int64_t i = 0; i < count; ++i) {
        if (destination != nullptr && produced >= size) break;
        if (source[i] > 0xFF) continue;
        if (destination != nullptr) destination[produced] = static_cast<char>(source[i]);
        ++produced;
    }
    return {produced, false};
}

// Decodes a zero-terminated byte string together with its 0 byte, then terminates the units
// where the text ended: malformed input may stop the conversion before the 0 byte or swallow
// it inside a broken sequence. Returns the text length; a null destination only measures and
// gives the units the decoding needs through *unitsNeeded.
int64_t DecodeTerminated(const char* text, char16_t* destination, int64_t units,
                         int64_t* unitsNeeded) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    const int64_t count = static_cast<int64_t>(std::strlen(text)) + 1;
    if (destination == nullptr) {
        *unitsNeeded = DecodeUTF8(bytes, count, nullptr, 0).produced;
        return 0;
    }
    const int64_t produced = DecodeUTF8(bytes, count, destination, units).produced;
    const int64_t length = produced > 0 && destination[produced - 1] == 0 ? produced - 1 : produced;
    destination[length] = 0;
    return length;
}

int32_t ToResult(int64_t value) {
    return value > kLargestOffset ? 0 : static_cast<int32_t>(value);
}

// Float text ------------------------------------------------------------------------------------

void TrimTrailingZeros(char* text, int& length) {
    if (text[length - 1] != '0' || std::strchr(text, '.') == nullptr) return;
    while (text[length - 1] == '0')
        --length;
    if (text[length - 1] == '.') --length;
    text[length] = 0;
}

int FormatFloat(float value, int32_t decimals, char* text, size_t size) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const char* special = nullptr;
    if (bits == 0xFF800000u) special = "-Infinity";
    if (bits == 0x7F800000u) special = "+Infinity";
    if (std::isnan(value)) special = "NaN";
    if (special != nullptr) return std::snprintf(text, size, "%s", special);

    const int precision =
        decimals == -1 ? kDefaultDecimals : std::clamp(decimals, 0, kMostDecimals);
    // Only zero itself drops its sign: a negative value too small for the decimals keeps it.
    const double widened = value == 0.0f ? 0.0 : static_cast<double>(value);
    int length = std::snprintf(text, size, "%.*f", precision, widened);
    assert(length > 0 && static_cast<size_t>(length) < size);
    if (char* comma = std::strchr(text, ',')) *comma = '.';
    if (decimals == -1) TrimTrailingZeros(text, length);
    return length;
}

}  // namespace

// Temporary string buffer ---------------------------------------------------------------------

TempStringBuffer& TempStrings() {
    return temp;
}

char16_t* TempStringAt(int64_t offset) {
    return reinterpret_cast<char16_t*>(temp.tempStore + offset);
}

void InitTempStrings() {
    std::free(temp.tempStore);
    temp = {0, 0, nullptr};
    tempAllocatedBytes = 0;
    temp.tempStore = static_cast<char*>(std::malloc(kStartCapacityBytes));
    if (temp.tempStore == nullptr) return;  // the first reservation allocates instead
    temp.tempCapacity = kStartCapacityBytes;
    tempAllocatedBytes = kStartCapacityBytes;
}

void FreeTempStrings() {
    std::free(temp.tempStore);
    temp = {0, 0, nullptr};
    tempAllocatedBytes = 0;
}

void InitStrings() {}

char16_t* ReserveTempString(int32_t count, int32_t offset) {
    return Reserve(count, offset);
}

void ReleaseTempChars(int32_t count) {
    if (count < 0 || 2 * int64_t{count} > temp.tempPos) {
        StopOnBufferFault("invalid release", count, temp.tempPos);
    }
    temp.tempPos -= 2 * int64_t{count};
}

void SetTempPosition(int32_t offset) {
    if (!IsValidOffset(offset)) StopOnBufferFault("invalid position", 0, offset);
    if (offset >= temp.tempCapacity - kReserveMarginBytes) {
        ResizeStore(offset + kGrowthSlackBytes, 0, offset);
    }
    temp.tempPos = offset;
    *TempStringAt(offset) = 0;
}

// String results ----------------------------------------------------------------------------------

void AppendLiteral(const char16_t* text) {
    const int64_t length = StringLength(text);
    void* copy = CopyOutOfStore(text, static_cast<size_t>(length + 1) * 2, temp.tempPos);
    if (copy != nullptr) text = static_cast<const char16_t*>(copy);
    char16_t* destination = Reserve(length, temp.tempPos);
    if (length > 0) std::memcpy(destination, text, static_cast<size_t>(length) * 2);
    destination[length] = 0;
    std::free(copy);
}

void AppendUTF8(const char* text, int32_t offset) {
    if (text == nullptr) text = "";
    void* copy = CopyOutOfStore(text, std::strlen(text) + 1, offset);
    if (copy != nullptr) text = static_cast<const char*>(copy);
    int64_t units = 0;
    DecodeTerminated(text, nullptr, 0, &units);
    char16_t* destination = Reserve(units, offset);
    const int64_t length = DecodeTerminated(text, destination, units, nullptr);
    temp.tempPos = offset + 2 * length;
    std::free(copy);
}

void FloatToString(float value, int32_t decimals, int32_t offset) {
    char16_t* destination = Reserve(kFloatReserveUnits, offset);
    char text[kFloatReserveUnits];
    const int length = FormatFloat(value, decimals, text, sizeof text);
    for (int i = 0; i <= length; ++i)
        destination[i] = static_cast<char16_t>(text[i]);
    ReleaseTempChars(kFloatReserveUnits - length);
}

// Plain strings ---------------------------------------------------------------------------------

int64_t StringLength(const char16_t* text) {
    if (text == nullptr) return 0;
    int64_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

char16_t* StringCopy(char16_t* destination, const char16_t* source) {
    if (destination == nullptr) return nullptr;
    const int64_t length = StringLength(source);
    if (length > 0) std::memmove(destination, source, static_cast<size_t>(length) * 2);
    destination[length] = 0;
    return destination;
}

char16_t* CopyChars(char16_t* destination, const char16_t* source, int64_t count) {
    if (destination == nullptr || count < 0) return nullptr;
    if (source == nullptr) count = 0;
    if (count > 0) std::memmove(destination, source, static_cast<size_t>(count) * 2);
    destination[count] = 0;
    return destination + count;
}

void DuplicateString(char16_t** target, const char16_t* source) {
    if (target == nullptr || source == nullptr) return;
    const int64_t length = StringLength(source);
    auto* copy = static_cast<char16_t*>(std::malloc(static_cast<size_t>(length + 5) * 2));
    if (copy != nullptr) StringCopy(copy, source);
    *target = copy;
}

int32_t StringCompare(const char16_t* a, const char16_t* b) {
    if (a == nullptr) a = kEmptyWide;
    if (b == nullptr) b = kEmptyWide;
    for (int64_t i = 0;; ++i) {
        const int32_t x = static_cast<int16_t>(a[i]);
        const int32_t y = static_cast<int16_t>(b[i]);
        if (x != y) return x - y;
        if (x == 0) return 0;
    }
}

int32_t StringCompareNoCase(const char16_t* a, const char16_t* b) {
    if (a == nullptr) a = kEmptyWide;
    if (b == nullptr) b = kEmptyWide;
    for (int64_t i = 0;; ++i) {
        const int32_t x = static_cast<int16_t>(LowerCaseUnit(a[i]));
        const int32_t y = static_cast<int16_t>(LowerCaseUnit(b[i]));
        if (x != y) return x - y;
        if (x == 0) return 0;
    }
}

// The unit is folded as the code point it is; read sign-extended, units from 0x8000 (fullwidth
// letters among them) would never fold.
char16_t LowerCaseUnit(char16_t unit) {
    const wint_t lower = std::towlower(static_cast<wint_t>(unit));
    return lower <= 0xFFFF ? static_cast<char16_t>(lower) : unit;
}

// Formatting ------------------------------------------------------------------------------------

int32_t FormatString(char16_t* destination, const char16_t* format, ...) {
    char* utf8Format = StringToUTF8Alloc(format);
    if (utf8Format == nullptr) return 0;
    va_list arguments;
    va_start(arguments, format);
    va_list measureArguments;
    va_copy(measureArguments, arguments);
    const int measured = std::vsnprintf(nullptr, 0, utf8Format, measureArguments);
    va_end(measureArguments);

    int32_t result = 0;
    if (measured >= 0 && destination == nullptr) {
        result = measured;
    } else if (measured >= 0) {
        const size_t bytes = static_cast<size_t>(measured) + 1;
        if (char* text = static_cast<char*>(std::malloc(bytes))) {
            std::vsnprintf(text, bytes, utf8Format, arguments);
            // UTF-8 never takes fewer bytes than UTF-16 units, so measured + 1 units suffice.
            result = static_cast<int32_t>(
                DecodeTerminated(text, destination, static_cast<int64_t>(bytes), nullptr));
            std::free(text);
        }
    }
    va_end(arguments);
    std::free(utf8Format);
    return result;
}

int32_t IntToDecimal(int32_t value, char* destination) {
    char digits[10];
    int count = 0;
    uint32_t magnitude =
        value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int32_t length = 0;
    if (value < 0) destination[length++] = '-';
    while (count > 0)
        destination[length++] = digits[--count];
    destination[length] = 0;
    return length;
}

// Conversions -------------------------------------------------------------------------------------

int32_t WideToMultiByte(int32_t codePage, int32_t, const char16_t* source, int32_t sourceCount,
                        char* destination, int32_t destinationSize) {
    if (sourceCount < -1 || (destination != nullptr && destinationSize < 0)) return 0;
    if (source == nullptr) {
        if (sourceCount > 0) return 0;
        source = kEmptyWide;
    }
    const int64_t count = sourceCount == -1 ? StringLength(source) + 1 : sourceCount;
    CodecResult result{0, false};
    if (codePage == kCodePageLatin1) {
        result = EncodeLatin1(source, count, destination, destinationSize);
    } else if (codePage == kCodePageUTF8) {
        result = EncodeUTF8(source, count, destination, destinationSize);
    }
    if (result.refused && destination != nullptr) return 0;
    return ToResult(result.produced);
}

int32_t MultiByteToWide(int32_t codePage, int32_t, const char* source, int32_t sourceCount,
                        char16_t* destination, int32_t destinationSize) {
    if (sourceCount < -1 || (destination != nullptr && destinationSize < 0)) return 0;
    if (source == nullptr) {
        if (sourceCount > 0) return 0;
        source = "";
    }
    const int64_t count =
        sourceCount == -1 ? static_cast<int64_t>(std::strlen(source)) + 1 : sourceCount;
    const auto* bytes = reinterpret_cast<const uint8_t*>(source);
    if (codePage == kCodePageLatin1) {
        if (destination == nullptr) return ToResult(count);
        const int64_t converted = std::min<int64_t>(count, destinationSize);
        for (int64_t i = 0; i < converted; ++i)
            destination[i] = bytes[i];
        return static_cast<int32_t>(converted);
    }
    if (codePage != kCodePageUTF8) return 0;
    const CodecResult result = DecodeUTF8(bytes, count, destination, destinationSize);
    if (result.refused && destination != nullptr) return 0;
    return ToResult(result.produced);
}

char* StringToUTF8Alloc(const char16_t* text) {
    if (text == nullptr) text = kEmptyWide;
    const int64_t units = StringLength(text) + 1;
    const int64_t bytes = EncodeUTF8(text, units, nullptr, 0).produced;
    char* utf8 = static_cast<char*>(std::malloc(static_cast<size_t>(bytes) + 1));
    if (utf8 == nullptr) return nullptr;
    const int64_t produced = EncodeUTF8(text, units, utf8, bytes).produced;
    const int64_t length = produced > 0 && utf8[produced - 1] == 0 ? produced - 1 : produced;
    utf8[length] = 0;
    return utf8;
}

char16_t* UTF8ToNewString(const char* text) {
    if (text == nullptr) text = "";
    int64_t units = 0;
    DecodeTerminated(text, nullptr, 0, &units);
    auto* wide = static_cast<char16_t*>(std::malloc(static_cast<size_t>(units + 1) * 2));
    if (wide == nullptr) return nullptr;
    DecodeTerminated(text, wide, units, nullptr);
    return wide;
}

}  // namespace vorlune
