#include "AppFixture.h"

using testsupport::DevsimProcess;
using testsupport::runMessageLoopFor;
using testsupport::runMessageLoopUntil;

class EarlyReply : public AppFixture
{
protected:
    // Waits without running the message loop.
    static bool waitForLogSize (const juce::File& log, juce::int64 size)
    {
        const auto end = juce::Time::getMillisecondCounter() + 3000;
        while (log.getSize() < size && juce::Time::getMillisecondCounter() < end)
            juce::Thread::sleep (5);
        return log.getSize() >= size;
    }
};

// The start reply can reach the message thread before the thread's "updating" post has been
// applied; it must still wake the thread instead of leaving the start to time out.
TEST_F (EarlyReply, AReplyBeforeTheUpdatingScreenStillWakesTheThread)
{
    writeUpdateFile ("vn382_v123.upd", 123, 3000);
    const auto log = juce::File::createTempFile ("vn382-log");
    DevsimProcess device;
    ASSERT_TRUE (device.start (bus.path(), { "--silent-from", "start", "--log", log.getFullPathName().toStdString() }));
    create();
    runMessageLoopFor (200);

    c().buttonClicked (&ok());
    ASSERT_EQ (screen(), readyToUpdate);
    c().buttonClicked (&ok()); // Start; the message loop does not run, so the screen stays

    // The silent device leaves the start report unanswered; a reply arriving now, before the
    // updating screen, stands for one that overtook the screen's post.
    ASSERT_TRUE (waitForLogSize (log, 1024));
    EXPECT_EQ (screen(), readyToUpdate);

    std::fill (std::begin (link().report), std::end (link().report), (juce::uint8) 0);
    link().report[0] = 0xF8;
    link().reportLength = 1;
    c().onReportReceived();

    // Woken with the start accepted, the thread sends the begin report next.
    waitForLogSize (log, 2048);

    juce::MemoryBlock records;
    log.loadFileAsData (records);
    ASSERT_GE (records.getSize(), (size_t) 2048);
    EXPECT_EQ ((juce::uint8) records[0], 0xF0);
    EXPECT_EQ ((juce::uint8) records[1024], 0xF1);

    Access::quit (c());
    EXPECT_FALSE (c().isThreadRunning());
    EXPECT_TRUE (waitForScreen (updateFailed));
    log.deleteFile();
}
