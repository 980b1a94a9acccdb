#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devsim
{
/** A step of the update protocol, as the fault options name it:
    start, begin, block:K (data report K, from 0), last (the last data report of the image
    that the start report announced), status:N (status poll N, from 0).
*/
struct Step
{
    enum Kind
    {
        none,
        start,
        begin,
        block,
        last,
        status
    };

    Kind kind = none;
    int index = 0;

    static bool parse (const std::string& text, Step& step);
};

/** A reply set by hand for one step: its code and its percentage byte. */
struct ReplyOverride
{
    Step step;
    uint8_t code = 0, percent = 0;

    /** STEP,CODE[,PERCENT], with CODE and PERCENT from 0 to 255 in C notation (0xFC). */
    static bool parse (const std::string& text, ReplyOverride& reply);
};

/** What a fault option changes. */
struct Faults
{
    Step silentFrom;                    // no reply to this step and to every request after it
    Step wrongCodeAt;                   // a reply code that this step never accepts
    Step oversizedAt;                   // a reply longer than a report
    Step emptyAt;                       // an empty reply
    bool finalFb = false;               // 0xFB instead of 0xFE for the last data report
    int unplugAtBlock = -1;             // leave the bus when data report K arrives
    std::vector<ReplyOverride> replies; // these replies instead of the model's (the first match)
};

/** The device's side of the update protocol: start (0xF0) is answered with 0xF8, begin
    (0xF1) with 0xF9, each data report (0xF3) with 0xF9 and the percentage of blocks
    received, the last one with 0xFE and 100, and each status poll (0xF2) with 0xF7 and a
    rising percentage for busyPolls polls, then 0xFC and 100. When the image that arrived
    differs from the start report's announcement (its block count or its CRC-16/XMODEM),
    every status poll is answered with an error code instead.

    Threads: one, devsim's.
*/
class UpdateModel
{
public:
    static constexpr uint8_t lengthError = 0xFA; // the wrong number of blocks, or no transfer
    static constexpr uint8_t crcError = 0xFD;    // the image's CRC differs from the announced one

    struct Answer
    {
        enum Kind
        {
            reply,  // send packet (which may be empty or oversized)
            silent, // send nothing
            unplug  // leave the bus now
        };

        Kind kind = silent;
        std::vector<uint8_t> packet;
        bool saveImage = false; // the transfer's first status poll: the image is complete
    };

    UpdateModel (int busyPolls, Faults faults);

    /** Handles one request; shorter packets count as zero-padded reports. The answer is valid
        until the next call. */
    const Answer& handle (const std::vector<uint8_t>& report);

    /** The image bytes received since the last begin, at most the announced size. */
    const std::vector<uint8_t>& image() const { return received; }

    /** A line for devsim's output about the finished transfer (at the first status poll). */
    std::string summary() const;

private:
    uint8_t statusCode() const;
    uint16_t receivedCrc() const;
    bool matches (const Step& step, Step::Kind kind, int index) const;

    const int busyPolls;
    const Faults faults;
    bool silent = false;

    bool started = false, begun = false;
    bool writeImage = false;
    int version = 0;
    uint32_t announcedSize = 0;
    uint16_t announcedCrc = 0;
    uint32_t blockCount = 0; // blocks the announced size needs
    uint32_t blocksReceived = 0;
    int polls = 0;
    std::vector<uint8_t> received;
    mutable int crcOfReceived = -1; // computed once the image is asked for, -1 until then
    Answer answer;                  // reused, so that a reply costs no allocation
};
} // namespace devsim
