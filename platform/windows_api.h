// The program's one view of the Windows API. A Windows build gets the real thing; a host build
// gets the project's stand-ins, declared here under the same names and with the same signatures,
// so the program's sources compile unchanged for both.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#else

#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int BOOL;
typedef unsigned int UINT;
typedef int INT;
typedef char CHAR;
typedef char16_t WCHAR;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG LSTATUS;
typedef DWORD REGSAM;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* LPVOID;

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* PFILETIME;

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define TRUE 1
#define FALSE 0

#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((ULONG_PTR)(l)) >> 16) & 0xffff))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)((WORD)(l) | ((DWORD)(WORD)(h) << 16)))

// Predefined roots: sign-extended 32-bit constants, as a 32-bit build sees them.
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_KEY_DELETED 1018L

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define SYNCHRONIZE 0x00100000L
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_CREATE_LINK 0x00000002L
#define REG_OPTION_OPEN_LINK 0x00000008L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_LINK 6
#define REG_MULTI_SZ 7

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM desired, PHKEY result);
LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD reserved, LPSTR key_class,
                            DWORD options, REGSAM desired, LPSECURITY_ATTRIBUTES security,
                            PHKEY result, LPDWORD disposition);
LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved,
                          LPSTR key_class, LPDWORD class_length, PFILETIME last_write_time);
LONG WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length, LPDWORD reserved,
                          LPDWORD type, LPBYTE data, LPDWORD data_length);
LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD data_length);
LONG WINAPI RegSetValueExA(HKEY key, LPCSTR value_name, DWORD reserved, DWORD type,
                           const BYTE* data, DWORD data_length);
LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR sub_key);
LONG WINAPI RegCloseKey(HKEY key);

#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define IDOK 1
#define IDCANCEL 2
#define GW_OWNER 4
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define CP_ACP 0

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR template_name, HWND parent,
                               DLGPROC dialog_proc, LPARAM init_param);
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
BOOL WINAPI SetDlgItemTextA(HWND dialog, int control_id, LPCSTR text);
BOOL WINAPI SetDlgItemTextW(HWND dialog, int control_id, LPCWSTR text);
HWND WINAPI GetDesktopWindow();
HWND WINAPI GetWindow(HWND window, UINT relation);
BOOL WINAPI GetWindowRect(HWND window, LPRECT rect);
BOOL WINAPI GetClientRect(HWND window, LPRECT rect);
BOOL WINAPI SetWindowPos(HWND window, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte,
                               int multi_byte_length, LPWSTR wide, int wide_length);

#endif
