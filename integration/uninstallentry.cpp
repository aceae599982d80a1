// The uninstall entry: the archiver in the system's list of installed programs.
#include "integration/integration.h"

#include "resources/resource.h"

namespace {

enum : int32_t { kVersionMajor = 6, kVersionMinor = 24, kBetaNumber = 1 };

const wchar_t kUninstallKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix archiver";

}  // namespace

void FormatDisplayName(wchar_t* text, size_t capacity) {
    if (capacity == 0) return;
    wchar_t piece[100];
    if (text[0] != 0) AppendString(text, L" ", capacity);
    FormatBounded(piece, CountOf(piece), L"%d.%02d", kVersionMajor, kVersionMinor);
    AppendString(text, piece, capacity);
    FormatBounded(piece, CountOf(piece), L" %ls %d", GetMessageText(IDS_BETA), kBetaNumber);
    AppendString(text, piece, capacity);
    FormatBounded(piece, CountOf(piece), L" (%ls)", GetMessageText(IDS_32BIT));
    AppendString(text, piece, capacity);
}

void WriteUninstallEntry() {
    wchar_t text[kPathChars];
    CopyString(text, L"Ombrix", CountOf(text));
    FormatDisplayName(text, CountOf(text));
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", text);
    FormatBounded(text, CountOf(text), L"%d.%02d.%d", kVersionMajor, kVersionMinor, kBetaNumber);
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion", text);
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"VersionMajor", kVersionMajor);
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"VersionMinor", kVersionMinor);

    wchar_t program[kPathChars];
    DWORD length = GetModuleFileNameW(nullptr, program, (DWORD)CountOf(program));
    if (length == 0 || length >= CountOf(program)) return;
    // Quoted: unquoted, Windows would start "C:\Program.exe" for a path under "C:\Program Files".
    wchar_t command[kPathChars + 8];
    FormatBounded(command, CountOf(command), L"\"%ls\"", program);
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", command);
    AppendString(command, L" /S", CountOf(command));
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString", command);

    wchar_t folder[kPathChars];
    FolderPart(program, folder, CountOf(folder));
    ReadSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", text, L"", CountOf(text));
    if (text[0] == 0 || !FileExists(text)) {
        JoinPath(folder, L"Ombrix.exe", text, CountOf(text));
        WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", text);
    }
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", folder);
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoModify", 1);
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoRepair", 1);
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"Language", 0);
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher", L"Talvenor GmbH");
}

void RemoveUninstallEntry() { DeleteSettingKey(HKEY_LOCAL_MACHINE, kUninstallKey); }
