// WOW64, the Windows version number and the Windows 11 test, as the test prefix reports them.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

namespace {

// What the system itself says, asked another way than the code under test does.
RTL_OSVERSIONINFOW SystemVersion() {
    typedef LONG(WINAPI * RtlGetVersionFn)(RTL_OSVERSIONINFOW*);
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"ntdll"), "RtlGetVersion");
    auto getVersion = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void (*)()>(proc));
    if (getVersion != nullptr) getVersion(&info);
    return info;
}

// The program initialises COM at start-up; a test has to do it itself.
class ComScope {
public:
    ComScope() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComScope() {
        if (ok_) CoUninitialize();
    }

private:
    bool ok_;
};

}  // namespace

TEST(Version, Wow64InTheTestPrefix) {
    // The tests are 32-bit programs in a 64-bit prefix.
    ASSERT_EQ(4u, sizeof(void*));
    EXPECT_TRUE(IsWow64());
    EXPECT_TRUE(IsWow64());
}

TEST(Version, NumberIsMajorShiftedAndMinor) {
    uint32_t version = GetWindowsVersion();
    EXPECT_NE(0u, version);
    EXPECT_GE(version, 0x0601u);
    OSVERSIONINFOW reported = {};
    reported.dwOSVersionInfoSize = sizeof(reported);
    ASSERT_TRUE(GetVersionExW(&reported));
    EXPECT_EQ((reported.dwMajorVersion << 8) + reported.dwMinorVersion, version);
    EXPECT_EQ(version, GetWindowsVersion());
}

TEST(Version, WindowsElevenOnlyFromVersionTenBuild22000) {
    ComScope com;
    RTL_OSVERSIONINFOW system = SystemVersion();
    ASSERT_NE(0u, system.dwMajorVersion);
    bool windows10 = system.dwMajorVersion == 10 && system.dwBuildNumber < 22000;
    if (system.dwMajorVersion < 10 || windows10) {
        EXPECT_FALSE(IsWindows11OrLater());
    } else {
        // On a high build the answer depends on the system's name.
        EXPECT_EQ(!OsNameSaysWindows10(), IsWindows11OrLater());
    }
    EXPECT_EQ(IsWindows11OrLater(), IsWindows11OrLater());
    if (windows10) {
        EXPECT_TRUE(OsNameSaysWindows10());
    } else if (system.dwMajorVersion < 10) {
        EXPECT_FALSE(OsNameSaysWindows10());
    }
}

TEST(Version, WmiNeedsCom) {
    // Without COM the locator cannot be made: the answer is false, never a crash.
    EXPECT_FALSE(OsNameSaysWindows10());
}

// Run only inside the copy that the next test starts with Wine told to report Windows 10.
TEST(Version, ChildOnWindows10) {
    if (GetEnvironmentVariableW(L"OMBRIX_VERSION_CHILD", nullptr, 0) == 0) GTEST_SKIP();
    ComScope com;
    EXPECT_EQ(0x0A00u, GetWindowsVersion());
    EXPECT_TRUE(OsNameSaysWindows10());
    EXPECT_FALSE(IsWindows11OrLater());
}

TEST(Version, WindowsTenIsToldApartThroughWmi) {
    wchar_t self[kPathChars], temp[kPathChars];
    GetModuleFileNameW(nullptr, self, CountOf(self));
    GetTempPathW(CountOf(temp), temp);
    std::wstring copy = std::wstring(temp) + L"ombrix-version-check.exe";
    ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
    // Wine reports a chosen version to one program name; nothing else in the prefix sees it.
    const wchar_t* appKey = L"Software\\Wine\\AppDefaults\\ombrix-version-check.exe";
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, appKey, 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    const wchar_t version[] = L"win10";
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), sizeof(version));
    RegCloseKey(key);

    std::wstring command = L"\"" + copy + L"\" --gtest_filter=Version.ChildOnWindows10";
    SetEnvironmentVariableW(L"OMBRIX_VERSION_CHILD", L"1");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(copy.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process);
    SetEnvironmentVariableW(L"OMBRIX_VERSION_CHILD", nullptr);
    DWORD exitCode = 99;
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, appKey);
    DeleteFileW(copy.c_str());
    ASSERT_TRUE(started);
    EXPECT_EQ(0u, exitCode);
}
