#include "ui/dialogs.h"

#include "registry/remove_registry_data.h"
#include "resources/resource.h"
#include "ui/notice.h"

#include <string>
#include <vector>

namespace {

constexpr LPARAM kNoInitParam = 0;
constexpr HWND kNoInsertAfter = nullptr;
constexpr UINT kNoticeCodePage = 932;
constexpr DWORD kNoConversionFlags = 0;
constexpr int kNulTerminated = -1;

// The notice is code page 932 text. Handed to the "A" function it would be read in the system's
// ANSI code page and turn to mojibake wherever that is not 932, so it goes in as UTF-16.
void SetNoticeText(HWND dialog, const std::string& notice) {
    int length = MultiByteToWideChar(kNoticeCodePage, kNoConversionFlags, notice.c_str(),
                                     kNulTerminated, nullptr, 0);
    if (length <= 0) {
        return;
    }
    std::vector<WCHAR> wide(length);
    MultiByteToWideChar(kNoticeCodePage, kNoConversionFlags, notice.c_str(), kNulTerminated,
                        wide.data(), length);
    SetDlgItemTextW(dialog, IDC_NOTICE, wide.data());
}

INT_PTR OnMainInitDialog(HWND dialog) {
    CenterDialog(dialog);
    std::string notice;
    BuildNoticeText(notice);
    SetNoticeText(dialog, notice);
    return TRUE;  // the dialog manager focuses the first tab stop: OK
}

INT_PTR OnMainCommand(HWND dialog, WORD command) {
    switch (command) {
        case IDOK:
            RemoveRegistryData();
            DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_RESULT), dialog, ResultDialogProc,
                            kNoInitParam);
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnMainInitDialog(dialog);
        case WM_COMMAND:
            return OnMainCommand(dialog, LOWORD(wparam));
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK ResultDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CenterDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wparam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

void CenterDialog(HWND window) {
    HWND reference = GetWindow(window, GW_OWNER);
    if (reference == nullptr) {
        reference = GetDesktopWindow();
    }
    RECT ref;
    RECT client;
    GetWindowRect(reference, &ref);
    GetClientRect(window, &client);
    int x = (ref.left + ref.right - client.right) / 2;
    int y = (ref.top + ref.bottom - client.bottom) / 2;
    SetWindowPos(window, kNoInsertAfter, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
