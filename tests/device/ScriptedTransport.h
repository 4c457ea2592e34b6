#pragma once
// A transport that records every report the link writes and answers from a
// script: the bytes on the wire are checked against the frame's command
// table by the tests, not against the simulator's reading of them.

#include "device/Command.h"
#include "device/HidLink.h"
#include "device/Transport.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace tovrin::testing {

using Report = std::array<uint8_t, 64>;

class ScriptedTransport : public device::Transport {
public:
    // Called for every written report; pushes the replies it wants read.
    std::function<void(const Report& out, std::deque<Report>& replies)> responder;

    std::vector<Report> written;
    std::deque<Report> pending;
    bool opened = false;
    bool gone = false;          // unplugged: every transfer fails NotConnected
    int goneAtWrite = -1;       // unplug when this many reports have been written
    uint16_t productId = 0x0055;

    // A reply "done" for the command of out with the given payload.
    static Report doneReply(const Report& out, std::initializer_list<uint8_t> payload = {})
    {
        return reply(out[1] & 0x3F, 0x22, payload);
    }
    static Report reply(uint8_t number, uint8_t status, std::initializer_list<uint8_t> payload = {})
    {
        Report r{};
        r[0] = 3;
        r[1] = number;
        r[2] = status;
        size_t i = 3;
        for (uint8_t b : payload)
            r[i++] = b;
        return r;
    }

    // Every command is answered with the status and payload.
    void answerAll(uint8_t status, std::initializer_list<uint8_t> payload = {})
    {
        responder = [status, bytes = std::vector<uint8_t>(payload)](const Report& out, std::deque<Report>& q) {
            Report r = reply(out[1] & 0x3F, status);
            std::copy(bytes.begin(), bytes.end(), r.begin() + 3);
            q.push_back(r);
        };
    }
    void answerAllDone(std::initializer_list<uint8_t> payload = {}) { answerAll(0x22, payload); }

    bool open(uint16_t& pid) override
    {
        if (gone)
            return false;
        opened = true;
        pid = productId;
        return true;
    }
    int check(uint16_t& pid) override
    {
        if (gone || !opened)
            return device::kCheckGone;
        pid = productId;
        return device::kCheckFrameOk;
    }
    device::IoResult write(const uint8_t* report, uint32_t) override
    {
        if (goneAtWrite >= 0 && static_cast<int>(written.size()) >= goneAtWrite)
            gone = true;
        if (gone)
            return device::IoResult::NotConnected;
        Report r;
        std::copy(report, report + 64, r.begin());
        written.push_back(r);
        if (responder)
            responder(r, pending);
        return device::IoResult::Ok;
    }
    device::IoResult read(uint8_t* report, uint32_t) override
    {
        if (gone)
            return device::IoResult::NotConnected;
        if (pending.empty())
            return device::IoResult::TimedOut;
        std::copy(pending.front().begin(), pending.front().end(), report);
        pending.pop_front();
        return device::IoResult::Ok;
    }
    bool getFeature(uint8_t* buffer) override
    {
        buffer[1] = 2;
        buffer[2] = 5;
        return !gone;
    }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
};

using Bytes = std::vector<uint8_t>;

// A link opened on a scripted transport, in the OK state.
class ScriptedLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        t = std::make_shared<ScriptedTransport>();
        device::setTransport(t);
        uint16_t pid;
        ASSERT_TRUE(device::OpenHidDevice(pid));
        device::LinkState = device::LINK_OK;
    }
    void TearDown() override { device::setTransport(nullptr); }

    // Payload bytes of written report i.
    Bytes payload(size_t i, size_t n) const
    {
        return {t->written[i].begin() + 2, t->written[i].begin() + 2 + static_cast<long>(n)};
    }
    // Report i went out with the code, its payload starting with `bytes`.
    void expectSent(size_t i, uint8_t code, const Bytes& bytes = {}) const
    {
        ASSERT_LT(i, t->written.size());
        EXPECT_EQ(t->written[i][1], code) << "report " << i;
        EXPECT_EQ(payload(i, bytes.size()), bytes) << "report " << i;
    }

    std::shared_ptr<ScriptedTransport> t;
};

} // namespace tovrin::testing
