// The uninstall entry as the list of installed programs reads it, written by a copy of this
// test placed in a program folder whose path holds spaces.
#include "integration/integration.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t kEntryKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix archiver";

REGSAM OwnView() { return sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }
REGSAM OtherView() { return sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

std::wstring ReadEntry(const wchar_t* value, REGSAM view) {
    return bench::ValueText(HKEY_LOCAL_MACHINE, kEntryKey, value, view);
}

void DeleteEntry() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kEntryKey, OwnView(), 0); }

std::wstring Replace(std::wstring text, const std::wstring& token, const std::wstring& by) {
    for (size_t at = text.find(token); at != std::wstring::npos; at = text.find(token, at + by.size())) {
        text.replace(at, token.size(), by);
    }
    return text;
}

}  // namespace

TEST(UninstallEntry, DisplayNameAppendsVersionBetaAndBitness) {
    struct Case {
        const wchar_t* start;
        size_t capacity;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"Ombrix", 2048, L"Ombrix 6.24 beta 1 (32-bit)"},
        {L"", 2048, L"6.24 beta 1 (32-bit)"},
        {L"Ombrix", 10, L"Ombrix 6."},  // cut to the capacity, terminator included
        {L"Ombrix", 28, L"Ombrix 6.24 beta 1 (32-bit)"},
        {L"Ombrix", 27, L"Ombrix 6.24 beta 1 (32-bit"},
    };
    for (const Case& c : cases) {
        wchar_t text[2048 + 1];  // one beyond the largest capacity, to see that it stays
        wmemset(text, L'#', CountOf(text));
        CopyString(text, c.start, CountOf(text));
        FormatDisplayName(text, c.capacity);
        EXPECT_EQ(bench::Utf8(c.expected), bench::Utf8(text)) << "capacity " << c.capacity;
        EXPECT_EQ(L'#', text[c.capacity]) << "wrote past the capacity " << c.capacity;
    }
}

// Run by the next test from a copy of this program in the program folder.
TEST(UninstallEntry, DISABLED_WriteChild) {
    WriteUninstallEntry();
    wchar_t marker[kPathChars];
    if (GetEnvironmentVariableW(L"OMBRIX_ENTRY_CHILD_DONE", marker, kPathChars) != 0) {
        bench::WriteFileBytes(marker, "done");
    }
}

TEST(UninstallEntry, ValuesAsTheInstalledProgramsListReadsThem) {
    std::wstring scratch = bench::ScratchFolder(L"uninstallentry");
    std::wstring folder = scratch + L"\\Program Files\\Ombrix beta";
    CreateDirectoryW((scratch + L"\\Program Files").c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring program = folder + L"\\Uninstall.exe";
    ASSERT_TRUE(CopyFileW((bench::TestsFolder() + L"\\uninstallentry_test.exe").c_str(), program.c_str(), FALSE));
    std::wstring otherIcon = scratch + L"\\other.ico";
    ASSERT_TRUE(bench::WriteFileBytes(otherIcon, "icon"));

    // "DisplayIcon" before the run (null: none) and after it; {F} is the program folder.
    struct IconCase {
        const wchar_t* before;
        const wchar_t* after;
    };
    const IconCase iconCases[] = {
        {nullptr, L"{F}\\Ombrix.exe"},
        {L"{S}\\other.ico", L"{S}\\other.ico"},     // names an existing file: kept
        {L"{F}\\Ombrix.exe,0", L"{F}\\Ombrix.exe"},  // an icon index names no file: replaced
        {L"", L"{F}\\Ombrix.exe"},
    };
    struct ValueRow {
        const wchar_t* name;
        const wchar_t* data;
    };
    const ValueRow values[] = {
        {L"DisplayName", L"Ombrix 6.24 beta 1 (32-bit)"},
        {L"DisplayVersion", L"6.24.1"},
        {L"VersionMajor", L"dword:6"},
        {L"VersionMinor", L"dword:24"},
        {L"UninstallString", L"\"{F}\\Uninstall.exe\""},
        {L"QuietUninstallString", L"\"{F}\\Uninstall.exe\" /S"},
        {L"InstallLocation", L"{F}\\"},
        {L"NoModify", L"dword:1"},
        {L"NoRepair", L"dword:1"},
        {L"Language", L"dword:0"},
        {L"Publisher", L"Talvenor GmbH"},
    };
    auto expand = [&](const wchar_t* text) { return Replace(Replace(text, L"{F}", folder), L"{S}", scratch); };

    for (const IconCase& c : iconCases) {
        SCOPED_TRACE(c.before != nullptr ? bench::Utf8(c.before) : "no DisplayIcon");
        DeleteEntry();
        if (c.before != nullptr) {
            ASSERT_EQ(ERROR_SUCCESS,
                      bench::SetText(HKEY_LOCAL_MACHINE, kEntryKey, L"DisplayIcon", expand(c.before), OwnView()));
        }
        std::wstring marker = scratch + L"\\done";
        DeleteFileW(marker.c_str());
        bench::RunSpec spec;
        spec.program = program;
        spec.arguments = L"--gtest_also_run_disabled_tests --gtest_filter=UninstallEntry.DISABLED_WriteChild";
        spec.environment = {{L"OMBRIX_ENTRY_CHILD_DONE", marker}};
        bench::RunResult result = bench::Run(spec);
        ASSERT_TRUE(result.started);
        EXPECT_EQ(0u, result.exitCode);
        EXPECT_TRUE(bench::PathExists(marker)) << "the child did not run to its end";

        for (const ValueRow& row : values) {
            EXPECT_EQ(bench::Utf8(expand(row.data)), bench::Utf8(ReadEntry(row.name, OwnView()))) << bench::Utf8(row.name);
        }
        EXPECT_EQ(bench::Utf8(expand(c.after)), bench::Utf8(ReadEntry(L"DisplayIcon", OwnView())));
        // The entry lives in the program's own registry view only.
        EXPECT_EQ("missing", bench::Utf8(ReadEntry(L"DisplayName", OtherView())));
    }
    DeleteEntry();
    EXPECT_EQ("missing", bench::Utf8(ReadEntry(L"DisplayName", OwnView())));
    bench::RemoveTree(scratch);
}
