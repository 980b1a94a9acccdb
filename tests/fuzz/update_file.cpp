// Feeds arbitrary bytes as the update file beside the executable through
// MainComponent::loadUpdateFile, and checks what it reports against the bytes themselves.

#include "platform/linux/FileLocations.h"
#include "tests/support/MainComponentTestAccess.h"

#include <cstdlib>
#include <cstring>

namespace
{
using Access = MainComponentTestAccess;

juce::File& fuzzFolder()
{
    static juce::File folder;
    return folder;
}

void check (bool condition)
{
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzzFolder() = juce::File::getSpecialLocation (juce::File::tempDirectory)
                       .getChildFile ("fuzz-update-file-" + juce::Uuid().toString());
    fuzzFolder().createDirectory();
    setExecutableFolderOverride (fuzzFolder());

    std::atexit ([]
                 { fuzzFolder().deleteRecursively(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const juce::String name ("vn382_fuzz.upd");

    if (!fuzzFolder().getChildFile (name).replaceWithData (data, size))
        return 0;

    static auto component = Access::createMembersOnly();
    Access::imageSize (*component) = 0;
    Access::imageWrite (*component) = 0;

    int version = 12345;
    const int result = Access::loadUpdateFile (*component, name, "VN382 ", &version);

    const bool wholeHeader = size >= 36;
    check (result == (wholeHeader && std::memcmp (data, "VN382", 5) == 0 ? (int) size - 36 : 0));

    if (wholeHeader)
    {
        check (version == (data[20] - 48) * 100 + (data[21] - 48) * 10 + (data[22] - 48));
        check (Access::imageSize (*component) == size && Access::imageWrite (*component) == 1);
    }
    else
    {
        check (version == -1 && Access::imageSize (*component) == 0 && Access::imageWrite (*component) == 0);
    }

    return 0;
}
