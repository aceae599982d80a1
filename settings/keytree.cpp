// Removal of a registry key with everything below it: the registry deletes only childless
// keys, so the tree is walked and deleted bottom-up, in passes until one deletes nothing.
#include "settings.h"

namespace {

// Deletes what it can below path, then path itself; counts every key it deleted.
void RemovalPass(HKEY root, const wchar_t* path, unsigned* deleted) {
    // The root itself is never deleted.
    if (path[0] == 0) return;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    wchar_t name[200];
    wchar_t child[kRegPathChars];
    for (DWORD index = 0;; ++index) {
        DWORD size = CountOf(name);
        if (RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        // A cut child path would name another key (even this one again): leave that subkey, and
        // with it this key, in place.
        if (FormatBounded(child, CountOf(child), L"%ls\\%ls", path, name) < 0) continue;
        RemovalPass(root, child, deleted);
    }
    RegCloseKey(key);
    if (!MayChangeRegistry()) return;
    LONG status = RegDeleteKeyW(root, path);
    // A key that is not there is no change; its parent's later passes may still find it gone.
    if (status != ERROR_FILE_NOT_FOUND) LogKeyDeletion(root, path, 0, status);
    if (status == ERROR_SUCCESS) ++*deleted;
}

// Always the default view: the 64-bit view is only ever asked of single keys.
void DeleteRegistryTree(HKEY root, const wchar_t* keyPath) {
    wchar_t path[kRegPathChars];
    if (!ComposeRegistryPath(root, keyPath, path, CountOf(path))) return;
    // Deleting while enumerating shifts the indexes, so one pass can leave subkeys behind.
    unsigned deleted;
    do {
        deleted = 0;
        RemovalPass(RegistryRoot(root), path, &deleted);
    } while (deleted != 0);
}

}  // namespace

void DeleteSettingTree(HKEY root, const wchar_t* keyPath) {
    OnRoute(
        root, keyPath, [&] { RemoveSettingsKey(root, keyPath); }, [] {}, [&] { DeleteRegistryTree(root, keyPath); });
}
