#include "platform/windows_api.h"
#include "resources/resource.h"
#include "ui/dialogs.h"

HINSTANCE g_hInstance;

namespace {

constexpr LPARAM kNoInitParam = 0;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_hInstance = instance;
    DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_UNINSTALL), GetDesktopWindow(),
                    MainDialogProc, kNoInitParam);
    return 0;
}
