#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/core/strings.h"

namespace vorlune {
namespace {

constexpr int kGuardUnits = 8;
constexpr char16_t kGuardUnit = 0xA5A5;
constexpr char kGuardByte = 0x5A;

int32_t Size(const std::string& s) {
    return static_cast<int32_t>(s.size());
}
int32_t Size(const std::u16string& s) {
    return static_cast<int32_t>(s.size());
}

// Convert at one destination size into a buffer with a guard region behind it, and hand back
// the whole destination: what was written stays even where the result is 0.
std::u16string DecodeAt(int32_t codePage, const std::string& bytes, int32_t size, int32_t* result) {
    std::vector<char16_t> buffer(static_cast<size_t>(size) + kGuardUnits, kGuardUnit);
    *result = MultiByteToWide(codePage, 0, bytes.data(), Size(bytes), buffer.data(), size);
    for (int i = 0; i < kGuardUnits; ++i)
        EXPECT_EQ(buffer[size + i], kGuardUnit) << "size " << size;
    EXPECT_LE(*result, size);
    return std::u16string(buffer.data(), static_cast<size_t>(size));
}

std::string EncodeAt(int32_t codePage, const std::u16string& units, int32_t size, int32_t* result) {
    std::vector<char> buffer(static_cast<size_t>(size) + kGuardUnits, kGuardByte);
    *result = WideToMultiByte(codePage, 0, units.data(), Size(units), buffer.data(), size);
    for (int i = 0; i < kGuardUnits; ++i)
        EXPECT_EQ(buffer[size + i], kGuardByte) << "size " << size;
    EXPECT_LE(*result, size);
    return std::string(buffer.data(), static_cast<size_t>(size));
}

TEST(UTF8DecodeTest, MalformedInputTable) {
    struct Row {
        std::string bytes;
        std::u16string units;  // produced before the conversion ended
        bool refused;          // the writing form then answers 0
    };
    const Row rows[] = {
        {"A", u"A", false},
        {"\xC3\xA9", u"\u00E9", false},
        {"\xE2\x82\xAC", u"\u20AC", false},
        {"\xF0\x9F\x98\x80", u"\U0001F600", false},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF", false},
        {"a\x80"
         "b",
         u"a", true},  // stray continuation byte as lead
        {"a\xBF", u"a", true},
        {"\xF8\x88\x80\x80\x80", u"", true},  // five-byte lead
        {"z\xFF", u"z", true},
        {"a\xE2\x82", u"a", false},  // truncated sequence
        {"a\xF0\x9F\x98", u"a", false},
        {"\xC3\x41z", u"\x0003z", false},  // bad continuation: consumed, bits so far
        {"\xE2\x82\x41!", u"\x0082!", false},
        {"\xF0\x9F\x41"
         "ab",
         u"\x001F"
         "ab",
         false},
        {"\xF4\x90\x80\x80", u"", false},  // above 0x10FFFF
        {"a\xF7\xBF\xBF\xBF", u"a", false},
        {"\xC0\x80", std::u16string(1, 0), false},  // overlong forms pass
        {"\xC1\xBF", u"\x007F", false},
        {"\xE0\x80\xAF", u"/", false},
        {"\xED\xA0\x80", u"\xD800", false},  // encoded surrogate passes
        {"\xF0\x90\x80\x80", u"\xD800\xDC00", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.bytes));
        EXPECT_EQ(MultiByteToWide(kCodePageUTF8, 0, row.bytes.data(), Size(row.bytes), nullptr, 0),
                  Size(row.units));
        int32_t result = 0;
        const int32_t size = Size(row.units) + 4;
        const std::u16string written = DecodeAt(kCodePageUTF8, row.bytes, size, &result);
        EXPECT_EQ(result, row.refused ? 0 : Size(row.units));
        EXPECT_EQ(written.substr(0, row.units.size()), row.units);
    }
}

TEST(UTF8DecodeTest, PairNeedsTwoFreeUnits) {
    int32_t result = 0;
    EXPECT_EQ(DecodeAt(kCodePageUTF8, "\xF0\x9F\x98\x80", 1, &result),
              std::u16string(1, kGuardUnit));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(DecodeAt(kCodePageUTF8, "a\xF0\x9F\x98\x80", 2, &result),
              u"a" + std::u16string(1, kGuardUnit));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(DecodeAt(kCodePageUTF8, "a\xF0\x9F\x98\x80", 3, &result), u"a\U0001F600");
    EXPECT_EQ(result, 3);
}

TEST(Latin1Test, BytesAndUnits) {
    int32_t result = 0;
    EXPECT_EQ(MultiByteToWide(kCodePageLatin1, 0, "\xE9\xFFz", 3, nullptr, 0), 3);
    EXPECT_EQ(MultiByteToWide(kCodePageLatin1, 0, "\xE9\xFFz", -1, nullptr, 0), 4);
    EXPECT_EQ(DecodeAt(kCodePageLatin1, "\xE9\xFFz", 2, &result), u"\u00E9\u00FF");

    const std::u16string mixed = u"a\u20ACb\u00FF";  // the euro sign is dropped, not replaced
    EXPECT_EQ(WideToMultiByte(kCodePageLatin1, 0, mixed.data(), Size(mixed), nullptr, 0), 3);
    EXPECT_EQ(EncodeAt(kCodePageLatin1, mixed, 3, &result), "ab\xFF");
    EXPECT_EQ(EncodeAt(kCodePageLatin1, mixed, 1, &result), "a");
    EXPECT_EQ(EncodeAt(kCodePageLatin1, mixed, 0, &result), "");
    EXPECT_EQ(WideToMultiByte(kCodePageLatin1, 0, u"\u20AC", -1, nullptr, 0), 1);
}

TEST(UTF8EncodeTest, SurrogateTable) {
    struct Row {
        std::u16string units;
        std::string bytes;  // produced before the conversion ended
        bool refused;       // the writing form then answers 0
    };
    const Row rows[] = {
        {u"A", "A", false},
        {u"\u00E9", "\xC3\xA9", false},
        {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80", false},
        {u"\U0001F600", "\xF0\x9F\x98\x80", false},
        {u"\xDC00", "\xED\xB0\x80", false},  // lone low surrogate: three bytes
        {u"a\xD800", "a", false},            // high surrogate as the last unit
        {u"a\xD800"
         "b",
         "a", true},  // high surrogate without its low one
        {u"a\xD800\xD800\xDC00", "a", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.bytes));
        EXPECT_EQ(WideToMultiByte(kCodePageUTF8, 0, row.units.data(), Size(row.units), nullptr, 0),
                  Size(row.bytes));
        int32_t result = 0;
        const std::string written =
            EncodeAt(kCodePageUTF8, row.units, Size(row.bytes) + 4, &result);
        EXPECT_EQ(result, row.refused ? 0 : Size(row.bytes));
        EXPECT_EQ(written.substr(0, row.bytes.size()), row.bytes);
    }
}

TEST(UTF8EncodeTest, SequenceCrossingTheSizeIsNotBegun) {
    int32_t result = 0;
    const std::string untouched(3, kGuardByte);
    EXPECT_EQ(EncodeAt(kCodePageUTF8, u"a\u20AC", 3, &result), "a" + untouched.substr(1));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(EncodeAt(kCodePageUTF8, u"a\U0001F600", 4, &result), "a" + untouched);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(EncodeAt(kCodePageUTF8, u"a\U0001F600", 5, &result), "a\xF0\x9F\x98\x80");
    EXPECT_EQ(result, 5);
}

TEST(ConversionTest, RefusesBadArguments) {
    char bytes[4] = {kGuardByte, kGuardByte, kGuardByte, kGuardByte};
    char16_t units[4] = {kGuardUnit, kGuardUnit, kGuardUnit, kGuardUnit};
    for (int32_t page : {kCodePageLatin1, kCodePageUTF8}) {
        EXPECT_EQ(WideToMultiByte(page, 0, u"ab", -2, nullptr, 0), 0);
        EXPECT_EQ(WideToMultiByte(page, 0, u"ab", 2, bytes, -1), 0);
        EXPECT_EQ(WideToMultiByte(page, 0, nullptr, 3, nullptr, 0), 0);
        EXPECT_EQ(WideToMultiByte(page, 0, nullptr, -1, nullptr, 0), 1);
        EXPECT_EQ(MultiByteToWide(page, 0, "ab", -2, nullptr, 0), 0);
        EXPECT_EQ(MultiByteToWide(page, 0, "ab", 2, units, -1), 0);
        EXPECT_EQ(MultiByteToWide(page, 0, nullptr, -1, nullptr, 0), 1);
    }
    EXPECT_EQ(WideToMultiByte(1252, 0, u"ab", -1, bytes, 4), 0);
    EXPECT_EQ(MultiByteToWide(1252, 0, "ab", -1, units, 4), 0);
    EXPECT_EQ(bytes[0], kGuardByte);
    EXPECT_EQ(units[0], kGuardUnit);
}

TEST(ConversionTest, ValidTextSurvivesARoundTrip) {
    const std::u16string texts[] = {
        u"",
        u"plain ASCII ~\x7F",
        u"\u0080\u00FF\u07FF\u0800\uD7FF\uE000\uFFFD\uFFFF",
        u"\U00010000\U0001F600\U0010FFFF",
        u"Grüße, καλημέρα, こんにちは \U0001D11E",
    };
    for (const std::u16string& text : texts) {
        char* utf8 = StringToUTF8Alloc(text.c_str());
        ASSERT_NE(utf8, nullptr);
        char16_t* back = UTF8ToNewString(utf8);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(std::u16string(back), text);

        const int32_t bytes = WideToMultiByte(kCodePageUTF8, 0, text.c_str(), -1, nullptr, 0);
        EXPECT_EQ(bytes, static_cast<int32_t>(std::string(utf8).size()) + 1);
        std::u16string decoded(static_cast<size_t>(bytes), u'\0');
        const int32_t units =
            MultiByteToWide(kCodePageUTF8, 0, utf8, -1, decoded.data(), Size(decoded));
        EXPECT_EQ(decoded.substr(0, static_cast<size_t>(units)), text + u'\0');
        std::free(back);
        std::free(utf8);
    }
}

TEST(ConversionTest, AllocatingFormsTerminateWhereTheTextStopped) {
    const struct {
        const char16_t* units;
        std::string bytes;
    } encodes[] = {{nullptr, ""},
                   {u"ab\xD800", "ab"},
                   {u"ab\xD800"
                    "c",
                    "ab"}};
    for (const auto& row : encodes) {
        char* utf8 = StringToUTF8Alloc(row.units);
        ASSERT_NE(utf8, nullptr);
        EXPECT_EQ(std::string(utf8), row.bytes);
        std::free(utf8);
    }
    const struct {
        const char* bytes;
        std::u16string units;
    } decodes[] = {
        {nullptr, u""}, {"ab\x80", u"ab"}, {"A\xC3", u"A\x0003"}, {"\xF4\x90\x80\x80", u""}};
    for (const auto& row : decodes) {
        char16_t* wide = UTF8ToNewString(row.bytes);
        ASSERT_NE(wide, nullptr);
        EXPECT_EQ(std::u16string(wide), row.units);
        std::free(wide);
    }
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

// Every destination size from 0 to one past the need: the result is a prefix of the full
// conversion and nothing lands behind the size.
TEST(ConversionTest, StressFileAtEveryDestinationSize) {
    const char* path = VORLUNE_TEST_DATA_DIR "/utf8/UTF-8-test.txt";
    const std::vector<std::string> lines = ReadLines(path);
    ASSERT_GT(lines.size(), 200u) << path << " is missing or cut short";
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        for (int32_t page : {kCodePageUTF8, kCodePageLatin1}) {
            const int32_t need = MultiByteToWide(page, 0, line.data(), Size(line), nullptr, 0);
            int32_t result = 0;
            const std::u16string full = DecodeAt(page, line, need, &result);
            EXPECT_TRUE(result == need || result == 0);
            for (int32_t size = 0; size <= need + 1; ++size) {
                const std::u16string part = DecodeAt(page, line, size, &result);
                EXPECT_EQ(part.substr(0, result), full.substr(0, result));
            }

            const std::u16string units = page == kCodePageUTF8 ? full : full + u"\u20AC\U0001F600";
            const int32_t bytes = WideToMultiByte(page, 0, units.data(), Size(units), nullptr, 0);
            const std::string encoded = EncodeAt(page, units, bytes, &result);
            EXPECT_TRUE(result == bytes || result == 0);
            for (int32_t size = 0; size <= bytes + 1; ++size) {
                const std::string part = EncodeAt(page, units, size, &result);
                EXPECT_EQ(part.substr(0, result), encoded.substr(0, result));
            }
        }
    }
}

}  // namespace
}  // namespace vorlune
