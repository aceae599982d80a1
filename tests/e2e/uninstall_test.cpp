// The uninstall as the user and Windows see it: a real program folder with Uninstall.exe and
// Uninstall.lst, the questions and notices, what is deleted, renamed and scheduled for
// restart, and the batch file that removes the program and its folder afterwards. The test
// prefix's command interpreter is the stand-in process, which keeps a copy of the batch file and
// then runs the real interpreter on it.
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using bench::RunResult;

namespace {

const wchar_t kCaption[] = L"Uninstall Ombrix";
const wchar_t kConfirmText[] = L"Do you wish to remove Ombrix from your computer?";
const wchar_t kNoListText[] = L"Cannot open the file list Uninstall.lst. Uninstall cannot continue.";
const wchar_t kRebootText[] = L"Some files are in use. They will be removed when you restart your computer.";
const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

std::wstring Standin() { return bench::BuildFolder() + L"\\standins\\standin.exe"; }

std::wstring TempPath() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

// Where the batch file is made: the Windows folder's "Temp", which the user cannot rewrite.
std::wstring BatchFolder() {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\Temp\\";
}

// Names anyone could have known beforehand, as older builds used.
std::wstring BatchPath() { return BatchFolder() + L"Uninstall_Kva.Bat"; }
std::wstring SpareBatch(int n) { return BatchFolder() + L"Uninstall_Kva." + std::to_wstring(n) + L".Bat"; }

// The name the running program steps aside to, which the batch file deletes.
const char kSetAside[] = "\\Uninstall.exe.0.exe";

// How the interpreter is started on a batch file: the system's own, every character kept.
std::string StartCommand(const std::string& batch) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    return "command=\"" + bench::Utf8(system) + "\\cmd.exe\" /d /v:off /s /c \"\"" + batch + "\"\"\r\n";
}

std::wstring Env(const wchar_t* name) {
    wchar_t value[MAX_PATH * 4];
    DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 4);
    return (n == 0 || n >= MAX_PATH * 4) ? std::wstring() : std::wstring(value, n);
}

// Text as the interpreter reads it from the batch file: the console's OEM code page.
std::string Oem(const std::wstring& text) {
    char out[MAX_PATH * 4];
    int n = WideCharToMultiByte(GetOEMCP(), 0, text.c_str(), -1, out, sizeof(out), nullptr, nullptr);
    return n > 0 ? std::string(out, n - 1) : std::string();
}

std::wstring ShortForm(const std::wstring& path) {
    wchar_t out[MAX_PATH * 4];
    DWORD n = GetShortPathNameW(path.c_str(), out, MAX_PATH * 4);
    return std::wstring(out, n);
}

// The batch file for these names, written out line by line.
std::string ExpectedBatch(const std::string& program, const std::string& folder, const std::string& batch,
                          bool silent) {
    std::string text = "\"" + program + "\" /wait\r\n";
    for (int i = 0; i < 5; ++i) {
        text += "del \"" + program + "\"\r\n";
        text += "rd \"" + folder + "\"\r\n";
        text += "if not exist \"" + program + "\" goto done\r\n";
    }
    text += ":done\r\n";
    if (!silent) text += "if exist \"" + program + "\" \"" + program + "\" /warning\r\n";
    text += "del \"" + batch + "\"\r\n";
    return text;
}

// The strings of the restart list, in order: source, target, source, target ...
std::vector<std::wstring> PendingRenames() {
    std::vector<std::wstring> items;
    DWORD type = 0;
    std::string bytes;
    if (!bench::ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, &type, &bytes)) return items;
    std::wstring data(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    // Targets of deletions are empty strings, so the data is split by its size, not at "\0\0".
    size_t chars = data.size();
    if (chars > 0 && data[chars - 1] == 0) --chars;
    size_t start = 0;
    for (size_t i = 0; chars > 0 && i <= chars; ++i) {
        if (i == chars || data[i] == 0) {
            items.push_back(data.substr(start, i - start));
            start = i + 1;
        }
    }
    if (items.size() % 2 == 1 && items.back().empty()) items.pop_back();
    return items;
}

bool ContainsNoCase(const std::wstring& text, const std::wstring& part) {
    std::wstring a = text, b = part;
    CharUpperBuffW(&a[0], (DWORD)a.size());
    CharUpperBuffW(&b[0], (DWORD)b.size());
    return a.find(b) != std::wstring::npos;
}

// True when the restart list deletes exactly this path.
bool ScheduledForDeletion(const std::wstring& path) {
    auto items = PendingRenames();
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i + 1].empty() && CompareStringOrdinal(items[i].c_str(), -1, (L"\\??\\" + path).c_str(), -1,
                                                         TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

// Takes out of the restart list what a test put there under its folder.
void DropPendingUnder(const std::wstring& folder) {
    auto items = PendingRenames();
    std::vector<wchar_t> kept;
    size_t pairs = 0;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (ContainsNoCase(items[i], folder)) continue;
        for (size_t k = i; k < i + 2; ++k) {
            kept.insert(kept.end(), items[k].begin(), items[k].end());
            kept.push_back(0);
        }
        ++pairs;
    }
    kept.push_back(0);
    if (pairs == 0) bench::DeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue);
    else bench::SetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, REG_MULTI_SZ, kept.data(), (DWORD)(kept.size() * 2));
}

// A process of the stand-in that keeps a library loaded until the test ends it.
class LibraryHolder {
public:
    explicit LibraryHolder(const std::wstring& library) {
        std::wstring ready = bench::ScratchFolder(L"uninstall-holder") + L"\\ready";
        std::wstring command = L"\"" + Standin() + L"\" hold \"" + library + L"\" \"" + ready + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
            return;
        }
        CloseHandle(info_.hThread);
        for (int i = 0; i < 200 && !bench::PathExists(ready); ++i) Sleep(50);
        loaded_ = bench::PathExists(ready);
    }
    ~LibraryHolder() {
        if (info_.hProcess == nullptr) return;
        TerminateProcess(info_.hProcess, 0);
        WaitForSingleObject(info_.hProcess, 10000);
        CloseHandle(info_.hProcess);
        bench::RemoveTree(TempPath() + L"ombrix-test-uninstall-holder");
    }
    bool Loaded() const { return loaded_; }

private:
    PROCESS_INFORMATION info_ = {};
    bool loaded_ = false;
};

// A program folder with the program in it, and the way to run its uninstall.
class Installation {
public:
    explicit Installation(const std::wstring& folder) : folder_(folder) {
        bench::RemoveTree(folder_);
        CreateDirectoryW(folder_.c_str(), nullptr);
        copied_ = CopyFileW(bench::ProgramUnderTest().c_str(), Program().c_str(), FALSE) != 0;
        capture_ = bench::ScratchFolder(L"uninstall-capture") + L"\\batch.txt";
    }
    ~Installation() {
        bench::RemoveTree(folder_);
        bench::RemoveTree(TempPath() + L"ombrix-test-uninstall-capture");
    }
    bool Ready() const { return copied_; }
    const std::wstring& Folder() const { return folder_; }
    std::wstring Program() const { return folder_ + L"\\Uninstall.exe"; }
    std::wstring In(const std::wstring& relative) const { return folder_ + L"\\" + relative; }
    bool Has(const std::wstring& relative) const { return bench::PathExists(In(relative)); }
    void Folder(const std::wstring& relative) const { CreateDirectoryW(In(relative).c_str(), nullptr); }
    void File(const std::wstring& relative, const std::string& bytes = "data") const {
        bench::WriteFileBytes(In(relative), bytes);
    }
    // Folders first, in the order given, then files with the default bytes.
    void Make(std::initializer_list<const wchar_t*> folders, std::initializer_list<const wchar_t*> files) const {
        for (const wchar_t* folder : folders) Folder(folder);
        for (const wchar_t* file : files) File(file);
    }
    void List(const std::string& bytes) const { File(L"Uninstall.lst", bytes); }
    bool Standin(const wchar_t* standin, const wchar_t* relative) const {
        return CopyFileW((bench::BuildFolder() + L"\\standins\\" + standin).c_str(), In(relative).c_str(), FALSE) != 0;
    }

    RunResult Run(const std::wstring& arguments, bench::Handler handler = nullptr,
                  const std::vector<std::pair<std::wstring, std::wstring>>& extra = {}, bool waitForBatch = true) const {
        DeleteFileW(capture_.c_str());
        DeleteFileW((capture_ + L".start").c_str());
        bench::RunSpec spec;
        spec.program = Program();
        spec.arguments = arguments;
        spec.handler = handler;
        spec.waitForChildren = waitForBatch;
        spec.environment = {{L"sfxcmd", L""}, {L"sfxname", L""}, {L"OMBRIX_CAPTURE", capture_}};
        spec.environment.insert(spec.environment.end(), extra.begin(), extra.end());
        return bench::Run(spec);
    }
    // The batch file as the interpreter was given it, and how the interpreter was started.
    std::string Batch() const { return bench::ReadFileBytes(capture_); }
    bool BatchStarted() const { return bench::PathExists(capture_ + L".start"); }
    std::string StartRecord() const { return bench::ReadFileBytes(capture_ + L".start"); }
    // The batch file the interpreter was started on (in the OEM code page): a fresh random name
    // of the run's own in the Windows folder's "Temp", and (checked) gone once it has run.
    std::string UsedBatch(bool checked = true) const {
        std::string record = StartRecord(), name = Oem(BatchFolder()) + "Uninstall_Kva.";
        size_t at = record.find(" /c \"\"") + 6;
        std::string used = at < 6 ? "" : record.substr(at, record.find('"', at) - at);
        EXPECT_TRUE(!checked || (used.size() == name.size() + 20 && used.rfind(name, 0) == 0 && used.rfind(".Bat") == name.size() + 16 &&
                                 used.find_first_not_of("0123456789ABCDEF", name.size()) == name.size() + 16 &&
                                 !bench::PathExists(bench::Narrow2Wide(used)))) << used;
        return used;
    }

private:
    std::wstring folder_;
    std::wstring capture_;
    bool copied_ = false;
};

std::wstring ProgramFiles(const std::wstring& name) { return L"C:\\Program Files\\Ombrix-test-" + name; }

// Wine starts the host's own programs too: so a test plants a Unix symbolic link, which no Win32
// call of Wine makes, and takes it away. True once the name on drive C: is there (or gone) as asked.
bool OnHost(const wchar_t* program, const std::wstring& arguments, const std::wstring& name, bool present) {
    std::wstring line = std::wstring(program) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW((L"Z:" + std::wstring(program)).c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    WIN32_FIND_DATAW found;
    for (int i = 0; i < 250; Sleep(20), ++i) {
        HANDLE find = FindFirstFileW(name.c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
        if ((find != INVALID_HANDLE_VALUE) == present) return true;
    }
    return false;
}

std::wstring UnixPath(std::wstring path) {
    for (wchar_t& c : path) c = c == L'\\' ? L'/' : c;
    return L"\"" + Env(L"WINEPREFIX") + L"/drive_c" + path.substr(2) + L"\"";
}

}  // namespace

TEST(Uninstall, ConfirmedRemovesListedEntriesThenProgramAndFolder) {
    Installation inst(ProgramFiles(L"confirm"));
    ASSERT_TRUE(inst.Ready());
    inst.Make({L"Formats", L"Formats\\deep", L"Lang"},
              {L"Ombrix.exe", L"ReadMe.txt", L"Formats\\zst.fmt", L"Formats\\deep\\x.fmt", L"Lang\\de.lng", L"hidden.dat"});
    SetFileAttributesW(inst.In(L"hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    // Help index files go without being listed.
    inst.File(L"ombrix.gid");
    inst.File(L"ombrix.fts");
    SetFileAttributesW(inst.In(L"ombrix.gid").c_str(), FILE_ATTRIBUTE_READONLY);
    // Folders before their contents, CR LF, trailing blanks, empty lines and a missing entry.
    inst.List("Formats\r\nFormats\\deep\r\nOmbrix.exe\r\nReadMe.txt  \t\r\n\r\n\r\nFormats\\zst.fmt\r\n"
              "Formats\\deep\\x.fmt\r\nnever-installed.txt\r\nLang\\de.lng\r\nLang\r\nhidden.dat\r\n"
              "Uninstall.exe\r\nUninstall.lst\r\n");
    // Setup's own templates go while they have its sizes.
    inst.File(L"kvanew.dat", std::string(24, 'k'));
    inst.File(L"zipnew.dat", std::string(22, 'z'));
    // The browser engine's cache goes from the temporary folder the user's settings name, which
    // the integration removal deletes; the system's one is not that folder.
    std::wstring configured = bench::ScratchFolder(L"uninstall-temp");
    bench::SetText(HKEY_CURRENT_USER, L"Software\\Ombrix\\Paths", L"TempFolder", configured);
    std::wstring unrelated = TempPath() + L"Ombrix.exe.WebView2";
    CreateDirectoryW(unrelated.c_str(), nullptr);
    std::wstring cache = configured + L"\\Ombrix.exe.WebView2";
    CreateDirectoryW(cache.c_str(), nullptr);
    CreateDirectoryW((cache + L"\\EBWebView").c_str(), nullptr);
    bench::WriteFileBytes(cache + L"\\EBWebView\\Local State", "{}");
    // Its paths may run past 260 characters; with the long form such a tree still goes whole.
    std::wstring deep = L"\\\\?\\" + cache + L"\\EBWebView\\" + std::wstring(150, L'w');
    CreateDirectoryW(deep.c_str(), nullptr);
    deep += L"\\" + std::wstring(150, L'v');
    CreateDirectoryW(deep.c_str(), nullptr);
    ASSERT_TRUE(bench::WriteFileBytes(deep + L"\\Cookies", "x"));

    RunResult result = inst.Run(L"", bench::Answer({IDYES}));
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(0u, result.exitCode);
    ASSERT_EQ(1u, result.windows.size());
    EXPECT_EQ(kCaption, result.windows[0].caption);
    EXPECT_EQ(kConfirmText, result.windows[0].text);

    EXPECT_FALSE(bench::PathExists(inst.Folder())) << "the batch file removes the program and the emptied folder";
    EXPECT_FALSE(bench::PathExists(cache));
    EXPECT_TRUE(bench::PathExists(unrelated));
    bench::RemoveTree(configured);
    bench::RemoveTree(unrelated);
    std::string folder = Oem(inst.Folder());
    EXPECT_EQ(ExpectedBatch(folder + kSetAside, folder, inst.UsedBatch(), false), inst.Batch());
    // Hidden, from the folder above the program folder, the system's interpreter.
    std::string record = inst.StartRecord();
    EXPECT_NE(std::string::npos, record.find("flags=1\r\nshow=0\r\n")) << record;
    EXPECT_NE(std::string::npos, record.find(StartCommand(inst.UsedBatch()))) << record;
    EXPECT_NE(std::string::npos, record.find("folder=C:\\Program Files\r\n")) << record;
}

TEST(Uninstall, AnsweredNoRemovesNothing) {
    Installation inst(ProgramFiles(L"no"));
    ASSERT_TRUE(inst.Ready());
    inst.File(L"Ombrix.exe");
    inst.List("Ombrix.exe\r\nUninstall.exe\r\nUninstall.lst\r\n");
    RunResult result = inst.Run(L"", bench::Answer({IDNO}));
    EXPECT_EQ(0u, result.exitCode);
    ASSERT_EQ(1u, result.windows.size());
    EXPECT_EQ(kConfirmText, result.windows[0].text);
    EXPECT_TRUE(inst.Has(L"Ombrix.exe"));
    EXPECT_TRUE(inst.Has(L"Uninstall.lst"));
    EXPECT_TRUE(inst.Has(L"Uninstall.exe"));
    EXPECT_FALSE(inst.BatchStarted());
}

TEST(Uninstall, SilentAsksNothingAndBatchHasNoWarningLine) {
    Installation inst(ProgramFiles(L"silent"));
    ASSERT_TRUE(inst.Ready());
    inst.Make({L"Lang"}, {L"Lang\\de.lng", L"Ombrix.exe"});
    inst.List("Lang\\de.lng\nLang\nOmbrix.exe\nUninstall.exe\nUninstall.lst\n");
    // A log that cannot be made is left out: the run does its job as without it.
    RunResult result = inst.Run(L"/S /log=\"C:\\no such folder\\u.log\"");
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_TRUE(result.windows.empty());
    EXPECT_FALSE(bench::PathExists(inst.Folder()));
    std::string folder = Oem(inst.Folder());
    EXPECT_EQ(ExpectedBatch(folder + kSetAside, folder, inst.UsedBatch(), true), inst.Batch());
}

TEST(Uninstall, MissingListIsReportedEvenWhenSilent) {
    Installation inst(ProgramFiles(L"nolist"));
    ASSERT_TRUE(inst.Ready());
    inst.File(L"Ombrix.exe");
    RunResult silent = inst.Run(L"/S");
    EXPECT_EQ(2u, silent.exitCode) << "an uninstall that could do nothing says so";
    ASSERT_EQ(1u, silent.windows.size());
    EXPECT_EQ(kCaption, silent.windows[0].caption);
    EXPECT_EQ(kNoListText, silent.windows[0].text);

    RunResult asked = inst.Run(L"", bench::Answer({IDYES}));
    EXPECT_EQ(2u, asked.exitCode);
    ASSERT_EQ(2u, asked.windows.size());
    EXPECT_EQ(kConfirmText, asked.windows[0].text);
    EXPECT_EQ(kNoListText, asked.windows[1].text);
    EXPECT_TRUE(inst.Has(L"Ombrix.exe"));
    EXPECT_TRUE(inst.Has(L"Uninstall.exe"));
    EXPECT_FALSE(inst.BatchStarted());

    // A translator's text is filled in, never used as a format of its own.
    inst.File(L"uninstall.lng", "Test\r\n*****messages***\r\n:STRINGS\r\n"
                                "IDS_CANNOTOPENLIST \"%s fehlt: %d %x %n 100%%\"\r\n");
    RunResult translated = inst.Run(L"/S");
    ASSERT_EQ(1u, translated.windows.size());
    EXPECT_EQ(L"Uninstall.lst fehlt: %d %x %n 100%", translated.windows[0].text);
}

TEST(Uninstall, HostileEntriesNeverReachOutsideTheFolder) {
    Installation inst(ProgramFiles(L"hostile"));
    ASSERT_TRUE(inst.Ready());
    std::wstring up = L"C:\\Program Files\\ombrix-test-victim-up.txt";
    std::wstring absolute = L"C:\\Program Files\\ombrix-test-victim-abs.txt";
    for (const std::wstring& victim : {up, absolute}) ASSERT_TRUE(bench::WriteFileBytes(victim, "victim"));
    // What the forms would name if they were joined to the folder: all of it stays.
    inst.Make({L"sub", L"server"}, {L"server\\x", L"x", L"a", L"tail.txt", L"legit.txt"});
    inst.File(L"kvanew.dat", std::string(24, 'k'));
    inst.File(L"zipnew.dat", "the user's own");
    std::string list = "..\\ombrix-test-victim-up.txt\r\nsub\\..\\..\\ombrix-test-victim-up.txt\r\n"
                       "C:\\Program Files\\ombrix-test-victim-abs.txt\r\n\\\\?\\C:\\Program Files\\ombrix-test-victim-abs.txt\r\n"
                       "\\Program Files\\ombrix-test-victim-abs.txt\r\nC:x\r\n\\x\r\n\\\\server\\x\r\na:b\r\n";
    // An over-long line whose tail would name a file of its own.
    list += std::string(2047, 'q') + "tail.txt\r\n";
    list += "legit.txt\r\nUninstall.exe\r\nUninstall.lst\r\n";
    inst.List(list);

    RunResult result = inst.Run(L"/S");
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(result.windows.empty());
    EXPECT_EQ("victim", bench::ReadFileBytes(up));
    EXPECT_EQ("victim", bench::ReadFileBytes(absolute));
    for (const wchar_t* kept : {L"sub", L"server\\x", L"x", L"a", L"tail.txt", L"zipnew.dat"}) EXPECT_TRUE(inst.Has(kept)) << kept;
    EXPECT_FALSE(inst.Has(L"legit.txt"));
    EXPECT_FALSE(inst.Has(L"kvanew.dat"));
    EXPECT_FALSE(inst.Has(L"Uninstall.lst"));
    EXPECT_FALSE(inst.Has(L"Uninstall.exe")) << "the batch file still removes the program";
    EXPECT_TRUE(bench::PathExists(inst.Folder())) << "the folder is not empty, so it stays";
    DeleteFileW(up.c_str());
    DeleteFileW(absolute.c_str());
}

TEST(Uninstall, FileInUseIsRenamedAndScheduledWithTheOmbrixFolder) {
    std::wstring root = bench::ScratchFolder(L"inuse");
    {
        Installation inst(root + L"\\OMBRIX");
        ASSERT_TRUE(inst.Ready());
        ASSERT_TRUE(inst.Standin(L"holdlib.dll", L"kvaext.dll"));
        inst.File(L"kvaext.dll.0.tmp", "older");
        inst.File(L"Ombrix.exe");
        inst.List("kvaext.dll\r\nOmbrix.exe\r\nUninstall.exe\r\nUninstall.lst\r\n");
        LibraryHolder holder(inst.In(L"kvaext.dll"));
        ASSERT_TRUE(holder.Loaded());

        RunResult result = inst.Run(L"", bench::Answer({IDYES}));
        EXPECT_FALSE(result.timedOut);
        ASSERT_EQ(2u, result.windows.size());
        EXPECT_EQ(kConfirmText, result.windows[0].text);
        EXPECT_EQ(kCaption, result.windows[1].caption);
        EXPECT_EQ(kRebootText, result.windows[1].text);

        // Renamed to the first free spare name, and that name is deleted at restart.
        EXPECT_FALSE(inst.Has(L"kvaext.dll"));
        EXPECT_TRUE(inst.Has(L"kvaext.dll.1.tmp"));
        EXPECT_EQ("older", bench::ReadFileBytes(inst.In(L"kvaext.dll.0.tmp")));
        EXPECT_TRUE(ScheduledForDeletion(inst.In(L"kvaext.dll.1.tmp")));
        EXPECT_FALSE(ScheduledForDeletion(inst.In(L"kvaext.dll")));
        // A folder named Ombrix, in any case, is scheduled too.
        EXPECT_TRUE(ScheduledForDeletion(inst.Folder()));
        EXPECT_FALSE(inst.Has(L"Ombrix.exe"));
        EXPECT_FALSE(inst.Has(L"Uninstall.exe"));
    }
    DropPendingUnder(root);
    bench::RemoveTree(root);
}

// Silent, a file in use is still renamed and scheduled, and the "Ombrix" folder is scheduled after
// it, so that nothing is left once Windows restarts; the caller learns of the restart from the exit
// code it asked for, and the log names what waits.
TEST(Uninstall, SilentFileInUseIsScheduledWithTheFolderAndGoneAfterRestart) {
    for (uint32_t code : {0u, 3010u}) {
        std::wstring root = bench::ScratchFolder(L"inuse-silent"), log = root + L"\\run.log";
        Installation inst(root + L"\\ombrix");
        ASSERT_TRUE(inst.Ready());
        ASSERT_TRUE(inst.Standin(L"holdlib.dll", L"kvaext.dll"));
        inst.File(L"locked.dat");
        inst.List("kvaext.dll\nlocked.dat\nUninstall.exe\nUninstall.lst\n");
        {
            LibraryHolder holder(inst.In(L"kvaext.dll"));
            ASSERT_TRUE(holder.Loaded());
            // Held without delete sharing: it can be neither deleted nor renamed.
            HANDLE locked = CreateFileW(inst.In(L"locked.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, locked);
            RunResult result = inst.Run(code == 0 ? L"/S" : L"/S /restartexitcode=3010 /log=\"" + log + L"\"");
            CloseHandle(locked);
            EXPECT_EQ(code, result.timedOut ? 99u : result.exitCode);
            EXPECT_TRUE(result.windows.empty());
        }
        EXPECT_TRUE(ScheduledForDeletion(inst.In(L"kvaext.dll.0.tmp")));
        EXPECT_TRUE(ScheduledForDeletion(inst.In(L"locked.dat")));
        auto pending = PendingRenames();
        auto at = [&](const std::wstring& path) { return std::find(pending.begin(), pending.end(), L"\\??\\" + path) - pending.begin(); };
        EXPECT_LT(at(inst.In(L"locked.dat")), at(inst.Folder()));
        EXPECT_LT(at(inst.Folder()), (long)pending.size());
        std::string text = bench::ReadFileBytes(log);
        EXPECT_EQ(code != 0, text.find("waits for the restart to be deleted: " + Oem(inst.In(L"locked.dat"))) != std::string::npos) << text;
        // A restart performs what was scheduled: nothing of the folder is left.
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION boot = {};
        wchar_t line[] = L"wineboot.exe -r";
        ASSERT_TRUE(CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &boot));
        WaitForSingleObject(boot.hProcess, 60000);
        for (HANDLE handle : {boot.hProcess, boot.hThread}) CloseHandle(handle);
        EXPECT_FALSE(bench::PathExists(inst.Folder()));
        DropPendingUnder(root);
        bench::RemoveTree(root);
    }
}

TEST(Uninstall, ProgramFileThatStaysBringsUpTheWarning) {
    Installation inst(ProgramFiles(L"warning"));
    ASSERT_TRUE(inst.Ready());
    inst.List("Uninstall.exe\r\nUninstall.lst\r\n");
    // The batch file cannot delete the program while this handle is open.
    HANDLE hold = CreateFileW(inst.Program().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hold);
    RunResult result = inst.Run(L"", bench::Answer({IDYES}));
    CloseHandle(hold);
    EXPECT_FALSE(result.timedOut);
    ASSERT_EQ(2u, result.windows.size());
    EXPECT_EQ(kConfirmText, result.windows[0].text);
    EXPECT_EQ(kCaption, result.windows[1].caption);
    EXPECT_EQ(L"Ombrix has been uninstalled.\nPlease delete the file " + inst.Program() + L" yourself.",
              result.windows[1].text);
    EXPECT_TRUE(inst.Has(L"Uninstall.exe"));
    inst.UsedBatch();
}

TEST(Uninstall, BatchNamesAccentedFolderInTheOemCodePage) {
    Installation inst(ProgramFiles(L"\u00dc\u00e9"));
    ASSERT_TRUE(inst.Ready());
    inst.File(L"Ombrix.exe");
    inst.List("Ombrix.exe\r\nUninstall.exe\r\nUninstall.lst\r\n");
    RunResult result = inst.Run(L"/S");
    EXPECT_FALSE(result.timedOut);
    std::string batch = inst.Batch();
    if (GetOEMCP() == 437 || GetOEMCP() == 850) {
        EXPECT_NE(std::string::npos, batch.find("Ombrix-test-\x9A\x82\\Uninstall.exe")) << batch;
    }
    std::string folder = Oem(inst.Folder());
    EXPECT_EQ(ExpectedBatch(folder + kSetAside, folder, inst.UsedBatch(), true), batch);
    EXPECT_FALSE(bench::PathExists(inst.Folder())) << "the interpreter read the names that were meant";
}

TEST(Uninstall, BatchNamesFolderOutsideTheOemCodePageByItsShortForm) {
    Installation inst(ProgramFiles(L"\u00dc\u00e9\u4e2d"));
    ASSERT_TRUE(inst.Ready());
    inst.File(L"Ombrix.exe");
    inst.List("Ombrix.exe\r\nUninstall.exe\r\nUninstall.lst\r\n");
    std::wstring shortFolder = ShortForm(inst.Folder());
    // The short form of the name the program steps aside to, from a file of that name.
    inst.Folder(L"probe");
    inst.File(L"probe\\Uninstall.exe.0.exe");
    std::wstring shortProgram = shortFolder + L"\\" + ShortForm(inst.In(L"probe\\Uninstall.exe.0.exe")).substr(shortFolder.size() + 7);
    bench::RemoveTree(inst.In(L"probe"));
    ASSERT_FALSE(shortProgram.empty());
    ASSERT_EQ(std::wstring::npos, shortFolder.find(L'\u4e2d'));
    RunResult result = inst.Run(L"", bench::Answer({IDYES}));
    EXPECT_FALSE(result.timedOut);
    ASSERT_EQ(1u, result.windows.size()) << "no manual-deletion notice: the batch can name the program";
    EXPECT_EQ(ExpectedBatch(Oem(shortProgram), Oem(shortFolder), inst.UsedBatch(), false), inst.Batch());
    EXPECT_FALSE(bench::PathExists(inst.Folder()));
}

// A deployment script uninstalls and at once installs into the same folder: the batch file, still
// waiting, deletes only the program that ran, never the new one.
TEST(Uninstall, ProgramInstalledAgainAtOnceStays) {
    Installation inst(ProgramFiles(L"again"));
    ASSERT_TRUE(inst.Ready());
    inst.List("Uninstall.exe\r\nUninstall.lst\r\n");
    RunResult result = inst.Run(L"/S", nullptr, {}, false);
    EXPECT_EQ(0u, result.exitCode);
    ASSERT_TRUE(CopyFileW(bench::ProgramUnderTest().c_str(), inst.Program().c_str(), FALSE));
    for (int i = 0; i < 300 && (inst.Has(L"Uninstall.exe.0.exe") || bench::PathExists(bench::Narrow2Wide(inst.UsedBatch(false)))); ++i) Sleep(50);
    EXPECT_FALSE(inst.Has(L"Uninstall.exe.0.exe"));
    EXPECT_TRUE(inst.Has(L"Uninstall.exe"));
}

TEST(Uninstall, ListedSettingsFileIsNotWrittenBackAtExit) {
    Installation inst(ProgramFiles(L"ini"));
    ASSERT_TRUE(inst.Ready());
    // With a settings file beside the program, the user's settings live in it.
    inst.File(L"Ombrix.ini", "HKCU\\Setup\\ShellExt=1\r\nHKCU\\General\\Language=de\r\n");
    inst.List("Ombrix.ini\r\nUninstall.exe\r\nUninstall.lst\r\n");
    RunResult result = inst.Run(L"/S");
    EXPECT_FALSE(result.timedOut);
    EXPECT_FALSE(inst.Has(L"Ombrix.ini"));
    EXPECT_FALSE(bench::PathExists(inst.Folder()));
}

// The batch file's name in the shared temporary folder may hold a link or someone's file, COMSPEC
// may name the user's program, the user's temporary folder may be a link and the folders' names
// may hold "&": the batch never runs through what was planted, only the system's interpreter runs
// it, nothing is deleted through a link, and the program and its folder go.
TEST(Uninstall, PlantedBatchFileAndInterpreterAreNeverUsed) {
    std::wstring root = bench::ScratchFolder(L"planted");
    std::wstring victim = root + L"\\victim.txt", marker = root + L"\\planted-ran", mine = root + L"\\my.exe";
    ASSERT_TRUE(bench::WriteFileBytes(victim, "victim"));
    ASSERT_TRUE(CopyFileW(Standin().c_str(), mine.c_str(), FALSE));
    // The host's name of the folder, in its own case.
    wchar_t onDisk[MAX_PATH];
    std::wstring planted = UnixPath(std::wstring(onDisk, GetLongPathNameW(BatchFolder().c_str(), onDisk, MAX_PATH)) +
                                    L"Uninstall_Kva.Bat");
    // 3: the user's configured temporary folder is a link to a folder with a browser cache in it.
    std::wstring linked = root + L"\\linked", cache = root + L"\\victim\\Ombrix.exe.WebView2";
    const struct {
        int plant;  // 1: a link to the victim, 2: a file with commands of its own
        std::wstring comspec, temp;  // the temporary folder also holds the program folder
    } rows[] = {{1, L"", L""},  {2, mine, L""}, {0, mine, L""}, {3, L"", L""}, {0, L"", root + L"\\R&D (1) ^x"},
                {4, L"", L""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(bench::Utf8(row.comspec + L" " + row.temp) + " plant " + std::to_string(row.plant));
        if (!row.temp.empty()) CreateDirectoryW(row.temp.c_str(), nullptr);
        Installation inst((row.temp.empty() ? root : row.temp) + L"\\Ombrix");
        ASSERT_TRUE(inst.Ready());
        inst.List("Uninstall.exe\r\nUninstall.lst\r\n");
        if (row.plant == 3) {
            ASSERT_TRUE(CreateDirectoryW((root + L"\\victim").c_str(), nullptr) && CreateDirectoryW(cache.c_str(), nullptr));
            ASSERT_TRUE(bench::WriteFileBytes(cache + L"\\keep.txt", "keep"));
            ASSERT_TRUE(OnHost(L"\\bin\\ln", L"-s " + UnixPath(root + L"\\victim") + L" " + UnixPath(linked), linked, true));
            bench::SetText(HKEY_CURRENT_USER, L"Software\\Ombrix\\Paths", L"TempFolder", linked);
        }
        // 4: a folder holding a file at the name, and files at the 1,000 spare names beside it.
        ASSERT_TRUE(row.plant != 4 || (CreateDirectoryW(BatchPath().c_str(), nullptr) &&
                                       bench::WriteFileBytes(BatchPath() + L"\\mine.txt", "mine")));
        for (int n = 0; row.plant == 4 && n < 1000; ++n) ASSERT_TRUE(bench::WriteFileBytes(SpareBatch(n), "@echo"));
        ASSERT_TRUE(row.plant == 0 || row.plant == 3 || row.plant == 4 ||
                    (row.plant == 1 ? OnHost(L"\\bin\\ln", L"-s " + UnixPath(victim) + L" " + planted, BatchPath(), true)
                                    : bench::WriteFileBytes(BatchPath(), "@echo planted> \"" + Oem(marker) + "\"\r\n")));
        std::vector<std::pair<std::wstring, std::wstring>> environment = {{L"COMSPEC", row.comspec}};
        if (!row.temp.empty()) environment = {{L"TMP", row.temp}, {L"TEMP", row.temp}};
        RunResult result = inst.Run(L"/S", nullptr, environment);
        EXPECT_EQ(0u, result.timedOut ? 99u : result.exitCode);
        EXPECT_FALSE(bench::PathExists(inst.Folder()));
        EXPECT_TRUE(inst.BatchStarted()) << inst.StartRecord();
        EXPECT_EQ("victim", bench::ReadFileBytes(victim));
        EXPECT_FALSE(bench::PathExists(marker));
        EXPECT_FALSE(bench::PathExists(mine + L".ran"));
        EXPECT_TRUE(row.plant != 3 || bench::PathExists(cache + L"\\keep.txt"));
        if (row.plant == 3 && bench::MayDelete(linked)) OnHost(L"\\bin\\rm", UnixPath(linked), linked, false);
        // Whatever stands at the names anyone knows, a fresh one of the run's own was taken; the
        // batch deletes itself by it, and what was planted stays as it was.
        std::string used = inst.UsedBatch(), folder = Oem(inst.Folder());
        EXPECT_NE(std::string::npos, inst.StartRecord().find(StartCommand(used))) << inst.StartRecord();
        EXPECT_EQ(inst.BatchStarted() ? ExpectedBatch(folder + kSetAside, folder, used, true) : "", inst.Batch());
        bool plantedAtName = row.plant == 1 || row.plant == 2 || row.plant == 4;
        EXPECT_EQ(plantedAtName, bench::PathExists(BatchPath() + (row.plant == 4 ? L"\\mine.txt" : L"")));
        if (row.plant == 1 && bench::MayDelete(BatchPath())) OnHost(L"\\bin\\rm", planted, BatchPath(), false);
        for (int n = 0; row.plant == 4 && n < 1000; ++n) DeleteFileW(SpareBatch(n).c_str());
        if (row.plant == 2) DeleteFileW(BatchPath().c_str());
        if (row.plant == 4) bench::RemoveTree(BatchPath());
    }
    bench::RemoveTree(root);
}
