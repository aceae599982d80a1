// Explorer's "New" menu entries for empty KVA and ZIP archives, and putting back the entries
// they replaced.
#include "integration/integration.h"

namespace {

const wchar_t kMenuItemsKey[] = L"Setup\\MenuItems";

// An empty KVA archive: signature, main header and end header, each header after its CRC-32.
const unsigned char kKvaTemplate[24] = {0x4B, 0x76, 0x61, 0x21, 0x1A, 0x07, 0x01, 0x00, 0xC1, 0xDF, 0x5F, 0x56,
                                        0x03, 0x01, 0x04, 0x00, 0x1D, 0x77, 0x56, 0x51, 0x03, 0x05, 0x04, 0x00};
// An empty ZIP archive: the end-of-central-directory record alone.
const unsigned char kZipTemplate[22] = {0x50, 0x4B, 0x05, 0x06};

}  // namespace

const TemplateFile kTemplateFiles[2] = {{L"kvanew.dat", sizeof(kKvaTemplate)}, {L"zipnew.dat", sizeof(kZipTemplate)}};

namespace {

// The extension's "ShellNew" key; false when its name does not fit.
bool ShellNewKey(const wchar_t* extension, wchar_t* out, size_t capacity) {
    return FormatBounded(out, capacity, L"%ls\\ShellNew", extension) >= 0;
}

// The template file beside the program; without the program's folder only the bare name, and false.
bool TemplatePath(bool isKva, wchar_t* out, size_t capacity) {
    bool folderKnown = ProgramPath(out, capacity);
    ReplaceNamePart(out, kTemplateFiles[isKva ? 0 : 1].name, capacity);
    return folderKnown;
}

// The template file in the program folder, written again only when missing or of another size.
void EnsureTemplateFile(const wchar_t* path, const unsigned char* bytes, size_t size) {
    FindData found;
    if (FindOne(path, &found) && !found.isFolder && found.size == size) return;
    ScopedStream file(OpenStream(path, L"wb"));
    LogFile(L"wrote template", path, file.IsSet() && fwrite(bytes, 1, size, file.Get()) == size);
}

}  // namespace

bool IsTemplateWanted(bool shellExtWanted, bool isKva, bool isZip) {
    // Both switches are asked every time: the menu-items dialog may have changed them.
    bool newKva = ReadUserInt(kMenuItemsKey, L"NewKVA", 1) != 0;
    bool newZip = ReadUserInt(kMenuItemsKey, L"NewZIP", 1) != 0;
    return shellExtWanted && (!isKva || newKva) && (!isZip || newZip);
}

void WriteNewTemplate(const wchar_t* extension, bool isKva) {
    wchar_t key[kPathChars];
    if (!ShellNewKey(extension, key, CountOf(key))) return;
    // Other "New" entries of the extension make way; a key with subkeys keeps its values.
    DeleteSettingKey(HKEY_CLASSES_ROOT, key);
    wchar_t path[kPathChars];
    bool folderKnown = TemplatePath(isKva, path, CountOf(path));
    // Without the program folder the bare name would land in whatever folder is current.
    if (folderKnown && isKva) EnsureTemplateFile(path, kKvaTemplate, sizeof(kKvaTemplate));
    if (folderKnown && !isKva) EnsureTemplateFile(path, kZipTemplate, sizeof(kZipTemplate));
    WriteSettingString(HKEY_CLASSES_ROOT, key, L"FileName", path);
}

void RestoreNewEntry(const wchar_t* extension, const PreviousState& state, bool isKva, bool own) {
    wchar_t key[kPathChars];
    if (!ShellNewKey(extension, key, CountOf(key))) return;
    if (!own) {
        wchar_t named[kPathChars], ours[kPathChars];
        ReadSettingString(HKEY_CLASSES_ROOT, key, L"FileName", L"", named, CountOf(named));
        if (!TemplatePath(isKva, ours, CountOf(ours)) || CompareNoCase(named, ours) != 0) return;
    }
    if (!state.existed) {
        DeleteSettingKey(HKEY_CLASSES_ROOT, key);
        return;
    }
    // What comes back is written before the template's "FileName" goes, unless it is one of them.
    if (state.shellNewKept) {
        bool hadFileName = false;
        BoundedArray<wchar_t> name;
        StoredValue value;
        for (uint32_t at = 0; NextKeptShellNewValue(state, &at, &name, &value);) {
            // As the registry tells value names apart: ordinal, ignoring case only.
            hadFileName = hadFileName || CompareStringOrdinal(name.Data(), -1, L"FileName", -1, TRUE) == CSTR_EQUAL;
            WriteStoredValue(HKEY_CLASSES_ROOT, key, name.Data(), value);
        }
        if (!hadFileName) DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"FileName");
        // There was no entry: the key that held the template goes too, unless something else lives in it.
        if (!state.shellNewExisted) DeleteSettingKeyIfEmpty(HKEY_CLASSES_ROOT, key);
        return;
    }
    // An older installation kept only the "FileName" or "NullFile" of the entry, as text.
    const wchar_t* remembered = state.shellNewText;
    if (remembered[0] == L'*') {
        WriteSettingString(HKEY_CLASSES_ROOT, key, L"NullFile", L"");
        DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"FileName");
    } else if (remembered[0] != 0) {
        WriteSettingString(HKEY_CLASSES_ROOT, key, L"FileName", remembered);
    } else {
        // There was no "New" entry before: the key that held ours goes too, unless something
        // else lives in it.
        DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"FileName");
        DeleteSettingKeyIfEmpty(HKEY_CLASSES_ROOT, key);
    }
}
