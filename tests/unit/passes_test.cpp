// The deletion passes of the uninstall over a scratch program folder and a list of its entries.
#include "uninstall/uninstall.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// A program folder in the temporary folder with the given files and folders in it.
class PassFolder {
public:
    explicit PassFolder(const std::wstring& name) : root_(bench::ScratchFolder(name)) {
        folder_ = root_ + L"\\prog";
        CreateDirectoryW(folder_.c_str(), nullptr);
    }
    ~PassFolder() { bench::RemoveTree(root_); }
    const std::wstring& Root() const { return root_; }
    std::wstring In(const std::wstring& relative) const { return folder_ + L"\\" + relative; }
    void Folder(const std::wstring& relative) const { CreateDirectoryW(In(relative).c_str(), nullptr); }
    void File(const std::wstring& relative) const { bench::WriteFileBytes(In(relative), "data"); }
    bool Has(const std::wstring& relative) const { return bench::PathExists(In(relative)); }

    // Runs the passes over a list of the given bytes; returns the pass count.
    uint32_t Passes(const std::string& list, bool* restartNeeded) const {
        std::wstring listPath = root_ + L"\\list.lst";
        bench::WriteFileBytes(listPath, list);
        FILE* stream = _wfopen(listPath.c_str(), L"rb");
        if (stream == nullptr) return 0;
        uint32_t passes = RunDeletionPasses((folder_ + L"\\").c_str(), L"Uninstall.exe", stream, restartNeeded);
        fclose(stream);
        return passes;
    }

private:
    std::wstring root_;
    std::wstring folder_;
};

// Wine starts the host's own programs too: so a test plants a Unix symbolic link, which no Win32
// call of this Wine makes, with the host's ln, and takes it away with rm (no Win32 call of this
// Wine removes it either). The link stands for the test's scope.
class PlantedLink {
public:
    PlantedLink(const std::wstring& target, const std::wstring& link) : link_(link) {
        planted_ = OnHost("/bin/ln -sfn \"" + UnixName(target) + "\" \"" + UnixName(link) + "\"", true);
    }
    ~PlantedLink() {
        if (bench::MayDelete(link_)) OnHost("/bin/rm -f \"" + UnixName(link_) + "\"", false);
    }
    PlantedLink(const PlantedLink&) = delete;
    PlantedLink& operator=(const PlantedLink&) = delete;
    bool Planted() const { return planted_; }

private:
    // The host's name of a path whose folder exists; the name itself need not.
    static std::string UnixName(const std::wstring& path) {
        using UnixNameFn = char*(CDECL*)(const wchar_t*);
        auto unixName = reinterpret_cast<UnixNameFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
        size_t slash = path.find_last_of(L'\\');
        char* folder = unixName != nullptr ? unixName(path.substr(0, slash).c_str()) : nullptr;
        if (folder == nullptr) return "/nonexistent";
        std::string name = std::string(folder) + "/";
        HeapFree(GetProcessHeap(), 0, folder);
        for (wchar_t c : path.substr(slash + 1)) name += (char)c;
        return name;
    }
    // True once the link is there (or gone) as asked.
    bool OnHost(const std::string& line, bool present) const {
        std::wstring command(line.begin(), line.end());
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        std::wstring program = L"Z:" + command.substr(0, command.find(L' '));
        if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            return false;
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (int i = 0; i < 250; Sleep(20), ++i) {
            if (bench::PathExists(link_) == present) return true;
        }
        return false;
    }

    std::wstring link_;
    bool planted_ = false;
};

}  // namespace

TEST(Passes, EachListTakesItsPassesAndDeletesWhatItNames) {
    // What the program folder holds (a name with a trailing backslash is a folder), attributes set
    // on some of it, the list, and what the passes must do.
    struct Case {
        const char* label;
        std::vector<std::wstring> made;
        std::vector<std::pair<const wchar_t*, DWORD>> attributes;
        std::string list;
        uint32_t passes;
        std::vector<const wchar_t*> gone, kept;
    };
    const Case cases[] = {
        // Pass 1 deletes the files and "deep", pass 2 "Formats", pass 3 nothing.
        {"a folder before its files takes one more pass",
         {L"Formats\\", L"Formats\\deep\\", L"Formats\\deep\\x.fmt", L"Formats\\zst.fmt", L"Ombrix.exe"},
         {},
         "Formats\nFormats\\deep\\x.fmt\nFormats\\deep\nFormats\\zst.fmt\nOmbrix.exe\n",
         3,
         {L"Formats", L"Ombrix.exe"},
         {}},
        {"files before their folder", {L"Lang\\", L"Lang\\de.lng", L"ReadMe.txt"}, {}, "ReadMe.txt\nLang\\de.lng\nLang\n", 2,
         {L"Lang", L"ReadMe.txt"}, {}},
        // Pending after pass 1, one spelling of the folder goes in pass 2 and the other finds it gone.
        {"two spellings of a folder", {L"Old\\", L"Old\\x"}, {}, "Old/\nOld\nOld\\x\n", 3, {L"Old"}, {}},
        {"missing entries take one pass and delete nothing", {L"keep.txt"}, {},
         "gone.txt\r\nsub\\gone\r\ngone-folder\r\n", 1, {}, {L"keep.txt"}},
        {"Windows line ends, blanks and read-only attributes",
         {L"Lang\\", L"Lang\\de.lng", L"ReadMe.txt", L"locked.txt"},
         {{L"locked.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN}, {L"Lang", FILE_ATTRIBUTE_READONLY}},
         "\r\nLang \r\n\r\n  \t\r\nReadMe.txt\t\t\r\nLang\\de.lng   \r\nlocked.txt\r\n",
         3,
         {L"Lang", L"ReadMe.txt", L"locked.txt"},
         {}},
    };
    for (const Case& c : cases) {
        PassFolder f(L"passes-lists");
        for (const std::wstring& name : c.made) {
            if (name.back() == L'\\') f.Folder(name.substr(0, name.size() - 1));
            else f.File(name);
        }
        for (const auto& set : c.attributes) SetFileAttributesW(f.In(set.first).c_str(), set.second);
        bool restart = false;
        EXPECT_EQ(c.passes, f.Passes(c.list, &restart)) << c.label;
        for (const wchar_t* name : c.gone) EXPECT_FALSE(f.Has(name)) << c.label << ": " << name;
        for (const wchar_t* name : c.kept) EXPECT_TRUE(f.Has(name)) << c.label << ": " << name;
        EXPECT_FALSE(restart) << c.label;
    }
}

TEST(Passes, HostileAndOverlongEntriesDeleteNothing) {
    PassFolder f(L"passes-hostile");
    std::wstring outside = f.Root() + L"\\victim.txt";
    bench::WriteFileBytes(outside, "keep");
    f.Folder(L"sub");
    f.Folder(L"server");
    f.File(L"server\\x");
    f.File(L"x");
    f.File(L"victim.txt");
    f.File(L"a");
    f.File(L"legit.txt");
    std::string list = "..\\victim.txt\nsub\\..\\..\\victim.txt\n\\x\n\\\\server\\x\na:b\n";
    list += std::string(2047, 'p') + "victim.txt\n";
    // The absolute forms name the victim outside exactly.
    char absolute[kPathChars];
    WideCharToMultiByte(CP_ACP, 0, outside.c_str(), -1, absolute, (int)CountOf(absolute), nullptr, nullptr);
    list += std::string(absolute) + "\n\\\\?\\" + absolute + "\n";
    list += "legit.txt\n";
    bool restart = false;
    EXPECT_EQ(2u, f.Passes(list, &restart));
    EXPECT_EQ("keep", bench::ReadFileBytes(outside));
    for (const wchar_t* kept : {L"sub", L"server\\x", L"x", L"victim.txt", L"a"}) EXPECT_TRUE(f.Has(kept)) << kept;
    EXPECT_FALSE(f.Has(L"legit.txt"));
    EXPECT_FALSE(restart);
}

TEST(Passes, ProgramAndListFilesInUseAreLeftAlone) {
    PassFolder f(L"passes-own");
    f.Folder(L"sub");
    f.File(L"sub\\Uninstall.exe");
    f.File(L"Uninstall.lst");
    f.File(L"done.txt");
    // Held without delete sharing: neither can be deleted nor renamed.
    HANDLE program = CreateFileW(f.In(L"sub\\uninstall.EXE").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    HANDLE list = CreateFileW(f.In(L"Uninstall.lst").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, program);
    ASSERT_NE(INVALID_HANDLE_VALUE, list);
    bool restart = false;
    EXPECT_EQ(2u, f.Passes("sub\\Uninstall.exe\nUninstall.lst\ndone.txt\n", &restart));
    CloseHandle(program);
    CloseHandle(list);
    EXPECT_FALSE(restart);
    EXPECT_TRUE(f.Has(L"sub\\Uninstall.exe"));
    EXPECT_FALSE(f.Has(L"sub\\Uninstall.exe.0.tmp"));
    EXPECT_TRUE(f.Has(L"Uninstall.lst"));
    EXPECT_FALSE(f.Has(L"done.txt"));
}

TEST(Passes, NothingBelowALinkIsDeletedWhereverItComesInTheList) {
    PassFolder f(L"passes-links");
    // Two folders outside the program folder, reached through links inside it: one beside a real
    // folder whose name it begins with, one within that folder.
    std::wstring outside = f.Root() + L"\\outside", deeper = f.Root() + L"\\deeper";
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(deeper.c_str(), nullptr));
    bench::WriteFileBytes(outside + L"\\x.lng", "keep");
    bench::WriteFileBytes(deeper + L"\\y.lng", "keep");
    f.Folder(L"Lang");
    f.Folder(L"Lang\\New");
    f.File(L"Lang\\de.lng");
    f.File(L"Lang\\New\\z.lng");
    f.File(L"Lang\\New\\w.lng");
    PlantedLink language(outside, f.In(L"Language")), old(deeper, f.In(L"Lang\\Old"));
    ASSERT_TRUE(language.Planted());
    ASSERT_TRUE(old.Planted());
    ASSERT_TRUE(IsReparseAttr(GetFileAttributesW(f.In(L"Lang\\Old").c_str())));
    bool restart = false;
    // Entries below the links come after, between and before entries of the real folders.
    EXPECT_EQ(2u, f.Passes("Lang\\de.lng\nLanguage\\x.lng\nLang\\New\\z.lng\nLang\\Old\\y.lng\n"
                           "Lang\\New\\w.lng\nLanguage/x.lng\nLang/Old/y.lng\n",
                           &restart));
    EXPECT_EQ("keep", bench::ReadFileBytes(outside + L"\\x.lng"));
    EXPECT_EQ("keep", bench::ReadFileBytes(deeper + L"\\y.lng"));
    for (const wchar_t* gone : {L"Lang\\de.lng", L"Lang\\New\\z.lng", L"Lang\\New\\w.lng"}) EXPECT_FALSE(f.Has(gone)) << gone;
    EXPECT_FALSE(restart);
}
