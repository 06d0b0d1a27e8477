// Encodes arbitrary UTF-16 units as UTF-8 and Latin-1 at many destination sizes and into new
// byte strings, and sends valid text back the other way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/strings_fuzz.h"
#include "runtime/core/strings.h"

namespace vorlune {
namespace {

constexpr const char* kTarget = "fuzz_utf16_encode";

void Expect(bool condition, const char* what) {
    fuzz::Check(condition, kTarget, what);
}

bool IsValidUTF16(const std::vector<char16_t>& units) {
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

// Every destination size gives a prefix of the full conversion and stays inside its size.
std::vector<char> CheckEncode(int32_t page, const std::vector<char16_t>& units) {
    const int32_t count = static_cast<int32_t>(units.size());
    const int32_t need = WideToMultiByte(page, 0, units.data(), count, nullptr, 0);
    Expect(need >= 0 && int64_t{need} <= 3 * int64_t{count}, "more than three bytes a unit");
    int32_t fullResult = 0;
    const std::vector<char> full = fuzz::ConvertGuarded<char>(
        kTarget, need, &fullResult, [&](char* destination, int32_t size) {
            return WideToMultiByte(page, 0, units.data(), count, destination, size);
        });
    Expect(fullResult == need || (page == kCodePageUTF8 && fullResult == 0),
           "writing form disagrees with the counting form");
    for (int32_t size : fuzz::SizesAround(need)) {
        int32_t result = 0;
        const std::vector<char> part = fuzz::ConvertGuarded<char>(
            kTarget, size, &result, [&](char* destination, int32_t limit) {
                return WideToMultiByte(page, 0, units.data(), count, destination, limit);
            });
        Expect(result <= need, "wrote more than the need");
        Expect(fuzz::SamePrefix(part, full, result), "partial conversion is not a prefix");
    }
    return full;
}

// Latin-1 keeps the units below 256, in order, and drops the others.
void CheckLatin1Keeps(const std::vector<char16_t>& units, const std::vector<char>& latin1) {
    std::vector<char> kept;
    for (char16_t unit : units) {
        if (unit < 0x100) kept.push_back(static_cast<char>(unit));
    }
    Expect(latin1 == kept, "Latin-1 does not keep exactly the units below 256");
}

void CheckRoundTrip(int32_t page, const std::vector<char>& bytes,
                    const std::vector<char16_t>& units) {
    const int32_t count = static_cast<int32_t>(bytes.size());
    const int32_t need = MultiByteToWide(page, 0, bytes.data(), count, nullptr, 0);
    Expect(need == static_cast<int32_t>(units.size()), "round trip changes the length");
    std::vector<char16_t> back(static_cast<size_t>(need));
    Expect(MultiByteToWide(page, 0, bytes.data(), count, back.data(), need) == need,
           "round trip stops early");
    Expect(back == units, "round trip changes the text");
}

// The zero-terminated prefix into a new byte string and back.
void CheckAllocatingForms(std::vector<char16_t> units) {
    units.push_back(0);
    const char16_t* text = units.data();
    char* utf8 = StringToUTF8Alloc(text);
    Expect(utf8 != nullptr, "StringToUTF8Alloc failed");
    const int32_t need = WideToMultiByte(kCodePageUTF8, 0, text, -1, nullptr, 0);
    Expect(static_cast<int32_t>(std::strlen(utf8)) <= need, "longer than the conversion");

    const size_t length = static_cast<size_t>(StringLength(text));
    std::vector<char16_t> terminated(text, text + length);
    if (IsValidUTF16(terminated)) {
        char16_t* back = UTF8ToNewString(utf8);
        Expect(back != nullptr, "UTF8ToNewString failed");
        Expect(StringCompare(back, text) == 0, "terminated round trip changes the text");
        std::free(back);
    }
    std::free(utf8);
}

}  // namespace
}  // namespace vorlune

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorlune;
    if (size > 1 << 16) return 0;
    std::vector<char16_t> units(size / 2);
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);

    const std::vector<char> utf8 = CheckEncode(kCodePageUTF8, units);
    if (IsValidUTF16(units)) CheckRoundTrip(kCodePageUTF8, utf8, units);
    const std::vector<char> latin1 = CheckEncode(kCodePageLatin1, units);
    CheckLatin1Keeps(units, latin1);
    bool narrow = true;
    for (char16_t unit : units)
        narrow = narrow && unit < 0x100;
    if (narrow) CheckRoundTrip(kCodePageLatin1, latin1, units);
    CheckAllocatingForms(units);
    return 0;
}
