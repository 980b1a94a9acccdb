#include "tools/devsim/UpdateModel.h"
#include "tools/devsim/Crc16.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace devsim
{
namespace
{
    constexpr size_t reportSize = 1024;
    constexpr uint32_t blockDataSize = 1022;

    enum Code : uint8_t
    {
        start = 0xF0,
        begin = 0xF1,
        status = 0xF2,
        data = 0xF3,
        busy = 0xF7,
        startAccepted = 0xF8,
        blockAccepted = 0xF9,
        finalBlockAcceptedB = 0xFB,
        finished = 0xFC,
        finalBlockAccepted = 0xFE
    };
} // namespace

bool Step::parse (const std::string& text, Step& step)
{
    auto indexAfter = [&] (const char* prefix, Kind kind)
    {
        const size_t n = std::char_traits<char>::length (prefix);

        if (text.compare (0, n, prefix) != 0 || text.size() == n)
            return false;

        char* end = nullptr;
        const long value = std::strtol (text.c_str() + n, &end, 10);

        if (*end != 0 || value < 0 || value > 100000000)
            return false;

        step = { kind, (int) value };
        return true;
    };

    if (text == "start" || text == "begin" || text == "last")
    {
        step = { text == "start" ? start : text == "begin" ? begin
                                                           : last,
                 0 };
        return true;
    }

    return indexAfter ("block:", block) || indexAfter ("status:", status);
}

bool ReplyOverride::parse (const std::string& text, ReplyOverride& reply)
{
    const auto comma = text.find (',');

    if (comma == std::string::npos || !Step::parse (text.substr (0, comma), reply.step))
        return false;

    auto byteAt = [&text] (size_t from, size_t to, uint8_t& value)
    {
        const std::string field = text.substr (from, to == std::string::npos ? std::string::npos : to - from);
        char* end = nullptr;
        const long v = field.empty() ? -1 : std::strtol (field.c_str(), &end, 0);

        if (v < 0 || v > 255 || *end != 0)
            return false;

        value = (uint8_t) v;
        return true;
    };

    const auto second = text.find (',', comma + 1);
    reply.percent = 0;

    return byteAt (comma + 1, second, reply.code) && (second == std::string::npos || byteAt (second + 1, std::string::npos, reply.percent));
}

//==============================================================================
UpdateModel::UpdateModel (int busy, Faults f)
    : busyPolls (std::max (0, busy))
    , faults (f)
{
}

bool UpdateModel::matches (const Step& step, Step::Kind kind, int index) const
{
    if (step.kind == Step::none)
        return false;

    if (step.kind == Step::last)
        return kind == Step::block && blockCount > 0 && (uint32_t) index == blockCount - 1;

    return step.kind == kind && (kind == Step::start || kind == Step::begin || step.index == index);
}

const UpdateModel::Answer& UpdateModel::handle (const std::vector<uint8_t>& packet)
{
    uint8_t padded[reportSize] = {};
    const uint8_t* report = packet.data();

    if (packet.size() < reportSize)
    {
        std::copy (packet.begin(), packet.end(), padded);
        report = padded;
    }

    answer.kind = Answer::silent;
    answer.saveImage = false;
    answer.packet.clear();
    Step::Kind kind = Step::none;
    int index = 0;
    uint8_t code = 0, percent = 0, wrongCode = 0;

    switch (report[0])
    {
        case start:
            kind = Step::start;
            started = true;
            begun = false;
            version = (report[2] << 4) | (report[3] >> 4);
            writeImage = (report[4] & 0x80) != 0;
            announcedSize = (uint32_t) report[5] | ((uint32_t) report[6] << 8) | ((uint32_t) report[7] << 16) | ((uint32_t) report[8] << 24);
            announcedCrc = (uint16_t) (report[9] | (report[10] << 8));
            blockCount = announcedSize / blockDataSize + (announcedSize % blockDataSize != 0 ? 1 : 0);
            blocksReceived = 0;
            polls = 0;
            received.clear();
            received.reserve (std::min<uint32_t> (announcedSize, 64u << 20));
            crcOfReceived = -1;
            code = startAccepted;
            wrongCode = blockAccepted;
            break;

        case begin:
            kind = Step::begin;
            begun = true;
            blocksReceived = 0;
            polls = 0;
            received.clear();
            crcOfReceived = -1;
            code = blockAccepted;
            wrongCode = startAccepted;
            break;

        case data:
        {
            kind = Step::block;
            index = (int) blocksReceived++;

            if (faults.unplugAtBlock == index)
            {
                answer.kind = Answer::unplug;
                return answer;
            }

            // Bytes beyond the announced size are not part of the image.
            if (received.size() < announcedSize)
            {
                const size_t n = std::min<size_t> (blockDataSize, announcedSize - received.size());
                received.insert (received.end(), report + 2, report + 2 + n);
                crcOfReceived = -1;
            }

            const bool isLast = blockCount > 0 && (uint32_t) index == blockCount - 1;
            code = isLast ? (faults.finalFb ? finalBlockAcceptedB : finalBlockAccepted) : blockAccepted;
            percent = blockCount > 0 ? (uint8_t) (std::min<uint32_t> (blocksReceived, blockCount) * 100 / blockCount) : 100;
            wrongCode = isLast ? blockAccepted : finalBlockAccepted;
            break;
        }

        case status:
        {
            kind = Step::status;
            index = polls++;
            answer.saveImage = index == 0 && begun;
            code = statusCode();

            if (code == finished)
            {
                code = index < busyPolls ? busy : finished;
                percent = (uint8_t) (index < busyPolls ? (index + 1) * 100 / (busyPolls + 1) : 100);
            }

            wrongCode = startAccepted;
            break;
        }

        default:
            return answer; // not a request of the protocol: ignored
    }

    if (silent || (matches (faults.silentFrom, kind, index)))
    {
        silent = true;
        return answer;
    }

    if (matches (faults.wrongCodeAt, kind, index))
        code = wrongCode;

    for (auto& r : faults.replies)
    {
        if (matches (r.step, kind, index))
        {
            code = r.code;
            percent = r.percent;
            break;
        }
    }

    answer.kind = Answer::reply;

    if (matches (faults.emptyAt, kind, index))
        return answer;

    answer.packet.assign (matches (faults.oversizedAt, kind, index) ? 2 * reportSize : reportSize, 0);
    answer.packet[0] = code;
    answer.packet[1] = percent;
    return answer;
}

uint8_t UpdateModel::statusCode() const
{
    if (!started)
        return lengthError;

    if (!writeImage && !begun)
        return finished; // the start report announced no image to write

    if (!begun || blocksReceived != blockCount || received.size() != announcedSize)
        return lengthError;

    return receivedCrc() == announcedCrc ? (uint8_t) finished : crcError;
}

uint16_t UpdateModel::receivedCrc() const
{
    if (crcOfReceived < 0)
        crcOfReceived = crc16Xmodem (received.data(), received.size());

    return (uint16_t) crcOfReceived;
}

std::string UpdateModel::summary() const
{
    const uint8_t code = statusCode();
    char line[200];
    std::snprintf (line, sizeof (line), "transfer %s version=%d size=%u blocks=%u/%u crc=%04x/%04x",
                   code == finished ? "ok" : code == crcError ? "crc-error"
                                                              : "length-error",
                   version, (unsigned) received.size(), (unsigned) blocksReceived, (unsigned) blockCount,
                   (unsigned) receivedCrc(), (unsigned) announcedCrc);
    return line;
}
} // namespace devsim
