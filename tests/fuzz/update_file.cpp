// Arbitrary bytes as the update file, through loadUpdateFile, checked against the bytes themselves.

#include "support/AppRig.h"

namespace
{
using Access = MainComponentTestAccess;

void check (bool condition) { condition ? void() : std::abort(); }
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static testsupport::ExecutableFolder dir;
    static auto component = Access::createMembersOnly();
    dir.write ("vn382_fuzz.upd", testsupport::Bytes (data, data + size));
    Access::imageSize (*component) = 0;
    Access::imageWrite (*component) = 0;
    int version = 12345;
    const int result = Access::loadUpdateFile (*component, "vn382_fuzz.upd", "VN382 ", &version);

    // A whole 36-byte header gives the version from its three digits at 20, and the image its size.
    const bool wholeHeader = size >= 36;
    check (result == (wholeHeader && std::memcmp (data, "VN382", 5) == 0 ? (int) size - 36 : 0));
    check (wholeHeader ? version == (data[20] - 48) * 100 + (data[21] - 48) * 10 + (data[22] - 48) : version == -1);
    check (Access::imageSize (*component) == (wholeHeader ? size : 0) && Access::imageWrite (*component) == (wholeHeader ? 1 : 0));
    return 0;
}
