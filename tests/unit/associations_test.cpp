// File associations and "New" templates against the prefix's real HKEY_CLASSES_ROOT: setup
// takes the selected extensions over, and giving them back leaves each as it was before.
#include "integration/integration.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <wchar.h>

#include <string>
#include <vector>

namespace {

const wchar_t kProduct[] = L"Software\\Ombrix";
const wchar_t kSetup[] = L"Software\\Ombrix\\Setup";

std::wstring TemplatePath(const wchar_t* name) { return bench::TestsFolder() + L"\\" + name; }

// An extension as Explorer sees it: "absent", or its file type and its "New" menu entry.
std::string DescribeClass(const std::wstring& extension) {
    if (!bench::KeyExists(HKEY_CLASSES_ROOT, extension)) return "absent";
    std::wstring type, fileName, nullFile;
    std::string text = bench::ReadText(HKEY_CLASSES_ROOT, extension, L"", &type) ? bench::Utf8(type) : "(no value)";
    std::wstring shellNew = extension + L"\\ShellNew";
    bool hasFileName = bench::ReadText(HKEY_CLASSES_ROOT, shellNew, L"FileName", &fileName);
    bool hasNullFile = bench::ReadText(HKEY_CLASSES_ROOT, shellNew, L"NullFile", &nullFile);
    if (hasFileName) {
        if (fileName == TemplatePath(L"kvanew.dat")) fileName = L"<kvanew.dat>";
        if (fileName == TemplatePath(L"zipnew.dat")) fileName = L"<zipnew.dat>";
        text += " +FileName=" + bench::Utf8(fileName);
    }
    if (hasNullFile) text += " +NullFile=" + bench::Utf8(nullFile);
    if (!hasFileName && !hasNullFile && bench::KeyExists(HKEY_CLASSES_ROOT, shellNew)) text += " +ShellNew";
    return text;
}

// What setup remembered for the extension: "Exist|Type|ShellNew", or "" without a key.
std::string DescribeRemembered(const std::wstring& extension) {
    std::wstring key = std::wstring(kSetup) + L"\\" + extension;
    if (!bench::KeyExists(HKEY_CURRENT_USER, key)) return "";
    DWORD exist = 0;
    std::string text = bench::ReadDword(HKEY_CURRENT_USER, key, L"Exist", &exist) ? std::to_string(exist) : "-";
    std::wstring type, shellNew;
    text += "|" + (bench::ReadText(HKEY_CURRENT_USER, key, L"Type", &type) ? bench::Utf8(type) : "-");
    text += "|" + (bench::ReadText(HKEY_CURRENT_USER, key, L"ShellNew", &shellNew) ? bench::Utf8(shellNew) : "-");
    return text;
}

std::wstring Volume(int number) {
    wchar_t name[8];
    swprintf(name, 8, L".k%02d", number);
    return name;
}

// The volumes .k00 to .k99 that carry the given type ("absent" for no key), as a count.
int CountVolumes(const std::string& state) {
    int count = 0;
    for (int number = 0; number < 100; number++) count += DescribeClass(Volume(number)) == state ? 1 : 0;
    return count;
}

struct Row {
    const wchar_t* extension;
    const wchar_t* priorType;      // nullptr: no key at all
    const wchar_t* priorNew;       // ShellNew before: nullptr none, "*" NullFile, else FileName
    const wchar_t* presetType;     // remembered "Type" of an earlier install, or nullptr
    const wchar_t* takenOverBy;    // another program's type set after setup, or nullptr
    const char* bound;             // the extension after setup
    const char* remembered;        // Setup\<extension> after setup
    const char* givenBack;         // the extension after removal
};

const Row kRows[] = {
    {L".kva", L"", L"*", nullptr, nullptr, "Ombrix +FileName=<kvanew.dat>", "1||*", " +NullFile="},
    {L".zip", L"Old.Zip", L"C:\\old\\empty.zip", nullptr, nullptr, "Ombrix.ZIP +FileName=<zipnew.dat>",
     "1|Old.Zip|C:\\old\\empty.zip", "Old.Zip +FileName=C:\\old\\empty.zip"},
    {L".7z", L"Other.7z", L"*", nullptr, nullptr, "Ombrix +NullFile=", "1|Other.7z|*", "Other.7z +NullFile="},
    {L".cab", nullptr, nullptr, nullptr, nullptr, "Ombrix", "0||", "absent"},
    {L".gz", L"Gzip.Old", nullptr, nullptr, nullptr, "Ombrix", "1|Gzip.Old|", "Gzip.Old"},
    {L".tgz", nullptr, nullptr, nullptr, nullptr, "Ombrix", "0||", "absent"},
    {L".arj", L"Arj.Old", nullptr, nullptr, L"Thief.Arj", "Ombrix", "1|Arj.Old|", "Thief.Arj"},
    // Bound by an earlier install that remembered the archiver's own type, in another case.
    {L".lzh", L"Ombrix", nullptr, L"oMbRiX", nullptr, "Ombrix", "1|oMbRiX|", ""},
    {L".lha", L"", nullptr, nullptr, nullptr, "Ombrix", "1||", ""},
    // Rows left unselected: another program's extension is never touched; the archiver's own
    // without a remembered state is given back with an empty type.
    {L".tar", L"Tar.Other", L"*", nullptr, nullptr, "Tar.Other +NullFile=", "", "Tar.Other +NullFile="},
    {L".xz", nullptr, nullptr, nullptr, nullptr, "absent", "", "absent"},
    {L".txz", L"ombrix", nullptr, nullptr, nullptr, "", "", ""},
};

IntegrationOptions Selection() {
    IntegrationOptions options = {};
    for (uint32_t row : {0u, 1u, 2u, 3u, 5u, 6u, 8u}) options.associate[row] = true;
    options.shellExt = true;
    return options;
}

void RemoveEverythingTouched(bool productExisted) {
    for (const Row& row : kRows) bench::DeleteKeyTree(HKEY_CLASSES_ROOT, row.extension);
    for (int number = 0; number < 100; number++) bench::DeleteKeyTree(HKEY_CLASSES_ROOT, Volume(number));
    for (const wchar_t* key : {L"Ombrix", L"Ombrix.ZIP", L"Ombrix.REV", L".rev"}) bench::DeleteKeyTree(HKEY_CLASSES_ROOT, key);
    bench::DeleteKeyTree(HKEY_CURRENT_USER, kSetup);
    bench::DeleteKeyTree(HKEY_LOCAL_MACHINE, L"Software\\Ombrix\\Previous");
    DeleteSettingKeyIfEmpty(HKEY_LOCAL_MACHINE, L"");
    if (!productExisted) RegDeleteKeyW(HKEY_CURRENT_USER, kProduct);
    DeleteFileW(TemplatePath(L"kvanew.dat").c_str());
    DeleteFileW(TemplatePath(L"zipnew.dat").c_str());
}

}  // namespace

TEST(FileAssociations, SetupThenRemovalGivesEveryExtensionBack) {
    bool productExisted = bench::KeyExists(HKEY_CURRENT_USER, kProduct);
    RemoveEverythingTouched(productExisted);
    for (const Row& row : kRows) {
        if (row.priorType != nullptr) bench::SetText(HKEY_CLASSES_ROOT, row.extension, L"", row.priorType);
        std::wstring shellNew = std::wstring(row.extension) + L"\\ShellNew";
        if (row.priorNew != nullptr && row.priorNew[0] == L'*') bench::SetText(HKEY_CLASSES_ROOT, shellNew, L"NullFile", L"");
        else if (row.priorNew != nullptr) bench::SetText(HKEY_CLASSES_ROOT, shellNew, L"FileName", row.priorNew);
        if (row.presetType != nullptr) {
            std::wstring key = std::wstring(kSetup) + L"\\" + row.extension;
            bench::SetDword(HKEY_CURRENT_USER, key, L"Exist", 1);
            bench::SetText(HKEY_CURRENT_USER, key, L"Type", row.presetType);
            bench::SetText(HKEY_CURRENT_USER, key, L"ShellNew", L"");
        }
    }
    std::vector<std::string> prior;
    for (const Row& row : kRows) prior.push_back(DescribeClass(row.extension));
    bench::SetText(HKEY_CLASSES_ROOT, L"Ombrix\\DefaultIcon", L"", L"C:\\theme\\archive.ico,3");

    // Setup: the file types, then the selected extensions.
    ASSERT_TRUE(RegisterFileTypes());
    BindAllExtensions(Selection());

    std::wstring program = bench::TestsFolder() + L"\\Ombrix.exe";
    std::wstring command = L"\"" + program + L"\" \"%1\"";
    const struct {
        const wchar_t* key;
        std::wstring text;
    } types[] = {
        {L"Ombrix", L"Ombrix archive"},
        {L"Ombrix\\shell\\open\\command", command},
        {L"Ombrix\\DefaultIcon", L"C:\\theme\\archive.ico,3"},
        {L"Ombrix.ZIP", L"Ombrix ZIP archive"},
        {L"Ombrix.ZIP\\shell\\open\\command", command},
        {L"Ombrix.ZIP\\DefaultIcon", program + L",0"},
        {L".rev", L"Ombrix.REV"},
        {L"Ombrix.REV", L"Ombrix recovery volume"},
        {L"Ombrix.REV\\shell\\open\\command", command},
        {L"Ombrix.REV\\DefaultIcon", program + L",1"},
    };
    for (const auto& type : types) {
        std::wstring text;
        EXPECT_TRUE(bench::ReadText(HKEY_CLASSES_ROOT, type.key, L"", &text) && text == type.text) << bench::Utf8(type.key);
    }
    for (const Row& row : kRows) {
        EXPECT_EQ(row.bound, DescribeClass(row.extension)) << "bound " << bench::Utf8(row.extension);
        EXPECT_EQ(row.remembered, DescribeRemembered(row.extension)) << "remembered " << bench::Utf8(row.extension);
    }
    EXPECT_EQ(30, CountVolumes("Ombrix"));
    EXPECT_EQ("absent", DescribeClass(L".k30"));

    // Setup once more: nothing remembered is replaced by the archiver's own state.
    BindAllExtensions(Selection());
    for (const Row& row : kRows) {
        EXPECT_EQ(row.bound, DescribeClass(row.extension)) << "bound again " << bench::Utf8(row.extension);
        EXPECT_EQ(row.remembered, DescribeRemembered(row.extension)) << "again " << bench::Utf8(row.extension);
    }

    // The ZIP template switched off while .zip stays selected: its old "New" entry comes back.
    bench::SetDword(HKEY_CURRENT_USER, L"Software\\Ombrix\\Setup\\MenuItems", L"NewZIP", 0);
    BindAllExtensions(Selection());
    EXPECT_EQ("Ombrix.ZIP +FileName=C:\\old\\empty.zip", DescribeClass(L".zip"));
    EXPECT_EQ("Ombrix +FileName=<kvanew.dat>", DescribeClass(L".kva"));

    // Another program takes one extension over, and the user's own side rewrites what it remembers
    // of ".zip" (a program's type, a "New" command); then everything is given back.
    for (const Row& row : kRows) {
        if (row.takenOverBy != nullptr) bench::SetText(HKEY_CLASSES_ROOT, row.extension, L"", row.takenOverBy);
    }
    const std::wstring zipKey = std::wstring(kSetup) + L"\\.zip";
    bench::SetText(HKEY_CURRENT_USER, zipKey, L"Type", L"exefile");
    bench::SetText(HKEY_CURRENT_USER, zipKey, L"PreviousDefault", L"1,650078006500660069006C0065000000");
    bench::SetText(HKEY_CURRENT_USER, zipKey, L"PreviousShellNew", L"43006F006D006D0061006E006400,1,63006D0064000000;");
    BindAllExtensions(IntegrationOptions());
    for (size_t i = 0; i < CountOf(kRows); i++) {
        const Row& row = kRows[i];
        EXPECT_EQ(row.givenBack, DescribeClass(row.extension)) << "given back " << bench::Utf8(row.extension);
        bool exactlyAsBefore = row.takenOverBy == nullptr && row.presetType == nullptr &&
                               (row.priorType == nullptr || CompareNoCase(row.priorType, L"Ombrix") != 0);
        if (exactlyAsBefore) {
            EXPECT_EQ(prior[i], DescribeClass(row.extension)) << "as before " << bench::Utf8(row.extension);
        }
    }
    EXPECT_EQ(100, CountVolumes("absent"));
    std::wstring planted;
    EXPECT_FALSE(bench::ReadText(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"Command", &planted));

    RemoveEverythingTouched(productExisted);
    EXPECT_FALSE(bench::KeyExists(HKEY_CLASSES_ROOT, L"Ombrix"));
    EXPECT_FALSE(bench::PathExists(TemplatePath(L"kvanew.dat")));
}

TEST(FileAssociations, KeysSetupCreatedAreGoneAfterRemoval) {
    bool productExisted = bench::KeyExists(HKEY_CURRENT_USER, kProduct);
    RemoveEverythingTouched(productExisted);
    // .kva had no key: its "New" entry must not keep an empty key alive after removal.
    BindExtension(L".kva", ExtensionTable[kKvaRow], true, true);
    EXPECT_EQ("Ombrix +FileName=<kvanew.dat>", DescribeClass(L".kva"));
    BindExtension(L".kva", ExtensionTable[kKvaRow], false, false);
    EXPECT_EQ("absent", DescribeClass(L".kva"));
    EXPECT_EQ(100, CountVolumes("absent"));

    // "Setup\" and 74 characters do not fit the 80-character key path: cut, it would name
    // another extension's remembered state.
    std::wstring extension = L"." + std::wstring(73, L'q');
    std::wstring cut = std::wstring(kSetup) + L"\\" + extension.substr(0, 73);
    BindExtension(extension.c_str(), ExtensionTable[kKvaRow], true, true);
    EXPECT_FALSE(bench::KeyExists(HKEY_CLASSES_ROOT, extension));
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, cut));
    EXPECT_EQ(100, CountVolumes("absent"));
    bench::DeleteKeyTree(HKEY_CLASSES_ROOT, extension);
    RemoveEverythingTouched(productExisted);
}

// A setup or a removal cut short after any one of its registry changes, as a kill there would
// leave it, is finished by the next full runs (setup again, then the removal): the extensions,
// their volumes and "New" entries are as before.
TEST(FileAssociations, GiveBackCutShortAnywhereIsFinishedByTheNextRun) {
    bool productExisted = bench::KeyExists(HKEY_CURRENT_USER, kProduct);
    IntegrationOptions options = {};
    options.associate[kKvaRow] = options.associate[kZipRow] = options.shellExt = true;
    auto describe = [] {
        std::wstring item;
        std::string text = bench::ReadText(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"ItemName", &item) ? bench::Utf8(item) : "-";
        std::vector<std::wstring> extensions = {L".kva", L".zip", L".rev"};
        for (int number = 0; number <= 30; number++) extensions.push_back(Volume(number));
        for (const std::wstring& extension : extensions) {
            text += "|" + DescribeClass(extension);
            if (bench::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Ombrix\\Previous\\" + extension)) text += " +record";
        }
        return text;
    };
    auto setup = [&] {
        RegisterFileTypes();
        BindAllExtensions(options);
    };
    auto removal = [] {
        BindAllExtensions(IntegrationOptions());
        GiveBackRecoveryExtension();
    };
    std::string before;
    for (bool cutSetup : {false, true}) {
        for (int32_t limit = 0;; ++limit) {
            RemoveEverythingTouched(productExisted);
            bench::SetText(HKEY_CLASSES_ROOT, L".kva\\ShellNew", L"NullFile", L"");
            bench::SetText(HKEY_CLASSES_ROOT, L".zip", L"", L"Old.Zip");
            bench::SetText(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", L"C:\\old\\empty.zip");
            bench::SetText(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"ItemName", L"Old ZIP");
            bench::SetText(HKEY_CLASSES_ROOT, L".k05", L"", L"OtherVol");
            if (before.empty()) before = describe();
            if (!cutSetup) setup();
            SetChangeLimit(limit);
            cutSetup ? setup() : removal();
            bool cut = SetChangeLimit(-1) == 0;
            if (cutSetup) setup();
            removal();
            ASSERT_EQ(before, describe()) << (cutSetup ? "setup" : "removal") << " cut after change " << limit;
            if (!cut) break;
        }
    }
    RemoveEverythingTouched(productExisted);
    for (const wchar_t* key : {L".k05", L".zip", L".kva"}) bench::DeleteKeyTree(HKEY_CLASSES_ROOT, key);
}

// Records given back exactly as stored, and only from where they may come: an odd-sized per-user
// text ends at its whole characters, a text stored without its terminator keeps its size, a "New"
// value whose name only looks like "FileName" is another value, where a machine-wide record stands
// nothing per-user is read, and a record in the hex text form of test builds counts as none.
TEST(FileAssociations, RecordsAreGivenBackAsStored) {
    bool productExisted = bench::KeyExists(HKEY_CURRENT_USER, kProduct);
    enum { kUser, kCopy, kTextForm };
    const struct {
        const wchar_t* extension;
        int record;
        const char* keptDefault;  // raw REG_SZ bytes of the record's default value
        DWORD keptBytes;
        const wchar_t* keptNewName;  // a value of the record's "New" entry
        const char* userType;        // raw REG_SZ bytes of the user's "Type"
        const wchar_t* userShellNew;
        const char* givenBack;
        DWORD defaultBytes;
    } rows[] = {{L".odd", kUser, nullptr, 0, nullptr, "A", nullptr, "A", 4},
                {L".odd", kCopy, "A", 2, nullptr, nullptr, nullptr, "A", 2},
                {L".zip", kCopy, "O\0l\0d\0", 8, L"File\u00ADName", nullptr, nullptr, "Old +ShellNew", 8},
                {L".zip", kCopy, "O\0l\0d\0", 8, nullptr, nullptr, L"C:\\evil.zip", "Old", 8},
                {L".zip", kTextForm, nullptr, 0, nullptr, nullptr, nullptr, "absent", 0}};
    for (const auto& row : rows) {
        RemoveEverythingTouched(productExisted);
        const ExtensionRow& tableRow = ExtensionTable[wcscmp(row.extension, L".zip") == 0 ? kZipRow : kIsoRow];
        BindExtension(row.extension, tableRow, true, true);
        const std::wstring record = L"Software\\Ombrix\\Previous\\" + std::wstring(row.extension);
        const std::wstring user = std::wstring(kSetup) + L"\\" + row.extension;
        DWORD bytes = 0;
        if (row.record == kUser) bench::DeleteKeyTree(HKEY_LOCAL_MACHINE, record);
        bench::SetDword(row.record != kUser ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, row.record != kUser ? record : user, L"Exist", 1);
        if (row.keptDefault != nullptr) bench::SetValue(HKEY_LOCAL_MACHINE, record, nullptr, REG_SZ, row.keptDefault, row.keptBytes);
        if (row.keptNewName != nullptr) bench::SetText(HKEY_LOCAL_MACHINE, record + L"\\ShellNew", row.keptNewName, L"x");
        if (row.record == kTextForm) bench::SetText(HKEY_LOCAL_MACHINE, record, L"PreviousDefault", L"1,4F006C0064000000");
        if (row.userType != nullptr) bench::SetValue(HKEY_CURRENT_USER, user, L"Type", REG_SZ, row.userType, 1);
        if (row.userShellNew != nullptr) bench::SetText(HKEY_CURRENT_USER, user, L"ShellNew", row.userShellNew);
        BindExtension(row.extension, tableRow, false, false);
        EXPECT_EQ(row.givenBack, DescribeClass(row.extension)) << bench::Utf8(record);
        RegGetValueW(HKEY_CLASSES_ROOT, row.extension, nullptr, RRF_RT_ANY, nullptr, nullptr, &bytes);
        EXPECT_EQ(row.defaultBytes, bytes) << bench::Utf8(record);
    }
    bench::DeleteKeyTree(HKEY_CLASSES_ROOT, L".odd");
    RemoveEverythingTouched(productExisted);
}
