// The settings file Ombrix.ini: where it is found, what its lines mean, how it is written back.
#include "settings/settings.h"
#include "tests/bench/bench.h"
#include "tests/unit/settingstest.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

testing::Environment* const g_turn = testing::AddGlobalTestEnvironment(new SettingsFileTurn);

const wchar_t kRegistryKey[] = L"Software\\Ombrix\\TestFile";
const wchar_t kGlobals[] = L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\n";

std::wstring AppDataFolderPath() {
    wchar_t folder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder))) return std::wstring();
    return std::wstring(folder) + L"\\Ombrix";
}

std::string Encode(const std::wstring& text, UINT codePage) {
    int n = WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string bytes(n, 0);
    WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

std::wstring Decode(const std::string& bytes, UINT codePage) {
    int n = MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), nullptr, 0);
    std::wstring text(n, 0);
    MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), &text[0], n);
    return text;
}

std::string Utf16(const std::wstring& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : text) {
        char low = (char)(c & 0xFF);
        char high = (char)(c >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string Ansi(const std::wstring& text) { return Encode(text, CP_ACP); }

void WriteIni(const std::string& bytes) { ASSERT_TRUE(bench::WriteFileBytes(IniPath(), bytes)); }

std::string IniBytes() { return bench::ReadFileBytes(IniPath()); }

// The saved file as text; it must be UTF-16 little-endian with its mark.
std::wstring SavedText(const std::wstring& path = IniPath()) {
    std::string bytes = bench::ReadFileBytes(path);
    if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0) return L"<no UTF-16 LE mark>";
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text += (wchar_t)((unsigned char)bytes[i] | ((unsigned char)bytes[i + 1] << 8));
    }
    return text;
}

std::wstring ReadUser(const wchar_t* keyPath, const wchar_t* valueName) {
    wchar_t out[kTextChars];
    ReadUserString(keyPath, valueName, L"<default>", out, CountOf(out));
    return out;
}

std::set<std::wstring> FolderNames(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        names.insert(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

// The names beside the test programs that a save could leave: the file and anything named
// after it. Other test programs make and delete their own files there meanwhile.
std::set<std::wstring> SettingsNames() {
    std::set<std::wstring> names;
    for (const std::wstring& name : FolderNames(bench::TestsFolder())) {
        if (name.size() >= 6 && CompareStringOrdinal(name.c_str(), 6, L"Ombrix", 6, TRUE) == CSTR_EQUAL) {
            names.insert(name);
        }
    }
    return names;
}

// Records the codes of the error reporter's messages without allocating.
uint32_t g_messageCodes[16];
int g_messageCount = 0;
void RecordMessage(const MessageRecord& record) {
    if (g_messageCount < (int)CountOf(g_messageCodes)) g_messageCodes[g_messageCount++] = record.code;
}

// Reserves the whole free address space except `leave` bytes, so that allocations beyond
// those fail; releases it again on destruction.
class AddressSpaceHog {
public:
    explicit AddressSpaceHog(size_t leave) {
        void* kept = VirtualAlloc(nullptr, leave, MEM_RESERVE, PAGE_NOACCESS);
        for (size_t size = (size_t)1 << 30; size >= 0x10000 && count_ < CountOf(blocks_);) {
            void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
            if (block != nullptr) {
                blocks_[count_++] = block;
            } else {
                size /= 2;
            }
        }
        if (kept != nullptr) VirtualFree(kept, 0, MEM_RELEASE);
    }
    ~AddressSpaceHog() {
        for (size_t i = 0; i < count_; ++i) VirtualFree(blocks_[i], 0, MEM_RELEASE);
    }
    AddressSpaceHog(const AddressSpaceHog&) = delete;
    AddressSpaceHog& operator=(const AddressSpaceHog&) = delete;

private:
    static void* blocks_[65536];
    size_t count_ = 0;
};
void* AddressSpaceHog::blocks_[65536];

class SettingsFileTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(bench::PathExists(AppDataFolderPath() + L"\\Ombrix.ini"))
            << "a settings file in AppData would serve these tests";
        Clean();
    }
    void TearDown() override {
        Clean();
        if (createdAppDataFolder_) RemoveDirectoryW(AppDataFolderPath().c_str());
        EXPECT_FALSE(bench::PathExists(AppDataFolderPath() + L"\\Ombrix.ini"));
    }

    void Clean() {
        ClearSettingsFile();
        DeleteFileW((IniPath() + L"\\inside.txt").c_str());
        RemoveDirectoryW(IniPath().c_str());
        DeleteFileW(IniPath().c_str());
        if (createdAppDataIni_) DeleteFileW((AppDataFolderPath() + L"\\Ombrix.ini").c_str());
        bench::DeleteKeyTree(HKEY_CURRENT_USER, kRegistryKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Ombrix");  // only while nothing else lives there
    }

    void WriteAppDataIni(const std::string& bytes) {
        std::wstring folder = AppDataFolderPath();
        if (!bench::PathExists(folder)) {
            ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
            createdAppDataFolder_ = true;
        }
        createdAppDataIni_ = true;
        ASSERT_TRUE(bench::WriteFileBytes(folder + L"\\Ombrix.ini", bytes));
    }

    bool createdAppDataFolder_ = false;
    bool createdAppDataIni_ = false;
};

}  // namespace

TEST_F(SettingsFileTest, FoundBesideTheProgramFirstThenInAppData) {
    ASSERT_EQ(ERROR_SUCCESS, bench::SetText(HKEY_CURRENT_USER, kRegistryKey, L"v", L"registry"));
    // A file where the application-data folder would be is no settings file.
    bool folderFree = !bench::PathExists(AppDataFolderPath());
    if (folderFree) {
        ASSERT_TRUE(bench::WriteFileBytes(AppDataFolderPath(), "HKCU\\TestFile\\v=file\r\n"));
    }
    EXPECT_EQ(L"registry", ReadUser(L"TestFile", L"v"));
    if (folderFree) DeleteFileW(AppDataFolderPath().c_str());
    EXPECT_FALSE(SaveSettingsFile());

    ClearSettingsFile();
    WriteAppDataIni("HKCU\\TestFile\\v=appdata\r\n");
    EXPECT_EQ(L"appdata", ReadUser(L"TestFile", L"v"));
    // It is written back where it was found.
    EXPECT_EQ(ERROR_SUCCESS, WriteUserString(L"TestFile", L"w", L"new"));
    EXPECT_TRUE(SaveSettingsFile());
    EXPECT_FALSE(bench::PathExists(IniPath()));
    EXPECT_EQ(std::wstring(kGlobals) + L"HKCU\\TestFile\\v=appdata\r\nHKCU\\TestFile\\w=\"new\"\r\n",
              SavedText(AppDataFolderPath() + L"\\Ombrix.ini"));

    ClearSettingsFile();
    WriteIni("HKCU\\TestFile\\v=beside\r\n");
    EXPECT_EQ(L"beside", ReadUser(L"TestFile", L"v"));
    EXPECT_EQ(L"<default>", ReadUser(L"TestFile", L"w"));
}

TEST_F(SettingsFileTest, OnlyLinesStartingWithALetterAndHoldingEqualsAreEntries) {
    WriteIni("[Global]\r\n; comment\r\n  HKCU\\Setup\\ShellExt=1\r\n\tHKCU\\Setup\\Tab=1\r\n=x\r\n1abc=2\r\n"
             "_x=1\r\nnoequals\r\n\r\n\r\n" +
             Ansi(L"\u00c4name=1\r\n"));
    LoadSettingsFile();
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, L"Setup"));
    EXPECT_TRUE(SaveSettingsFile());
    EXPECT_EQ(kGlobals, SavedText());
}

TEST_F(SettingsFileTest, NamesAreKeptExactlyAndCompareCaseSensitively) {
    WriteIni("HKCU\\Setup\\ShellExt = 1\r\nhkcu\\setup\\shellext=1\r\n");
    EXPECT_EQ(7, ReadUserInt(L"Setup", L"ShellExt", 7));
    EXPECT_EQ(L" 1", ReadUser(L"Setup", L"ShellExt "));
    EXPECT_EQ(0, ReadUserInt(L"Setup", L"ShellExt ", 7));
    EXPECT_EQ(7, ReadUserInt(L"setup", L"shellext", 7));
    EXPECT_TRUE(SettingKeyExists(HKEY_CURRENT_USER, L"Setup"));
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, L"setup"));
}

TEST_F(SettingsFileTest, ValueKindsAreReadAndSavedInTheirForms) {
    struct Case {
        const char* line;
        const wchar_t* name;
        const wchar_t* text;
        const wchar_t* saved;
    } cases[] = {
        {"HKCU\\K\\a=\"abc", L"a", L"abc", L"HKCU\\K\\a=\"abc\""},
        {"HKCU\\K\\b=\"a\"b\"", L"b", L"a\"b", L"HKCU\\K\\b=\"a\"b\""},
        {"HKCU\\K\\c=bin:0A0B", L"c", L"0A0B", L"HKCU\\K\\c=bin:0A0B"},
        {"HKCU\\K\\d=plain text", L"d", L"plain text", L"HKCU\\K\\d=plain text"},
        {"HKCU\\K\\e=\"", L"e", L"", L"HKCU\\K\\e=\"\""},
        {"HKCU\\K\\f=\"\"", L"f", L"", L"HKCU\\K\\f=\"\""},
        {"HKCU\\K\\g=BIN:x", L"g", L"BIN:x", L"HKCU\\K\\g=BIN:x"},
        {"HKCU\\K\\h=  \"x\"", L"h", L"  \"x\"", L"HKCU\\K\\h=  \"x\""},
        {"HKCU\\K\\i=a=b", L"i", L"a=b", L"HKCU\\K\\i=a=b"},
        {"HKCU\\K\\j=", L"j", L"", L"HKCU\\K\\j="},
        {"HKCU\\K\\k=\"bin:x\"", L"k", L"bin:x", L"HKCU\\K\\k=\"bin:x\""},
        {"HKCU\\K\\l=bin:\"q\"", L"l", L"\"q\"", L"HKCU\\K\\l=bin:\"q\""},
        {"HKCU\\K\\m=\"trailing \"  \t", L"m", L"trailing ", L"HKCU\\K\\m=\"trailing \""},
        {"HKCU\\K\\n=\"\"abc", L"n", L"\"abc", L"HKCU\\K\\n=\"\"abc\""},
    };
    std::string file;
    std::wstring saved = kGlobals;
    for (const Case& c : cases) {
        file += std::string(c.line) + "\r\n";
        saved += std::wstring(c.saved) + L"\r\n";
    }
    WriteIni(file);
    for (int round = 0; round < 2; ++round) {
        for (const Case& c : cases) EXPECT_EQ(c.text, ReadUser(L"K", c.name)) << c.line << " round " << round;
        EXPECT_TRUE(SaveSettingsFile());
        EXPECT_EQ(saved, SavedText());
        ClearSettingsFile();
    }
}

TEST_F(SettingsFileTest, NumbersAreDecimalCutToThirtyTwoBits) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"12abc", 12}, {"4294967297", 1}, {"-1", -1}, {"x", 0}, {" 5", 0}, {"\"7\"", 7}, {"bin:9", 9},
        {"2147483648", INT32_MIN},
    };
    std::string file;
    for (size_t i = 0; i < CountOf(cases); ++i) file += "HKCU\\N\\v" + std::to_string(i) + "=" + cases[i].text + "\r\n";
    WriteIni(file);
    for (size_t i = 0; i < CountOf(cases); ++i) {
        EXPECT_EQ(cases[i].value, ReadUserInt(L"N", (L"v" + std::to_wstring(i)).c_str(), 77)) << cases[i].text;
    }
    EXPECT_EQ(77, ReadUserInt(L"N", L"missing", 77));
}

TEST_F(SettingsFileTest, WritesAreQuotedTextOrUnsignedNumbers) {
    WriteIni("Zed=1\r\n");
    EXPECT_EQ(ERROR_SUCCESS, WriteUserString(L"K", L"s", L"say \"hi\""));
    EXPECT_EQ(ERROR_SUCCESS, WriteUserInt(L"K", L"n", -1));
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingInt(HKEY_NULL_ROOT, L"Global", L"AppData", 0));
    EXPECT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_LOCAL_MACHINE, L"", L"v", L"m"));
    EXPECT_EQ(ERROR_SUCCESS, WriteUserString(L"K", L"", L"default value"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, WriteUserString(L"K", L"x", L"first\nGlobal\\Integration=0"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, WriteUserInt(L"K", L"a=b", 1));
    EXPECT_TRUE(SaveSettingsFile());
    EXPECT_EQ(L"Global\\AppData=0\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\nHKCU\\K\\=\"default value\"\r\n"
              L"HKCU\\K\\n=4294967295\r\nHKCU\\K\\s=\"say \"hi\"\"\r\nHKLM\\v=\"m\"\r\nZed=1\r\n",
              SavedText());
    ClearSettingsFile();
    EXPECT_EQ(L"say \"hi\"", ReadUser(L"K", L"s"));
    EXPECT_EQ(L"default value", ReadUser(L"K", L""));
    EXPECT_EQ(-1, ReadUserInt(L"K", L"n", 0));
    EXPECT_EQ(0, ReadSettingInt(HKEY_NULL_ROOT, L"Global", L"AppData", 1));
}

TEST_F(SettingsFileTest, DuplicateNamesKeepTheirFileOrder) {
    std::string file;
    for (int i = 0; i < 10; ++i) {
        file += "HKCU\\K\\v=" + std::to_string(i) + "\r\nHKCU\\K\\w" + std::to_string(9 - i) + "=x\r\nA" +
                std::to_string(i % 3) + "=1\r\n";
    }
    WriteIni(file);
    EXPECT_EQ(L"0", ReadUser(L"K", L"v"));
    EXPECT_TRUE(SaveSettingsFile());
    auto duplicates = [] {
        std::wstring text = SavedText();
        std::wstring found;
        size_t at = 0;
        while ((at = text.find(L"HKCU\\K\\v=", at)) != std::wstring::npos) {
            size_t end = text.find(L"\r\n", at);
            found += text.substr(at + 9, end - at - 9) + L",";
            at = end;
        }
        return found;
    };
    EXPECT_EQ(L"0,1,2,3,4,5,6,7,8,9,", duplicates());
    EXPECT_NE(std::wstring::npos, SavedText().find(L"HKCU\\K\\v=8\r\nHKCU\\K\\v=9\r\nHKCU\\K\\w0=x"));

    // A write replaces the first; a reload still finds that one.
    ClearSettingsFile();
    EXPECT_EQ(L"0", ReadUser(L"K", L"v"));
    EXPECT_EQ(ERROR_SUCCESS, WriteUserString(L"K", L"v", L"ten"));
    EXPECT_TRUE(SaveSettingsFile());
    EXPECT_EQ(L"\"ten\",1,2,3,4,5,6,7,8,9,", duplicates());
    ClearSettingsFile();
    EXPECT_EQ(L"ten", ReadUser(L"K", L"v"));
    DeleteUserValue(L"K", L"v");
    EXPECT_EQ(L"<default>", ReadUser(L"K", L"v"));
    EXPECT_EQ(L"x", ReadUser(L"K", L"w0"));
}

TEST_F(SettingsFileTest, GlobalSwitchesAreReadAndWrittenBackAsZeroOrOne) {
    struct Case {
        std::string line;
        bool on;
        const wchar_t* saved;
    } cases[] = {
        {"Global\\Integration=0", false, L"0"},          {"Global\\Integration=1", true, L"1"},
        {"Global\\Integration=2", true, L"1"},           {"Global\\Integration=x", false, L"0"},
        {"Global\\Integration=4294967296", false, L"0"}, {"Global\\Integration=-1", true, L"1"},
        {"Global\\Integration=\"0\"", false, L"0"},      {"; no switch", true, L"1"},
        {"\xEF\xBB\xBF" "A=1\r\nB=caf\xE9", true, nullptr}, {"\xEF\xBB\xBF" "A=1\nB=\xF8\x88\x80\x80\x80", true, nullptr},
        {std::string("\xFF\xFE" "A\0=\0" "1\0\0\0B\0", 12), true, nullptr},
        {"\xEF\xBB\xBF" "A=1\r\nB=x\xC0\x80y\r\nGlobal\\Integration=0", false, nullptr},
    };
    for (const Case& c : cases) {
        ClearSettingsFile();
        WriteIni(std::string(c.line) + "\r\nGlobal\\AppData=0\r\n");
        EXPECT_TRUE(IsIntegrationEnabled()) << c.line;
        LoadSettingsFile();
        EXPECT_EQ(c.on, IsIntegrationEnabled()) << c.line;
        if (c.saved == nullptr) { EXPECT_FALSE(SaveSettingsFile()) << c.line; continue; }  // not read to its end
        EXPECT_TRUE(SaveSettingsFile());
        EXPECT_EQ(std::wstring(L"Global\\AppData=0\r\nGlobal\\Integration=") + c.saved + L"\r\nGlobal\\SaveSettings=1\r\n",
                  SavedText())
            << c.line;
    }
}

TEST_F(SettingsFileTest, SaveSettingsOffNeverRewritesTheFile) {
    const std::string original = "; keep me\r\nGlobal\\SaveSettings=0\r\nHKCU\\A=1\r\n";
    WriteIni(original);
    EXPECT_EQ(ERROR_SUCCESS, WriteUserInt(L"", L"A", 2));
    EXPECT_EQ(2, ReadUserInt(L"", L"A", 0));
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_EQ(original, IniBytes());
    ClearSettingsFile();
    EXPECT_EQ(1, ReadUserInt(L"", L"A", 0));
}

TEST_F(SettingsFileTest, FileRemovedSinceLoadingIsNotCreatedAgain) {
    WriteIni("HKCU\\A=1\r\n");
    EXPECT_EQ(1, ReadUserInt(L"", L"A", 0));
    // The uninstall deletes the file with the program's files; the save at exit must not
    // bring it back, or the program folder could never be removed.
    ASSERT_TRUE(DeleteFileW(IniPath().c_str()));
    EXPECT_EQ(ERROR_SUCCESS, WriteUserInt(L"", L"A", 2));
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_FALSE(bench::PathExists(IniPath()));
}

TEST_F(SettingsFileTest, FileWithoutGlobalLinesIsSavedSortedInUtf16WithAllThree) {
    WriteIni("Zed=1\napple=3\rAlpha=2\n");
    LoadSettingsFile();
    EXPECT_TRUE(SaveSettingsFile());
    EXPECT_EQ(Utf16(L"Alpha=2\r\n" + std::wstring(kGlobals) + L"Zed=1\r\napple=3\r\n", false), IniBytes());
}

TEST_F(SettingsFileTest, EveryEncodingIsRead) {
    const std::wstring text = L"HKCU\\K\\v=Gr\u00fc\u00dfe \u2713 \u4e2d\r\nHKCU\\K\\w=2\r\n";
    const std::string encodings[] = {Utf16(text, false), Utf16(text, true), "\xEF\xBB\xBF" + Encode(text, CP_UTF8)};
    for (const std::string& bytes : encodings) {
        ClearSettingsFile();
        WriteIni(bytes);
        EXPECT_EQ(L"Gr\u00fc\u00dfe \u2713 \u4e2d", ReadUser(L"K", L"v")) << (int)(unsigned char)bytes[0];
        EXPECT_EQ(2, ReadUserInt(L"K", L"w", 0));
    }

    // Without a mark the bytes are ANSI, also when they were meant as UTF-8: ASCII names match.
    const std::string utf8Value = Encode(L"Gr\u00fc\u00dfe", CP_UTF8);
    ClearSettingsFile();
    WriteIni("HKCU\\K\\v=" + utf8Value + "\r\n");
    EXPECT_EQ(Decode(utf8Value, CP_ACP), ReadUser(L"K", L"v"));
    const std::string ansiValue = Ansi(L"caf\u00e9");
    ClearSettingsFile();
    WriteIni("HKCU\\K\\v=" + ansiValue + "\r\n");
    EXPECT_EQ(Decode(ansiValue, CP_ACP), ReadUser(L"K", L"v"));
    EXPECT_TRUE(SaveSettingsFile());
    EXPECT_EQ(std::wstring(kGlobals) + L"HKCU\\K\\v=" + Decode(ansiValue, CP_ACP) + L"\r\n", SavedText());
}

TEST_F(SettingsFileTest, ClearStartsOverWithTheFileOnDisk) {
    WriteIni("HKCU\\A=1\r\nGlobal\\Integration=0\r\n");
    EXPECT_EQ(1, ReadUserInt(L"", L"A", 0));
    WriteIni("HKCU\\A=2\r\n");
    EXPECT_EQ(1, ReadUserInt(L"", L"A", 0));
    EXPECT_FALSE(IsIntegrationEnabled());
    ClearSettingsFile();
    EXPECT_TRUE(IsIntegrationEnabled());
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_EQ(2, ReadUserInt(L"", L"A", 0));
    ClearSettingsFile();
    DeleteFileW(IniPath().c_str());
    EXPECT_EQ(0, ReadUserInt(L"", L"A", 0));
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_FALSE(bench::PathExists(IniPath()));
}

TEST_F(SettingsFileTest, EntryNameThatDoesNotFitIsNeverCut) {
    // The request's name would be 1024 characters; its first 1023 name another entry.
    const std::wstring longValue(1024 - wcslen(L"HKCU\\K\\"), L'v');
    const std::wstring fitting = longValue.substr(1);
    const std::wstring overlongKey = L"K\\" + std::wstring(1020, L'v');
    std::wstring hugeName = L"HKCU\\Huge\\" + std::wstring(1500, L'h');
    WriteIni(Ansi(L"HKCU\\K\\" + fitting + L"=kept\r\n" + hugeName + L"=big\r\n"));

    EXPECT_EQ(L"kept", ReadUser(L"K", fitting.c_str()));
    wchar_t out[16];
    EXPECT_FALSE(ReadUserString(L"K", longValue.c_str(), L"dflt", out, CountOf(out)));
    EXPECT_STREQ(L"dflt", out);
    EXPECT_EQ(5, ReadUserInt(L"K", longValue.c_str(), 5));
    EXPECT_EQ(ERROR_BUFFER_OVERFLOW, WriteUserString(L"K", longValue.c_str(), L"overwritten"));
    EXPECT_EQ(ERROR_BUFFER_OVERFLOW, WriteUserInt(L"K", longValue.c_str(), 3));
    DeleteUserValue(L"K", longValue.c_str());
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, overlongKey.c_str()));
    DeleteSettingKey(HKEY_CURRENT_USER, overlongKey.c_str());
    DeleteSettingTree(HKEY_CURRENT_USER, overlongKey.c_str());
    EXPECT_EQ(L"kept", ReadUser(L"K", fitting.c_str()));

    // Names in the file itself have no limit and go back unchanged.
    EXPECT_TRUE(SaveSettingsFile());
    EXPECT_EQ(std::wstring(kGlobals) + hugeName + L"=big\r\nHKCU\\K\\" + fitting + L"=kept\r\n", SavedText());
}

TEST_F(SettingsFileTest, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    const std::string original = "HKCU\\A=1\r\n";
    const std::set<std::wstring> before = [&] {
        WriteIni(original);
        return SettingsNames();
    }();
    EXPECT_EQ(ERROR_SUCCESS, WriteUserInt(L"", L"A", 2));

    // Where the file was, a folder now stands: the new content cannot take its place.
    ASSERT_TRUE(DeleteFileW(IniPath().c_str()));
    ASSERT_TRUE(CreateDirectoryW(IniPath().c_str(), nullptr));
    ASSERT_TRUE(bench::WriteFileBytes(IniPath() + L"\\inside.txt", original));
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_EQ(before, SettingsNames());
    EXPECT_EQ((std::set<std::wstring>{L".", L"..", L"inside.txt"}), FolderNames(IniPath()));
    EXPECT_EQ(original, bench::ReadFileBytes(IniPath() + L"\\inside.txt"));
    DeleteFileW((IniPath() + L"\\inside.txt").c_str());
    RemoveDirectoryW(IniPath().c_str());
    WriteIni(original);

    // Once nothing is in the way the same entries are written.
    EXPECT_TRUE(SaveSettingsFile());
    EXPECT_EQ(std::wstring(kGlobals) + L"HKCU\\A=2\r\n", SavedText());
    EXPECT_EQ(before, SettingsNames());
}

TEST_F(SettingsFileTest, SaveKeepsTheFilesAttributesAndNeverWritesThroughALink) {
    // Each case prepares the file as a user may have it; the save must keep that and write
    // the same bytes.
    const std::wstring other = bench::TestsFolder() + L"\\Ombrix-link.ini";
    struct Case {
        const wchar_t* label;
        DWORD attributes;  // set on the file before the save
        bool hardLink;     // a second name for the same file
    } cases[] = {
        {L"plain", FILE_ATTRIBUTE_ARCHIVE, false},
        {L"hidden", FILE_ATTRIBUTE_HIDDEN, false},
        {L"hidden system", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, false},
        {L"second name", FILE_ATTRIBUTE_ARCHIVE, true},
    };
    const std::set<std::wstring> before = SettingsNames();
    for (const Case& c : cases) {
        ClearSettingsFile();
        WriteIni("HKCU\\A=1\r\n; dropped\r\n");
        if (c.hardLink) {
            ASSERT_TRUE(CreateHardLinkW(other.c_str(), IniPath().c_str(), nullptr)) << c.label;
        }
        ASSERT_TRUE(SetFileAttributesW(IniPath().c_str(), c.attributes)) << c.label;
        DWORD set = GetFileAttributesW(IniPath().c_str());
        EXPECT_EQ(1, ReadUserInt(L"", L"A", 0)) << c.label;
        EXPECT_EQ(ERROR_SUCCESS, WriteUserInt(L"", L"A", 7)) << c.label;
        // A file with another name elsewhere is used but never rewritten: that would rewrite the other.
        EXPECT_EQ(!c.hardLink, SaveSettingsFile()) << c.label;
        EXPECT_EQ(c.hardLink ? L"<no UTF-16 LE mark>" : std::wstring(kGlobals) + L"HKCU\\A=7\r\n", SavedText()) << c.label;
        EXPECT_EQ(set, GetFileAttributesW(IniPath().c_str())) << c.label;
        if (c.hardLink) {
            EXPECT_EQ("HKCU\\A=1\r\n; dropped\r\n", bench::ReadFileBytes(other)) << c.label;
            SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(other.c_str());
        }
        SetFileAttributesW(IniPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(IniPath().c_str());
        EXPECT_EQ(before, SettingsNames()) << c.label;
    }
}

TEST_F(SettingsFileTest, SaveRewritesInPlaceWhereNoNewFileCanBeMadeBesideIt) {
    WriteIni("HKCU\\A=1\r\n" + std::string(4000, ';') + "\r\n");
    EXPECT_EQ(1, ReadUserInt(L"", L"A", 0));
    EXPECT_EQ(ERROR_SUCCESS, WriteUserInt(L"", L"A", 3));
    // A read-only folder stands where the new content would be written first.
    const std::wstring blocker = IniPath() + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr));
    SetFileAttributesW(blocker.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::set<std::wstring> before = SettingsNames();
    EXPECT_TRUE(SaveSettingsFile());
    // Shorter than before: nothing of the old content is left behind the new.
    EXPECT_EQ(std::wstring(kGlobals) + L"HKCU\\A=3\r\n", SavedText());
    EXPECT_EQ(before, SettingsNames());
    EXPECT_EQ((std::set<std::wstring>{L".", L".."}), FolderNames(blocker));
    SetFileAttributesW(blocker.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(RemoveDirectoryW(blocker.c_str()));
}

TEST_F(SettingsFileTest, LoadCutShortByMemoryErrorIsNeverSaved) {
    // Far more short entries than the memory left for them.
    std::string file = "HKCU\\First=1\r\nGlobal\\Integration=1\r\n";
    for (int i = 0; i < 1000000; ++i) file += "a=b\r\n";
    WriteIni(file);
    // Exceptions once before memory runs short, so that nothing of their machinery is first
    // set up under the hog.
    try {
        throw KVA_EXIT_MEMORY;
    } catch (KVA_EXIT) {
    }
    g_messageCount = 0;
    g_errors.SetSink(RecordMessage);
    {
        AddressSpaceHog hog(4 << 20);
        LoadSettingsFile();
    }
    g_errors.SetSink(nullptr);
    ASSERT_GE(g_messageCount, 1);
    EXPECT_EQ(kMsgMemory, g_messageCodes[g_messageCount - 1]);

    EXPECT_TRUE(IsIntegrationEnabled());  // in use and never written back; only a switch read turns it off
    EXPECT_EQ(ERROR_SUCCESS, WriteUserInt(L"", L"First", 2));
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_TRUE(IniBytes() == file);

    // With memory back, the same file loads completely.
    ClearSettingsFile();
    EXPECT_EQ(1, ReadUserInt(L"", L"First", 0));
    EXPECT_TRUE(IsIntegrationEnabled());
    wchar_t out[4];
    EXPECT_TRUE(ReadSettingString(HKEY_NULL_ROOT, L"", L"a", L"", out, CountOf(out)));
    EXPECT_STREQ(L"b", out);
}

namespace {

// Pieces of settings files, ordinary and odd, for the randomized round trip.
std::wstring RandomSettingsText(std::mt19937& random) {
    static const wchar_t* const names[] = {
        L"HKCU\\Setup\\ShellExt", L"HKLM\\Capabilities\\Name", L"Global\\Integration", L"Global\\AppData",
        L"Global\\SaveSettings", L"hkcu\\setup\\x", L"A", L"Z\\", L"HKCU\\Setup\\ShellExt ", L"HKCU\\\u00dcn\u00ef\\\u0436",
        L"HKCU\\K\\\u4e2d", L"x\"y",
    };
    static const wchar_t* const values[] = {
        L"1", L"0", L"\"quoted\"", L"\"unterminated", L"\"a\"b\"", L"bin:00FF", L"bin:", L"\"", L"", L"text with  spaces ",
        L"\u00e9\u2713\u4e2d", L"=x=", L"\"\"", L" \"lead", L"bin:\"q\"", L"-12x",
    };
    static const wchar_t* const oddLines[] = {L"[Global]", L"; comment", L"  indented=1", L"\tTab=1", L"noequals", L"=",
                                              L"9=9"};
    static const wchar_t* const ends[] = {L"\r\n", L"\n", L"\r", L"\r\n\r\n", L"  \r\n", L"\t\n"};
    std::wstring text;
    int lines = (int)(random() % 30);
    for (int i = 0; i < lines; ++i) {
        unsigned pick = random() % 10;
        if (pick == 0) {
            text += oddLines[random() % CountOf(oddLines)];
        } else {
            if (pick == 1) {
                text += L"HKCU\\Long\\" + std::wstring(1000 + random() % 600, (wchar_t)(L'a' + random() % 26));
            } else {
                text += names[random() % CountOf(names)];
            }
            text += L"=";
            if (random() % 12 == 0) {
                text += std::wstring(3000 + random() % 3000, L'v');
            } else {
                text += values[random() % CountOf(values)];
            }
        }
        text += ends[random() % CountOf(ends)];
    }
    return text;
}

std::string RandomEncoding(const std::wstring& text, std::mt19937& random) {
    switch (random() % 4) {
    case 0: return Ansi(text);
    case 1: return "\xEF\xBB\xBF" + Encode(text, CP_UTF8);
    case 2: return Utf16(text, false);
    default: return Utf16(text, true);
    }
}

void Mutate(std::string* bytes, std::mt19937& random) {
    static const char interesting[] = {'\0', '"', '=', '\r', '\n', ' ', '\xFF', '\xFE', '\xC3', '\xEF', 'b'};
    int edits = (int)(random() % 5);
    for (int i = 0; i < edits && !bytes->empty(); ++i) {
        size_t at = random() % bytes->size();
        switch (random() % 4) {
        case 0: (*bytes)[at] = (char)(random() & 0xFF); break;
        case 1: bytes->insert(at, 1, interesting[random() % sizeof(interesting)]); break;
        case 2: bytes->erase(at, 1); break;
        default: bytes->insert(at, bytes->substr(at, random() % 64)); break;
        }
    }
}

// The names of the lines of a saved file, in order.
std::vector<std::wstring> SavedNames(const std::wstring& text) {
    std::vector<std::wstring> names;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(L"\r\n", at);
        if (end == std::wstring::npos) end = text.size();
        names.push_back(text.substr(at, text.find(L'=', at) - at));
        at = end + 2;
    }
    return names;
}

std::vector<std::wstring> Lookups(const std::vector<std::wstring>& names) {
    std::vector<std::wstring> texts;
    for (const std::wstring& name : names) {
        const wchar_t* text = FindSettingsEntry(name.c_str());
        texts.push_back(text != nullptr ? text : L"<none>");
    }
    return texts;
}

}  // namespace

TEST_F(SettingsFileTest, MutatedFilesGiveTheSameEntriesAfterSaveAndReload) {
    const uint32_t seed = 20240611;
    std::mt19937 seeds(seed);
    const DWORD start = GetTickCount();
    int rounds = 0;
    while (GetTickCount() - start < 3000 && rounds < 5000 && !HasFailure()) {
        const uint32_t caseSeed = seeds();
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", case seed " << caseSeed);
        std::mt19937 random(caseSeed);
        std::string bytes = RandomEncoding(RandomSettingsText(random), random);
        if (random() % 2 == 0) Mutate(&bytes, random);
        ClearSettingsFile();
        WriteIni(bytes);
        LoadSettingsFile();
        const wchar_t* save = FindSettingsEntry(L"Global\\SaveSettings");
        ASSERT_NE(nullptr, save);
        if (!SaveSettingsFile()) {  // saving switched off, or a mutation left it unreadable to its end
            EXPECT_EQ(bytes, IniBytes());
            ++rounds;
            continue;
        }
        const std::wstring first = SavedText();
        const std::vector<std::wstring> names = SavedNames(first);
        const std::vector<std::wstring> firstLookups = Lookups(names);
        ClearSettingsFile();
        LoadSettingsFile();
        EXPECT_EQ(firstLookups, Lookups(names));
        ASSERT_TRUE(SaveSettingsFile());
        EXPECT_EQ(first, SavedText());
        ++rounds;
    }
    EXPECT_GT(rounds, 20);
}
