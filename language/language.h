// Localization: language file, message texts, dialog localization and the language library.
// Every user-visible text of the program comes through here.
#pragma once

#include "../platform/platform.h"

/* messages.cpp */
struct KeyRow {
    uint32_t id;
    const char* key;
};
extern const KeyRow KeyTable[];
extern const uint32_t KeyTableRows;

const wchar_t* GetMessageText(uint32_t id);
wchar_t* LoadMessageText(uint32_t id, wchar_t* buffer, size_t capacity);
const char* FindKeyForId(uint32_t id);

/* langlib.cpp */
void LoadLanguageLibrary(HINSTANCE programInstance);
void ReleaseLanguageLibrary();
HMODULE ResourceModule();
HMODULE ProgramModule();
bool IsLanguageLibraryLoaded();
void ResolveInLanguageFolder(const wchar_t* path, wchar_t* out, size_t capacity);
// The version rule for mapping the library as a data file rather than loading it as code.
bool UseDataFileLoad(DWORD platformId, DWORD majorVersion, WORD servicePackMajor);

/* langfile.cpp */
void LoadLanguageFile(const wchar_t* name);
bool FindTextForKey(const char* key, wchar_t* buffer, size_t capacity);
uint32_t LanguageEntryCount();
bool IsRightToLeft();
// Empties the table and undoes its right-to-left process layout (start-up state; for tests).
void ResetLanguageTable();

/* localize.cpp */
bool DialogPrelude(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                   const wchar_t* dialogName, const wchar_t* helpTopic);
void LocalizeDialog(HWND dialog, const wchar_t* dialogName);
bool GetDialogScale(const wchar_t* dialogName, int* widthPercent, int* heightPercent);
void ApplyRtlLayout(HWND window);

/* help.cpp */
HWND ShowHelp(HWND dialog, const wchar_t* topic);
// What ShowHelp opens for a topic: "<help file>::/html/<topic>.htm", or the help file itself.
void HelpTarget(const wchar_t* topic, wchar_t* out, size_t capacity);
