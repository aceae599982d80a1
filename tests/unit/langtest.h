// Shared by the language tests: "uninstall.lng" and "kvalng.dll" beside the test program,
// written, loaded and removed by each test, one test at a time across all test programs.
#pragma once

#include "language/language.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <string>

namespace langtest {

inline std::wstring LanguageFilePath() { return bench::TestsFolder() + L"\\uninstall.lng"; }
inline std::wstring LibraryPath() { return bench::TestsFolder() + L"\\kvalng.dll"; }

// UTF-16 little-endian bytes of a text, without a byte-order mark.
inline std::string Utf16(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes.push_back((char)(c & 0xFF));
        bytes.push_back((char)(c >> 8));
    }
    return bytes;
}

// The text stored for a key, or "<absent>".
inline std::wstring Text(const char* key) {
    wchar_t buffer[70000];
    if (!FindTextForKey(key, buffer, CountOf(buffer))) return L"<absent>";
    return buffer;
}

// Test programs run in parallel and all use the same two names beside themselves, so each
// test holds a named mutex while the files exist; start and end in the start-up state.
class LanguageTest : public testing::Test {
protected:
    void SetUp() override {
        lock_ = CreateMutexW(nullptr, FALSE, L"OmbrixLanguageTestFiles");
        ASSERT_NE(nullptr, lock_);
        DWORD wait = WaitForSingleObject(lock_, 200000);
        ASSERT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED);
        Reset();
        DeleteFileW(LanguageFilePath().c_str());
        DeleteFileW(LibraryPath().c_str());
    }

    void TearDown() override {
        Reset();
        for (const std::wstring& path : {LanguageFilePath(), LibraryPath()}) {
            if (bench::PathExists(path)) {
                EXPECT_TRUE(DeleteFileW(path.c_str())) << path;
            }
        }
        if (lock_ != nullptr) {
            ReleaseMutex(lock_);
            CloseHandle(lock_);
        }
    }

    static void Reset() {
        ResetLanguageTable();
        ReleaseLanguageLibrary();
    }

    // Writes "uninstall.lng" beside the program and loads it as start-up does.
    static void LoadFile(const std::string& bytes) {
        ASSERT_TRUE(bench::WriteFileBytes(LanguageFilePath(), bytes));
        LoadLanguageFile(L"uninstall.lng");
    }

    // Copies a built library ("fixtures" or "fixtures-rtl") beside the program and loads it.
    static void InstallLibrary(const wchar_t* fixture) {
        std::wstring source = bench::TestsFolder() + L"\\" + fixture + L"\\kvalng.dll";
        ASSERT_TRUE(CopyFileW(source.c_str(), LibraryPath().c_str(), FALSE)) << "missing " << source;
        LoadLanguageLibrary(GetModuleHandleW(nullptr));
        ASSERT_TRUE(IsLanguageLibraryLoaded());
    }

    HANDLE lock_ = nullptr;
};

}  // namespace langtest
