// Path strings, the long-path form and the file-system helpers on real files and registry values.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <winioctl.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

const wchar_t kPathsKey[] = L"Software\\Ombrix\\Paths";

std::wstring Buf(const wchar_t* text) { return std::wstring(text); }

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

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

std::wstring ProgramFolder() {
    wchar_t program[kPathChars];
    GetModuleFileNameW(nullptr, program, CountOf(program));
    return Folder(program);
}

std::wstring ShellAppData() {
    wchar_t folder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder))) return L"";
    return folder;
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

// Removes a tree by hand, whatever its depth, so cleaning up never depends on the code under test.
void RemoveTree(const std::wstring& path) {
    std::wstring folder = LongForm(path);
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(folder.c_str());
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name != L"." && name != L"..") RemoveTree(folder + L"\\" + name);
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
    }
    RemoveDirectoryW(folder.c_str());
}

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

// Remembers one value under HKCU\Software\Ombrix\Paths and puts it back afterwards; removes
// the keys this test created.
class SavedPathValue {
public:
    explicit SavedPathValue(const wchar_t* name) : name_(name) {
        HKEY key;
        ombrixExisted_ = RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Ombrix", 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (ombrixExisted_) RegCloseKey(key);
        pathsExisted_ = RegOpenKeyExW(HKEY_CURRENT_USER, kPathsKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (!pathsExisted_) return;
        DWORD bytes = sizeof(data_);
        had_ = RegQueryValueExW(key, name_, nullptr, &type_, data_, &bytes) == ERROR_SUCCESS;
        size_ = bytes;
        RegCloseKey(key);
    }
    ~SavedPathValue() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kPathsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            if (had_) RegSetValueExW(key, name_, 0, type_, data_, size_);
            else RegDeleteValueW(key, name_);
            RegCloseKey(key);
        }
        // Only empty keys go: another writer's values stay.
        if (!pathsExisted_) RegDeleteKeyW(HKEY_CURRENT_USER, kPathsKey);
        if (!ombrixExisted_) RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Ombrix");
    }
    void Set(const std::wstring& text, DWORD type = REG_SZ) const {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kPathsKey, 0, nullptr, 0, KEY_SET_VALUE,
                                                 nullptr, &key, nullptr));
        RegSetValueExW(key, name_, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       (DWORD)((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    void Remove() const {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kPathsKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        RegDeleteValueW(key, name_);
        RegCloseKey(key);
    }

private:
    const wchar_t* name_;
    bool ombrixExisted_ = false;
    bool pathsExisted_ = false;
    bool had_ = false;
    DWORD type_ = 0;
    DWORD size_ = 0;
    BYTE data_[kPathChars * sizeof(wchar_t)];
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
        wchar_t buf[16];
        CopyString(buf, c.path, CountOf(buf));
        AddTrailingBackslash(buf, c.size);
        EXPECT_STREQ(c.expected, buf) << c.path << L" in " << c.size;
    }
}

TEST(PathTests, JoinPath) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* name;
        size_t size;
        const wchar_t* expected;
    } cases[] = {
        {L"C:", L"a", 32, L"C:a"},           {L"C:\\", L"a", 32, L"C:\\a"},
        {L"", L"a", 32, L"a"},               {L"dir", L"a", 32, L"dir\\a"},
        {L"dir\\", L"a", 32, L"dir\\a"},     {L"dir/", L"a", 32, L"dir/\\a"},
        {L"C:\\x", L"", 32, L"C:\\x\\"},     {L"dir", L"abc", 6, L"dir\\a"},
        {L"folder", L"name", 4, L"fol"},     {L"\\\\srv\\share", L"f", 32, L"\\\\srv\\share\\f"},
    };
    for (const auto& c : cases) {
        wchar_t out[32];
        for (auto& ch : out) ch = L'#';
        JoinPath(c.folder, c.name, out, c.size);
        EXPECT_STREQ(c.expected, out) << c.folder << L" + " << c.name;
        for (size_t i = c.size; i < CountOf(out); ++i) ASSERT_EQ(L'#', out[i]);
    }
    // The folder may be the output buffer.
    wchar_t same[32] = L"C:\\dir";
    JoinPath(same, L"file.txt", same, CountOf(same));
    EXPECT_STREQ(L"C:\\dir\\file.txt", same);
}

TEST(PathTests, NamePartAndLastChar) {
    struct Case {
        const wchar_t* path;
        const wchar_t* name;
    } cases[] = {
        {L"C:a", L"a"},          {L"a/b", L"b"},          {L"\\\\server", L"server"},
        {L"", L""},              {L"file", L"file"},      {L"C:\\dir\\", L""},
        {L"C:\\d\\f.txt", L"f.txt"}, {L"x:y", L"y"},      {L"a\\b/c", L"c"},
    };
    for (const auto& c : cases) {
        const wchar_t* name = NamePart(c.path);
        EXPECT_STREQ(c.name, name) << c.path;
        EXPECT_TRUE(name >= c.path && name <= c.path + wcslen(c.path)) << c.path;
    }
    wchar_t writable[] = L"C:\\dir\\file";
    EXPECT_EQ(writable + 7, NamePart(writable));

    const wchar_t* text = L"abc";
    EXPECT_EQ(text + 2, LastChar(text));
    const wchar_t* empty = L"";
    EXPECT_EQ(empty, LastChar(empty));
}

TEST(PathTests, CutNamePart) {
    struct Case {
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\dir\\file", L"C:\\dir"}, {L"C:\\file", L"C:\\"}, {L"C:file", L"C:"},
        {L"\\file", L"\\"},             {L"a\\file", L"a"},     {L"file", L""},
        {L"", L""},                     {L"C:\\", L"C:\\"},     {L"C:\\dir\\", L"C:\\dir"},
        {L"C:/d/f", L"C:/d"},           {L"\\\\srv\\share", L"\\\\srv"},
    };
    for (const auto& c : cases) {
        wchar_t buf[32];
        CopyString(buf, c.path, CountOf(buf));
        CutNamePart(buf);
        EXPECT_STREQ(c.expected, buf) << c.path;
    }
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
        wchar_t buf[32];
        for (auto& ch : buf) ch = L'#';
        CopyString(buf, c.path, CountOf(buf));
        ReplaceNamePart(buf, c.name, c.size);
        EXPECT_STREQ(c.expected, buf) << c.path;
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
        wchar_t out[32];
        for (auto& ch : out) ch = L'#';
        FolderPart(c.path, out, c.size);
        EXPECT_STREQ(c.expected, out) << c.path;
        for (size_t i = c.size; i < CountOf(out); ++i) ASSERT_EQ(L'#', out[i]);
    }
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
    EXPECT_TRUE(FileExists(file.c_str()));
    EXPECT_TRUE(FileExists(folder.c_str()));
    EXPECT_FALSE(FileExists(Path(L"missing").c_str()));
    EXPECT_FALSE(FileExists(L""));
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
    EXPECT_TRUE(FileExists(dotted.c_str()));
    FindData data;
    EXPECT_TRUE(FindOne(dotted.c_str(), &data));
    EXPECT_EQ(dotted, Buf(data.path));
    EXPECT_EQ(1u, data.size);
    EXPECT_TRUE(RemoveFile(dotted.c_str()));
    EXPECT_FALSE(Exists(dotted));

    // A relative name goes through the current directory.
    WriteFileText(Path(L"rel."), "x");
    CurrentDirectoryScope scope(scratch_);
    EXPECT_TRUE(FileExists(L"rel."));
    EXPECT_TRUE(RemoveFile(L".\\rel."));
    EXPECT_FALSE(Exists(Path(L"rel.")));
}

TEST(AttributeTests, FolderAndReparseBits) {
    struct Case {
        DWORD attributes;
        bool folder, reparse;
    } cases[] = {
        {FILE_ATTRIBUTE_DIRECTORY, true, false},
        {FILE_ATTRIBUTE_NORMAL, false, false},
        {FILE_ATTRIBUTE_ARCHIVE, false, false},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, true, true},
        {FILE_ATTRIBUTE_REPARSE_POINT, false, true},
        {0x400, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.folder, IsFolderAttr(c.attributes)) << c.attributes;
        EXPECT_EQ(c.reparse, IsReparseAttr(c.attributes)) << c.attributes;
    }
    EXPECT_FALSE(IsFolderAttr(INVALID_FILE_ATTRIBUTES));
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

TEST_F(ScratchTest, DeleteFolderTreeRemovesRealTreesOnly) {
    std::wstring file = Path(L"plain.txt");
    WriteFileText(file, "keep");
    DeleteFolderTree(file.c_str());
    EXPECT_TRUE(Exists(file));
    DeleteFolderTree(Path(L"missing").c_str());

    std::wstring tree = MakeFolder(L"tree");
    MakeFolder(L"tree\\inner");
    MakeFolder(L"tree\\inner\\deeper");
    WriteFileText(Path(L"tree\\top.txt"), "1");
    WriteFileText(Path(L"tree\\inner\\deeper\\leaf.bin"), "2");
    SetFileAttributesW(Path(L"tree\\top.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    DeleteFolderTree(tree.c_str());
    EXPECT_FALSE(Exists(tree));
    EXPECT_TRUE(Exists(file));
    EXPECT_TRUE(Exists(scratch_));
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

TEST_F(ScratchTest, SettingsFolderTakesTheConfiguredPathFirst) {
    SavedPathValue saved(L"AppData");
    std::wstring appDataOmbrix = ShellAppData() + L"\\Ombrix";
    bool hadAppDataOmbrix = Exists(appDataOmbrix);
    std::wstring fallback = hadAppDataOmbrix ? appDataOmbrix : ProgramFolder();
    wchar_t out[kPathChars];

    std::wstring configured = MakeFolder(L"settings") + L"\\";
    saved.Set(configured);
    SettingsFolder(out, CountOf(out));
    EXPECT_EQ(configured, Buf(out));  // as stored, backslash and all

    saved.Set(Path(L"settings"), REG_EXPAND_SZ);  // whatever the value's type
    SettingsFolder(out, CountOf(out));
    EXPECT_EQ(Path(L"settings"), Buf(out));

    saved.Set(Path(L"missing"));
    SettingsFolder(out, CountOf(out));
    EXPECT_EQ(fallback, Buf(out));

    saved.Set(L"");
    SettingsFolder(out, CountOf(out));
    EXPECT_EQ(fallback, Buf(out));

    saved.Remove();
    if (hadAppDataOmbrix) return;
    ASSERT_TRUE(CreateDirectoryW(appDataOmbrix.c_str(), nullptr));
    SettingsFolder(out, CountOf(out));
    RemoveDirectoryW(appDataOmbrix.c_str());
    EXPECT_EQ(appDataOmbrix, Buf(out));
}

TEST(AppData, ProductFolderInRoamingApplicationData) {
    std::wstring expected = ShellAppData() + L"\\Ombrix";
    ASSERT_NE(L"\\Ombrix", expected);
    bool existed = Exists(expected);
    wchar_t out[kPathChars];
    if (!existed) {
        EXPECT_FALSE(AppDataFolder(out, CountOf(out)));
        EXPECT_EQ(expected, Buf(out));  // the candidate, never created
        EXPECT_FALSE(Exists(expected));
        ASSERT_TRUE(CreateDirectoryW(expected.c_str(), nullptr));
    }
    bool found = AppDataFolder(out, CountOf(out));
    if (!existed) RemoveDirectoryW(expected.c_str());
    EXPECT_TRUE(found);
    EXPECT_EQ(expected, Buf(out));

    wchar_t small[8];
    for (auto& c : small) c = L'#';
    EXPECT_FALSE(AppDataFolder(small, 5));
    EXPECT_EQ(expected.substr(0, 4), Buf(small));
    EXPECT_EQ(L'#', small[5]);
}

TEST_F(ScratchTest, TempFolderHonoursAnExistingConfiguredFolder) {
    SavedPathValue saved(L"TempFolder");
    std::wstring systemTemp = TempPath();
    ASSERT_EQ(L'\\', systemTemp.back());
    wchar_t out[kPathChars];

    saved.Remove();
    GetTempFolder(out, CountOf(out));
    EXPECT_EQ(systemTemp, Buf(out));

    // The scratch folder lies in %TEMP%, so this names it through the variable.
    std::wstring leaf = scratch_.substr(scratch_.find_last_of(L'\\') + 1);
    wchar_t tempVariable[kPathChars];
    ASSERT_GT(GetEnvironmentVariableW(L"TEMP", tempVariable, CountOf(tempVariable)), 0u);
    std::wstring viaVariable = std::wstring(tempVariable) + L"\\" + leaf;
    ASSERT_TRUE(Exists(viaVariable));
    saved.Set(L"%TEMP%\\" + leaf);
    GetTempFolder(out, CountOf(out));
    EXPECT_EQ(viaVariable + L"\\", Buf(out));

    saved.Set(scratch_ + L"\\");
    GetTempFolder(out, CountOf(out));
    EXPECT_EQ(scratch_ + L"\\", Buf(out));

    saved.Set(L"%TEMP%\\" + leaf + L"\\missing");
    GetTempFolder(out, CountOf(out));
    EXPECT_EQ(systemTemp, Buf(out));

    WriteFileText(Path(L"a-file"), "x");
    saved.Set(Path(L"a-file"));
    GetTempFolder(out, CountOf(out));
    EXPECT_EQ(systemTemp, Buf(out));

    wchar_t small[8];
    for (auto& c : small) c = L'#';
    GetTempFolder(small, 4);
    EXPECT_LT(wcslen(small), 4u);
    EXPECT_EQ(L'#', small[4]);
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
