// The pure parts of the uninstall driver: reading and checking Uninstall.lst, the deletion
// passes on a scratch folder, and the text of the batch file.
#include "uninstall/uninstall.h"

#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Every line of a list file as ReadListLine and TrimListEntry see it: "" for a skipped line,
// "<empty>" for a line that trims to nothing.
std::vector<std::string> ReadAll(const std::wstring& path) {
    std::vector<std::string> lines;
    FILE* list = _wfopen(path.c_str(), L"rb");
    if (list == nullptr) return lines;
    char line[kPathChars];
    ListLine kind;
    while ((kind = ReadListLine(list, line, CountOf(line))) != ListLine::End) {
        if (kind == ListLine::Skipped) lines.push_back("");
        else lines.push_back(TrimListEntry(line) ? line : "<empty>");
    }
    fclose(list);
    return lines;
}

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

TEST(ListEntries, OnlyPathsInsideTheFolderAreSafe) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"Ombrix.exe", true},
        {L"Formats\\zst.fmt", true},
        {L"Formats/zst.fmt", true},
        {L" leading blank.txt", true},
        {L"a..b\\c...d.txt", true},
        {L"sub\\", true},
        {L"console.txt", true},
        {L"COM10", true},
        {L"..\\outside", false},
        {L"..", false},
        {L"sub\\..\\..\\outside", false},
        {L"sub/../../outside", false},
        {L"sub\\.. \\x", false},
        {L"...\\x", false},
        {L".", false},
        {L"\\x", false},
        {L"/x", false},
        {L"\\\\server\\x", false},
        {L"\\\\?\\C:\\x", false},
        {L"\\\\.\\PhysicalDrive0", false},
        {L"C:\\x", false},
        {L"C:x", false},
        {L"a:b", false},
        {L"file.txt::$DATA", false},
        {L"NUL", false},
        {L"sub\\con.txt", false},
        {L"aux .log", false},
        {L"LPT1", false},
        {L"com3.dat", false},
        {L"CONOUT$", false},
        {L"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, IsSafeListEntry(c.first)) << c.first;
}

TEST(ListEntries, EntryPathIsFolderPlusConvertedEntryOrNothing) {
    wchar_t path[kPathChars];
    ASSERT_TRUE(MakeEntryPath(L"C:\\Prog\\", "Formats\\zst.fmt", path, CountOf(path)));
    EXPECT_STREQ(L"C:\\Prog\\Formats\\zst.fmt", path);
    if (GetACP() == 1252) {
        ASSERT_TRUE(MakeEntryPath(L"C:\\Prog\\", "caf\xE9.txt", path, CountOf(path)));
        EXPECT_STREQ(L"C:\\Prog\\caf\u00e9.txt", path);
    }
    for (const char* hostile : {"..\\outside", "C:\\x", "\\x", "\\\\server\\x", "a:b"}) {
        EXPECT_FALSE(MakeEntryPath(L"C:\\Prog\\", hostile, path, CountOf(path))) << hostile;
    }
    // A path that would be cut names some other file: it is not made at all.
    std::string longEntry(2040, 'x');
    EXPECT_FALSE(MakeEntryPath(L"C:\\Prog\\", longEntry.c_str(), path, CountOf(path)));
    wchar_t small[16];
    EXPECT_TRUE(MakeEntryPath(L"C:\\Prog\\", "abcdefg", small, CountOf(small)));
    EXPECT_FALSE(MakeEntryPath(L"C:\\Prog\\", "abcdefgh", small, CountOf(small)));
}

TEST(ListEntries, ProgramFolderKeepsOnlyARootsBackslash) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Program Files\\Ombrix\\Uninstall.exe", L"C:\\Program Files\\Ombrix"},
        {L"C:\\Uninstall.exe", L"C:\\"},
        {L"\\\\server\\share\\Uninstall.exe", L"\\\\server\\share"},
        {L"Uninstall.exe", nullptr},
        {L"C:/dir/Uninstall.exe", nullptr},
    };
    for (const auto& c : cases) {
        wchar_t folder[kPathChars];
        bool made = ProgramFolderOf(c.first, folder, CountOf(folder));
        EXPECT_EQ(c.second != nullptr, made) << c.first;
        if (made && c.second != nullptr) {
            EXPECT_STREQ(c.second, folder) << c.first;
        }
    }
}

TEST(ListLines, LineEndsBlanksAndOverlongLines) {
    std::wstring folder = bench::ScratchFolder(L"list-lines");
    std::string text = "plain\r\ntrailing \t \r\n\r\n  leading\n\n";
    text += std::string(2046, 'a') + "\n";          // fits: 2046 bytes
    text += std::string(2047, 'b') + "\n";          // one byte too many: skipped whole
    text += std::string(2047, 'c') + "victim.txt\r\n";  // its tail is never an entry of its own
    text += std::string("bad\0name", 8) + "\n";    // a NUL byte marks a damaged line
    text += "last without end";
    bench::WriteFileBytes(folder + L"\\l.lst", text);
    std::vector<std::string> expected = {"plain", "trailing", "<empty>", "  leading", "<empty>",
                                         std::string(2046, 'a'), "", "", "", "last without end"};
    EXPECT_EQ(expected, ReadAll(folder + L"\\l.lst"));

    // A line of exactly 2046 bytes plus CR is 2047 bytes before its line feed: too long.
    bench::WriteFileBytes(folder + L"\\l.lst", std::string(2046, 'd') + "\r\nnext\r\n");
    EXPECT_EQ((std::vector<std::string>{"", "next"}), ReadAll(folder + L"\\l.lst"));

    bench::WriteFileBytes(folder + L"\\l.lst", "");
    EXPECT_TRUE(ReadAll(folder + L"\\l.lst").empty());
    bench::RemoveTree(folder);
}

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

TEST(BatchText, OemBytesDoubledPercentAndRefusals) {
    struct Case {
        const wchar_t* text;
        UINT codePage;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {L"C:\\Program Files\\Ombrix\\Uninstall.exe", 437, "C:\\Program Files\\Ombrix\\Uninstall.exe"},
        {L"C:\\100%\\a%b%", 437, "C:\\100%%\\a%%b%%"},
        {L"C:\\x & y ^ (z)!", 437, "C:\\x & y ^ (z)!"},
        {L"C:\\\u00dc\u00e9", 437, "C:\\\x9A\x82"},
        {L"C:\\\u00dc\u00e9", 850, "C:\\\x9A\x82"},
        {L"C:\\\u00dc\u00e9", 1252, "C:\\\xDC\xE9"},
        {L"C:\\\u4e2d", 437, nullptr},
        {L"C:\\\u4e2d", 65001, "C:\\\xE4\xB8\xAD"},
        {L"C:\\\u0101", 1252, nullptr},  // would be written as a look-alike "a"
        {L"C:\\\u221e", 437, "C:\\\xEC"},  // in the OEM page, not in the ANSI one
        {L"C:\\\u221e", 1252, nullptr},
        {L"C:\\a\"b", 437, nullptr},
        {L"C:\\a\r\nb", 437, nullptr},
        {L"C:\\a\tb", 437, nullptr},
        {L"", 437, nullptr},
    };
    for (const auto& c : cases) {
        char out[kBatchNameBytes];
        bool ok = EncodeBatchText(c.text, c.codePage, out, CountOf(out));
        EXPECT_EQ(c.expected != nullptr, ok) << c.text << " in " << c.codePage;
        EXPECT_EQ(c.expected != nullptr ? c.expected : "", std::string(out)) << c.text << " in " << c.codePage;
    }
    char tiny[4];
    EXPECT_FALSE(EncodeBatchText(L"C:\\abc", 437, tiny, CountOf(tiny)));
}

TEST(BatchText, PathFallsBackToItsShortForm) {
    std::wstring root = bench::ScratchFolder(L"batch-short");
    std::wstring folder = root + L"\\Ombrix-\u00dc\u00e9\u4e2d";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    char out[kBatchNameBytes];
    wchar_t shortForm[kPathChars];
    DWORD n = GetShortPathNameW(folder.c_str(), shortForm, CountOf(shortForm));
    ASSERT_GT(n, 0u);
    std::string expected;
    for (const wchar_t* p = shortForm; *p != 0; ++p) {
        ASSERT_LT(*p, 0x80) << "the short form should be plain ASCII";
        expected += (char)*p;
    }
    EXPECT_TRUE(EncodeBatchPath(folder.c_str(), 437, out, CountOf(out)));
    EXPECT_EQ(expected, std::string(out));
    // A path that can be written is written as it is, not as its short form.
    std::wstring plain = root + L"\\Ombrix-\u00dc\u00e9";
    ASSERT_TRUE(CreateDirectoryW(plain.c_str(), nullptr));
    EXPECT_TRUE(EncodeBatchPath(plain.c_str(), 437, out, CountOf(out)));
    EXPECT_EQ(std::string::npos, std::string(out).find('~'));
    // Nothing on disk and nothing writable: no text at all.
    EXPECT_FALSE(EncodeBatchPath((root + L"\\missing-\u4e2d").c_str(), 437, out, CountOf(out)));
    EXPECT_STREQ("", out);
    bench::RemoveTree(root);
}

TEST(BatchText, LinesInOrderAndLeftOutForUnwritablePaths) {
    std::wstring folder = bench::ScratchFolder(L"batch-lines");
    std::wstring file = folder + L"\\b.bat";
    auto write = [&](const char* program, const char* dir, const char* batch, bool silent) {
        BatchNames names;
        CopyStringA(names.program, program, CountOf(names.program));
        CopyStringA(names.folder, dir, CountOf(names.folder));
        CopyStringA(names.batch, batch, CountOf(names.batch));
        FILE* stream = _wfopen(file.c_str(), L"wb");
        bool ok = stream != nullptr && WriteBatchLines(stream, names, silent);
        if (stream != nullptr) fclose(stream);
        EXPECT_TRUE(ok);
        return bench::ReadFileBytes(file);
    };
    std::string group = "del \"C:\\P\\U.exe\"\r\nrd \"C:\\P\"\r\nif not exist \"C:\\P\\U.exe\" goto done\r\n";
    std::string groups;
    for (int i = 0; i < 5; ++i) groups += group;
    std::string head = "\"C:\\P\\U.exe\" /wait\r\n" + groups + ":done\r\n";
    std::string warning = "if exist \"C:\\P\\U.exe\" \"C:\\P\\U.exe\" /warning\r\n";
    std::string tail = "del \"C:\\T\\Uninstall_Kva.Bat\"\r\n";

    EXPECT_EQ(head + warning + tail, write("C:\\P\\U.exe", "C:\\P", "C:\\T\\Uninstall_Kva.Bat", false));
    EXPECT_EQ(head + tail, write("C:\\P\\U.exe", "C:\\P", "C:\\T\\Uninstall_Kva.Bat", true));
    // No program name: no wait, no deletion, no test and no warning that could name another file.
    std::string folderOnly;
    for (int i = 0; i < 5; ++i) folderOnly += "rd \"C:\\P\"\r\n";
    EXPECT_EQ(folderOnly + ":done\r\n" + tail, write("", "C:\\P", "C:\\T\\Uninstall_Kva.Bat", false));
    std::string programOnly = "\"C:\\P\\U.exe\" /wait\r\n";
    for (int i = 0; i < 5; ++i) programOnly += "del \"C:\\P\\U.exe\"\r\nif not exist \"C:\\P\\U.exe\" goto done\r\n";
    EXPECT_EQ(programOnly + ":done\r\n" + warning, write("C:\\P\\U.exe", "", "", false));
    bench::RemoveTree(folder);
}

TEST(BatchText, FileThatCannotBeWrittenWholeIsDeleted) {
    std::wstring folder = bench::ScratchFolder(L"batch-finish");
    std::wstring file = folder + L"\\Uninstall_Kva.Bat";
    BatchNames names;
    CopyStringA(names.program, "C:\\P\\U.exe", CountOf(names.program));
    CopyStringA(names.folder, "C:\\P", CountOf(names.folder));
    CopyStringA(names.batch, "C:\\T\\Uninstall_Kva.Bat", CountOf(names.batch));
    // A stream that takes no writes stands for a full or failing disk.
    struct Case {
        const wchar_t* mode;
        bool whole;
    } cases[] = {{L"wb", true}, {L"rb", false}, {L"ab", true}};
    for (const Case& c : cases) {
        ASSERT_TRUE(bench::WriteFileBytes(file, "")) << c.mode;
        FILE* stream = _wfopen(file.c_str(), c.mode);
        ASSERT_NE(nullptr, stream) << c.mode;
        EXPECT_EQ(c.whole, FinishBatchFile(stream, file.c_str(), names, false)) << c.mode;
        EXPECT_EQ(c.whole, bench::PathExists(file)) << c.mode;
        if (c.whole) {
            EXPECT_EQ(0u, bench::ReadFileBytes(file).find("\"C:\\P\\U.exe\" /wait\r\n")) << c.mode;
        }
    }
    bench::RemoveTree(folder);
}
