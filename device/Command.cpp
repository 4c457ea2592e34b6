#include "Command.h"

#include "HidLink.h"
#include "shell/Log.h"

#include <cstring>
#include <mutex>

namespace tovrin::device {

std::atomic<uint8_t> LinkState{LINK_OK};

namespace {

thread_local CommandOutcome t_lastOutcome;

CommandOutcome transact(uint8_t code, const uint8_t* payload, uint8_t payloadLength, uint8_t* reply,
                        uint8_t replyLength)
{
    CommandOutcome outcome;
    const uint8_t number = code & 0x3F;

    // A reply that came after its transaction gave up would otherwise be
    // read as this command's reply (wrong data taken as success, and every
    // later reply of that code one behind).
    outcome.dropped = DropStaleInput();
    if (outcome.dropped > 0)
        shell::LogF("Dropped %d late input report(s) before command 0x%02x\n", outcome.dropped, code);

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
            outcome.kind = CommandOutcome::Done;
            outcome.status = kStatusDone;
            return outcome;
        }
        if (foreign >= kMaxForeignReplies) {
            outcome.kind = CommandOutcome::Foreign;
            return outcome;
        }
        if (in[1] == number) {
            outcome.status = in[2];
            if (in[2] == kStatusRefused) {
                LinkState.store(LINK_REFUSED);
                outcome.kind = CommandOutcome::Refused;
            } else {
                outcome.kind = CommandOutcome::NotDone;
            }
            if (replyLength && reply)
                std::memset(reply, 0xFF, replyLength);
            return outcome;
        }
        ++foreign;  // a report that belongs to another command
    }
    LinkState.store(LINK_NO_REPLY);
    outcome.kind = CommandOutcome::NoReply;
    outcome.timedOut = IoTimedOut.load() != 0;  // read under the transaction lock: ours
    return outcome;
}

// Nothing goes on the wire that the report cannot carry.
bool sendable(uint8_t code, uint8_t payloadLength, uint8_t replyLength)
{
    return code != kNoCommand && payloadLength <= kMaxPayload && replyLength <= kMaxReply;
}

} // namespace

CommandOutcome Transact(uint8_t code, const uint8_t* payload, uint8_t payloadLength, uint8_t* reply,
                        uint8_t replyLength, uint32_t waitMs)
{
    if (!sendable(code, payloadLength, replyLength)) {
        t_lastOutcome = CommandOutcome{};
        return t_lastOutcome;
    }
    std::lock_guard lock(transactionMutex());
    IoWaitMs.store(waitMs);
    t_lastOutcome = transact(code, payload, payloadLength, reply, replyLength);
    return t_lastOutcome;
}

bool SendCommand(uint8_t code, const uint8_t* payload, uint8_t payloadLength, uint8_t* reply, uint8_t replyLength)
{
    if (!sendable(code, payloadLength, replyLength)) {
        t_lastOutcome = CommandOutcome{};
        return false;
    }
    std::lock_guard lock(transactionMutex());
    t_lastOutcome = transact(code, payload, payloadLength, reply, replyLength);
    return t_lastOutcome.ok();
}

bool SendCommand(uint8_t code, const uint8_t* payload, uint8_t payloadLength, uint8_t* reply, uint8_t replyLength,
                 uint32_t waitMs)
{
    return Transact(code, payload, payloadLength, reply, replyLength, waitMs).ok();
}

CommandOutcome lastOutcome()
{
    return t_lastOutcome;
}

void noteNotSent()
{
    t_lastOutcome = CommandOutcome{};
}

} // namespace tovrin::device
