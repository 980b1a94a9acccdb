// Feeds arbitrary blocks to the text parser: every section, a small and a large output
// array, and the unquoting of the whole input as one line. Nothing may be read or written
// outside the block and the arrays.
#include "resources/TxtLoader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size > 1 << 16)
        return 0;

    // An exact copy, so any read beyond the block's size lands outside the allocation.
    const std::vector<char> block (data, data + size);
    const char* bytes = block.empty() ? nullptr : block.data();

    for (auto section : { TxtSection::none, TxtSection::fontWin, TxtSection::lang, TxtSection::str })
    {
        juce::String few[2];
        juce::String many[numTexts];
        TxtLoader::parse (bytes, (int) size, section, few, 2);
        TxtLoader::parse (bytes, (int) size, section, many, numTexts);

        for (auto& s : many)
            (void) s.length(); // walk every stored string
    }

    std::vector<char> line (block);
    line.push_back (0);
    std::vector<char> out (line.size());
    TxtLoader::unquote (line.data(), out.data());

    return 0;
}
