// WOW64, the Windows version number and the Windows 11 test, as the test prefix reports them.
#include "platform/platform.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <wchar.h>

TEST(Version, Wow64InTheTestPrefix) {
    SKIP_ON_X64_TEST_BUILD();
    // The tests are 32-bit programs in a 64-bit prefix.
    EXPECT_TRUE(IsWow64());
}

TEST(Version, WmiNeedsCom) {
    // Without COM the locator cannot be made: the answer is false, never a crash.
    EXPECT_FALSE(OsNameSaysWindows10());
}

// Run only inside the copies that the next test starts, each with Wine told to report one
// Windows version; the variable holds what that copy must see.
TEST(Version, ChildSeesTheVersionItWasGiven) {
    wchar_t expected[64];
    DWORD n = GetEnvironmentVariableW(L"OMBRIX_VERSION_CHILD", expected, CountOf(expected));
    if (n == 0 || n >= CountOf(expected)) GTEST_SKIP() << "run by Version.KnownVersionsAsWineReportsThem";
    unsigned number = 0;
    int name10 = 0;
    int eleven = 0;
    ASSERT_EQ(3, swscanf(expected, L"%x %d %d", &number, &name10, &eleven)) << expected;
    bench::ComScope com;
    EXPECT_EQ(number, GetWindowsVersion());
    EXPECT_EQ(name10 != 0, OsNameSaysWindows10());
    EXPECT_EQ(eleven != 0, IsWindows11OrLater());
}

TEST(Version, KnownVersionsAsWineReportsThem) {
    struct Case {
        const wchar_t* wineVersion;  // as winecfg names it
        const wchar_t* expected;     // version number, name says Windows 10, Windows 11
    } cases[] = {
        {L"win7", L"0601 0 0"},
        {L"win81", L"0603 0 0"},
        {L"win10", L"0a00 1 0"},
    };
    wchar_t self[kPathChars], temp[kPathChars];
    GetModuleFileNameW(nullptr, self, CountOf(self));
    GetTempPathW(CountOf(temp), temp);
    std::wstring copy = std::wstring(temp) + L"ombrix-version-check.exe";
    ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
    // Wine reports a chosen version to one program name; nothing else in the prefix sees it.
    const wchar_t* appKey = L"Software\\Wine\\AppDefaults\\ombrix-version-check.exe";
    for (const Case& c : cases) {
        ASSERT_EQ(ERROR_SUCCESS, bench::SetText(HKEY_CURRENT_USER, appKey, L"Version", c.wineVersion));

        std::wstring command = L"\"" + copy + L"\" --gtest_filter=Version.ChildSeesTheVersionItWasGiven";
        SetEnvironmentVariableW(L"OMBRIX_VERSION_CHILD", c.expected);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        BOOL started = CreateProcessW(copy.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                      &startup, &process);
        SetEnvironmentVariableW(L"OMBRIX_VERSION_CHILD", nullptr);
        DWORD exitCode = 99;
        if (started) {
            WaitForSingleObject(process.hProcess, 60000);
            GetExitCodeProcess(process.hProcess, &exitCode);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        EXPECT_TRUE(started) << c.wineVersion;
        EXPECT_EQ(0u, exitCode) << c.wineVersion;
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, appKey);
    DeleteFileW(copy.c_str());
}
