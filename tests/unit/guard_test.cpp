// The deletion guard of the tests: whatever a test computes, it never deletes the checkout.
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

namespace {

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// The checkout holds the build tree (build, or build\x64 for the x86_64 test build).
std::wstring Checkout() {
    std::wstring build = bench::BuildFolder();
    std::wstring parent = Parent(build);
    if (bench::PathExists(parent + L"\\CMakeLists.txt")) return parent;
    return Parent(parent);
}

TEST(Guard, RefusesEverythingButDriveCAndTheScratchFolder) {
    const std::wstring checkout = Checkout();
    ASSERT_TRUE(bench::PathExists(checkout + L"\\CMakeLists.txt")) << bench::Utf8(checkout);
    const std::wstring scratch = bench::BuildScratchFolder();
    struct Case {
        std::wstring path;
        bool allowed;
    } cases[] = {
        {checkout, false},
        {checkout + L"\\.git", false},
        {bench::BuildFolder(), false},
        {scratch, false},
        {scratch + L"\\..\\..", false},
        {scratch + L"\\cwd\\..\\..\\..", false},
        {L"", false},
        {L"relative\\folder", false},
        {L"\\rooted", false},
        {L"C:\\", false},
        {L"C:\\windows", false},
        {L"C:\\users\\..", false},
        {L"Z:\\", false},
        {L"Z:\\tmp\\x", false},
        {L"\\\\?\\C:\\users\\x", false},
        {L"\\\\server\\share\\x", false},
        {L"C:/users/x", false},
        {scratch + L"\\case", true},
        {L"C:\\users\\someone\\Temp\\ombrix-test-x", true},
        {L"C:\\Program Files\\Ombrix", true},
    };
    for (const Case& c : cases) EXPECT_EQ(c.allowed, bench::MayDelete(c.path)) << bench::Utf8(c.path);
}

TEST(Guard, RemoveTreeLeavesARefusedFolderWhole) {
    // A folder of the build tree outside the scratch folder stands for the checkout.
    std::wstring outside = bench::BuildFolder() + L"\\guard-sentinel";
    CreateDirectoryW(outside.c_str(), nullptr);
    ASSERT_TRUE(bench::WriteFileBytes(outside + L"\\keep.txt", "keep"));
    bench::RemoveTree(outside);
    EXPECT_TRUE(bench::PathExists(outside + L"\\keep.txt"));
    DeleteFileW((outside + L"\\keep.txt").c_str());
    RemoveDirectoryW(outside.c_str());

    std::wstring inside = bench::ScratchFolder(L"guard");
    ASSERT_TRUE(bench::WriteFileBytes(inside + L"\\gone.txt", "gone"));
    bench::RemoveTree(inside);
    EXPECT_FALSE(bench::PathExists(inside));
}

}  // namespace
