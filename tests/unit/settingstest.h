// Shared by the settings tests: turns at the one Ombrix.ini beside the test programs, and the
// fixture that clears what a case wrote.
#pragma once

#include "settings/settings.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

// Every settings test shares the one Ombrix.ini beside the test executables: the settings test
// programs take turns through this mutex.
class SettingsFileTurn : public testing::Environment {
public:
    void SetUp() override {
        mutex_ = CreateMutexW(nullptr, FALSE, L"Local\\OmbrixSettingsFileTests");
        WaitForSingleObject(mutex_, 200000);
    }
    void TearDown() override {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }

private:
    HANDLE mutex_ = nullptr;
};

inline std::wstring IniPath() { return bench::TestsFolder() + L"\\Ombrix.ini"; }

inline std::wstring AppDataIni() {
    wchar_t folder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder))) return std::wstring();
    return std::wstring(folder) + L"\\Ombrix\\Ombrix.ini";
}

// base, then key names of up to 100 characters, to exactly length characters.
inline std::wstring PathOfLength(const std::wstring& base, size_t length) {
    std::wstring path = base;
    while (path.size() + 102 < length) path += L"\\" + std::wstring(100, L'k');
    path += L"\\" + std::wstring(length - path.size() - 1, L'e');
    return path;
}

// A key a settings case writes to: gone with everything below it before and after each case; with
// a value name, only that value of the key goes.
struct ScratchKey {
    HKEY root;
    const wchar_t* path;
    REGSAM view = 0;
    const wchar_t* value = nullptr;
};

// Each case starts and ends without a settings file, in the default registry view, with its
// scratch keys gone and the product key too where the cases left it empty.
class SettingsKeysTest : public testing::Test {
protected:
    explicit SettingsKeysTest(std::vector<ScratchKey> keys) : keys_(std::move(keys)) {}
    void SetUp() override {
        ASSERT_FALSE(bench::PathExists(AppDataIni())) << "a settings file in AppData would serve these tests";
        Clean();
    }
    void TearDown() override { Clean(); }

private:
    void Clean() const {
        ClearSettingsFile();
        SetRegistryView(0);
        DeleteFileW(IniPath().c_str());
        for (const ScratchKey& key : keys_) {
            if (key.value != nullptr) bench::DeleteValue(key.root, key.path, key.value, key.view);
            else bench::DeleteKeyTree(key.root, key.path, key.view);
        }
        bench::DeleteKeyIfEmpty(HKEY_CURRENT_USER, L"Software\\Ombrix");
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
            bench::DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, L"Software\\Ombrix", view);
    }

    std::vector<ScratchKey> keys_;
};
