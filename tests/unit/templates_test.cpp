// The "New" menu's templates: the empty archives written beside the program and the entries that
// name them.
#include "integration/integration.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Beside(const wchar_t* name) { return bench::TestsFolder() + L"\\" + name; }

const std::string kKvaBytes("\x4B\x76\x61\x21\x1A\x07\x01\x00\xC1\xDF\x5F\x56\x03\x01\x04\x00\x1D\x77\x56\x51\x03\x05\x04\x00",
                            24);
const std::string kZipBytes = std::string("PK\x05\x06", 4) + std::string(18, '\0');

}  // namespace

// A template is written when missing or of another size and kept at its size whatever it holds;
// the entry names it beside the program, also where a subkey keeps the old entry's key alive.
TEST(Templates, WrittenWhenMissingOrOfAnotherSizeAndNamedBesideTheProgram) {
    for (const wchar_t* name : {L"kvanew.dat", L"zipnew.dat"}) DeleteFileW(Beside(name).c_str());
    bench::SetText(HKEY_CLASSES_ROOT, L".tplzip\\ShellNew\\Config", L"", L"kept");
    bench::SetText(HKEY_CLASSES_ROOT, L".tplzip\\ShellNew", L"NullFile", L"");
    WriteNewTemplate(L".tplkva", RowKind::Kva);
    WriteNewTemplate(L".tplzip", RowKind::Zip);
    EXPECT_EQ(kKvaBytes, bench::ReadFileBytes(Beside(L"kvanew.dat")));
    EXPECT_EQ(kZipBytes, bench::ReadFileBytes(Beside(L"zipnew.dat")));
    EXPECT_EQ(Beside(L"kvanew.dat"), bench::ValueText(HKEY_CLASSES_ROOT, L".tplkva\\ShellNew", L"FileName"));
    EXPECT_EQ(Beside(L"zipnew.dat"), bench::ValueText(HKEY_CLASSES_ROOT, L".tplzip\\ShellNew", L"FileName"));
    EXPECT_EQ(L"kept", bench::ValueText(HKEY_CLASSES_ROOT, L".tplzip\\ShellNew\\Config", L""));

    ASSERT_TRUE(bench::WriteFileBytes(Beside(L"kvanew.dat"), std::string(24, 'x')));
    ASSERT_TRUE(bench::WriteFileBytes(Beside(L"zipnew.dat"), "PK"));
    WriteNewTemplate(L".tplkva", RowKind::Kva);
    WriteNewTemplate(L".tplzip", RowKind::Zip);
    EXPECT_EQ(std::string(24, 'x'), bench::ReadFileBytes(Beside(L"kvanew.dat")));
    EXPECT_EQ(kZipBytes, bench::ReadFileBytes(Beside(L"zipnew.dat")));

    for (const wchar_t* key : {L".tplkva", L".tplzip"}) bench::DeleteKeyTree(HKEY_CLASSES_ROOT, key);
    for (const wchar_t* name : {L"kvanew.dat", L"zipnew.dat"}) DeleteFileW(Beside(name).c_str());
}
