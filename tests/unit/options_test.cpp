// Integration options: the /init overlay, extension lists, and what a user loads from the
// registry of the test prefix (an older Windows here, Windows 11 in a child told another build).
#include "integration/integration.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <vector>

namespace {

// The record as one line: 20 association flags, then the other fields by letter.
std::string Describe(const IntegrationOptions& o) {
    std::string text;
    for (bool flag : o.associate) text += flag ? '1' : '0';
    const std::pair<char, bool> fields[] = {{'D', o.linkDesktop}, {'M', o.linkStartMenu}, {'P', o.linkPrograms},
                                            {'S', o.shellExt},    {'C', o.cascadedMenu},  {'I', o.menuIcons},
                                            {'L', o.legacyMenu}};
    for (const auto& field : fields) text += std::string(" ") + field.first + (field.second ? '1' : '0');
    return text;
}

IntegrationOptions Parse(const std::string& text) {
    IntegrationOptions o = {};
    for (size_t i = 0; i < kAssociateFlags; i++) o.associate[i] = text[i] == '1';
    bool* fields[] = {&o.linkDesktop, &o.linkStartMenu, &o.linkPrograms, &o.shellExt,
                      &o.cascadedMenu, &o.menuIcons, &o.legacyMenu};
    for (size_t i = 0; i < 7; i++) *fields[i] = text[kAssociateFlags + 2 + i * 3] == '1';
    return o;
}

const wchar_t kProduct[] = L"Software\\Ombrix";
const wchar_t kSetup[] = L"Software\\Ombrix\\Setup";
const wchar_t kBackup[] = L"Software\\OmbrixOptionsTestBackup";

// A class key as the prefix had it: absent, or present with a default value.
struct ClassKeyState {
    bool exists;
    std::wstring text;
};

ClassKeyState ReadClassKey(const wchar_t* path) {
    ClassKeyState state = {bench::KeyExists(HKEY_CLASSES_ROOT, path), L""};
    bench::ReadText(HKEY_CLASSES_ROOT, path, L"", &state.text);
    return state;
}

// Sets only the default value, so that whatever else the prefix keeps below the key survives.
void WriteClassKey(const wchar_t* path, const ClassKeyState& state) {
    if (!state.exists) {
        RegDeleteKeyValueW(HKEY_CLASSES_ROOT, path, L"");
        RegDeleteKeyW(HKEY_CLASSES_ROOT, path);
        return;
    }
    bench::SetText(HKEY_CLASSES_ROOT, path, L"", state.text);
}

// Empties the user's Setup key for a case and puts the prefix back as it was afterwards.
class PrefixState {
public:
    PrefixState() : iso_(ReadClassKey(L".iso")), jar_(ReadClassKey(L".jar")) {
        productExisted_ = bench::KeyExists(HKEY_CURRENT_USER, kProduct);
        setupSaved_ = bench::KeyExists(HKEY_CURRENT_USER, kSetup);
        bench::DeleteKeyTree(HKEY_CURRENT_USER, kBackup);
        if (setupSaved_) {
            HKEY backup;
            RegCreateKeyExW(HKEY_CURRENT_USER, kBackup, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup, nullptr);
            RegCopyTreeW(HKEY_CURRENT_USER, kSetup, backup);
            RegCloseKey(backup);
        }
    }
    ~PrefixState() {
        ClearSetup();
        if (setupSaved_) {
            HKEY setup;
            RegCreateKeyExW(HKEY_CURRENT_USER, kSetup, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &setup, nullptr);
            RegCopyTreeW(HKEY_CURRENT_USER, kBackup, setup);
            RegCloseKey(setup);
            bench::DeleteKeyTree(HKEY_CURRENT_USER, kBackup);
        }
        if (!productExisted_) RegDeleteKeyW(HKEY_CURRENT_USER, kProduct);
        WriteClassKey(L".iso", iso_);
        WriteClassKey(L".jar", jar_);
    }
    static void ClearSetup() { bench::DeleteKeyTree(HKEY_CURRENT_USER, kSetup); }

private:
    ClassKeyState iso_;
    ClassKeyState jar_;
    bool productExisted_;
    bool setupSaved_;
};

// Started by the Windows 11 case: it loads the options as the user's settings stand, answers
// through its exit code (2: Windows 11 seen, 1: cascaded menu) and ends before any test runs.
const int kChildAnswer = [] {
    if (GetEnvironmentVariableW(L"OMBRIX_OPTIONS_CHILD", nullptr, 0) == 0) return 0;
    CoInitialize(nullptr);
    IntegrationOptions options;
    LoadIntegrationOptions(&options);
    ExitProcess((IsWindows11OrLater() ? 2 : 0) | (options.cascadedMenu ? 1 : 0));
    return 0;
}();

// A copy of this program under its own name, which Wine runs without WMI (so that Wine's name
// "Windows 10" cannot contradict the build); each run sees the system report 10.0 build 22631.
class Windows11Child {
public:
    Windows11Child() {
        wchar_t self[MAX_PATH], temp[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        GetTempPathW(MAX_PATH, temp);
        copy_ = std::wstring(temp) + L"ombrix-options-win11.exe";
        copied_ = CopyFileW(self, copy_.c_str(), FALSE) != FALSE;
        bench::SetText(HKEY_CURRENT_USER, kOverrides, L"wbemprox", L"");
    }
    ~Windows11Child() {
        bench::DeleteKeyTree(HKEY_CURRENT_USER, kAppKey);
        if (copied_) DeleteFileW(copy_.c_str());
    }
    DWORD Run() {
        if (!copied_) return 98;
        bench::ReportedVersion version(L"22631");
        bench::RunSpec spec;
        spec.program = copy_;
        spec.arguments = L"--gtest_filter=None.None";
        spec.environment = {{L"OMBRIX_OPTIONS_CHILD", L"1"}};
        bench::RunResult result = bench::Run(spec);
        return result.started && !result.timedOut ? result.exitCode : 99;
    }

private:
    static constexpr const wchar_t* kAppKey = L"Software\\Wine\\AppDefaults\\ombrix-options-win11.exe";
    static constexpr const wchar_t* kOverrides =
        L"Software\\Wine\\AppDefaults\\ombrix-options-win11.exe\\DllOverrides";
    std::wstring copy_;
    bool copied_ = false;
};

}  // namespace

TEST(IntegrationOptions, InitTextOverlaysLetterValuePairs) {
    const struct {
        const char* loaded;
        const wchar_t* text;
        const char* expected;
    } cases[] = {
        {"01111111111111111100 D0 M0 P1 S1 C0 I1 L0", L"A10S0", "10111111111111111100 D0 M0 P1 S0 C0 I1 L0"},
        {"11111111111011111100 D0 M0 P1 S1 C0 I1 L0", L"d1", "11111111111011111100 D1 M0 P1 S1 C0 I1 L0"},
        {"11111111111011111100 D0 M0 P1 S1 C0 I1 L0", L"D", "11111111111011111100 D0 M0 P1 S1 C0 I1 L0"},
        {"11111111111011111100 D1 M0 P1 S1 C0 I1 L0", L"D2", "11111111111011111100 D0 M0 P1 S1 C0 I1 L0"},
        // 20 digits fill every flag; the 21st and 22nd digit make a pair of their own.
        {"00000000000000000000 D0 M0 P0 S1 C0 I1 L0", L"A10110011100011110101" L"01P1",
         "10110011100011110101 D0 M0 P1 S1 C0 I1 L0"},
        {"01111111111111111100 D0 M0 P0 S1 C0 I1 L0", L"AP1", "01111111111111111100 D0 M0 P1 S1 C0 I1 L0"},
        {"11111111111011111100 D0 M0 P1 S0 C0 I1 L0", L"X1S1", "11111111111011111100 D0 M0 P1 S1 C0 I1 L0"},
        {"11111111111011111100 D0 M0 P1 S1 C0 I1 L0", L"c1i0m1", "11111111111011111100 D0 M1 P1 S1 C1 I0 L0"},
        // There is no letter for the classic menu; a trailing letter ends the text.
        {"11111111111011111100 D0 M0 P1 S1 C0 I1 L0", L"L1a0S", "01111111111011111100 D0 M0 P1 S1 C0 I1 L0"},
        {"11111111111011111100 D0 M0 P1 S1 C0 I1 L0", L"", "11111111111011111100 D0 M0 P1 S1 C0 I1 L0"},
    };
    for (const auto& c : cases) {
        IntegrationOptions options = Parse(c.loaded);
        ApplyInitOptions(c.text, &options);
        EXPECT_EQ(c.expected, Describe(options)) << "text " << bench::Utf8(c.text);
    }
}

TEST(IntegrationOptions, ExtensionListsSplitAtEveryDot) {
    const std::wstring fits(48, L'f');
    const std::wstring overlong(49, L'x');
    const struct {
        std::wstring list;
        std::vector<std::wstring> extensions;
    } cases[] = {
        {L".bz2.tbz2.bz.tbz", {L".bz2", L".tbz2", L".bz", L".tbz"}},
        {L".lz.tlz", {L".lz", L".tlz"}},
        {L".001", {L".001"}},
        {L".uue.xxe.uu", {L".uue", L".xxe", L".uu"}},
        // An extension that would be cut comes back empty, never as a shorter name.
        {L"." + fits + L".a", {L"." + fits, L".a"}},
        {L".a." + overlong + L".b", {L".a", L"", L".b"}},
        {L"", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> got;
        wchar_t extension[kExtensionChars];
        const wchar_t* rest = c.list.c_str();
        while ((rest = NextExtension(rest, extension, CountOf(extension))) != nullptr && got.size() < 10)
            got.push_back(extension);
        EXPECT_EQ(c.extensions, got) << bench::Utf8(c.list);
    }
    EXPECT_STREQ(L".kva", ExtensionTable[kKvaRow].list);
    EXPECT_STREQ(L"Ombrix.ZIP", ExtensionTable[kZipRow].fileType);
    EXPECT_EQ(5115u, ExtensionTable[4].control);
    EXPECT_EQ(5118u, ExtensionTable[17].control);
}

TEST(IntegrationOptions, LoadsDefaultsAndStoredValuesBeforeWindows11) {
    ASSERT_FALSE(IsWindows11OrLater()) << "the test prefix reports an older Windows";
    PrefixState prefix;
    struct Value {
        const wchar_t* key;
        const wchar_t* name;
        DWORD data;
    };
    const struct {
        const char* what;
        ClassKeyState iso;
        ClassKeyState jar;
        std::vector<Value> values;
        const char* expected;
    } cases[] = {
        {"fresh user, nobody owns .iso", {false, L""}, {false, L""}, {}, "11111111111011111100 D0 M0 P1 S1 C0 I1 L0"},
        {".iso key without a type", {true, L""}, {true, L""}, {}, "11111111111011111100 D0 M0 P1 S1 C0 I1 L0"},
        {".iso and .jar owned by others", {true, L"Other.Iso"}, {true, L"Java.Jar"},
         {{L"\\.iso", L"Set", 1}, {L"\\.jar", L"Set", 1}}, "11111111111001111100 D0 M0 P1 S1 C0 I1 L0"},
        {".jar already the archiver's", {true, L"ombrix"}, {true, L"Ombrix.ZIP"},
         {{L"\\.iso", L"Set", 0}}, "11111111111101111100 D0 M0 P1 S1 C0 I1 L0"},
        {".jar asked for but unowned", {false, L""}, {false, L""}, {{L"\\.jar", L"Set", 1}},
         "11111111111011111100 D0 M0 P1 S1 C0 I1 L0"},
        {"stored values, any non-zero is true", {false, L""}, {false, L""},
         {{L"\\.kva", L"Set", 0}, {L"\\.gz", L"Set", 2}, {L"\\.tgz", L"Set", 0}, {L"\\.001", L"Set", 0},
          {L"\\Links", L"Desktop", 1}, {L"\\Links", L"StartMenu", 7}, {L"\\Links", L"Programs", 0},
          {L"", L"ShellExt", 0}, {L"", L"CascadedMenu", 1}, {L"", L"MenuIcons", 0}, {L"", L"LegacyMenu", 1},
          {L"", L"NewContextMenu", 1}},
         "01111111111011111000 D1 M1 P0 S0 C1 I0 L1"},
    };
    for (const auto& c : cases) {
        PrefixState::ClearSetup();
        WriteClassKey(L".iso", c.iso);
        WriteClassKey(L".jar", c.jar);
        for (const Value& v : c.values) bench::SetDword(HKEY_CURRENT_USER, std::wstring(kSetup) + v.key, v.name, v.data);
        IntegrationOptions options;
        memset(&options, 0xA5, sizeof(options));
        LoadIntegrationOptions(&options);
        EXPECT_EQ(c.expected, Describe(options)) << c.what;
    }

    // Saving writes every value back, and the next load reads the same record.
    PrefixState::ClearSetup();
    WriteClassKey(L".jar", {true, L"Ombrix"});
    IntegrationOptions saved = Parse("10101010101101010100 D1 M0 P1 S0 C1 I0 L1");
    SaveIntegrationOptions(saved);
    IntegrationOptions loaded;
    LoadIntegrationOptions(&loaded);
    EXPECT_EQ("10101010101101010100 D1 M0 P1 S0 C1 I0 L1", Describe(loaded));
    DWORD set = 9;
    EXPECT_TRUE(bench::ReadDword(HKEY_CURRENT_USER, L"Software\\Ombrix\\Setup\\.zst", L"Set", &set));
    EXPECT_EQ(0u, set);
    EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, L"Software\\Ombrix\\Setup\\.tzst"));
}

TEST(IntegrationOptions, WindowsElevenCascadesUnlessTheNewMenuIsOff) {
    PrefixState prefix;
    Windows11Child child;
    const struct {
        int cascaded;        // -1: absent
        int newContextMenu;  // -1: absent
        DWORD answer;        // 2 (Windows 11 seen) | cascaded menu
    } cases[] = {
        {-1, -1, 3},
        {0, -1, 3},
        {0, 1, 2},
        {-1, 1, 3},
        {1, 1, 3},
    };
    for (const auto& c : cases) {
        PrefixState::ClearSetup();
        if (c.cascaded >= 0) bench::SetDword(HKEY_CURRENT_USER, kSetup, L"CascadedMenu", (DWORD)c.cascaded);
        if (c.newContextMenu >= 0) bench::SetDword(HKEY_CURRENT_USER, kSetup, L"NewContextMenu", (DWORD)c.newContextMenu);
        EXPECT_EQ(c.answer, child.Run()) << c.cascaded << " " << c.newContextMenu;
    }
}
