// Windows registrations shared by setup and uninstall: options, associations, templates,
// shell extension and App Paths, shortcuts, the uninstall entry.
#pragma once

#include "../settings/settings.h"
#include "../shell/shell.h"

/* options.cpp */
enum : uint32_t { kExtensionRows = 18, kAssociateFlags = 20, kExtensionChars = 50 };

// The user's integration choices; all false is the removal record.
struct IntegrationOptions {
    bool associate[kAssociateFlags];
    bool linkDesktop;
    bool linkStartMenu;
    bool linkPrograms;
    bool shellExt;
    bool cascadedMenu;
    bool menuIcons;
    bool legacyMenu;
};

struct ExtensionRow {
    const wchar_t* list;      // one or more extensions, each beginning with "."
    uint32_t control;         // the setup dialog's check box
    const wchar_t* fileType;  // the file type the row's extensions are bound to
};
extern const ExtensionRow ExtensionTable[kExtensionRows];
enum : uint32_t { kKvaRow = 0, kZipRow = 1, kJarRow = 11, kIsoRow = 12 };

// Splits an extension list: copies the next extension into `out` (kExtensionChars) and returns
// the rest of the list, or nullptr when no extension is left.
const wchar_t* NextExtension(const wchar_t* list, wchar_t* out, size_t capacity);
void LoadIntegrationOptions(IntegrationOptions* options);
void SaveIntegrationOptions(const IntegrationOptions& options);
void ApplyInitOptions(const wchar_t* text, IntegrationOptions* options);

/* associations.cpp */
bool IsOwnFileType(const wchar_t* extension);
// False when the first write was refused with ERROR_ACCESS_DENIED.
bool RegisterFileTypes();
void BindAllExtensions(const IntegrationOptions& options);
void BindExtension(const wchar_t* extension, bool selected, bool shellExtWanted, bool isKva, bool isZip);
// Gives ".rev" back as it was before setup bound it to the recovery-volume type.
void GiveBackRecoveryExtension();

/* remember.cpp */
// Which record of an extension's previous state the give-back trusts.
enum class PreviousRecord {
    None,     // nothing was kept
    Machine,  // setup's record, kept machine-wide where only administrators can write
    User,     // an older installation's per-user texts, taken only in the forms they were written in
};
// What an extension looked like before the archiver took it over, as its record says.
struct PreviousState {
    PreviousRecord record = PreviousRecord::None;
    bool existed = false;              // the extension's key existed
    wchar_t type[kRegPathChars] = {};  // the default value as a file type; "" when none or not text
    // The machine-wide record alone keeps the default value and the "New" entry exactly; each
    // only when it reads whole.
    bool defaultKept = false;
    bool defaultExisted = false;
    StoredValue defaultValue;
    bool shellNewKept = false;
    bool shellNewExisted = false;
    BoundedArray<wchar_t> shellNewList;  // the kept values, read through NextKeptShellNewValue
    // The per-user form of the "New" entry: its "FileName", "*" for "NullFile", or "".
    wchar_t shellNewText[kPathChars] = {};
};
// Keeps the extension's state before the archiver takes it over: exactly, machine-wide, and as
// the older per-user texts.
void KeepPreviousState(const wchar_t* extension);
// The machine-wide record when there is one. Otherwise, for an installation made before it was
// kept, the user's record in the forms it was written in: "Exist", and "Type" as text only.
void ReadPreviousState(const wchar_t* extension, PreviousState* out);
// The kept "New" entry's values in order, from *at (0 for the first); false after the last.
bool NextKeptShellNewValue(const PreviousState& state, uint32_t* at, BoundedArray<wchar_t>* name,
                           StoredValue* out);
// Drops the kept state once the extension has been given back.
void ForgetPreviousState(const wchar_t* extension);

/* templates.cpp */
// The empty archives setup writes beside the program for the "New" menu, KVA first.
struct TemplateFile {
    const wchar_t* name;
    uint32_t size;
};
extern const TemplateFile kTemplateFiles[2];
// True when the "New" menu template of the KVA or ZIP row is wanted.
bool IsTemplateWanted(bool shellExtWanted, bool isKva, bool isZip);
void WriteNewTemplate(const wchar_t* extension, bool isKva);
// Puts the previous "New" entry back; where the extension is no longer the archiver's (own
// false), only while the entry still names the archiver's template.
void RestoreNewEntry(const wchar_t* extension, const PreviousState& state, bool isKva, bool own);

/* shellext.cpp */
// False when the first write was refused with ERROR_ACCESS_DENIED.
bool RegisterAppPaths();
void RegisterShellIntegration(bool removing, const IntegrationOptions& options);
void RegisterShellExtension(const IntegrationOptions& options, const wchar_t* dllName, const wchar_t* clsid,
                            const wchar_t* handlerName, bool is64Bit);
void UseRegistryView(bool want64Bit);
// Deletes the App Paths entry in the default view and, under WOW64, in the 64-bit view.
void RemoveAppPaths();

/* shortcuts.cpp */
bool SpecialFolderPath(wchar_t* out, size_t capacity, int folderId);
bool CreateShellLink(const wchar_t* target, const wchar_t* linkFile, const wchar_t* workingDirectory,
                     const wchar_t* description, const wchar_t* iconPath);
void UpdateShortcuts(const IntegrationOptions& options, wchar_t* folder, size_t folderCapacity,
                     const wchar_t* iconPath);

/* uninstallentry.cpp */
// The archiver beside this program; false when the system named no path for this program (the
// archiver is then its bare name).
bool ArchiverPath(wchar_t* out, size_t capacity);
// The version as the entry shows it: "6.24.1".
void FormatVersion(wchar_t* text, size_t capacity);
void FormatDisplayName(wchar_t* text, size_t capacity);
void WriteUninstallEntry();
void RemoveUninstallEntry();
// The folder the uninstall entry names; false when it names none.
bool ReadInstallLocation(wchar_t* out, size_t capacity);
// Notes, before setup overwrites the entry, the folder the archiver was installed in before.
void NotePreviousInstallFolder();
// True for the "Ombrix.exe" of that previous folder: a shortcut to it is the archiver's own.
bool IsPreviousArchiver(const wchar_t* path);
// True for a path or icon location of "Ombrix.exe" that is missing or lies in that previous
// folder: left by an installation that has moved, it is the archiver's to replace.
bool IsStaleLocation(const wchar_t* location);
// True when the entry names another folder that still holds the archiver: this program's folder
// is an old copy, whose uninstall must leave that installation's registrations alone.
bool IsAnotherInstallation();

/* listfile.cpp */
inline constexpr wchar_t kListName[] = L"Uninstall.lst";
// One line of Uninstall.lst: an entry, a line that is never taken as an entry (over-long or
// holding a NUL byte), or the end of the list.
enum class ListLine { End, Entry, Skipped };
ListLine ReadListLine(FILE* list, char* line, size_t size);
// Removes trailing blanks and line ends; false when nothing is left.
bool TrimListEntry(char* line);
// True when an entry can only name something inside the program folder.
bool IsSafeListEntry(const wchar_t* entry);
// The program folder followed by the entry; false for entries that are unsafe or do not fit.
bool MakeEntryPath(const wchar_t* programFolder, const char* entry, wchar_t* out, size_t size);
