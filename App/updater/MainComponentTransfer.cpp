// MainComponent: the update thread, which sends the update file to the device.

#include "platform/linux/FileLocations.h"
#include "platform/winapi/WinApi.h"
#include "updater/MainComponent.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace
{
constexpr juce::uint8 imageNumber = 1;

constexpr int startTimeoutMs = 10000;
constexpr int beginTimeoutMs = 10000;
constexpr int blockTimeoutMs = 3000;
constexpr unsigned int lastBlockTimeoutMs = 15000;
constexpr int statusTimeoutMs = 5000;
constexpr int failedStatusTimeoutMs = 1000;
constexpr int statusPauseMs = 100;

/** Reads the first size bytes of the file into buffer; false when the file cannot be
    opened or delivers fewer bytes.
*/
bool readImage (const juce::File& file, juce::uint8* buffer, juce::uint32 size)
{
    if (!isRegularFile (file))
        return false;

    const auto stream = file.createInputStream();

    if (stream == nullptr || !stream->setPosition (0))
        return false;

    juce::uint32 done = 0;

    while (done < size)
    {
        const int n = stream->read (buffer + done, (int) (size - done));

        if (n <= 0)
            return false;

        done += (juce::uint32) n;
    }

    return true;
}
} // namespace

//==============================================================================
void MainComponent::run()
{
    juce::uint8 report[hidReportSize];
    bool failed = false;

    auto sendReport = [this, &report]
    {
        hidCtrl->send (report, hidReportSize); // an unsent report shows as the reply's time-out
    };

    // Waits for the next reply; on a signal, takes bytes 0 and 1 of rxReport under its lock so
    // that a report being copied in on the message thread is never read half-written.
    auto awaitReply = [this] (int timeoutMs, juce::uint8& code, juce::uint8& percent)
    {
        if (!replyEvent.wait (timeoutMs))
            return false;

        replyEvent.reset();

        const juce::ScopedLock sl (rxReportLock);
        code = rxReport[0];
        percent = rxReport[1];
        return true;
    };

    auto clearReport = [&report]
    { std::memset (report, 0, sizeof (report)); };

    juce::uint8 code = 0, percent = 0;

    progress = 0.0;
    postScreenState (updating);

    if (payloadSize == 0)
    {
        postScreenState (updateFailed);
        return;
    }

    //==============================================================================
    // Start: announces the version, length and CRC of the image.
    const juce::uint32 size = imageSize[0];
    const juce::uint16 crc = imageCrc[0];

    clearReport();
    report[0] = (juce::uint8) UpdateCommand::start;
    report[1] = 0;
    report[2] = (juce::uint8) ((fileVersion & 0xFF0) >> 4);
    report[3] = (juce::uint8) ((fileVersion & 0x0F) << 4);
    report[4] = (juce::uint8) (imageNumber | ((imageWrite[0] & 1) << 7));
    report[5] = (juce::uint8) size;
    report[6] = (juce::uint8) (size >> 8);
    report[7] = (juce::uint8) (size >> 16);
    report[8] = (juce::uint8) (size >> 24);
    report[9] = (juce::uint8) crc;
    report[10] = (juce::uint8) (crc >> 8);
    sendReport();

    if (!awaitReply (startTimeoutMs, code, percent) || code != (juce::uint8) DeviceReply::startAccepted)
    {
        postScreenState (updateFailed);
        return;
    }

    //==============================================================================
    // The file is read again; it must still be the image announced, byte for byte, or the
    // device would be sent something other than what it was told to expect.
    std::unique_ptr<juce::uint8[]> image (new (std::nothrow) juce::uint8[size]);

    if (image != nullptr)
    {
        std::memset (image.get(), 0xFF, size);

        const auto file = getSpecialLocation (juce::File::currentExecutableFile)
                              .getParentDirectory()
                              .getChildFile (updateFileName);

        if (!readImage (file, image.get(), size) || calcCrc16 (image.get(), (int) size) != crc)
            image.reset();
    }

    if (image == nullptr)
        failed = true;
    else if (imageWrite[0] == 1)
    {
        //==============================================================================
        // Begin. Any reply but blockAccepted, a wake-up's 0 included, means the device has not
        // taken the image on: that must never end as a success.
        clearReport();
        report[0] = (juce::uint8) UpdateCommand::beginImage;
        report[1] = imageNumber;
        sendReport();

        if (!awaitReply (beginTimeoutMs, code, percent) || code != (juce::uint8) DeviceReply::blockAccepted)
            failed = true;

        //==============================================================================
        // Data. The report is reused: a short last block leaves the tail of the block before.
        if (!failed)
        {
            report[0] = (juce::uint8) UpdateCommand::imageData;
            report[1] = imageNumber;

            const juce::uint32 remainder = size % (juce::uint32) blockDataSize;
            const juce::uint32 numBlocks = size / (juce::uint32) blockDataSize + (remainder != 0 ? 1 : 0);

            for (juce::uint32 k = 0; k < numBlocks; ++k)
            {
                progress = lastPercent / 100.0;

                const bool isLast = k == numBlocks - 1;
                int timeoutMs = blockTimeoutMs;

                if (isLast)
                {
                    timeoutMs = (int) lastBlockTimeoutMs;

                    char line[128];
                    std::snprintf (line, sizeof (line), "... Chane time-out value (%ums). k=%d blockSize=%d\n",
                                   lastBlockTimeoutMs, (int) k, (int) numBlocks);
                    OutputDebugStringA (line);
                }

                const juce::uint32 count = isLast && remainder != 0 ? remainder : (juce::uint32) blockDataSize;
                std::memcpy (report + 2, image.get() + (size_t) k * (size_t) blockDataSize, count);
                sendReport();

                if (!awaitReply (timeoutMs, code, percent))
                {
                    failed = true;
                    break;
                }

                const bool accepted = isLast ? (code == (juce::uint8) DeviceReply::finalBlockAccepted || code == (juce::uint8) DeviceReply::finalBlockAcceptedB)
                                             : code == (juce::uint8) DeviceReply::blockAccepted;

                if (!accepted)
                {
                    failed = true;
                    break;
                }

                lastPercent = (double) percent;
            }
        }
    }

    image.reset();

    //==============================================================================
    // Status poll: runs after any failure past the start too, with the shorter wait.
    clearReport();
    report[0] = (juce::uint8) UpdateCommand::status;

    for (;;)
    {
        sendReport();

        if (!awaitReply (failed ? failedStatusTimeoutMs : statusTimeoutMs, code, percent))
        {
            failed = true;
            break;
        }

        if (code != (juce::uint8) DeviceReply::finished && code != (juce::uint8) DeviceReply::busy)
        {
            failed = true;
            break;
        }

        progress = percent / 100.0;
        juce::Thread::wait (statusPauseMs);

        if (code == (juce::uint8) DeviceReply::finished)
            break;
    }

    postScreenState (failed ? updateFailed : updateComplete);
}
