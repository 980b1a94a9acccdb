#include "platform/winapi/WinApi.h"

#include <cstdio>
#include <unistd.h>

extern "C" BOOL AllowSetForegroundWindow (DWORD)
{
    return TRUE; // X11 has no foreground lock to lift
}

extern "C" void OutputDebugStringA (LPCSTR text)
{
    if (text != nullptr)
    {
        std::fputs (text, stderr);
        std::fflush (stderr);
    }
}

int _vscprintf (const char* format, va_list args)
{
    va_list copy;
    va_copy (copy, args);
    const int n = std::vsnprintf (nullptr, 0, format, copy);
    va_end (copy);
    return n;
}

int vsprintf_s (char* buffer, size_t size, const char* format, va_list args)
{
    if (buffer == nullptr || size == 0 || format == nullptr)
        return -1;

    const int n = std::vsnprintf (buffer, size, format, args);

    if (n < 0 || (size_t) n >= size)
    {
        buffer[0] = 0; // the bounded form fails rather than truncates
        return -1;
    }

    return n;
}
