#include "FrameBuffers.h"

#include <QDebug>

#include <algorithm>
#include <new>

namespace tovrin::leveling {

namespace {

std::atomic<bool> g_failNextOpen{false};

std::mutex g_lastMutex;
FrameBytes g_lastA{};
FrameBytes g_lastB{};

std::unique_ptr<FrameBytes> allocateFrame()
{
    if (g_failNextOpen.exchange(false))
        return nullptr;
    std::unique_ptr<FrameBytes> frame(new (std::nothrow) FrameBytes{});
    return frame;
}

} // namespace

FrameBuffers::FrameBuffers(std::atomic<int>& readyFlag)
    : m_ready(readyFlag)
{
}

FrameBuffers::~FrameBuffers() { close(); }

bool FrameBuffers::open()
{
    std::lock_guard lock(m_mutex);
    if (m_open.load())
        return true;
    auto a = allocateFrame();
    if (!a) {
        qDebug("PreviewInit: pFrameYA malloc failed!\n");
        return false;
    }
    auto b = allocateFrame();
    if (!b) {
        qDebug("PreviewInit: pFrameYB malloc failed!\n");
        return false;
    }
    auto pa = allocateFrame();
    auto pb = allocateFrame();
    if (!pa || !pb) {
        qDebug("PreviewInit: pFrameYA malloc failed!\n");
        return false;
    }
    m_working = {std::move(a), std::move(b)};
    m_published = {std::move(pa), std::move(pb)};
    m_ready.store(0);
    m_open.store(true);
    return true;
}

void FrameBuffers::close()
{
    std::lock_guard lock(m_mutex);
    m_open.store(false);
    m_working = {};
    m_published = {};
    m_ready.store(0);
}

std::span<uint8_t> FrameBuffers::working(int unit)
{
    std::lock_guard lock(m_mutex);
    auto& frame = m_working[unit ? 1 : 0];
    return frame ? std::span<uint8_t>(*frame) : std::span<uint8_t>();
}

bool FrameBuffers::publish()
{
    std::lock_guard lock(m_mutex);
    if (!m_open.load())
        return false;
    *m_published[0] = *m_working[0];
    *m_published[1] = *m_working[1];
    return m_ready.exchange(1) == 0;
}

bool FrameBuffers::take(FrameBytes& master, FrameBytes& slave)
{
    std::lock_guard lock(m_mutex);
    if (!m_open.load() || m_ready.exchange(0) == 0)
        return false;
    master = *m_published[0];
    slave = *m_published[1];
    return true;
}

void FrameBuffers::copyPublished(FrameBytes& master, FrameBytes& slave) const
{
    std::lock_guard lock(m_mutex);
    if (!m_open.load()) {
        master.fill(0);
        slave.fill(0);
        return;
    }
    master = *m_published[0];
    slave = *m_published[1];
}

void FrameBuffers::failNextOpen() { g_failNextOpen = true; }

void storeLastFrames(const FrameBytes& master, const FrameBytes& slave)
{
    std::lock_guard lock(g_lastMutex);
    g_lastA = master;
    g_lastB = slave;
}

void clearLastFrames()
{
    std::lock_guard lock(g_lastMutex);
    g_lastA.fill(0);
    g_lastB.fill(0);
}

void lastFrames(FrameBytes& master, FrameBytes& slave)
{
    std::lock_guard lock(g_lastMutex);
    master = g_lastA;
    slave = g_lastB;
}

} // namespace tovrin::leveling
