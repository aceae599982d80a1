// The text of the uninstall's batch file: paths in the console's code page, and its lines.
#include "uninstall/uninstall.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <string>

TEST(BatchText, OemBytesDoubledPercentAndRefusals) {
    struct Case {
        const wchar_t* text;
        UINT codePage;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {L"C:\\Program Files\\Ombrix\\Uninstall.exe", 437, "C:\\Program Files\\Ombrix\\Uninstall.exe"},
        {L"C:\\100%\\a%b%", 437, "C:\\100%%\\a%%b%%"},
        {L"C:\\x & y ^ (z)!", 437, "C:\\x & y ^ (z)!"},
        {L"C:\\\u00dc\u00e9", 437, "C:\\\x9A\x82"},
        {L"C:\\\u00dc\u00e9", 850, "C:\\\x9A\x82"},
        {L"C:\\\u00dc\u00e9", 1252, "C:\\\xDC\xE9"},
        {L"C:\\\u4e2d", 437, nullptr},
        {L"C:\\\u4e2d", 65001, "C:\\\xE4\xB8\xAD"},
        {L"C:\\\u0101", 1252, nullptr},  // would be written as a look-alike "a"
        {L"C:\\\u221e", 437, "C:\\\xEC"},  // in the OEM page, not in the ANSI one
        {L"C:\\\u221e", 1252, nullptr},
        {L"C:\\a\"b", 437, nullptr},
        {L"C:\\a\r\nb", 437, nullptr},
        {L"C:\\a\tb", 437, nullptr},
        {L"", 437, nullptr},
    };
    for (const auto& c : cases) {
        char out[kBatchNameBytes];
        bool ok = EncodeBatchText(c.text, c.codePage, out, CountOf(out));
        EXPECT_EQ(c.expected != nullptr, ok) << c.text << " in " << c.codePage;
        EXPECT_EQ(c.expected != nullptr ? c.expected : "", std::string(out)) << c.text << " in " << c.codePage;
    }
    char tiny[4];
    EXPECT_FALSE(EncodeBatchText(L"C:\\abc", 437, tiny, CountOf(tiny)));
}

TEST(BatchText, PathFallsBackToItsShortForm) {
    std::wstring root = bench::ScratchFolder(L"batch-short");
    std::wstring folder = root + L"\\Ombrix-\u00dc\u00e9\u4e2d";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    char out[kBatchNameBytes];
    wchar_t shortForm[kPathChars];
    DWORD n = GetShortPathNameW(folder.c_str(), shortForm, CountOf(shortForm));
    ASSERT_GT(n, 0u);
    std::string expected;
    for (const wchar_t* p = shortForm; *p != 0; ++p) {
        ASSERT_LT(*p, 0x80) << "the short form should be plain ASCII";
        expected += (char)*p;
    }
    EXPECT_TRUE(EncodeBatchPath(folder.c_str(), 437, out, CountOf(out)));
    EXPECT_EQ(expected, std::string(out));
    // A path that can be written is written as it is, not as its short form.
    std::wstring plain = root + L"\\Ombrix-\u00dc\u00e9";
    ASSERT_TRUE(CreateDirectoryW(plain.c_str(), nullptr));
    EXPECT_TRUE(EncodeBatchPath(plain.c_str(), 437, out, CountOf(out)));
    EXPECT_EQ(std::string::npos, std::string(out).find('~'));
    // Nothing on disk and nothing writable: no text at all.
    EXPECT_FALSE(EncodeBatchPath((root + L"\\missing-\u4e2d").c_str(), 437, out, CountOf(out)));
    EXPECT_STREQ("", out);
    bench::RemoveTree(root);
}

TEST(BatchText, LinesInOrderAndLeftOutForUnwritablePaths) {
    std::wstring folder = bench::ScratchFolder(L"batch-lines");
    std::wstring file = folder + L"\\b.bat";
    auto write = [&](const char* program, const char* dir, const char* batch, bool silent) {
        BatchNames names;
        CopyStringA(names.program, program, CountOf(names.program));
        CopyStringA(names.folder, dir, CountOf(names.folder));
        CopyStringA(names.batch, batch, CountOf(names.batch));
        FILE* stream = _wfopen(file.c_str(), L"wb");
        bool ok = stream != nullptr && WriteBatchLines(stream, names, silent);
        if (stream != nullptr) fclose(stream);
        EXPECT_TRUE(ok);
        return bench::ReadFileBytes(file);
    };
    std::string group = "del \"C:\\P\\U.exe\"\r\nrd \"C:\\P\"\r\nif not exist \"C:\\P\\U.exe\" goto done\r\n";
    std::string groups;
    for (int i = 0; i < 5; ++i) groups += group;
    std::string head = "\"C:\\P\\U.exe\" /wait\r\n" + groups + ":done\r\n";
    std::string warning = "if exist \"C:\\P\\U.exe\" \"C:\\P\\U.exe\" /warning\r\n";
    std::string tail = "del \"C:\\T\\Uninstall_Kva.Bat\"\r\n";

    EXPECT_EQ(head + warning + tail, write("C:\\P\\U.exe", "C:\\P", "C:\\T\\Uninstall_Kva.Bat", false));
    EXPECT_EQ(head + tail, write("C:\\P\\U.exe", "C:\\P", "C:\\T\\Uninstall_Kva.Bat", true));
    // No program name: no wait, no deletion, no test and no warning that could name another file.
    std::string folderOnly;
    for (int i = 0; i < 5; ++i) folderOnly += "rd \"C:\\P\"\r\n";
    EXPECT_EQ(folderOnly + ":done\r\n" + tail, write("", "C:\\P", "C:\\T\\Uninstall_Kva.Bat", false));
    std::string programOnly = "\"C:\\P\\U.exe\" /wait\r\n";
    for (int i = 0; i < 5; ++i) programOnly += "del \"C:\\P\\U.exe\"\r\nif not exist \"C:\\P\\U.exe\" goto done\r\n";
    EXPECT_EQ(programOnly + ":done\r\n" + warning, write("C:\\P\\U.exe", "", "", false));
    bench::RemoveTree(folder);
}

TEST(BatchText, FileThatCannotBeWrittenWholeIsDeleted) {
    std::wstring folder = bench::ScratchFolder(L"batch-finish");
    std::wstring file = folder + L"\\Uninstall_Kva.Bat";
    BatchNames names;
    CopyStringA(names.program, "C:\\P\\U.exe", CountOf(names.program));
    CopyStringA(names.folder, "C:\\P", CountOf(names.folder));
    CopyStringA(names.batch, "C:\\T\\Uninstall_Kva.Bat", CountOf(names.batch));
    // A stream that takes no writes stands for a full or failing disk.
    struct Case {
        const wchar_t* mode;
        bool whole;
    } cases[] = {{L"wb", true}, {L"rb", false}, {L"ab", true}};
    for (const Case& c : cases) {
        ASSERT_TRUE(bench::WriteFileBytes(file, "")) << c.mode;
        FILE* stream = _wfopen(file.c_str(), c.mode);
        ASSERT_NE(nullptr, stream) << c.mode;
        EXPECT_EQ(c.whole, FinishBatchFile(stream, file.c_str(), names, false)) << c.mode;
        EXPECT_EQ(c.whole, bench::PathExists(file)) << c.mode;
        if (c.whole) {
            EXPECT_EQ(0u, bench::ReadFileBytes(file).find("\"C:\\P\\U.exe\" /wait\r\n")) << c.mode;
        }
    }
    bench::RemoveTree(folder);
}
