// Shell extension registration and App Paths, read back from the registry in both views.
#include "integration/integration.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <string.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

#define C32 L"{6D2F31C4-9A1B-4E57-8C03-2B7E91A4D5F0}"
#define C64 L"{6D2F31C4-5B1B-4E57-8C03-2B7E91A4D5F0}"
#define APPROVED L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved"
#define APP_PATHS L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ombrix.exe"
#define ASSOC L"Software\\Ombrix\\Capabilities\\FileAssociations"

enum class Kind {
    Class,       // written only when the library is there
    Handler,     // Explorer's handler keys
    Menu,        // classic context-menu handlers: before Windows 11, or with legacyMenu
    Approved,    // the approved-extensions value
    Product,     // capabilities and the product key, gone with the removal
    AppPath,     // stays until RemoveAppPaths
};
enum class When { Always, NotWow64, Wow64 };
// Own: the view the process writes by default; OwnOnly adds that the other view lacks it.
enum class View { Own, OwnOnly, Only64, In64 };

struct Row {
    HKEY root;
    std::wstring key;
    std::wstring value;
    std::wstring data;  // "{DIR}" stands for the program folder
    Kind kind;
    When when;
    View view;
};

const HKEY CR = HKEY_CLASSES_ROOT;
const HKEY LM = HKEY_LOCAL_MACHINE;

// Who writes a key of a shell extension: only this extension (its class id names it), or both
// in turn, the second taking it over; a named handler of the first then moves to a second name.
enum class Scope { Own, Shared, Named };

// What each shell extension writes. "{C}" stands for its class id, "{N}" for its handler name
// and "{LIB}" for its library.
struct ExtensionKey {
    HKEY root;
    const wchar_t* key;
    const wchar_t* value;
    const wchar_t* data;
    Kind kind;
    Scope scope;
};

const ExtensionKey kExtensionKeys[] = {
    {CR, L"CLSID\\{C}", L"", L"Ombrix", Kind::Class, Scope::Own},
    {CR, L"CLSID\\{C}\\InProcServer32", L"", L"{DIR}\\{LIB}", Kind::Class, Scope::Own},
    {CR, L"CLSID\\{C}\\InProcServer32", L"ThreadingModel", L"Apartment", Kind::Class, Scope::Own},
    {CR, L"Ombrix\\shellex\\PropertySheetHandlers\\{C}", L"", L"", Kind::Handler, Scope::Own},
    {CR, L"Ombrix.ZIP\\shellex\\PropertySheetHandlers\\{C}", L"", L"", Kind::Handler, Scope::Own},
    {CR, L"exefile\\shellex\\PropertySheetHandlers\\{C}", L"", L"", Kind::Handler, Scope::Own},
    {CR, L"Ombrix\\shellex\\DropHandler", L"", L"{C}", Kind::Handler, Scope::Shared},
    {CR, L"Ombrix.ZIP\\shellex\\DropHandler", L"", L"{C}", Kind::Handler, Scope::Shared},
    {CR, L"Folder\\shellex\\DragDropHandlers\\{N}", L"", L"{C}", Kind::Handler, Scope::Named},
    {CR, L"Drive\\shellex\\DragDropHandlers\\{N}", L"", L"{C}", Kind::Handler, Scope::Named},
    {LM, APPROVED, L"{C}", L"Ombrix shell extension", Kind::Approved, Scope::Own},
    {CR, L"Ombrix\\shellex\\ContextMenuHandlers\\{C}", L"", L"", Kind::Menu, Scope::Own},
    {CR, L"Ombrix.ZIP\\shellex\\ContextMenuHandlers\\{C}", L"", L"", Kind::Menu, Scope::Own},
    {CR, L"*\\shellex\\ContextMenuHandlers\\{N}", L"", L"{C}", Kind::Menu, Scope::Named},
    {CR, L"Folder\\shellex\\ContextMenuHandlers\\{N}", L"", L"{C}", Kind::Menu, Scope::Named},
    {CR, L"lnkfile\\shellex\\ContextMenuHandlers\\{N}", L"", L"{C}", Kind::Menu, Scope::Named},
};

struct Extension {
    const wchar_t* clsid;
    const wchar_t* library;
    When when;             // when it is registered at all
    View classView;        // where its class keys go
    When shared;           // when it holds the shared keys
    const wchar_t* moved;  // its handler name once the other takes over "Ombrix", or null
};

const Extension kExtensions[] = {
    // The 32-bit extension, the only one outside WOW64.
    {C32, L"kvaext.dll", When::Always, View::OwnOnly, When::NotWow64, L"Ombrix32"},
    // Under WOW64 the 64-bit extension comes second and takes over the shared keys.
    {C64, L"kvaext64.dll", When::Wow64, View::Only64, When::Wow64, nullptr},
};

const Row kRows[] = {
    // Default programs: every extension of every row, whatever the user associated.
    {LM, L"Software\\RegisteredApplications", L"Ombrix", L"Software\\Ombrix\\Capabilities", Kind::Product, When::Always, View::Own},
    {LM, L"Software\\Ombrix\\Capabilities", L"ApplicationDescription", L"Ombrix", Kind::Product, When::Always, View::OwnOnly},
    {LM, L"Software\\Ombrix", L"exe32", L"{DIR}\\Ombrix.exe", Kind::AppPath, When::Always, View::OwnOnly},
    // App Paths: in the process's view, and under WOW64 in the 64-bit view as well.
    {LM, APP_PATHS, L"", L"{DIR}\\Ombrix.exe", Kind::AppPath, When::Always, View::Own},
    {LM, APP_PATHS, L"Path", L"{DIR}", Kind::AppPath, When::Always, View::Own},
    {LM, APP_PATHS, L"", L"{DIR}\\Ombrix.exe", Kind::AppPath, When::Wow64, View::In64},
    {LM, APP_PATHS, L"Path", L"{DIR}", Kind::AppPath, When::Wow64, View::In64},
};

// Every extension of the 18 archive rows; ".zip" alone names the ZIP type.
const wchar_t* const kAssociations[] = {
    L".kva", L".zip", L".cab", L".arj", L".lz", L".tlz", L".lzh", L".lha", L".7z", L".tar", L".gz", L".tgz", L".uue",
    L".xxe", L".uu", L".bz2", L".tbz2", L".bz", L".tbz", L".jar", L".iso", L".z", L".taz", L".xz", L".txz", L".zipx",
    L".zst", L".tzst", L".001"};

std::wstring Fill(std::wstring text, const Extension& extension, const wchar_t* name) {
    const std::pair<const wchar_t*, const wchar_t*> fields[] = {
        {L"{C}", extension.clsid}, {L"{N}", name}, {L"{LIB}", extension.library}};
    for (const auto& field : fields) {
        size_t at = text.find(field.first);
        if (at != std::wstring::npos) text.replace(at, wcslen(field.first), field.second);
    }
    return text;
}

Row ExtensionRow(const ExtensionKey& k, const Extension& extension, const wchar_t* name, When when) {
    return {k.root, Fill(k.key, extension, name), Fill(k.value, extension, name), Fill(k.data, extension, name),
            k.kind, when, k.kind == Kind::Class ? extension.classView : View::Own};
}

// The table: each extension's keys, the fixed rows and one row for each associated extension.
std::vector<Row> AllRows() {
    std::vector<Row> rows;
    for (const Extension& extension : kExtensions) {
        for (const ExtensionKey& k : kExtensionKeys) {
            When when = k.scope == Scope::Own ? extension.when : extension.shared;
            rows.push_back(ExtensionRow(k, extension, L"Ombrix", when));
            if (k.scope == Scope::Named && extension.moved != nullptr)
                rows.push_back(ExtensionRow(k, extension, extension.moved, When::Wow64));
        }
    }
    rows.insert(rows.end(), std::begin(kRows), std::end(kRows));
    for (const wchar_t* extension : kAssociations) {
        rows.push_back({LM, ASSOC, extension, wcscmp(extension, L".zip") == 0 ? L"Ombrix.ZIP" : L"Ombrix",
                        Kind::Product, When::Always, View::OwnOnly});
    }
    return rows;
}

bool Is64BitTestBuild() { return sizeof(void*) == 8; }

REGSAM OwnView() { return Is64BitTestBuild() ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

std::wstring ModuleFolder() { return bench::TestsFolder(); }

std::wstring Expand(const wchar_t* data) {
    std::wstring text = data;
    size_t at = text.find(L"{DIR}");
    if (at != std::wstring::npos) text.replace(at, 5, ModuleFolder());
    return text;
}

size_t ValueCount(HKEY root, const wchar_t* key, REGSAM view) {
    HKEY handle;
    if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, &handle) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(handle);
    return count;
}

// One value in one view: there with its data, or not there.
void Expect(const Row& row, REGSAM view, bool present) {
    std::wstring data;
    bool found = bench::ReadText(row.root, row.key, row.value.c_str(), &data, view);
    std::string where = bench::Utf8(row.key + L" [" + row.value + L"] in the " +
                                    (view == KEY_WOW64_64KEY ? L"64" : L"32") + L"-bit view");
    EXPECT_EQ(present, found) << where << (present ? " is missing" : " still holds " + bench::Utf8(data));
    if (present && found) {
        EXPECT_EQ(bench::Utf8(Expand(row.data.c_str())), bench::Utf8(data)) << where;
    }
}

bool Applies(const Row& row, bool wow64Rows) {
    if (wow64Rows) return row.when == When::Wow64;
    return row.when == When::Always || (row.when == When::NotWow64 && !IsWow64());
}

// Checks one row as registered: there where it belongs (when wanted); a redirected key never
// in the other view.
void CheckRow(const Row& row, bool wanted) {
    REGSAM view = row.view == View::Only64 || row.view == View::In64 ? KEY_WOW64_64KEY : OwnView();
    Expect(row, view, wanted);
    if (row.view == View::OwnOnly || row.view == View::Only64) {
        Expect(row, view == KEY_WOW64_64KEY ? KEY_WOW64_32KEY : KEY_WOW64_64KEY, false);
    }
}

// After removal nothing is left in either view.
void CheckGone(const Row& row) {
    Expect(row, KEY_WOW64_32KEY, false);
    Expect(row, KEY_WOW64_64KEY, false);
}

// The shell-extension stand-ins, put beside the program (the test executable) or taken away.
void PlaceLibraries(bool present) {
    for (const wchar_t* name : {L"kvaext.dll", L"kvaext64.dll"}) {
        std::wstring beside = ModuleFolder() + L"\\" + name;
        if (present) {
            ASSERT_TRUE(CopyFileW((bench::BuildFolder() + L"\\standins\\" + name).c_str(), beside.c_str(), FALSE))
                << "stand-in " << bench::Utf8(name) << " not built";
        } else {
            DeleteFileW(beside.c_str());
        }
    }
}

IntegrationOptions Options(bool shellExt, bool legacyMenu) {
    IntegrationOptions options = {};
    options.shellExt = shellExt;
    options.legacyMenu = legacyMenu;
    return options;
}

// Keys the writes made along the way that the removal leaves as empty parents.
void RemoveClassSkeletons() {
    bench::DeleteKeyTree(HKEY_CLASSES_ROOT, L"Ombrix");
    bench::DeleteKeyTree(HKEY_CLASSES_ROOT, L"Ombrix.ZIP");
}

// Registers with both library states, removes, and checks every row that applies.
void RunRegistrationCycle(bool wow64Rows) {
    ASSERT_FALSE(IsWindows11OrLater()) << "the test prefix is expected to report a Windows before 11";
    for (bool libraries : {true, false}) {
        SCOPED_TRACE(libraries ? "libraries present" : "libraries missing");
        PlaceLibraries(libraries);
        ASSERT_TRUE(RegisterAppPaths());
        RegisterShellIntegration(false, Options(true, false));
        for (const Row& row : AllRows()) {
            if (Applies(row, wow64Rows)) CheckRow(row, row.kind != Kind::Class || libraries);
        }
        if (!wow64Rows) {
            EXPECT_EQ(CountOf(kAssociations), ValueCount(LM, ASSOC, OwnView()));
        }

        RegisterShellIntegration(true, Options(false, false));
        for (const Row& row : AllRows()) {
            if (Applies(row, wow64Rows)) {
                if (row.kind == Kind::AppPath) {
                    CheckRow(row, true);
                } else {
                    CheckGone(row);
                }
            }
        }
        RemoveAppPaths();
        for (const Row& row : AllRows()) {
            if (row.kind == Kind::AppPath) CheckGone(row);
        }
        PlaceLibraries(false);
    }
    RemoveClassSkeletons();
}

}  // namespace

TEST(ShellExt, RegistrationAndRemovalInBothViews) { RunRegistrationCycle(false); }

TEST(ShellExt, Wow64SecondExtensionAnd64BitView) {
    if (Is64BitTestBuild()) {
        GTEST_SKIP() << "the 64-bit extension and the 64-bit view are written only by the 32-bit program "
                        "under WOW64; this x64 test build does not run under WOW64";
    }
    ASSERT_TRUE(IsWow64());
    RunRegistrationCycle(true);
}

// Windows 10 and 11: the classic context-menu handlers on Windows 11 only with legacyMenu, and
// taken away without it. Run by the next test in processes that Wine shows a chosen build.
TEST(ShellExt, DISABLED_VersionChild) {
    wchar_t expect[8] = L"";
    GetEnvironmentVariableW(L"OMBRIX_SHELLEXT_WIN11", expect, CountOf(expect));
    bool windows11 = expect[0] == L'1';
    ASSERT_EQ(0x0A00u, GetWindowsVersion()) << "the chosen version did not reach this process";
    ASSERT_EQ(windows11, IsWindows11OrLater()) << "the chosen build did not reach this process";
    for (bool legacyMenu : {true, false}) {
        SCOPED_TRACE(legacyMenu ? "legacyMenu" : "no legacyMenu");
        ASSERT_TRUE(RegisterAppPaths());
        RegisterShellIntegration(false, Options(true, legacyMenu));
        for (const Row& row : AllRows()) {
            bool applies = Applies(row, false) || (IsWow64() && row.when == When::Wow64);
            if (!applies) continue;
            CheckRow(row, row.kind != Kind::Class && (row.kind != Kind::Menu || !windows11 || legacyMenu));
        }
    }
    RegisterShellIntegration(true, Options(false, false));
    RemoveAppPaths();
    RemoveClassSkeletons();
    wchar_t marker[kPathChars];
    if (GetEnvironmentVariableW(L"OMBRIX_SHELLEXT_CHILD_DONE", marker, kPathChars) != 0) {
        bench::WriteFileBytes(marker, "done");
    }
}

TEST(ShellExt, ClassicHandlersOnWindows11OnlyWithLegacyMenu) {
    struct Case {
        const wchar_t* build;
        const wchar_t* windows11;
    };
    const Case cases[] = {{L"19045", L"0"}, {L"22631", L"1"}};
    wchar_t overrides[1024] = L"";
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, CountOf(overrides));
    for (const Case& c : cases) {
        SCOPED_TRACE(bench::Utf8(std::wstring(L"Windows 10.0 build ") + c.build));
        std::wstring scratch = bench::ScratchFolder(L"shellext-version");
        std::wstring marker = scratch + L"\\done";
        bench::RunSpec spec;
        spec.program = ModuleFolder() + L"\\shellext_test.exe";
        spec.arguments = L"--gtest_also_run_disabled_tests --gtest_filter=ShellExt.DISABLED_VersionChild";
        // WMI, which would call any 10.0 system Windows 10, is switched off for the child.
        spec.environment = {
            {L"WINEDLLOVERRIDES", std::wstring(overrides) + (overrides[0] != 0 ? L";" : L"") + L"wbemprox=d"},
            {L"OMBRIX_SHELLEXT_WIN11", c.windows11},
            {L"OMBRIX_SHELLEXT_CHILD_DONE", marker}};
        bench::RunResult result;
        {
            bench::ReportedVersion version(c.build);
            result = bench::Run(spec);
        }
        bool ran = bench::PathExists(marker);
        bench::RemoveTree(scratch);
        ASSERT_TRUE(result.started);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(0u, result.exitCode) << "the case failed in the child process";
        EXPECT_TRUE(ran) << "the case did not run to its end in the child process";
    }
}

