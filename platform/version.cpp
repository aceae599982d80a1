// Which Windows the program runs on: WOW64, the version number and Windows 11, each asked once.
#include "platform.h"

#include <wbemcli.h>
#include <wchar.h>

namespace {

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE process, PBOOL wow64);

// The WMI locator's class and interface, spelled out so no GUID library has to come first.
const CLSID kClsidWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID kIidWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

int32_t g_wow64 = -1;  // -1: not yet asked, or the last question failed

struct VersionCache {
    int32_t platformId = -1;
    DWORD major = 0;
    DWORD minor = 0;
};
VersionCache g_version;

bool g_win11Computed = false;
bool g_win11 = false;

// The size field must be set; the manifest decides whether versions above 6.2 are told.
bool AskVersion(OSVERSIONINFOW* info) {
    *info = OSVERSIONINFOW();
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    return GetVersionExW(info) != FALSE;
}

}  // namespace

bool IsWow64() {
    if (g_wow64 == -1) {
        HMODULE kernel = GetModuleHandleW(L"kernel32");
        FARPROC proc = kernel != nullptr ? GetProcAddress(kernel, "IsWow64Process") : nullptr;
        auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void (*)()>(proc));
        BOOL wow64 = FALSE;
        if (isWow64Process != nullptr && isWow64Process(GetCurrentProcess(), &wow64))
            g_wow64 = wow64;
    }
    return g_wow64 == 1;
}

uint32_t GetWindowsVersion() {
    if (g_version.platformId == -1) {
        OSVERSIONINFOW info;
        AskVersion(&info);
        g_version.platformId = (int32_t)info.dwPlatformId;
        g_version.major = info.dwMajorVersion;
        g_version.minor = info.dwMinorVersion;
    }
    if (g_version.platformId != VER_PLATFORM_WIN32_NT) return 0x0501;
    return (g_version.major << 8) + g_version.minor;
}

bool OsNameSaysWindows10() {
    ScopedCom<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator,
                                reinterpret_cast<void**>(locator.Receive()))))
        return false;
    ScopedCom<IWbemServices> services;
    ScopedBstr space(SysAllocString(L"ROOT\\CIMV2"));
    if (FAILED(locator->ConnectServer(space.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services.Receive())))
        return false;
    if (FAILED(CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                 RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                 EOAC_NONE)))
        return false;
    ScopedCom<IEnumWbemClassObject> objects;
    ScopedBstr language(SysAllocString(L"WQL"));
    ScopedBstr query(SysAllocString(L"SELECT * FROM Win32_OperatingSystem"));
    if (FAILED(services->ExecQuery(language.Get(), query.Get(),
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                   objects.Receive())))
        return false;
    bool windows10 = false;
    for (;;) {
        ScopedCom<IWbemClassObject> object;
        ULONG returned = 0;
        objects->Next(WBEM_INFINITE, 1, object.Receive(), &returned);
        if (returned == 0 || object.Get() == nullptr) break;
        VARIANT name;
        VariantInit(&name);
        if (SUCCEEDED(object->Get(L"Name", 0, &name, nullptr, nullptr)) && V_VT(&name) == VT_BSTR &&
            V_BSTR(&name) != nullptr && wcsstr(V_BSTR(&name), L"Windows 10") != nullptr)
            windows10 = true;
        VariantClear(&name);
    }
    return windows10;
}

// Windows 11 still reports version 10.0; its build number tells it apart, unless the system
// calls itself Windows 10 with such a build.
bool IsWindows11OrLater() {
    if (g_win11Computed) return g_win11;
    OSVERSIONINFOW info;
    AskVersion(&info);
    if (info.dwMajorVersion > 10) g_win11 = true;
    else if (info.dwMajorVersion == 10 && info.dwBuildNumber >= 22000) g_win11 = !OsNameSaysWindows10();
    else g_win11 = false;
    g_win11Computed = true;
    return g_win11;
}
