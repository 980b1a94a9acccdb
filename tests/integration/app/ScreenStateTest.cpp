#include "AppFixture.h"

using testsupport::DevsimProcess;
using testsupport::runMessageLoopFor;

namespace
{
struct Shown
{
    bool ok, cancel, box, bar;
    juce::String okText, cancelText;
};
} // namespace

class ScreenStates : public AppFixture
{
protected:
    void SetUp() override { writeUpdateFile ("vn382_v123.upd", 123, 4000); }

    Shown shown()
    {
        return { ok().isVisible(), cancel().isVisible(), Access::languageBox (c())->isVisible(),
                 Access::progressBar (c())->isVisible(), ok().getButtonText(), cancel().getButtonText() };
    }

    static juce::Rectangle<int> right() { return { 306, 136, 100, 20 }; }
    static juce::Rectangle<int> left() { return { 196, 136, 100, 20 }; }
};

//==============================================================================
TEST_F (ScreenStates, ADevicePresentAtStartIsReadWithoutAnEventAndOkShowsItsVersion)
{
    DevsimProcess device;
    ASSERT_TRUE (device.start (bus.path(), { "--firmware", "258" }));
    create();

    EXPECT_EQ (Access::fileValid (c()), 1);
    EXPECT_EQ (screen(), languageChoice);
    EXPECT_NE (link().connectionState, ConnectionState::disconnected);

    auto s = shown();
    EXPECT_TRUE (s.ok && s.cancel && s.box && !s.bar);
    EXPECT_EQ (s.okText, text (TextId::ok));
    EXPECT_EQ (s.cancelText, text (TextId::cancel));
    EXPECT_EQ (ok().getBounds(), right());
    EXPECT_EQ (cancel().getBounds(), left());

    c().buttonClicked (&ok());
    runMessageLoopFor (50);

    EXPECT_EQ (screen(), readyToUpdate);
    EXPECT_EQ (Access::deviceFirmwareVersion (c()), 258);
    s = shown();
    EXPECT_TRUE (s.ok && s.cancel && !s.box && !s.bar);
    EXPECT_EQ (s.okText, text (TextId::start));
    EXPECT_EQ (s.cancelText, text (TextId::close));
    EXPECT_EQ (ok().getBounds(), right());
    EXPECT_EQ (cancel().getBounds(), left());
}

TEST_F (ScreenStates, DeviceEventsOnTheFirstScreenChangeNothingAndOkReadsTheLinkItself)
{
    create();
    EXPECT_EQ (link().connectionState, ConnectionState::disconnected);

    DevsimProcess device;
    ASSERT_TRUE (device.start (bus.path(), { "--firmware", "104" }));
    ASSERT_TRUE (waitForConnection (true));
    runMessageLoopFor (100);
    EXPECT_EQ (screen(), languageChoice);
    EXPECT_EQ (Access::deviceFirmwareVersion (c()), 104);

    device.terminate();
    ASSERT_TRUE (waitForConnection (false));
    runMessageLoopFor (100);
    EXPECT_EQ (screen(), languageChoice);

    c().buttonClicked (&ok());
    runMessageLoopFor (50);
    EXPECT_EQ (screen(), noDevice);
    EXPECT_EQ (Access::deviceFirmwareVersion (c()), -1);
}

TEST_F (ScreenStates, NoDeviceAndReadyFollowArrivalsAndRemovalsWithTheNewVersion)
{
    create();
    c().buttonClicked (&ok());
    ASSERT_EQ (screen(), noDevice);

    auto s = shown();
    EXPECT_TRUE (!s.ok && s.cancel && !s.box && !s.bar);
    EXPECT_EQ (s.cancelText, text (TextId::close));
    EXPECT_EQ (cancel().getBounds(), right());

    DevsimProcess first;
    ASSERT_TRUE (first.start (bus.path(), { "--firmware", "101" }));
    ASSERT_TRUE (waitForScreen (readyToUpdate));
    EXPECT_EQ (Access::deviceFirmwareVersion (c()), 101);

    first.kill();
    ASSERT_TRUE (waitForScreen (noDevice));
    EXPECT_EQ (Access::deviceFirmwareVersion (c()), -1);

    DevsimProcess second;
    ASSERT_TRUE (second.start (bus.path(), { "--firmware", "202" }));
    ASSERT_TRUE (waitForScreen (readyToUpdate));
    EXPECT_EQ (Access::deviceFirmwareVersion (c()), 202);
}

TEST_F (ScreenStates, OfSeveralPostsOnlyTheLastShowsAndTheFinalScreensRefuseThem)
{
    create();
    c().buttonClicked (&ok());
    ASSERT_EQ (screen(), noDevice);

    // Posted from another thread before the message thread gets to them.
    std::thread poster ([this]
                        {
        c().postScreenState (readyToUpdate);
        c().postScreenState (noDevice);
        c().postScreenState (updating); });
    poster.join();
    EXPECT_EQ (screen(), noDevice);
    runMessageLoopFor (50);
    EXPECT_EQ (screen(), updating);
    EXPECT_EQ (Access::pendingState (c()), none);

    auto s = shown();
    EXPECT_TRUE (!s.ok && !s.cancel && !s.box && s.bar);
    EXPECT_EQ (Access::progressBar (c())->getBounds(), juce::Rectangle<int> (20, 78, 386, 20));

    c().postScreenState (updateFailed);
    runMessageLoopFor (50);
    ASSERT_EQ (screen(), updateFailed);
    s = shown();
    EXPECT_TRUE (!s.ok && s.cancel && !s.bar);
    EXPECT_EQ (s.cancelText, text (TextId::ok));
    EXPECT_EQ (cancel().getBounds(), right());

    for (int state : { readyToUpdate, noDevice, updating, updateComplete })
    {
        c().postScreenState (state);
        runMessageLoopFor (20);
        EXPECT_EQ (screen(), updateFailed);
    }
}

TEST_F (ScreenStates, PostsAreNotAppliedOnTheFirstScreen)
{
    create();
    c().postScreenState (readyToUpdate);
    runMessageLoopFor (50);
    EXPECT_EQ (screen(), languageChoice);
}

TEST_F (ScreenStates, PickingALanguageRebuildsTheFirstScreenInIt)
{
    create();
    auto* box = Access::languageBox (c());
    auto* texts = TxtLoader::getInstance();

    // Only installed languages are offered, each under its own name, English always.
    EXPECT_EQ (box->getItemText (0), texts->getLanguageName (Language::english));
    int germanItem = -1;
    for (int i = 0; i < box->getNumItems(); ++i)
        if (box->getItemId (i) == Language::german + 1)
            germanItem = i;

    if (germanItem < 0)
        GTEST_SKIP() << "German locale not installed";

    box->setSelectedId (Language::german + 1, juce::sendNotificationSync);
    EXPECT_EQ (texts->currentLanguage, (int) Language::german);
    EXPECT_EQ (ok().getButtonText(), texts->getText (TextId::ok));
    EXPECT_EQ (cancel().getButtonText(), texts->getText (TextId::cancel));
    EXPECT_EQ (screen(), languageChoice);
}

//==============================================================================
class BadFile : public AppFixture
{
};

TEST_F (BadFile, WithoutAValidFileOkLeadsToTheBadFileScreenThatNothingChanges)
{
    writeUpdateFile ("vn382_v123.upd", 123, 4000, "VN383");
    DevsimProcess device;
    ASSERT_TRUE (device.start (bus.path()));
    create();

    EXPECT_EQ (Access::fileValid (c()), 0);
    EXPECT_EQ (Access::fileVersion (c()), -1);

    c().buttonClicked (&ok());
    EXPECT_EQ (screen(), readyToUpdate); // accepted, but shown as the bad-file screen
    EXPECT_FALSE (ok().isVisible());
    EXPECT_TRUE (cancel().isVisible());
    EXPECT_EQ (cancel().getButtonText(), text (TextId::ok));
    EXPECT_EQ (cancel().getBounds(), juce::Rectangle<int> (306, 136, 100, 20));

    device.terminate();
    ASSERT_TRUE (waitForConnection (false));
    c().postScreenState (updateComplete);
    runMessageLoopFor (100);
    EXPECT_EQ (screen(), readyToUpdate);
    EXPECT_EQ (Access::deviceFirmwareVersion (c()), -1);
}

TEST_F (BadFile, NoFileAtAllBehavesTheSame)
{
    create();
    EXPECT_EQ (Access::fileValid (c()), 0);
    EXPECT_EQ (Access::updateFileName (c()), juce::String());

    c().buttonClicked (&ok());
    EXPECT_EQ (screen(), noDevice);
    EXPECT_FALSE (ok().isVisible());
    EXPECT_EQ (cancel().getButtonText(), text (TextId::ok));

    DevsimProcess device;
    ASSERT_TRUE (device.start (bus.path()));
    ASSERT_TRUE (waitForConnection (true));
    runMessageLoopFor (100);
    EXPECT_EQ (screen(), noDevice);
}
