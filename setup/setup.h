// Integration setup: the setup-mode dialogs and what setup registers with Windows.
#pragma once

#include "../platform/platform.h"

/* setupdlg.cpp */
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* donedlg.cpp */
INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
