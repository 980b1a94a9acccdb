// devsim from the host's side, over a raw connection: the update protocol as the device plays
// it, its checks of the image, and each fault option.

#include "BusPeers.h"
#include "support/DevsimProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <random>

using namespace buspeers;
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

Bytes readFile (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    return Bytes (std::istreambuf_iterator<char> (in), {});
}

Bytes startReport (uint32_t size, uint16_t crc, bool writeImage = true)
{
    return report ({ 0xF0, 0, 0x07, 0xB0, (uint8_t) (writeImage ? 0x81 : 0x01), (uint8_t) size, (uint8_t) (size >> 8),
                     (uint8_t) (size >> 16), (uint8_t) (size >> 24), (uint8_t) crc, (uint8_t) (crc >> 8) });
}

/** A transfer as the host sends it: start (announcing size and crc), begin, the image's data
    reports (one buffer, the last block overwriting only as many bytes as it carries), polls. */
std::vector<Bytes> transfer (uint32_t size, uint16_t crc, const Bytes& image, size_t polls)
{
    std::vector<Bytes> requests { startReport (size, crc), report ({ 0xF1, 1 }) };
    Bytes r = report ({ 0xF3, 1 });

    for (size_t offset = 0; offset < image.size(); offset += 1022)
    {
        std::copy_n (image.begin() + (long) offset, std::min<size_t> (1022, image.size() - offset), r.begin() + 2);
        requests.push_back (r);
    }

    requests.insert (requests.end(), polls, report ({ 0xF2 }));
    return requests;
}

std::vector<Bytes> transfer (const Bytes& image, size_t polls)
{
    return transfer ((uint32_t) image.size(), crcOracle (image), image, polls);
}

// A reply's code, or one of these; the percentage, or -1 when there is none.
constexpr int noReply = -1, emptyReply = -2, notReportSized = 0x1000;
using Reply = std::pair<int, int>;

std::vector<Reply> exchangeAll (RawHost& host, const std::vector<Bytes>& requests, int timeoutMs = 1000)
{
    std::vector<Reply> replies;

    for (auto& request : requests)
    {
        const auto r = host.exchange (request, timeoutMs);
        replies.push_back ({ !r ? noReply : r->empty() ? emptyReply
                                                       : r->at (0) | (r->size() == 1024 ? 0 : notReportSized),
                             r && r->size() > 1 ? r->at (1) : -1 });
    }

    return replies;
}

std::vector<int> codes (const std::vector<Reply>& replies)
{
    std::vector<int> result;

    for (auto& r : replies)
        result.push_back (r.first);

    return result;
}

/** The device has left: its process ended well, the connection is closed, its file gone. */
void expectGone (DevsimProcess& device, RawHost& host)
{
    EXPECT_EQ (device.waitForExit (2000), 0);
    EXPECT_TRUE (closedByPeer (host.socket, 1000));
    EXPECT_NE (access (device.socketPath().c_str(), F_OK), 0);
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
    EXPECT_EQ (crcOracle (Bytes { '1', '2', '3', '4', '5', '6', '7', '8', '9' }), 0x31C3);
}

TEST_F (DevsimProtocol, ACorrectTransferEndsInFinishedAndKeepsTheImageAndEveryRequest)
{
    for (size_t size : { 1, 1022, 1023, 3000 })
    {
        SCOPED_TRACE (size);
        DevsimProcess device;
        const auto save = bus.file ("image.bin"), log = bus.file ("requests.log");
        ASSERT_TRUE (device.start (bus.path(), { "--name", "d" + std::to_string (size), "--save", save, "--log", log, "--busy", "2", "--type", "0x14", "--firmware", "305" }));

        RawHost host (device.socketPath());
        ASSERT_TRUE (host.socket >= 0);
        EXPECT_EQ (host.greeting.typeCode, 0x14u);
        EXPECT_EQ (host.greeting.firmware[0], 305u);

        const auto image = randomImage (size, (unsigned) size);
        const auto requests = transfer (image, 4);
        auto replies = exchangeAll (host, requests, 2000);

        const size_t blocks = requests.size() - 6;
        std::vector<Reply> expected { { 0xF8, replies[0].second }, { 0xF9, replies[1].second } };

        for (size_t k = 0; k < blocks; ++k)
            expected.push_back ({ k + 1 < blocks ? 0xF9 : 0xFE, (int) ((k + 1) * 100 / blocks) });

        expected.insert (expected.end(), { { 0xF7, 33 }, { 0xF7, 66 }, { 0xFC, 100 }, { 0xFC, 100 } });
        EXPECT_EQ (replies, expected);
        EXPECT_EQ (readFile (save), image);

        Bytes allSent;

        for (auto& r : requests)
            allSent.insert (allSent.end(), r.begin(), r.end());

        EXPECT_EQ (readFile (log), allSent);
        EXPECT_EQ (device.readLine (1000).rfind ("transfer ok", 0), 0u);
    }
}

TEST_F (DevsimProtocol, AnImageThatDiffersFromTheAnnouncementEndsInAnErrorCode)
{
    ASSERT_TRUE (devsim.start (bus.path(), { "--busy", "0" }));
    RawHost host (devsim.socketPath());
    EXPECT_EQ (codes (exchangeAll (host, { report ({ 0xF2 }) })), std::vector<int> { 0xFA }) << "a poll without a transfer";

    const auto image = randomImage (3000, 1);
    const Bytes twoBlocks (image.begin(), image.begin() + 2044);
    using Codes = std::vector<int>;
    EXPECT_EQ (codes (exchangeAll (host, transfer (3000, crcOracle (image), twoBlocks, 1))), (Codes { 0xF8, 0xF9, 0xF9, 0xF9, 0xFA })) << "too few blocks";
    EXPECT_EQ (codes (exchangeAll (host, transfer (2044, crcOracle (twoBlocks), image, 1))), (Codes { 0xF8, 0xF9, 0xF9, 0xFE, 0xF9, 0xFA })) << "too many blocks";
    EXPECT_EQ (codes (exchangeAll (host, transfer (3000, (uint16_t) (crcOracle (image) ^ 0x0100), image, 1))), (Codes { 0xF8, 0xF9, 0xF9, 0xF9, 0xFE, 0xFD })) << "wrong CRC";
    EXPECT_EQ (codes (exchangeAll (host, transfer (image, 1))), (Codes { 0xF8, 0xF9, 0xF9, 0xF9, 0xFE, 0xFC })) << "the same device, right this time";

    // A start that announces no image to write is finished without one.
    EXPECT_EQ (codes (exchangeAll (host, { startReport (3000, 0, false), report ({ 0xF2 }) })), (Codes { 0xF8, 0xFC }));
}

//==============================================================================
TEST_F (DevsimProtocol, EachFaultChangesWhatItSays)
{
    using Codes = std::vector<int>;
    const std::vector<std::pair<std::vector<std::string>, Codes>> cases {
        { {}, { 0xF8, 0xF9, 0xF9, 0xF9, 0xFE, 0xF7, 0xFC } },
        { { "--silent-from", "block:1" }, { 0xF8, 0xF9, 0xF9, noReply, noReply, noReply, noReply } },
        { { "--silent-from", "status:1" }, { 0xF8, 0xF9, 0xF9, 0xF9, 0xFE, 0xF7, noReply } },
        { { "--wrong-code-at", "start" }, { 0xF9, 0xF9, 0xF9, 0xF9, 0xFE, 0xF7, 0xFC } },
        { { "--wrong-code-at", "begin" }, { 0xF8, 0xF8, 0xF9, 0xF9, 0xFE, 0xF7, 0xFC } },
        { { "--wrong-code-at", "block:0" }, { 0xF8, 0xF9, 0xFE, 0xF9, 0xFE, 0xF7, 0xFC } },
        { { "--wrong-code-at", "last" }, { 0xF8, 0xF9, 0xF9, 0xF9, 0xF9, 0xF7, 0xFC } },
        { { "--wrong-code-at", "status:0" }, { 0xF8, 0xF9, 0xF9, 0xF9, 0xFE, 0xF8, 0xFC } },
        { { "--final-fb" }, { 0xF8, 0xF9, 0xF9, 0xF9, 0xFB, 0xF7, 0xFC } },
        { { "--empty-at", "last" }, { 0xF8, 0xF9, 0xF9, 0xF9, emptyReply, 0xF7, 0xFC } },
        { { "--oversized-at", "begin" }, { 0xF8, 0xF9 | notReportSized, 0xF9, 0xF9, 0xFE, 0xF7, 0xFC } },
        { { "--unplug-at-block", "1" }, { 0xF8, 0xF9, 0xF9, noReply, noReply, noReply, noReply } },
        { { "--unplug-at-block", "0" }, { 0xF8, 0xF9, noReply, noReply, noReply, noReply, noReply } },
    };

    for (auto& [options, expected] : cases)
    {
        SCOPED_TRACE (options.empty() ? "no fault" : options[0] + " " + options.back());
        PrivateBus caseBus;
        DevsimProcess device;
        auto args = options;
        args.insert (args.end(), { "--busy", "1" });
        ASSERT_TRUE (device.start (caseBus.path(), args));
        RawHost host (device.socketPath());
        EXPECT_EQ (codes (exchangeAll (host, transfer (randomImage (3000, 7), 2), 500)), expected);

        if (!options.empty() && options[0] == "--unplug-at-block")
        {
            EXPECT_EQ (device.readLine (1000), "unplugged");
            expectGone (device, host);
        }
    }
}

TEST_F (DevsimProtocol, TerminationRemovesTheDeviceFromTheBus)
{
    for (int signal : { SIGTERM, SIGINT })
    {
        DevsimProcess device;
        ASSERT_TRUE (device.start (bus.path()));
        RawHost host (device.socketPath());
        ASSERT_TRUE (host.socket >= 0);
        kill (device.pid(), signal);
        expectGone (device, host);
    }
}

TEST_F (DevsimProtocol, RepliesWaitForTheDelay)
{
    ASSERT_TRUE (devsim.start (bus.path(), { "--delay", "200" }));
    RawHost host (devsim.socketPath());
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ (codes (exchangeAll (host, { startReport (3000, 0) }, 2000)), std::vector<int> { 0xF8 });
    EXPECT_GE (std::chrono::steady_clock::now() - before, std::chrono::milliseconds (200));
}

TEST_F (DevsimProtocol, AReplyOptionSetsTheCodeAndPercentageOfItsStep)
{
    ASSERT_TRUE (devsim.start (bus.path(), { "--busy", "2", "--reply", "begin,0", "--reply", "begin,0xF9", "--reply", "block:1,0xFC,7", "--reply", "status:0,0xF7,40", "--reply", "status:1,247,150" }));
    RawHost host (devsim.socketPath());

    // The first option for a step counts; the rest of the model runs as usual.
    const std::vector<Reply> expected { { 0xF8, 0 }, { 0x00, 0 }, { 0xF9, 33 }, { 0xFC, 7 }, { 0xFE, 100 }, { 0xF7, 40 }, { 0xF7, 150 }, { 0xFC, 100 } };
    EXPECT_EQ (exchangeAll (host, transfer (randomImage (3000, 3), 3)), expected);
}

TEST_F (DevsimProtocol, AMalformedReplyOptionIsRefused)
{
    for (const char* bad : { "status:0", "begin,", "begin,256", "begin,0xF9,", "begin,1,2,3", "nowhere,0xF9", "block:x,1" })
    {
        DevsimProcess device;
        EXPECT_FALSE (device.start (bus.path(), { "--reply", bad }, 2000)) << bad;
    }
}
