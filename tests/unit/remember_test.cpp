// The record of an extension's previous state: a copy under the machine's product key that
// regedit shows as the class stood, read back as one previous state and dropped as a whole.
#include "integration/integration.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t kRecords[] = L"Software\\Ombrix\\Previous";

// A value as stored: its type and its bytes, "missing" when there is none.
std::string Stored(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD type = 0;
    std::string bytes;
    return bench::ReadValue(root, key, name, &type, &bytes) ? std::to_string(type) + ":" + bytes : "missing";
}

}  // namespace

// Kept exactly, whatever the types and sizes: the default value, every "New" value, an empty
// "New" entry; "Exist" says whether the key was there; read back the same.
TEST(PreviousState, KeptAsACopyAndReadBackTheSame) {
    bool productExisted = bench::KeyExists(HKEY_CURRENT_USER, L"Software\\Ombrix");
    const std::wstring record = std::wstring(kRecords) + L"\\.remfull";
    const char odd[] = "%\0T\0y\0p";  // REG_EXPAND_SZ of seven bytes, no terminator
    bench::SetValue(HKEY_CLASSES_ROOT, L".remfull", nullptr, REG_EXPAND_SZ, odd, 7);
    bench::SetText(HKEY_CLASSES_ROOT, L".remfull\\ShellNew", L"Command", L"cmd /c");
    bench::SetValue(HKEY_CLASSES_ROOT, L".remfull\\ShellNew", L"Data", REG_BINARY, "\x01\x00\x02", 3);
    bench::SetValue(HKEY_CLASSES_ROOT, L".remempty\\ShellNew", L"", REG_NONE, nullptr, 0);
    bench::DeleteValue(HKEY_CLASSES_ROOT, L".remempty\\ShellNew", L"");
    for (const wchar_t* extension : {L".remfull", L".remempty", L".remnone"}) KeepPreviousState(extension);

    EXPECT_EQ(Stored(HKEY_CLASSES_ROOT, L".remfull", L""), Stored(HKEY_LOCAL_MACHINE, record, L""));
    for (const wchar_t* name : {L"Command", L"Data"})
        EXPECT_EQ(Stored(HKEY_CLASSES_ROOT, L".remfull\\ShellNew", name), Stored(HKEY_LOCAL_MACHINE, record + L"\\ShellNew", name));
    EXPECT_EQ(L"dword:1", bench::ValueText(HKEY_LOCAL_MACHINE, record, L"Exist"));
    const std::wstring empty = std::wstring(kRecords) + L"\\.remempty", none = std::wstring(kRecords) + L"\\.remnone";
    EXPECT_TRUE(bench::KeyExists(HKEY_LOCAL_MACHINE, empty + L"\\ShellNew"));
    EXPECT_EQ("missing", Stored(HKEY_LOCAL_MACHINE, empty, L""));
    EXPECT_EQ(L"dword:0", bench::ValueText(HKEY_LOCAL_MACHINE, none, L"Exist"));
    EXPECT_FALSE(bench::KeyExists(HKEY_LOCAL_MACHINE, none + L"\\ShellNew"));

    PreviousState full, emptyEntry;
    ReadPreviousState(L".remfull", &full);
    ReadPreviousState(L".remempty", &emptyEntry);
    EXPECT_EQ(PreviousRecord::Machine, full.record);
    EXPECT_TRUE(full.existed && full.defaultExisted && full.shellNewExisted);
    EXPECT_EQ(std::string(odd, 7), std::string(reinterpret_cast<const char*>(full.defaultValue.data.Data()), full.defaultValue.bytes));
    EXPECT_STREQ(L"%Typ", full.type);
    std::string values;
    BoundedArray<wchar_t> name;
    StoredValue value;
    for (DWORD index = 0; NextPreviousShellNewValue(full, &index, &name, &value);)
        values += bench::Utf8(name.Data()) + "=" + std::to_string(value.type) + "/" + std::to_string(value.bytes) + ";";
    EXPECT_EQ("Command=1/14;Data=3/3;", values);
    EXPECT_TRUE(emptyEntry.existed && !emptyEntry.defaultExisted && emptyEntry.shellNewExisted);
    DWORD first = 0;
    EXPECT_FALSE(NextPreviousShellNewValue(emptyEntry, &first, &name, &value));

    for (const wchar_t* extension : {L".remfull", L".remempty", L".remnone"}) {
        ForgetPreviousState(extension);
        EXPECT_FALSE(bench::KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kRecords) + L"\\" + extension));
        bench::DeleteKeyTree(HKEY_CLASSES_ROOT, extension);
        bench::DeleteKeyTree(HKEY_CURRENT_USER, std::wstring(L"Software\\Ombrix\\Setup\\") + extension);
    }
    bench::DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, kRecords);
    bench::DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, L"Software\\Ombrix");
    bench::DeleteKeyIfEmpty(HKEY_CURRENT_USER, L"Software\\Ombrix\\Setup");
    if (!productExisted) bench::DeleteKeyIfEmpty(HKEY_CURRENT_USER, L"Software\\Ombrix");
}
