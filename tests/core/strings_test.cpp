#include "runtime/core/strings.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

namespace vorlune {
namespace {

std::u16string TextAt(int64_t offset) {
    return std::u16string(TempStringAt(offset));
}
int64_t& Pos() {
    return TempStrings().tempPos;
}

class TempStringsTest : public ::testing::Test {
  protected:
    void SetUp() override { InitTempStrings(); }
    void TearDown() override { FreeTempStrings(); }
};

TEST_F(TempStringsTest, ValuesLineConcatenatesAndEndsOnItsTerminator) {
    const int64_t start = Pos();
    AppendLiteral(u"el = ");
    FloatToString(1.094001f, -1, static_cast<int32_t>(Pos()));
    AppendLiteral(u"   df = ");
    FloatToString(0.29371017f, -1, static_cast<int32_t>(Pos()));
    const std::u16string expected = u"el = 1.0940010548   df = 0.2937101722";
    EXPECT_EQ(TextAt(start), expected);
    EXPECT_EQ(Pos(), start + 2 * static_cast<int64_t>(expected.size()));
    EXPECT_EQ(*TempStringAt(Pos()), 0);

    // Stepping past the terminator keeps the finished text while the next one is built.
    Pos() += 2;
    const int64_t answer = Pos();
    AppendLiteral(u"answer");
    EXPECT_EQ(TextAt(start), expected);
    EXPECT_EQ(TextAt(answer), u"answer");
    SetTempPosition(static_cast<int32_t>(start));
    EXPECT_EQ(Pos(), start);
    EXPECT_EQ(TextAt(start), u"");
}

TEST_F(TempStringsTest, FloatTextTable) {
    const float inf = std::numeric_limits<float>::infinity();
    char wide512[600];
    std::snprintf(wide512, sizeof wide512, "%.512f", static_cast<double>(1.094001f));
    struct Row {
        float value;
        int32_t decimals;
        std::string text;
    };
    const Row rows[] = {
        {inf, -1, "+Infinity"},
        {-inf, -1, "-Infinity"},
        {std::nanf(""), -1, "NaN"},
        {-std::nanf(""), 3, "NaN"},
        {1.094001f, 3, "1.094"},
        {1.094001f, 0, "1"},
        {1.094001f, -5, "1"},
        {1.094001f, 1000, wide512},
        {2.5f, -1, "2.5"},
        {-2.5f, -1, "-2.5"},
        {10.0f, -1, "10"},
        {100.0f, -1, "100"},
        {1.0f, -1, "1"},
        {0.1f, -1, "0.1000000015"},
        {0.29371017f, -1, "0.2937101722"},
        {0.0f, -1, "0"},
        {-0.0f, -1, "0"},
        {-0.0f, 2, "0.00"},
        {-1e-12f, -1, "-0"},  // only zero itself is unsigned
        {-1e-12f, 3, "-0.000"},
        {-0.004f, 2, "-0.00"},
        {-0.004f, 0, "-0"},
        {-0.25f, 1, "-0.2"},
        {FLT_MAX, -1, "340282346638528859811704183484516925440"},
        {-FLT_MAX, 512, "-340282346638528859811704183484516925440." + std::string(512, '0')},
    };
    for (const Row& row : rows) {
        SetTempPosition(0);
        AppendLiteral(u"ab");
        const int32_t offset = static_cast<int32_t>(Pos());
        FloatToString(row.value, row.decimals, offset);
        const std::u16string expected(row.text.begin(), row.text.end());
        EXPECT_EQ(TextAt(offset), expected) << row.text;
        EXPECT_EQ(Pos(), offset + 2 * static_cast<int64_t>(expected.size())) << row.text;
        EXPECT_EQ(TextAt(0), u"ab" + expected);
    }
}

TEST_F(TempStringsTest, GrowsPastTheMarginAndShrinksBackToOneMebibyte) {
    ReserveTempString(6, 0);  // need 12 reaches 16 - 4
    EXPECT_EQ(TempStrings().tempCapacity, 12 + 16384);
    SetTempPosition(0);
    AppendLiteral(u"kept");

    const int64_t capacity = TempStrings().tempCapacity;
    const int32_t below = static_cast<int32_t>((capacity - 6 - Pos()) / 2);
    ReserveTempString(below, static_cast<int32_t>(Pos()));
    EXPECT_EQ(TempStrings().tempCapacity, capacity) << "need = capacity - 6 stays";
    SetTempPosition(24);
    const int32_t reaching = static_cast<int32_t>((capacity - 4 - 24) / 2);
    ReserveTempString(reaching, 24);
    EXPECT_EQ(TempStrings().tempCapacity, capacity - 4 + 16384);

    SetTempPosition(24);
    ReserveTempString(600000, 24);
    EXPECT_EQ(TempStrings().tempCapacity, 24 + 1200000 + 16384);
    SetTempPosition(8);
    ReserveTempString(2, 8);
    EXPECT_EQ(TempStrings().tempCapacity, 1048576);
    EXPECT_EQ(TextAt(0).substr(0, 4), u"kept");
}

TEST_F(TempStringsTest, ShrinkKeepsTheTextBeingBuilt) {
    char16_t* units = ReserveTempString(700000, 0);
    units[699999] = u'z';
    units[700000] = 0;
    ReserveTempString(1, 16);  // rewrite in place while the long text is still being built
    EXPECT_GE(TempStrings().tempCapacity, 1400000);
    EXPECT_EQ(TempStringAt(0)[699999], u'z');
}

TEST_F(TempStringsTest, ReservationBeyondThePositionGetsItsRoom) {
    char16_t* units = ReserveTempString(4, 4000);
    EXPECT_GT(TempStrings().tempCapacity, 4008 + 4);
    CopyChars(units, u"tail", 4);
    EXPECT_EQ(TextAt(4000), u"tail");
    SetTempPosition(60000);  // far past the capacity: grows instead of writing outside
    EXPECT_GT(TempStrings().tempCapacity, 60004);
    EXPECT_EQ(*TempStringAt(60000), 0);
}

TEST_F(TempStringsTest, BufferProtocolFaultsStopTheProgram) {
    const std::function<void()> faults[] = {
        [] { ReserveTempString(-1, 0); },
        [] { ReserveTempString(1, -2); },
        [] { ReserveTempString(1, 3); },
        [] { ReserveTempString(std::numeric_limits<int32_t>::max(), 0); },
        [] { ReserveTempString(1, std::numeric_limits<int32_t>::max() - 1); },
        [] { ReleaseTempChars(-1); },
        [] { ReleaseTempChars(1); },  // tempPos is 0
        [] { SetTempPosition(-2); },
    };
    for (const auto& fault : faults) {
        EXPECT_DEATH(fault(), "vorlune: temporary string buffer: ");
    }
}

TEST_F(TempStringsTest, NullLiteralTerminatesWithoutMoving) {
    AppendLiteral(u"abc");
    TempStringAt(Pos())[0] = u'!';
    AppendLiteral(nullptr);
    EXPECT_EQ(Pos(), 6);
    EXPECT_EQ(TextAt(0), u"abc");
}

// A source taken from the buffer itself is read before the reservation moves the store (it
// grows) or cuts it off (a store past 1 MiB shrinks back when the source lies beyond tempPos).
TEST_F(TempStringsTest, SourcesInTheBufferSurviveTheReservation) {
    const auto literal = [](int64_t source) { AppendLiteral(TempStringAt(source)); };
    const auto utf8 = [](int64_t source) {
        AppendUTF8(reinterpret_cast<const char*>(TempStringAt(source)),
                   static_cast<int32_t>(Pos()));
    };
    struct Case {
        const char* name;
        int32_t source;    // where the source text lies
        int32_t position;  // where the append writes
        bool fromUTF8;
    };
    const Case cases[] = {
        {"literal beyond tempPos, store shrinks", 1500000, 0, false},
        {"UTF-8 beyond tempPos, store shrinks", 1500000, 0, true},
        {"literal before tempPos, store grows", 0, 10, false},
        {"UTF-8 before tempPos, store grows", 0, 10, true},
    };
    for (const Case& c : cases) {
        InitTempStrings();
        SetTempPosition(c.source);
        if (c.fromUTF8) {
            std::memcpy(ReserveTempString(4, c.source), "h\xC3\xA9llo", 7);
        } else {
            AppendLiteral(u"h\u00E9llo");
        }
        SetTempPosition(c.position);
        c.fromUTF8 ? utf8(c.source) : literal(c.source);
        EXPECT_EQ(TextAt(c.position), u"h\u00E9llo") << c.name;
        EXPECT_EQ(Pos(), c.position + 10) << c.name;
    }
}

TEST_F(TempStringsTest, AppendUTF8AlwaysEndsOnATerminator) {
    struct Row {
        const char* bytes;
        std::u16string text;
    };
    const Row rows[] = {
        {nullptr, u""},
        {"", u""},
        {"h\xC3\xA9llo", u"héllo"},
        {"\xF0\x9F\x98\x80!", u"\U0001F600!"},
        {"ab\x80"
         "cd",
         u"ab"},                  // stray continuation byte stops the text
        {"A\xC3", u"A\x03"},      // the broken sequence swallows the 0 byte
        {"x\xE2\x82", u"x\x82"},  // the 0 byte ends the sequence early
        {"x\xF0\x9F", u"x"},      // more continuation bytes announced than are left
    };
    for (const Row& row : rows) {
        SetTempPosition(0);
        for (int i = 0; i < 8; ++i)
            AppendLiteral(u"?");
        SetTempPosition(2);
        AppendUTF8(row.bytes, 2);
        EXPECT_EQ(TextAt(2), row.text) << (row.bytes ? row.bytes : "(null)");
        EXPECT_EQ(Pos(), 2 + 2 * static_cast<int64_t>(row.text.size()));
    }
}

TEST(StringsTest, CompareReadsUnitsAsSigned16Bit) {
    struct Row {
        const char16_t* a;
        const char16_t* b;
        int32_t exact;
        int32_t noCase;
    };
    const Row rows[] = {
        {u"abc", u"abd", -1, -1},  {u"a", u"", 97, 97},
        {u"", u"a", -97, -97},     {u"ABC", u"abc", -32, 0},
        {u"ABD", u"abc", -32, 1},  {u"\x8000", u"a", -32768 - 97, -32768 - 97},
        {u"a", u"\xFFFF", 98, 98}, {u"\xFFFF", u"", -1, -1},
        {nullptr, u"", 0, 0},      {u"same", u"same", 0, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StringCompare(row.a, row.b), row.exact);
        EXPECT_EQ(StringCompareNoCase(row.a, row.b), row.noCase);
    }
}

TEST(StringsTest, CopyAndDuplicate) {
    char16_t buffer[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
    EXPECT_EQ(CopyChars(buffer, u"abcdef", 3), buffer + 3);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(buffer[4], u'x');
    EXPECT_EQ(CopyChars(buffer, u"abc", -1), nullptr);
    EXPECT_EQ(buffer[0], u'a');
    EXPECT_EQ(StringCopy(buffer, u"hello"), buffer);
    EXPECT_EQ(StringLength(buffer), 5);
    EXPECT_EQ(StringLength(nullptr), 0);

    char16_t* copy = nullptr;
    DuplicateString(&copy, buffer);
    ASSERT_NE(copy, nullptr);
    buffer[0] = u'j';
    EXPECT_EQ(std::u16string(copy), u"hello");
    DuplicateString(&copy, nullptr);
    EXPECT_EQ(std::u16string(copy), u"hello");
    std::free(copy);
}

TEST(StringsTest, FormatStringCountsUnitsOrBytes) {
    char16_t text[64];
    EXPECT_EQ(FormatString(text, u"%d:%lld:%lld", 3, -1LL, 42LL), 7);
    EXPECT_EQ(std::u16string(text), u"3:-1:42");
    EXPECT_EQ(FormatString(nullptr, u"%d:%lld:%lld", 3, -1LL, 42LL), 7);
    EXPECT_EQ(FormatString(text, u"é=%s", "\xE2\x82\xAC"), 3);
    EXPECT_EQ(std::u16string(text), u"é=€");
    EXPECT_EQ(FormatString(nullptr, u"é=%s", "\xE2\x82\xAC"), 6);
    EXPECT_EQ(FormatString(text, u"%.10f", 1.5), 12);
    EXPECT_EQ(std::u16string(text), u"1.5000000000");
}

TEST(StringsTest, IntToDecimal) {
    const std::pair<int32_t, std::string> rows[] = {
        {0, "0"},
        {7, "7"},
        {-7, "-7"},
        {1000000, "1000000"},
        {std::numeric_limits<int32_t>::max(), "2147483647"},
        {std::numeric_limits<int32_t>::min(), "-2147483648"},
    };
    for (const auto& [value, text] : rows) {
        char buffer[16];
        EXPECT_EQ(IntToDecimal(value, buffer), static_cast<int32_t>(text.size()));
        EXPECT_EQ(std::string(buffer), text);
    }
}

}  // namespace
}  // namespace vorlune
