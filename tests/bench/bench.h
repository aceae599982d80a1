// Test bench: starts Uninstall.exe (or any program) under the test's control, watches the
// dialogs and message boxes of it and of the processes it starts, and answers them.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <functional>
#include <list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// A dialog or message box that appeared during a run.
struct WindowSeen {
    HWND window;
    std::wstring className;
    std::wstring caption;
    std::wstring text;  // the message text of a message box (its static text), else empty
    DWORD processId;
};

// Called once for each new top-level dialog; it clicks something or leaves it open.
using Handler = std::function<void(const WindowSeen& seen)>;

struct RunResult {
    DWORD exitCode = 0;
    DWORD millis = 0;
    bool started = false;
    bool timedOut = false;
    std::vector<WindowSeen> windows;
};

struct RunSpec {
    std::wstring program;   // default: the program under test
    std::wstring arguments; // appended after the quoted program path
    std::wstring folder;    // current directory; default: inherited
    std::vector<std::pair<std::wstring, std::wstring>> environment;  // added or replaced
    Handler handler;        // default: press the default answer of every box
    DWORD timeoutMillis = 60000;
    bool waitForChildren = false;  // also wait until every process it started has ended
};

RunResult Run(const RunSpec& spec);
// Reserves all of a running 32-bit process's free address space but about `left` bytes, so
// that its next larger allocations fail; false when the process cannot be opened.
bool ReserveAddressSpace(DWORD processId, size_t left);

// The answers a handler can give.
void Press(HWND dialog, int id);
// A handler that answers boxes in order with the given ids (IDYES, IDNO, IDOK ...);
// when the list runs out it presses IDOK/IDCANCEL.
Handler Answer(std::vector<int> ids);

std::wstring ProgramUnderTest();  // build\Uninstall.exe
std::wstring BuildFolder();        // build
std::wstring TestsFolder();        // build\tests
// A fresh, empty scratch folder (under the Wine temp folder), named after the test.
std::wstring ScratchFolder(const std::wstring& name);
// The guard of every recursive or list-driven deletion in the tests, stand-ins, demo and
// benchmark. Under Wine drive Z: is the whole Linux file system, so only the prefix's drive C:
// (below its top-level folders) and the build tree's scratch folder may be deleted from; a
// root, a relative or empty path, a device or "\\?\" form and any ".." component are refused.
bool MayDelete(const std::wstring& path);
std::wstring BuildScratchFolder();  // build\scratch
// Deletes a file or a whole tree (links removed, never entered); nothing when MayDelete refuses.
void RemoveTree(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool PathExists(const std::wstring& path);
std::wstring Narrow2Wide(const std::string& s);
std::string Utf8(const std::wstring& text);

// Key or value path (or file path) -> type and data (or size), for the registry below Software
// in both views of HKLM and HKCU, and for all of drive C:.
using Snapshot = std::map<std::wstring, std::wstring>;
Snapshot TakeSnapshot();
// The differences that Windows and Wine make by themselves while programs run (shell caches,
// Wine's own keys, its system folder) and the shared temporary folder, listed by name.
bool IsWindowsOwnChange(const std::wstring& path);
// "gone: ", "changed: " and "left: " lines for every path the filter does not allow.
std::vector<std::wstring> Differences(const Snapshot& before, const Snapshot& after,
                                      const std::function<bool(const std::wstring&)>& allowed);

}  // namespace bench

namespace bench {
// The program initialises COM at start-up; a test has to do it itself.
class ComScope {
public:
    ComScope() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComScope() {
        if (ok_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool ok_;
};
}  // namespace bench

// The registry (tests/bench/registry.cpp). view is 0 for the process's own, or KEY_WOW64_64KEY or
// KEY_WOW64_32KEY; the readers give what Windows holds, so a case asserts on it at its own line.
namespace bench {

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0);
// The value's type and bytes; false when the key or the value is missing.
bool ReadValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD* type, std::string* bytes,
               REGSAM view = 0);
// A REG_SZ value's text, to its first terminator or the end of its bytes; false when missing or of
// another type.
bool ReadText(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring* text, REGSAM view = 0);
// A REG_DWORD of four bytes; false for anything else.
bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD* value, REGSAM view = 0);
// "missing", a terminated REG_SZ's text ("unterminated:" and the text without its terminator),
// "dword:N", or "type N" for any other value.
std::wstring ValueText(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view = 0);
// The setters create the key where needed and give the registry's status.
LONG SetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size,
              REGSAM view = 0);
LONG SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text, REGSAM view = 0);
LONG SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value, REGSAM view = 0);
void DeleteValue(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view = 0);
// A test's key with everything below it; refused for an empty path and a key right below HKCU or HKLM.
void DeleteKeyTree(HKEY root, const std::wstring& path, REGSAM view = 0);
// Only while the key holds neither subkeys nor values.
void DeleteKeyIfEmpty(HKEY root, const std::wstring& path, REGSAM view = 0);

// One value as it stands, put back exactly (or removed again) when the scope ends; keys on its path
// that did not exist before go again once they are empty.
class SavedValue {
public:
    SavedValue(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view = 0);
    ~SavedValue();
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

private:
    HKEY root_;
    std::wstring path_, name_;
    REGSAM view_;
    bool had_ = false;
    DWORD type_ = 0;
    std::string bytes_;
    size_t existing_ = 0;  // how much of the path named keys that existed
};

// Wine reports the registry's version to a program that declares Windows 10 support: 10.0 and the
// build, in both views, until the scope ends (22631 and later is Windows 11).
class ReportedVersion {
public:
    explicit ReportedVersion(const wchar_t* build);

private:
    std::list<SavedValue> saved_;
};

}  // namespace bench

// For tests that only mean something for the 32-bit program under WOW64.
#define SKIP_ON_X64_TEST_BUILD()                                                               \
    do {                                                                                       \
        if (sizeof(void*) == 8)                                                                \
            GTEST_SKIP() << "needs the 32-bit program under WOW64; this is the x86_64 test build"; \
    } while (0)

// Screenshots and layout checks of a running program's dialogs (tests/bench/capture.cpp).
namespace bench {

// Copies the window's screen rectangle into a 24-bit BMP file.
bool CaptureWindow(HWND window, const std::wstring& bmpPath);
// One readable line for each visible control whose text does not fit in the dialog font at dpi,
// and for each two visible controls that overlap (a group box may hold controls).
std::vector<std::wstring> LayoutProblems(HWND dialog, int dpi);

}  // namespace bench
