#pragma once

#include "platform/linux/FileLocations.h"
#include "resources/TxtLoader.h"
#include "support/DevsimProcess.h"
#include "support/MainComponentTestAccess.h"
#include "support/MessageLoop.h"
#include "updater/AlineButton.h"

#include <gtest/gtest.h>

/** A main component built as the program builds it: a private device bus, a temporary folder
    taken as the executable's folder (with or without an update file), English texts. */
class AppFixture : public ::testing::Test
{
protected:
    using Access = MainComponentTestAccess;

    void TearDown() override
    {
        component.reset();
        setExecutableFolderOverride (juce::File());
    }

    void writeUpdateFile (const juce::String& name, int version, int size, const char* magic = "VN382")
    {
        juce::MemoryBlock data ((size_t) size, true);
        auto* bytes = (char*) data.getData();
        std::memcpy (bytes, magic, 5);
        bytes[20] = (char) ('0' + version / 100);
        bytes[21] = (char) ('0' + version / 10 % 10);
        bytes[22] = (char) ('0' + version % 10);
        ASSERT_TRUE (folder.getFile().getChildFile (name).replaceWithData (data.getData(), data.getSize()));
    }

    void create()
    {
        setExecutableFolderOverride (folder.getFile());
        component = std::make_unique<MainComponent>();
        component->setSize (426, 176);
        TxtLoader::getInstance()->setLanguage (Language::english);
        Access::rebuildScreen (*component);
    }

    MainComponent& c() { return *component; }
    int screen() { return Access::screenState (c()); }
    AlineButton& ok() { return *Access::okButton (c()); }
    AlineButton& cancel() { return *Access::cancelButton (c()); }
    HidCtrl& link() { return *Access::hidCtrl (c()); }
    static juce::String text (int id) { return TxtLoader::getInstance()->getText (id); }

    bool waitForScreen (int state, int timeoutMs = 5000)
    {
        return testsupport::runMessageLoopUntil ([&]
                                                 { return screen() == state; },
                                                 timeoutMs);
    }

    bool waitForConnection (bool connected, int timeoutMs = 5000)
    {
        return testsupport::runMessageLoopUntil ([&]
                                                 { return (link().connectionState != ConnectionState::disconnected) == connected; },
                                                 timeoutMs);
    }

    testsupport::PrivateBus bus;
    struct Folder
    {
        Folder() { file.createDirectory(); }
        ~Folder() { file.deleteRecursively(); }
        juce::File getFile() const { return file; }
        juce::File file = juce::File::createTempFile ("vn382-app");
    } folder;
    std::unique_ptr<MainComponent> component;
};
