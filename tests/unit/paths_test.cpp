// Path text, the long-path form, the file-system calls, links and the folder-tree deletion on real files.
#include "platform/platform.h"
#include "tests/bench/bench.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

std::wstring Buf(const wchar_t* text) { return std::wstring(text); }

// What an operation leaves in a buffer of 32 characters that holds start, every character after
// it marked: the text, with " [wrote past its room]" added when a mark at or past room (or past
// start's terminator) was overwritten.
template <typename Operation>
std::wstring Leaves(const wchar_t* start, size_t room, Operation operation) {
    wchar_t buf[32];
    for (auto& ch : buf) ch = L'#';
    CopyString(buf, start, CountOf(buf));
    operation(buf);
    std::wstring text(buf, std::find(buf, buf + CountOf(buf), L'\0'));
    for (size_t i = std::max(room, wcslen(start) + 1); i < CountOf(buf); ++i) {
        if (buf[i] != L'#') return text + L" [wrote past its room]";
    }
    return text;
}

std::wstring TempPath() {
    wchar_t temp[kPathChars];
    GetTempPathW(CountOf(temp), temp);
    return temp;
}

std::wstring CurrentDirectory() {
    wchar_t current[kPathChars];
    GetCurrentDirectoryW(CountOf(current), current);
    return current;
}

std::wstring LongForm(const std::wstring& path) {
    return path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
}

void WriteFileText(const std::wstring& path, const char* text) {
    HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    WriteFile(file, text, (DWORD)strlen(text), &written, nullptr);
    CloseHandle(file);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(LongForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Cleaning up never depends on the code under test; the bench reaches any depth.
void RemoveTree(const std::wstring& path) { bench::RemoveTree(path); }

// The whole program runs in a sentinel folder of its own: a deletion that strayed to the
// current directory would take the sentinel's file, never the checkout the tests start in.
class SentinelDirectory : public testing::Environment {
public:
    void SetUp() override {
        saved_ = CurrentDirectory();
        folder_ = TempPath() + L"ombrix-paths-sentinel-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        ASSERT_TRUE(bench::WriteFileBytes(File(), "sentinel"));
        ASSERT_TRUE(SetCurrentDirectoryW(folder_.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryW(saved_.c_str());
        RemoveTree(folder_);
    }
    static std::wstring Folder() { return folder_; }
    static std::wstring File() { return folder_ + L"\\sentinel.txt"; }

private:
    std::wstring saved_;
    static std::wstring folder_;
};
std::wstring SentinelDirectory::folder_;
testing::Environment* const g_sentinel = testing::AddGlobalTestEnvironment(new SentinelDirectory);

// Sets an environment variable for one scope.
class EnvironmentScope {
public:
    EnvironmentScope(const wchar_t* name, const std::wstring& value) : name_(name) {
        wchar_t old[kPathChars];
        DWORD n = GetEnvironmentVariableW(name, old, CountOf(old));
        had_ = n != 0 && n < CountOf(old);
        if (had_) old_ = old;
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~EnvironmentScope() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    bool had_ = false;
    std::wstring old_;
};

// A scratch folder in the temporary folder, removed with everything in it.
class ScratchTest : public testing::Test {
protected:
    void SetUp() override {
        scratch_ = TempPath() + L"ombrix-paths-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(scratch_);
        ASSERT_TRUE(CreateDirectoryW(scratch_.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(scratch_); }
    std::wstring Path(const wchar_t* name) const { return scratch_ + L"\\" + name; }
    std::wstring MakeFolder(const wchar_t* name) const {
        std::wstring path = Path(name);
        CreateDirectoryW(LongForm(path).c_str(), nullptr);
        return path;
    }

    std::wstring scratch_;
};

// Sets the current directory for one scope.
class CurrentDirectoryScope {
public:
    explicit CurrentDirectoryScope(const std::wstring& folder) : saved_(CurrentDirectory()) {
        SetCurrentDirectoryW(folder.c_str());
    }
    ~CurrentDirectoryScope() { SetCurrentDirectoryW(saved_.c_str()); }

private:
    std::wstring saved_;
};

}  // namespace

TEST(PathTests, SeparatorsDrivesAbsoluteAndWildcards) {
    EXPECT_TRUE(IsPathSeparator(L'\\'));
    EXPECT_TRUE(IsPathSeparator(L'/'));
    EXPECT_FALSE(IsPathSeparator(L':'));
    EXPECT_FALSE(IsPathSeparator(0));

    struct Case {
        const wchar_t* path;
        bool drive, absolute, wildcards;
    } cases[] = {
        {L"C:", true, false, false},
        {L"c:\\x", true, true, false},
        {L"z:/x", true, true, false},
        {L"C:x", true, false, false},
        {L"1:\\x", false, false, false},
        {L"\x00E9:\\x", false, false, false},
        {L"C", false, false, false},
        {L"", false, false, false},
        {L"\\\\server\\share", false, true, false},
        {L"//server/share", false, false, false},
        {L"\\x", false, false, false},
        {L"dir\\x", false, false, false},
        {L"C:\\dir\\*.txt", true, true, true},
        {L"a?b", false, false, true},
        {L"\\\\?\\C:\\x", false, true, false},
        {L"\\\\?\\C:\\*", false, true, true},
        {L"\\\\?\\C:\\a?", false, true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.drive, IsDriveLetter(c.path)) << c.path;
        EXPECT_EQ(c.absolute, IsAbsolutePath(c.path)) << c.path;
        EXPECT_EQ(c.wildcards, HasWildcards(c.path)) << c.path;
    }
}

TEST(PathTests, AddTrailingBackslash) {
    struct Case {
        const wchar_t* path;
        size_t size;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\dir", 16, L"C:\\dir\\"}, {L"C:\\dir\\", 16, L"C:\\dir\\"}, {L"", 16, L""},
        {L"a/", 16, L"a/\\"},           {L"abc", 5, L"abc\\"},            {L"abcd", 5, L"abcd"},
        {L"C:", 16, L"C:\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Leaves(c.path, c.size, [&](wchar_t* buf) { AddTrailingBackslash(buf, c.size); }))
            << c.path << L" in " << c.size;
    }
}

TEST(PathTests, JoinPathAndJoinWhole) {
    // JoinWhole joins only where the whole fits, separator counted; JoinPath cuts.
    struct Case {
        const wchar_t* folder;
        const wchar_t* name;
        size_t size;
        const wchar_t* expected;
        bool whole;
    } cases[] = {
        {L"C:", L"a", 32, L"C:a", true},             {L"C:\\", L"a", 32, L"C:\\a", true},
        {L"", L"a", 32, L"a", true},                 {L"dir", L"a", 32, L"dir\\a", true},
        {L"dir\\", L"a", 32, L"dir\\a", true},       {L"dir/", L"a", 32, L"dir/\\a", true},
        {L"C:\\x", L"", 32, L"C:\\x\\", true},       {L"dir", L"abc", 6, L"dir\\a", false},
        {L"dir", L"abc", 7, L"dir\\ab", false},      {L"dir", L"ab", 7, L"dir\\ab", true},
        {L"folder", L"name", 4, L"fol", false},      {L"\\\\srv\\share", L"f", 32, L"\\\\srv\\share\\f", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Leaves(L"", c.size, [&](wchar_t* out) { JoinPath(c.folder, c.name, out, c.size); }))
            << c.folder << L" + " << c.name;
        bool joined = false;
        std::wstring whole = Leaves(L"", c.whole ? c.size : 0,
                                    [&](wchar_t* out) { joined = JoinWhole(c.folder, c.name, out, c.size); });
        EXPECT_EQ(c.whole, joined) << c.folder << L" + " << c.name;
        EXPECT_EQ(c.whole ? c.expected : L"", whole) << c.folder << L" + " << c.name;
    }
    // The folder may be the output buffer.
    wchar_t same[32] = L"C:\\dir";
    JoinPath(same, L"file.txt", same, CountOf(same));
    EXPECT_STREQ(L"C:\\dir\\file.txt", same);
    EXPECT_TRUE(JoinWhole(same, L"x", same, CountOf(same)));
    EXPECT_STREQ(L"C:\\dir\\file.txt\\x", same);
}

TEST(PathTests, NamePartCutNamePartAndLastChar) {
    struct Case {
        const wchar_t* path;
        const wchar_t* name;
        const wchar_t* cut;
    } cases[] = {
        {L"C:a", L"a", L"C:"},
        {L"C:file", L"file", L"C:"},
        {L"x:y", L"y", L"x:"},
        {L"a/b", L"b", L"a"},
        {L"a\\file", L"file", L"a"},
        {L"a\\b/c", L"c", L"a\\b"},
        {L"\\\\server", L"server", L"\\"},
        {L"\\\\srv\\share", L"share", L"\\\\srv"},
        {L"\\file", L"file", L"\\"},
        {L"", L"", L""},
        {L"file", L"file", L""},
        {L"C:\\", L"", L"C:\\"},
        {L"C:\\file", L"file", L"C:\\"},
        {L"C:\\dir\\", L"", L"C:\\dir"},
        {L"C:\\dir\\file", L"file", L"C:\\dir"},
        {L"C:\\d\\f.txt", L"f.txt", L"C:\\d"},
        {L"C:/d/f", L"f", L"C:/d"},
    };
    for (const auto& c : cases) {
        const wchar_t* name = NamePart(c.path);
        EXPECT_STREQ(c.name, name) << c.path;
        EXPECT_TRUE(name >= c.path && name <= c.path + wcslen(c.path)) << c.path;
        EXPECT_EQ(c.cut, Leaves(c.path, 0, CutNamePart)) << c.path;
    }
    wchar_t writable[] = L"C:\\dir\\file";
    EXPECT_EQ(writable + 7, NamePart(writable));

    const wchar_t* text = L"abc";
    EXPECT_EQ(text + 2, LastChar(text));
    const wchar_t* empty = L"";
    EXPECT_EQ(empty, LastChar(empty));
}

TEST(PathTests, ReplaceNamePartAndFolderPart) {
    struct Case {
        const wchar_t* path;
        const wchar_t* name;
        size_t size;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\dir\\old.txt", L"new.dat", 32, L"C:\\dir\\new.dat"},
        {L"C:\\d\\old", L"abcdef", 8, L"C:\\d\\ab"},
        {L"C:old", L"x", 32, L"C:x"},
        {L"old", L"new", 32, L"new"},
        {L"C:\\dir\\", L"f", 32, L"C:\\dir\\f"},
        {L"C:\\dir\\x", L"y", 3, L"C:\\dir\\x"},  // no room after the folder: unchanged
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Leaves(c.path, c.size, [&](wchar_t* buf) { ReplaceNamePart(buf, c.name, c.size); }))
            << c.path;
    }

    struct FolderCase {
        const wchar_t* path;
        size_t size;
        const wchar_t* expected;
    } folders[] = {
        {L"C:\\dir\\file", 32, L"C:\\dir\\"}, {L"file", 32, L""}, {L"C:file", 32, L"C:"},
        {L"C:\\dir\\file", 4, L"C:\\"},       {L"a/b/c", 32, L"a/b/"},
    };
    for (const auto& c : folders) {
        EXPECT_EQ(c.expected, Leaves(L"", c.size, [&](wchar_t* out) { FolderPart(c.path, out, c.size); })) << c.path;
    }
}

TEST(ProgramPaths, FolderKeepsOnlyARootsBackslash) {
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

TEST(ProgramPaths, ThisProgramsPathAndFolderWholeOrNotAtAll) {
    wchar_t self[kPathChars], out[kPathChars];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, CountOf(self)), 0u);
    EXPECT_TRUE(ProgramPath(out, CountOf(out)));
    EXPECT_STREQ(self, out);
    EXPECT_TRUE(ProgramFolder(out, CountOf(out)));
    EXPECT_EQ(std::wstring(self, wcsrchr(self, L'\\')), Buf(out));
    wchar_t small[4] = L"###";
    EXPECT_FALSE(ProgramPath(small, CountOf(small)));
    EXPECT_STREQ(L"", small);
    wcscpy(small, L"###");
    EXPECT_FALSE(ProgramFolder(small, CountOf(small)));
    EXPECT_STREQ(L"", small);
}

TEST(LongPath, AbsoluteFormsAndExactSizes) {
    wchar_t out[64];
    EXPECT_TRUE(MakeLongPath(L"C:\\x", out, 9));
    EXPECT_STREQ(L"\\\\?\\C:\\x", out);
    wcscpy(out, L"untouched");
    EXPECT_FALSE(MakeLongPath(L"C:\\x", out, 8));
    EXPECT_STREQ(L"untouched", out);

    EXPECT_TRUE(MakeLongPath(L"\\\\server\\share\\x", out, 23));
    EXPECT_STREQ(L"\\\\?\\UNC\\server\\share\\x", out);
    wcscpy(out, L"untouched");
    EXPECT_FALSE(MakeLongPath(L"\\\\server\\share\\x", out, 22));
    EXPECT_STREQ(L"untouched", out);

    EXPECT_FALSE(MakeLongPath(L"", out, CountOf(out)));
}

TEST_F(ScratchTest, LongPathOfRootedAndRelativeFormsUsesCurrentDirectory) {
    std::wstring work = MakeFolder(L"w");
    CurrentDirectoryScope scope(work);
    std::wstring current = CurrentDirectory();  // as the system spells it
    ASSERT_TRUE(IsDriveLetter(current.c_str()));
    std::wstring withSlash = current + L"\\";
    std::wstring drive = current.substr(0, 2);
    size_t l = withSlash.size();

    struct Case {
        const wchar_t* path;
        std::wstring expected;
        size_t smallestSize;
    } cases[] = {
        {L".\\a", L"\\\\?\\" + withSlash + L"a", 3 + 4 + l + 1},
        {L"./a", L"\\\\?\\" + withSlash + L"a", 3 + 4 + l + 1},
        {L"a", L"\\\\?\\" + withSlash + L"a", 1 + 4 + l + 1},
        {L"sub\\b.txt", L"\\\\?\\" + withSlash + L"sub\\b.txt", 9 + 4 + l + 1},
        {L"..\\a", L"\\\\?\\" + withSlash + L"..\\a", 4 + 4 + l + 1},
        {L"\\a", L"\\\\?\\" + drive + L"\\a", 9},
        {L"/a", L"\\\\?\\" + drive + L"/a", 9},
    };
    for (const auto& c : cases) {
        std::vector<wchar_t> out(c.smallestSize + 8, L'#');
        EXPECT_TRUE(MakeLongPath(c.path, out.data(), c.smallestSize)) << c.path;
        EXPECT_EQ(c.expected, std::wstring(out.data())) << c.path;
        std::vector<wchar_t> small(c.smallestSize + 8, L'#');
        EXPECT_FALSE(MakeLongPath(c.path, small.data(), c.smallestSize - 1)) << c.path;
        EXPECT_EQ(L'#', small[0]) << c.path;
    }
}

TEST_F(ScratchTest, AttributesExistenceAndRemoval) {
    std::wstring file = Path(L"file.txt");
    WriteFileText(file, "abc");
    std::wstring folder = MakeFolder(L"folder");
    EXPECT_TRUE(PathExists(file.c_str()));
    EXPECT_TRUE(PathExists(folder.c_str()));
    EXPECT_FALSE(PathExists(Path(L"missing").c_str()));
    EXPECT_FALSE(PathExists(L""));
    EXPECT_TRUE(IsFolderAttr(GetPathAttributes(folder.c_str())));
    EXPECT_FALSE(IsFolderAttr(GetPathAttributes(file.c_str())));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetPathAttributes(Path(L"missing").c_str()));

    EXPECT_TRUE(RemoveFile(file.c_str()));
    EXPECT_FALSE(Exists(file));
    EXPECT_FALSE(RemoveFile(file.c_str()));
    EXPECT_FALSE(RemoveFile(folder.c_str()));
    EXPECT_TRUE(Exists(folder));
}

TEST_F(ScratchTest, NamesOnlyTheLongFormReachesAreRetried) {
    // A trailing dot is dropped from an ordinary path, so only the long form names this file.
    std::wstring dotted = Path(L"name.");
    WriteFileText(dotted, "x");
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dotted.c_str()));
    EXPECT_TRUE(PathExists(dotted.c_str()));
    FindData data;
    EXPECT_TRUE(FindOne(dotted.c_str(), &data));
    EXPECT_EQ(dotted, Buf(data.path));
    EXPECT_EQ(1u, data.size);
    FILE* stream = OpenStream(dotted.c_str(), L"rb");
    EXPECT_EQ('x', stream != nullptr ? fgetc(stream) : EOF);
    if (stream != nullptr) fclose(stream);
    EXPECT_TRUE(RemoveFile(dotted.c_str()));
    EXPECT_FALSE(Exists(dotted));

    // A relative name goes through the current directory.
    WriteFileText(Path(L"rel."), "x");
    CurrentDirectoryScope scope(scratch_);
    EXPECT_TRUE(PathExists(L"rel."));
    EXPECT_TRUE(RemoveFile(L".\\rel."));
    EXPECT_FALSE(Exists(Path(L"rel.")));
}

TEST(AttributeTests, FolderReparseAndClearableBits) {
    struct Case {
        DWORD attributes;
        bool folder, reparse, clearable;
    } cases[] = {
        {FILE_ATTRIBUTE_DIRECTORY, true, false, false},
        {FILE_ATTRIBUTE_NORMAL, false, false, false},
        {FILE_ATTRIBUTE_ARCHIVE, false, false, false},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, true, true, false},
        {FILE_ATTRIBUTE_REPARSE_POINT, false, true, false},
        {0x400, false, true, false},
        // These are cleared before a deletion is tried again, never on a link.
        {FILE_ATTRIBUTE_READONLY, false, false, true},
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, false, false, true},
        {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY, true, false, true},
        {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT, false, true, false},
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, true, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.folder, IsFolderAttr(c.attributes)) << std::hex << c.attributes;
        EXPECT_EQ(c.reparse, IsReparseAttr(c.attributes)) << std::hex << c.attributes;
        EXPECT_EQ(c.clearable, MayClearAttributes(c.attributes)) << std::hex << c.attributes;
    }
    // Attributes that could not be read may be a link's.
    EXPECT_FALSE(IsFolderAttr(INVALID_FILE_ATTRIBUTES));
    EXPECT_FALSE(MayClearAttributes(INVALID_FILE_ATTRIBUTES));
}

namespace {

// The folders of a made-up program folder and their attributes; others are missing.
const std::pair<const wchar_t*, DWORD> kLinkTree[] = {
    {L"C:\\P\\Formats", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},
    {L"C:\\P\\Lang", FILE_ATTRIBUTE_DIRECTORY},
    {L"C:\\P\\Lang\\Old", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},
    {L"C:\\P\\Lang\\New", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY},
    {L"C:\\P\\Shared", FILE_ATTRIBUTE_REPARSE_POINT},
    {L"C:\\P\\Locked", INVALID_FILE_ATTRIBUTES},
};

DWORD LinkTreeAttributes(const wchar_t* path) {
    for (const auto& folder : kLinkTree) {
        if (wcscmp(folder.first, path) == 0) return folder.second;
    }
    return INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(Links, PathsBelowALinkAreFlaggedAndALinkItselfIsNot) {
    struct Case {
        const wchar_t* path;
        bool flagged;
    } cases[] = {
        {L"C:\\P\\Formats", false},  // the link itself: removed as a link
        {L"C:\\P\\Formats\\x.dll", true},
        {L"C:\\P\\Formats/x.dll", true},
        {L"C:\\P\\Formats\\\\x.dll", true},
        {L"C:\\P\\Formats\\deep\\x.dll", true},
        {L"C:\\P\\Lang\\de.lng", false},
        {L"C:\\P\\Lang\\Old", false},
        {L"C:\\P\\Lang\\Old\\de.lng", true},
        {L"C:\\P\\Lang/Old/de.lng", true},
        {L"C:\\P\\Lang\\New\\de.lng", false},
        {L"C:\\P\\Shared\\x.dll", true},  // a file link standing where a folder is named
        {L"C:\\P\\Locked\\x.dll", true},  // unreadable: it may be a link
        {L"C:\\P\\Missing\\x.dll", true},
        {L"C:\\P\\ReadMe.txt", false},
        {L"C:\\Q\\Lang\\de.lng", true},  // not below the base folder at all
    };
    for (const Case& c : cases) EXPECT_EQ(c.flagged, PassesThroughLink(L"C:\\P\\", c.path, LinkTreeAttributes)) << c.path;
}

TEST_F(ScratchTest, FreeSpace) {
    std::wstring file = Path(L"f.bin");
    WriteFileText(file, "x");
    EXPECT_GT(GetFreeSpace(file.c_str()), 0u);
    EXPECT_GT(GetFreeSpace((scratch_ + L"\\").c_str()), 0u);
    {
        CurrentDirectoryScope scope(scratch_);
        EXPECT_GT(GetFreeSpace(L"f.bin"), 0u);  // no folder part: the current volume
    }
    EXPECT_EQ(0u, GetFreeSpace(Path(L"no-such-folder\\f.bin").c_str()));
}

TEST_F(ScratchTest, OpenStreamTakesWidePaths) {
    std::wstring path = Path(L"\x0434\x0430\x043D\x043D\x044B\x0435 \x4E2D.bin");
    FILE* out = OpenStream(path.c_str(), L"wb");
    ASSERT_NE(nullptr, out);
    const char bytes[] = {'a', '\r', '\n', 0, 'z'};
    EXPECT_EQ(sizeof(bytes), fwrite(bytes, 1, sizeof(bytes), out));
    fclose(out);
    EXPECT_TRUE(Exists(path));

    FILE* in = OpenStream(path.c_str(), L"rb");
    ASSERT_NE(nullptr, in);
    char back[16] = {};
    EXPECT_EQ(sizeof(bytes), fread(back, 1, sizeof(back), in));
    fclose(in);
    EXPECT_EQ(0, memcmp(bytes, back, sizeof(bytes)));

    EXPECT_EQ(nullptr, OpenStream(Path(L"missing.bin").c_str(), L"rb"));
}

TEST_F(ScratchTest, FinderListsMatchesWithoutDotEntries) {
    WriteFileText(Path(L"a.txt"), "12345");
    WriteFileText(Path(L"b.txt"), "");
    WriteFileText(Path(L"c.dat"), "1");
    MakeFolder(L"sub");

    FileFinder finder;
    FindData data;
    EXPECT_FALSE(finder.Next(&data));  // no mask yet
    finder.SetMask((scratch_ + L"\\*").c_str());
    std::set<std::wstring> names;
    while (finder.Next(&data)) {
        std::wstring path = data.path;
        ASSERT_EQ(0u, path.find(scratch_ + L"\\")) << path;
        std::wstring name = path.substr(scratch_.size() + 1);
        EXPECT_NE(L".", name);
        EXPECT_NE(L"..", name);
        names.insert(name);
        EXPECT_EQ(name == L"sub", data.isFolder) << name;
        EXPECT_EQ(data.isFolder, (data.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) << name;
        if (name == L"a.txt") {
            EXPECT_EQ(5u, data.size);
        }
    }
    EXPECT_EQ((std::set<std::wstring>{L"a.txt", L"b.txt", L"c.dat", L"sub"}), names);
    EXPECT_FALSE(finder.Next(&data));  // stays finished

    // A new mask starts a new search.
    finder.SetMask((scratch_ + L"\\*.txt").c_str());
    names.clear();
    while (finder.Next(&data)) names.insert(NamePart(data.path));
    EXPECT_EQ((std::set<std::wstring>{L"a.txt", L"b.txt"}), names);
    finder.Close();

    // Slashes in the mask are kept; the found name replaces the mask's name part.
    std::wstring slashed = scratch_ + L"/c.*";
    finder.SetMask(slashed.c_str());
    ASSERT_TRUE(finder.Next(&data));
    EXPECT_EQ(scratch_ + L"/c.dat", Buf(data.path));
    EXPECT_FALSE(finder.Next(&data));
    finder.Close();

    finder.SetMask(Path(L"*.none").c_str());
    EXPECT_FALSE(finder.Next(&data));
    FileFinder unused;
    unused.Close();
}

TEST_F(ScratchTest, FindOneRefusesWildcards) {
    WriteFileText(Path(L"one.txt"), "123");
    std::wstring sub = MakeFolder(L"sub");
    FindData data;
    EXPECT_TRUE(FindOne(Path(L"one.txt").c_str(), &data));
    EXPECT_EQ(Path(L"one.txt"), Buf(data.path));
    EXPECT_EQ(3u, data.size);
    EXPECT_FALSE(data.isFolder);
    EXPECT_TRUE(FindOne(sub.c_str(), &data));
    EXPECT_TRUE(data.isFolder);
    EXPECT_FALSE(FindOne(Path(L"one.tx?").c_str(), &data));
    EXPECT_FALSE(FindOne(Path(L"*.txt").c_str(), &data));
    EXPECT_FALSE(FindOne(Path(L"none.txt").c_str(), &data));
    EXPECT_FALSE(FindOne(L"", &data));
}

TEST_F(ScratchTest, DeleteFolderTreeRemovesTreesBeyondTheShortPathLimit) {
    // The first path longer than 260 characters lies at the given depth below the tree; with a
    // long temporary folder even the tree's own path is longer.
    struct Case {
        const wchar_t* label;
        size_t baseLength;  // of the temporary folder that holds the tree; 0: the scratch folder
        int crossingDepth;  // 0: the tree's own path crosses
    } cases[] = {
        {L"short temp, depth 1", 0, 1},
        {L"short temp, depth 2", 0, 2},
        {L"long temp, depth 1", 230, 1},
        {L"long temp, depth 2", 230, 2},
        {L"long temp, the tree itself", 280, 0},
    };
    const size_t kLimit = 260;
    for (const Case& c : cases) {
        std::wstring base = scratch_;
        if (c.baseLength > 0) {
            base += L"\\" + std::wstring(c.baseLength - scratch_.size() - 1, L't');
            CreateDirectoryW(LongForm(base).c_str(), nullptr);
            ASSERT_TRUE(IsFolderAttr(GetFileAttributesW(LongForm(base).c_str()))) << c.label;
        }
        EnvironmentScope temp(L"TEMP", base);
        EnvironmentScope tmp(L"TMP", base);
        std::wstring tree = base + L"\\tree";
        std::wstring keep = base + L"\\tree-neighbour.txt";
        ASSERT_TRUE(CreateDirectoryW(LongForm(tree).c_str(), nullptr)) << c.label;
        WriteFileText(keep, "keep");
        WriteFileText(tree + L"\\top.txt", "1");
        std::wstring deepest = tree;
        for (int depth = 1; depth <= 2; ++depth) {
            // A short name until the crossing depth, then one that takes the path past the limit.
            size_t length = depth == c.crossingDepth ? kLimit + 10 - deepest.size() : 3;
            if (depth == 1 && c.crossingDepth == 2) length = kLimit - 20 - deepest.size();
            deepest += L"\\" + std::wstring(length, depth == 1 ? L'a' : L'b');
            ASSERT_TRUE(CreateDirectoryW(LongForm(deepest).c_str(), nullptr)) << c.label;
            WriteFileText(deepest + L"\\file.txt", "2");
            SetFileAttributesW(LongForm(deepest + L"\\file.txt").c_str(), FILE_ATTRIBUTE_READONLY);
            ASSERT_EQ(depth >= c.crossingDepth, deepest.size() > kLimit) << c.label << " depth " << depth;
        }
        ASSERT_EQ(c.crossingDepth == 0, tree.size() > kLimit) << c.label;

        DeleteFolderTree(tree.c_str());
        EXPECT_FALSE(Exists(tree)) << c.label;
        EXPECT_TRUE(Exists(keep)) << c.label;
        EXPECT_EQ(SentinelDirectory::Folder(), CurrentDirectory()) << c.label;
        EXPECT_EQ("sentinel", bench::ReadFileBytes(SentinelDirectory::File())) << c.label;
    }
}

TEST_F(ScratchTest, DeleteFolderTreeLeavesWhatIsNotAnAbsoluteFolder) {
    // Each argument names the folder "rel" in the current directory, or the tree only through
    // parts that the long form would take literally; none of them is deleted.
    std::wstring rel = SentinelDirectory::Folder() + L"\\rel";
    ASSERT_TRUE(CreateDirectoryW(rel.c_str(), nullptr));
    WriteFileText(rel + L"\\inside.txt", "x");
    std::wstring tree = MakeFolder(L"tree");
    WriteFileText(tree + L"\\inside.txt", "x");
    std::wstring file = Path(L"plain.txt");
    WriteFileText(file, "keep");
    std::wstring drive = SentinelDirectory::Folder().substr(0, 2);
    std::wstring underRoot = SentinelDirectory::Folder().substr(2) + L"\\rel";
    const std::wstring arguments[] = {
        L"",
        L"rel",
        L".\\rel",
        L"rel\\",
        L".",
        drive + L"rel",
        underRoot,
        tree + L"\\..\\tree",
        scratch_ + L"\\.\\tree",
        L"\\\\.\\" + tree,
        file,
        Path(L"missing"),
    };
    for (const std::wstring& argument : arguments) {
        DeleteFolderTree(argument.c_str());
        EXPECT_TRUE(Exists(rel + L"\\inside.txt")) << argument;
        EXPECT_TRUE(Exists(tree + L"\\inside.txt")) << argument;
        EXPECT_TRUE(Exists(file)) << argument;
        EXPECT_EQ("sentinel", bench::ReadFileBytes(SentinelDirectory::File())) << argument;
    }
    RemoveTree(rel);
    // The same tree named plainly, with slashes or a trailing backslash, goes.
    DeleteFolderTree((scratch_ + L"/tree/").c_str());
    EXPECT_FALSE(Exists(tree));
}

TEST(TreeSteps, LinksAreRemovedAsLinksAndNeverEntered) {
    struct Case {
        DWORD attributes;
        TreeStep step;
    } cases[] = {
        {FILE_ATTRIBUTE_DIRECTORY, TreeStep::Descend},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, TreeStep::Descend},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, TreeStep::RemoveFolderLink},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY,
         TreeStep::RemoveFolderLink},
        {FILE_ATTRIBUTE_REPARSE_POINT, TreeStep::RemoveFileLink},
        {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, TreeStep::RemoveFileLink},
        {FILE_ATTRIBUTE_NORMAL, TreeStep::DeletePlainFile},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM, TreeStep::DeletePlainFile},
        {INVALID_FILE_ATTRIBUTES, TreeStep::Leave},
    };
    for (const Case& c : cases) EXPECT_EQ((int)c.step, (int)TreeStepFor(c.attributes)) << std::hex << c.attributes;
}

TEST_F(ScratchTest, DeleteFolderTreeNeverFollowsAJunction) {
    std::wstring target = MakeFolder(L"target");
    WriteFileText(Path(L"target\\keep.txt"), "keep");
    std::wstring link = MakeFolder(L"junction");
    HANDLE handle = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    // A mount-point reparse buffer: tag, lengths, then the substitute and print names.
    std::wstring substitute = L"\\??\\" + target;
    USHORT nameBytes = (USHORT)(substitute.size() * sizeof(wchar_t));
    std::vector<BYTE> buffer(16 + nameBytes + 2 * sizeof(wchar_t), 0);
    *reinterpret_cast<DWORD*>(&buffer[0]) = IO_REPARSE_TAG_MOUNT_POINT;
    *reinterpret_cast<USHORT*>(&buffer[4]) = (USHORT)(buffer.size() - 8);
    USHORT* offsets = reinterpret_cast<USHORT*>(&buffer[8]);
    offsets[0] = 0;
    offsets[1] = nameBytes;
    offsets[2] = nameBytes + sizeof(wchar_t);
    offsets[3] = 0;
    memcpy(&buffer[16], substitute.c_str(), nameBytes);
    DWORD returned = 0;
    BOOL made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), (DWORD)buffer.size(),
                                nullptr, 0, &returned, nullptr);
    CloseHandle(handle);
    if (!made) GTEST_SKIP() << "this file system makes no junctions (error " << GetLastError() << ")";
    ASSERT_TRUE(IsReparseAttr(GetFileAttributesW(link.c_str())));
    DeleteFolderTree(link.c_str());
    EXPECT_TRUE(Exists(Path(L"target\\keep.txt")));
    EXPECT_TRUE(Exists(link));
    RemoveDirectoryW(link.c_str());
}

TEST_F(ScratchTest, DeleteFolderTreeLeavesAPathTooLongToPass) {
    // A folder whose path is cut at the buffer's end would name another folder, here "cut".
    std::wstring deep = LongForm(scratch_);
    while (deep.size() < 1600) {
        deep += L"\\" + std::wstring(200, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    deep += L"\\" + std::wstring(1819 - deep.size(), L'e');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    ASSERT_EQ(1820u, deep.size());
    std::wstring cut = deep + L"\\" + std::wstring(kPathChars - 1 - 1821, L'k');
    std::wstring longer = cut + std::wstring(10, L'k');
    ASSERT_EQ(kPathChars - 1, cut.size());
    ASSERT_TRUE(CreateDirectoryW(cut.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(longer.c_str(), nullptr));
    DeleteFolderTree(longer.c_str());
    EXPECT_TRUE(Exists(cut));
    EXPECT_TRUE(Exists(longer));
}

TEST_F(ScratchTest, SystemLibraryComesFromTheSystemFolderOnly) {
    wchar_t system[kPathChars];
    GetSystemDirectoryW(system, CountOf(system));
    std::wstring systemCopy = std::wstring(system) + L"\\riched20.dll";
    HMODULE richEdit = LoadSystemLibrary(L"riched20.dll");
    ASSERT_NE(nullptr, richEdit);
    wchar_t loaded[kPathChars];
    GetModuleFileNameW(richEdit, loaded, CountOf(loaded));
    EXPECT_EQ(0, CompareNoCase(systemCopy.c_str(), loaded)) << loaded;
    FreeLibrary(richEdit);

    EXPECT_EQ(nullptr, LoadSystemLibrary(L"ombrix-no-such-library.dll"));

    // A library that only the search path would find is not loaded.
    ASSERT_TRUE(CopyFileW(systemCopy.c_str(), Path(L"ombrix-local.dll").c_str(), FALSE));
    CurrentDirectoryScope scope(scratch_);
    EXPECT_EQ(nullptr, LoadSystemLibrary(L"ombrix-local.dll"));
}
