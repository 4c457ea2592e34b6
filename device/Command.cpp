#include "Command.h"

#include "HidLink.h"

#include <algorithm>
#include <cstring>

namespace tovrin::device {

std::atomic<uint8_t> LinkState{LINK_OK};

namespace {

bool transact(uint8_t code, const uint8_t* payload, uint8_t payloadLength, uint8_t* reply, uint8_t replyLength)
{
    payloadLength = std::min<uint8_t>(payloadLength, kMaxPayload);
    replyLength = std::min<uint8_t>(replyLength, kMaxReply);
    const uint8_t number = code & 0x3F;

    IoTimedOut.store(0);
    uint8_t out[kReportSize] = {};
    out[0] = kReportId;
    out[1] = code;
    if (payloadLength && payload)
        std::memcpy(out + 2, payload, payloadLength);
    // A failed write shows up as a missing reply.
    WriteHidDevice(out);

    uint8_t in[kReportSize];
    int foreign = 0;
    while (ReadHidDevice(in)) {
        if (in[2] == kStatusDone && in[1] == number) {
            LinkState.store(LINK_OK);
            if (replyLength && reply)
                std::memcpy(reply, in + 3, replyLength);
            return true;
        }
        if (foreign >= kMaxForeignReplies)
            return false;
        if (in[1] == number) {
            if (in[2] == kStatusRefused)
                LinkState.store(LINK_REFUSED);
            if (replyLength && reply)
                std::memset(reply, 0xFF, replyLength);
            return false;
        }
        ++foreign;  // a report that belongs to another command
    }
    LinkState.store(LINK_NO_REPLY);
    return false;
}

} // namespace

bool SendCommand(uint8_t code, const uint8_t* payload, uint8_t payloadLength, uint8_t* reply, uint8_t replyLength)
{
    if (code == kNoCommand)
        return false;
    std::lock_guard lock(transactionMutex());
    return transact(code, payload, payloadLength, reply, replyLength);
}

bool SendCommand(uint8_t code, const uint8_t* payload, uint8_t payloadLength, uint8_t* reply, uint8_t replyLength,
                 uint32_t waitMs)
{
    if (code == kNoCommand)
        return false;
    std::lock_guard lock(transactionMutex());
    IoWaitMs.store(waitMs);
    return transact(code, payload, payloadLength, reply, replyLength);
}

} // namespace tovrin::device
