// The uninstall entry: the archiver in the system's list of installed programs, and where the
// archiver lies now and before.
#include "integration/integration.h"

#include "resources/resource.h"

namespace {

enum : int32_t { kVersionMajor = 6, kVersionMinor = 24, kBetaNumber = 1 };

const wchar_t kUninstallKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ombrix archiver";

// Where the archiver was installed before this setup, when that is another folder.
wchar_t g_previousFolder[kPathChars];

bool SameFolderName(const wchar_t* a, const wchar_t* b) {
    wchar_t x[kPathChars], y[kPathChars];
    CopyString(x, a, CountOf(x));
    CopyString(y, b, CountOf(y));
    AddTrailingBackslash(x, CountOf(x));
    AddTrailingBackslash(y, CountOf(y));
    return CompareNoCase(x, y) == 0;
}

// One folder however it is named; by its name where it cannot be opened (gone since).
bool SameFolder(const wchar_t* a, const wchar_t* b) {
    int same = CompareObjects(a, b);
    return same < 0 ? SameFolderName(a, b) : same == 1;
}

// What Apps & features shows as the size: the files the list names in the program folder, in
// KiB rounded up.
DWORD ListedKilobytes(const wchar_t* programFolder) {
    wchar_t folder[kPathChars], listPath[kPathChars];
    CopyString(folder, programFolder, CountOf(folder));
    AddTrailingBackslash(folder, CountOf(folder));
    if (!JoinWhole(folder, kListName, listPath, CountOf(listPath))) return 0;
    ScopedStream list(OpenStream(listPath, L"rb"));
    if (!list.IsSet()) return 0;
    uint64_t bytes = 0;
    char line[kPathChars];
    ListLine kind;
    while ((kind = ReadListLine(list.Get(), line, CountOf(line))) != ListLine::End) {
        wchar_t path[kPathChars];
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (kind == ListLine::Entry && TrimListEntry(line) && MakeEntryPath(folder, line, path, CountOf(path)) &&
            GetFileAttributesExW(path, GetFileExInfoStandard, &data) && !IsFolderAttr(data.dwFileAttributes))
            bytes += (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    }
    uint64_t kilobytes = (bytes + 1023) / 1024;
    return kilobytes > MAXDWORD ? MAXDWORD : (DWORD)kilobytes;
}

}  // namespace

bool ArchiverPath(wchar_t* out, size_t capacity) {
    bool known = ProgramPath(out, capacity);
    ReplaceNamePart(out, L"Ombrix.exe", capacity);
    return known;
}

bool ReadInstallLocation(wchar_t* out, size_t capacity) {
    return ReadSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", L"", out, capacity) && out[0] != 0;
}

void NotePreviousInstallFolder() {
    wchar_t own[kPathChars];
    ProgramFolder(own, CountOf(own));
    if (!ReadInstallLocation(g_previousFolder, CountOf(g_previousFolder)) || SameFolder(g_previousFolder, own))
        g_previousFolder[0] = 0;
}

bool IsPreviousArchiver(const wchar_t* path) {
    wchar_t folder[kPathChars];
    CopyString(folder, path, CountOf(folder));
    CutNamePart(folder);
    return g_previousFolder[0] != 0 && CompareNoCase(NamePart(path), L"Ombrix.exe") == 0 &&
           SameFolder(folder, g_previousFolder);
}

bool IsStaleLocation(const wchar_t* location) {
    // An icon location is "path,index".
    wchar_t path[kPathChars];
    CopyString(path, location, CountOf(path));
    wchar_t* comma = wcsrchr(path, L',');
    if (comma != nullptr && comma > NamePart(path)) *comma = 0;
    return IsPreviousArchiver(path) || (CompareNoCase(NamePart(path), L"Ombrix.exe") == 0 && !PathExists(path));
}

bool IsAnotherInstallation() {
    wchar_t location[kPathChars], own[kPathChars], program[kPathChars];
    ProgramFolder(own, CountOf(own));
    // Only a folder known to be another object is another installation's: taken for one by
    // mistake, the registrations would stay behind naming a program that is gone.
    if (!ReadInstallLocation(location, CountOf(location)) || CompareObjects(location, own) != 0) return false;
    JoinPath(location, L"Ombrix.exe", program, CountOf(program));
    return PathExists(program);
}

void FormatVersion(wchar_t* text, size_t capacity) {
    FormatBounded(text, capacity, L"%d.%02d.%d", kVersionMajor, kVersionMinor, kBetaNumber);
}

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
    FormatVersion(text, CountOf(text));
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion", text);
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"VersionMajor", kVersionMajor);
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"VersionMinor", kVersionMinor);

    wchar_t program[kPathChars];
    if (!ProgramPath(program, CountOf(program))) return;
    // Quoted: unquoted, Windows would start "C:\Program.exe" for a path under "C:\Program Files".
    wchar_t command[kPathChars + 8];
    FormatBounded(command, CountOf(command), L"\"%ls\"", program);
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", command);
    AppendString(command, L" /S", CountOf(command));
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString", command);

    // The folder with its trailing backslash, which the entry names and the list's entries follow.
    wchar_t folder[kPathChars];
    FolderPart(program, folder, CountOf(folder));
    ReadSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", L"", text, CountOf(text));
    if (text[0] == 0 || !PathExists(text) || IsStaleLocation(text)) {
        JoinPath(folder, L"Ombrix.exe", text, CountOf(text));
        WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", text);
    }
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", folder);
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoModify", 1);
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoRepair", 1);
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"Language", 0);
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher", L"Talvenor GmbH");
    // What Apps & features and deployment tools show beside the name.
    WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize", (int32_t)ListedKilobytes(folder));
    SYSTEMTIME today;
    GetLocalTime(&today);
    FormatBounded(text, CountOf(text), L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallDate", text);
    WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"URLInfoAbout", GetMessageText(IDS_HOMEURL));
}

void RemoveUninstallEntry() { DeleteSettingKey(HKEY_LOCAL_MACHINE, kUninstallKey); }
