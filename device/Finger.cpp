#include "device/Finger.h"

#include <mutex>

namespace tovrin::device {

namespace {
std::mutex g_fingerMutex;
std::shared_ptr<Finger> g_finger;
} // namespace

void setFinger(std::shared_ptr<Finger> finger)
{
    std::lock_guard lock(g_fingerMutex);
    g_finger = std::move(finger);
}

std::shared_ptr<Finger> finger()
{
    std::lock_guard lock(g_fingerMutex);
    return g_finger;
}

} // namespace tovrin::device
