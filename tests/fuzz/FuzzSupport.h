#pragma once
// What the fuzz targets share: taking typed values from the input, a check
// that stops the run with a message when an invariant breaks, a transport
// whose every answer comes from the input, and a scratch folder for the
// targets that read files.
//
// Every target defines
//   extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
// and is built twice: with libFuzzer (tools/fuzz.sh) and, under another
// name, into the replay program that CTest runs over the saved inputs.

#include "device/Command.h"
#include "device/HidLink.h"
#include "device/Transport.h"
#include "device/UnitOps.h"
#include "shell/Clock.h"
#include "tests/support/Files.h"

#include <QByteArray>
#include <QtGlobal>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <span>
#include <vector>

// Stops the run when an invariant of the design does not hold: libFuzzer
// keeps the input as a crash, the replay fails.
#define FUZZ_CHECK(condition)                                                                 \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

namespace tovrin::fuzz {

// The tool's debug lines would drown the fuzzer's own; they are dropped.
inline const bool kQuietQt = [] {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return true;
}();

// Takes values from the front of the input; past its end every value is 0
// and every byte run empty.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool empty() const { return m_at >= m_size; }
    size_t remaining() const { return m_size - m_at; }

    uint8_t u8() { return empty() ? 0 : m_data[m_at++]; }
    uint16_t u16() { return static_cast<uint16_t>(u8() | u8() << 8); }
    uint32_t u32() { return static_cast<uint32_t>(u16()) | static_cast<uint32_t>(u16()) << 16; }
    bool flag() { return (u8() & 1) != 0; }
    // A value in [low, high].
    int range(int low, int high)
    {
        const uint32_t span = static_cast<uint32_t>(high - low) + 1;
        return low + static_cast<int>(u32() % span);
    }

    // Up to n bytes (fewer at the end of the input).
    std::vector<uint8_t> bytes(size_t n)
    {
        n = std::min(n, remaining());
        std::vector<uint8_t> out(m_data + m_at, m_data + m_at + n);
        m_at += n;
        return out;
    }
    // N bytes, zeros past the end of the input.
    template <size_t N>
    std::array<uint8_t, N> array()
    {
        std::array<uint8_t, N> out{};
        const auto b = bytes(N);
        std::copy(b.begin(), b.end(), out.begin());
        return out;
    }
    // A length byte, then that many bytes.
    QByteArray chunk()
    {
        const auto b = bytes(u8());
        return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
    }
    QByteArray rest()
    {
        const auto b = bytes(remaining());
        return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// A frame whose every answer comes from the input. For each report written
// one control byte decides what the frame does:
//   0-3  the reply to that command, status 0x22, its payload from the input
//   4    a refusal (status 0xFF)
//   5    another status byte, from the input
//   6    a report for another command first, then the reply
//   7    a whole 64-byte report from the input
//   8    no reply at all (the read times out)
//   9    the reply only after the host has given up waiting (late)
//   10   two replies
//   11   the frame is pulled
// When the input is used up the frame is pulled, so that every job ends.
class FuzzTransport : public device::Transport {
public:
    explicit FuzzTransport(FuzzInput& input)
        : m_in(input)
    {
    }

    bool open(uint16_t& productId) override
    {
        if (m_gone)
            return false;
        m_open = true;
        productId = 0x0055;
        return true;
    }
    int check(uint16_t& productId) override
    {
        if (m_gone || !m_open)
            return device::kCheckGone;
        productId = 0x0055;
        return device::kCheckFrameOk;
    }
    device::IoResult write(const uint8_t* report, uint32_t) override
    {
        if (m_gone || !m_open || m_in.empty()) {
            m_gone = true;
            return device::IoResult::NotConnected;
        }
        ++m_writes;
        const uint8_t number = report[1] & 0x3F;
        const uint8_t control = m_in.u8() % 12;
        switch (control) {
        case 4:
            push(number, device::kStatusRefused);
            break;
        case 5:
            push(number, m_in.u8());
            break;
        case 6:
            push(static_cast<uint8_t>((number + 1 + m_in.u8() % 62) & 0x3F), device::kStatusDone);
            push(number, device::kStatusDone);
            break;
        case 7: {
            std::array<uint8_t, device::kReportSize> r{};
            const auto b = m_in.bytes(r.size());
            std::copy(b.begin(), b.end(), r.begin());
            m_replies.push_back(r);
            break;
        }
        case 8:
            break;
        case 9:
            push(number, device::kStatusDone);
            m_lateReads = 1;
            break;
        case 10:
            push(number, device::kStatusDone);
            push(number, device::kStatusDone);
            break;
        case 11:
            m_gone = true;
            return device::IoResult::NotConnected;
        default:
            push(number, device::kStatusDone);
            break;
        }
        return device::IoResult::Ok;
    }
    device::IoResult read(uint8_t* report, uint32_t) override
    {
        if (m_gone || !m_open)
            return device::IoResult::NotConnected;
        if (m_lateReads > 0) {
            --m_lateReads;
            return device::IoResult::TimedOut;
        }
        if (m_replies.empty())
            return device::IoResult::TimedOut;
        std::copy(m_replies.front().begin(), m_replies.front().end(), report);
        m_replies.pop_front();
        return device::IoResult::Ok;
    }
    bool getFeature(uint8_t* buffer) override
    {
        if (m_gone || m_in.empty())
            return false;
        buffer[1] = m_in.u8();
        buffer[2] = m_in.u8();
        return true;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open && !m_gone; }

    int writes() const { return m_writes; }
    bool gone() const { return m_gone; }

private:
    void push(uint8_t number, uint8_t status)
    {
        std::array<uint8_t, device::kReportSize> r{};
        r[0] = device::kReportId;
        r[1] = number;
        r[2] = status;
        const auto payload = m_in.bytes(m_in.u8() % (device::kMaxReply + 1));
        std::copy(payload.begin(), payload.end(), r.begin() + 3);
        m_replies.push_back(r);
    }

    FuzzInput& m_in;
    std::deque<std::array<uint8_t, device::kReportSize>> m_replies;
    bool m_open = false;
    bool m_gone = false;
    int m_lateReads = 0;
    int m_writes = 0;
};

// Installs a fuzz transport for one input, opens it and marks the frame
// present, with every wait of the tool skipped; removes it at the end.
class FuzzFrame {
public:
    explicit FuzzFrame(FuzzInput& input)
        : m_transport(std::make_shared<FuzzTransport>(input))
    {
        static const bool once = [] {
            setSleeper([](int) {});
            return true;
        }();
        (void)once;
        device::setTransport(m_transport);
        uint16_t pid = 0;
        device::OpenHidDevice(pid);
        device::g_bDevExist = 1;
        device::g_isDeviceCommunicate = 1;
    }
    ~FuzzFrame() { device::setTransport(nullptr); }
    FuzzFrame(const FuzzFrame&) = delete;
    FuzzFrame& operator=(const FuzzFrame&) = delete;

    FuzzTransport& transport() { return *m_transport; }

private:
    std::shared_ptr<FuzzTransport> m_transport;
};

// A scratch folder made the current one for the whole run (the targets that
// read and write files use relative names there).
inline const QString& scratchFolder()
{
    static QTemporaryDir dir;
    static const QString path = dir.path();
    static const bool entered = QDir::setCurrent(path);
    (void)entered;
    return path;
}

inline void writeFile(const QString& name, const QByteArray& bytes) { (void)test::writeFile(name, bytes); }
using test::readFile;

} // namespace tovrin::fuzz
