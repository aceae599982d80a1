// The three setup-mode dialogs as the user meets them: what they show for the stored options,
// what their buttons change and store, and how they look at 96 and 144 dpi and right to left.
// Screenshots land in <build>\screenshots.
#include "resources/resource.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

namespace {

const wchar_t kProduct[] = L"Software\\Ombrix";
const wchar_t kSetup[] = L"Software\\Ombrix\\Setup";
const wchar_t kMenuItems[] = L"Software\\Ombrix\\Setup\\MenuItems";
const wchar_t kTopMenuItems[] = L"Software\\Ombrix\\Setup\\TopMenuItems";
const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const DWORD kAbsent = 0xFFFFFFFF;

DWORD ReadDword(HKEY root, const std::wstring& key, const wchar_t* value) {
    DWORD data = 0;
    return bench::ReadDword(root, key, value, &data) ? data : kAbsent;
}

// Both views: a 32-bit setup under WOW64 may have written either.
void DeleteKey(HKEY root, const wchar_t* path) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) bench::DeleteKeyTree(root, path, view);
}

// What a confirmed setup may have registered, and the user's settings.
void ForgetSetup() {
    DeleteKey(HKEY_CURRENT_USER, kProduct);
    for (const wchar_t* path : {L"Ombrix", L"Ombrix.ZIP", L"Ombrix.REV", L".rev", L".kva"})
        DeleteKey(HKEY_CLASSES_ROOT, path);
    // Binding ".kva" also binds the old-style volumes .k00 to .k29.
    for (int volume = 0; volume < 30; ++volume) {
        wchar_t name[8];
        swprintf(name, 8, L".k%02d", volume);
        DeleteKey(HKEY_CLASSES_ROOT, name);
    }
    DeleteKey(HKEY_LOCAL_MACHINE, L"Software\\Ombrix");
    DeleteKey(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ombrix.exe");
    DeleteKey(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix archiver");
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        bench::DeleteValue(HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications", L"Ombrix", view);
}

// How the prefix looks to the program for one run: Windows 10 or 11, the screen resolution, a
// right-to-left or another language file beside it. Everything is put back when the run is over.
struct Scene {
    bool windows11 = false;
    int dpi = 96;
    bool rightToLeft = false;
    const char* language = nullptr;  // the text of uninstall.lng, when not right to left
};

// The program reads its language file from its own folder, so a translated run gets a copy of the
// program, with the files it opens beside it, in a scratch folder of its own: the build folder's
// program is never translated, and the copy goes on every way out, a failed assertion included.
class TranslatedProgram {
public:
    explicit TranslatedProgram(const std::string& language) : folder_(bench::ScratchFolder(L"dialogs-program")) {
        ready_ = CopyFileW(bench::ProgramUnderTest().c_str(), Path().c_str(), FALSE) != FALSE;
        for (const wchar_t* name : {L"ombrix.chm", L"license.txt"}) {
            ready_ = ready_ && CopyFileW((bench::BuildFolder() + L"\\" + name).c_str(),
                                         (folder_ + L"\\" + name).c_str(), FALSE) != FALSE;
        }
        ready_ = ready_ && bench::WriteFileBytes(folder_ + L"\\uninstall.lng", language);
    }
    ~TranslatedProgram() { bench::RemoveTree(folder_); }
    TranslatedProgram(const TranslatedProgram&) = delete;
    TranslatedProgram& operator=(const TranslatedProgram&) = delete;
    bool Ready() const { return ready_; }
    std::wstring Path() const { return folder_ + L"\\Uninstall.exe"; }

private:
    std::wstring folder_;
    bool ready_ = false;
};

bench::RunResult RunProgram(const Scene& scene, const std::wstring& arguments, bench::Handler handler,
                            const std::wstring& folder = L"") {
    bench::RunSpec spec;
    spec.arguments = arguments;
    spec.folder = folder;
    spec.handler = handler;
    spec.environment = {{L"sfxcmd", L""}, {L"sfxname", L""}};
    // Wine reports the version and build number of the registry to a program that declares
    // Windows 10 support; for Windows 11, WMI, which would still name the system Windows 10, is
    // switched off for the program.
    bench::ReportedVersion version(scene.windows11 ? L"22631" : L"19045");
    // WINEDLLOVERRIDES in the child's environment does not reach Wine's loader; its per-program
    // settings do.
    const wchar_t* appKey = L"Software\\Wine\\AppDefaults\\Uninstall.exe";
    bool hadAppKey = bench::KeyExists(HKEY_CURRENT_USER, appKey);
    const std::wstring overrides = std::wstring(appKey) + L"\\DllOverrides";
    if (scene.windows11) bench::SetText(HKEY_CURRENT_USER, overrides, L"wbemprox", L"");
    std::unique_ptr<bench::SavedValue> dpi;
    if (scene.dpi != 96) {
        dpi.reset(new bench::SavedValue(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels"));
        bench::SetDword(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", (DWORD)scene.dpi);
    }
    const char* language =
        scene.rightToLeft ? "Ombrix test language\r\n*****messages***\r\n:DIRECTION RTL\r\n" : scene.language;
    std::unique_ptr<TranslatedProgram> translated;
    if (language != nullptr) {
        translated.reset(new TranslatedProgram(language));
        EXPECT_TRUE(translated->Ready()) << "the program or its language file could not be put in a scratch folder";
        spec.program = translated->Path();
    }

    bench::RunResult result = bench::Run(spec);

    translated.reset();
    dpi.reset();
    if (scene.windows11 && !hadAppKey) DeleteKey(HKEY_CURRENT_USER, appKey);
    if (scene.windows11 && hadAppKey)
        bench::DeleteValue(HKEY_CURRENT_USER, overrides, L"wbemprox");
    return result;
}

// A dialog or box of the program that is not one of the known ones, or null after the wait.
struct Search {
    DWORD processId;
    const std::vector<HWND>* known;
    HWND found;
};

BOOL CALLBACK FindNewDialog(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    wchar_t cls[16] = L"";
    GetWindowThreadProcessId(window, &pid);
    GetClassNameW(window, cls, 16);
    if (pid != s->processId || !IsWindowVisible(window) || wcscmp(cls, L"#32770") != 0) return TRUE;
    if (std::find(s->known->begin(), s->known->end(), window) != s->known->end()) return TRUE;
    s->found = window;
    return FALSE;
}

HWND WaitForDialog(DWORD processId, const std::vector<HWND>& known, DWORD millis = 10000) {
    Search search{processId, &known, nullptr};
    for (DWORD waited = 0; waited <= millis; waited += 50) {
        EnumWindows(FindNewDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            Sleep(200);  // let it finish its initialisation
            return search.found;
        }
        Sleep(50);
    }
    return nullptr;
}

void WaitGone(HWND window) {
    for (int i = 0; i < 200 && IsWindow(window); ++i) Sleep(50);
}

void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// The ids among first..last (that exist) for which the test holds.
std::vector<int> Ids(HWND dialog, int first, int last, const std::function<bool(HWND, int)>& test) {
    std::vector<int> ids;
    for (int id = first; id <= last; ++id)
        if (GetDlgItem(dialog, id) != nullptr && test(dialog, id)) ids.push_back(id);
    return ids;
}

std::vector<int> Range(int first, int last, std::vector<int> except = {}) {
    std::vector<int> ids;
    for (int id = first; id <= last; ++id)
        if (std::find(except.begin(), except.end(), id) == except.end()) ids.push_back(id);
    return ids;
}

std::vector<int> Join(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    std::sort(a.begin(), a.end());
    return a;
}

// Saves a screenshot and expects a clean layout; at 144 dpi the dialog must be about 1.5 times
// its 96-dpi width, the proof that the program really ran at that resolution.
void Shoot(HWND dialog, const std::wstring& name, int dpi) {
    static std::map<std::wstring, LONG> widthAt96;
    std::wstring folder = bench::BuildFolder() + L"\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(400);
    std::wstring file = name + (dpi == 96 ? L"" : L"-" + std::to_wstring(dpi) + L"dpi") + L".bmp";
    EXPECT_TRUE(bench::CaptureWindow(dialog, folder + L"\\" + file)) << bench::Utf8(file);
    std::wstring problems;
    for (const std::wstring& line : bench::LayoutProblems(dialog, dpi)) problems += L"\n  " + line;
    EXPECT_TRUE(problems.empty()) << bench::Utf8(file) << ":" << bench::Utf8(problems);
    RECT r;
    GetWindowRect(dialog, &r);
    if (dpi == 96) {
        widthAt96[name] = r.right - r.left;
    } else if (widthAt96.count(name)) {
        EXPECT_NEAR(1.5, (double)(r.right - r.left) / widthAt96[name], 0.2) << bench::Utf8(file);
    }
}

class Dialogs : public testing::Test {
protected:
    void SetUp() override { ForgetSetup(); }
    void TearDown() override { ForgetSetup(); }
};

const std::vector<int> kDefaultAssociations = Range(IDC_ASSOCKVA, IDC_ASSOC001, {IDC_ASSOCJAR});

}  // namespace

TEST_F(Dialogs, SetupDialog) {
    struct Case {
        const char* name;
        Scene scene;
        const wchar_t* arguments;
        const wchar_t* screenshot;           // or null
        std::vector<int> checked;            // the option boxes 5101..5125 shown checked
        std::vector<int> enabled;            // of the cascaded, icons and classic-menu boxes
        std::function<void(HWND)> act;       // what the user does before leaving
        int leaveWith;
        DWORD exitCode;
        std::map<std::wstring, DWORD> saved;  // "key:value" below Setup after the run
    };
    const std::vector<int> defaults = Join(kDefaultAssociations, {IDC_LINKPROGRAMS, IDC_SHELLEXT, IDC_SHELLICONS});
    const std::vector<int> bothShellBoxes = {IDC_SHELLCASCADED, IDC_SHELLICONS};
    auto toggles = [](HWND dialog) {
        // With one association unchecked the toggle checks all 18; pressed again it clears them.
        Click(dialog, IDC_ASSOCALL);
        EXPECT_EQ(Range(IDC_ASSOCKVA, IDC_ASSOC001), Ids(dialog, IDC_ASSOCKVA, IDC_ASSOC001, Checked));
        Click(dialog, IDC_ASSOCALL);
        EXPECT_EQ(std::vector<int>{}, Ids(dialog, IDC_ASSOCKVA, IDC_ASSOC001, Checked));
        // The shell box governs its dependants; the classic menu stays off before Windows 11.
        Click(dialog, IDC_SHELLEXT);
        EXPECT_EQ(std::vector<int>{}, Ids(dialog, IDC_SHELLCASCADED, IDC_SHELLLEGACYMENU, Enabled));
        Click(dialog, IDC_SHELLEXT);
        EXPECT_EQ((std::vector<int>{IDC_SHELLCASCADED, IDC_SHELLICONS}),
                  Ids(dialog, IDC_SHELLCASCADED, IDC_SHELLLEGACYMENU, Enabled));
    };
    auto noticeOnce = [](HWND dialog) {
        DWORD pid = 0;
        GetWindowThreadProcessId(dialog, &pid);
        bench::Press(dialog, IDC_SHELLCASCADED);  // unchecks: the single-top-item notice
        HWND box = WaitForDialog(pid, {dialog});
        ASSERT_NE(nullptr, box) << "no notice on unchecking the cascaded menu";
        EXPECT_NE(nullptr, GetDlgItem(box, 0xFFFF)) << "not a message box";
        bench::Press(box, IDOK);
        WaitGone(box);
        Click(dialog, IDC_SHELLCASCADED);
        bench::Press(dialog, IDC_SHELLCASCADED);
        EXPECT_EQ(nullptr, WaitForDialog(pid, {dialog}, 1500)) << "the notice came twice";
        Click(dialog, IDC_SHELLEXT);
        EXPECT_EQ(std::vector<int>{}, Ids(dialog, IDC_SHELLCASCADED, IDC_SHELLLEGACYMENU, Enabled));
    };
    const Case cases[] = {
        {"defaults", {}, L"/setup", L"setup", defaults, bothShellBoxes, toggles, IDCANCEL, 1, {}},
        {"init overlay", {}, L"/setup /initD1S0", nullptr,
         Join(kDefaultAssociations, {IDC_LINKDESKTOP, IDC_LINKPROGRAMS, IDC_SHELLICONS}), {}, nullptr, IDCANCEL, 1, {}},
        {"144 dpi", {false, 144}, L"/setup", L"setup", defaults, bothShellBoxes, nullptr, IDCANCEL, 1, {}},
        {"right to left", {false, 96, true}, L"/setup", L"setup-rtl", defaults, bothShellBoxes, nullptr, IDCANCEL, 1,
         {}},
        {"windows 11", {true}, L"/setup", nullptr, Join(defaults, {IDC_SHELLCASCADED}),
         {IDC_SHELLCASCADED, IDC_SHELLICONS, IDC_SHELLLEGACYMENU}, noticeOnce, IDCANCEL, 1, {}},
        {"ok saves", {}, L"/setup /msi /initA100000000000000000D0M0P0S0C1I1", nullptr,
         {IDC_ASSOCKVA, IDC_SHELLCASCADED, IDC_SHELLICONS}, {}, nullptr, IDOK, 0,
         {{L".kva:Set", 1}, {L".zip:Set", 0}, {L".jar:Set", 0}, {L".001:Set", 0}, {L"Links:Desktop", 0},
          {L"Links:StartMenu", 0}, {L"Links:Programs", 0}, {L":ShellExt", 0}, {L":CascadedMenu", 1},
          {L":MenuIcons", 1}, {L":LegacyMenu", 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetSetup();
        int dialogs = 0;
        auto handler = [&](const bench::WindowSeen& seen) {
            if (GetDlgItem(seen.window, IDC_INSTHELPTEXT) == nullptr) return bench::Press(seen.window, IDCANCEL);
            ++dialogs;
            HWND dialog = seen.window;
            if (c.screenshot != nullptr) Shoot(dialog, c.screenshot, c.scene.dpi);
            EXPECT_EQ(c.scene.rightToLeft, (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0);
            EXPECT_EQ(nullptr, GetDlgItem(dialog, IDCANCEL)) << "a Cancel button, which no language file translates";
            EXPECT_EQ(c.checked, Ids(dialog, IDC_ASSOCKVA, IDC_SHELLLEGACYMENU, Checked));
            EXPECT_EQ(c.enabled, Ids(dialog, IDC_SHELLCASCADED, IDC_SHELLLEGACYMENU, Enabled));
            if (c.act) c.act(dialog);
            bench::Press(dialog, c.leaveWith);
        };
        auto result = RunProgram(c.scene, c.arguments, handler);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(1, dialogs);
        EXPECT_EQ(c.exitCode, result.exitCode);
        if (c.saved.empty()) {
            EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, kSetup)) << "a cancelled setup stored options";
        }
        for (const auto& value : c.saved) {
            size_t colon = value.first.find(L':');
            std::wstring key = std::wstring(kSetup) + (colon ? L"\\" + value.first.substr(0, colon) : L"");
            EXPECT_EQ(value.second, ReadDword(HKEY_CURRENT_USER, key, value.first.substr(colon + 1).c_str()))
                << bench::Utf8(value.first);
        }
    }
}

TEST_F(Dialogs, ContextItemsDialog) {
    const std::vector<int> classic = Range(IDC_CONTEXTEXTRACTTO, IDC_CONTEXTCONVERT);
    const std::vector<int> top = Range(IDC_CONTEXTTOPEXTRACT, IDC_CONTEXTTOPADD);
    const std::vector<int> others = Range(IDC_CONTEXTNEWKVA, IDC_CONTEXTSFXOTHER);
    const std::vector<int> alwaysShown = Join(others, {IDC_CONTEXTNEWMENU});  // with its frame
    struct Case {
        const char* name;
        Scene scene;
        std::map<std::wstring, DWORD> storedTop;  // under TopMenuItems before the run
        std::vector<int> shown;                    // of the boxes 101..126
        std::vector<int> checked;                  // of the shown ones
        int leaveWith;
        std::map<std::wstring, DWORD> items, topItems;  // stored afterwards; empty: key absent
    };
    const std::map<std::wstring, DWORD> defaultItems = {
        {L"ExtrTo", 1},   {L"ExtrHere", 1}, {L"Extr", 1},     {L"ExtrSep", 1},    {L"OpenSFX", 1},
        {L"OpenArc", 1},  {L"AddTo", 1},    {L"AddArc", 1},   {L"EmailArc", 1},   {L"EmailOpt", 1},
        {L"Test", 0},     {L"Convert", 0},  {L"NewKVA", 1},   {L"NewZIP", 1},     {L"SFXLocal", 1},
        {L"SFXNetwork", 1}, {L"SFXOther", 1}, {L"DragAdd", 1}, {L"DragExtr", 1}};
    const std::vector<int> win11Checked = Join(others, {IDC_CONTEXTTOPEXTRACTTO, IDC_CONTEXTTOPEXTRACTSEPARATE,
                                                        IDC_CONTEXTTOPADDARC});
    const Case cases[] = {
        {"windows 10", {}, {}, Join(classic, alwaysShown), Join(Range(101, 110), others), IDOK, defaultItems, {}},
        {"windows 10 at 144 dpi, cancelled", {false, 144}, {}, Join(classic, alwaysShown),
         Join(Range(101, 110), others), IDCANCEL, {}, {}},
        {"windows 11", {true}, {{L"Extr", 0}, {L"ExtrTo", 1}, {L"ExtrHere", 1}}, Join(top, alwaysShown), win11Checked,
         IDOK, defaultItems,
         {{L"Extr", 0}, {L"ExtrTo", 1}, {L"ExtrHere", 0}, {L"ExtrSep", 1}, {L"AddArc", 1}, {L"AddTo", 0}}},
        {"windows 11 at 144 dpi", {true, 144}, {{L"Extr", 0}, {L"ExtrTo", 1}, {L"ExtrHere", 1}}, Join(top, alwaysShown),
         win11Checked, IDCANCEL, {}, {{L"Extr", 0}, {L"ExtrTo", 1}, {L"ExtrHere", 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetSetup();
        for (const auto& value : c.storedTop)
            bench::SetDword(HKEY_CURRENT_USER, kTopMenuItems, value.first.c_str(), value.second);
        bool seenItems = false;
        auto handler = [&](const bench::WindowSeen& seen) {
            if (GetDlgItem(seen.window, IDC_INSTHELPTEXT) == nullptr) return bench::Press(seen.window, IDCANCEL);
            HWND setup = seen.window;
            DWORD pid = seen.processId;
            if (c.scene.windows11) {
                // The top-level items show only without the cascaded menu; answer its notice.
                bench::Press(setup, IDC_SHELLCASCADED);
                HWND box = WaitForDialog(pid, {setup});
                if (box != nullptr) bench::Press(box, IDOK);
                WaitGone(box);
            }
            bench::Press(setup, IDC_SETCONTEXTMENU);
            HWND dialog = WaitForDialog(pid, {setup});
            ASSERT_NE(nullptr, dialog);
            seenItems = GetDlgItem(dialog, IDC_CONTEXTALWAYSARC) != nullptr;
            Shoot(dialog, c.scene.windows11 ? L"contextitems-win11" : L"contextitems-win10", c.scene.dpi);
            auto shown = [](HWND d, int id) { return IsWindowVisible(GetDlgItem(d, id)) != FALSE; };
            EXPECT_EQ(c.shown, Ids(dialog, 101, 126, shown));
            EXPECT_EQ(c.checked, Ids(dialog, 101, 126, [&](HWND d, int id) { return shown(d, id) && Checked(d, id); }));
            wchar_t masks[64] = L"";
            GetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, masks, 64);
            EXPECT_STREQ(L"*.iso", masks);
            bench::Press(dialog, c.leaveWith);
            WaitGone(dialog);
            bench::Press(setup, IDCANCEL);
        };
        auto result = RunProgram(c.scene, L"/setup", handler);
        EXPECT_FALSE(result.timedOut);
        EXPECT_TRUE(seenItems);
        EXPECT_EQ(1u, result.exitCode);
        EXPECT_EQ(!c.items.empty(), bench::KeyExists(HKEY_CURRENT_USER, kMenuItems));
        for (const auto& value : c.items)
            EXPECT_EQ(value.second, ReadDword(HKEY_CURRENT_USER, kMenuItems, value.first.c_str()))
                << bench::Utf8(value.first);
        if (!c.items.empty()) {
            EXPECT_EQ(L"*.iso", bench::ValueText(HKEY_CURRENT_USER, kMenuItems, L"AlwaysArc"));
        }
        EXPECT_EQ(!c.topItems.empty(), bench::KeyExists(HKEY_CURRENT_USER, kTopMenuItems));
        for (const auto& value : c.topItems)
            EXPECT_EQ(value.second, ReadDword(HKEY_CURRENT_USER, kTopMenuItems, value.first.c_str()))
                << bench::Utf8(value.first);
        EXPECT_FALSE(bench::KeyExists(HKEY_CURRENT_USER, std::wstring(kSetup) + L"\\Links"))
            << "the cancelled setup stored options";
    }
}

TEST_F(Dialogs, DoneDialog) {
    const std::wstring folder = bench::ScratchFolder(L"dialogs-done");
    const std::wstring browser = bench::BuildFolder() + L"\\standins\\standin.exe", https = L"https\\shell\\open\\command";
    bench::SavedValue old(HKEY_CLASSES_ROOT, https, L"");
    bench::SetText(HKEY_CLASSES_ROOT, https, L"", L"\"" + browser + L"\" %1");  // the browser: leaves "standin.exe.ran"
    for (int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        ForgetSetup();
        std::wstring shown;
        bool survivedButtons = false;
        auto handler = [&](const bench::WindowSeen& seen) {
            if (GetDlgItem(seen.window, IDC_INSTHELPTEXT) != nullptr) return bench::Press(seen.window, IDOK);
            bool done = GetDlgItem(seen.window, IDC_INSTFOLDERPATH) != nullptr && GetDlgItem(seen.window, IDC_THANKS);
            if (!done) return bench::Press(seen.window, IDOK);
            HWND dialog = seen.window;
            Shoot(dialog, L"done", dpi);
            wchar_t text[2048] = L"";
            GetDlgItemTextW(dialog, IDC_INSTFOLDERPATH, text, 2048);
            shown = text;
            GUITHREADINFO gui = {};
            gui.cbSize = sizeof(gui);
            GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui);
            EXPECT_EQ(GetDlgItem(dialog, IDOK), gui.hwndFocus) << "Enter would not close the dialog";
            // Help, licence and home page open elsewhere or nowhere; the dialog stays.
            for (int id : {IDC_VIEWHELP, IDC_VIEWLICENSE, IDC_HOMEPAGE}) bench::Press(dialog, id);
            Sleep(2000);
            survivedButtons = IsWindow(dialog) && IsWindowVisible(dialog);
            bench::Press(dialog, IDOK);
        };
        // At 144 dpi the home page is another program's, named by a language file.
        Scene scene{false, dpi, false, dpi == 144 ? "*****messages***\r\nIDS_HOMEURL notepad.exe\r\n" : nullptr};
        auto result = RunProgram(scene, L"/setup /noexplorer /initA000000000000000000D0M0P0S0", handler, folder);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(0u, result.exitCode);
        EXPECT_EQ(folder, shown);
        EXPECT_TRUE(survivedButtons);
        EXPECT_EQ(dpi == 96, DeleteFileW((browser + L".ran").c_str()) != FALSE) << "opened a home page";
    }
    bench::RemoveTree(folder);
}
