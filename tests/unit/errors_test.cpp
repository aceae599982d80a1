// Error reporter records, the fatal exit, bounded-array growth and the heap sort.
#include "app/app.h"
#include "platform/platform.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string.h>
#include <string>
#include <vector>

namespace {

struct Seen {
    uint32_t code;
    std::wstring first;
    bool restEmpty;
};

std::vector<Seen> g_seen;

void Record(const MessageRecord& record) {
    bool restEmpty = true;
    for (int i = 1; i < 8; ++i) restEmpty = restEmpty && record.args[i][0] == 0;
    g_seen.push_back({record.code, record.args[0], restEmpty});
}

// Installs the recording sink for one test and removes it afterwards.
class ReporterTest : public testing::Test {
protected:
    void SetUp() override {
        g_seen.clear();
        g_errors.SetSink(Record);
    }
    void TearDown() override { g_errors.SetSink(nullptr); }
};

}  // namespace

TEST_F(ReporterTest, FileReportsCarryCodeAndName) {
    g_errors.ReportOpenError(L"C:\\a\\open.txt");
    g_errors.ReportCloseError(L"close.txt");
    g_errors.ReportSeekError(L"seek.txt");
    g_errors.ReportFileTooLarge(L"big.txt");
    ASSERT_EQ(4u, g_seen.size());
    const Seen expected[] = {{8, L"C:\\a\\open.txt", true}, {10, L"close.txt", true},
                             {11, L"seek.txt", true}, {73, L"big.txt", true}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(expected[i].code, g_seen[i].code);
        EXPECT_EQ(expected[i].first, g_seen[i].first);
        EXPECT_TRUE(g_seen[i].restEmpty);
    }
}

TEST_F(ReporterTest, PolicyAnswersNeverRetry) {
    EXPECT_FALSE(g_errors.ReportReadError(L"x"));
    EXPECT_FALSE(g_errors.AskWriteRetry(L"x"));
}

TEST_F(ReporterTest, ShowTextFormatsIntoOneLine) {
    g_errors.ShowText(L"%ls has %u entries", L"list", 12u);
    std::wstring longName(1500, L'n');
    g_errors.ShowText(L"%ls", longName.c_str());
    g_errors.ReportOpenError(longName.c_str());
    ASSERT_EQ(3u, g_seen.size());
    EXPECT_EQ(1u, g_seen[0].code);
    EXPECT_EQ(L"list has 12 entries", g_seen[0].first);
    EXPECT_EQ(std::wstring(1023, L'n'), g_seen[1].first);
    EXPECT_EQ(std::wstring(1023, L'n'), g_seen[2].first);
}

TEST_F(ReporterTest, ExitAndMemoryErrorThrowTheExitCode) {
    EXPECT_EQ(6, RunToExitCode([] { g_errors.Exit(6); }));
    EXPECT_EQ(6, g_errors.LastExitCode());
    EXPECT_TRUE(g_seen.empty());
    EXPECT_EQ(8, RunToExitCode([] { g_errors.ReportMemoryError(); }));
    EXPECT_EQ(8, g_errors.LastExitCode());
    ASSERT_EQ(1u, g_seen.size());
    EXPECT_EQ(7u, g_seen[0].code);
    EXPECT_EQ(L"", g_seen[0].first);
}

TEST_F(ReporterTest, NoSinkIsQuiet) {
    g_errors.SetSink(nullptr);
    g_errors.ReportOpenError(L"x");
    g_errors.ShowText(L"%d", 1);
    EXPECT_TRUE(g_seen.empty());
}

TEST(BoundedArray, GrowsByAQuarterPlus32OrAtOnce) {
    BoundedArray<uint8_t> bytes;
    EXPECT_EQ(0u, bytes.Count());
    EXPECT_EQ(0u, bytes.Capacity());
    bytes.Add(100);
    EXPECT_EQ(100u, bytes.Capacity());
    bytes.Add(1);
    EXPECT_EQ(101u, bytes.Count());
    EXPECT_EQ(157u, bytes.Capacity());

    BoundedArray<wchar_t> one;
    one.Add(1);
    EXPECT_EQ(1u, one.Count());
    EXPECT_EQ(32u, one.Capacity());

    BoundedArray<uint32_t> thousand(1000);
    EXPECT_EQ(1000u, thousand.Count());
    EXPECT_EQ(1000u, thousand.Capacity());
}

TEST(BoundedArray, OneAtATimeFollowsTheRuleAndKeepsContents) {
    BoundedArray<uint32_t> values;
    std::vector<uint32_t> capacities;
    for (uint32_t i = 0; i < 300; ++i) {
        values.Add(1);
        values[i] = i * 7 + 1;
        if (capacities.empty() || capacities.back() != values.Capacity())
            capacities.push_back(values.Capacity());
    }
    EXPECT_EQ((std::vector<uint32_t>{32, 72, 122, 184, 262, 359}), capacities);
    for (uint32_t i = 0; i < 300; ++i) ASSERT_EQ(i * 7 + 1, values[i]) << i;
    EXPECT_EQ(values.Data(), &values[0]);
}

TEST(BoundedArray, ResizeGrowsOrShrinksTheCount) {
    BoundedArray<uint16_t> a;
    a.Resize(10);
    EXPECT_EQ(10u, a.Count());
    EXPECT_EQ(32u, a.Capacity());
    a.Resize(5);
    EXPECT_EQ(5u, a.Count());
    EXPECT_EQ(32u, a.Capacity());
    a.Resize(32);
    EXPECT_EQ(32u, a.Count());
    EXPECT_EQ(32u, a.Capacity());
    a.Resize(40);  // grows by 8 from 32: a quarter plus 32 more room
    EXPECT_EQ(40u, a.Count());
    EXPECT_EQ(72u, a.Capacity());
    a.Resize(0);
    EXPECT_EQ(0u, a.Count());
    EXPECT_EQ(72u, a.Capacity());
    a.Clear();
    EXPECT_EQ(0u, a.Capacity());
    EXPECT_EQ(nullptr, a.Data());
}

TEST_F(ReporterTest, MaximumExceededIsAMemoryError) {
    BoundedArray<uint32_t> a;
    a.SetMaximum(10);
    a.Add(10);
    EXPECT_TRUE(g_seen.empty());
    EXPECT_EQ(8, RunToExitCode([&] { a.Add(1); }));
    ASSERT_EQ(2u, g_seen.size());
    EXPECT_EQ(1u, g_seen[0].code);
    EXPECT_EQ(L"Maximum allowed array size (10) is exceeded", g_seen[0].first);
    EXPECT_EQ(7u, g_seen[1].code);
    EXPECT_EQ(8, g_errors.LastExitCode());
    EXPECT_EQ(10u, a.Count());

    g_seen.clear();
    BoundedArray<uint8_t> b;
    b.SetMaximum(10);
    EXPECT_EQ(8, RunToExitCode([&] { b.Add(11); }));
    ASSERT_EQ(2u, g_seen.size());
    EXPECT_EQ(L"Maximum allowed array size (10) is exceeded", g_seen[0].first);
    EXPECT_EQ(0u, b.Count());
}

TEST_F(ReporterTest, SizesThatWouldWrapAreMemoryErrors) {
    SKIP_ON_X64_TEST_BUILD();
    // 0x40000001 four-byte elements wrap a 32-bit byte size to 4 bytes.
    BoundedArray<uint32_t> words;
    EXPECT_EQ(8, RunToExitCode([&] { words.Add(0x40000001u); }));
    EXPECT_EQ(0u, words.Count());
    EXPECT_EQ(0u, words.Capacity());

    // A count that wraps past 2^32 would shrink the array.
    BoundedArray<uint8_t> bytes(5);
    EXPECT_EQ(8, RunToExitCode([&] { bytes.Add(0xFFFFFFFFu); }));
    EXPECT_EQ(5u, bytes.Count());
    EXPECT_EQ(32u, bytes.Capacity());

    // A block the process cannot get.
    BoundedArray<uint8_t> huge;
    EXPECT_EQ(8, RunToExitCode([&] { huge.Add(0xF0000000u); }));
    EXPECT_EQ(0u, huge.Count());
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(7u, g_seen.back().code);
}

namespace {

int g_compareCalls = 0;

int CompareInt(const void* a, const void* b) {
    ++g_compareCalls;
    int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

int CompareByte(const void* a, const void* b) {
    return *static_cast<const uint8_t*>(a) - *static_cast<const uint8_t*>(b);
}

// Elements of awkward sizes: the key is the first byte, the rest is payload.
template <size_t N>
struct Blob {
    uint8_t bytes[N];
};

template <size_t N>
int CompareBlob(const void* a, const void* b) {
    return static_cast<const Blob<N>*>(a)->bytes[0] - static_cast<const Blob<N>*>(b)->bytes[0];
}

template <size_t N>
void CheckBlobSort(std::mt19937& random, size_t count) {
    std::vector<Blob<N>> items(count);
    for (auto& item : items)
        for (auto& byte : item.bytes) byte = (uint8_t)(random() % 50);
    std::vector<Blob<N>> sorted = items;
    SortArray(sorted.data(), sorted.size(), N, CompareBlob<N>);
    // Keys ascend; the elements are the same whole elements (the sort is not stable).
    auto key = [](const Blob<N>& x) { return x.bytes[0]; };
    auto less = [](const Blob<N>& x, const Blob<N>& y) { return memcmp(x.bytes, y.bytes, N) < 0; };
    for (size_t i = 1; i < sorted.size(); ++i) ASSERT_LE(key(sorted[i - 1]), key(sorted[i])) << N;
    std::sort(items.begin(), items.end(), less);
    std::vector<Blob<N>> resorted = sorted;
    std::sort(resorted.begin(), resorted.end(), less);
    for (size_t i = 0; i < count; ++i) ASSERT_EQ(0, memcmp(items[i].bytes, resorted[i].bytes, N)) << N;
}

}  // namespace

TEST(SortArray, NoneOrOneElementIsLeftAlone) {
    g_compareCalls = 0;
    SortArray(nullptr, 0, sizeof(int), CompareInt);
    int one = 42;
    SortArray(&one, 1, sizeof(int), CompareInt);
    EXPECT_EQ(42, one);
    EXPECT_EQ(0, g_compareCalls);
}

TEST(SortArray, MatchesStdSortOnRandomInts) {
    std::mt19937 random(12345);
    const size_t counts[] = {2, 3, 4, 5, 7, 16, 33, 100, 1000};
    for (size_t count : counts) {
        for (int round = 0; round < 5; ++round) {
            std::vector<int> values(count);
            for (auto& v : values) v = (int)(random() % 2001) - 1000;
            std::vector<int> expected = values;
            std::sort(expected.begin(), expected.end());
            SortArray(values.data(), values.size(), sizeof(int), CompareInt);
            ASSERT_EQ(expected, values) << count;
        }
    }
}

TEST(SortArray, OrderedReversedAndEqualInputs) {
    std::vector<int> up(200), down(200), same(50, 7);
    for (int i = 0; i < 200; ++i) up[i] = i, down[i] = 200 - i;
    std::vector<int> expectedDown = down;
    std::sort(expectedDown.begin(), expectedDown.end());
    std::vector<int> expectedUp = up;
    SortArray(up.data(), up.size(), sizeof(int), CompareInt);
    SortArray(down.data(), down.size(), sizeof(int), CompareInt);
    SortArray(same.data(), same.size(), sizeof(int), CompareInt);
    EXPECT_EQ(expectedUp, up);
    EXPECT_EQ(expectedDown, down);
    EXPECT_EQ(std::vector<int>(50, 7), same);
}

TEST(SortArray, ElementSizesOtherThanWords) {
    std::mt19937 random(777);
    std::vector<uint8_t> bytes(500);
    for (auto& b : bytes) b = (uint8_t)random();
    std::vector<uint8_t> expected = bytes;
    std::sort(expected.begin(), expected.end());
    SortArray(bytes.data(), bytes.size(), 1, CompareByte);
    EXPECT_EQ(expected, bytes);

    const size_t counts[] = {2, 9, 64, 301};
    for (size_t count : counts) {
        CheckBlobSort<3>(random, count);
        CheckBlobSort<16>(random, count);
        CheckBlobSort<100>(random, count);
    }
}
