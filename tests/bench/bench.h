// Test bench: starts Uninstall.exe (or any program) under the test's control, watches the
// dialogs and message boxes of it and of the processes it starts, and answers them.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <functional>
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
