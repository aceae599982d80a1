// The language file: marker search in both forms, decoding, the line parser and its limits,
// right-to-left switching, hostile files and a seeded run of mutated files.
#include "langtest.h"

#include <chrono>
#include <random>

using langtest::LanguageTest;
using langtest::Text;
using langtest::Utf16;

namespace {

const char kMarker[] = "*****messages***";

std::string WithMarker(const std::string& body) { return std::string(kMarker) + "\r\n" + body; }

// Exactly n bytes of comment lines, which hold neither a marker nor an entry.
std::string Filler(size_t n) {
    std::string text;
    while (text.size() < n) text += "\n;hhhhhhhh"[text.size() % 10];
    return text;
}

DWORD ProcessLayout() {
    DWORD layout = 0xFFFF;
    GetProcessDefaultLayout(&layout);
    return layout;
}

class LanguageFile : public LanguageTest {};

}  // namespace

TEST_F(LanguageFile, MissingFileLeavesTableEmpty) {
    LoadLanguageFile(L"uninstall.lng");
    EXPECT_EQ(0u, LanguageEntryCount());
    EXPECT_FALSE(IsRightToLeft());
    EXPECT_EQ(L"<absent>", Text("s:IDS_UNINSTTITLE"));
}

TEST_F(LanguageFile, MarkerFormsDecideTheEncoding) {
    struct Case {
        const char* what;
        std::string bytes;
        std::wstring expected;
    } cases[] = {
        {"ANSI after a header", "Ombrix language file\r\n; notes\r\n*****messages***\r\nIDS_UNINSTTITLE abc\r\n", L"abc"},
        {"shortest marker, LF lines, no final line end", "***messages**\nIDS_UNINSTTITLE abc", L"abc"},
        {"UTF-16 with byte-order mark and header",
         Utf16(L"\xFEFFHeader\r\nline 2\r\n*****messages***\r\nIDS_UNINSTTITLE \x05D0\x05D1 c\r\n"), L"\x05D0\x05D1 c"},
        {"UTF-16 marker after an ANSI header", "ansi header\r\n" + Utf16(L"***messages**\nIDS_UNINSTTITLE w"), L"w"},
        {"no marker", "IDS_UNINSTTITLE abc\r\n", L"<absent>"},
        {"too few asterisks", "**messages**\r\nIDS_UNINSTTITLE abc\r\n", L"<absent>"},
        {"the marker's own line is no entry", "***messages** IDS_UNINSTTITLE abc", L"<absent>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadFile(c.bytes);
        EXPECT_EQ(c.expected, Text("s:IDS_UNINSTTITLE"));
    }

    // An ANSI body goes through the system code page.
    LoadFile(WithMarker("IDS_UNINSTTITLE caf\xE9 \xC4"));
    wchar_t expected[16];
    MultiByteToWideChar(CP_ACP, 0, "caf\xE9 \xC4", -1, expected, CountOf(expected));
    EXPECT_EQ(expected, Text("s:IDS_UNINSTTITLE"));
}

TEST_F(LanguageFile, MarkerIsFoundAcrossBlocksWithinTheSearchLimit) {
    struct Case {
        size_t offset;
        bool wide;
        bool found;
    } cases[] = {
        // 8192 - 24 and 8192 - 23: a UTF-16 marker there is tested in no block unless the
        // blocks overlap by the whole 32-byte UTF-16 window.
        {20000, false, true},    {8192 - 6, false, true},  {8192 - 1, false, true}, {8192 - 13, false, true},
        {8192 - 10, true, true}, {8192 - 24, true, true},  {8192 - 23, true, true}, {8192 - 32, true, true},
        {8192 * 5 - 20, true, true}, {1600000, false, true}, {2200000, false, false}, {2200000, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << (c.wide ? " UTF-16" : " ANSI"));
        std::string body = "***messages**\r\nIDS_UNINSTTITLE found\r\n";
        LoadFile(Filler(c.offset) + (c.wide ? Utf16(std::wstring(body.begin(), body.end())) : body));
        EXPECT_EQ(c.found ? L"found" : L"<absent>", Text("s:IDS_UNINSTTITLE"));
    }
}

TEST_F(LanguageFile, LinesSectionsEscapesAndQuotes) {
    struct Case {
        const char* what;
        const char* body;
        const char* key;
        std::wstring expected;
    } cases[] = {
        {"quoted", "IDS_UNINSTTITLE \"abc\"", "s:IDS_UNINSTTITLE", L"abc"},
        {"comma after a dialog header", ":DIALOG SETUPDLG\r\nIDC_ASSOCKVA,abc", "$SETUPDLG:IDC_ASSOCKVA", L"abc"},
        {"tab separator, blanks skipped", "IDS_BETA\t \t b", "s:IDS_BETA", L"b"},
        {"escapes", "IDS_BETA \"a\\tb\\\\c\\\"d\"", "s:IDS_BETA", L"a\tb\\c\"d"},
        {"line break escapes", "IDS_BETA a\\nb\\rc", "s:IDS_BETA", L"a\nb\rc"},
        {"unknown escape stays", "IDS_BETA \\x", "s:IDS_BETA", L"\\x"},
        {"backslash at the end", "IDS_BETA a\\", "s:IDS_BETA", L"a\\"},
        {"spaces inside quotes stay", "IDS_BETA \"  abc  \"", "s:IDS_BETA", L"  abc  "},
        {"trailing blanks go", "IDS_BETA abc \t ", "s:IDS_BETA", L"abc"},
        {"opening quote only", "IDS_BETA \"abc", "s:IDS_BETA", L"abc"},
        {"closing quote only", "IDS_BETA abc\"", "s:IDS_BETA", L"abc"},
        {"empty quotes", "IDS_BETA \"\"", "s:IDS_BETA", L""},
        {"nothing after the separator", "IDS_BETA ", "s:IDS_BETA", L""},
        {"dialog without a name", ":DIALOG\r\nIDOK Fine", "$:IDOK", L"Fine"},
        {"menu section", ":MENU MAIN\r\nIDM_OPEN Open", "@MAIN:IDM_OPEN", L"Open"},
        {"back to strings", ":DIALOG X\r\n:STRINGS\r\nIDS_BETA b", "s:IDS_BETA", L"b"},
        {"lower-case keyword ignored", ":DIALOG X\r\n:strings\r\nIDS_BETA b", "$X:IDS_BETA", L"b"},
        {"keyword must end there", ":DIALOGUE X\r\nIDS_BETA b", "s:IDS_BETA", L"b"},
        {"name ends at a blank", ":DIALOG \t DONEDLG more words\r\nIDOK Fertig", "$DONEDLG:IDOK", L"Fertig"},
        {"semicolon line ignored", ";IDS_BETA b", "s:IDS_BETA", L"<absent>"},
        {"space line ignored", " IDS_BETA b", "s:IDS_BETA", L"<absent>"},
        {"digit line ignored", "1IDS_BETA b", "s:1IDS_BETA", L"<absent>"},
        {"CR LF lines", "IDS_BETA b\r\nIDS_32BIT c\r\n", "s:IDS_32BIT", L"c"},
        {"a line without a separator leaves the next line alone", "TranslatedBy\r\nIDS_BETA b", "s:IDS_BETA", L"b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadFile(WithMarker(c.body));
        EXPECT_EQ(c.expected, Text(c.key));
    }
}

TEST_F(LanguageFile, EveryEntryIsKeptAndFoundByKey) {
    LoadFile(WithMarker("IDS_BETA one\r\nIDS_32BIT two\r\n:DIALOG DONEDLG\r\nIDOK three\r\nIDS_BETA four\r\n"
                        ":STRINGS\r\nIDS_BETA five\r\n"));
    EXPECT_EQ(5u, LanguageEntryCount());
    EXPECT_EQ(L"two", Text("s:IDS_32BIT"));
    EXPECT_EQ(L"three", Text("$DONEDLG:IDOK"));
    EXPECT_EQ(L"four", Text("$DONEDLG:IDS_BETA"));
    std::wstring twice = Text("s:IDS_BETA");
    EXPECT_TRUE(twice == L"one" || twice == L"five");
    // The copy is cut to the caller's buffer and always terminated.
    wchar_t small[3] = {L'x', L'x', L'x'};
    EXPECT_TRUE(FindTextForKey("$DONEDLG:IDOK", small, CountOf(small)));
    EXPECT_STREQ(L"th", small);
}

TEST_F(LanguageFile, KeysNamesValuesAndBodyAreCutToTheirLimits) {
    // A 60-character control name: the key keeps its first 49 bytes.
    std::string name(60, 'N');
    LoadFile(WithMarker(":DIALOG SETUPDLG\r\n" + name + " v"));
    std::string full = "$SETUPDLG:" + name;
    EXPECT_EQ(L"<absent>", Text(full.c_str()));
    EXPECT_EQ(L"v", Text(full.substr(0, 49).c_str()));

    // The separator must lie among the 99 characters from the line start.
    LoadFile(WithMarker(std::string(98, 'K') + " inside"));
    EXPECT_EQ(1u, LanguageEntryCount());
    LoadFile(WithMarker(std::string(99, 'K') + " outside"));
    EXPECT_EQ(0u, LanguageEntryCount());

    // A section name keeps 99 characters.
    LoadFile(WithMarker(":MENU " + std::string(150, 'M') + "\r\nK v"));
    EXPECT_EQ(L"v", Text(("@" + std::string(48, 'M')).c_str()));

    LoadFile(WithMarker("IDS_BETA " + std::string(70000, 'v') + "\r\nIDS_32BIT c"));
    EXPECT_EQ(std::wstring(65536, L'v'), Text("s:IDS_BETA"));
    EXPECT_EQ(L"c", Text("s:IDS_32BIT"));

    // Only the first 1,048,576 characters after the marker count.
    std::string head = "***messages**\r\n";
    std::string body = Filler(1048576 - 20 - head.size() - 1) + "\n";
    body += "IDS_UNINSTTITLE abcdefgh\r\nIDS_BETA late\r\n";
    LoadFile(head + body);
    EXPECT_EQ(L"abcd", Text("s:IDS_UNINSTTITLE"));
    EXPECT_EQ(L"<absent>", Text("s:IDS_BETA"));
    std::wstring wide(head.begin(), head.end());
    wide += std::wstring(body.begin(), body.end());
    LoadFile(Utf16(wide));
    EXPECT_EQ(L"abcd", Text("s:IDS_UNINSTTITLE"));
    EXPECT_EQ(L"<absent>", Text("s:IDS_BETA"));
}

TEST_F(LanguageFile, DirectionHeaderSwitchesTheLayout) {
    struct Case {
        const char* body;
        bool rightToLeft;
    } cases[] = {
        {":DIRECTION RTL", true},
        {":DIRECTION \t RTL  trailing", true},
        {":DIRECTION LTR", false},
        {":DIRECTION rtl", false},
        {":DIRECTION RTLX", false},
        {":direction RTL", false},
        {":DIRECTION RTL\r\n:DIRECTION LTR", false},
        {":DIRECTION LTR\r\n:DIRECTION RTL", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        LoadFile(WithMarker(c.body));
        EXPECT_EQ(c.rightToLeft, IsRightToLeft());
        EXPECT_EQ(c.rightToLeft ? (DWORD)LAYOUT_RTL : 0u, ProcessLayout());
        ResetLanguageTable();
        EXPECT_EQ(0u, ProcessLayout());
    }
}

TEST_F(LanguageFile, LibraryWithRtlDialogMakesTheLanguageRightToLeft) {
    InstallLibrary(L"fixtures-rtl");
    LoadLanguageFile(L"uninstall.lng");
    EXPECT_TRUE(IsRightToLeft());
    // The library cannot be overruled by the file.
    LoadFile(WithMarker(":DIRECTION LTR\r\nIDS_BETA b"));
    EXPECT_TRUE(IsRightToLeft());
    EXPECT_EQ(L"b", Text("s:IDS_BETA"));

    Reset();
    InstallLibrary(L"fixtures");
    LoadLanguageFile(L"uninstall.lng");
    EXPECT_FALSE(IsRightToLeft());
}

TEST_F(LanguageFile, HostileFilesStayWithinTheLimits) {
    // A zero ends the body, in either form.
    const char ansi[] = "IDS_BETA b\0IDS_32BIT c\r\nIDS_64BIT d";
    LoadFile(WithMarker(std::string(ansi, sizeof(ansi) - 1)));
    EXPECT_EQ(L"b", Text("s:IDS_BETA"));
    EXPECT_EQ(1u, LanguageEntryCount());
    const wchar_t wide[] = L"***messages**\nIDS_BETA b\0\nIDS_32BIT c";
    LoadFile(Utf16(std::wstring(wide, CountOf(wide) - 1)));
    EXPECT_EQ(L"b", Text("s:IDS_BETA"));
    EXPECT_EQ(1u, LanguageEntryCount());

    // An odd byte count in UTF-16: the last half character is dropped.
    LoadFile(Utf16(L"***messages**\nIDS_BETA bc") + "A");
    EXPECT_EQ(L"bc", Text("s:IDS_BETA"));

    // Files that end inside the marker or right after it.
    std::string wideMarker = Utf16(L"***messages**");
    for (size_t n = 0; n <= wideMarker.size(); ++n) {
        LoadFile(wideMarker.substr(0, n));
        EXPECT_EQ(0u, LanguageEntryCount());
    }
    LoadFile("***messages**");
    EXPECT_EQ(0u, LanguageEntryCount());

    // Thousands of sections and keys, names far beyond the limits.
    std::string many;
    for (int i = 0; i < 20000; ++i) {
        many += ":DIALOG D" + std::to_string(i) + "\r\nK v" + std::to_string(i) + "\r\n";
    }
    many += ":DIALOG " + std::string(5000, 'L') + "\r\n" + std::string(5000, 'k') + " x\r\n";
    LoadFile(WithMarker(many));
    EXPECT_EQ(20000u, LanguageEntryCount());
    EXPECT_EQ(L"v12345", Text("$D12345:K"));
    EXPECT_EQ(L"v0", Text("$D0:K"));
    EXPECT_EQ(L"v19999", Text("$D19999:K"));
}

// Mutated language files from a fixed seed, for a few seconds: the loader always returns,
// and no look-up writes past the buffer it is given.
TEST_F(LanguageFile, MutatedFilesNeverBreakTheLoader) {
    const unsigned seed = 20240611;
    std::mt19937 random(seed);
    const std::string tokens[] = {"\r", "\n", "\r\n", "\\", "\"", "\\\"", ":DIALOG ", ":STRINGS", ":MENU ",
                                  ":DIRECTION RTL", " ", "\t", ",", std::string(1, '\0'), "*", "***messages**",
                                  "IDS_UNINSTTITLE ", "$SETUPDLG:", "\xFF\xFE", "\x81", "%s%n%x"};
    std::string wideBase = "\xFF\xFE" + Utf16(L"x\r\n***messages**\r\n:DIALOG SETUPDLG\r\nIDOK \"\\tok\\\"\"\r\n"
                                             L"SIZE 120*110\r\n:STRINGS\r\nIDS_BETA b\\n\r\n:DIRECTION RTL\r\n");
    const std::string bases[] = {
        WithMarker(":STRINGS\r\nIDS_UNINSTTITLE \"T\"\r\nIDS_UNINSTALLKVA U\\t\\\\x\r\n:DIALOG DONEDLG\r\n"
                   "IDOK Fertig\r\nCAPTION \"\"\r\n:MENU M\r\nA,b\r\n"),
        wideBase,
        Filler(8180) + WithMarker("IDS_BETA " + std::string(300, 'q')),
        WithMarker(std::string(120, 'K') + "\r\n" + std::string(3000, ':')),
    };

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int iterations = 0;
    for (; iterations < 5000 && std::chrono::steady_clock::now() < deadline; ++iterations) {
        std::string bytes = bases[random() % CountOf(bases)];
        int edits = 1 + (int)(random() % 8);
        for (int e = 0; e < edits; ++e) {
            size_t at = bytes.empty() ? 0 : random() % (bytes.size() + 1);
            switch (random() % 6) {
            case 0:
                if (!bytes.empty()) bytes[at % bytes.size()] = (char)random();
                break;
            case 1:
                bytes.insert(at, tokens[random() % CountOf(tokens)]);
                break;
            case 2:
                bytes.erase(at, random() % 64);
                break;
            case 3:
                bytes.resize(at);
                break;
            case 4:
                bytes.insert(at, std::string(random() % 70000, "v\\ \":\r"[random() % 6]));
                break;
            default:
                if (!bytes.empty()) bytes.insert(at, bytes.substr(random() % bytes.size(), random() % 200));
                break;
            }
        }
        LoadFile(bytes);
        ASSERT_LE(LanguageEntryCount(), bytes.size()) << "seed " << seed << " iteration " << iterations;
        for (uint32_t row = 0; row < KeyTableRows; ++row) {
            wchar_t buffer[40];
            for (wchar_t& c : buffer) c = 0xCCCC;
            if (FindTextForKey(KeyTable[row].key, buffer, 32)) {
                ASSERT_LT(wcsnlen(buffer, 32), 32u) << "seed " << seed << " iteration " << iterations;
            }
            for (size_t k = 32; k < CountOf(buffer); ++k) {
                ASSERT_EQ(0xCCCC, buffer[k]) << "seed " << seed << " iteration " << iterations;
            }
        }
        for (uint32_t id = 5101; id <= 5150; ++id) ASSERT_LT(wcslen(GetMessageText(id)), 1024u);
    }
    EXPECT_GT(iterations, 50);
}
