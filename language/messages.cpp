// Message texts by id: the language file first, then the resource module's and the program's
// string tables; and the table of every language-file key the program knows.
#include "language.h"

#include <string.h>

const KeyRow KeyTable[] = {
    // Messages.
    {5101, "s:IDS_UNINSTTITLE"},
    {5102, "s:IDS_OMBRIXHELP"},
    {5103, "s:IDS_KVAHELP"},
    {5104, "s:IDS_WHATSNEW"},
    {5105, "s:IDS_WHATSNEWNAME"},
    {5106, "s:IDS_UNINSTALLKVA"},
    {5107, "s:IDS_UNINSTALLCOMPLETED"},
    {5108, "s:IDS_UNINSTALLSHOULDDELETE"},
    {5109, "s:IDS_CONTINUEUNINSTALL"},
    {5110, "s:IDS_CANNOTOPENLIST"},
    {5111, "s:IDS_OMBRIXARC"},
    {5112, "s:IDS_OMBRIXZIPARC"},
    {5113, "s:IDS_KVARECVOL"},
    {5114, "s:IDS_HOMEURL"},
    {5115, "s:IDS_OMBRIXDESC"},
    {5116, "s:IDS_REBOOTREQUIRED"},
    {5120, "s:IDS_INSTHELP1"},
    {5121, "s:IDS_INSTHELP2"},
    {5122, "s:IDS_INSTHELP3"},
    {5123, "s:IDS_INSTHELP4"},
    {5124, "s:IDS_INSTHELP5"},
    {5125, "s:IDS_INSTHELP6"},
    {5130, "s:IDS_WARN32BIT"},
    {5135, "s:IDS_INSTREBOOTREQUIRED"},
    {5140, "s:IDS_BETA"},
    {5141, "s:IDS_32BIT"},
    {5142, "s:IDS_64BIT"},
    {5150, "s:IDS_SINGLETOPITEM"},

    // The setup dialog.
    {0, "$SETUPDLG:SIZE"},
    {0, "$SETUPDLG:CAPTION"},
    {5129, "$SETUPDLG:IDC_ASSOCWITH"},
    {5101, "$SETUPDLG:IDC_ASSOCKVA"},
    {5102, "$SETUPDLG:IDC_ASSOCZIP"},
    {5106, "$SETUPDLG:IDC_ASSOC7Z"},
    {5104, "$SETUPDLG:IDC_ASSOCARJ"},
    {5110, "$SETUPDLG:IDC_ASSOCBZ2"},
    {5103, "$SETUPDLG:IDC_ASSOCCAB"},
    {5108, "$SETUPDLG:IDC_ASSOCGZ"},
    {5112, "$SETUPDLG:IDC_ASSOCISO"},
    {5111, "$SETUPDLG:IDC_ASSOCJAR"},
    {5115, "$SETUPDLG:IDC_ASSOCLZ"},
    {5105, "$SETUPDLG:IDC_ASSOCLZH"},
    {5107, "$SETUPDLG:IDC_ASSOCTAR"},
    {5109, "$SETUPDLG:IDC_ASSOCUUE"},
    {5113, "$SETUPDLG:IDC_ASSOCXZ"},
    {5114, "$SETUPDLG:IDC_ASSOCZ"},
    {5116, "$SETUPDLG:IDC_ASSOCZIPX"},
    {5117, "$SETUPDLG:IDC_ASSOCZST"},
    {5118, "$SETUPDLG:IDC_ASSOC001"},
    {5126, "$SETUPDLG:IDC_ASSOCALL"},
    {5130, "$SETUPDLG:IDC_INTEGRATIONINTERFACE"},
    {5119, "$SETUPDLG:IDC_LINKDESKTOP"},
    {5120, "$SETUPDLG:IDC_LINKSTARTMENU"},
    {5121, "$SETUPDLG:IDC_LINKPROGRAMS"},
    {5131, "$SETUPDLG:IDC_SHELLINTEGRATION"},
    {5122, "$SETUPDLG:IDC_SHELLEXT"},
    {5123, "$SETUPDLG:IDC_SHELLCASCADED"},
    {5124, "$SETUPDLG:IDC_SHELLICONS"},
    {5125, "$SETUPDLG:IDC_SHELLLEGACYMENU"},
    {5128, "$SETUPDLG:IDC_SETCONTEXTMENU"},
    {1, "$SETUPDLG:IDOK"},
    {9, "$SETUPDLG:IDHELP"},

    // The completion dialog.
    {0, "$DONEDLG:SIZE"},
    {0, "$DONEDLG:CAPTION"},
    {1, "$DONEDLG:IDOK"},
    {5101, "$DONEDLG:IDC_INSTINFOFOLDER"},
    {5103, "$DONEDLG:IDC_INSTINFOOPTIONS"},
    {5104, "$DONEDLG:IDC_INSTINFOHELP"},
    {5105, "$DONEDLG:IDC_VIEWHELP"},
    {5106, "$DONEDLG:IDC_VIEWLICENSE"},
    {5108, "$DONEDLG:IDC_HOMEPAGE"},
    {5109, "$DONEDLG:IDC_THANKS"},

    // The context menu items dialog.
    {0, "$SETUPCONTEXTITEMS:SIZE"},
    {0, "$SETUPCONTEXTITEMS:CAPTION"},
    {128, "$SETUPCONTEXTITEMS:IDC_CONTEXTMENUITEMS"},
    {101, "$SETUPCONTEXTITEMS:IDC_CONTEXTEXTRACTTO"},
    {102, "$SETUPCONTEXTITEMS:IDC_CONTEXTEXTRACTHERE"},
    {103, "$SETUPCONTEXTITEMS:IDC_CONTEXTEXTRACT"},
    {104, "$SETUPCONTEXTITEMS:IDC_CONTEXTEXTRACTSEPARATE"},
    {105, "$SETUPCONTEXTITEMS:IDC_CONTEXTOPENSFX"},
    {106, "$SETUPCONTEXTITEMS:IDC_CONTEXTOPENARC"},
    {107, "$SETUPCONTEXTITEMS:IDC_CONTEXTADD"},
    {108, "$SETUPCONTEXTITEMS:IDC_CONTEXTADDARC"},
    {109, "$SETUPCONTEXTITEMS:IDC_CONTEXTEMAILARC"},
    {110, "$SETUPCONTEXTITEMS:IDC_CONTEXTEMAILARCOPT"},
    {111, "$SETUPCONTEXTITEMS:IDC_CONTEXTTEST"},
    {112, "$SETUPCONTEXTITEMS:IDC_CONTEXTCONVERT"},
    {113, "$SETUPCONTEXTITEMS:IDC_CONTEXTTOPEXTRACT"},
    {114, "$SETUPCONTEXTITEMS:IDC_CONTEXTTOPEXTRACTTO"},
    {115, "$SETUPCONTEXTITEMS:IDC_CONTEXTTOPEXTRACTHERE"},
    {116, "$SETUPCONTEXTITEMS:IDC_CONTEXTTOPEXTRACTSEPARATE"},
    {117, "$SETUPCONTEXTITEMS:IDC_CONTEXTTOPADDARC"},
    {118, "$SETUPCONTEXTITEMS:IDC_CONTEXTTOPADD"},
    {119, "$SETUPCONTEXTITEMS:IDC_CONTEXTNEWMENU"},
    {120, "$SETUPCONTEXTITEMS:IDC_CONTEXTNEWKVA"},
    {121, "$SETUPCONTEXTITEMS:IDC_CONTEXTNEWZIP"},
    {129, "$SETUPCONTEXTITEMS:IDC_CONTEXTDROPMENU"},
    {122, "$SETUPCONTEXTITEMS:IDC_CONTEXTDRAGADD"},
    {123, "$SETUPCONTEXTITEMS:IDC_CONTEXTDRAGEXTRACT"},
    {130, "$SETUPCONTEXTITEMS:IDC_CONTEXTSFXARCHIVES"},
    {124, "$SETUPCONTEXTITEMS:IDC_CONTEXTSFXLOCAL"},
    {125, "$SETUPCONTEXTITEMS:IDC_CONTEXTSFXNETWORK"},
    {126, "$SETUPCONTEXTITEMS:IDC_CONTEXTSFXOTHER"},
    {131, "$SETUPCONTEXTITEMS:IDC_CONTEXTALWAYSARCTITLE"},
    {1, "$SETUPCONTEXTITEMS:IDOK"},
    {2, "$SETUPCONTEXTITEMS:IDCANCEL"},
    {9, "$SETUPCONTEXTITEMS:IDHELP"},
};

const uint32_t KeyTableRows = (uint32_t)CountOf(KeyTable);

namespace {

// Length of a key's kind prefix: the part before its first colon.
size_t KindLength(const char* key) {
    const char* colon = strchr(key, ':');
    return colon != nullptr ? (size_t)(colon - key) : strlen(key);
}

// Orders by kind prefix (byte-wise), then by id as an unsigned number.
int CompareKind(const char* kind, size_t kindLength, uint32_t id, const KeyRow& row) {
    size_t rowLength = KindLength(row.key);
    size_t common = kindLength < rowLength ? kindLength : rowLength;
    int c = memcmp(kind, row.key, common);
    if (c != 0) return c;
    if (kindLength != rowLength) return kindLength < rowLength ? -1 : 1;
    if (id != row.id) return id < row.id ? -1 : 1;
    return 0;
}

int CompareRows(const void* a, const void* b) {
    const KeyRow& rowA = KeyTable[*static_cast<const uint32_t*>(a)];
    return CompareKind(rowA.key, KindLength(rowA.key), rowA.id, KeyTable[*static_cast<const uint32_t*>(b)]);
}

// The prefix-and-id search order of the key table; the table is constant, so it is built once.
const uint32_t* PrefixAndIdOrder() {
    static uint32_t order[CountOf(KeyTable)];
    static bool built = false;
    if (!built) {
        for (uint32_t i = 0; i < KeyTableRows; ++i) order[i] = i;
        SortArray(order, KeyTableRows, sizeof(order[0]), CompareRows);
        built = true;
    }
    return order;
}

wchar_t g_slots[8][kTextChars];
uint32_t g_slotCounter = 0;

}  // namespace

const char* FindKeyForId(uint32_t id) {
    const uint32_t* order = PrefixAndIdOrder();
    uint32_t low = 0;
    uint32_t high = KeyTableRows;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        const KeyRow& row = KeyTable[order[middle]];
        int c = CompareKind("s", 1, id, row);
        if (c == 0) return row.key;
        if (c < 0) high = middle;
        else low = middle + 1;
    }
    return nullptr;
}

wchar_t* LoadMessageText(uint32_t id, wchar_t* buffer, size_t capacity) {
    // A zero capacity would make LoadStringW hand out a pointer instead of copying.
    if (capacity == 0) return buffer;
    buffer[0] = 0;
    int room = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : (int)capacity;

    if (LanguageEntryCount() != 0) {
        const char* key = FindKeyForId(id);
        if (key != nullptr && FindTextForKey(key, buffer, capacity)) return buffer;
    }
    if (LoadStringW(ResourceModule(), id, buffer, room) > 0) return buffer;
    if (LoadStringW(ProgramModule(), id, buffer, room) <= 0) buffer[0] = 0;
    return buffer;
}

const wchar_t* GetMessageText(uint32_t id) {
    if (++g_slotCounter >= CountOf(g_slots)) g_slotCounter = 0;
    wchar_t* slot = g_slots[g_slotCounter];
    return LoadMessageText(id, slot, CountOf(g_slots[0]));
}
