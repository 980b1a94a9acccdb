// Writes an update file: a 36-byte header (magic, version digits at 20..22) and a payload of
// reproducible pseudo-random bytes. Used by run.sh for its sample file and by the tests.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
void usage()
{
    std::fputs ("usage: mkupdate --out FILE [--version N] [--size BYTES] [--magic TEXT] [--seed N]\n"
                "  --version N   0..999, written as three digits at offsets 20..22 (default 123)\n"
                "  --size BYTES  whole file length, at least 36 (default 65536)\n"
                "  --magic TEXT  first five bytes (default VN382)\n"
                "  --seed N      payload generator seed (default 1)\n",
                stderr);
}
} // namespace

int main (int argc, char** argv)
{
    std::string out, magic = "VN382";
    long version = 123, size = 65536;
    unsigned long seed = 1;

    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;

        if (value == nullptr)
        {
            usage();
            return 2;
        }

        if (arg == "--out")
            out = value;
        else if (arg == "--version")
            version = std::strtol (value, nullptr, 10);
        else if (arg == "--size")
            size = std::strtol (value, nullptr, 10);
        else if (arg == "--magic")
            magic = value;
        else if (arg == "--seed")
            seed = std::strtoul (value, nullptr, 10);
        else
        {
            usage();
            return 2;
        }

        ++i;
    }

    if (out.empty() || version < 0 || version > 999 || size < 36 || size > (1L << 30))
    {
        usage();
        return 2;
    }

    std::vector<uint8_t> data ((size_t) size, 0);
    std::memcpy (data.data(), "VN382 Firmware Image", 20);
    std::memcpy (data.data(), magic.data(), std::min<size_t> (5, magic.size()));
    data[20] = (uint8_t) ('0' + version / 100);
    data[21] = (uint8_t) ('0' + version / 10 % 10);
    data[22] = (uint8_t) ('0' + version % 10);

    uint32_t x = (uint32_t) seed * 2654435761u + 1u; // xorshift32: reproducible payloads
    for (size_t i = 36; i < data.size(); ++i)
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = (uint8_t) x;
    }

    FILE* f = std::fopen (out.c_str(), "wb");

    if (f == nullptr || std::fwrite (data.data(), 1, data.size(), f) != data.size() || std::fclose (f) != 0)
    {
        std::perror (out.c_str());
        return 1;
    }

    return 0;
}
