// Settings store: every registry access, the settings file override, key-tree removal and the
// product's own folders. Only this folder touches the registry or Ombrix.ini.
#pragma once

#include "../platform/platform.h"

// The pseudo-root of entries that live only in the settings file (the "Global" key).
#define HKEY_NULL_ROOT ((HKEY)0)

/* folders.cpp */
// The Ombrix folder of the user's roaming application data; false when it is no folder (out then
// names the folder it would be, or nothing when the shell names no application data).
bool AppDataFolder(wchar_t* out, size_t size);
// Whether the settings folder may be the one the user configured.
enum class ConfiguredFolder { Asked, NotAsked };
// The one rule for where the user's settings live: the folder configured as "Paths\AppData" when
// it is asked and exists, else AppDataFolder when it exists, else the program folder. False (and
// out empty) when not even the program folder is known.
bool SettingsFolder(ConfiguredFolder configured, wchar_t* out, size_t size);
// The folder for temporary files: "Paths\TempFolder" of the user's settings when it exists.
void GetTempFolder(wchar_t* out, size_t size);
// "General\LanguageFolder" as stored, unexpanded; false unless it is text whose stored data, its
// terminator included, takes at most size - 1 characters.
bool ConfiguredLanguageFolder(wchar_t* out, size_t size);

/* store.cpp */
bool SettingKeyExists(HKEY root, const wchar_t* keyPath);
bool ReadSettingString(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* defaultText,
                       wchar_t* out, size_t capacity);
int32_t ReadSettingInt(HKEY root, const wchar_t* keyPath, const wchar_t* valueName,
                       int32_t defaultValue);
LONG WriteSettingString(HKEY root, const wchar_t* keyPath, const wchar_t* valueName,
                        const wchar_t* text);
LONG WriteSettingInt(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, int32_t value);
void DeleteSettingValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName);
// A value exactly as stored: its registry type and all of its data, however long. The data
// carries two zero bytes past `bytes`, so that it can always be read as text.
struct StoredValue {
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    BoundedArray<BYTE> data;
};
// Any value whole, also another program's (a class's default value, a "New" entry's values).
// False when the value is missing. The settings file gives its text as REG_SZ.
bool ReadStoredValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, StoredValue* out);
// The index-th value of a registry key with its name; false past the last one.
bool ReadStoredValueAt(HKEY root, const wchar_t* keyPath, DWORD index, BoundedArray<wchar_t>* name,
                       StoredValue* out);
// A text as the registry gives a REG_SZ value, terminator included.
bool StoredValueFromText(const wchar_t* text, StoredValue* out);
// Creates a registry key that may stay without values; the settings file has no empty keys.
LONG CreateSettingKey(HKEY root, const wchar_t* keyPath);
// Writes a value exactly as it was read; the settings file, which holds only text, refuses it.
LONG WriteStoredValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, const StoredValue& value);
void DeleteSettingKey(HKEY root, const wchar_t* keyPath);
// Deletes a registry key only when it holds neither values nor subkeys.
void DeleteSettingKeyIfEmpty(HKEY root, const wchar_t* keyPath);

bool ReadUserString(const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* defaultText, wchar_t* out,
                    size_t capacity);
int32_t ReadUserInt(const wchar_t* keyPath, const wchar_t* valueName, int32_t defaultValue);
LONG WriteUserString(const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* text);
LONG WriteUserInt(const wchar_t* keyPath, const wchar_t* valueName, int32_t value);
void DeleteUserValue(const wchar_t* keyPath, const wchar_t* valueName);

void SetRegistryView(REGSAM view);
// For tests: every registry change after the next `changes` ones fails, as if the process had
// died there; -1 lifts the limit. Returns how many changes were still allowed.
int32_t SetChangeLimit(int32_t changes);
// Counts one registry change against that limit; false once it is used up.
bool MayChangeRegistry();
bool IsIntegrationEnabled();

// Which route serves a request; asking loads the settings file the first time.
enum class SettingsRoute { File, Suppressed, Registry };
SettingsRoute RouteSettingRequest(HKEY root, const wchar_t* keyPath);
// Does one request on the route that serves it: in the settings file, nothing while its
// Integration switch is off (onSuppressed gives the answer), or in the registry.
template <typename OnFile, typename OnSuppressed, typename OnRegistry>
auto OnRoute(HKEY root, const wchar_t* keyPath, OnFile onFile, OnSuppressed onSuppressed, OnRegistry onRegistry)
    -> decltype(onRegistry()) {
    switch (RouteSettingRequest(root, keyPath)) {
    case SettingsRoute::File:
        return onFile();
    case SettingsRoute::Suppressed:
        return onSuppressed();
    case SettingsRoute::Registry:
        break;
    }
    return onRegistry();
}
// The registry path of a key path under the product-key rule; false (and empty) when it does
// not fit, since a cut path would name another key.
bool ComposeRegistryPath(HKEY root, const wchar_t* keyPath, wchar_t* out, size_t size);
// The registry root a request's path is composed under: the classes are the machine's own,
// under HKEY_LOCAL_MACHINE, and every other root is itself.
HKEY RegistryRoot(HKEY root);
// The log's line for a key the run deleted (or tried to).
void LogKeyDeletion(HKEY root, const wchar_t* path, REGSAM view, LONG status);

/* keytree.cpp */
void DeleteSettingTree(HKEY root, const wchar_t* keyPath);

/* settingsfile.cpp */
enum : int {
    kEntryBare = 0,
    kEntryQuoted = 1,
    kEntryBinary = 2,
};

void LoadSettingsFile();
bool SaveSettingsFile();
void ClearSettingsFile();
// True when the loaded file serves requests of this root and key path; loads it the first time.
bool SettingsFileServes(HKEY root, const wchar_t* keyPath);
// The Integration switch as it stands; never loads the file.
bool SettingsFileIntegration();
// The settings file the run reads and writes, if there is one.
bool SettingsFileToUse(wchar_t* path, size_t size);
// The entry name of a request ("HKCU\Setup\ShellExt"); with an empty value name the prefix of
// a whole key. False (and empty) when it does not fit.
bool ComposeEntryName(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, wchar_t* out,
                      size_t size);
// Entry operations; names are compared exactly, code unit by code unit.
const wchar_t* FindSettingsEntry(const wchar_t* name);
// False, and nothing stored, for a name or text that one line of the file cannot hold.
bool SetSettingsEntry(const wchar_t* name, const wchar_t* text, int kind);
void RemoveSettingsEntries(const wchar_t* name);
// Whole keys: the key's own values and those of all its subkeys.
void RemoveSettingsKey(HKEY root, const wchar_t* keyPath);
bool SettingsKeyHasEntries(HKEY root, const wchar_t* keyPath);
