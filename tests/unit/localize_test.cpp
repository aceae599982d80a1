// Dialog localization on real templates: texts and captions from the language file, scaling
// of centred and other dialogs with their controls, malformed sizes, right-to-left layout.
#include "langtest.h"

#include "resources/resource.h"

#include <algorithm>
#include <climits>
#include <vector>

using langtest::LanguageTest;

namespace {

const wchar_t* g_dialogName = L"";

INT_PTR CALLBACK PreludeDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (DialogPrelude(dialog, message, wParam, lParam, g_dialogName, nullptr)) return TRUE;
    return message == WM_INITDIALOG;
}

// A dialog created from a template the way the program's dialogs are, destroyed at scope end.
struct Dialog {
    Dialog(const wchar_t* name) {
        g_dialogName = name;
        window = CreateDialogParamW(ResourceModule(), name, nullptr, PreludeDialog, 0);
    }
    Dialog(const wchar_t* name, const DLGTEMPLATE* memory) {
        g_dialogName = name;
        window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), memory, nullptr, PreludeDialog, 0);
    }
    ~Dialog() {
        if (window != nullptr) DestroyWindow(window);
    }
    std::wstring Text(int id) const {
        wchar_t text[kTextChars];
        GetDlgItemTextW(window, id, text, CountOf(text));
        return text;
    }
    std::wstring Caption() const {
        wchar_t text[kTextChars];
        GetWindowTextW(window, text, CountOf(text));
        return text;
    }
    HWND window;
};

struct Geometry {
    RECT window;
    std::vector<RECT> children;  // screen rectangles, in the order of the child list
};

Geometry Measure(HWND dialog) {
    Geometry g;
    GetWindowRect(dialog, &g.window);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(child, &r);
        g.children.push_back(r);
    }
    return g;
}

// A rectangle as left, top, width and height.
struct Box {
    long left, top, width, height;
    bool operator==(const Box& o) const {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << "(" << b.left << ", " << b.top << ") " << b.width << "x" << b.height;
}

Box ClientBox(HWND dialog) {
    RECT r;
    GetClientRect(dialog, &r);
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    return {origin.x, origin.y, r.right, r.bottom};
}

Box ChildBox(HWND dialog, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// Puts a dialog at known pixels: its client area 300x200 at the screen's (200, 150), and its
// first control at (10, 20) in the client area, 100x30.
HWND PlaceAtKnownPixels(HWND dialog) {
    RECT window, client;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);
    int frameWidth = (window.right - window.left) - client.right;
    int frameHeight = (window.bottom - window.top) - client.bottom;
    SetWindowPos(dialog, nullptr, 200 - (origin.x - window.left), 150 - (origin.y - window.top), 300 + frameWidth,
                 200 + frameHeight, SWP_NOZORDER);
    HWND first = GetWindow(dialog, GW_CHILD);
    SetWindowPos(first, nullptr, 10, 20, 100, 30, SWP_NOZORDER);
    return first;
}

// An in-memory template without DS_CENTER: a label, a button and a drop-down combo box.
class MemoryTemplate {
public:
    MemoryTemplate() {
        Dword(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        Dword(0);
        Word(3);
        Words({40, 30, 200, 120});
        Word(0);  // no menu
        Word(0);  // default class
        String(L"Memory");
        Word(8);
        String(L"MS Shell Dlg");
        Item(SS_LEFT, 0x0082, 101, L"Label", {7, 7, 100, 10});
        Item(BS_PUSHBUTTON | WS_TABSTOP, 0x0080, 102, L"Button", {7, 24, 60, 14});
        Item(CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0x0085, 103, L"", {7, 44, 100, 60});
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Word(WORD w) { words_.push_back(w); }
    void Words(std::initializer_list<short> values) {
        for (short v : values) Word((WORD)v);
    }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void String(const wchar_t* s) {
        do Word(*s); while (*s++ != 0);
    }
    void Item(DWORD style, WORD atom, WORD id, const wchar_t* text, std::initializer_list<short> box) {
        if (words_.size() % 2 != 0) Word(0);  // items start on a DWORD boundary
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        Words(box);
        Word(id);
        Word(0xFFFF);
        Word(atom);
        String(text);
        Word(0);  // no creation data
    }
    std::vector<WORD> words_;
};

std::vector<int> g_comboHeights;
WNDPROC g_comboProc = nullptr;

LRESULT CALLBACK RecordComboHeight(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGING) {
        const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if ((pos->flags & SWP_NOSIZE) == 0) g_comboHeights.push_back(pos->cy);
    }
    return CallWindowProcW(g_comboProc, window, message, wParam, lParam);
}

class Localize : public LanguageTest {
protected:
    static void SetUpTestSuite() { LoadSystemLibrary(L"riched20.dll"); }
};

std::string WithMarker(const std::string& body) { return "*****messages***\r\n" + body; }

}  // namespace

TEST_F(Localize, EveryDialogRowNamesAControlOfItsTemplate) {
    for (const wchar_t* name : {L"SETUPDLG", L"SETUPCONTEXTITEMS", L"DONEDLG"}) {
        Dialog dialog(name);
        ASSERT_NE(nullptr, dialog.window);
        char prefix[40];
        FormatBoundedNarrow(prefix, CountOf(prefix), "$%ls:", name);
        int rows = 0;
        for (uint32_t i = 0; i < KeyTableRows; ++i) {
            if (strncmp(KeyTable[i].key, prefix, strlen(prefix)) != 0 || KeyTable[i].id == 0) continue;
            EXPECT_NE(nullptr, GetDlgItem(dialog.window, (int)KeyTable[i].id)) << KeyTable[i].key;
            ++rows;
        }
        EXPECT_GT(rows, 7);
    }
}

TEST_F(Localize, TextsAndCaptionsComeFromTheFile) {
    LoadFile(WithMarker(":DIALOG DONEDLG\r\nCAPTION \"Fertig!\"\r\nIDC_THANKS \"Danke\\tsch\xF6n\"\r\n"
                        "IDC_INSTFOLDERPATH \"not a listed control\"\r\nIDS_BETA b\r\n"
                        ":DIALOG SETUPDLG\r\nIDC_ASSOCKVA KVA-Archive\r\nIDHELP &Hilfe\r\n"
                        ":DIALOG SETUPCONTEXTITEMS\r\nCAPTION \"\"\r\nIDCANCEL Abbrechen\r\n"));
    {
        Dialog done(L"DONEDLG");
        EXPECT_EQ(L"Fertig!", done.Caption());
        wchar_t expected[32];
        MultiByteToWideChar(CP_ACP, 0, "Danke\tsch\xF6n", -1, expected, CountOf(expected));
        EXPECT_EQ(expected, done.Text(IDC_THANKS));
        EXPECT_EQ(L"", done.Text(IDC_INSTFOLDERPATH));
        EXPECT_EQ(L"Read &help", done.Text(IDC_VIEWHELP));
    }
    {
        Dialog setup(L"SETUPDLG");
        EXPECT_EQ(L"Ombrix setup", setup.Caption());
        EXPECT_EQ(L"KVA-Archive", setup.Text(IDC_ASSOCKVA));
        EXPECT_EQ(L"&Hilfe", setup.Text(IDHELP));
        EXPECT_EQ(L"ZIP", setup.Text(IDC_ASSOCZIP));
    }
    {
        Dialog items(L"SETUPCONTEXTITEMS");
        EXPECT_EQ(L"", items.Caption());
        EXPECT_EQ(L"Abbrechen", items.Text(IDCANCEL));
        EXPECT_EQ(L"OK", items.Text(IDOK));
    }
}

TEST_F(Localize, DialogsAndControlsGrowByTheLanguagesPercentages) {
    // Sizes are taken one pixel larger than they are (inclusive), so a 100-pixel width at 150 %
    // becomes 151; the control's top is measured from below the caption's frame line, one
    // pixel higher than the client area. A centred dialog keeps its centre, another its corner.
    struct Case {
        const wchar_t* dialog;
        const char* size;
        Box client;
        Box control;
    } cases[] = {
        {L"DONEDLG", "150*200", {125, 50, 451, 401}, {15, 38, 151, 62}},
        {L"DONEDLG", "120*100", {170, 150, 361, 201}, {12, 19, 121, 31}},
        {L"DONEDLG", "80*90", {230, 160, 241, 181}, {8, 17, 80, 27}},
        {L"MEMDLG", "150*200", {200, 150, 451, 401}, {15, 38, 151, 62}},
        {L"MEMDLG", "100*100", {200, 150, 300, 200}, {10, 20, 100, 30}},
    };
    MemoryTemplate memory;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dialog << " " << c.size);
        ResetLanguageTable();
        Dialog dialog = wcscmp(c.dialog, L"MEMDLG") == 0 ? Dialog(c.dialog, memory.Get()) : Dialog(c.dialog);
        ASSERT_NE(nullptr, dialog.window);
        HWND control = PlaceAtKnownPixels(dialog.window);
        ASSERT_EQ((Box{200, 150, 300, 200}), ClientBox(dialog.window));
        ASSERT_EQ((Box{10, 20, 100, 30}), ChildBox(dialog.window, control));
        LoadFile(WithMarker(std::string(":DIALOG ") + (c.dialog[0] == L'M' ? "MEMDLG" : "DONEDLG") + "\r\nSIZE " +
                            c.size + "\r\n"));
        LocalizeDialog(dialog.window, c.dialog);
        EXPECT_EQ(c.client, ClientBox(dialog.window));
        EXPECT_EQ(c.control, ChildBox(dialog.window, control));
    }
}

TEST_F(Localize, ComboBoxIsGivenItsListToo) {
    MemoryTemplate memory;
    Dialog dialog(L"MEMDLG", memory.Get());
    ASSERT_NE(nullptr, dialog.window);
    HWND combo = GetDlgItem(dialog.window, 103);
    RECT own, list;
    GetWindowRect(combo, &own);
    SendMessageW(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&list));
    // A combo box keeps its own height and takes the rest as its list, so the height it
    // is given shows only in the size change that Windows sends it.
    g_comboHeights.clear();
    g_comboProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(combo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordComboHeight)));

    LoadFile(WithMarker(":DIALOG MEMDLG\r\nSIZE 100*200\r\nCAPTION Speicher"));
    LocalizeDialog(dialog.window, L"MEMDLG");
    EXPECT_EQ(L"Speicher", dialog.Caption());
    ASSERT_FALSE(g_comboHeights.empty());
    // Twice its own height and twice its list's.
    long ownHeight = own.bottom - own.top;
    long listHeight = list.bottom - list.top;
    EXPECT_GE(g_comboHeights[0], 2 * (ownHeight + listHeight));
    EXPECT_LE(g_comboHeights[0], 2 * (ownHeight + listHeight) + 4);
}

TEST_F(Localize, MalformedOrNeutralSizesChangeNothing) {
    Geometry plain;
    {
        Dialog done(L"DONEDLG");
        plain = Measure(done.window);
    }
    for (const char* size : {"100*100", "120", "0*120", "120*0", "-120*120", "120*-5", "abc*120", "*", "\"\"",
                             "\" 120*110\""}) {
        SCOPED_TRACE(size);
        LoadFile(WithMarker(std::string(":DIALOG DONEDLG\r\nSIZE ") + size));
        int w = 0;
        int h = 0;
        EXPECT_FALSE(GetDialogScale(L"DONEDLG", &w, &h));
        Dialog done(L"DONEDLG");
        Geometry now = Measure(done.window);
        EXPECT_TRUE(EqualRect(&plain.window, &now.window));
        ASSERT_EQ(plain.children.size(), now.children.size());
        for (size_t i = 0; i < now.children.size(); ++i) EXPECT_TRUE(EqualRect(&plain.children[i], &now.children[i]));
    }
    struct Valid {
        const char* size;
        int w;
        int h;
    } valid[] = {{"120*110", 120, 110}, {"120*110x", 120, 110}, {"100*101", 100, 101}, {"99999999999*5", INT_MAX, 5}};
    for (const Valid& v : valid) {
        LoadFile(WithMarker(std::string(":DIALOG DONEDLG\r\nSIZE ") + v.size));
        int w = 0;
        int h = 0;
        EXPECT_TRUE(GetDialogScale(L"DONEDLG", &w, &h)) << v.size;
        EXPECT_EQ(v.w, w);
        EXPECT_EQ(v.h, h);
    }
    // An absurd percentage still gives a dialog, never an overflow.
    Dialog huge(L"DONEDLG");
    EXPECT_NE(nullptr, huge.window);
}

TEST_F(Localize, RightToLeftLanguageMirrorsDialogs) {
    Dialog before(L"DONEDLG");
    ApplyRtlLayout(before.window);
    EXPECT_EQ(0, GetWindowLongW(before.window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);

    LoadFile(WithMarker(":DIRECTION RTL\r\n:DIALOG DONEDLG\r\nIDC_THANKS shalom"));
    ApplyRtlLayout(before.window);
    EXPECT_NE(0, GetWindowLongW(before.window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    {
        Dialog mirrored(L"DONEDLG");
        EXPECT_NE(0, GetWindowLongW(mirrored.window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
        EXPECT_EQ(L"shalom", mirrored.Text(IDC_THANKS));
    }

    ResetLanguageTable();
    Dialog after(L"DONEDLG");
    EXPECT_EQ(0, GetWindowLongW(after.window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
}
