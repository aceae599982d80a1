// Screenshots of dialogs and a check of their layout as the user sees it: every visible text
// fits its control and no two controls lie on each other.
#include "tests/bench/bench.h"

namespace bench {

namespace {

// The completion dialog's heading, which the program shows in its bold font of 12 pixels at
// 96 dpi rather than in the dialog font.
const int kBoldHeading = 5109;

// Sizes below are taken in the test process, which is DPI-aware so that it sees the true pixels
// of a program running at another resolution.
void BecomeDpiAware() { SetProcessDPIAware(); }

std::wstring TextOf(HWND window) {
    wchar_t text[2048] = L"";
    GetWindowTextW(window, text, 2048);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

enum class Kind { Group, Check, Push, Static, Other };

Kind KindOf(HWND window) {
    std::wstring name = ClassOf(window);
    LONG style = GetWindowLongW(window, GWL_STYLE);
    if (_wcsicmp(name.c_str(), L"Button") == 0) {
        switch (style & BS_TYPEMASK) {
        case BS_GROUPBOX: return Kind::Group;
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON: return Kind::Push;
        default: return Kind::Check;
        }
    }
    if (_wcsicmp(name.c_str(), L"Static") == 0) {
        int type = style & SS_TYPEMASK;
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_LEFTNOWORDWRAP) return Kind::Static;
    }
    return Kind::Other;
}

struct Control {
    HWND window;
    int id;
    Kind kind;
    RECT rect;  // screen coordinates, the same whatever the dialog's reading direction
    std::wstring text;
};

std::wstring Describe(const Control& c) {
    wchar_t line[128];
    swprintf(line, 128, L"control %d", c.id);
    std::wstring out = line;
    if (!c.text.empty()) out += L" \"" + c.text + L"\"";
    return out;
}

// Width and height of a text drawn in the dialog font at dpi.
SIZE Extent(HDC dc, const std::wstring& text, bool bold, int dpi, UINT flags, int width) {
    int height = bold ? -MulDiv(12, dpi, 96) : -MulDiv(8, dpi, 72);
    HFONT font = CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, L"MS Shell Dlg");
    HGDIOBJ old = SelectObject(dc, font);
    RECT r = {0, 0, width, 0};
    DrawTextW(dc, text.c_str(), -1, &r, flags | DT_CALCRECT);
    SelectObject(dc, old);
    DeleteObject(font);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

}  // namespace

bool CaptureWindow(HWND window, const std::wstring& bmpPath) {
    BecomeDpiAware();
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores its rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (ok) {
        DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
        DWORD imageSize = stride * (DWORD)height;
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
        file.bfSize = file.bfOffBits + imageSize;
        info.bmiHeader.biSizeImage = imageSize;
        std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
        bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
        bytes.append(static_cast<const char*>(bits), imageSize);
        ok = WriteFileBytes(bmpPath, bytes);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

std::vector<std::wstring> LayoutProblems(HWND dialog, int dpi) {
    BecomeDpiAware();
    std::vector<Control> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        // A scroll bar of its own belongs to the control it serves.
        if (!IsWindowVisible(child) || _wcsicmp(ClassOf(child).c_str(), L"ScrollBar") == 0) continue;
        Control c{child, GetDlgCtrlID(child), KindOf(child), {}, TextOf(child)};
        GetWindowRect(child, &c.rect);
        controls.push_back(c);
    }

    std::vector<std::wstring> problems;
    auto report = [&problems](const Control& c, const wchar_t* what, long need, long have) {
        wchar_t numbers[128];
        swprintf(numbers, 128, L": %ls needs %ld px, has %ld px", what, need, have);
        problems.push_back(Describe(c) + numbers);
    };

    HDC dc = GetDC(nullptr);
    // The check mark's room, at the program's resolution rather than the test process's.
    int checkRoom = MulDiv(GetSystemMetrics(SM_CXMENUCHECK), dpi, GetDeviceCaps(dc, LOGPIXELSX)) + MulDiv(4, dpi, 96);
    for (const Control& c : controls) {
        if (c.text.empty() || c.kind == Kind::Other) continue;
        RECT client;
        GetClientRect(c.window, &client);
        bool bold = c.id == kBoldHeading && c.kind == Kind::Static;
        switch (c.kind) {
        case Kind::Check: {
            SIZE s = Extent(dc, c.text, false, dpi, DT_SINGLELINE, 0);
            if (s.cx > client.right - checkRoom) report(c, L"text width", s.cx, client.right - checkRoom);
            if (s.cy > client.bottom) report(c, L"text height", s.cy, client.bottom);
            break;
        }
        case Kind::Push: {
            int room = client.right - MulDiv(6, dpi, 96);
            SIZE s = Extent(dc, c.text, false, dpi, DT_SINGLELINE, 0);
            if (s.cx > room) report(c, L"text width", s.cx, room);
            if (s.cy > client.bottom) report(c, L"text height", s.cy, client.bottom);
            break;
        }
        case Kind::Static: {
            SIZE s = Extent(dc, c.text, bold, dpi, DT_WORDBREAK, client.right);
            if (s.cx > client.right) report(c, L"word width", s.cx, client.right);
            if (s.cy > client.bottom) report(c, L"wrapped height", s.cy, client.bottom);
            break;
        }
        case Kind::Group: {
            int room = (c.rect.right - c.rect.left) - MulDiv(16, dpi, 96);
            SIZE s = Extent(dc, c.text, false, dpi, DT_SINGLELINE, 0);
            if (s.cx > room) report(c, L"caption width", s.cx, room);
            break;
        }
        case Kind::Other: break;
        }
    }
    ReleaseDC(nullptr, dc);

    for (size_t i = 0; i < controls.size(); ++i) {
        for (size_t j = i + 1; j < controls.size(); ++j) {
            const Control& a = controls[i];
            const Control& b = controls[j];
            RECT common;
            if (!IntersectRect(&common, &a.rect, &b.rect)) continue;
            bool aGroup = a.kind == Kind::Group, bGroup = b.kind == Kind::Group;
            // A frame holds controls; it may not cut through one.
            if (aGroup != bGroup && Inside(aGroup ? b.rect : a.rect, aGroup ? a.rect : b.rect)) continue;
            problems.push_back(Describe(a) + L" overlaps " + Describe(b));
        }
    }
    return problems;
}

}  // namespace bench
