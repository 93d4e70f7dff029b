// Control surface of the host build's window manager stand-in. It creates no windows: it
// records what the program asks of the dialog manager and plays the user's part on cue.
#pragma once

#include "platform/windows_api.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fake_windows {

// One dialog that DialogBoxParamA made.
struct Dialog {
    HWND window;
    int template_id;
    HINSTANCE instance;
    HWND parent;
    HWND owner;  // null when the parent was the desktop, as Windows does
    DLGPROC procedure;
    RECT rect;  // outer rectangle on the screen
    int client_width;
    int client_height;
    bool ended = false;
    INT_PTR end_code = 0;
    std::map<int, std::string> texts_a;
    std::map<int, std::u16string> texts_w;
};

// One call the program made, in order: "DialogBoxParamA 130", "EndDialog 129 1",
// "SetWindowPos 129 x y cx cy flags", "SetDlgItemTextW 129 1000", ...
const std::vector<std::string>& CallLog();

// Forgets every dialog, cue and call; the desktop becomes `desktop`.
void Reset(RECT desktop = {0, 0, 1024, 768});

// Dialogs made from `template_id` get this client size, and an outer rectangle larger by the
// frame and caption a modal dialog frame adds.
void SetClientSize(int template_id, int width, int height);
constexpr int kFrameWidth = 3;
constexpr int kCaptionHeight = 22;

// What the user does once the dialog from `template_id` is up (after WM_INITDIALOG). Without a
// cue, or when the cue leaves the dialog running, DialogBoxParamA returns -1 at once, so that a
// test cannot hang on a dialog nobody closes.
void OnShown(int template_id, std::function<void(HWND dialog)> cue);

// Delivers a message to a dialog's procedure, as the dialog manager does.
INT_PTR Send(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// A window with this outer rectangle, client size and owner, made without a dialog procedure,
// for tests that need a window to act on.
HWND AddWindow(RECT rect, int client_width, int client_height, HWND owner);

HWND Desktop();
const std::deque<Dialog>& Dialogs();
const Dialog* Find(HWND window);

}  // namespace fake_windows
