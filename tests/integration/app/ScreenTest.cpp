// The screen state machine of a whole component, driven by devsim arriving and leaving, the
// buttons (double clicks too), posts from other threads and an early reply; the languages offered.

#include <gtest/gtest.h>

#include "platform/winapi/Locale.h"
#include "resources/TxtLoader.h"
#include "support/AppRig.h"

#include <thread>

using namespace testsupport;

namespace
{
using Access = MainComponentTestAccess;

struct Screens : ::testing::Test
{
    AppRig rig;

    void SetUp() override { rig.dir.write ("vn382_v123.upd", updateFile (4000)); }

    /** The widgets shown, as "ok:<text> cancel:<text> box bar". */
    juce::String shown()
    {
        auto& c = rig.component();
        auto s = juce::String (Access::okButton (c)->isVisible() ? "ok:" + Access::okButton (c)->getButtonText() + " " : "") + (Access::cancelButton (c)->isVisible() ? "cancel:" + Access::cancelButton (c)->getButtonText() + " " : "") + (Access::languageBox (c)->isVisible() ? "box " : "") + (Access::progressBar (c)->isVisible() ? "bar " : "");
        return s.trim();
    }

    static juce::String text (int id) { return TxtLoader::getInstance()->getText (id); }
    int firmware() { return Access::deviceFirmwareVersion (rig.component()); }
    void post (int state) { rig.component().postScreenState (state); }
    bool handled()
    {
        return rig.runUntil ([this]
                             { return rig.settled(); });
    }
};
} // namespace

//==============================================================================
TEST_F (Screens, OkReadsTheLinkAndTheScreensFollowArrivalsAndRemovals)
{
    ASSERT_TRUE (rig.startDevice ({ "--type", "0x16" })); // a type never opened
    rig.create();
    EXPECT_EQ (Access::hidCtrl (rig.component()).connectionState, ConnectionState::disconnected);
    EXPECT_EQ (shown(), "ok:" + text (TextId::ok) + " cancel:" + text (TextId::cancel) + " box");

    // Events on the first screen change nothing; OK reads the link itself.
    DevsimProcess accepted;
    ASSERT_TRUE (accepted.start (rig.bus.path(), { "--type", "0x13", "--firmware", "104" }));
    ASSERT_TRUE (rig.runUntil ([&]
                               { return Access::hidCtrl (rig.component()).connectionState != ConnectionState::disconnected && rig.settled(); }));
    EXPECT_EQ (rig.screen(), languageChoice);

    rig.pressOk();
    EXPECT_EQ (rig.screen(), readyToUpdate);
    EXPECT_EQ (firmware(), 104);
    EXPECT_EQ (shown(), "ok:" + text (TextId::start) + " cancel:" + text (TextId::close));

    accepted.kill(); // gone without a word: its socket stays
    ASSERT_TRUE (rig.waitForScreen (noDevice));
    EXPECT_EQ (firmware(), -1);
    EXPECT_EQ (shown(), "cancel:" + text (TextId::close));

    ASSERT_TRUE (accepted.start (rig.bus.path(), { "--type", "0x11", "--firmware", "202" }));
    ASSERT_TRUE (rig.waitForScreen (readyToUpdate));
    EXPECT_EQ (firmware(), 202);
}

TEST_F (Screens, OfSeveralPostsTheLastShowsAndTheFinalScreensRefuseThem)
{
    rig.create();
    post (readyToUpdate);
    ASSERT_TRUE (handled());
    EXPECT_EQ (rig.screen(), languageChoice); // the first screen takes no post

    rig.pressOk();
    ASSERT_EQ (rig.screen(), noDevice); // no device
    std::thread ([this]
                 { post (readyToUpdate), post (noDevice), post (updating); })
        .join();
    ASSERT_TRUE (rig.waitForScreen (updating));
    EXPECT_EQ (shown(), "bar");

    for (int final : { updateFailed, updateComplete })
    {
        Access::screenState (rig.component()) = noDevice; // unseen: no rebuild
        post (final);
        ASSERT_TRUE (rig.waitForScreen (final));
        EXPECT_EQ (shown(), "cancel:" + text (TextId::ok));

        for (int state : { (int) readyToUpdate, (int) noDevice, (int) updating, (int) updateComplete, (int) updateFailed })
            ASSERT_TRUE ((post (state), handled()));
    }

    // Each screen shown once, in order; the earlier posts of the three never showed.
    EXPECT_EQ (rig.screensShown, (std::vector<int> { languageChoice, noDevice, updating, updateFailed, updateComplete }));
}

TEST_F (Screens, WithoutAValidFileOkLeadsToAnErrorScreenThatNothingChanges)
{
    rig.dir.write ("vn382_v123.upd", updateFile (4000, "123", "VN383"));
    ASSERT_TRUE (rig.startDevice());
    rig.create();
    rig.pressOk(); // shown as the bad-file screen: no Start
    EXPECT_EQ (shown(), "cancel:" + text (TextId::ok));

    rig.devsim.kill();
    post (updating);
    ASSERT_TRUE (rig.runUntil ([&]
                               { return Access::hidCtrl (rig.component()).connectionState == ConnectionState::disconnected && rig.settled(); }));
    EXPECT_EQ (rig.screen(), readyToUpdate);
    EXPECT_FALSE (rig.component().isThreadRunning());
}

// Both devices are on the bus before the link starts: the library's order decides.
TEST_F (Screens, OfTwoDevicesTheLastListedIsOpenedAndOnlyItsLeavingCounts)
{
    DevsimProcess second, third;
    ASSERT_TRUE (rig.startDevice ({ "--type", "0x12", "--firmware", "112" }));
    ASSERT_TRUE (second.start (rig.bus.path(), { "--type", "0x14", "--firmware", "114" }));
    rig.create();
    auto& link = Access::hidCtrl (rig.component());
    const bool secondOpen = rig.listedTypes() == std::vector<juce::uint32> { 0x12, 0x14 };
    ASSERT_TRUE (secondOpen || rig.listedTypes() == std::vector<juce::uint32> ({ 0x14, 0x12 }));
    EXPECT_EQ (link.firmwareVersion, secondOpen ? 114u : 112u);

    // Another device leaving, then another arriving: the open one stays open and still answers.
    (secondOpen ? rig.devsim : second).kill();
    ASSERT_TRUE (rig.runUntil ([&]
                               { return rig.listedTypes().size() == 1; }));
    ASSERT_TRUE (rig.ping());
    ASSERT_TRUE (third.start (rig.bus.path(), { "--type", "0x15", "--firmware", "115" }));
    ASSERT_TRUE (rig.runUntil ([&]
                               { return rig.listedTypes().size() == 2; }));
    ASSERT_TRUE (rig.ping());
    EXPECT_EQ (link.firmwareVersion, secondOpen ? 114u : 112u);

    // The open device leaving while the first screen shows: OK then finds none.
    (secondOpen ? second : rig.devsim).kill();
    ASSERT_TRUE (rig.runUntil ([&]
                               { return link.connectionState == ConnectionState::disconnected && rig.settled(); }));
    rig.pressOk();
    EXPECT_EQ (rig.screen(), noDevice);
}

// The start reply can reach the message thread before the thread's "updating" post has been
// applied; it must still wake the thread instead of leaving the start to time out.
TEST_F (Screens, AReplyThatOvertakesTheUpdatingScreenStillWakesTheThread)
{
    ASSERT_TRUE (rig.prepare (updateFile (3000), { "--silent-from", "start" }));
    rig.pressOk(); // Start; the message loop does not run, so the screen stays

    const auto sent = [&] (size_t n)
    {
        for (const auto end = Clock::now() + std::chrono::seconds (10); rig.requests().size() < n && Clock::now() < end;)
            std::this_thread::sleep_for (std::chrono::milliseconds (5));

        return rig.requests().size() == n;
    };

    ASSERT_TRUE (sent (1));
    auto& link = Access::hidCtrl (rig.component());
    link.report[0] = 0xF8; // the start's acceptance: the begin report follows
    link.reportLength = 1;
    rig.component().onReportReceived();
    ASSERT_TRUE (sent (2));
    EXPECT_EQ (rig.codes(), (std::vector<int> { 0xF0, 0xF1 }));
    MainComponentTestAccess::quit (rig.component());
    EXPECT_TRUE (rig.waitForScreen (updateFailed));
}

TEST_F (Screens, TheLanguageBoxOffersTheInstalledLanguagesInTheTablesOrder)
{
    const LocaleFacts facts { { "00000411", "00000C04", "00000407", "00000816", "0000040c" } }; // ja, zh_HK (both Chinese), de, pt, fr
    setLocaleFactsForTesting (&facts);
    rig.create();
    setLocaleFactsForTesting (nullptr);
    auto* box = Access::languageBox (rig.component());
    juce::StringArray items;

    for (int i = 0; i < box->getNumItems(); ++i)
        items.add (juce::String (box->getItemId (i)) + " " + box->getItemText (i));

    EXPECT_EQ (items.joinIntoString (", "), juce::String::fromUTF8 ("1 English, 2 Français, 3 Deutsch, 8 Português, 9 简体中文, 10 繁體中文, 12 日本語"));
}

// A new screen's buttons stand where the last one's stood, so the second press of a double click
// would press them: a press that began within the double-click interval of the change is ignored.
TEST (DoubleClick, ASecondPressWithinTheIntervalOfAScreenChangeCountsForNothingALaterOneDoes)
{
    struct Program : juce::JUCEApplication // notes the quits asked for
    {
        const juce::String getApplicationName() override { return "updater"; }
        const juce::String getApplicationVersion() override { return {}; }
        void initialise (const juce::String&) override {}
        void shutdown() override {}
        void systemRequestedQuit() override { ++quits; }
        int quits = 0;
    } program;

    // Whether a device is connected, the state posted after OK, and the screen then shown.
    const std::tuple<bool, int, int> roads[] { { false, none, noDevice }, { true, none, readyToUpdate }, { false, updateComplete, updateComplete }, { false, updateFailed, updateFailed } };
    const int interval = juce::MouseEvent::getDoubleClickTimeout() + 50;

    for (const auto& [device, posted, state] : roads)
    {
        SCOPED_TRACE (state);
        AppRig rig;
        rig.dir.write ("vn382_v123.upd", updateFile (4000));
        ASSERT_TRUE (!device || rig.startDevice());
        rig.create();
        ASSERT_TRUE (rig.runUntil ([&, connected = device]
                                   { return connected == (Access::hidCtrl (rig.component()).connectionState != ConnectionState::disconnected); }));
        rig.clickOkPlace();

        if (posted != none) // as at a transfer's end, long after the last press
            runMessageLoopFor (interval), rig.component().postScreenState (posted);

        ASSERT_TRUE (rig.waitForScreen (state));
        program.quits = 0;
        rig.clickOkPlace(); // at once: Start, Close or OK
        EXPECT_EQ (rig.screen(), state);
        EXPECT_FALSE (program.quits != 0 || rig.component().isThreadRunning());

        runMessageLoopFor (interval);
        rig.clickOkPlace();
        EXPECT_TRUE (device ? rig.waitForScreen (updating) && program.quits == 0 : program.quits == 1);
    }
}
