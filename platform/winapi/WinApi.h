#pragma once

// The few Windows calls and types that the program uses, for platforms that lack them.
// Only what the program calls is here; each behaves as the program relies on it.
//
// Threads: PostMessageA may be called from any thread. Every other call belongs to the
// message thread. A window's procedure only ever runs on the message thread.

#include <cstddef>
#include <cstdint>

struct HWND__;
struct HINSTANCE__;
struct HICON__;
struct HCURSOR__;
struct HBRUSH__;
struct HGDIOBJ__;

typedef HWND__* HWND;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef HICON__* HICON;
typedef HCURSOR__* HCURSOR;
typedef HBRUSH__* HBRUSH;
typedef HGDIOBJ__* HGDIOBJ;
typedef void* HMENU;
typedef void* LPVOID;

typedef int BOOL;
typedef unsigned int UINT;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint16_t ATOM;
typedef uint16_t LANGID;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef char* LPSTR;
typedef const char* LPCSTR;

typedef LRESULT (*WNDPROC) (HWND, UINT, WPARAM, LPARAM);
typedef BOOL (*LOCALE_ENUMPROCA) (LPSTR);

struct WNDCLASSA
{
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define WM_USER 0x0400

#define WS_OVERLAPPED 0x00000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_DISABLED 0x08000000L
#define WS_OVERLAPPEDWINDOW (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)

#define SW_HIDE 0
#define IDC_ARROW ((LPCSTR) (uintptr_t) 32512)
#define BLACK_BRUSH 4

#define LCID_INSTALLED 0x00000001
#define LCID_SUPPORTED 0x00000002

extern "C"
{
    // Window classes and hidden windows (message thread only).
    HMODULE GetModuleHandleA (LPCSTR moduleName);
    HCURSOR LoadCursorA (HINSTANCE instance, LPCSTR cursorName);
    HGDIOBJ GetStockObject (int object);
    ATOM RegisterClassA (const WNDCLASSA* windowClass);
    BOOL UnregisterClassA (LPCSTR className, HINSTANCE instance);
    HWND CreateWindowExA (DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                          int x, int y, int width, int height,
                          HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
    BOOL ShowWindow (HWND window, int command);
    BOOL DestroyWindow (HWND window);
    LRESULT DefWindowProcA (HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Any thread: queues the message for the window's procedure on the message thread.
    // Messages to one window arrive in order, one at a time; a message for a window that has
    // been destroyed meanwhile is dropped. Exported by the program for the device library.
    __attribute__ ((visibility ("default"))) BOOL PostMessageA (HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Locales.
    BOOL EnumSystemLocalesA (LOCALE_ENUMPROCA callback, DWORD flags);
    LANGID GetUserDefaultLangID (void);

    // Miscellaneous.
    BOOL AllowSetForegroundWindow (DWORD processId);
    void OutputDebugStringA (LPCSTR text);
}

#define ASFW_ANY ((DWORD) -1)

// The C runtime's counting and bounded formatters.
#include <cstdarg>
int _vscprintf (const char* format, va_list args);
int vsprintf_s (char* buffer, size_t size, const char* format, va_list args);
