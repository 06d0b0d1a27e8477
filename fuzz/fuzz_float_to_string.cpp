// Formats arbitrary float bit patterns with arbitrary decimals at arbitrary offsets and checks
// that the text is a well-formed decimal close to the value, ending on tempPos.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/strings_fuzz.h"
#include "runtime/core/strings.h"

namespace vorlune {
namespace {

constexpr const char* kTarget = "fuzz_float_to_string";
constexpr char16_t kMarker = u'#';

void Expect(bool condition, const char* what) {
    fuzz::Check(condition, kTarget, what);
}

struct Input {
    float value;
    int32_t decimals;
    int32_t offset;
};

// Bytes 0-3 the float; then one byte of decimals (signed) or four; then one byte of offset.
Input ReadInput(const uint8_t* data, size_t size) {
    Input input{0.0f, -1, 0};
    uint8_t padded[9] = {};
    std::memcpy(padded, data, std::min(size, sizeof padded));
    std::memcpy(&input.value, padded, 4);
    if (size >= 8) {
        std::memcpy(&input.decimals, padded + 4, 4);
    } else if (size >= 5) {
        input.decimals = static_cast<int8_t>(padded[4]);
    }
    if (size >= 9) input.offset = 2 * padded[8];
    return input;
}

void CheckDecimalText(const std::string& text, const Input& input) {
    const bool trimmed = input.decimals == -1;
    const int precision = trimmed ? 10 : std::clamp(input.decimals, 0, 512);
    size_t i = text[0] == '-' ? 1 : 0;
    const size_t digitsStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    Expect(i > digitsStart, "no integer digits");
    Expect(i - digitsStart == 1 || text[digitsStart] != '0', "leading zero");
    size_t decimals = 0;
    if (i < text.size()) {
        Expect(text[i] == '.', "unexpected character");
        const size_t fractionStart = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        Expect(i == text.size(), "unexpected character after the fraction");
        decimals = i - fractionStart;
        Expect(decimals > 0, "point without decimals");
        if (trimmed) Expect(text.back() != '0', "trailing zero left");
    }
    if (trimmed) {
        Expect(static_cast<int>(decimals) <= precision, "too many decimals");
    } else {
        Expect(static_cast<int>(decimals) == precision, "wrong number of decimals");
    }

    const double parsed = std::strtod(text.c_str(), nullptr);
    const double value = input.value;
    const double bound = 0.5 * std::pow(10.0, -precision) + std::fabs(value) * 1e-15;
    Expect(std::fabs(parsed - value) <= bound, "text far from the value");
    Expect((text[0] == '-') == (value < 0.0), "sign differs from the value's");
}

}  // namespace
}  // namespace vorlune

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vorlune::InitTempStrings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorlune;
    if (size < 4) return 0;
    const Input input = ReadInput(data, size);

    SetTempPosition(0);
    for (int32_t i = 0; i < input.offset / 2; ++i)
        AppendLiteral(u"#");
    FloatToString(input.value, input.decimals, input.offset);
    if (input.offset > 0) Expect(*TempStringAt(input.offset - 2) == kMarker, "text before moved");

    const int64_t end = TempStrings().tempPos;
    Expect(end >= input.offset && (end - input.offset) % 2 == 0, "tempPos before the offset");
    Expect(*TempStringAt(end) == 0, "tempPos not on the terminator");
    std::string text;
    for (const char16_t* unit = TempStringAt(input.offset); *unit != 0; ++unit) {
        Expect(*unit < 0x80, "non-ASCII unit");
        text.push_back(static_cast<char>(*unit));
    }
    Expect(static_cast<int64_t>(text.size()) == (end - input.offset) / 2, "embedded terminator");
    Expect(!text.empty(), "empty text");

    uint32_t bits = 0;
    std::memcpy(&bits, &input.value, 4);
    if (std::isnan(input.value)) {
        Expect(text == "NaN", "NaN text");
    } else if (bits == 0x7F800000u) {
        Expect(text == "+Infinity", "positive infinity text");
    } else if (bits == 0xFF800000u) {
        Expect(text == "-Infinity", "negative infinity text");
    } else {
        CheckDecimalText(text, input);
    }
    return 0;
}
