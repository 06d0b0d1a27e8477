// Decodes arbitrary bytes as UTF-8 and Latin-1 at many destination sizes, through the
// temporary buffer and into new strings, and sends valid text back the other way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/strings_fuzz.h"
#include "runtime/core/strings.h"

namespace vorlune {
namespace {

constexpr const char* kTarget = "fuzz_utf8_decode";

void Expect(bool condition, const char* what) {
    fuzz::Check(condition, kTarget, what);
}

// Shortest forms only, no encoded surrogates, nothing above 0x10FFFF.
bool IsValidUTF8(const uint8_t* bytes, size_t size) {
    size_t i = 0;
    while (i < size) {
        const uint8_t lead = bytes[i];
        size_t length = 0;
        uint32_t value = 0;
        uint32_t smallest = 0;
        if (lead < 0x80) {
            length = 1, value = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, value = lead & 0x1F, smallest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, value = lead & 0x0F, smallest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, value = lead & 0x07, smallest = 0x10000;
        } else {
            return false;
        }
        if (length > size - i) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
            value = (value << 6) | (bytes[i + k] & 0x3F);
        }
        if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// Every destination size gives a prefix of the full conversion and stays inside its size.
std::vector<char16_t> CheckDecode(int32_t page, const char* bytes, int32_t count) {
    const int32_t need = MultiByteToWide(page, 0, bytes, count, nullptr, 0);
    Expect(need >= 0 && need <= count, "more units than bytes");
    int32_t fullResult = 0;
    const std::vector<char16_t> full = fuzz::ConvertGuarded<char16_t>(
        kTarget, need, &fullResult, [&](char16_t* destination, int32_t size) {
            return MultiByteToWide(page, 0, bytes, count, destination, size);
        });
    Expect(fullResult == need || (page == kCodePageUTF8 && fullResult == 0),
           "writing form disagrees with the counting form");
    for (int32_t size : fuzz::SizesAround(need)) {
        int32_t result = 0;
        const std::vector<char16_t> part = fuzz::ConvertGuarded<char16_t>(
            kTarget, size, &result, [&](char16_t* destination, int32_t limit) {
                return MultiByteToWide(page, 0, bytes, count, destination, limit);
            });
        Expect(result <= need, "wrote more than the need");
        Expect(fuzz::SamePrefix(part, full, result), "partial conversion is not a prefix");
    }
    return full;
}

void CheckRoundTrip(int32_t page, const std::vector<char16_t>& units, const char* bytes,
                    int32_t count) {
    const int32_t unitCount = static_cast<int32_t>(units.size());
    const int32_t need = WideToMultiByte(page, 0, units.data(), unitCount, nullptr, 0);
    Expect(need == count, "round trip changes the length");
    std::vector<char> back(static_cast<size_t>(need));
    Expect(WideToMultiByte(page, 0, units.data(), unitCount, back.data(), need) == need,
           "round trip stops early");
    Expect(count == 0 || std::memcmp(back.data(), bytes, static_cast<size_t>(count)) == 0,
           "round trip changes the text");
}

// The zero-terminated prefix through the temporary buffer and into a new string.
void CheckTerminatedForms(const std::string& text, int32_t offset) {
    SetTempPosition(0);
    AppendUTF8(text.c_str(), offset);
    const int64_t end = TempStrings().tempPos;
    Expect(end >= offset && end % 2 == 0, "tempPos before the offset");
    Expect(*TempStringAt(end) == 0, "tempPos not on a terminator");
    const int64_t length = (end - offset) / 2;

    char16_t* fresh = UTF8ToNewString(text.c_str());
    Expect(fresh != nullptr, "UTF8ToNewString failed");
    Expect(std::memcmp(fresh, TempStringAt(offset), static_cast<size_t>(length + 1) * 2) == 0,
           "AppendUTF8 and UTF8ToNewString disagree");
    std::free(fresh);

    const int32_t need = MultiByteToWide(kCodePageUTF8, 0, text.c_str(), -1, nullptr, 0);
    Expect(length <= need, "terminated text longer than the conversion");
}

}  // namespace
}  // namespace vorlune

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vorlune::InitTempStrings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorlune;
    if (size > 1 << 16) return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    const int32_t count = static_cast<int32_t>(size);

    const std::vector<char16_t> wide = CheckDecode(kCodePageUTF8, bytes, count);
    if (IsValidUTF8(data, size)) CheckRoundTrip(kCodePageUTF8, wide, bytes, count);
    const std::vector<char16_t> latin1 = CheckDecode(kCodePageLatin1, bytes, count);
    CheckRoundTrip(kCodePageLatin1, latin1, bytes, count);

    const int32_t offset = size > 0 ? 2 * (data[0] % 32) : 0;
    CheckTerminatedForms(std::string(bytes, size).c_str(), offset);
    return 0;
}
