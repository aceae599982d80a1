// Tokenizer, switch matching and the run-mode decision of the command line.
#include "app/app.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Tokens(const wchar_t* text, size_t size = 1024) {
    std::vector<std::wstring> tokens;
    std::vector<wchar_t> token(size);
    const wchar_t* p = text;
    while ((p = NextToken(p, token.data(), size)) != nullptr) tokens.push_back(token.data());
    return tokens;
}

// Parses the installer's line, then the program's own, as start-up does.
RunOptions Parse(const wchar_t* installer, const wchar_t* own) {
    g_run = RunOptions();
    SetEnvironmentVariableW(L"sfxcmd", installer);
    ParseInstallerLine();
    ActOnSwitches(own, false);
    return g_run;
}

}  // namespace

TEST(Tokenizer, SplitsOnSpacesAndTabsOnly) {
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c\u3000d"}), Tokens(L"  a\tb   c\u3000d  "));
    EXPECT_TRUE(Tokens(L"").empty());
    EXPECT_TRUE(Tokens(L" \t ").empty());
}

TEST(Tokenizer, QuotesToggleAndDoubleQuotesStoreOne) {
    EXPECT_EQ((std::vector<std::wstring>{L"/inita b", L"x"}), Tokens(L"/init\"a b\" x"));
    EXPECT_EQ((std::vector<std::wstring>{L"say\"hi\""}), Tokens(L"say\"\"hi\"\""));
    // A doubled quote inside quotes stores one quote and keeps the quoting state.
    EXPECT_EQ((std::vector<std::wstring>{L"a \"b c"}), Tokens(L"\"a \"\"b c\""));
    // An unterminated quote runs to the end of the text.
    EXPECT_EQ((std::vector<std::wstring>{L"a b c"}), Tokens(L"\"a b c"));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Program Files\\Ombrix\\Uninstall.exe", L"/S"}),
              Tokens(L"\"C:\\Program Files\\Ombrix\\Uninstall.exe\" /S"));
}

TEST(Tokenizer, LongTokenIsCutAndNextTokenFollowsIt) {
    std::wstring longToken(1500, L'x');
    std::wstring text = longToken + L" next";
    auto tokens = Tokens(text.c_str());
    ASSERT_EQ(2u, tokens.size());
    EXPECT_EQ(std::wstring(1023, L'x'), tokens[0]);
    EXPECT_EQ(L"next", tokens[1]);
}

TEST(Tokenizer, AbsentBufferSkipsToken) {
    const wchar_t* text = L"first second";
    const wchar_t* p = NextToken(text, nullptr, 0);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(L' ', *p);
    wchar_t token[16];
    p = NextToken(p, token, 16);
    EXPECT_STREQ(L"second", token);
    EXPECT_EQ(nullptr, NextToken(p, token, 16));
}

TEST(MatchSwitch, PrefixRules) {
    struct Case {
        const wchar_t* name;
        const wchar_t* word;
        int count;
        bool match;
    } cases[] = {
        {L"setup", L"setup", 5, true},   {L"SETUP", L"setup", 5, true},   {L"setupX", L"setup", 5, true},
        {L"set", L"setup", 5, false},    {L"msiexec", L"msi", 3, true},   {L"ms", L"msi", 3, false},
        {L"noex", L"noexplorer", 4, true}, {L"noexit", L"noexplorer", 4, true}, {L"noe", L"noexplorer", 4, false},
        {L"warn", L"warning", 7, false}, {L"warning", L"warning", 7, true}, {L"Waiting", L"wait", 4, true},
        {L"", L"msi", 3, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.match, MatchSwitch(c.name, c.word, c.count)) << testing::PrintToString(std::wstring(c.name));
    }
}

TEST(RunMode, NoSwitchMeansUninstall) {
    RunOptions r = Parse(L"", L"\"C:\\x\\Uninstall.exe\"");
    EXPECT_TRUE(r.uninstallMode);
    EXPECT_FALSE(r.setupMode);
    EXPECT_FALSE(r.silent);
    r = Parse(L"", L"Uninstall.exe stray words");
    EXPECT_TRUE(r.uninstallMode);
}

TEST(RunMode, SilentFormsDoNotCount) {
    for (const wchar_t* own : {L"u.exe /S", L"u.exe -s", L"u.exe /S2", L"u.exe /s:"}) {
        RunOptions r = Parse(L"", own);
        EXPECT_TRUE(r.silent) << own;
        EXPECT_TRUE(r.uninstallMode) << own;
    }
    RunOptions r = Parse(L"", L"u.exe /Silent");
    EXPECT_FALSE(r.silent);
    EXPECT_FALSE(r.uninstallMode);
    EXPECT_FALSE(r.setupMode);
}

TEST(RunMode, InstallerLineOnlyGivesSilent) {
    RunOptions r = Parse(L"setup.exe /S", L"u.exe /setup");
    EXPECT_TRUE(r.silent);
    EXPECT_TRUE(r.setupMode);
    EXPECT_FALSE(r.uninstallMode);

    r = Parse(L"setup.exe /setup /msi /initA1", L"u.exe");
    EXPECT_TRUE(r.uninstallMode);
    EXPECT_FALSE(r.setupMode);
    EXPECT_FALSE(r.msi);
    EXPECT_STREQ(L"", r.initOptions);
    // Split whole, never cut at 1023 characters: no "/S" made of "/Silent", none lost behind.
    EXPECT_FALSE(Parse((std::wstring(1020, L'x') + L" /Silent").c_str(), L"u.exe").silent);
    EXPECT_TRUE(Parse((std::wstring(1100, L'x') + L" /S").c_str(), L"u.exe").silent);
}

TEST(RunMode, SwitchesWithoutModeRunNeither) {
    for (const wchar_t* own : {L"u.exe /msi", L"u.exe /initX", L"u.exe /noexplorer", L"u.exe /unknown", L"u.exe /",
                               L"u.exe -"}) {
        RunOptions r = Parse(L"", own);
        EXPECT_FALSE(r.uninstallMode) << own;
        EXPECT_FALSE(r.setupMode) << own;
    }
}

TEST(RunMode, SetupAnyCaseAndPrefix) {
    for (const wchar_t* own : {L"u.exe -SETUP", L"u.exe /Setup", L"u.exe /setupnow"}) {
        RunOptions r = Parse(L"", own);
        EXPECT_TRUE(r.setupMode) << own;
        EXPECT_FALSE(r.uninstallMode) << own;
    }
    RunOptions r = Parse(L"", L"u.exe /setup /msi -noex");
    EXPECT_TRUE(r.msi);
    EXPECT_TRUE(r.noExplorer);
}

TEST(InitOptions, ValueQuotingAndCut) {
    EXPECT_STREQ(L"ABC", Parse(L"", L"u.exe /initABC").initOptions);
    EXPECT_STREQ(L"a b", Parse(L"", L"u.exe /init\"a b\"").initOptions);
    EXPECT_STREQ(L"", Parse(L"", L"u.exe /init").initOptions);
    std::wstring fifty(50, L'7');
    std::wstring line = L"u.exe /init" + fifty;
    EXPECT_EQ(std::wstring(39, L'7'), Parse(L"", line.c_str()).initOptions);
    // The last /init wins.
    EXPECT_STREQ(L"D1", Parse(L"", L"u.exe /initA1 /initD1").initOptions);
}

