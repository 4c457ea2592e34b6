#include "Trace.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tovrin::device {
namespace {

struct TraceState {
    std::mutex mutex;
    std::FILE* file = nullptr;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

TraceState& state()
{
    static TraceState s;
    return s;
}

std::atomic<int> g_traceMode{-1};  // -1 not yet looked at, 0 off, 1 on

void openLocked(TraceState& s, const char* path)
{
    if (s.file) {
        std::fclose(s.file);
        s.file = nullptr;
    }
    if (path && *path)
        s.file = std::fopen(path, "a");
    g_traceMode.store(s.file ? 1 : 0, std::memory_order_release);
}

} // namespace

bool traceEnabled()
{
    int mode = g_traceMode.load(std::memory_order_relaxed);
    if (mode < 0) {
        TraceState& s = state();
        std::lock_guard lock(s.mutex);
        if (g_traceMode.load(std::memory_order_acquire) < 0)
            openLocked(s, std::getenv("TOVRIN_TRACE"));
        mode = g_traceMode.load(std::memory_order_relaxed);
    }
    return mode == 1;
}

void setTraceFile(const std::string& path)
{
    TraceState& s = state();
    std::lock_guard lock(s.mutex);
    openLocked(s, path.c_str());
}

void traceReport(TraceDirection direction, const uint8_t* bytes, size_t size)
{
    if (!traceEnabled())
        return;
    static const char* const kNames[] = {"out", "in", "feature"};
    static const char kHex[] = "0123456789abcdef";
    TraceState& s = state();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - s.start).count();
    char line[48 + 2 * 64 + 2];
    int n = std::snprintf(line, sizeof line, "%.3f %s ", ms, kNames[static_cast<int>(direction)]);
    for (size_t i = 0; i < size && n + 3 < static_cast<int>(sizeof line); ++i) {
        line[n++] = kHex[bytes[i] >> 4];
        line[n++] = kHex[bytes[i] & 15];
    }
    line[n++] = '\n';
    std::lock_guard lock(s.mutex);
    if (s.file) {
        std::fwrite(line, 1, static_cast<size_t>(n), s.file);
        std::fflush(s.file);
    }
}

} // namespace tovrin::device
