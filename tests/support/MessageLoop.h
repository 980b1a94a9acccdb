#pragma once

// Running the JUCE message loop from a test. Call on the message thread (the test's own
// thread, see TestMain.cpp).

#include <functional>

namespace testsupport
{
/** Runs the message loop until condition() holds or timeoutMs have passed; returns
    condition() as it stands at the end. The condition is checked between dispatches.
*/
bool runMessageLoopUntil (const std::function<bool()>& condition, int timeoutMs);

/** Runs the message loop for ms milliseconds. */
void runMessageLoopFor (int ms);
} // namespace testsupport
