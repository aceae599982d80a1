// Setup mode: the dialogs and the apply sequence.
#pragma once

#include "../integration/integration.h"

/* setupdlg.cpp */
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* donedlg.cpp */
INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
