// Message texts: the key table, the id-to-key search, the three sources in order with and
// without a language library, the eight slots, cutting, and translator texts with % signs.
#include "langtest.h"

#include "resources/resource.h"

#include <map>
#include <set>

using langtest::LanguageTest;
using langtest::Utf16;

namespace {

std::string WithMarker(const std::string& body) { return "*****messages***\r\n" + body; }

class Messages : public LanguageTest {};

}  // namespace

TEST(KeyTable, RowsByKindInTableOrder) {
    ASSERT_EQ(107u, KeyTableRows);
    std::map<std::string, int> rowsByKind;
    std::set<std::string> keys;
    for (uint32_t i = 0; i < KeyTableRows; ++i) {
        std::string key = KeyTable[i].key;
        EXPECT_LE(key.size(), 48u) << key;
        EXPECT_TRUE(keys.insert(key).second) << "twice: " << key;
        ++rowsByKind[key.substr(0, key.find(':'))];
    }
    EXPECT_EQ(28, rowsByKind["s"]);
    EXPECT_EQ(34, rowsByKind["$SETUPDLG"]);
    EXPECT_EQ(10, rowsByKind["$DONEDLG"]);
    EXPECT_EQ(35, rowsByKind["$SETUPCONTEXTITEMS"]);
    // Messages first, then the dialogs in the order setup, completion, context items.
    EXPECT_STREQ("s:IDS_UNINSTTITLE", KeyTable[0].key);
    EXPECT_STREQ("$SETUPDLG:SIZE", KeyTable[28].key);
    EXPECT_STREQ("$DONEDLG:SIZE", KeyTable[62].key);
    EXPECT_STREQ("$SETUPCONTEXTITEMS:SIZE", KeyTable[72].key);
    // The numbers that language files and libraries are written against.
    struct Known {
        const char* key;
        uint32_t id;
    } known[] = {
        {"s:IDS_UNINSTTITLE", 5101},          {"s:IDS_UNINSTALLKVA", 5106},
        {"s:IDS_CONTINUEUNINSTALL", 5109},    {"s:IDS_CANNOTOPENLIST", 5110},
        {"s:IDS_REBOOTREQUIRED", 5116},       {"s:IDS_INSTHELP1", 5120},
        {"s:IDS_WARN32BIT", 5130},            {"s:IDS_INSTREBOOTREQUIRED", 5135},
        {"s:IDS_64BIT", 5142},                {"s:IDS_SINGLETOPITEM", 5150},
        {"$SETUPDLG:SIZE", 0},                {"$SETUPDLG:IDOK", 1},
        {"$SETUPDLG:IDHELP", 9},              {"$SETUPDLG:IDC_ASSOCKVA", 5101},
        {"$SETUPDLG:IDC_ASSOCZST", 5117},     {"$SETUPDLG:IDC_ASSOCWITH", 5129},
        {"$DONEDLG:IDOK", 1},                 {"$DONEDLG:IDC_VIEWHELP", 5105},
        {"$DONEDLG:IDC_THANKS", 5109},        {"$SETUPCONTEXTITEMS:SIZE", 0},
        {"$SETUPCONTEXTITEMS:IDCANCEL", 2},   {"$SETUPCONTEXTITEMS:IDHELP", 9},
    };
    for (const Known& k : known) {
        uint32_t row = 0;
        while (row < KeyTableRows && strcmp(KeyTable[row].key, k.key) != 0) ++row;
        ASSERT_LT(row, KeyTableRows) << "missing: " << k.key;
        EXPECT_EQ(k.id, KeyTable[row].id) << k.key;
    }
    // Every message row has a default text in the program's string table.
    for (uint32_t i = 0; i < 28; ++i) {
        wchar_t text[kTextChars];
        EXPECT_GT(LoadStringW(GetModuleHandleW(nullptr), KeyTable[i].id, text, CountOf(text)), 0) << KeyTable[i].key;
    }
}

TEST(KeyTable, FindKeyForIdSearchesMessageRowsOnly) {
    struct Case {
        uint32_t id;
        const char* key;
    } cases[] = {
        {5101, "s:IDS_UNINSTTITLE"},  // also IDC_ASSOCKVA of the setup dialog
        {5150, "s:IDS_SINGLETOPITEM"},
        {5122, "s:IDS_INSTHELP3"},
        {5130, "s:IDS_WARN32BIT"},  // also IDC_INTEGRATIONINTERFACE
        {5117, nullptr},            // only IDC_ASSOCZST
        {5129, nullptr},            // only IDC_ASSOCWITH
        {0, nullptr},
        {1, nullptr},
        {9, nullptr},
        {0xFFFFFFFFu, nullptr},
    };
    for (const Case& c : cases) {
        const char* key = FindKeyForId(c.id);
        if (c.key == nullptr) EXPECT_EQ(nullptr, key) << c.id;
        else EXPECT_STREQ(c.key, key) << c.id;
    }
    for (uint32_t i = 0; i < 28; ++i) EXPECT_STREQ(KeyTable[i].key, FindKeyForId(KeyTable[i].id));
}

TEST_F(Messages, WithoutLanguageFileOrLibraryTextsComeFromTheProgram) {
    LoadLanguageLibrary(GetModuleHandleW(nullptr));
    LoadLanguageFile(L"uninstall.lng");
    EXPECT_FALSE(IsLanguageLibraryLoaded());
    EXPECT_STREQ(L"Uninstall Ombrix", GetMessageText(IDS_UNINSTALLKVA));
    EXPECT_STREQ(L"https://www.ombrix.example/", GetMessageText(IDS_HOMEURL));
    EXPECT_STREQ(L"", GetMessageText(5117));
    EXPECT_STREQ(L"", GetMessageText(5199));
}

TEST_F(Messages, SourcesAreAskedInOrder) {
    LoadFile(WithMarker("IDS_UNINSTTITLE \"Aus der Datei\"\r\nIDS_OMBRIXARC \"\"\r\n"));
    // Without a library: the file, then the program.
    EXPECT_STREQ(L"Aus der Datei", GetMessageText(IDS_UNINSTTITLE));
    EXPECT_STREQ(L"", GetMessageText(IDS_OMBRIXARC));  // an empty text still wins
    EXPECT_STREQ(L"Uninstall Ombrix", GetMessageText(IDS_UNINSTALLKVA));

    // With a library: the file, then the library, then the program for what it lacks.
    InstallLibrary(L"fixtures");
    EXPECT_STREQ(L"Aus der Datei", GetMessageText(IDS_UNINSTTITLE));
    EXPECT_STREQ(L"", GetMessageText(IDS_OMBRIXARC));
    EXPECT_STREQ(L"Ombrix deinstallieren", GetMessageText(IDS_UNINSTALLKVA));
    EXPECT_STREQ(L"M\x00F6" L"chten Sie Ombrix von Ihrem Computer entfernen?", GetMessageText(IDS_CONTINUEUNINSTALL));
    EXPECT_STREQ(L"https://www.ombrix.example/", GetMessageText(IDS_HOMEURL));
    EXPECT_STREQ(L"beta", GetMessageText(IDS_BETA));

    // Released: back to the file and the program.
    ReleaseLanguageLibrary();
    EXPECT_STREQ(L"Uninstall Ombrix", GetMessageText(IDS_UNINSTALLKVA));
    EXPECT_STREQ(L"Aus der Datei", GetMessageText(IDS_UNINSTTITLE));
}

TEST_F(Messages, OnlyMessageRowsOfTheFileAnswer) {
    // The setup dialog's IDC_ASSOCKVA (5101) and IDC_ASSOCZST (5117) are no messages.
    LoadFile(WithMarker(":DIALOG SETUPDLG\r\nIDC_ASSOCKVA kva\r\nIDC_ASSOCZST zst\r\n:STRINGS\r\nIDS_ASSOCZST x\r\n"));
    EXPECT_EQ(3u, LanguageEntryCount());
    EXPECT_STREQ(L"Ombrix setup", GetMessageText(IDS_UNINSTTITLE));
    EXPECT_STREQ(L"", GetMessageText(5117));
    InstallLibrary(L"fixtures");
    EXPECT_STREQ(L"Ombrix-Einrichtung", GetMessageText(IDS_UNINSTTITLE));
}

TEST_F(Messages, EightSlotsThenTheFirstIsReused) {
    const uint32_t ids[] = {IDS_UNINSTTITLE, IDS_OMBRIXHELP, IDS_KVAHELP, IDS_WHATSNEW, IDS_WHATSNEWNAME,
                            IDS_UNINSTALLKVA, IDS_UNINSTALLCOMPLETED, IDS_BETA, IDS_32BIT};
    const wchar_t* texts[9];
    for (int i = 0; i < 9; ++i) texts[i] = GetMessageText(ids[i]);
    std::set<const wchar_t*> distinct(texts, texts + 8);
    EXPECT_EQ(8u, distinct.size());
    EXPECT_EQ(texts[0], texts[8]);
    EXPECT_STREQ(L"32-bit", texts[0]);  // the ninth call overwrote the first text
    EXPECT_STREQ(L"Ombrix help", texts[1]);
    EXPECT_STREQ(L"beta", texts[7]);
}

TEST_F(Messages, LongTextsAreCutToTheBuffer) {
    LoadFile(WithMarker("IDS_UNINSTTITLE " + std::string(2000, 'x')));
    EXPECT_EQ(std::wstring(1023, L'x'), GetMessageText(IDS_UNINSTTITLE));

    wchar_t small[6];
    EXPECT_EQ(small, LoadMessageText(IDS_UNINSTTITLE, small, CountOf(small)));
    EXPECT_STREQ(L"xxxxx", small);
    EXPECT_STREQ(L"Unins", LoadMessageText(IDS_UNINSTALLKVA, small, CountOf(small)));
    wchar_t untouched[1] = {L'q'};
    LoadMessageText(IDS_UNINSTALLKVA, untouched, 0);
    EXPECT_EQ(L'q', untouched[0]);
}

// Texts with printf sequences from a language file or library are formatted the way the
// program formats every translator text: they show as they stand and read one argument only.
TEST_F(Messages, TranslatorTextsWithPercentSignsShowLiterally) {
    LoadFile(WithMarker("IDS_UNINSTALLSHOULDDELETE \"%n%n%x %s %ls%d%p%% %s\"\r\n"));
    const wchar_t* hostile = GetMessageText(IDS_UNINSTALLSHOULDDELETE);
    EXPECT_STREQ(L"%n%n%x %s %ls%d%p%% %s", hostile);
    wchar_t shown[kTextChars];
    FormatWithOneArg(shown, CountOf(shown), hostile, L"C:\\Ombrix\\Uninstall.exe");
    EXPECT_STREQ(L"%n%n%x C:\\Ombrix\\Uninstall.exe %ls%d%p% %s", shown);

    InstallLibrary(L"fixtures");
    const wchar_t* fromLibrary = GetMessageText(IDS_CANNOTOPENLIST);
    EXPECT_STREQ(L"Dateiliste %s fehlt %n%n%x%ls%d%p %%", fromLibrary);
    FormatWithOneArg(shown, CountOf(shown), fromLibrary, L"Uninstall.lst");
    EXPECT_STREQ(L"Dateiliste Uninstall.lst fehlt %n%n%x%ls%d%p %", shown);

    // A UTF-16 file with a text that is nothing but % signs and a cut at the buffer's end.
    LoadFile(Utf16(L"***messages**\r\nIDS_CANNOTOPENLIST ") + Utf16(std::wstring(3000, L'%')));
    EXPECT_EQ(std::wstring(1023, L'%'), GetMessageText(IDS_CANNOTOPENLIST));
    EXPECT_EQ(512, FormatWithOneArg(shown, CountOf(shown), GetMessageText(IDS_CANNOTOPENLIST), L"x"));
    EXPECT_EQ(std::wstring(512, L'%'), std::wstring(shown));
}
