// devsim from the host's side, over a raw connection: the update protocol as the device plays
// it, its checks of the image, and each fault option.

#include <gtest/gtest.h>

#include "BusPeers.h"
#include "support/DevsimProcess.h"

#include <fstream>
#include <iterator>
#include <random>

using buspeers::Bytes;
using buspeers::RawHost;
using buspeers::report;
using testsupport::DevsimProcess;
using testsupport::PrivateBus;

namespace
{
// Independent of devsim's bitwise loop: the byte-wise form of CRC-16/XMODEM.
uint16_t crcOracle (const Bytes& data)
{
    uint16_t crc = 0;

    for (uint8_t b : data)
    {
        uint16_t x = (uint16_t) (((crc >> 8) ^ b) & 0xFF);
        x ^= x >> 4;
        crc = (uint16_t) ((crc << 8) ^ (x << 12) ^ (x << 5) ^ x);
    }

    return crc;
}

Bytes randomImage (size_t size, unsigned seed)
{
    std::mt19937 random (seed);
    Bytes image (size);

    for (auto& b : image)
        b = (uint8_t) random();

    return image;
}

Bytes startReport (uint32_t size, uint16_t crc, bool writeImage = true)
{
    return report ({0xF0, 0, 0x07, 0xB0, (uint8_t) (writeImage ? 0x81 : 0x01), (uint8_t) size, (uint8_t) (size >> 8),
                    (uint8_t) (size >> 16), (uint8_t) (size >> 24), (uint8_t) crc, (uint8_t) (crc >> 8)});
}

// The data reports as the host builds them: one buffer, the last block overwriting only
// as many bytes as it carries.
std::vector<Bytes> dataReports (const Bytes& image)
{
    std::vector<Bytes> reports;
    Bytes r = report ({0xF3, 1});

    for (size_t offset = 0; offset < image.size(); offset += 1022)
    {
        const size_t n = std::min<size_t> (1022, image.size() - offset);
        std::copy_n (image.begin() + (long) offset, n, r.begin() + 2);
        reports.push_back (r);
    }

    return reports;
}

Bytes readFile (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    return Bytes (std::istreambuf_iterator<char> (in), {});
}

// A reply as the tests below expect it: its code, or none for no reply.
constexpr int noReply = -1, emptyReply = -2;

int codeOf (const std::optional<Bytes>& reply)
{
    return !reply ? noReply : reply->empty() ? emptyReply
                                             : (*reply)[0];
}

/** One whole transfer of a 3000-byte image (3 blocks) and two status polls; the reply
    codes in order: start, begin, blocks 0 to 2, status polls 0 and 1. */
std::vector<int> transferCodes (const std::string& socketPath)
{
    RawHost host (socketPath);
    const auto image = randomImage (3000, 7);
    std::vector<Bytes> requests{startReport (3000, crcOracle (image)), report ({0xF1, 1})};

    for (auto& r : dataReports (image))
        requests.push_back (r);

    requests.insert (requests.end(), 2, report ({0xF2}));
    std::vector<int> codes;

    for (auto& r : requests)
        codes.push_back (codeOf (host.exchange (r, 500)));

    return codes;
}

struct DevsimProtocol : ::testing::Test
{
    PrivateBus bus;
    DevsimProcess devsim;

    void SetUp() override { ASSERT_FALSE (DevsimProcess::executable().empty()); }
};
} // namespace

//==============================================================================
TEST (DevsimCrc, OracleMatchesTheStandardCheckValue)
{
    EXPECT_EQ (crcOracle (Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x31C3);
}

TEST_F (DevsimProtocol, ACorrectTransferEndsInFinishedAndKeepsTheImageAndEveryRequest)
{
    for (size_t size : {1, 1022, 1023, 3000})
    {
        SCOPED_TRACE (size);
        DevsimProcess device;
        const auto save = bus.file ("image.bin"), log = bus.file ("requests.log");
        ASSERT_TRUE (device.start (bus.path(), {"--name", "d" + std::to_string (size), "--save", save, "--log", log, "--busy", "2", "--type", "0x14", "--firmware", "305"}));

        RawHost host (device.socketPath());
        ASSERT_TRUE (host.isConnected());
        EXPECT_EQ (host.greeting().typeCode, 0x14u);
        EXPECT_EQ (host.greeting().firmware[0], 305u);

        const auto image = randomImage (size, (unsigned) size);
        const auto blocks = dataReports (image);
        std::vector<Bytes> sent;

        auto expectReply = [&] (const Bytes& request, int code, int percent)
        {
            sent.push_back (request);
            const auto reply = host.exchange (request, 2000);
            ASSERT_TRUE (reply && reply->size() == 1024);
            EXPECT_EQ ((*reply)[0], code);

            if (percent >= 0)
            {
                EXPECT_EQ ((*reply)[1], percent);
            }
        };

        expectReply (startReport ((uint32_t) size, crcOracle (image)), 0xF8, -1);
        expectReply (report ({0xF1, 1}), 0xF9, -1);

        for (size_t k = 0; k < blocks.size(); ++k)
            expectReply (blocks[k], k + 1 < blocks.size() ? 0xF9 : 0xFE, (int) ((k + 1) * 100 / blocks.size()));

        expectReply (report ({0xF2}), 0xF7, 33);
        expectReply (report ({0xF2}), 0xF7, 66);
        expectReply (report ({0xF2}), 0xFC, 100);
        expectReply (report ({0xF2}), 0xFC, 100);

        EXPECT_EQ (readFile (save), image);

        Bytes allSent;

        for (auto& r : sent)
            allSent.insert (allSent.end(), r.begin(), r.end());

        EXPECT_EQ (readFile (log), allSent);
        EXPECT_EQ (device.readLine (1000).rfind ("transfer ok", 0), 0u);
    }
}

TEST_F (DevsimProtocol, AnImageThatDiffersFromTheAnnouncementEndsInAnErrorCode)
{
    ASSERT_TRUE (devsim.start (bus.path(), {"--busy", "0"}));
    RawHost host (devsim.socketPath());
    const auto image = randomImage (3000, 1);

    auto run = [&] (uint32_t announcedSize, uint16_t announcedCrc, const Bytes& sentImage)
    {
        std::vector<int> codes;
        codes.push_back (codeOf (host.exchange (startReport (announcedSize, announcedCrc), 1000)));
        codes.push_back (codeOf (host.exchange (report ({0xF1, 1}), 1000)));

        for (auto& r : dataReports (sentImage))
            codes.push_back (codeOf (host.exchange (r, 1000)));

        codes.push_back (codeOf (host.exchange (report ({0xF2}), 1000)));
        return codes;
    };

    const Bytes twoBlocks (image.begin(), image.begin() + 2044);
    EXPECT_EQ (run (3000, crcOracle (image), twoBlocks), (std::vector<int>{0xF8, 0xF9, 0xF9, 0xF9, 0xFA})) << "too few blocks";
    EXPECT_EQ (run (2044, crcOracle (twoBlocks), image), (std::vector<int>{0xF8, 0xF9, 0xF9, 0xFE, 0xF9, 0xFA})) << "too many blocks";
    EXPECT_EQ (run (3000, (uint16_t) (crcOracle (image) ^ 0x0100), image), (std::vector<int>{0xF8, 0xF9, 0xF9, 0xF9, 0xFE, 0xFD})) << "wrong CRC";
    EXPECT_EQ (run (3000, crcOracle (image), image), (std::vector<int>{0xF8, 0xF9, 0xF9, 0xF9, 0xFE, 0xFC})) << "the same device, right this time";

    // A start that announces no image to write is finished without one.
    EXPECT_EQ (codeOf (host.exchange (startReport (3000, 0, false), 1000)), 0xF8);
    EXPECT_EQ (codeOf (host.exchange (report ({0xF2}), 1000)), 0xFC);
}

TEST_F (DevsimProtocol, AStatusPollWithoutATransferIsAnError)
{
    ASSERT_TRUE (devsim.start (bus.path()));
    RawHost host (devsim.socketPath());
    EXPECT_EQ (codeOf (host.exchange (report ({0xF2}), 1000)), 0xFA);
}

//==============================================================================
TEST_F (DevsimProtocol, EachFaultChangesWhatItSays)
{
    using Codes = std::vector<int>;
    const Codes normal{0xF8, 0xF9, 0xF9, 0xF9, 0xFE, 0xF7, 0xFC};

    struct Case
    {
        std::vector<std::string> options;
        Codes expected;
    };

    const std::vector<Case> cases{
        {{}, normal},
        {{"--silent-from", "block:1"}, {0xF8, 0xF9, 0xF9, noReply, noReply, noReply, noReply}},
        {{"--silent-from", "status:1"}, {0xF8, 0xF9, 0xF9, 0xF9, 0xFE, 0xF7, noReply}},
        {{"--wrong-code-at", "start"}, {0xF9, 0xF9, 0xF9, 0xF9, 0xFE, 0xF7, 0xFC}},
        {{"--wrong-code-at", "begin"}, {0xF8, 0xF8, 0xF9, 0xF9, 0xFE, 0xF7, 0xFC}},
        {{"--wrong-code-at", "block:0"}, {0xF8, 0xF9, 0xFE, 0xF9, 0xFE, 0xF7, 0xFC}},
        {{"--wrong-code-at", "last"}, {0xF8, 0xF9, 0xF9, 0xF9, 0xF9, 0xF7, 0xFC}},
        {{"--wrong-code-at", "status:0"}, {0xF8, 0xF9, 0xF9, 0xF9, 0xFE, 0xF8, 0xFC}},
        {{"--final-fb"}, {0xF8, 0xF9, 0xF9, 0xF9, 0xFB, 0xF7, 0xFC}},
        {{"--empty-at", "last"}, {0xF8, 0xF9, 0xF9, 0xF9, emptyReply, 0xF7, 0xFC}},
        {{"--unplug-at-block", "1"}, {0xF8, 0xF9, 0xF9, noReply, noReply, noReply, noReply}},
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.options.empty() ? "no fault" : c.options[0]);
        PrivateBus caseBus;
        DevsimProcess device;
        auto options = c.options;
        options.insert (options.end(), {"--busy", "1"});
        ASSERT_TRUE (device.start (caseBus.path(), options));

        EXPECT_EQ (transferCodes (device.socketPath()), c.expected);
    }
}

TEST_F (DevsimProtocol, UnplugLeavesTheBusAndEndsTheProcess)
{
    ASSERT_TRUE (devsim.start (bus.path(), {"--unplug-at-block", "0"}));
    RawHost host (devsim.socketPath());
    ASSERT_EQ (codeOf (host.exchange (startReport (3000, 0), 1000)), 0xF8);
    ASSERT_EQ (codeOf (host.exchange (report ({0xF1, 1}), 1000)), 0xF9);
    EXPECT_EQ (codeOf (host.exchange (report ({0xF3, 1}), 1000)), noReply);

    EXPECT_TRUE (host.waitForClose (1000));
    EXPECT_EQ (devsim.readLine (1000), "unplugged");
    EXPECT_EQ (devsim.waitForExit (2000), 0);
    EXPECT_NE (access (devsim.socketPath().c_str(), F_OK), 0);
}

TEST_F (DevsimProtocol, AnOversizedReplyIsLongerThanAReport)
{
    ASSERT_TRUE (devsim.start (bus.path(), {"--oversized-at", "begin"}));
    RawHost host (devsim.socketPath());
    ASSERT_EQ (codeOf (host.exchange (startReport (3000, 0), 1000)), 0xF8);
    const auto reply = host.exchange (report ({0xF1, 1}), 1000);
    ASSERT_TRUE (reply);
    EXPECT_GT (reply->size(), 1024u);
    EXPECT_EQ ((*reply)[0], 0xF9);
}

TEST_F (DevsimProtocol, RepliesWaitForTheDelay)
{
    ASSERT_TRUE (devsim.start (bus.path(), {"--delay", "200"}));
    RawHost host (devsim.socketPath());
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ (codeOf (host.exchange (startReport (3000, 0), 2000)), 0xF8);
    EXPECT_GE (std::chrono::steady_clock::now() - before, std::chrono::milliseconds (200));
}

TEST_F (DevsimProtocol, TerminationRemovesTheDeviceFromTheBus)
{
    for (int signal : {SIGTERM, SIGINT})
    {
        DevsimProcess device;
        ASSERT_TRUE (device.start (bus.path()));
        RawHost host (device.socketPath());
        ASSERT_TRUE (host.isConnected());

        kill (device.pid(), signal);
        EXPECT_EQ (device.waitForExit (2000), 0);
        EXPECT_TRUE (host.waitForClose (1000));
        EXPECT_NE (access (device.socketPath().c_str(), F_OK), 0);
    }
}

TEST_F (DevsimProtocol, AReplyOptionSetsTheCodeAndPercentageOfItsStep)
{
    ASSERT_TRUE (devsim.start (bus.path(), {"--busy", "2", "--reply", "begin,0", "--reply", "begin,0xF9", "--reply", "block:1,0xFC,7", "--reply", "status:0,0xF7,40", "--reply", "status:1,247,150"}));
    RawHost host (devsim.socketPath());
    const auto image = randomImage (3000, 3);
    std::vector<Bytes> requests{startReport (3000, crcOracle (image)), report ({0xF1, 1})};

    for (auto& r : dataReports (image))
        requests.push_back (r);

    requests.insert (requests.end(), 3, report ({0xF2}));
    std::vector<std::pair<int, int>> replies;

    for (auto& r : requests)
    {
        const auto reply = host.exchange (r, 1000);
        replies.push_back ({codeOf (reply), reply && reply->size() > 1 ? (*reply)[1] : -1});
    }

    // The first option for a step counts; the rest of the model runs as usual.
    const std::vector<std::pair<int, int>> expected{{0xF8, 0}, {0x00, 0}, {0xF9, 33}, {0xFC, 7}, {0xFE, 100}, {0xF7, 40}, {0xF7, 150}, {0xFC, 100}};
    EXPECT_EQ (replies, expected);
}

TEST_F (DevsimProtocol, AMalformedReplyOptionIsRefused)
{
    for (const char* bad : {"status:0", "begin,", "begin,256", "begin,0xF9,", "begin,1,2,3", "nowhere,0xF9", "block:x,1"})
    {
        SCOPED_TRACE (bad);
        DevsimProcess device;
        EXPECT_FALSE (device.start (bus.path(), {"--reply", bad}, 2000));
    }
}
