#include "AppFixture.h"

using testsupport::DevsimProcess;
using testsupport::runMessageLoopFor;

class Shutdown : public AppFixture
{
};

// The system may end the program while a transfer runs: the component must stop the thread in
// quit's orderly way before the device link and the texts go, and not hang.
TEST_F (Shutdown, DestroyingTheComponentDuringATransferStopsTheThreadFirst)
{
    writeUpdateFile ("vn382_v123.upd", 123, 200000);
    DevsimProcess device;
    ASSERT_TRUE (device.start (bus.path(), { "--silent-from", "block:3" }));
    create();
    runMessageLoopFor (200);

    c().buttonClicked (&ok());
    c().buttonClicked (&ok());
    ASSERT_TRUE (waitForScreen (updating));
    ASSERT_TRUE (c().isThreadRunning());

    const auto start = juce::Time::getMillisecondCounter();
    component.reset();
    const auto took = juce::Time::getMillisecondCounter() - start;

    // Woken with code 0, the thread fails the block and polls once with the 1000 ms time-out.
    EXPECT_LT (took, 2500u);
}
