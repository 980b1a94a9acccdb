#include "platform/winapi/WindowTable.h"

#include <map>
#include <mutex>
#include <string>

// A window is a record of its class's procedure; a class is a record of its name. Nothing is
// drawn: the program's only window of this kind is the hidden receiver of the device library.

namespace
{
struct WindowRecord
{
    std::string className;
    WNDPROC procedure = nullptr;
    bool visible = false;
};

struct Table
{
    std::mutex lock;
    std::map<std::string, WNDPROC> classes;
    std::map<uintptr_t, WindowRecord> windows;

    // Handles come from a counter that never goes back, so a message posted to a window
    // destroyed meanwhile can never reach a newer window under the same handle.
    uintptr_t nextHandle = 0x10000;
};

// Never destroyed: the device library's thread may still post while the process exits.
Table& table()
{
    static Table* t = new Table();
    return *t;
}

// Distinct non-null dummies for the handles that only have to exist.
char moduleToken, cursorToken, stockObjectToken;
} // namespace

namespace winapi
{
bool windowExists (HWND window)
{
    return windowProcedure (window) != nullptr;
}

WNDPROC windowProcedure (HWND window)
{
    auto& t = table();
    std::lock_guard<std::mutex> l (t.lock);
    auto w = t.windows.find ((uintptr_t) window);
    return w != t.windows.end() ? w->second.procedure : nullptr;
}
} // namespace winapi

//==============================================================================
extern "C" HMODULE GetModuleHandleA (LPCSTR moduleName)
{
    // Only the program's own module is known.
    return moduleName == nullptr ? reinterpret_cast<HMODULE> (&moduleToken) : nullptr;
}

extern "C" HCURSOR LoadCursorA (HINSTANCE, LPCSTR)
{
    return reinterpret_cast<HCURSOR> (&cursorToken);
}

extern "C" HGDIOBJ GetStockObject (int)
{
    return reinterpret_cast<HGDIOBJ> (&stockObjectToken);
}

extern "C" ATOM RegisterClassA (const WNDCLASSA* windowClass)
{
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr || *windowClass->lpszClassName == 0 || windowClass->lpfnWndProc == nullptr)
        return 0;

    auto& t = table();
    std::lock_guard<std::mutex> l (t.lock);

    if (!t.classes.emplace (windowClass->lpszClassName, windowClass->lpfnWndProc).second)
        return 0; // already registered

    static ATOM nextAtom = 0xC000;
    return nextAtom == 0xFFFF ? (ATOM) 0xFFFF : nextAtom++;
}

extern "C" BOOL UnregisterClassA (LPCSTR className, HINSTANCE)
{
    if (className == nullptr)
        return FALSE;

    auto& t = table();
    std::lock_guard<std::mutex> l (t.lock);

    for (auto& w : t.windows)
        if (w.second.className == className)
            return FALSE; // a class is removed only once its windows are gone

    return t.classes.erase (className) > 0 ? TRUE : FALSE;
}

extern "C" HWND CreateWindowExA (DWORD, LPCSTR className, LPCSTR, DWORD, int, int, int, int,
                                 HWND, HMENU, HINSTANCE, LPVOID)
{
    if (className == nullptr)
        return nullptr;

    winapi::attachMessageQueue();
    auto& t = table();
    std::lock_guard<std::mutex> l (t.lock);
    auto c = t.classes.find (className);

    if (c == t.classes.end())
        return nullptr;

    const auto handle = t.nextHandle++;
    t.windows[handle] = WindowRecord { c->first, c->second, false };
    return reinterpret_cast<HWND> (handle);
}

extern "C" BOOL ShowWindow (HWND window, int command)
{
    auto& t = table();
    std::lock_guard<std::mutex> l (t.lock);
    auto w = t.windows.find ((uintptr_t) window);

    if (w == t.windows.end())
        return FALSE;

    const bool wasVisible = w->second.visible;
    w->second.visible = command != SW_HIDE;
    return wasVisible ? TRUE : FALSE;
}

extern "C" BOOL DestroyWindow (HWND window)
{
    auto& t = table();
    std::lock_guard<std::mutex> l (t.lock);
    return t.windows.erase ((uintptr_t) window) > 0 ? TRUE : FALSE;
}

extern "C" LRESULT DefWindowProcA (HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}
