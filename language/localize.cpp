// Dialog localization: texts, caption and size from the language file, right-to-left layout
// and the help topic of F1 and the Help button, applied by every dialog procedure first.
#include "language.h"

#include <limits.h>
#include <string.h>

namespace {

enum : int { kMaxChildren = 512 };

// Forms the narrow key "$<dialog>:<name>", or the prefix "$<dialog>:" when name is null.
void DialogKey(const wchar_t* dialogName, const wchar_t* name, char* out, size_t capacity) {
    wchar_t wide[80];
    if (name != nullptr) FormatBounded(wide, CountOf(wide), L"$%ls:%ls", dialogName, name);
    else FormatBounded(wide, CountOf(wide), L"$%ls:", dialogName);
    char narrow[CountOf(wide) * 4];  // room for any code page's longest form
    if (!AnsiFromWide(wide, narrow, CountOf(narrow))) narrow[0] = 0;
    CopyStringA(out, narrow, capacity);
}

// An optional minus sign and decimal digits; saturates instead of overflowing.
int ReadPercent(const wchar_t* text) {
    bool negative = *text == L'-';
    if (negative) ++text;
    int64_t value = 0;
    for (; IsDecimalDigit(*text); ++text) {
        if (value < INT_MAX) value = value * 10 + (*text - L'0');
    }
    if (value > INT_MAX) value = INT_MAX;
    return negative ? -(int)value : (int)value;
}

// Scales a size or position; wide arithmetic keeps absurd percentages from overflowing.
int Scale(int value, int percent) {
    int64_t scaled = (int64_t)value * percent / 100;
    if (scaled > INT_MAX) return INT_MAX;
    if (scaled < INT_MIN) return INT_MIN;
    return (int)scaled;
}

int Add(int a, int b) {
    int64_t sum = (int64_t)a + b;
    return sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : (int)sum;
}

bool IsDropDownCombo(HWND child) {
    wchar_t className[kPathChars];
    if (GetClassNameW(child, className, CountOf(className)) == 0) return false;
    if (CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, className, -1, L"COMBOBOX", -1) !=
        CSTR_EQUAL) {
        return false;
    }
    return (GetWindowLongW(child, GWL_STYLE) & 3) != CBS_SIMPLE;
}

void ScaleChildren(HWND dialog, int widthPercent, int heightPercent, int frameWidth, int frameHeight) {
    RECT d;
    GetWindowRect(dialog, &d);
    int captionHeight = frameHeight - GetSystemMetrics(SM_CYDLGFRAME);
    HWND first = GetWindow(dialog, GW_CHILD);
    HWND child = first;
    for (int n = 0; child != nullptr && n < kMaxChildren; ++n) {
        RECT r;
        GetWindowRect(child, &r);
        int x = Scale(r.left - frameWidth / 2 - d.left, widthPercent);
        int y = Scale(r.top - captionHeight - d.top, heightPercent);
        int width = Scale(r.right - r.left + 1, widthPercent);
        int height = Scale(r.bottom - r.top + 1, heightPercent);
        if (IsDropDownCombo(child)) {
            // Systems differ in what this message returns; an untouched rectangle adds nothing.
            RECT list = {0, 0, 0, -1};
            SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&list));
            height = Add(height, Scale(list.bottom - list.top + 1, heightPercent));
        }
        SetWindowPos(child, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOOWNERZORDER);
        child = GetWindow(child, GW_HWNDNEXT);
        if (child == first) break;
    }
}

}  // namespace

bool GetDialogScale(const wchar_t* dialogName, int* widthPercent, int* heightPercent) {
    char key[80];
    DialogKey(dialogName, L"SIZE", key, CountOf(key));
    wchar_t text[512];
    if (!FindTextForKey(key, text, CountOf(text))) return false;
    const wchar_t* star = wcschr(text, L'*');
    if (star == nullptr) return false;
    int width = ReadPercent(text);
    int height = ReadPercent(star + 1);
    if (width <= 0 || height <= 0 || (width == 100 && height == 100)) return false;
    *widthPercent = width;
    *heightPercent = height;
    return true;
}

void ApplyRtlLayout(HWND window) {
    if (!IsRightToLeft()) return;
    SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYOUTRTL);
}

void LocalizeDialog(HWND dialog, const wchar_t* dialogName) {
    char prefix[80];
    DialogKey(dialogName, nullptr, prefix, CountOf(prefix));
    size_t prefixLength = strlen(prefix);
    wchar_t text[kTextChars];
    for (uint32_t i = 0; i < KeyTableRows; ++i) {
        const KeyRow& row = KeyTable[i];
        if (row.id == 0 || strncmp(row.key, prefix, prefixLength) != 0) continue;
        if (FindTextForKey(row.key, text, CountOf(text))) SetDlgItemTextW(dialog, (int)row.id, text);
    }

    int widthPercent = 0;
    int heightPercent = 0;
    bool scaled = GetDialogScale(dialogName, &widthPercent, &heightPercent);

    // Sizes here are one more than the true ones; every formula below uses them alike.
    RECT window;
    RECT client;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    int outerWidth = window.right - window.left + 1;
    int outerHeight = window.bottom - window.top + 1;
    int frameWidth = outerWidth - (client.right - client.left);
    int frameHeight = outerHeight - (client.bottom - client.top);

    if (scaled) {
        int width = Add(Scale(client.right - client.left, widthPercent), frameWidth);
        int height = Add(Scale(client.bottom - client.top, heightPercent), frameHeight);
        int left = Add(window.left, (int)(((int64_t)outerWidth - width) / 2));
        int top = Add(window.top, (int)(((int64_t)outerHeight - height) / 2));
        if (left < 0) left = 0;
        if (top < 0) top = 0;
        UINT flags = SWP_NOZORDER | SWP_NOOWNERZORDER;
        // A centred dialog stays centred on its old centre; any other keeps its corner.
        if ((GetWindowLongW(dialog, GWL_STYLE) & DS_CENTER) == 0) flags |= SWP_NOMOVE;
        SetWindowPos(dialog, nullptr, left, top, width, height, flags);
    }

    char key[80];
    DialogKey(dialogName, L"CAPTION", key, CountOf(key));
    if (FindTextForKey(key, text, CountOf(text))) SetWindowTextW(dialog, text);

    if (scaled) ScaleChildren(dialog, widthPercent, heightPercent, frameWidth, frameHeight);
}

bool DialogPrelude(HWND dialog, UINT message, WPARAM wParam, LPARAM, const wchar_t* dialogName,
                   const wchar_t* helpTopic) {
    switch (message) {
    case WM_SETFONT:
        ApplyRtlLayout(dialog);
        return false;
    case WM_INITDIALOG:
        LocalizeDialog(dialog, dialogName);
        return false;
    case WM_HELP:
        if (helpTopic != nullptr) ShowHelp(dialog, helpTopic);
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDHELP && helpTopic != nullptr) ShowHelp(dialog, helpTopic);
        return false;
    }
    return false;
}
