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
    if (CreateDirectoryW(group, nullptr)) LogFile(L"created folder", group, true);
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
        if (!PathExists(target)) continue;
        JoinPath(group, name, link, CountOf(link));
        AppendString(link, L".lnk", CountOf(link));
        CreateShellLink(target, link, workingDirectory, description, item.withIcon ? iconPath : nullptr);
    }
}

// True when the shortcut file's target is the given path, or the archiver's previous place.
bool LinkLeadsTo(const wchar_t* linkFile, const wchar_t* target) {
    ScopedCom<IShellLinkW> link;
    ScopedCom<IPersistFile> file;
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
    if (!PathExists(group)) return;
    DeleteFolderTree(group);
    if (!PathExists(group)) SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW, group, nullptr);
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
    ScopedCom<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.ReceiveVoid()))) {
        return false;
    }
    ScopedCom<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()))) return false;
    // An existing shortcut is updated in place: what is not set below survives.
    file->Load(linkFile, STGM_READWRITE);
    link->SetPath(target);
    if (description != nullptr) link->SetDescription(description);
    link->SetIconLocation(iconPath != nullptr ? iconPath : L"", 0);
    if (workingDirectory != nullptr) link->SetWorkingDirectory(workingDirectory);
    bool saved = SUCCEEDED(file->Save(linkFile, TRUE));
    LogFile(L"wrote shortcut", linkFile, saved);
    return saved;
}

namespace {

// What every shortcut of one run shares.
struct Shortcuts {
    wchar_t program[kPathChars];        // the archiver, which the shortcuts start
    wchar_t programFolder[kPathChars];  // where the group's other targets lie
    wchar_t description[kTextChars];
    wchar_t desktop[kPathChars];        // the user's desktop folder, when known
    bool desktopKnown;
    const wchar_t* userIcon;            // the icon the user chose, or null
    bool vista;
    // The working directory of the Start menu's and the groups' shortcuts: the user's desktop
    // for the user's own; the common ones, which every user starts, name no single user's
    // folder but the program's.
    const wchar_t* WorkingDirectory(bool common) const {
        return common ? programFolder : desktopKnown ? desktop : nullptr;
    }
};

// False when this program's own path, and so the archiver's, is unknown.
bool ReadShortcuts(const wchar_t* iconPath, Shortcuts* out) {
    if (!ArchiverPath(out->program, CountOf(out->program))) return false;
    ProgramFolder(out->programFolder, CountOf(out->programFolder));
    CopyString(out->description, GetMessageText(IDS_OMBRIXDESC), CountOf(out->description));
    out->desktopKnown = SpecialFolderPath(out->desktop, CountOf(out->desktop), CSIDL_DESKTOPDIRECTORY);
    // A shortcut's icon on a network share would make Explorer contact that host.
    out->userIcon = iconPath != nullptr && IsLocalPath(iconPath) ? iconPath : nullptr;
    out->vista = GetWindowsVersion() >= 0x0600;
    return true;
}

// Deletes the shortcut file when it starts the archiver; one that leads elsewhere is not ours.
void RemoveOwnShortcut(const wchar_t* link, const wchar_t* program) {
    if (link[0] != 0 && PathExists(link) && LinkLeadsTo(link, program)) RemoveFileMeant(link);
}

// The archiver on the desktop. An existing shortcut on the user's desktop is kept up to date
// there, with the user's icon; a new one goes to the common desktop, which every user sees, with
// the program's own. Removed, it goes from either desktop.
void UpdateDesktopShortcut(const Shortcuts& shortcuts, bool wanted) {
    wchar_t userLink[kPathChars], commonLink[kPathChars];
    if (!ShellFolderWith(CSIDL_DESKTOPDIRECTORY, L"Ombrix.lnk", userLink, CountOf(userLink))) userLink[0] = 0;
    if (!ShellFolderWith(CSIDL_COMMON_DESKTOPDIRECTORY, L"Ombrix.lnk", commonLink, CountOf(commonLink)))
        commonLink[0] = 0;
    if (!wanted) {
        RemoveOwnShortcut(userLink, shortcuts.program);
        RemoveOwnShortcut(commonLink, shortcuts.program);
        return;
    }
    bool onUserDesktop = userLink[0] != 0 && PathExists(userLink);
    const wchar_t* link = onUserDesktop ? userLink : commonLink;
    if (link[0] != 0 && FolderOfIsMeant(link))
        CreateShellLink(shortcuts.program, link, nullptr, shortcuts.description,
                        onUserDesktop ? shortcuts.userIcon : nullptr);
}

// The archiver in the Start menu: from Vista on the common one with the program's own icon,
// before it the user's own with the user's icon.
void UpdateStartMenuShortcut(const Shortcuts& shortcuts, bool wanted) {
    wchar_t link[kPathChars];
    int menu = shortcuts.vista ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU;
    if (!ShellFolderWith(menu, L"Ombrix.lnk", link, CountOf(link))) return;
    if (!wanted) {
        RemoveOwnShortcut(link, shortcuts.program);
    } else if (FolderOfIsMeant(link)) {
        CreateShellLink(shortcuts.program, link, shortcuts.WorkingDirectory(shortcuts.vista), shortcuts.description,
                        shortcuts.vista ? nullptr : shortcuts.userIcon);
    }
}

// The program group "Ombrix" in one shell folder, built or removed; false (and nothing done)
// when that folder is unknown.
bool UpdateProgramGroup(const Shortcuts& shortcuts, int folderId, bool wanted, const wchar_t* iconPath,
                        wchar_t* group, size_t capacity) {
    if (!ShellFolderWith(folderId, L"Ombrix", group, capacity)) return false;
    if (wanted) {
        BuildGroup(group, shortcuts.programFolder, shortcuts.WorkingDirectory(folderId == CSIDL_COMMON_PROGRAMS),
                   shortcuts.description, iconPath);
    } else {
        RemoveGroup(group);
    }
    return true;
}

// Tells the caller which group the shortcuts went to.
void HandBackGroup(const wchar_t* group, wchar_t* groupFolder, size_t capacity) {
    if (groupFolder != nullptr && capacity > 0) CopyString(groupFolder, group, capacity);
}

}  // namespace

void UpdateShortcuts(const IntegrationOptions& options, wchar_t* groupFolder, size_t groupCapacity,
                     const wchar_t* iconPath) {
    if (!IsIntegrationEnabled()) return;
    Shortcuts shortcuts;
    if (!ReadShortcuts(iconPath, &shortcuts)) return;
    // Before Vista, a user whose desktop folder is unknown keeps every shortcut as it is.
    if (!shortcuts.vista && !shortcuts.desktopKnown) return;

    UpdateDesktopShortcut(shortcuts, options.linkDesktop);
    UpdateStartMenuShortcut(shortcuts, options.linkStartMenu);

    // The user's group takes the user's icon; the common group, which every user sees, the
    // program's own, and it is the one handed back when it could be made.
    wchar_t group[kPathChars];
    bool wanted = options.linkPrograms;
    if (UpdateProgramGroup(shortcuts, CSIDL_PROGRAMS, wanted, shortcuts.userIcon, group, CountOf(group)) && wanted)
        HandBackGroup(group, groupFolder, groupCapacity);
    if (UpdateProgramGroup(shortcuts, CSIDL_COMMON_PROGRAMS, wanted, nullptr, group, CountOf(group)) && wanted &&
        PathExists(group))
        HandBackGroup(group, groupFolder, groupCapacity);
}
