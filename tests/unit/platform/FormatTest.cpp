#include <gtest/gtest.h>

#include "platform/winapi/WinApi.h"

#include <string>

namespace
{
int measure (const char* format, ...)
{
    va_list args;
    va_start (args, format);
    const int n = _vscprintf (format, args);
    va_end (args);
    return n;
}

int format (char* buffer, size_t size, const char* fmt, ...)
{
    va_list args;
    va_start (args, fmt);
    const int n = vsprintf_s (buffer, size, fmt, args);
    va_end (args);
    return n;
}
} // namespace

TEST (RuntimeFormatting, MeasureThenFormatGivesTheWholeText)
{
    const int n = measure ("%d.%02d %s", 1, 5, "\xd0\x92\xd0\xb5\xd1\x80");
    ASSERT_EQ (n, 4 + 1 + 6);

    std::string out ((size_t) n + 1, '\0');
    EXPECT_EQ (format (out.data(), out.size(), "%d.%02d %s", 1, 5, "\xd0\x92\xd0\xb5\xd1\x80"), n);
    EXPECT_STREQ (out.c_str(), "1.05 \xd0\x92\xd0\xb5\xd1\x80");
}

TEST (RuntimeFormatting, BoundedFormatRefusesTooSmallBuffers)
{
    char small[4] = { 'x', 'x', 'x', 'x' };
    EXPECT_EQ (format (small, sizeof (small), "%s", "too long"), -1);
    EXPECT_EQ (small[0], 0);
    EXPECT_EQ (format (nullptr, 10, "%s", "a"), -1);
    EXPECT_EQ (format (small, 0, "%s", "a"), -1);
}
