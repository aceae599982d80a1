// Reading and checking Uninstall.lst: which entries are safe, the paths they make, and its lines.
#include "integration/integration.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Every line of a list file as ReadListLine and TrimListEntry see it: "" for a skipped line,
// "<empty>" for a line that trims to nothing.
std::vector<std::string> ReadAll(const std::wstring& path) {
    std::vector<std::string> lines;
    FILE* list = _wfopen(path.c_str(), L"rb");
    if (list == nullptr) return lines;
    char line[kPathChars];
    ListLine kind;
    while ((kind = ReadListLine(list, line, CountOf(line))) != ListLine::End) {
        if (kind == ListLine::Skipped) lines.push_back("");
        else lines.push_back(TrimListEntry(line) ? line : "<empty>");
    }
    fclose(list);
    return lines;
}

}  // namespace

TEST(ListEntries, OnlyPathsInsideTheFolderAreSafe) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"Ombrix.exe", true},
        {L"Formats\\zst.fmt", true},
        {L"Formats/zst.fmt", true},
        {L" leading blank.txt", true},
        {L"a..b\\c...d.txt", true},
        {L"sub\\", true},
        {L"console.txt", true},
        {L"COM10", true},
        {L"..\\outside", false},
        {L"..", false},
        {L"sub\\..\\..\\outside", false},
        {L"sub/../../outside", false},
        {L"sub\\.. \\x", false},
        {L"...\\x", false},
        {L".", false},
        {L"\\x", false},
        {L"/x", false},
        {L"\\\\server\\x", false},
        {L"\\\\?\\C:\\x", false},
        {L"\\\\.\\PhysicalDrive0", false},
        {L"C:\\x", false},
        {L"C:x", false},
        {L"a:b", false},
        {L"file.txt::$DATA", false},
        {L"NUL", false},
        {L"sub\\con.txt", false},
        {L"aux .log", false},
        {L"LPT1", false},
        {L"com3.dat", false},
        {L"CONOUT$", false},
        {L"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, IsSafeListEntry(c.first)) << c.first;
}

TEST(ListEntries, EntryPathIsFolderPlusConvertedEntryOrNothing) {
    wchar_t path[kPathChars];
    ASSERT_TRUE(MakeEntryPath(L"C:\\Prog\\", "Formats\\zst.fmt", path, CountOf(path)));
    EXPECT_STREQ(L"C:\\Prog\\Formats\\zst.fmt", path);
    if (GetACP() == 1252) {
        ASSERT_TRUE(MakeEntryPath(L"C:\\Prog\\", "caf\xE9.txt", path, CountOf(path)));
        EXPECT_STREQ(L"C:\\Prog\\caf\u00e9.txt", path);
    }
    for (const char* hostile : {"..\\outside", "C:\\x", "\\x", "\\\\server\\x", "a:b"}) {
        EXPECT_FALSE(MakeEntryPath(L"C:\\Prog\\", hostile, path, CountOf(path))) << hostile;
    }
    // A path that would be cut names some other file: it is not made at all.
    std::string longEntry(2040, 'x');
    EXPECT_FALSE(MakeEntryPath(L"C:\\Prog\\", longEntry.c_str(), path, CountOf(path)));
    wchar_t small[16];
    EXPECT_TRUE(MakeEntryPath(L"C:\\Prog\\", "abcdefg", small, CountOf(small)));
    EXPECT_FALSE(MakeEntryPath(L"C:\\Prog\\", "abcdefgh", small, CountOf(small)));
}

TEST(ListLines, LineEndsBlanksAndOverlongLines) {
    std::wstring folder = bench::ScratchFolder(L"list-lines");
    std::string text = "plain\r\ntrailing \t \r\n\r\n  leading\n\n";
    text += std::string(2046, 'a') + "\n";          // fits: 2046 bytes
    text += std::string(2047, 'b') + "\n";          // one byte too many: skipped whole
    text += std::string(2047, 'c') + "victim.txt\r\n";  // its tail is never an entry of its own
    text += std::string("bad\0name", 8) + "\n";    // a NUL byte marks a damaged line
    text += "last without end";
    bench::WriteFileBytes(folder + L"\\l.lst", text);
    std::vector<std::string> expected = {"plain", "trailing", "<empty>", "  leading", "<empty>",
                                         std::string(2046, 'a'), "", "", "", "last without end"};
    EXPECT_EQ(expected, ReadAll(folder + L"\\l.lst"));

    // A line of exactly 2046 bytes plus CR is 2047 bytes before its line feed: too long.
    bench::WriteFileBytes(folder + L"\\l.lst", std::string(2046, 'd') + "\r\nnext\r\n");
    EXPECT_EQ((std::vector<std::string>{"", "next"}), ReadAll(folder + L"\\l.lst"));

    bench::WriteFileBytes(folder + L"\\l.lst", "");
    EXPECT_TRUE(ReadAll(folder + L"\\l.lst").empty());
    bench::RemoveTree(folder);
}
