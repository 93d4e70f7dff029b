// Window manager stand-in for host builds: dialogs are records, the user is a test's cue.
#include "platform/host/fake_windows.h"

#include <iconv.h>

#include <cstring>

namespace {

struct Windows {
    RECT desktop = {0, 0, 1024, 768};
    std::deque<fake_windows::Dialog> dialogs;  // stable addresses while dialogs are added
    std::map<int, std::pair<int, int>> client_sizes;
    std::map<int, std::function<void(HWND)>> cues;
    std::vector<std::string> log;
    uintptr_t next_window = 0x20000;
};

Windows& TheWindows() {
    static Windows windows;
    return windows;
}

HWND const kDesktop = reinterpret_cast<HWND>(0x10010);

fake_windows::Dialog* FindMutable(HWND window) {
    for (auto& dialog : TheWindows().dialogs) {
        if (dialog.window == window) {
            return &dialog;
        }
    }
    return nullptr;
}

std::string Name(HWND window) {
    if (window == kDesktop) {
        return "desktop";
    }
    const fake_windows::Dialog* dialog = FindMutable(window);
    return dialog ? std::to_string(dialog->template_id) : "<bad window>";
}

void Log(const std::string& call) {
    TheWindows().log.push_back(call);
}

fake_windows::Dialog& Add(RECT rect, int width, int height, HWND owner) {
    Windows& w = TheWindows();
    fake_windows::Dialog dialog{};
    dialog.window = reinterpret_cast<HWND>(w.next_window);
    w.next_window += 0x10;
    dialog.template_id = -1;
    dialog.owner = owner;
    dialog.parent = owner;
    dialog.rect = rect;
    dialog.client_width = width;
    dialog.client_height = height;
    w.dialogs.push_back(dialog);
    return w.dialogs.back();
}

// SetDlgItemTextA and SetDlgItemTextW alike: `texts` is where the dialog keeps that kind.
template <typename Texts, typename Char>
BOOL SetText(Texts fake_windows::Dialog::*texts, const char* call, HWND window, int control_id,
             const Char* text) {
    Log(std::string(call) + " " + Name(window) + " " + std::to_string(control_id));
    fake_windows::Dialog* dialog = FindMutable(window);
    if (dialog == nullptr) {
        return FALSE;
    }
    (dialog->*texts)[control_id] = text;
    return TRUE;
}

}  // namespace

namespace fake_windows {

const std::vector<std::string>& CallLog() {
    return TheWindows().log;
}

void Reset(RECT desktop) {
    TheWindows() = Windows();
    TheWindows().desktop = desktop;
}

void SetClientSize(int template_id, int width, int height) {
    TheWindows().client_sizes[template_id] = {width, height};
}

void OnShown(int template_id, std::function<void(HWND)> cue) {
    TheWindows().cues[template_id] = std::move(cue);
}

INT_PTR Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Dialog* dialog = FindMutable(window);
    if (dialog == nullptr || dialog->procedure == nullptr || dialog->ended) {
        return 0;
    }
    return dialog->procedure(window, message, wparam, lparam);
}

HWND AddWindow(RECT rect, int client_width, int client_height, HWND owner) {
    return Add(rect, client_width, client_height, owner).window;
}

HWND Desktop() {
    return kDesktop;
}

const std::deque<Dialog>& Dialogs() {
    return TheWindows().dialogs;
}

const Dialog* Find(HWND window) {
    return FindMutable(window);
}

}  // namespace fake_windows

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR template_name, HWND parent,
                               DLGPROC dialog_proc, LPARAM init_param) {
    Windows& w = TheWindows();
    int template_id = static_cast<int>(reinterpret_cast<uintptr_t>(template_name));
    Log("DialogBoxParamA " + std::to_string(template_id) + " parent " + Name(parent));
    auto size =
        w.client_sizes.count(template_id) ? w.client_sizes[template_id] : std::make_pair(300, 200);
    HWND owner = parent == kDesktop ? nullptr : parent;
    RECT rect = {0, 0, size.first + 2 * fake_windows::kFrameWidth,
                 size.second + fake_windows::kCaptionHeight + 2 * fake_windows::kFrameWidth};
    fake_windows::Dialog& dialog = Add(rect, size.first, size.second, owner);
    dialog.template_id = template_id;
    dialog.instance = instance;
    dialog.parent = parent;
    dialog.procedure = dialog_proc;
    HWND window = dialog.window;

    dialog_proc(window, WM_INITDIALOG, 0, init_param);
    auto cue = w.cues.find(template_id);
    if (!FindMutable(window)->ended && cue != w.cues.end()) {
        cue->second(window);
    }
    fake_windows::Dialog* shown = FindMutable(window);
    if (!shown->ended) {
        Log("DialogBoxParamA " + std::to_string(template_id) + " left running");
        shown->ended = true;
        return -1;
    }
    Log("DialogBoxParamA " + std::to_string(template_id) + " returned " +
        std::to_string(shown->end_code));
    return shown->end_code;
}

BOOL WINAPI EndDialog(HWND window, INT_PTR result) {
    Log("EndDialog " + Name(window) + " " + std::to_string(result));
    fake_windows::Dialog* dialog = FindMutable(window);
    if (dialog == nullptr || dialog->ended) {
        return FALSE;
    }
    dialog->ended = true;
    dialog->end_code = result;
    return TRUE;
}

BOOL WINAPI SetDlgItemTextA(HWND window, int control_id, LPCSTR text) {
    return SetText(&fake_windows::Dialog::texts_a, "SetDlgItemTextA", window, control_id, text);
}

BOOL WINAPI SetDlgItemTextW(HWND window, int control_id, LPCWSTR text) {
    return SetText(&fake_windows::Dialog::texts_w, "SetDlgItemTextW", window, control_id, text);
}

HWND WINAPI GetDesktopWindow() {
    return kDesktop;
}

HWND WINAPI GetWindow(HWND window, UINT relation) {
    const fake_windows::Dialog* dialog = FindMutable(window);
    return dialog && relation == GW_OWNER ? dialog->owner : nullptr;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
    if (window == kDesktop) {
        *rect = TheWindows().desktop;
        return TRUE;
    }
    const fake_windows::Dialog* dialog = FindMutable(window);
    if (dialog == nullptr) {
        return FALSE;
    }
    *rect = dialog->rect;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    const fake_windows::Dialog* dialog = FindMutable(window);
    if (dialog == nullptr) {
        return FALSE;
    }
    *rect = {0, 0, dialog->client_width, dialog->client_height};
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND window, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
    Log("SetWindowPos " + Name(window) + " " + (insert_after ? "after" : "-") + " " +
        std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(cx) + " " +
        std::to_string(cy) + " " + std::to_string(flags));
    fake_windows::Dialog* dialog = FindMutable(window);
    if (dialog == nullptr) {
        return FALSE;
    }
    RECT& r = dialog->rect;
    if (!(flags & SWP_NOSIZE)) {
        r.right = r.left + cx;
        r.bottom = r.top + cy;
    }
    if (!(flags & SWP_NOMOVE)) {
        LONG width = r.right - r.left;
        LONG height = r.bottom - r.top;
        r = {x, y, x + width, y + height};
    }
    return TRUE;
}

int WINAPI MultiByteToWideChar(UINT code_page, DWORD, LPCSTR multi_byte, int multi_byte_length,
                               LPWSTR wide, int wide_length) {
    if (code_page != 932) {
        return 0;  // the program converts nothing else
    }
    size_t in_size = multi_byte_length < 0 ? std::strlen(multi_byte) + 1 : multi_byte_length;
    std::u16string out(in_size * 2 + 2, u'\0');
    iconv_t converter = iconv_open("UTF-16LE", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return 0;
    }
    char* in = const_cast<char*>(multi_byte);
    char* out_bytes = reinterpret_cast<char*>(out.data());
    size_t out_left = out.size() * sizeof(char16_t);
    size_t result = iconv(converter, &in, &in_size, &out_bytes, &out_left);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1)) {
        return 0;
    }
    int count = static_cast<int>((out.size() * sizeof(char16_t) - out_left) / sizeof(char16_t));
    if (wide_length == 0) {
        return count;
    }
    if (count > wide_length) {
        return 0;
    }
    std::memcpy(wide, out.data(), count * sizeof(char16_t));
    return count;
}
