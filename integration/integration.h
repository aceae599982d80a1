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

// What a row's extensions bring besides the binding: the KVA row its old-style volume names and
// the "New" menu's empty KVA archive, the ZIP row the empty ZIP archive.
enum class RowKind : uint8_t { Plain, Kva, Zip };
struct ExtensionRow {
    const wchar_t* list;      // one or more extensions, each beginning with "."
    uint32_t control;         // the setup dialog's check box
    const wchar_t* fileType;  // the file type the row's extensions are bound to
    RowKind kind;
};
extern const ExtensionRow ExtensionTable[kExtensionRows];
// The row of an extension that older versions bound and no row offers any more (".ace"): only
// ever given back.
extern const ExtensionRow kRetiredRow;
enum : uint32_t { kKvaRow = 0, kZipRow = 1, kJarRow = 11, kIsoRow = 12 };

// Splits an extension list: copies the next extension into `out` (kExtensionChars) and returns
// the rest of the list, or nullptr when no extension is left.
const wchar_t* NextExtension(const wchar_t* list, wchar_t* out, size_t capacity);
void LoadIntegrationOptions(IntegrationOptions* options);
void SaveIntegrationOptions(const IntegrationOptions& options);
void ApplyInitOptions(const wchar_t* text, IntegrationOptions* options);

/* associations.cpp */
bool IsOwnFileType(const wchar_t* extension);
// True for the archiver's own archive types, "Ombrix" and "Ombrix.ZIP", in any case.
bool IsOwnTypeName(const wchar_t* type);
// ".rev" opens with the archiver's recovery-volume type.
bool IsRecoveryType();
// False when the first write was refused with ERROR_ACCESS_DENIED.
bool RegisterFileTypes();
void BindAllExtensions(const IntegrationOptions& options);
// Binds the extension of a table row when selected; otherwise gives it back.
void BindExtension(const wchar_t* extension, const ExtensionRow& row, bool selected, bool shellExtWanted);
// The old-style volume names of multi-volume KVA archives, ".k00" on. Setup binds the first 30;
// older versions may have bound up to ".k99", so the give-back looks at all 100 and takes back
// only those that open with the archiver or that a record names.
enum : uint32_t { kBoundVolumes = 30, kVolumeNames = 100 };
bool VolumeName(uint32_t number, wchar_t* out, size_t capacity);

/* giveback.cpp */
// Gives an extension back as its previous state says, in an order that a run cut short anywhere
// leaves for the next run to finish: the volumes, then the "New" entry, the default value last;
// the record goes only once everything is back.
void GiveBackExtension(const wchar_t* extension, const ExtensionRow& row);
// Puts the previous "New" entry back while the extension stays bound (the template switched off).
void GiveBackNewEntry(const wchar_t* extension, const ExtensionRow& row);
// Gives ".rev" back as it was before setup bound it to the recovery-volume type.
void GiveBackRecoveryExtension();

/* remember.cpp */
// Which record of an extension's previous state was found.
enum class PreviousRecord {
    None,     // nothing was kept: read as a key that existed with an empty type and no "New" entry
    Machine,  // setup's record, kept machine-wide where only administrators can write
    User,     // an older installation's per-user texts, taken only in the forms they were written in
};
// What an extension looked like before the archiver took it over, whichever record tells it.
struct PreviousState {
    PreviousRecord record = PreviousRecord::None;
    bool existed = true;          // the extension's key existed
    bool defaultExisted = true;   // its default value existed, as defaultValue
    StoredValue defaultValue;
    wchar_t type[kRegPathChars] = {};  // that value as a file type: "" when none, not text, or the archiver's own
    bool shellNewExisted = false;  // it had a "New" entry, whose values NextPreviousShellNewValue gives
    // Where those values are read: the record's copy, or the per-user text of an older installation.
    wchar_t shellNewCopy[kRegPathChars] = {};
    wchar_t shellNewText[kPathChars] = {};
};
// Keeps the extension's state before the archiver takes it over: exactly, machine-wide, and as
// the older per-user texts.
void KeepPreviousState(const wchar_t* extension);
// The machine-wide record when there is one. Otherwise, for an installation made before it was
// kept, the user's record in the forms it was written in: "Exist", "Type" as text only, and the
// "New" entry's "FileName" or "NullFile".
void ReadPreviousState(const wchar_t* extension, PreviousState* out);
// The previous "New" entry's values in order, from *index (0 for the first); false after the last.
bool NextPreviousShellNewValue(const PreviousState& state, DWORD* index, BoundedArray<wchar_t>* name,
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
// True when the "New" menu template of a KVA or ZIP row is wanted.
bool IsTemplateWanted(bool shellExtWanted, RowKind kind);
// The "New" entry of a KVA or ZIP row's extension, pointing at its template beside the program.
void WriteNewTemplate(const wchar_t* extension, RowKind kind);
// The extension's "ShellNew" key; false when its name does not fit.
bool ShellNewKey(const wchar_t* extension, wchar_t* out, size_t capacity);
// The template file beside the program; without the program's folder only the bare name, and false.
bool TemplatePath(RowKind kind, wchar_t* out, size_t capacity);

/* shellext.cpp */
// False when the first write was refused with ERROR_ACCESS_DENIED.
bool RegisterAppPaths();
void RegisterShellIntegration(bool removing, const IntegrationOptions& options);
void RegisterShellExtension(const IntegrationOptions& options, const wchar_t* dllName, const wchar_t* clsid,
                            const wchar_t* handlerName, bool is64Bit);
void UseRegistryView(bool want64Bit);
// Deletes the App Paths entry in the default view and, under WOW64, in the 64-bit view, and the
// program path noted beside it under the product key.
void RemoveAppPaths();

/* shortcuts.cpp */
bool SpecialFolderPath(wchar_t* out, size_t capacity, int folderId);
bool CreateShellLink(const wchar_t* target, const wchar_t* linkFile, const wchar_t* workingDirectory,
                     const wchar_t* description, const wchar_t* iconPath);
// groupFolder, when given, receives the program group's folder, the common one where it was made.
void UpdateShortcuts(const IntegrationOptions& options, wchar_t* groupFolder, size_t groupCapacity,
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
