#include "support/AppRig.h"

#include "resources/TxtLoader.h"
#include "support/MessageLoop.h"
#include "updater/FileLocations.h"

#include <random>

namespace testsupport
{
Bytes updateFile (size_t size, const char* digits, const char* magic)
{
    std::mt19937 random ((unsigned) size);
    Bytes bytes (std::max<size_t> (size, 23));

    for (auto& b : bytes)
        b = (juce::uint8) random();

    std::copy_n (magic, 5, bytes.begin());
    std::copy_n (digits, 3, bytes.begin() + 20);
    bytes.resize (size);
    return bytes;
}

juce::uint16 crcOracle (const Bytes& data)
{
    unsigned crc = 0;

    for (auto b : data)
    {
        crc ^= (unsigned) b << 8;

        for (int bit = 0; bit < 8; ++bit)
            crc = ((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1) & 0xffff;
    }

    return (juce::uint16) crc;
}

ExecutableFolder::ExecutableFolder()
    : folder (juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("vn382-" + juce::Uuid().toString()))
{
    folder.createDirectory();
    setExecutableFolderOverride (folder);
}

ExecutableFolder::~ExecutableFolder()
{
    setExecutableFolderOverride (juce::File());
    folder.deleteRecursively();
}

juce::File ExecutableFolder::write (const char* utf8Name, const Bytes& bytes) const
{
    auto file = folder.getChildFile (juce::String::fromUTF8 (utf8Name));
    file.replaceWithData (bytes.data(), bytes.size());
    return file;
}

//==============================================================================
bool AppRig::startDevice (const std::vector<std::string>& options)
{
    auto all = options;
    all.insert (all.end(), { "--log", bus.file ("requests.log"), "--save", bus.file ("image.bin") });
    return devsim.start (bus.path(), all);
}

void AppRig::create()
{
    main = std::make_unique<MainComponent>();
    main->setSize (426, 176);
    TxtLoader::getInstance()->setLanguage (Language::english);
    Access::rebuildScreen (*main);
}

bool AppRig::prepare (const Bytes& file, const std::vector<std::string>& deviceOptions)
{
    dir.write ("vn382_v123.upd", file);

    if (!startDevice (deviceOptions))
        return false;

    create();
    runMessageLoopFor (200);
    pressOk();
    return screen() == readyToUpdate;
}

bool AppRig::start (const Bytes& file, const std::vector<std::string>& deviceOptions)
{
    const bool ready = prepare (file, deviceOptions);

    if (ready)
        pressOk();

    return ready;
}

const std::vector<Bytes>& AppRig::requests()
{
    juce::MemoryBlock all;
    juce::File (bus.file ("requests.log")).loadFileAsData (all);
    const auto* bytes = static_cast<const juce::uint8*> (all.getData());

    for (size_t at = logged.size() * 1024; at + 1024 <= all.getSize(); at += 1024)
    {
        logged.emplace_back (bytes + at, bytes + at + 1024);
        seen.push_back (Clock::now());
    }

    return logged;
}

std::vector<int> AppRig::codes()
{
    std::vector<int> c;

    for (auto& r : requests())
        c.push_back (r[0]);

    return c;
}

bool AppRig::runUntil (const std::function<bool()>& condition, int timeoutMs)
{
    return runMessageLoopUntil ([&]
                                {
        requests();

        if (const double p = Access::progress (*main); progressSeen.empty() || progressSeen.back() != p)
            progressSeen.push_back (p);

        return condition(); },
                                timeoutMs);
}

bool AppRig::runToEnd (int timeoutMs)
{
    const bool final = runUntil ([this]
                                 { return screen() == updateComplete || screen() == updateFailed; },
                                 timeoutMs);
    finalSeen = Clock::now();
    return final && main->waitForThreadToExit (5000);
}

double AppRig::msBetween (size_t i, int j)
{
    return std::chrono::duration<double, std::milli> ((j < 0 ? finalSeen : seen.at ((size_t) j)) - seen.at (i)).count();
}

Bytes AppRig::savedImage() const
{
    juce::MemoryBlock image;
    juce::File (bus.file ("image.bin")).loadFileAsData (image);
    return Bytes ((const juce::uint8*) image.getData(), (const juce::uint8*) image.getData() + image.getSize());
}
} // namespace testsupport
