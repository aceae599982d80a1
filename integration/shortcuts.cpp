// Shortcuts: the archiver on the desktop, in the Start menu and in the program group "Ombrix".
#include "integration/integration.h"

#include "resources/resource.h"

#include <objbase.h>
#include <shlobj.h>

namespace {

// The program group's entries: the link is named after the entry, the target lies in the
// program folder. A zero id takes the fixed text instead.
struct ProgramGroupItem {
    uint32_t nameId;
    const wchar_t* name;
    uint32_t targetId;
    const wchar_t* target;
    bool withIcon;
};

const ProgramGroupItem ProgramGroupItems[] = {
    {0, L"Ombrix", 0, L"Ombrix.exe", true},
    {IDS_OMBRIXHELP, nullptr, 0, L"Ombrix.chm", false},
    {IDS_KVAHELP, nullptr, 0, L"Kva.txt", false},
    {IDS_WHATSNEW, nullptr, IDS_WHATSNEWNAME, nullptr, false},
};

// Releases a COM interface on every way out.
template <typename T>
class ComRef {
public:
    ~ComRef() {
        if (object_ != nullptr) object_->Release();
    }
    T** Receive() { return &object_; }
    void** ReceiveVoid() { return reinterpret_cast<void**>(&object_); }
    T* operator->() const { return object_; }

private:
    T* object_ = nullptr;
};

// A text of the entry table: the message when an id is given, else the fixed text.
void ItemText(uint32_t id, const wchar_t* fixed, wchar_t* out, size_t capacity) {
    CopyString(out, id != 0 ? GetMessageText(id) : fixed, capacity);
}

// True when the folder that holds the file is reached by its path alone, no link on the way: a
// shortcut is never written or deleted through a link into someone else's folder.
bool FolderOfIsMeant(const wchar_t* file) {
    wchar_t folder[kPathChars];
    FolderPart(file, folder, CountOf(folder));
    return HeldFolder(folder).IsFolderMeant(folder);
}

void BuildGroup(const wchar_t* group, const wchar_t* programFolder, const wchar_t* workingDirectory,
                const wchar_t* description, const wchar_t* iconPath) {
    if (!FolderOfIsMeant(group)) return;
    CreateDirectoryW(group, nullptr);
    HeldFolder held(group);
    if (!held.IsFolderMeant(group)) return;
    // The files directly inside go, through the folder held; subfolders and their contents stay.
    wchar_t mask[kPathChars];
    JoinPath(group, L"*", mask, CountOf(mask));
    FileFinder finder;
    finder.SetMask(mask);
    FindData found;
    while (finder.Next(&found)) {
        if (!found.isFolder) RemoveFileMeant(found.path);
    }
    finder.Close();
    for (const ProgramGroupItem& item : ProgramGroupItems) {
        wchar_t name[kPathChars], file[kPathChars], target[kPathChars], link[kPathChars];
        ItemText(item.nameId, item.name, name, CountOf(name));
        ItemText(item.targetId, item.target, file, CountOf(file));
        JoinPath(programFolder, file, target, CountOf(target));
        if (!FileExists(target)) continue;
        JoinPath(group, name, link, CountOf(link));
        AppendString(link, L".lnk", CountOf(link));
        CreateShellLink(target, link, workingDirectory, description, item.withIcon ? iconPath : nullptr);
    }
}

// True when the shortcut file's target is the given path, or the archiver's previous place.
bool LinkLeadsTo(const wchar_t* linkFile, const wchar_t* target) {
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    wchar_t path[kPathChars];
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.ReceiveVoid())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) ||
        FAILED(file->Load(linkFile, STGM_READ)) ||
        link->GetPath(path, (int)CountOf(path), nullptr, SLGP_RAWPATH) != S_OK)
        return false;
    // The archiver in the folder it moved from is the archiver too.
    return CompareNoCase(path, target) == 0 || IsPreviousArchiver(path);
}

// Deletes a program group (never through a link); Explorer is told, so that the Start menu drops
// it at once.
void RemoveGroup(const wchar_t* group) {
    if (!FileExists(group)) return;
    DeleteFolderTree(group);
    if (!FileExists(group)) SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW, group, nullptr);
}

// A shell folder with the given name joined to it; false when the folder is unknown, so that
// no relative "unknown_folder" path is ever written to or deleted from.
bool ShellFolderWith(int folderId, const wchar_t* name, wchar_t* out, size_t capacity) {
    if (!SpecialFolderPath(out, capacity, folderId)) return false;
    AddTrailingBackslash(out, capacity);
    AppendString(out, name, capacity);
    return true;
}

}  // namespace

bool SpecialFolderPath(wchar_t* out, size_t capacity, int folderId) {
    if (capacity >= MAX_PATH && SHGetFolderPathW(nullptr, folderId, nullptr, 0, out) == S_OK) return true;
    CopyString(out, L"unknown_folder", capacity);
    return false;
}

bool CreateShellLink(const wchar_t* target, const wchar_t* linkFile, const wchar_t* workingDirectory,
                     const wchar_t* description, const wchar_t* iconPath) {
    ComRef<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.ReceiveVoid()))) {
        return false;
    }
    ComRef<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()))) return false;
    // An existing shortcut is updated in place: what is not set below survives.
    file->Load(linkFile, STGM_READWRITE);
    link->SetPath(target);
    if (description != nullptr) link->SetDescription(description);
    link->SetIconLocation(iconPath != nullptr ? iconPath : L"", 0);
    if (workingDirectory != nullptr) link->SetWorkingDirectory(workingDirectory);
    return SUCCEEDED(file->Save(linkFile, TRUE));
}

void UpdateShortcuts(const IntegrationOptions& options, wchar_t* folder, size_t folderCapacity,
                     const wchar_t* iconPath) {
    if (!IsIntegrationEnabled()) return;
    // A shortcut's icon on a network share would make Explorer contact that host.
    if (iconPath != nullptr && !IsLocalPath(iconPath)) iconPath = nullptr;

    wchar_t program[kPathChars], programFolder[kPathChars];
    DWORD length = GetModuleFileNameW(nullptr, program, (DWORD)CountOf(program));
    if (length == 0 || length >= CountOf(program)) return;
    ReplaceNamePart(program, L"Ombrix.exe", CountOf(program));
    CopyString(programFolder, program, CountOf(programFolder));
    CutNamePart(programFolder);
    bool vista = GetWindowsVersion() >= 0x0600;
    wchar_t description[kTextChars];
    CopyString(description, GetMessageText(IDS_OMBRIXDESC), CountOf(description));

    // An existing shortcut on the user's desktop is kept up to date there; new ones go to the
    // common desktop.
    wchar_t userLink[kPathChars] = L"", commonLink[kPathChars];
    if (!ShellFolderWith(CSIDL_DESKTOPDIRECTORY, L"Ombrix.lnk", userLink, CountOf(userLink))) {
        if (!vista) return;
        userLink[0] = 0;
    }
    bool haveCommon = ShellFolderWith(CSIDL_COMMON_DESKTOPDIRECTORY, L"Ombrix.lnk", commonLink, CountOf(commonLink));
    const wchar_t* desktopLink = nullptr;
    if (userLink[0] != 0 && FileExists(userLink)) {
        desktopLink = userLink;
    } else if (haveCommon) {
        desktopLink = commonLink;
    }
    // The icon the user chose goes only into the user's own shortcuts; every user sees the common ones.
    if (options.linkDesktop) {
        if (desktopLink != nullptr && FolderOfIsMeant(desktopLink))
            CreateShellLink(program, desktopLink, nullptr, description, desktopLink == userLink ? iconPath : nullptr);
    } else {
        // Either desktop may hold the archiver's shortcut; one that leads elsewhere is not ours.
        const wchar_t* const links[] = {userLink, haveCommon ? commonLink : L""};
        for (const wchar_t* link : links) {
            if (link[0] != 0 && FileExists(link) && LinkLeadsTo(link, program)) RemoveFileMeant(link);
        }
    }

    wchar_t workingFolder[kPathChars];
    const wchar_t* workingDirectory = nullptr;
    if (SpecialFolderPath(workingFolder, CountOf(workingFolder), CSIDL_DESKTOPDIRECTORY)) {
        workingDirectory = workingFolder;
    }

    wchar_t startLink[kPathChars];
    if (ShellFolderWith(vista ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU, L"Ombrix.lnk", startLink,
                        CountOf(startLink))) {
        if (options.linkStartMenu) {
            if (FolderOfIsMeant(startLink))
                CreateShellLink(program, startLink, workingDirectory, description, vista ? nullptr : iconPath);
        } else if (FileExists(startLink) && LinkLeadsTo(startLink, program)) {
            RemoveFileMeant(startLink);
        }
    }

    wchar_t group[kPathChars];
    if (ShellFolderWith(CSIDL_PROGRAMS, L"Ombrix", group, CountOf(group))) {
        if (options.linkPrograms) {
            if (folder != nullptr && folderCapacity > 0) CopyString(folder, group, folderCapacity);
            BuildGroup(group, programFolder, workingDirectory, description, iconPath);
        } else {
            RemoveGroup(group);
        }
    }

    // The common group is handed back instead when it could be made.
    if (ShellFolderWith(CSIDL_COMMON_PROGRAMS, L"Ombrix", group, CountOf(group))) {
        if (options.linkPrograms) {
            BuildGroup(group, programFolder, workingDirectory, description, nullptr);
            if (folder != nullptr && folderCapacity > 0 && FileExists(group)) {
                CopyString(folder, group, folderCapacity);
            }
        } else {
            RemoveGroup(group);
        }
    }
}
