// Explorer's "New" menu entries for empty KVA and ZIP archives: the template files beside the
// program and the entries that point at them.
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

bool ShellNewKey(const wchar_t* extension, wchar_t* out, size_t capacity) {
    return FormatBounded(out, capacity, L"%ls\\ShellNew", extension) >= 0;
}

namespace {

// The template file in the program folder, written again only when missing or of another size.
void EnsureTemplateFile(const wchar_t* path, const unsigned char* bytes, size_t size) {
    FindData found;
    if (FindOne(path, &found) && !found.isFolder && found.size == size) return;
    ScopedStream file(OpenStream(path, L"wb"));
    LogFile(L"wrote template", path, file.IsSet() && fwrite(bytes, 1, size, file.Get()) == size);
}

}  // namespace

bool TemplatePath(RowKind kind, wchar_t* out, size_t capacity) {
    bool folderKnown = ProgramPath(out, capacity);
    ReplaceNamePart(out, kTemplateFiles[kind == RowKind::Kva ? 0 : 1].name, capacity);
    return folderKnown;
}

bool IsTemplateWanted(bool shellExtWanted, RowKind kind) {
    // Both switches are asked every time: the menu-items dialog may have changed them.
    bool newKva = ReadUserInt(kMenuItemsKey, L"NewKVA", 1) != 0;
    bool newZip = ReadUserInt(kMenuItemsKey, L"NewZIP", 1) != 0;
    return shellExtWanted && (kind != RowKind::Kva || newKva) && (kind != RowKind::Zip || newZip);
}

void WriteNewTemplate(const wchar_t* extension, RowKind kind) {
    wchar_t key[kPathChars];
    if (!ShellNewKey(extension, key, CountOf(key))) return;
    // Other "New" entries of the extension make way; a key with subkeys keeps its values.
    DeleteSettingKey(HKEY_CLASSES_ROOT, key);
    wchar_t path[kPathChars];
    bool folderKnown = TemplatePath(kind, path, CountOf(path));
    // Without the program folder the bare name would land in whatever folder is current.
    if (folderKnown && kind == RowKind::Kva) EnsureTemplateFile(path, kKvaTemplate, sizeof(kKvaTemplate));
    if (folderKnown && kind != RowKind::Kva) EnsureTemplateFile(path, kZipTemplate, sizeof(kZipTemplate));
    WriteSettingString(HKEY_CLASSES_ROOT, key, L"FileName", path);
}
