// Setup mode: the dialogs and the apply sequence.
#pragma once

#include "../integration/integration.h"

/* setupdlg.cpp */
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// A dialog whose work is its start and its commands: the translation, the help and the two handlers.
struct DialogHandlers {
    const wchar_t* name;
    const wchar_t* helpTopic;  // null: the dialog has no help
    void (*onInit)(HWND dialog);
    void (*onCommand)(HWND dialog, int id);
};
INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const DialogHandlers& handlers);

/* contextdlg.cpp: parameter 1 when the cascaded menu box is checked */
INT_PTR CALLBACK ContextItemsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* donedlg.cpp */
INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* setupdlg.cpp (the two directions between the boxes and the options record) */
void ShowOptionsInDialog(HWND dialog, const IntegrationOptions& options);
void ReadOptionsFromDialog(HWND dialog, IntegrationOptions* options);
void ToggleAllAssociations(HWND dialog);

/* apply.cpp */
// Registers what the options ask for; false when the system-wide entries may not be written.
// groupFolder receives the program group's folder when the shortcuts made one.
bool ApplyIntegration(const IntegrationOptions& options, wchar_t* groupFolder, size_t groupCapacity);
// OK in the setup dialog: saves the options, applies them, writes the uninstall entry (not
// with /msi) and gives ".ace" back.
void ConfirmSetup(const IntegrationOptions& options);
