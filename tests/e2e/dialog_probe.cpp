// Looks at the uninstaller's dialogs from another process and prints what it sees as one JSON
// object on stdout, for the end-to-end tests to compare with what they expect.
//
//   dialog_probe acp                   the ANSI and OEM code pages of this process
//   dialog_probe state [which ms]      both dialogs, the desktop and the focus; with `which`
//                                      (main or result) it first waits up to `ms` milliseconds
//                                      for that dialog to be visible
//
// Texts are printed as the hex of their UTF-16 code units (little-endian bytes), so nothing on
// the way depends on a code page. Exit code: 0 printed, 3 waited in vain, 2 bad arguments.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const wchar_t kDialogClass[] = L"#32770";
const wchar_t kMainTitle[] = L"Uninstaller for Vorlaxen";
const wchar_t kResultTitle[] = L"\u7d50\u679c";  // 結果

std::string Hex(const std::wstring& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (wchar_t unit : text) {
        unsigned value = static_cast<unsigned short>(unit);
        unsigned bytes[2] = {value & 0xffu, value >> 8};
        for (unsigned byte : bytes) {
            out += digits[byte >> 4];
            out += digits[byte & 0xfu];
        }
    }
    return out;
}

// WM_GETTEXT is marshalled across processes, unlike GetWindowTextW, which for another
// process's window returns only the text kept with the window, not an edit control's contents.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
        return std::wstring();
    }
    std::vector<wchar_t> buffer(length + 1);
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, 2000,
                             &copied)) {
        return std::wstring();
    }
    return std::wstring(buffer.data(), copied);
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string RectJson(const RECT& rect) {
    char out[96];
    std::snprintf(out, sizeof out, "[%ld, %ld, %ld, %ld]", static_cast<long>(rect.left),
                  static_cast<long>(rect.top), static_cast<long>(rect.right),
                  static_cast<long>(rect.bottom));
    return out;
}

std::string HandleJson(HWND window) {
    char out[32];
    std::snprintf(out, sizeof out, "%lu",
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
    return out;
}

// The screen point over the caption's close button, found by asking the window itself.
bool FindClosePoint(HWND window, POINT& found) {
    RECT rect;
    GetWindowRect(window, &rect);
    int bottom = rect.top + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME);
    for (int y = rect.top; y < bottom; ++y) {
        for (int x = rect.right - 1; x > rect.right - 64 && x > rect.left; --x) {
            DWORD_PTR hit = 0;
            LPARAM point = MAKELPARAM(static_cast<SHORT>(x), static_cast<SHORT>(y));
            if (SendMessageTimeoutW(window, WM_NCHITTEST, 0, point, SMTO_ABORTIFHUNG, 2000,
                                    &hit) &&
                hit == HTCLOSE) {
                // Aim at the middle of the button: walk on while the hit stays on it.
                int right = x;
                int left = x;
                while (left > rect.left) {
                    point = MAKELPARAM(static_cast<SHORT>(left - 1), static_cast<SHORT>(y));
                    if (!SendMessageTimeoutW(window, WM_NCHITTEST, 0, point, SMTO_ABORTIFHUNG,
                                             2000, &hit) ||
                        hit != HTCLOSE) {
                        break;
                    }
                    --left;
                }
                found.x = (left + right) / 2;
                found.y = y + 4;
                return true;
            }
        }
    }
    return false;
}

struct Children {
    std::string json;
};

BOOL CALLBACK AddChild(HWND child, LPARAM param) {
    Children& children = *reinterpret_cast<Children*>(param);
    RECT rect;
    GetWindowRect(child, &rect);
    char head[160];
    std::snprintf(head, sizeof head, "{\"id\": %d, \"style\": %lu, \"rect\": ",
                  GetDlgCtrlID(child),
                  static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)));
    if (!children.json.empty()) {
        children.json += ", ";
    }
    children.json += head;
    children.json += RectJson(rect);
    children.json += ", \"class\": \"" + ClassOf(child) + "\"";
    children.json += ", \"text\": \"" + Hex(TextOf(child)) + "\"}";
    return TRUE;
}

std::string DialogJson(HWND dialog) {
    if (dialog == nullptr) {
        return "null";
    }
    RECT window;
    RECT client;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    POINT origin = {0, 0};
    ClientToScreen(dialog, &origin);

    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    GUITHREADINFO info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    int focus_id = -1;
    bool has_focus_info = GetGUIThreadInfo(thread, &info) != FALSE;
    if (has_focus_info && info.hwndFocus != nullptr && IsChild(dialog, info.hwndFocus)) {
        focus_id = GetDlgCtrlID(info.hwndFocus);
    }
    DWORD_PTR def_id = 0;
    SendMessageTimeoutW(dialog, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 2000, &def_id);

    Children children;
    EnumChildWindows(dialog, AddChild, reinterpret_cast<LPARAM>(&children));

    POINT close_point = {-1, -1};
    bool has_close = FindClosePoint(dialog, close_point);

    std::string out = "{";
    out += "\"hwnd\": " + HandleJson(dialog);
    out += ", \"owner\": " + HandleJson(GetWindow(dialog, GW_OWNER));
    // Wine keeps the X11 window of a top-level window as a property; 0 elsewhere.
    out += ", \"x11_window\": " +
           HandleJson(static_cast<HWND>(GetPropA(dialog, "__wine_x11_whole_window")));
    out += ", \"enabled\": " + std::string(IsWindowEnabled(dialog) ? "true" : "false");
    out += ", \"visible\": " + std::string(IsWindowVisible(dialog) ? "true" : "false");
    out += ", \"title\": \"" + Hex(TextOf(dialog)) + "\"";
    out += ", \"window\": " + RectJson(window);
    out += ", \"client\": " + RectJson(client);
    char tail[256];
    std::snprintf(tail, sizeof tail,
                  ", \"client_origin\": [%ld, %ld], \"focus_id\": %d, \"focus_known\": %s"
                  ", \"active\": %s, \"default_id\": %d, \"close_point\": ",
                  static_cast<long>(origin.x), static_cast<long>(origin.y), focus_id,
                  has_focus_info ? "true" : "false",
                  has_focus_info && info.hwndActive == dialog ? "true" : "false",
                  HIWORD(def_id) == DC_HASDEFID ? static_cast<int>(LOWORD(def_id)) : -1);
    out += tail;
    if (has_close) {
        char point[48];
        std::snprintf(point, sizeof point, "[%ld, %ld]", static_cast<long>(close_point.x),
                      static_cast<long>(close_point.y));
        out += point;
    } else {
        out += "null";
    }
    out += ", \"children\": [" + children.json + "]";
    out += "}";
    return out;
}

HWND FindVisible(const wchar_t* title) {
    HWND found = FindWindowW(kDialogClass, title);
    return found != nullptr && IsWindowVisible(found) ? found : nullptr;
}

struct ResultSearch {
    HWND main;
    DWORD process;
    HWND found;
};

BOOL CALLBACK MatchResult(HWND window, LPARAM param) {
    ResultSearch& search = *reinterpret_cast<ResultSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (window != search.main && process == search.process && IsWindowVisible(window) &&
        ClassOf(window) == "#32770") {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

// The result dialog is the uninstaller's other visible dialog. Its title is not the way to find
// it: a program that creates its dialogs through the "A" functions gets the title converted to
// the ANSI code page and back, which outside code page 932 leaves question marks.
HWND FindResult(HWND main) {
    if (main == nullptr) {
        return FindVisible(kResultTitle);
    }
    ResultSearch search = {main, 0, nullptr};
    GetWindowThreadProcessId(main, &search.process);
    EnumWindows(MatchResult, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int PrintState() {
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    std::string out = "{\"desktop\": " + RectJson(desktop);
    HWND main = FindVisible(kMainTitle);
    out += ", \"main\": " + DialogJson(main);
    out += ", \"result\": " + DialogJson(FindResult(main));
    out += "}";
    std::printf("%s\n", out.c_str());
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "acp") == 0) {
        std::printf("{\"acp\": %u, \"oemcp\": %u}\n", GetACP(), GetOEMCP());
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "state") == 0) {
        if (argc == 2) {
            return PrintState();
        }
        if (argc != 4) {
            return 2;
        }
        bool want_result = std::strcmp(argv[2], "result") == 0;
        if (!want_result && std::strcmp(argv[2], "main") != 0) {
            return 2;
        }
        DWORD limit = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
        DWORD start = GetTickCount();
        for (;;) {
            HWND main = FindVisible(kMainTitle);
            if (want_result ? FindResult(main) != nullptr : main != nullptr) {
                break;
            }
            if (GetTickCount() - start > limit) {
                PrintState();
                return 3;
            }
            Sleep(50);
        }
        return PrintState();
    }
    std::fprintf(stderr, "usage: dialog_probe acp | state [main|result ms]\n");
    return 2;
}
