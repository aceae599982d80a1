// Text files: encoding detection, conversion and line cutting on real files.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "tests/bench/bench.h"

namespace {

using Lines = std::vector<std::wstring>;

// What the ANSI code page makes of some bytes, so the expectations hold for any code page.
std::wstring Ansi(const std::string& bytes) {
    std::vector<wchar_t> wide(bytes.size() + 1);
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                                static_cast<int>(wide.size()));
    return std::wstring(wide.data(), n > 0 ? n : 0);
}

Lines Drain(StringList* list) {
    Lines lines;
    const wchar_t* text = nullptr;
    while (list->GetString(&text)) lines.push_back(text);
    EXPECT_EQ(nullptr, text);
    return lines;
}

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override { folder_ = bench::ScratchFolder(L"textfile"); }
    void TearDown() override { bench::RemoveTree(folder_); }

    std::wstring Write(const std::string& bytes) {
        std::wstring path = folder_ + L"\\text" + std::to_wstring(++files_) + L".txt";
        EXPECT_TRUE(bench::WriteFileBytes(path, bytes));
        return path;
    }
    Lines ReadLines(const std::string& bytes) {
        StringList list;
        EXPECT_TRUE(ReadTextFile(Write(bytes).c_str(), &list));
        Lines lines = Drain(&list);
        EXPECT_EQ(lines.size(), list.Count());
        return lines;
    }

    std::wstring folder_;
    int files_ = 0;
};

TEST(TextEncoding, DetectionTable) {
    struct Case {
        std::string bytes;
        int encoding;
    } cases[] = {
        {"", kEncodingAnsi},
        {"plain text", kEncodingAnsi},
        {"h\xC3\xA9", kEncodingAnsi},                   // UTF-8 needs its mark
        {"\xEF\xBB\xBF", kEncodingAnsi},                // the mark alone
        {"\xEF\xBB\xBFh\xC3\xA9", kEncodingUtf8},
        {"\xEF\xBB\xBF" "a\x80", kEncodingAnsi},        // continuation byte as lead
        {"\xEF\xBB\xBF" "a\xC3", kEncodingAnsi},        // sequence cut short
        {"\xEF\xBB\xBF\xF8\x88\x80\x80\x80", kEncodingUtf8},  // 5-byte form passes the test
        {std::string("\xFF\xFE", 2), kEncodingAnsi},    // too short to judge
        {std::string("\xFF\xFE" "A", 3), kEncodingAnsi},
        {std::string("\xFF\xFE" "A\0", 4), kEncodingUtf16},
        {std::string("\xFF\xFE\r\n\n\r", 6), kEncodingAnsi},  // CR and LF do not count
        {std::string("\xFF\xFE\x2D\x4E\x87\x65", 6), kEncodingAnsi},  // CJK only
        {std::string("\xFF\xFE\x2D\x4E\x87\x65\x0A\x00", 8), kEncodingUtf16},  // one Latin character will do
        {std::string("\xFF\xFE\x2D\x4E\x0A\x00", 6), kEncodingUtf16},
        {std::string("\xFE\xFF\0A", 4), kEncodingUtf16},
        {std::string("\xFE\xFF\x4E\x2D", 4), kEncodingAnsi},
        {std::string("\xFE\xFF\x1F", 3), kEncodingUtf16},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.encoding,
                  DetectTextEncoding(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()))
            << "bytes: " << ::testing::PrintToString(c.bytes);
    }
}

TEST(StringListTest, AddGetRewindClear) {
    StringList list;
    const wchar_t* text = L"unset";
    EXPECT_FALSE(list.GetString(&text));
    EXPECT_EQ(nullptr, text);

    list.AddString(L"one");
    list.AddString(nullptr);
    list.AddString(L"three");
    EXPECT_EQ(3u, list.Count());
    EXPECT_EQ((Lines{L"one", L"", L"three"}), Drain(&list));
    list.Rewind();
    ASSERT_TRUE(list.GetString(&text));
    EXPECT_STREQ(L"one", text);

    list.Clear();
    EXPECT_EQ(0u, list.Count());
    EXPECT_FALSE(list.GetString(&text));
    list.AddString(L"again");
    EXPECT_EQ((Lines{L"again"}), Drain(&list));
}

TEST_F(TextFileTest, Utf16WithAndWithoutMark) {
    std::string latin("H\0i\0\r\0\n\0x\0", 10);
    EXPECT_EQ((Lines{L"Hi", L"x"}), ReadLines("\xFF\xFE" + latin));
    // Without the mark the bytes are ANSI and end at the first zero.
    EXPECT_EQ((Lines{L"H"}), ReadLines(latin));
    // An odd last byte is dropped.
    EXPECT_EQ((Lines{L"A"}), ReadLines(std::string("\xFF\xFE" "A\0B", 5)));
    // A zero character ends the text.
    EXPECT_EQ((Lines{L"A"}), ReadLines(std::string("\xFF\xFE" "A\0\0\0B\0", 8)));
    // Big-endian mark.
    EXPECT_EQ((Lines{L"Ab", L"\x4E2D"}), ReadLines(std::string("\xFE\xFF\0A\0b\0\n\x4E\x2D", 10)));
}

TEST_F(TextFileTest, MarkWithOnlyHighCharactersIsAnsi) {
    std::string cjk("\xFF\xFE\x2D\x4E\x87\x65", 6);
    EXPECT_EQ((Lines{Ansi(cjk)}), ReadLines(cjk));
    std::string bigCjk("\xFE\xFF\x4E\x2D\x65\x87", 6);
    EXPECT_EQ((Lines{Ansi(bigCjk)}), ReadLines(bigCjk));
}

TEST_F(TextFileTest, Utf8NeedsMarkAndValidBytes) {
    EXPECT_EQ((Lines{L"h\x00E9", L"\x20AC"}), ReadLines("\xEF\xBB\xBFh\xC3\xA9\r\n\xE2\x82\xAC"));
    // Without the mark: ANSI.
    EXPECT_EQ((Lines{Ansi("h\xC3\xA9")}), ReadLines("h\xC3\xA9"));
    // With the mark but invalid: ANSI, and the mark's characters open the first line.
    std::string bad = "\xEF\xBB\xBF" "caf\xE9\nnext";
    Lines lines = ReadLines(bad);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(Ansi("\xEF\xBB\xBF" "caf\xE9"), lines[0]);
    EXPECT_EQ(L"next", lines[1]);
    // Structurally valid but undecodable: the lines before the bad sequence survive.
    EXPECT_EQ((Lines{L"a", L"b"}), ReadLines("\xEF\xBB\xBF" "a\nb\n\xF8\x88\x80\x80\x80z\n"));
}

TEST_F(TextFileTest, LineEndsBlanksAndEmptyLines) {
    EXPECT_EQ((Lines{L"a", L"b"}), ReadLines("a\r\n\r\n\rb\n"));
    EXPECT_EQ((Lines{L"a", L"b", L"c"}), ReadLines("a\rb\nc"));
    EXPECT_EQ((Lines{L"x", L"  y", L"\tz"}), ReadLines("   \n\t \t\r\nx  \n  y\t \n\n\tz"));
    EXPECT_EQ((Lines{L"a b"}), ReadLines("\n\r\na b \r\n \r\n"));
    EXPECT_EQ((Lines{}), ReadLines("  \r\n\t\n"));
    EXPECT_EQ((Lines{L"x"}), ReadLines(std::string("x\n\0y\n", 5)));  // ANSI ends at a zero
}

TEST_F(TextFileTest, EmptyAndMissingFiles) {
    StringList list;
    EXPECT_TRUE(ReadTextFile(Write("").c_str(), &list));
    EXPECT_EQ(0u, list.Count());
    EXPECT_FALSE(ReadTextFile((folder_ + L"\\missing.txt").c_str(), &list));
    EXPECT_EQ(0u, list.Count());
}

TEST_F(TextFileTest, LinesAreAppended) {
    StringList list;
    list.AddString(L"before");
    EXPECT_TRUE(ReadTextFile(Write("one\ntwo\n").c_str(), &list));
    EXPECT_TRUE(ReadTextFile(Write("three").c_str(), &list));
    EXPECT_EQ((Lines{L"before", L"one", L"two", L"three"}), Drain(&list));
}

TEST_F(TextFileTest, LargeFileIsReadCompletely) {
    // Several hundred KiB in UTF-8, with lines that cross the 4096-byte read blocks.
    std::string bytes = "\xEF\xBB\xBF";
    Lines expected;
    for (int i = 0; i < 30000; ++i) {
        std::string number = std::to_string(i);
        bytes += "key" + number + "=\xC3\xA9t\xC3\xA9 " + number + "\r\n";
        expected.push_back(L"key" + std::to_wstring(i) + L"=\x00E9t\x00E9 " + std::to_wstring(i));
    }
    ASSERT_GT(bytes.size(), 500000u);
    Lines lines = ReadLines(bytes);
    ASSERT_EQ(expected.size(), lines.size());
    EXPECT_EQ(expected, lines);
}

TEST_F(TextFileTest, ReadErrorEndsTheFileSilently) {
    // A pipe whose writer goes away fails the next read: what came before is delivered.
    const wchar_t* name = L"\\\\.\\pipe\\ombrix-textfile-test";
    HANDLE server = CreateNamedPipeW(name, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0,
                                     nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    std::string bytes;
    for (int i = 0; bytes.size() < 10000; ++i) bytes += "line" + std::to_string(i) + "\n";
    std::thread writer([&] {
        ConnectNamedPipe(server, nullptr);
        DWORD written = 0;
        WriteFile(server, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        FlushFileBuffers(server);
        CloseHandle(server);
    });
    StringList list;
    EXPECT_TRUE(ReadTextFile(name, &list));
    writer.join();
    Lines lines = Drain(&list);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(L"line0", lines.front());
    EXPECT_EQ(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')), lines.size());
}

}  // namespace
