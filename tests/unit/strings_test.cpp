// Bounded copies, formatting, conversions and number texts.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string>

namespace {

// Fills buffers so that a write past the capacity shows, wide or narrow.
template <typename C>
constexpr C Mark() {
    return sizeof(C) == 1 ? (C)'#' : (C)0x2A2A;
}

template <typename C, size_t N>
void Fill(C (&buf)[N]) {
    for (auto& c : buf) c = Mark<C>();
}

// True when nothing at or after index from was written.
template <typename C, size_t N>
bool UntouchedFrom(const C (&buf)[N], size_t from) {
    for (size_t i = from; i < N; ++i)
        if (buf[i] != Mark<C>()) return false;
    return true;
}

// The wide form of an ASCII text, so that one row serves the wide and the narrow function.
std::wstring Wide(const char* text) { return text != nullptr ? std::wstring(text, text + strlen(text)) : L""; }

// The same as an argument: nullptr stays nullptr.
class WideArg {
public:
    explicit WideArg(const char* text) : null_(text == nullptr), text_(Wide(text)) {}
    const wchar_t* Get() const { return null_ ? nullptr : text_.c_str(); }

private:
    bool null_;
    std::wstring text_;
};

}  // namespace

// Each row runs on the wide form and on the narrow one: capacities count characters and bytes alike.
TEST(CopyString, CutsToCapacityAndNeverWritesPastIt) {
    struct Case {
        const char* source;
        size_t capacity;
        const char* expected;  // nullptr: nothing written
    } cases[] = {
        {"abc", 10, "abc"}, {"abc", 4, "abc"}, {"abc", 3, "ab"}, {"abc", 1, ""},
        {"", 5, ""},        {nullptr, 5, ""},  {nullptr, 3, ""}, {"abc", 0, nullptr},
    };
    for (const auto& c : cases) {
        wchar_t wide[16];
        Fill(wide);
        CopyString(wide, WideArg(c.source).Get(), c.capacity);
        char narrow[16];
        Fill(narrow);
        CopyStringA(narrow, c.source, c.capacity);
        if (c.expected != nullptr) {
            EXPECT_EQ(Wide(c.expected), std::wstring(wide)) << c.capacity;
            EXPECT_STREQ(c.expected, narrow) << c.capacity;
        }
        EXPECT_TRUE(UntouchedFrom(wide, c.capacity)) << c.capacity;
        EXPECT_TRUE(UntouchedFrom(narrow, c.capacity)) << c.capacity;
    }
}

TEST(AppendString, CutsToCapacity) {
    struct Case {
        const char* start;
        const char* tail;
        size_t capacity;
        const char* expected;
    } cases[] = {
        {"ab", "cd", 10, "abcd"}, {"ab", "cdef", 5, "abcd"}, {"ab", "cd", 3, "ab"}, {"", "cd", 2, "c"},
        {"ab", "", 10, "ab"},     {"ab", nullptr, 10, "ab"}, {"abcd", "x", 5, "abcd"},
    };
    for (const auto& c : cases) {
        wchar_t wide[16];
        Fill(wide);
        CopyString(wide, WideArg(c.start).Get(), CountOf(wide));
        AppendString(wide, WideArg(c.tail).Get(), c.capacity);
        char narrow[16];
        Fill(narrow);
        CopyStringA(narrow, c.start, CountOf(narrow));
        AppendStringA(narrow, c.tail, c.capacity);
        EXPECT_EQ(Wide(c.expected), std::wstring(wide)) << c.start << "+" << c.capacity;
        EXPECT_STREQ(c.expected, narrow) << c.start << "+" << c.capacity;
    }
}

TEST(AppendString, UnterminatedDestinationWithinCapacityIsLeftAlone) {
    // Four characters, no terminator among them, in either form.
    auto check = [](auto& buf, auto append, auto tail) {
        Fill(buf);
        for (int i = 0; i < 4; ++i) buf[i] = 'x';
        append(buf, tail, 4);
        EXPECT_TRUE(UntouchedFrom(buf, 4));
        for (int i = 0; i < 4; ++i) EXPECT_EQ('x', buf[i]);
    };
    wchar_t wide[8];
    check(wide, AppendString, L"yz");
    char narrow[8];
    check(narrow, AppendStringA, "yz");
}

TEST(Format, CutsAndReportsMinusOne) {
    wchar_t buf[80];
    wchar_t hundred[101];
    for (int i = 0; i < 100; ++i) hundred[i] = L'x';
    hundred[100] = 0;
    EXPECT_EQ(-1, FormatBounded(buf, CountOf(buf), L"%ls", hundred));
    EXPECT_EQ(79u, wcslen(buf));
    EXPECT_EQ(5, FormatBounded(buf, CountOf(buf), L"%ls-%d", L"ab", 42));
    EXPECT_STREQ(L"ab-42", buf);
}

TEST(Format, ExactFitAndTinyBuffers) {
    wchar_t buf[8];
    EXPECT_EQ(7, FormatBounded(buf, CountOf(buf), L"%ls", L"1234567"));
    EXPECT_STREQ(L"1234567", buf);
    EXPECT_EQ(-1, FormatBounded(buf, CountOf(buf), L"%ls", L"12345678"));
    EXPECT_STREQ(L"1234567", buf);

    Fill(buf);
    EXPECT_EQ(-1, FormatBounded(buf, 1, L"%d", 5));
    EXPECT_EQ(0, buf[0]);
    EXPECT_TRUE(UntouchedFrom(buf, 1));
    EXPECT_EQ(0, FormatBounded(buf, 1, L""));

    Fill(buf);
    EXPECT_EQ(-1, FormatBounded(buf, 0, L"%d", 5));
    EXPECT_TRUE(UntouchedFrom(buf, 0));
}

TEST(Format, WideAndNarrowArguments) {
    wchar_t buf[64];
    EXPECT_EQ(10, FormatBounded(buf, CountOf(buf), L"%ls\\%u", L"Setup", 4294u));
    EXPECT_STREQ(L"Setup\\4294", buf);
    // %s is a narrow string whatever the runtime would otherwise do.
    FormatBounded(buf, CountOf(buf), L"[%s|%ls|%d]", "narrow", L"wide", -3);
    EXPECT_STREQ(L"[narrow|wide|-3]", buf);
    FormatBounded(buf, CountOf(buf), L"%ls", L"\x0444\x0430\x0439\x043B");
    EXPECT_STREQ(L"\x0444\x0430\x0439\x043B", buf);
}

TEST(Format, NarrowFormCutsToBytes) {
    char buf[8];
    EXPECT_EQ(6, FormatBoundedNarrow(buf, CountOf(buf), "%s_%d", "key", 12));
    EXPECT_STREQ("key_12", buf);
    EXPECT_EQ(-1, FormatBoundedNarrow(buf, CountOf(buf), "%s", "0123456789"));
    EXPECT_STREQ("0123456", buf);
    EXPECT_EQ(7, FormatBoundedNarrow(buf, CountOf(buf), "%s", "0123456"));
    Fill(buf);
    EXPECT_EQ(-1, FormatBoundedNarrow(buf, 0, "%s", "x"));
    EXPECT_TRUE(UntouchedFrom(buf, 0));
}

TEST(FormatWithOneArg, SubstitutesOnlyTheOneArgument) {
    struct Case {
        const wchar_t* format;
        const wchar_t* arg;
        size_t capacity;
        const wchar_t* expected;
        int result;
    } cases[] = {
        {L"Cannot open %s.", L"x.lst", 64, L"Cannot open x.lst.", 18},
        {L"%ls!", L"A", 64, L"A!", 2},
        {L"100%% of %s", L"A", 64, L"100% of A", 9},
        {L"%%s", L"A", 64, L"%s", 2},
        {L"plain", L"A", 64, L"plain", 5},
        {L"", L"A", 64, L"", 0},
        {L"a%sb", nullptr, 64, L"ab", 2},
        // Hostile texts: nothing but the one argument is ever read.
        {L"%s%s%s%n", L"A", 64, L"A%s%s%n", 7},
        {L"%x %d %p %s", L"A", 64, L"%x %d %p A", 10},
        {L"%ls %ls %s", L"A", 64, L"A %ls %s", 8},
        {L"%5s %s", L"A", 64, L"%5s A", 5},
        {L"end %", L"A", 64, L"end %", 5},
        {L"%", L"A", 64, L"%", 1},
        {L"%l", L"A", 64, L"%l", 2},
        {L"a%sb%s", L"%s%n", 64, L"a%s%nb%s", 8},
        // Cut to the capacity.
        {L"abc%sdef", L"XYZ", 5, L"abcX", -1},
        {L"ab%s", L"c", 4, L"abc", 3},
        {L"ab%s", L"cd", 4, L"abc", -1},
        {L"100%%", L"", 4, L"100", -1},
        {L"x", L"", 1, L"", -1},
    };
    for (const auto& c : cases) {
        wchar_t buf[64];
        Fill(buf);
        EXPECT_EQ(c.result, FormatWithOneArg(buf, c.capacity, c.format, c.arg)) << c.format;
        EXPECT_STREQ(c.expected, buf) << c.format;
        EXPECT_TRUE(UntouchedFrom(buf, c.capacity)) << c.format;
    }
    wchar_t buf[4];
    Fill(buf);
    EXPECT_EQ(-1, FormatWithOneArg(buf, 0, L"x", L"y"));
    EXPECT_TRUE(UntouchedFrom(buf, 0));
}

TEST(CodePage, WideFromAnsiAndBack) {
    wchar_t wide[16];
    char narrow[16];
    EXPECT_TRUE(WideFromAnsi("hello", wide, CountOf(wide)));
    EXPECT_STREQ(L"hello", wide);
    EXPECT_TRUE(AnsiFromWide(L"hello", narrow, CountOf(narrow)));
    EXPECT_STREQ("hello", narrow);
    EXPECT_TRUE(WideFromAnsi("", wide, CountOf(wide)));
    EXPECT_STREQ(L"", wide);

    // A character of the code page survives the round trip.
    EXPECT_TRUE(AnsiFromWide(L"caf\x00E9", narrow, CountOf(narrow)));
    EXPECT_TRUE(WideFromAnsi(narrow, wide, CountOf(wide)));
    EXPECT_STREQ(L"caf\x00E9", wide);
}

TEST(CodePage, TooSmallDestinationFailsTerminatedWithinCapacity) {
    for (size_t capacity : {3u, 0u}) {
        wchar_t wide[16];
        Fill(wide);
        EXPECT_FALSE(WideFromAnsi("hello", wide, capacity)) << capacity;
        if (capacity > 0) {
            EXPECT_LT(wcslen(wide), capacity);
        }
        EXPECT_TRUE(UntouchedFrom(wide, capacity)) << capacity;

        char narrow[16];
        Fill(narrow);
        EXPECT_FALSE(AnsiFromWide(L"hello", narrow, capacity)) << capacity;
        if (capacity > 0) {
            EXPECT_LT(strlen(narrow), capacity);
        }
        EXPECT_TRUE(UntouchedFrom(narrow, capacity)) << capacity;
    }
}

TEST(Utf8, StructuralValidity) {
    struct Case {
        std::string bytes;
        bool valid;
    } cases[] = {
        {"", true},
        {"plain ascii text", true},
        {std::string("a\0b", 3), true},
        {"\xC3\xA9", true},
        {"\xE2\x82\xAC", true},
        {"\xF0\x9F\x98\x80", true},
        {"\xF8\x88\x80\x80\x80", true},      // five-byte form is not rejected
        {"\xFC\x84\x80\x80\x80\x80", true},  // nor the six-byte form
        // Overlong forms (of NUL too) and surrogate code points are no characters.
        {"\xC0\x80", false}, {"\xE0\x80\x80", false}, {"\xF0\x80\x80\x80", false}, {"\xED\xA0\x80", false},
        {"\x80", false},                     // a continuation byte as lead
        {"a\xBF", false},
        {"\xFE", false},
        {"\xFF", false},
        {"\xC3", false},                     // continuation missing at the end
        {"\xE2\x82", false},
        {"\xC3\x41", false},
        {"\xE2\x82\xC3", false},
        {"\xFC\x84\x80\x80\x80", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.valid, IsValidUtf8(reinterpret_cast<const unsigned char*>(c.bytes.data()),
                                       c.bytes.size()))
            << testing::PrintToString(c.bytes);
    }
    // Only the given count is looked at.
    EXPECT_TRUE(IsValidUtf8(reinterpret_cast<const unsigned char*>("ab\x80"), 2));
    EXPECT_TRUE(IsValidUtf8(nullptr, 0));
}

TEST(Utf8, DecodesToUtf16) {
    struct Case {
        const char* bytes;
        size_t capacity;
        std::wstring expected;
        bool result;
    } cases[] = {
        {"abc", 16, L"abc", true},
        {"", 16, L"", true},
        {"caf\xC3\xA9", 16, L"caf\x00E9", true},
        {"\xE2\x82\xAC", 16, L"\x20AC", true},
        {"\xF0\x9F\x98\x80", 16, L"\xD83D\xDE00", true},
        {"\xF4\x8F\xBF\xBF", 16, L"\xDBFF\xDFFF", true},  // U+10FFFF
        // Malformed: decoding stops before the bad sequence.
        {"a\xED\xA0\x80", 16, L"a", false}, {"a\xC0\x80" "b", 16, L"a", false}, {"a\xF0\x80\x80\x80", 16, L"a", false},
        {"\xC3\x41", 16, L"", false},
        {"x\xC3\x41yz", 16, L"x", false},
        {"ab\x80z", 16, L"ab", false},
        {"a\xF8\x88\x80\x80\x80", 16, L"a", false},
        {"a\xE2\x82", 16, L"a", false},
        {"a\xFF", 16, L"a", false},
        // Above U+10FFFF: nothing stored, decoding goes on.
        {"a\xF4\x90\x80\x80" "b", 16, L"ab", false},
        {"\xF7\xBF\xBF\xBF", 16, L"", false},
        // Output full: decoding stops, the result stays.
        {"abcdef", 4, L"abc", true},
        {"abc\x80", 4, L"abc", true},
        {"a\xF0\x9F\x98\x80", 3, L"a", true},  // the pair needs two places
        {"a\xF0\x9F\x98\x80", 4, L"a\xD83D\xDE00", true},
        {"abc", 1, L"", true},
    };
    for (const auto& c : cases) {
        wchar_t buf[16];
        Fill(buf);
        EXPECT_EQ(c.result, Utf8ToWide(c.bytes, buf, c.capacity)) << testing::PrintToString(c.bytes);
        EXPECT_EQ(c.expected, std::wstring(buf)) << testing::PrintToString(c.bytes);
        EXPECT_TRUE(UntouchedFrom(buf, c.capacity)) << testing::PrintToString(c.bytes);
    }
}

TEST(Numbers, Int64ToText) {
    struct Case {
        int64_t value;
        size_t capacity;
        const wchar_t* expected;
    } cases[] = {
        {0, 20, L"0"},
        {7, 20, L"7"},
        {10, 20, L"10"},
        {4294967295LL, 20, L"4294967295"},
        {-5, 20, L"-5"},
        {-2147483648LL, 20, L"-2147483648"},
        {INT64_MAX, 21, L"9223372036854775807"},
        {INT64_MIN, 21, L"-9223372036854775808"},
        // Too small a buffer keeps the low-order digits.
        {12345, 4, L"345"},
        {-12345, 4, L"-45"},
        {7, 1, L""},
        {-7, 2, L"-"},
        {-7, 3, L"-7"},
    };
    for (const auto& c : cases) {
        wchar_t buf[32];
        Fill(buf);
        Int64ToString(c.value, buf, c.capacity);
        EXPECT_STREQ(c.expected, buf) << c.value << " in " << c.capacity;
        EXPECT_TRUE(UntouchedFrom(buf, c.capacity)) << c.value;
    }
    wchar_t buf[4];
    Fill(buf);
    Int64ToString(5, buf, 0);
    EXPECT_TRUE(UntouchedFrom(buf, 0));
}

TEST(Numbers, TextToInt64) {
    struct Case {
        const wchar_t* text;
        int64_t expected;
    } cases[] = {
        {L"42", 42},
        {L"007", 7},
        {L"0", 0},
        {L"-0", 0},
        {L"-12x", -12},
        {L"12 34", 12},
        {L"x12", 0},
        {L" 12", 0},
        {L"\t12", 0},
        {L"+5", 0},
        {L"", 0},
        {L"-", 0},
        {L"--5", 0},
        {L"4294967295", 4294967295LL},
        {L"9223372036854775807", INT64_MAX},
        {L"-9223372036854775808", INT64_MIN},
        // Wrapping arithmetic: a value that wrapped negative is returned as it is.
        {L"9223372036854775808", INT64_MIN},
        {L"-9223372036854775809", -9223372036854775807LL},
        {L"18446744073709551615", -1},
        {L"18446744073709551616", 0},
        {L"\xFF11", 0},  // a full-width digit is no digit
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, StringToInt64(c.text)) << c.text;
}

TEST(Numbers, RoundTrip) {
    const int64_t values[] = {0, 1, -1, 99, -100, 2147483647, -2147483647 - 1, INT64_MAX, INT64_MIN};
    for (int64_t v : values) {
        wchar_t buf[24];
        Int64ToString(v, buf, CountOf(buf));
        EXPECT_EQ(v, StringToInt64(buf)) << buf;
    }
}

TEST(CompareNoCase, IgnoresCaseAndOrders) {
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        int expected;
    } cases[] = {
        {L"abc", L"ABC", 0},   {L"", L"", 0},          {L"abc", L"abd", -1}, {L"ABD", L"abc", 1},
        {L"b", L"A", 1},       {L"a", L"", 1},         {L"", L"a", -1},      {L"ab", L"abc", -1},
        {L".ZIP", L".zip", 0}, {L"\x00C9t\x00C9", L"\x00E9t\x00E9", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, CompareNoCase(c.a, c.b)) << c.a << L" " << c.b;
}

TEST(Characters, AsciiTests) {
    struct Case {
        wchar_t c;
        bool letter, digit, blank;
        wchar_t upperAscii;
    } cases[] = {
        {L'A', true, false, false, L'A'},   {L'Z', true, false, false, L'Z'},
        {L'a', true, false, false, L'A'},   {L'z', true, false, false, L'Z'},
        {L'm', true, false, false, L'M'},   {L'@', false, false, false, L'@'},
        {L'[', false, false, false, L'['},  {L'`', false, false, false, L'`'},
        {L'{', false, false, false, L'{'},  {L'0', false, true, false, L'0'},
        {L'9', false, true, false, L'9'},   {L'/', false, false, false, L'/'},
        {L':', false, false, false, L':'},  {L' ', false, false, true, L' '},
        {L'\t', false, false, true, L'\t'}, {L'\n', false, false, false, L'\n'},
        {L'\r', false, false, false, L'\r'}, {0x00A0, false, false, false, 0x00A0},
        {0x3000, false, false, false, 0x3000}, {0x00E9, false, false, false, 0x00E9},
        {0x00C0, false, false, false, 0x00C0}, {0x0663, false, false, false, 0x0663},
        {0xFF10, false, false, false, 0xFF10}, {0, false, false, false, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.letter, IsAsciiLetter(c.c)) << (int)c.c;
        EXPECT_EQ(c.digit, IsDecimalDigit(c.c)) << (int)c.c;
        EXPECT_EQ(c.blank, IsBlank(c.c)) << (int)c.c;
        EXPECT_EQ(c.upperAscii, ToUpperAscii(c.c)) << (int)c.c;
    }
}

TEST(Characters, ToUpperCharUsesTheSystemTables) {
    struct Case {
        wchar_t c, upper;
    } cases[] = {
        {L'a', L'A'},     {L'z', L'Z'},     {L'A', L'A'},     {L'1', L'1'},
        {0x00E9, 0x00C9}, {0x03B1, 0x0391}, {0x044F, 0x042F}, {0x4E2D, 0x4E2D},
    };
    for (const auto& c : cases) EXPECT_EQ(c.upper, ToUpperChar(c.c)) << (int)c.c;
}
