#pragma once

#include "platform/windows_api.h"

// The module's instance handle, set by WinMain before any dialog exists.
extern HINSTANCE g_hInstance;

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ResultDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Centres `window` over its owner, or over the desktop when it has none.
void CenterDialog(HWND window);
