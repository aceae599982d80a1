/* Stand-in for the shell extensions kvaext.dll and kvaext64.dll: an in-process COM server that
   serves no class and registers nothing, so that setup's registration can be loaded and checked. */
#include <windows.h>
#include <objbase.h>

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    (void)clsid;
    (void)iid;
    if (object != NULL) *object = NULL;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow(void) { return S_OK; }
